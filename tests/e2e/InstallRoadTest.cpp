// The install road of the real setup.exe: its refusals and exit codes, the message
// boxes it shows (answered by the GUI driver) and the windows it makes. Each case
// runs in a prefix of its own.
#include "tests/e2e/InstallFixture.h"
#include "tests/e2e/SetupRun.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using TestSupport::CBackgroundRun;
using TestSupport::CGuiDriver;
using TestSupport::CTempFolder;
using TestSupport::CTraceHold;
using TestSupport::SProcessRun;
using TestSupport::SWindowInfo;
using TestSupport::SWindowMatch;

namespace {

const wchar_t kProductId[] = L"{6F1C2A3B-4D5E-4F60-8172-93A4B5C6D7E8}";
const char kProductIdA[] = "{6F1C2A3B-4D5E-4F60-8172-93A4B5C6D7E8}";
const wchar_t kMarkerFolder[] = L"C:\\RoadTest\\Uninstall";
const wchar_t kCaption[] = L"Road Product Setup";

const char kUninstallOnly[] = "Setup: Attempt to initialize install process with cfs intended to uninstall only.";
const char kRebootYes[] = "Setup: Reboot required before install: yes";
const char kRebootNo[] = "Setup: Reboot required before install: no";
const char kRebootCheck[] = "Setup: InstallManager : CInstallManager::RebootRequiredBeforeInstall >";
const char kShowMainWindow[] = "Setup: InstallManager : CInstallManager::ShowMainWindow >";
const char kFinish[] = "Setup: InstallManager : CInstallManager::FinishInstallation >";

// The interface document: 'setupFiles' are attributes of SetupFiles, 'more' further
// elements under the root, 'pages' further elements under Localize.
std::string Document(const std::string& setupFiles = "", const std::string& more = "", const std::string& pages = "")
{
    return "<Interface>"
           "<InstallInfo ProductName=\"Road Product\" DisplayName=\"Road Product\" ProductID=\"" +
           std::string(kProductIdA) +
           "\" UninstallPath=\"C:\\RoadTest\\Uninstall\"/>"
           "<SetupFiles " + setupFiles + "/>"
           "<Localize Caption=\"Road Product Setup\">"
           "<Messages>"
           "<RebootBeforeInstall Caption=\"Restart Windows before installing %ProductName%.\"/>"
           "<UninstallNeed Caption=\"Remove %ProductName% before installing this version.\"/>"
           "<SetupFailed Caption=\"Setup failed.\"/>"
           "<AdminRequired Caption=\"Administrator rights are needed.\"/>"
           "</Messages>" +
           pages + "</Localize>" +
           more + "</Interface>";
}

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

std::string Describe(const std::vector<std::wstring>& arguments)
{
    std::string text;
    for (const std::wstring& argument : arguments)
        text += std::string(argument.begin(), argument.end()) + " ";
    return text;
}

bool HasText(const SWindowInfo& window, const std::wstring& text)
{
    return std::find(window.childTexts.begin(), window.childTexts.end(), text) != window.childTexts.end();
}

class InstallRoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        // setup.exe with its package beside it, so that every command line finds it.
        m_strProgramFolder = m_temp / L"program";
        ASSERT_TRUE(CreateDirectoryW(m_strProgramFolder.c_str(), nullptr));
        m_strSetup = m_strProgramFolder + L"\\setup.exe";
        ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), m_strSetup.c_str(), FALSE));
        m_strPackage = m_strProgramFolder + L"\\setup.cfs";
    }

    void UsePackage(const std::string& document)
    {
        PackageTools::SBuildOptions options;
        options.pack = true;
        const std::wstring built =
            TestSupport::MakePackage(m_temp, {{L"setup.xml", TestSupport::ToBytes(document)}}, options, L"road.cfs");
        ASSERT_TRUE(MoveFileExW(built.c_str(), m_strPackage.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    }

    std::vector<std::wstring> InstallArguments(bool quiet) const
    {
        std::vector<std::wstring> arguments = {L"/i", m_strPackage, L"/norestart"};
        if (quiet)
            arguments.push_back(L"/qn");
        return arguments;
    }

    // Runs setup while 'drive' works its windows, and records every window of it
    // that the polls see.
    // A hold keeps setup at one trace line; the polls then stay away, as they would
    // wait on its busy windows.
    SProcessRun Run(const std::vector<std::wstring>& arguments,
                    const std::function<void(const CGuiDriver&)>& drive = nullptr, CTraceHold* hold = nullptr)
    {
        m_seen.clear();
        TestSupport::SProcessOptions options;
        options.timeoutMs = 60000;
        if (hold != nullptr)
            options.onMessage = hold->Hook();
        else
            options.onPoll = [this](DWORD processId) { Record(TestSupport::ProcessWindows(processId)); };
        CBackgroundRun run(m_strSetup, arguments, options);
        if (drive) {
            const DWORD processId = run.ProcessId();
            EXPECT_NE(0u, processId);
            if (processId != 0) {
                CGuiDriver driver(processId, 30000);
                drive(driver);
            }
        }
        const SProcessRun& result = run.Wait();
        EXPECT_TRUE(result.finished) << Describe(arguments);
        return result;
    }

    void Record(const std::vector<SWindowInfo>& windows)
    {
        std::lock_guard<std::mutex> guard(m_seenLock);
        for (const SWindowInfo& window : windows) {
            const bool known = std::any_of(m_seen.begin(), m_seen.end(),
                                           [&window](const SWindowInfo& seen) { return seen.handle == window.handle; });
            if (!known)
                m_seen.push_back(window);
        }
    }

    // The windows of setup's own seen during the run: dialogs (pages, message
    // boxes, the main window). Windows the system makes for a process on its own
    // (COM's apartment window, input method windows) come and go with timing and
    // say nothing about setup.
    std::vector<SWindowInfo> Seen()
    {
        std::lock_guard<std::mutex> guard(m_seenLock);
        std::vector<SWindowInfo> own;
        for (const SWindowInfo& window : m_seen) {
            if (window.className == L"#32770")
                own.push_back(window);
        }
        return own;
    }

    static void SetInstalledRecord(bool installed)
    {
        const std::wstring key = E2E::RecordKey(kProductId);
        if (installed) {
            ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName", KEY_WOW64_32KEY,
                                                       L"Road Product 0.9"));
        } else {
            const LONG result = RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), KEY_WOW64_32KEY, 0);
            ASSERT_TRUE(result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) << result;
        }
    }

    static void PutRestartMarker()
    {
        ASSERT_TRUE(CreateDirectoryW(L"C:\\RoadTest", nullptr));
        ASSERT_TRUE(CreateDirectoryW(kMarkerFolder, nullptr));
        TestSupport::WriteFileBytes(std::wstring(kMarkerFolder) + L"\\" + kProductId, TestSupport::ToBytes("1"));
    }

    CTempFolder m_temp;
    std::wstring m_strProgramFolder;
    std::wstring m_strSetup;
    std::wstring m_strPackage;
    std::mutex m_seenLock;
    std::vector<SWindowInfo> m_seen;
};

TEST_F(InstallRoad, AnUninstallOnlyPackageIsRefusedFirstWithATraceOnly)
{
    // A restart marker too: the package kind is refused before that check (and
    // before the admin check, which a Wine user always passes).
    PutRestartMarker();
    UsePackage(Document("", "<UninstallScript/>"));
    for (bool quiet : {true, false}) {
        const SProcessRun run = Run(InstallArguments(quiet));
        EXPECT_EQ(2u, run.exitCode) << quiet;
        const std::vector<std::string> lines = run.TraceLines();
        ASSERT_FALSE(lines.empty()) << quiet;
        EXPECT_EQ(kUninstallOnly, lines.back()) << quiet;
        EXPECT_FALSE(Has(lines, kRebootCheck)) << quiet;
        EXPECT_TRUE(Seen().empty()) << quiet;
    }
}

TEST_F(InstallRoad, ARestartMarkerStopsTheInstallWithItsMessage)
{
    PutRestartMarker();
    UsePackage(Document());

    SProcessRun run = Run(InstallArguments(true));
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_TRUE(Has(run.TraceLines(), kRebootYes));
    EXPECT_FALSE(Has(run.TraceLines(), kShowMainWindow));
    EXPECT_TRUE(Seen().empty()) << "quiet: no message";

    SWindowInfo box;
    run = Run(InstallArguments(false), [&box](const CGuiDriver& driver) {
        EXPECT_TRUE(driver.AnswerMessageBox(IDOK, &box));
    });
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_TRUE(Has(run.TraceLines(), kRebootYes));
    EXPECT_EQ(kCaption, box.title);
    EXPECT_TRUE(HasText(box, L"Restart Windows before installing Road Product.")) << box.childTexts.size();
    EXPECT_EQ(nullptr, box.owner) << "shown before the main window";
    EXPECT_TRUE(box.hasIconControl);
}

TEST_F(InstallRoad, AnInstalledProductIsReinstalledOnlyWhenThePackageAllowsIt)
{
    struct SCase
    {
        bool installed;
        const char* setupFiles;
        bool quiet;
        DWORD exitCode;
        bool message;
    };
    const SCase cases[] = {
        {false, "ReinstallNeeded=\"true\"", false, 0, false},   // nothing installed
        {true, "", true, 0, false},                             // reinstall allowed
        {true, "ReinstallNeeded=\"false\"", false, 0, false},
        {true, "ReinstallNeeded=\"true\"", true, 2, false},     // refused, quietly
        {true, "ReinstallNeeded=\"TRUE\"", false, 2, true},     // refused with the message
    };
    const std::string refusal = std::string("Setup: Product with ID: ") + kProductIdA +
                                " already installed, and its update not allowed. Uninstall 'Road Product 0.9' application.";
    for (const SCase& c : cases) {
        const std::string what = std::string(c.setupFiles) + (c.installed ? " installed" : "") + (c.quiet ? " quiet" : "");
        SetInstalledRecord(c.installed);
        UsePackage(Document(c.setupFiles));
        SWindowInfo box;
        const SProcessRun run = Run(InstallArguments(c.quiet), [&](const CGuiDriver& driver) {
            if (c.message) {
                EXPECT_TRUE(driver.AnswerMessageBox(IDOK, &box)) << what;
            }
        });
        EXPECT_EQ(c.exitCode, run.exitCode) << what;
        const std::vector<std::string> lines = run.TraceLines();
        EXPECT_TRUE(Has(lines, kRebootNo)) << what;
        EXPECT_EQ(c.exitCode == 2, Has(lines, refusal)) << what;
        // A refusal ends the road before the wizard; otherwise it runs to the end.
        EXPECT_EQ(c.exitCode == 0, Has(lines, kShowMainWindow)) << what;
        EXPECT_EQ(c.exitCode == 0, Has(lines, kFinish)) << what;
        if (c.message) {
            EXPECT_EQ(kCaption, box.title) << what;
            EXPECT_TRUE(HasText(box, L"Remove Road Product 0.9 before installing this version.")) << what;
        }
        if (c.quiet) {
            EXPECT_TRUE(Seen().empty()) << what;
        }
    }
}

TEST_F(InstallRoad, AQuietInstallWithoutPagesMakesNoWindowAtAll)
{
    UsePackage(Document());
    const SProcessRun run = Run(InstallArguments(true));
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    // The road went through the wizard's place to its end...
    EXPECT_TRUE(Has(lines, kShowMainWindow));
    EXPECT_TRUE(Has(lines, kFinish));
    // ...and no poll of the run saw any window of it, hidden or shown.
    for (const SWindowInfo& window : Seen())
        ADD_FAILURE() << "window of class " << std::string(window.className.begin(), window.className.end());
}

TEST_F(InstallRoad, ANonQuietInstallShowsTheMainWindowAndEnds)
{
    UsePackage(Document());
    // Held at the finish step, setup has its main window up and cannot go on. No
    // assertion fails while it is held: gtest reports failures to the debugger
    // output too, which waits for the hold.
    CTraceHold hold(kFinish);
    bool held = false;
    HWND mainWindow = nullptr;
    SWindowInfo seen;
    std::map<int, bool> present, visible;
    bool gone = false;
    const SProcessRun run = Run(InstallArguments(false), [&](const CGuiDriver& driver) {
        held = hold.WaitReached(30000);
        mainWindow = driver.Find(SWindowMatch::Dialog(1016));
        seen.title = driver.Title(mainWindow);
        seen.owner = GetWindow(mainWindow, GW_OWNER);
        for (int id : {102, 103, 1016}) {
            present[id] = GetDlgItem(mainWindow, id) != nullptr;
            visible[id] = driver.IsControlVisible(mainWindow, id);
        }
        hold.Release();
        gone = driver.WaitGone(mainWindow);
    }, &hold);
    ASSERT_TRUE(held);
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_NE(nullptr, mainWindow);
    EXPECT_TRUE(gone);
    EXPECT_EQ(kCaption, seen.title);
    EXPECT_EQ(nullptr, seen.owner);
    // Template 101: the places of the progress bar, the status text and the wait
    // image, none of them shown as a control of its own.
    for (int id : {102, 103, 1016}) {
        EXPECT_TRUE(present[id]) << id;
        EXPECT_FALSE(visible[id]) << id;
    }
    EXPECT_TRUE(Has(run.TraceLines(), "Setup: m_bRestart = 0, m_bNeedRestartByFiles = 0"));
}

TEST_F(InstallRoad, ANonQuietInstallGoesThroughTheInstallAndFinishPages)
{
    UsePackage(Document("", "",
                        "<Common><btnInstall Caption=\"Install\"/><btnFinish Caption=\"Finish\"/></Common>"
                        "<DlgInstall><stcInstall Caption=\"Ready to install.\"/></DlgInstall>"
                        "<DlgFinish><stcFinishInstall Caption=\"Road Product is installed.\"/></DlgFinish>"));
    std::wstring installText, installButton, finishText, finishButton;
    bool restartOffered = true;
    bool finishGone = false;
    const SProcessRun run = Run(InstallArguments(false), [&](const CGuiDriver& driver) {
        HWND install = driver.WaitFor(SWindowMatch::Dialog(1011));
        ASSERT_NE(nullptr, install);
        installText = driver.ControlText(install, 1011);
        installButton = driver.ControlText(install, IDOK);
        EXPECT_TRUE(driver.Click(install, IDOK));
        HWND finish = driver.WaitFor(SWindowMatch::Dialog(1009));
        ASSERT_NE(nullptr, finish);
        finishText = driver.ControlText(finish, 1007);
        finishButton = driver.ControlText(finish, IDOK);
        restartOffered = driver.IsControlVisible(finish, 1009);
        EXPECT_TRUE(driver.Click(finish, IDOK));
        finishGone = driver.WaitGone(finish);
    });
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(L"Ready to install.", installText);
    EXPECT_EQ(L"Install", installButton);
    EXPECT_EQ(L"Road Product is installed.", finishText);
    EXPECT_EQ(L"Finish", finishButton);
    EXPECT_FALSE(restartOffered) << "/norestart: no restart choice";
    EXPECT_TRUE(finishGone);
    EXPECT_TRUE(Has(run.TraceLines(), kFinish));
}

TEST_F(InstallRoad, AFailureAfterTheMainWindowIsReportedOverIt)
{
    // A Restart value that is no boolean fails the finish step after the main window
    // is up: the failure message is owned by it, and the road still ends with 0.
    UsePackage(Document("Restart=\"sometimes\""));
    SWindowInfo box;
    HWND mainWindow = nullptr;
    const SProcessRun run = Run(InstallArguments(false), [&](const CGuiDriver& driver) {
        mainWindow = driver.WaitFor(SWindowMatch::Dialog(1016));
        EXPECT_TRUE(driver.AnswerMessageBox(IDOK, &box, SWindowMatch().OwnedBy(mainWindow)));
    });
    EXPECT_EQ(0u, run.exitCode);
    ASSERT_NE(nullptr, mainWindow);
    EXPECT_EQ(mainWindow, box.owner);
    EXPECT_EQ(kCaption, box.title);
    EXPECT_TRUE(HasText(box, L"Setup failed."));
}

// A list file that cannot be loaded refuses the reconfiguration, quietly or not.
TEST_F(InstallRoad, ReconfigurationWithAMissingListFileIsRefused)
{
    UsePackage(Document());
    for (const std::vector<std::wstring>& arguments : std::vector<std::vector<std::wstring>>{
             {L"/config", L"x", L"/norestart", L"/qn"},
             {L"/config", L"x", L"/norestart"}}) {
        const SProcessRun run = Run(arguments);
        EXPECT_EQ(2u, run.exitCode) << Describe(arguments);
    }
}

} // namespace


// The driver on the test's own windows: a modal dialog runs on this thread while a
// driver thread works it.
namespace {

class CMemoryDialog
{
public:
    // An edit (10, multi-line when asked), an auto check box (11) and OK (1).
    explicit CMemoryDialog(bool multiLine)
    {
        DLGTEMPLATE header = {WS_POPUP | WS_CAPTION | WS_VISIBLE | DS_MODALFRAME, 0, 3, 0, 0, 200, 100};
        Append(&header, sizeof(header));
        AppendWords({0, 0, 0});  // no menu, the standard class, no title
        Item(ES_AUTOHSCROLL | (multiLine ? ES_MULTILINE : 0) | WS_BORDER, 10, 0x0081, 5, 5, 150, 14);
        Item(BS_AUTOCHECKBOX, 11, 0x0080, 5, 25, 150, 12);
        Item(BS_DEFPUSHBUTTON, IDOK, 0x0080, 5, 45, 50, 14);
    }

    INT_PTR Run(DLGPROC proc, void* context)
    {
        return DialogBoxIndirectParamW(nullptr, reinterpret_cast<DLGTEMPLATE*>(m_words.data()), nullptr, proc,
                                       reinterpret_cast<LPARAM>(context));
    }

private:
    void Append(const void* data, size_t size)
    {
        const WORD* words = static_cast<const WORD*>(data);
        m_words.insert(m_words.end(), words, words + size / 2);
    }
    void AppendWords(std::initializer_list<WORD> words) { m_words.insert(m_words.end(), words); }
    void Item(DWORD style, WORD id, WORD atom, short x, short y, short cx, short cy)
    {
        if (m_words.size() % 2 != 0)
            m_words.push_back(0);  // items start on a DWORD
        DLGITEMTEMPLATE item = {WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, 0, x, y, cx, cy, id};
        Append(&item, sizeof(item) - (sizeof(item) % 2));
        AppendWords({0xFFFF, atom, 0, 0});  // class atom, no text, no creation data
    }

    std::vector<WORD> m_words;
};

struct SDialogLog
{
    int changes = 0;   // EN_CHANGE from the edit
    int clicks = 0;    // BN_CLICKED from the check box
};

INT_PTR CALLBACK LoggingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SetTimer(dialog, 1, 20000, nullptr);  // no test may hang on it
        return TRUE;
    }
    SDialogLog* log = reinterpret_cast<SDialogLog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_TIMER) {
        EndDialog(dialog, -2);
    } else if (message == WM_COMMAND && log != nullptr) {
        if (LOWORD(wParam) == 10 && HIWORD(wParam) == EN_CHANGE)
            ++log->changes;
        if (LOWORD(wParam) == 11 && HIWORD(wParam) == BN_CLICKED)
            ++log->clicks;
        if (LOWORD(wParam) == IDOK)
            EndDialog(dialog, 7);
    }
    return FALSE;
}

TEST(GuiDriverInProcess, TypesClicksAndReadsAModalDialogOfTheTestThread)
{
    for (bool multiLine : {false, true}) {
        SDialogLog log;
        std::wstring typed;
        int checkedBefore = -1, checkedAfter = -1;
        bool disabledClick = true;
        std::thread driverThread([&]() {
            CGuiDriver driver;
            HWND dialog = driver.WaitFor(SWindowMatch::Dialog(11));
            if (dialog == nullptr)
                return;
            driver.Type(dialog, 10, L"C:\\Program Files\\Road");
            typed = driver.ControlText(dialog, 10);
            checkedBefore = driver.CheckState(dialog, 11);
            driver.Click(dialog, 11);
            for (int i = 0; i < 200 && driver.CheckState(dialog, 11) != BST_CHECKED; ++i)
                Sleep(10);
            checkedAfter = driver.CheckState(dialog, 11);
            EnableWindow(GetDlgItem(dialog, 11), FALSE);
            disabledClick = driver.Click(dialog, 11);
            driver.Click(dialog, IDOK);
        });
        const INT_PTR result = CMemoryDialog(multiLine).Run(&LoggingProc, &log);
        driverThread.join();
        EXPECT_EQ(7, result) << multiLine;
        EXPECT_EQ(L"C:\\Program Files\\Road", typed) << multiLine;
        EXPECT_EQ(1, log.changes) << multiLine;
        EXPECT_EQ(BST_UNCHECKED, checkedBefore) << multiLine;
        EXPECT_EQ(BST_CHECKED, checkedAfter) << multiLine;
        EXPECT_EQ(1, log.clicks) << multiLine;
        EXPECT_FALSE(disabledClick) << multiLine;
    }
}

TEST(GuiDriverInProcess, AnswersAMessageBoxOnlyWithAButtonItShows)
{
    CGuiDriver driver(GetCurrentProcessId(), 3000);
    SWindowInfo seen;
    bool wrongAnswer = true, answered = false;
    std::thread driverThread([&]() {
        wrongAnswer = driver.AnswerMessageBox(IDOK);  // a Yes/No box has no OK
        answered = driver.AnswerMessageBox(IDNO, &seen);
    });
    const int result = MessageBoxW(nullptr, L"Stop the installation?", L"Road", MB_YESNO | MB_ICONQUESTION);
    driverThread.join();
    EXPECT_EQ(IDNO, result);
    EXPECT_FALSE(wrongAnswer);
    EXPECT_TRUE(answered);
    EXPECT_EQ(L"Road", seen.title);
    EXPECT_TRUE(HasText(seen, L"Stop the installation?"));
    // With nothing on the screen, a wait ends at its time-out.
    driver.SetTimeout(200);
    EXPECT_EQ(nullptr, driver.WaitForMessageBox());
}

TEST_F(InstallRoad, TheLicenceAndDestinationPagesLeadToTheTypedFolder)
{
    const std::string document =
        "<Interface>"
        "<SetupMacroses><TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\RoadTest\\Default\"/>"
        "<ProductName Pattern=\"%ProductName%\" Value=\"Road Product\"/></SetupMacroses>"
        "<InstallInfo ProductName=\"Road Product\" DisplayName=\"Road Product\" ProductID=\"" +
        std::string(kProductIdA) +
        "\" UninstallPath=\"C:\\RoadTest\\Uninstall\"/>"
        "<SetupFiles InstallSize=\"1\" InstallSize64=\"1\"><G DestPath=\"%TargetDir%\"><F FileName=\"\\files\\plain.txt\"/></G></SetupFiles>"
        "<Localize Caption=\"Road Product Setup\">"
        "<Common><btnNext Caption=\"Next\"/><btnBack Caption=\"Back\"/><Cancel Caption=\"Cancel\"/></Common>"
        "<DlgLicence LicenseFile=\"licence.txt\"><ChkAcceptlicence Caption=\"I accept\"/></DlgLicence>"
        "<DlgDestination><btnBrowse Caption=\"Browse\"/></DlgDestination>"
        "<Messages><SetupFailed Caption=\"Setup failed.\"/><CancelInstall Caption=\"Stop?\"/></Messages>"
        "</Localize>"
        "<Install><PreFinish><Files/></PreFinish></Install>"
        "</Interface>";
    PackageTools::SBuildOptions options;
    options.pack = true;
    const std::wstring built = TestSupport::MakePackage(
        m_temp, {{L"setup.xml", TestSupport::ToBytes(document)}, {L"files\\plain.txt", TestSupport::ToBytes("plain")}},
        options, L"pages.cfs");
    ASSERT_TRUE(MoveFileExW(built.c_str(), m_strPackage.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    TestSupport::WriteFileBytes(m_strProgramFolder + L"\\licence.txt", TestSupport::ToBytes("Use it well."));

    const std::wstring typed = L"C:\\RoadTest\\Typed Folder";
    std::wstring licence, initialFolder;
    const SProcessRun run = Run(InstallArguments(false), [&](const CGuiDriver& driver) {
        HWND page = driver.WaitFor(SWindowMatch::Dialog(1000));
        ASSERT_NE(nullptr, page);
        licence = driver.ControlText(page, 1000);
        EXPECT_TRUE(driver.Click(page, 1001));
        for (int i = 0; i < 500 && !driver.IsControlEnabled(page, IDOK); ++i)
            Sleep(10);
        EXPECT_TRUE(driver.Click(page, IDOK));
        page = driver.WaitFor(SWindowMatch::Dialog(1003));
        ASSERT_NE(nullptr, page);
        initialFolder = driver.ControlText(page, 1003);
        EXPECT_TRUE(driver.Type(page, 1003, typed));
        EXPECT_TRUE(driver.Click(page, IDOK));
    });
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_EQ(L"Use it well.", licence);
    EXPECT_EQ(L"C:\\RoadTest\\Default", initialFolder);
    EXPECT_EQ(TestSupport::ToBytes("plain"), TestSupport::ReadFileBytes(typed + L"\\plain.txt"));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(L"C:\\RoadTest\\Default"));
}

} // namespace
