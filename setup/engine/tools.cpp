#include "setup/engine/tools.h"

#include "common/tools/PathVariables.h"

#include <aclapi.h>

#include <regex>

namespace {

// Frees a SID made by AllocateAndInitializeSid.
class CSidHolder
{
public:
    CSidHolder() = default;
    ~CSidHolder()
    {
        if (m_pSid != nullptr)
            FreeSid(m_pSid);
    }
    CSidHolder(const CSidHolder&) = delete;
    CSidHolder& operator=(const CSidHolder&) = delete;
    PSID* Out() { return &m_pSid; }
    PSID Get() const { return m_pSid; }

private:
    PSID m_pSid = nullptr;
};

// Frees memory the security functions allocate with LocalAlloc.
class CLocalHolder
{
public:
    CLocalHolder() = default;
    ~CLocalHolder()
    {
        if (m_pAcl != nullptr)
            LocalFree(m_pAcl);
    }
    CLocalHolder(const CLocalHolder&) = delete;
    CLocalHolder& operator=(const CLocalHolder&) = delete;
    PACL* Out() { return &m_pAcl; }
    PACL Get() const { return m_pAcl; }

private:
    PACL m_pAcl = nullptr;
};

} // namespace

void ExpandVariables(CString& text)
{
    CPathVariables& variables = GetPathVariables();
    const int limit = text.GetLength() + CPathVariables::kMaxGrowth;
    for (int pass = 0; pass < kMaxExpandPasses && text.GetLength() <= limit; ++pass) {
        if (!variables.Expand(text))
            break;
    }
}

void ExpandNewLines(CString& text)
{
    text.Replace(L"%NL%", L"\n\r");
}

ULONGLONG GetFreeDiskSpace(const wchar_t* path)
{
    ULARGE_INTEGER available = {};
    if (path == nullptr || !GetDiskFreeSpaceExW(path, &available, nullptr, nullptr))
        return 0;
    return available.QuadPart;
}

bool GrantEveryoneAccess(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    CSidHolder everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.Out()))
        return false;

    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.Get());
    CLocalHolder acl;
    if (SetEntriesInAclW(1, &access, nullptr, acl.Out()) != ERROR_SUCCESS)
        return false;

    CString name(path);
    return SetNamedSecurityInfoW(name.GetBuffer(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 acl.Get(), nullptr) == ERROR_SUCCESS;
}

bool IsGuidName(const wchar_t* text)
{
    if (text == nullptr)
        return false;
    static const std::wregex pattern(
        L"\\{{0,1}([a-fA-F0-9]){8}-([a-fA-F0-9]){4}-([a-fA-F0-9]){4}-([a-fA-F0-9]){4}-([a-fA-F0-9]){12}\\}{0,1}",
        std::regex_constants::ECMAScript);
    return std::regex_match(text, pattern);
}

CString GetModulePath()
{
    return GetModuleFileNameWithin(nullptr, MAX_PATH);
}

CString GetModuleFileNameWithin(HMODULE module, DWORD room)
{
    if (room == 0)
        return CString();
    CString path;
    // A name that fills the buffer was cut (older systems do not even terminate it).
    const DWORD length = GetModuleFileNameW(module, path.GetBufferSetLength(static_cast<int>(room)), room);
    if (length == 0 || length >= room)
        return CString();
    path.ReleaseBuffer(static_cast<int>(length));
    return path;
}
