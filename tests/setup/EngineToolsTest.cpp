// Tests of the engine tools: expansion, paths, access.

#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "setup/engine/AccessControl.h"
#include "setup/engine/VariableExpansion.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/Narrow.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <string>
#include <vector>

namespace {

using TestSupport::Narrow;

CString Windows()
{
    wchar_t buffer[MAX_PATH] = {};
    EXPECT_EQ(S_OK, SHGetFolderPathW(nullptr, CSIDL_WINDOWS | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer));
    return CString(buffer);
}

int Occurrences(const CString& text, const wchar_t* part)
{
    int count = 0;
    for (int at = text.Find(part); at >= 0; at = text.Find(part, at + 1))
        ++count;
    return count;
}

// The variables live in the one table of the process: every name here is the
// test's own.
TEST(EngineTools, ExpandVariablesFollowsValuesNamingOthers)
{
    CPathVariables& variables = GetPathVariables();
    ASSERT_TRUE(variables.Define(L"%EngineToolsOuter%", L"%EngineToolsInner%\\app"));
    ASSERT_TRUE(variables.Define(L"%EngineToolsInner%", L"%FOLDERID_Windows%\\sub"));
    const CString windows = Windows();
    const struct {
        const wchar_t* text;
        CString expected;
    } cases[] = {
        {L"%EngineToolsOuter%\\x.dll", windows + L"\\sub\\app\\x.dll"},
        {L"%enginetoolsinner%;%EngineToolsOuter%", windows + L"\\sub;" + windows + L"\\sub\\app"},
        {L"%EngineToolsUnknown%\\x", L"%EngineToolsUnknown%\\x"},
        {L"100% of %NL%", L"100% of %NL%"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        ExpandVariables(text);
        EXPECT_EQ(c.expected, text) << Narrow(c.text);
    }
}

TEST(EngineTools, ExpandVariablesEndsOnValuesThatNameThemselves)
{
    CPathVariables& variables = GetPathVariables();
    ASSERT_TRUE(variables.Define(L"%EngineToolsSelf%", L"C:\\%EngineToolsSelf%"));
    CString self(L"%EngineToolsSelf%");
    ExpandVariables(self);
    // One growth a pass, and the passes are bounded.
    EXPECT_EQ(kMaxExpandPasses, Occurrences(self, L"C:\\"));
    EXPECT_EQ(1, Occurrences(self, L"%EngineToolsSelf%"));

    // A cycle through two variables.
    ASSERT_TRUE(variables.Define(L"%EngineToolsPing%", L"a%EngineToolsPong%"));
    ASSERT_TRUE(variables.Define(L"%EngineToolsPong%", L"b%EngineToolsPing%"));
    CString pair(L"%EngineToolsPing%");
    ExpandVariables(pair);
    EXPECT_EQ(kMaxExpandPasses, pair.GetLength() - CString(L"%EngineToolsPing%").GetLength());
    EXPECT_EQ(0, pair.Find(L"abab"));

    // A value naming itself twice doubles the text each pass: the length stops it.
    ASSERT_TRUE(variables.Define(L"%EngineToolsTwice%", L"%EngineToolsTwice%%EngineToolsTwice%"));
    CString twice(L"%EngineToolsTwice%");
    ExpandVariables(twice);
    EXPECT_GT(twice.GetLength(), CPathVariables::kMaxGrowth);
    EXPECT_LE(twice.GetLength(), 4 * CPathVariables::kMaxGrowth);
}

TEST(EngineTools, ExpandNewLinesGivesLineFeedThenCarriageReturn)
{
    const struct {
        const wchar_t* text;
        const wchar_t* expected;
    } cases[] = {
        {L"one%NL%two", L"one\n\rtwo"},
        {L"%NL%%NL%", L"\n\r\n\r"},
        {L"no breaks", L"no breaks"},
        {L"%nl% stays", L"%nl% stays"},
        {L"%NL", L"%NL"},
        {L"", L""},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        ExpandNewLines(text);
        EXPECT_EQ(CString(c.expected), text) << Narrow(c.text);
    }
}

TEST(EngineTools, GetFreeDiskSpace)
{
    TestSupport::CTempFolder temp;
    ULARGE_INTEGER available = {};
    ASSERT_TRUE(GetDiskFreeSpaceExW(temp.Path().c_str(), &available, nullptr, nullptr));
    const ULONGLONG free = GetFreeDiskSpace(temp.Path().c_str());
    EXPECT_GT(free, 0u);
    // Other programs write meanwhile: the same figure within 256 MB.
    EXPECT_LT(free > available.QuadPart ? free - available.QuadPart : available.QuadPart - free, 256ull << 20);

    const DWORD drives = GetLogicalDrives();
    wchar_t missing[] = L"?:\\";
    for (wchar_t letter = L'Y'; letter > L'D'; --letter) {
        if ((drives & (1u << (letter - L'A'))) == 0) {
            missing[0] = letter;
            break;
        }
    }
    ASSERT_NE(L'?', missing[0]);
    EXPECT_EQ(0u, GetFreeDiskSpace(missing));
    EXPECT_EQ(0u, GetFreeDiskSpace(nullptr));
}

// The explicit entries of an object's access list.
struct SAce
{
    BYTE type;
    BYTE flags;
    ACCESS_MASK mask;
    bool everyone;
};

bool ReadExplicitAces(const std::wstring& path, std::vector<SAce>& aces)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                              nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    aces.clear();
    for (DWORD i = 0; dacl != nullptr && i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) && !(ace->Header.AceFlags & INHERITED_ACE))
            aces.push_back({ace->Header.AceType, ace->Header.AceFlags, ace->Mask,
                            EqualSid(everyone, &ace->SidStart) != FALSE});
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return dacl != nullptr;
}

// Whether the file system keeps an access list as it was set: Wine on a file
// system without extended attributes makes one up from the Unix mode bits.
bool KeepsAccessLists(const std::wstring& folder)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    if (!AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system))
        return false;
    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = FILE_GENERIC_READ;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(system);
    PACL acl = nullptr;
    bool kept = false;
    std::wstring name(folder);
    if (SetEntriesInAclW(1, &access, nullptr, &acl) == ERROR_SUCCESS &&
        SetNamedSecurityInfoW(&name[0], SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr) == ERROR_SUCCESS) {
        std::vector<SAce> aces;
        kept = ReadExplicitAces(folder, aces) && aces.size() == 1 && aces[0].mask == FILE_GENERIC_READ;
    }
    LocalFree(acl);
    FreeSid(system);
    return kept;
}

TEST(EngineTools, GrantEveryoneAccessOpensTheFolderToEveryone)
{
    TestSupport::CTempFolder temp;
    const std::wstring folder = temp / L"shared";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    const std::wstring probe = temp / L"probe";
    ASSERT_TRUE(CreateDirectoryW(probe.c_str(), nullptr));
    const bool keeps = KeepsAccessLists(probe);

    ASSERT_TRUE(GrantEveryoneAccess(folder.c_str()));
    std::vector<SAce> aces;
    ASSERT_TRUE(ReadExplicitAces(folder, aces));
    const ACCESS_MASK everything = FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
    bool open = false;
    bool inherits = false;
    for (const SAce& ace : aces) {
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace.type);
        if (!ace.everyone) {
            EXPECT_FALSE(keeps) << "an entry for someone else is left";
            continue;
        }
        if ((ace.mask & GENERIC_ALL) || (ace.mask & everything) == everything)
            open = true;
        if ((ace.flags & (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)) == (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE))
            inherits = true;
    }
    EXPECT_TRUE(open);
    EXPECT_TRUE(inherits);

    EXPECT_FALSE(GrantEveryoneAccess((temp / L"missing").c_str()));
    EXPECT_FALSE(GrantEveryoneAccess(nullptr));
    EXPECT_FALSE(GrantEveryoneAccess(L""));
}

TEST(EngineTools, GetModulePathNamesTheProgramOrNothing)
{
    wchar_t self[MAX_PATH * 2] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
    EXPECT_EQ(CString(self), GetModulePath());
    EXPECT_EQ(CString(self), GetModuleFileNameWithin(nullptr, length + 1));
    // A name that would be cut is no name.
    for (DWORD room : {length, length - 1, 1ul, 0ul})
        EXPECT_TRUE(GetModuleFileNameWithin(nullptr, room).IsEmpty()) << room;
}

TEST(EngineTools, GetFileVersionStringReadsTheVersionOfSetup)
{
    const std::wstring setup = TestSupport::ModuleFolder() + L"setup.exe";
    const struct {
        const wchar_t* name;
        const wchar_t* value;
    } cases[] = {
        {L"OriginalFilename", L"setup.exe"},
        {L"ProductName", L"Quorvant Setup"},
        {L"ProductVersion", L"1.0.0.0"},
        {L"NoSuchValue", L""},
    };
    for (const auto& c : cases) {
        CString value;
        EXPECT_EQ(S_OK, TestSupport::ComErrorOf([&] { value = GetFileVersionString(setup.c_str(), c.name); }));
        EXPECT_EQ(CString(c.value), value) << Narrow(c.name);
    }
}

} // namespace
