// setup.exe started from a folder where DLLs named like Windows DLLs wait beside it,
// as in a download folder: none of them may be loaded, at start-up or at the first
// use of each.
#include "tests/e2e/InstallFixture.h"
#include "tests/e2e/SetupRun.h"
#include "tests/support/Narrow.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using TestSupport::HasLine;
using TestSupport::Joined;
using TestSupport::Narrow;

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

// A download folder: setup.exe with a copy of the probe DLL under each planted name.
// Wine prefers its own DLLs: it is asked for a DLL found on disk first, as Windows
// does. The prefix is the test's own.
class PlantedDll : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_strSetup = m_folder / L"setup.exe";
        ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), m_strSetup.c_str(), FALSE));
        const std::wstring probe = TestSupport::ModuleFolder() + L"planted.dll";
        for (const wchar_t* name : kPlanted) {
            ASSERT_TRUE(CopyFileW(probe.c_str(), (m_folder / name).c_str(), FALSE)) << Narrow(name);
            ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CURRENT_USER,
                                                       L"Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides",
                                                       OverrideName(name), 0, L"native,builtin"))
                << Narrow(name);
        }
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    }

    TestSupport::SProcessRun RunSetup(const std::vector<std::wstring>& arguments)
    {
        TestSupport::SProcessOptions options;
        options.workingFolder = m_folder.Path();
        return TestSupport::RunProcess(m_strSetup, arguments, options);
    }

    void ExpectNoneLoaded()
    {
        for (const wchar_t* name : kPlanted)
            EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((m_folder / (std::wstring(name) + L".loaded")).c_str()))
                << Narrow(name) << " was loaded";
    }

    TestSupport::CTempFolder m_folder;
    TestSupport::CTempFolder m_temp;
    std::wstring m_strSetup;
};

TEST_F(PlantedDll, NoDllBesideSetupIsLoaded)
{
    const TestSupport::SProcessRun run = RunSetup({L"/qn"});

    ExpectNoneLoaded();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    // GDI+ started (it is used from the first moment) and the run reached the package
    // search, which finds nothing here.
    const std::vector<std::string> lines = run.TraceLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("Setup: Failed to load setup cfs. File is missing or corrupted.", lines.back());
}

// A quiet install that reaches the first use of the DLLs loaded later: the Windows
// Installer's (the redistributable check after the licence page), the version
// resources' (a copy with a version check onto a file that is there), and the
// spooler's, which a printer setup library kept outside setup's folder needs.
TEST_F(PlantedDll, NoDllBesideSetupIsLoadedAtTheFirstUseOfEach)
{
    // The redistributable's installer and the printer library, each in a folder of its own.
    ASSERT_TRUE(CreateDirectoryW((m_folder / L"redist").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"childprog.exe").c_str(),
                          (m_folder / L"redist\\childprog.exe").c_str(), FALSE));
    const std::wstring printer = m_temp / L"printer.dll";
    ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"fakeprinter.dll").c_str(), printer.c_str(), FALSE));
    E2E::RemoveTree(E2E::kInstallRoot);

    const std::string body =
        "  <Localize><DlgLicence/></Localize>\n"
        "  <Redist><Runtime ID=\"{5E1A0C3B-7D42-4E8F-9A16-2B3C4D5E6F70}\" Caption=\"Planted Runtime\""
        " CmdLine=\"redist\\childprog.exe exit 0\"/></Redist>\n"
        "  <SetupFiles>\n"
        "    <G DestPath=\"%TargetDir%\"><F FileName=\"\\app.txt\"/></G>\n"
        "    <G DestPath=\"%TargetDir%\"><F FileName=\"\\app.txt\" Check=\"2\"/></G>\n"
        "  </SetupFiles>\n"
        "  <PrinterInstall>\n"
        "    <P2DSetupFiles P2DSetupDll=\"" + Narrow(printer) + "\" P2DSetupCFS=\"printer.cfs\"/>\n"
        "    <Driver DriverCaption=\"Drv\" DriverFileName=\"drv.dll\"/>\n"
        "    <PrintProc PrintProcCaption=\"Proc\" PrintProcFileName=\"proc.dll\"/>\n"
        "    <Printer P2DPrinterName=\"Planted\" P2DPrinterID=\"id\" P2DShareName=\"\" PortName=\"P:\"/>\n"
        "    <Connector/>\n"
        "    <PrinterEventHandler EventMask=\"0x1\"/>\n"
        "    <Dependences/>\n"
        "  </PrinterInstall>\n" +
        E2E::PreFinish("    <Files/>\n    <Printer/>\n");
    const std::wstring package = TestSupport::MakePackage(
        m_temp,
        {{L"setup.xml", TestSupport::ToBytes(E2E::InstallDocument(body))}, {L"app.txt", TestSupport::ToBytes("app")}},
        PackageTools::SBuildOptions(), L"planted.cfs");

    const TestSupport::SProcessRun run = RunSetup({L"/i", package, L"/qn", L"/norestart"});

    // A planted DLL without the real one's exports may stop the run on its way.
    ExpectNoneLoaded();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    // Each first use was made, and went on to its end.
    EXPECT_TRUE(HasLine(lines, "Setup: 'Planted Runtime ({5E1A0C3B-7D42-4E8F-9A16-2B3C4D5E6F70})' - Missing"))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Installing 'Planted Runtime'(redist\\childprog.exe exit 0) - OK"))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: CopyFile: File skipped due version check, 'C:\\e2e\\target\\app.txt'"))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Install virtual printer - successful")) << Joined(lines);
}

} // namespace
