// Uninstalls with the real setup.exe, each case in a prefix of its own: a quiet
// install first, then the registered uninstall command, or a setup that hands the
// job over to it. What the install left must be gone, or wait for the restart.
#include "tests/e2e/InstallFixture.h"
#include "tests/support/GuiDriver.h"

#include <gtest/gtest.h>

#include <tlhelp32.h>

#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CBackgroundRun;
using TestSupport::CGuiDriver;
using TestSupport::CTempFolder;
using TestSupport::SProcessRun;
using TestSupport::SWindowMatch;
using TestSupport::ToBytes;

namespace {

using TestSupport::HasLine;
using TestSupport::Joined;

const wchar_t kProduct[] = L"{5D2A8E63-1B7C-4F94-A0E2-6C3B9D8F1A47}";
const std::wstring kUninstallKey = E2E::RecordKey(kProduct);
const wchar_t kUninstallFolder[] = L"C:\\e2e\\uninst";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

const std::string kDocument = E2E::InstallDocument(
    "  <InstallInfo ProductID=\"" + Narrow(kProduct) +
    "\" UninstallPath=\"C:\\e2e\\uninst\" DisplayName=\"E2E Product\" DisplayVersion=\"1.0\""
    " UpdateExt=\".e2eu\" UpdateAlias=\"E2E.Update\" CaptionUpdDsc=\"E2E update package\"/>\n" +
    E2E::SetupFiles("    <G DestPath=\"%TargetDir%\"><F FileName=\"\\files\\plain.txt\"/>"
                    "<F FileName=\"\\files\\data.bin\"/></G>\n"
                    "    <G DestPath=\"%TargetDir%\\sub\"><F FileName=\"\\files\\plain.txt\"/></G>\n"
                    "    <Shared DestPath=\"C:\\e2e\\shared\" NoRemove=\"true\"><F FileName=\"\\files\\plain.txt\"/></Shared>\n") +
    E2E::PreFinish("    <Files/>\n    <RegUninstaller/>\n"
                   "    <HKCU KeyName=\"Software\\E2E\\Product\" ValueName=\"Installed\" HexValue=\"0x1\"/>\n") +
    "  <Uninstall>\n"
    "    <PreFinish><Files Install=\"false\"/><HKCU KeyName=\"Software\\E2E\\Product\" Remove=\"true\"/></PreFinish>\n"
    "    <PostFinish><RemoveFolder FolderName=\"%TargetDir%\"/></PostFinish>\n"
    "  </Uninstall>\n"
    "  <Config>\n"
    "    <Remove><HKCU KeyName=\"Software\\E2E\\Product\" ValueName=\"Removed\" HexValue=\"0x1\" condition=\"Extra\"/></Remove>\n"
    "    <Add><HKCU KeyName=\"Software\\E2E\\Product\" ValueName=\"Added\" HexValue=\"0x1\" condition=\"Extra\"/></Add>\n"
    "  </Config>\n");

std::wstring UninstallFile(const wchar_t* extension)
{
    return std::wstring(kUninstallFolder) + L"\\" + kProduct + extension;
}

using E2E::PendingDeletions;

int PendingIndex(const std::vector<std::wstring>& pending, const std::wstring& path)
{
    for (size_t i = 0; i < pending.size(); ++i)
        if (pending[i] == E2E::Lower(path))
            return static_cast<int>(i);
    return -1;
}

// The names in a folder that are product codes.
std::vector<std::wstring> GuidNamesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name.size() == 38 && name[0] == L'{' && name[37] == L'}')
            names.push_back(folder + L"\\" + name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

class Uninstall : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        E2E::RemoveTree(E2E::kInstallRoot);
        E2E::DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey);
        // setup.exe with the install package beside it: "/x" names no package.
        m_strProgramFolder = m_temp / L"program";
        ASSERT_TRUE(CreateDirectoryW(m_strProgramFolder.c_str(), nullptr));
        m_strSetup = m_strProgramFolder + L"\\setup.exe";
        ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), m_strSetup.c_str(), FALSE));
        const std::wstring built = TestSupport::MakePackage(
            m_temp, {{L"setup.xml", ToBytes(kDocument)}, {L"files\\plain.txt", ToBytes("plain text")},
                     {L"files\\data.bin", TestSupport::Pattern(20000, 3)}},
            PackageTools::SBuildOptions(), L"product.cfs");
        m_strPackage = m_strProgramFolder + L"\\setup.cfs";
        ASSERT_TRUE(MoveFileExW(built.c_str(), m_strPackage.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    }

    void InstallQuietly()
    {
        const SProcessRun run = TestSupport::RunProcess(m_strSetup, {L"/i", m_strPackage, L"/qn", L"/norestart"});
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(0u, run.exitCode);
        ASSERT_TRUE(E2E::FileExists(std::wstring(E2E::kTargetDir) + L"\\sub\\plain.txt"));
        ASSERT_TRUE(E2E::FileExists(UninstallFile(L".exe")));
        ASSERT_TRUE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        ASSERT_TRUE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L".e2eu"));
    }

    // Everything the install left is gone, or (the running copy, its folder) waits
    // for the restart, in an order that lets the folder go.
    void CheckRemoved()
    {
        const std::wstring target = E2E::kTargetDir;
        EXPECT_FALSE(E2E::FileExists(target + L"\\plain.txt"));
        EXPECT_FALSE(E2E::FileExists(target + L"\\sub\\plain.txt"));
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(target.c_str())) << "install folder";
        EXPECT_TRUE(E2E::FileExists(L"C:\\e2e\\shared\\plain.txt")) << "a NoRemove group stays";

        EXPECT_FALSE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
        EXPECT_FALSE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L".e2eu"));
        EXPECT_FALSE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L"E2E.Update"));
        EXPECT_FALSE(E2E::RegKeyExists(HKEY_CURRENT_USER, L"Software\\E2E\\Product"));

        EXPECT_FALSE(E2E::FileExists(UninstallFile(L".exe")));
        EXPECT_FALSE(E2E::FileExists(UninstallFile(L".cfs")));
        EXPECT_FALSE(E2E::FileExists(UninstallFile(L".cfg")));
        EXPECT_FALSE(E2E::FileExists(std::wstring(kUninstallFolder) + L"\\" + kProduct)) << "no restart marker";
        const std::vector<std::wstring> left = GuidNamesIn(kUninstallFolder);
        ASSERT_EQ(1u, left.size()) << "the running copy under its new name";
        const std::vector<std::wstring> pending = PendingDeletions();
        const int copy = PendingIndex(pending, left[0]);
        const int folder = PendingIndex(pending, kUninstallFolder);
        EXPECT_NE(-1, copy);
        EXPECT_GT(folder, copy) << "the folder goes after the copy";
    }

    CTempFolder m_temp;
    std::wstring m_strProgramFolder;
    std::wstring m_strSetup;
    std::wstring m_strPackage;
};

TEST_F(Uninstall, TheRegisteredCommandRemovesTheProduct)
{
    InstallQuietly();
    if (HasFatalFailure())
        return;
    // The command as the list of installed programs would start it.
    const E2E::SRegValue command = E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString");
    ASSERT_TRUE(command.found);
    EXPECT_TRUE(command.data == E2E::StringData(UninstallFile(L".exe") + L" /X" + kProduct));

    const SProcessRun run = TestSupport::RunProcess(
        UninstallFile(L".exe"), {std::wstring(L"/X") + kProduct, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: Install : CInstallManager::Uninstall >")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Clear application install info - successful")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Remove file: successful, '" + Narrow(UninstallFile(L".cfs")) + "'")) << Joined(lines);
    EXPECT_FALSE(HasLine(lines, "Setup: Starting the registered uninstaller: " + Narrow(UninstallFile(L".exe")) + " /X" +
                                Narrow(kProduct) + " /qn /norestart"))
        << "the copy is the registered uninstaller itself";
    CheckRemoved();
}

// "/config" through the registered copy: the Add script runs for the listed
// component, the Remove script's node for it stays off, the components file keeps the
// choice and the list file is gone.
TEST_F(Uninstall, TheRegisteredCopyReconfiguresTheProduct)
{
    InstallQuietly();
    if (HasFatalFailure())
        return;
    const std::wstring list = m_temp / L"change.xml";
    TestSupport::WriteFileBytes(list, ToBytes("<C><AddComponents><item Name=\"Extra\" Value=\"true\"/></AddComponents>"
                                              "<RemoveComponents><item Name=\"Extra\" Value=\"false\"/></RemoveComponents></C>"));

    const SProcessRun run = TestSupport::RunProcess(UninstallFile(L".exe"), {L"/config", list, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << Joined(run.TraceLines());
    EXPECT_TRUE(E2E::ReadRegValue(HKEY_CURRENT_USER, L"Software\\E2E\\Product", L"Added").found);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_CURRENT_USER, L"Software\\E2E\\Product", L"Removed").found);
    EXPECT_FALSE(E2E::FileExists(list)) << "the list file is deleted";
    const Bytes components = TestSupport::ReadFileBytes(UninstallFile(L".cfg"));
    std::string text;  // the saved file may be UTF-8 or UTF-16: drop the NULs
    for (unsigned char c : components)
        if (c != 0)
            text += static_cast<char>(c);
    EXPECT_NE(std::string::npos, text.find("\"Extra\"")) << text;
    // The product itself is untouched.
    EXPECT_TRUE(E2E::FileExists(std::wstring(E2E::kTargetDir) + L"\\sub\\plain.txt"));
    EXPECT_TRUE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

// The id of a running process started from the program of that name; 0 when none.
DWORD FindProcess(const std::wstring& exeName)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    DWORD id = 0;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && id == 0; more = Process32NextW(snapshot, &entry))
        if (E2E::Lower(entry.szExeFile) == E2E::Lower(exeName))
            id = entry.th32ProcessID;
    CloseHandle(snapshot);
    return id;
}

TEST_F(Uninstall, AnotherSetupHandsTheJobToTheRegisteredCopy)
{
    InstallQuietly();
    if (HasFatalFailure())
        return;
    const SProcessRun run = TestSupport::RunProcess(m_strSetup, {std::wstring(L"/x") + kProduct, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: Starting the registered uninstaller: " + Narrow(UninstallFile(L".exe")) + " /x" +
                               Narrow(kProduct) + " /qn /norestart"))
        << Joined(lines);
    EXPECT_FALSE(HasLine(lines, "Setup: Clear application install info - successful")) << "this setup removes nothing";

    // The copy runs on alone; its end is awaited here.
    const DWORD copy = FindProcess(std::wstring(kProduct) + L".exe");
    if (copy != 0) {
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, copy);
        ASSERT_NE(nullptr, process);
        EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 60000));
        DWORD code = 99;
        GetExitCodeProcess(process, &code);
        CloseHandle(process);
        EXPECT_EQ(0u, code);
    }
    for (int i = 0; i < 600 && E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey); ++i)
        Sleep(100);
    for (int i = 0; i < 600 && FindProcess(std::wstring(kProduct) + L".exe") != 0; ++i)
        Sleep(100);
    CheckRemoved();
    EXPECT_TRUE(E2E::FileExists(m_strSetup)) << "the setup that handed over is no copy: it stays";
    EXPECT_TRUE(E2E::FileExists(m_strPackage));
}

TEST_F(Uninstall, AProductThatIsNotInstalledFailsWithoutHarm)
{
    const SProcessRun run = TestSupport::RunProcess(m_strSetup, {std::wstring(L"/x") + kProduct, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: No uninstaller registered for product " + Narrow(kProduct))) << Joined(lines);
    EXPECT_TRUE(E2E::FileExists(m_strSetup));
    EXPECT_TRUE(PendingDeletions().empty());
}


// The uninstall folder hangs on the install folder, which the user types on the
// destination page: the components chosen then must reach the uninstall, which
// runs only the nodes of the installed components.
TEST_F(Uninstall, TheComponentsOfAnInstallToATypedFolderDecideWhatTheUninstallRuns)
{
    const std::string document =
        "<Interface>"
        "<SetupMacroses><TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\e2e\\Default\"/>"
        "<TargetDataDir Pattern=\"%TargetDataDir%\" Value=\"C:\\e2e\\data\"/>"
        "<ProductName Pattern=\"%ProductName%\" Value=\"E2E Product\"/></SetupMacroses>"
        "<InstallInfo ProductID=\"" + Narrow(kProduct) + "\" UninstallPath=\"%TargetDir%\\Uninstall\""
        " DisplayName=\"E2E Product\" DisplayVersion=\"1.0\"/>"
        "<SetupFiles InstallSize=\"1\" InstallSize64=\"1\"><G DestPath=\"%TargetDir%\">"
        "<F FileName=\"\\files\\plain.txt\"/></G></SetupFiles>"
        "<Localize Caption=\"E2E Product Setup\">"
        "<Common><btnNext Caption=\"Next\"/><btnBack Caption=\"Back\"/><Cancel Caption=\"Cancel\"/></Common>"
        "<DlgDestination><btnBrowse Caption=\"Browse\"/></DlgDestination>"
        "<Messages><SetupFailed Caption=\"Setup failed.\"/><CancelInstall Caption=\"Stop?\"/></Messages>"
        "</Localize>"
        // Of the two components only Main is chosen.
        "<Install><PreFinish><SetCond condition=\"Main\" Value=\"true\"/><SetCond condition=\"Extra\" Value=\"false\"/>"
        "<Files/><RegUninstaller/></PreFinish></Install>"
        "<Uninstall><PreFinish><Files Install=\"false\"/>"
        "<HKCU KeyName=\"Software\\E2E\\Components\" ValueName=\"Main\" HexValue=\"0x1\" condition=\"Main\"/>"
        "<HKCU KeyName=\"Software\\E2E\\Components\" ValueName=\"Extra\" HexValue=\"0x1\" condition=\"Extra\"/>"
        "</PreFinish></Uninstall>"
        "</Interface>";
    const std::wstring built = TestSupport::MakePackage(
        m_temp, {{L"setup.xml", ToBytes(document)}, {L"files\\plain.txt", ToBytes("plain text")}},
        PackageTools::SBuildOptions(), L"typed.cfs");
    ASSERT_TRUE(MoveFileExW(built.c_str(), m_strPackage.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();

    const std::wstring typed = L"C:\\e2e\\Typed Folder";
    const std::wstring copy = typed + L"\\Uninstall\\" + kProduct + L".exe";
    TestSupport::SProcessOptions options;
    options.timeoutMs = 60000;
    std::vector<std::string> installLines;
    {
        CBackgroundRun install(m_strSetup, {L"/i", m_strPackage, L"/norestart"}, options);
        const DWORD processId = install.ProcessId();
        ASSERT_NE(0u, processId);
        CGuiDriver driver(processId, 30000);
        HWND page = driver.WaitFor(SWindowMatch::Dialog(1003));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"C:\\e2e\\Default", driver.ControlText(page, 1003));
        EXPECT_TRUE(driver.Type(page, 1003, typed));
        EXPECT_TRUE(driver.Click(page, IDOK));
        const SProcessRun& run = install.Wait();
        ASSERT_TRUE(run.finished);
        installLines = run.TraceLines();
        ASSERT_EQ(0u, run.exitCode) << Joined(installLines);
    }
    EXPECT_TRUE(HasLine(installLines, "Setup: Save installed components info: 1")) << Joined(installLines);
    ASSERT_TRUE(E2E::FileExists(typed + L"\\plain.txt"));
    EXPECT_TRUE(E2E::FileExists(typed + L"\\Uninstall\\" + kProduct + L".cfg"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\e2e\\Default")) << "nothing at the default folder";

    // The command as the list of installed programs would start it.
    const E2E::SRegValue command = E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString");
    ASSERT_TRUE(command.found);
    ASSERT_TRUE(command.data == E2E::StringData(L"\"" + copy + L"\" /X" + kProduct));
    const SProcessRun run =
        TestSupport::RunProcess(copy, {std::wstring(L"/X") + kProduct, L"/qn", L"/norestart"}, options);
    ASSERT_TRUE(run.finished);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_EQ(0u, run.exitCode) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Components file: " + Narrow(typed) + "\\Uninstall\\" + Narrow(kProduct) + ".cfg"))
        << Joined(lines);
    EXPECT_TRUE(E2E::ReadRegValue(HKEY_CURRENT_USER, L"Software\\E2E\\Components", L"Main").found)
        << "the installed component's node ran";
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_CURRENT_USER, L"Software\\E2E\\Components", L"Extra").found)
        << "the component left out at the install was not uninstalled";
    EXPECT_FALSE(E2E::FileExists(typed + L"\\plain.txt"));
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
}

} // namespace
