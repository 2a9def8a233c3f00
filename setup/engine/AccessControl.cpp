// Access lists of the files and folders setup installs.
#include "setup/engine/AccessControl.h"

#include "framework/WinString.h"

#include <windows.h>

#include <aclapi.h>

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
