// The DLL search of our programs: held to the system folder once restricted, while a
// package's DLL still finds the DLLs shipped beside it.
#include "common/tools/FileTools.h"
#include "common/tools/PathSafety.h"
#include "common/win32/SystemDll.h"
#include "tests/support/Narrow.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

void CopyBesideTests(const wchar_t* name, const std::wstring& target)
{
    const std::wstring source = TestSupport::ModuleFolder() + name;
    ASSERT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << GetLastError();
}

// Each case runs in a process of its own: the restriction lasts for the process.
TEST(SystemDllTest, TheRestrictedSearchNoLongerLooksInTheCurrentFolder)
{
    TestSupport::CTempFolder folder;
    CopyBesideTests(L"sidedep.dll", folder / L"before.dll");
    CopyBesideTests(L"sidedep.dll", folder / L"after.dll");
    ASSERT_TRUE(SetCurrentDirectoryW(folder.Path().c_str()));

    HMODULE before = LoadLibraryW(L"before.dll");
    EXPECT_NE(nullptr, before);
    Common::Win32::RestrictDllSearch();
    HMODULE after = LoadLibraryW(L"after.dll");
    EXPECT_EQ(nullptr, after);
    // The system folder is still searched.
    HMODULE system = LoadLibraryW(L"version.dll");
    EXPECT_NE(nullptr, system);

    for (HMODULE module : {before, after, system})
        if (module != nullptr)
            FreeLibrary(module);
    SetCurrentDirectoryW(TestSupport::ModuleFolder().c_str());
}

TEST(SystemDllTest, APackageDllFindsTheDllsShippedBesideItUnderTheRestrictedSearch)
{
    Common::Win32::RestrictDllSearch();
    TestSupport::CTempFolder plain, package;
    for (const TestSupport::CTempFolder* folder : {&plain, &package}) {
        CopyBesideTests(L"sideuser.dll", *folder / L"sideuser.dll");
        CopyBesideTests(L"sidedep.dll", *folder / L"sidedep.dll");
    }

    // By full path alone the DLL it needs is looked for in the system folder only.
    HMODULE byPath = LoadLibraryW((plain / L"sideuser.dll").c_str());
    EXPECT_EQ(nullptr, byPath);
    if (byPath != nullptr)
        FreeLibrary(byPath);

    CModuleHolder holder;
    ASSERT_TRUE(LoadLibraryInto(holder, (package / L"sideuser.dll").c_str()));
    using Fn = int (*)();
    const auto value = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(holder.Get(), "SideUserValue")));
    ASSERT_NE(nullptr, value);
    EXPECT_EQ(42, value());
}

// The folder of a loaded module, as the loader names its file.
std::wstring ModuleFolderOf(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring text(path, length);
    return text.substr(0, text.find_last_of(L'\\'));
}

// A module of the same name loaded from elsewhere (a package's DLL may be called
// so) is not taken for the system's DLL.
TEST(SystemDllTest, TheSystemFoldersDllIsLoadedWhateverIsLoadedUnderItsName)
{
    Common::Win32::RestrictDllSearch();
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    // A name no system folder holds, put there for the test.
    const wchar_t name[] = L"qvsysprobe5e1.dll";
    const std::wstring inSystem = std::wstring(system) + L"\\" + name;
    CopyBesideTests(L"sidedep.dll", inSystem);
    TestSupport::CTempFolder package;
    CopyBesideTests(L"sidedep.dll", package / name);

    HMODULE packageModule = LoadLibraryW((package / name).c_str());
    ASSERT_NE(nullptr, packageModule);
    HMODULE systemModule = Common::Win32::LoadSystemDll(name);
    ASSERT_NE(nullptr, systemModule);
    EXPECT_NE(packageModule, systemModule);
    EXPECT_FALSE(IsSamePath(package.Path().c_str(), ModuleFolderOf(systemModule).c_str()))
        << TestSupport::Narrow(ModuleFolderOf(systemModule));
    FreeLibrary(systemModule);
    FreeLibrary(packageModule);
    EXPECT_TRUE(DeleteFileW(inSystem.c_str()));

    // Only a name: nothing outside the system folder.
    for (const wchar_t* named : {L"..\\qvsysprobe5e1.dll", L"sub\\version.dll", L"C:\\version.dll", L""}) {
        SCOPED_TRACE(TestSupport::Narrow(named));
        EXPECT_EQ(nullptr, Common::Win32::LoadSystemDll(named));
    }
}

// A package's DLL named without a full path is still found where the standard
// search looked before it was restricted: the system folder first, then the
// program's folder and the current one. The DLL it needs comes from beside it.
TEST(SystemDllTest, APackageDllNamedWithoutAFullPathIsFoundWhereTheStandardSearchLooked)
{
    Common::Win32::RestrictDllSearch();
    TestSupport::CTempFolder current;
    ASSERT_TRUE(CreateDirectoryW((current / L"sub").c_str(), nullptr));
    CopyBesideTests(L"sideuser.dll", current / L"curuser.dll");
    CopyBesideTests(L"sidedep.dll", current / L"sidedep.dll");
    CopyBesideTests(L"sideuser.dll", current / L"sub\\subuser.dll");
    CopyBesideTests(L"sidedep.dll", current / L"sub\\sidedep.dll");
    // Named like a system DLL: the system's wins.
    CopyBesideTests(L"sidedep.dll", current / L"version.dll");
    ASSERT_TRUE(SetCurrentDirectoryW(current.Path().c_str()));

    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    CString beside(TestSupport::ModuleFolder().c_str());
    TrimTrailingSeparators(beside);
    const struct
    {
        const wchar_t* name;
        std::wstring folder; // where it loads from; empty: the system's
        bool user;           // a copy of sideuser
    } cases[] = {
        {L"curuser.dll", current.Path(), true},
        {L"sub\\subuser.dll", current / L"sub", true},
        {L"sideuser.dll", beside.Str(), true}, // beside the program
        {L"version.dll", std::wstring(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(TestSupport::Narrow(c.name));
        CModuleHolder holder;
        ASSERT_TRUE(LoadLibraryInto(holder, c.name)) << GetLastError();
        const std::wstring folder = ModuleFolderOf(holder.Get());
        EXPECT_TRUE(c.folder.empty() ? !IsSamePath(current.Path().c_str(), folder.c_str())
                                     : IsSamePath(c.folder.c_str(), folder.c_str()))
            << TestSupport::Narrow(folder);
        using Fn = int (*)();
        const auto value =
            reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(holder.Get(), "SideUserValue")));
        EXPECT_EQ(c.user ? 42 : -1, value != nullptr ? value() : -1);
    }
    // Found nowhere: no module, and the platform's reason.
    CModuleHolder missing;
    EXPECT_FALSE(LoadLibraryInto(missing, L"absent5e1.dll"));
    EXPECT_EQ(static_cast<DWORD>(ERROR_MOD_NOT_FOUND), GetLastError());
    SetCurrentDirectoryW(TestSupport::ModuleFolder().c_str());
}

} // namespace
