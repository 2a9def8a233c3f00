// setup.exe started from a folder where DLLs named like Windows DLLs wait beside it,
// as in a download folder: none of them may be loaded.
#include "tests/e2e/SetupRun.h"
#include "tests/support/Narrow.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

// The DLLs setup uses outside the loader's known set. Two are left out because Wine
// itself looks for them by bare name, beside the program first: its advapi32
// imports version.dll, and its user32 loads uxtheme.dll for the first window
// (the import-table check covers version.dll).
const wchar_t* const kPlanted[] = {L"gdiplus.dll", L"msimg32.dll", L"winspool.drv", L"msi.dll", L"comctl32.dll"};

// The name Wine's override list knows a DLL by: ".dll" left off.
std::wstring OverrideName(const std::wstring& file)
{
    const size_t dot = file.rfind(L".dll");
    return dot != std::wstring::npos && dot + 4 == file.size() ? file.substr(0, dot) : file;
}

TEST(PlantedDll, NoDllBesideSetupIsLoaded)
{
    TestSupport::CTempFolder folder;
    const std::wstring setup = folder / L"setup.exe";
    ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), setup.c_str(), FALSE));
    const std::wstring probe = TestSupport::ModuleFolder() + L"planted.dll";
    for (const wchar_t* name : kPlanted)
        ASSERT_TRUE(CopyFileW(probe.c_str(), (folder / name).c_str(), FALSE)) << TestSupport::Narrow(name);

    // Wine prefers its own DLLs: ask it for a DLL found on disk first, as Windows
    // does. The prefix is this test's own.
    for (const wchar_t* name : kPlanted)
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides",
                                                   OverrideName(name), 0, L"native,builtin"))
            << TestSupport::Narrow(name);
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));

    TestSupport::SProcessOptions options;
    options.workingFolder = folder.Path();
    const TestSupport::SProcessRun run = TestSupport::RunProcess(setup, {L"/qn"}, options);

    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    // GDI+ started (it is used from the first moment) and the run reached the package
    // search, which finds nothing here.
    const std::vector<std::string> lines = run.TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Setup: Failed to load setup cfs. File is missing or corrupted.", lines.back());
    for (const wchar_t* name : kPlanted)
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((folder / (std::wstring(name) + L".loaded")).c_str()))
            << TestSupport::Narrow(name) << " was loaded";
}

} // namespace
