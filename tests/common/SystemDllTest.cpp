// The DLL search of our programs: held to the system folder once restricted, while a
// package's DLL still finds the DLLs shipped beside it.
#include "common/tools/FileTools.h"
#include "common/win32/SystemDll.h"
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

} // namespace
