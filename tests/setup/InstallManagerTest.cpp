// Tests of the install manager and its pages.
#include "tests/setup/EngineFixture.h"

#include "common/tools/PathVariables.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ExitCodes.h"
#include "setup/engine/InstallAbort.h"
#include "setup/wizard/BaseDialog.h"
#include "setup/wizard/FolderPage.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/DebugOutputCapture.h"
#include "tests/support/RegistryScope.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using DlgPopup::EPageType;
using TestSupport::ToBytes;

namespace {

const char kProduct[] = "{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}";
const wchar_t kProductW[] = L"{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}";
const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// A page that plays back results instead of showing a window, and records each
// showing in the shared log.
class CScriptedPage : public DlgPopup::CBaseDialog, public DlgPopup::IFolderPage
{
public:
    CScriptedPage(EPageType type, std::vector<int>& log, std::deque<INT_PTR> results)
        : CBaseDialog(L"//Interface/Localize/DlgInstall", IDD_INSTALL, nullptr), m_type(type), m_log(log),
          m_results(std::move(results))
    {
    }

    INT_PTR DoModal() override
    {
        m_log.push_back(static_cast<int>(m_type));
        if (m_onShow)
            m_onShow();
        if (m_results.empty())
            return DlgPopup::PageResultCancel; // a test that runs out of answers ends
        const INT_PTR result = m_results.front();
        m_results.pop_front();
        return result;
    }
    EPageType GetPageType() const override { return m_type; }
    CString GetFolderText() const override { return m_strFolder; }

    EPageType m_type;
    std::vector<int>& m_log;
    std::deque<INT_PTR> m_results;
    CString m_strFolder;
    std::function<void()> m_onShow;
};

std::string Document(const std::string& setupFiles = "", const std::string& extra = "")
{
    return std::string("<Interface>"
                       "<InstallInfo ProductID=\"") +
           kProduct +
           "\" UninstallPath=\"%TestUninstallDir%\" DisplayName=\"Sample Product\"/>"
           "<SetupFiles " +
           setupFiles +
           "/>"
           "<Localize Caption=\"Setup\"><DlgInstall/></Localize>" +
           extra + "</Interface>";
}

class InstallManagerTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        GetPathVariables().Define(L"%TestUninstallDir%", (m_temp / L"uninst").c_str());
        ::CreateDirectoryW((m_temp / L"uninst").c_str(), nullptr);
    }

    std::shared_ptr<CScriptedPage> AddPage(EPageType type, std::deque<INT_PTR> results)
    {
        auto page = std::make_shared<CScriptedPage>(type, m_log, std::move(results));
        Manager().AddDialog(page);
        return page;
    }

    static bool Has(const std::vector<std::string>& lines, const std::string& line)
    {
        return std::find(lines.begin(), lines.end(), "Setup: " + line) != lines.end();
    }

    std::vector<int> m_log;
};

HRESULT ErrorOf(const std::function<void()>& body)
{
    return TestSupport::ComErrorOf(body);
}

TEST_F(InstallManagerTest, PagesMoveWithNextAndBackAndBackStaysOnTheFirstPage)
{
    ASSERT_TRUE(LoadDocument(Document()));
    auto first = AddPage(DlgPopup::PageToolbar, {0, 1, 1});
    auto second = AddPage(DlgPopup::PageInstall, {0, 1});
    EXPECT_TRUE(first->m_bFirstPage);
    EXPECT_FALSE(second->m_bFirstPage);

    Manager().RunPages();
    // Back on the first page shows it again; Back on the second returns to it.
    const std::vector<int> expected = {4, 4, 3, 4, 3};
    EXPECT_EQ(expected, m_log);
}

TEST_F(InstallManagerTest, OtherResultsShowThePageAgainAndAFailedPageFailsTheRoad)
{
    ASSERT_TRUE(LoadDocument(Document()));
    AddPage(DlgPopup::PageInstall, {7, IDABORT, 1});
    Manager().RunPages();
    EXPECT_EQ(3u, m_log.size());

    m_log.clear();
    Manager().m_Dialogs.clear();
    AddPage(DlgPopup::PageInstall, {-1, 1});
    EXPECT_EQ(E_FAIL, ErrorOf([&] { Manager().RunPages(); }));
    EXPECT_EQ(1u, m_log.size()) << "a page that cannot be made is not shown again";
}

TEST_F(InstallManagerTest, CancelIsTheUsersStop)
{
    ASSERT_TRUE(LoadDocument(Document()));
    AddPage(DlgPopup::PageInstall, {1});
    AddPage(DlgPopup::PageToolbar, {2});
    EXPECT_THROW(Manager().RunPages(), CInstallAbort);
}

TEST_F(InstallManagerTest, DisabledAndMissingPagesAreLeftOut)
{
    ASSERT_TRUE(LoadDocument("<Interface><Localize><DlgInstall Enable=\"false\"/><DlgToolbar Enable=\"1\"/>"
                             "<DlgLicence Enable=\"maybe\"/></Localize></Interface>"));
    std::vector<int> log;
    auto page = [&](const wchar_t* path) {
        auto p = std::make_shared<CScriptedPage>(DlgPopup::PageInstall, log, std::deque<INT_PTR>{1});
        p->m_strLocalizePath = path;
        Manager().AddDialog(p);
    };
    page(L"//Interface/Localize/DlgInstall");
    page(L"//Interface/Localize/DlgMissing");
    page(L"//Interface/Localize/DlgLicence");
    page(L"//Interface/Localize/DlgToolbar");
    ASSERT_EQ(1u, Manager().m_Dialogs.size());
    EXPECT_EQ(CString(L"//Interface/Localize/DlgToolbar"), Manager().m_Dialogs.front()->m_strLocalizePath);
    EXPECT_TRUE(Manager().m_Dialogs.front()->m_bFirstPage);
}

TEST_F(InstallManagerTest, NoPagesMeansNoWizardAndTheTargetFolderStays)
{
    std::string document = Document();
    document.replace(document.find("<DlgInstall/>"), 13, "<DlgInstall Enable=\"false\"/>");
    ASSERT_TRUE(LoadDocument(document));
    GetPathVariables().Define(L"%TargetDir%", L"C:\\Earlier");
    Manager().RunWizard();
    CString target(L"%TargetDir%");
    GetPathVariables().Expand(target);
    EXPECT_EQ(CString(L"C:\\Earlier"), target);
}

TEST_F(InstallManagerTest, AcceptedDestinationBecomesTheTargetFolder)
{
    ASSERT_TRUE(LoadDocument(Document("InstallSize=\"10\"")));
    Manager().m_Seams.freeSpace = [](const wchar_t*) { return 10ull * 1048576 + 1; };
    auto page = AddPage(DlgPopup::PageDestination, {1});
    const std::wstring folder = m_temp / L"Product Folder";
    page->m_strFolder = folder.c_str();
    Manager().RunPages();
    CString target(L"%TargetDir%");
    GetPathVariables().Expand(target);
    EXPECT_EQ(CString(folder.c_str()), target);
}

TEST_F(InstallManagerTest, DestinationRefusals)
{
    ASSERT_TRUE(LoadDocument(Document()));
    Manager().m_Seams.freeSpace = [](const wchar_t*) { return ~0ull; };
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring win = windows;                 // C:\windows
    const std::wstring drive = win.substr(0, 2);      // C:
    const std::wstring under = win.substr(3);          // windows
    // A current folder where a relative path would pass every other check.
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    const std::wstring here = m_temp.Path();
    ASSERT_TRUE(::SetCurrentDirectoryW(here.c_str()));
    struct SCase
    {
        std::wstring path;
        bool ok;
    };
    const SCase cases[] = {
        {drive + L"\\Apps\\Product", true},
        {(m_temp / L"x").c_str(), true},
        {drive + L"\\", false},                                  // a drive root
        {drive, false},                                          // the drive alone
        {win + L"\\Product", false},                             // inside the Windows folder
        {win, false},
        {win + L"Apps\\Product", false},                         // a sibling whose name continues it
        {drive + L"\\Apps\\..\\" + under + L"\\Product", false}, // reached through ".."
        {drive + L"/" + under + L"/Product", false},             // forward slashes
        {L"\\\\server\\share\\Product", false},                  // a network path
        {L"Q:\\Product", false},                                 // no such drive
        {L"", false},
        // Not a full path: each would name a folder under the current one.
        {L"MyApp", false},
        {L"App\\Sub", false},
        {L"\\App", false},
        {here.substr(0, 2) + L"App", false}, // relative to the drive's current folder
    };
    g_CmdLine.m_bQuiet = true;
    for (const auto& c : cases) {
        EXPECT_EQ(c.ok, Manager().CheckDestinationDrive(c.path.c_str())) << std::string(c.path.begin(), c.path.end());
    }
    ::SetCurrentDirectoryW(before);
}

// The destination page and the uninstall judge an install folder by one rule: the
// Windows folder, what lies below it and the names that continue it are refused.
TEST_F(InstallManagerTest, TheDestinationAndTheInstalledFolderFollowOneWindowsFolderRule)
{
    ASSERT_TRUE(LoadDocument(Document()));
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    const std::wstring win = windows;
    const std::wstring drive = win.substr(0, 2);
    const std::wstring under = win.substr(3);
    std::wstring upper = win;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    struct SCase
    {
        std::wstring path;
        bool ok;
    };
    const SCase cases[] = {
        {win, false},
        {win + L"\\", false},
        {win + L"\\Product", false},
        {upper + L"\\PRODUCT", false},
        {win + L"Apps\\Product", false}, // a sibling whose name continues it
        {win + L"2", false},
        {drive + L"/" + under + L"/Product", false},
        {drive + L"\\Apps\\" + under + L"\\Product", true}, // the name further down
        {drive + L"\\" + under.substr(0, under.size() - 1), true},  // a name it continues
        {(m_temp / L"Product").c_str(), true},
    };
    g_CmdLine.m_bQuiet = true;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path.begin(), c.path.end()));
        EXPECT_EQ(c.ok, Manager().CheckDestinationDrive(c.path.c_str()));
        EXPECT_EQ(c.ok, IsUsableInstallFolder(c.path.c_str()));
    }
}

TEST_F(InstallManagerTest, RefusedDestinationFailsAQuietRoadAndShowsThePageAgainOtherwise)
{
    ASSERT_TRUE(LoadDocument(Document()));
    Manager().m_Seams.freeSpace = [](const wchar_t*) { return ~0ull; };
    auto page = AddPage(DlgPopup::PageDestination, {1, 1, 1});
    page->m_strFolder = L"C:\\";
    // No "InvalidDrive" text in the document: the box shows nothing.
    page->m_onShow = [&] {
        if (m_log.size() == 3)
            page->m_strFolder = (m_temp / L"ok").c_str();
    };
    Manager().RunPages();
    EXPECT_EQ(3u, m_log.size());

    g_CmdLine.m_bQuiet = true;
    m_log.clear();
    page->m_strFolder = L"C:\\";
    page->m_onShow = nullptr;
    page->m_results = {1, 1};
    EXPECT_EQ(E_FAIL, ErrorOf([&] { Manager().RunPages(); }));
    EXPECT_EQ(1u, m_log.size());
}

TEST_F(InstallManagerTest, FreeSpaceMustExceedTheNeed)
{
    struct SCase
    {
        const char* size;
        ULONGLONG free;
        bool ok;
    };
    const SCase cases[] = {
        {"InstallSize=\"2\" InstallSize64=\"3\"", 3ull * 1048576, false}, // exactly equal (64-bit Windows)
        {"InstallSize=\"2\" InstallSize64=\"3\"", 3ull * 1048576 + 1, true},
        {"InstallSize=\"0.5\" InstallSize64=\"0.5\"", 524288, false},
        {"", 1, true},                                                    // nothing needed
        {"", 0, false},                                                   // unknown space counts as none
        {"InstallSize64=\"-5\"", 1, true},                                // negative counts as nothing
        {"InstallSize64=\"1e300\"", 1ull << 50, false},                     // beyond any disk
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadDocument(Document(c.size)));
        g_CmdLine.m_bQuiet = true;
        const ULONGLONG free = c.free;
        std::wstring asked;
        Manager().m_Seams.freeSpace = [&](const wchar_t* root) {
            asked = root;
            return free;
        };
        EXPECT_EQ(c.ok, Manager().CheckFreeSpace((m_temp / L"Product").c_str())) << c.size << " free " << c.free;
        EXPECT_EQ(m_temp.Path().substr(0, 3), asked) << "the free space of the path's root";
    }
}

TEST_F(InstallManagerTest, InstallRefusalsAndTheirCodes)
{
    const std::wstring marker = m_temp / (std::wstring(L"uninst\\") + kProductW);
    struct SCase
    {
        const char* name;
        std::string document;
        bool admin;
        bool marker;
        bool installedRecord;
        int exitCode;
        int adminChecks;
    };
    const SCase cases[] = {
        {"uninstall-only", Document("", "<UninstallScript TargetDir=\"C:\\x\"/>"), false, false, false, 2, 0},
        {"not an administrator", Document(), false, false, false, 2, 1},
        {"restart pending", Document(), true, true, false, 1, 1},
        {"reinstall needed", Document("ReinstallNeeded=\"true\""), true, false, true, 2, 1},
        {"installed, reinstall allowed", Document(), true, false, true, 0, 1},
        {"fresh install", Document(), true, false, false, 0, 1},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadDocument(c.document));
        g_CmdLine.m_bQuiet = true;
        int adminChecks = 0;
        const bool admin = c.admin;
        Manager().m_Seams.isAdmin = [&] {
            ++adminChecks;
            return admin;
        };
        Manager().m_Seams.exitWindows = [](UINT, DWORD) { return FALSE; };
        if (c.marker)
            TestSupport::WriteFileBytes(marker, {});
        HKEY record = nullptr;
        if (c.installedRecord) {
            ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKey) + kProductW).c_str(),
                                                       0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &record, nullptr));
            const wchar_t name[] = L"Sample Product 1.0";
            ::RegSetValueExW(record, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof(name));
            ::RegCloseKey(record);
        }
        EXPECT_EQ(c.exitCode, Manager().Install()) << c.name;
        EXPECT_EQ(c.adminChecks, adminChecks) << c.name;
        ::DeleteFileW(marker.c_str());
        ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, (std::wstring(kUninstallKey) + kProductW).c_str());
    }
}

TEST_F(InstallManagerTest, RefusalTraces)
{
    ASSERT_TRUE(LoadDocument(Document("", "<UninstallScript/>")));
    auto lines = TestSupport::TraceOf([&] { EXPECT_EQ(SetupExitRefused, Manager().Install()); });
    EXPECT_TRUE(Has(lines, "Attempt to initialize install process with cfs intended to uninstall only."));

    ASSERT_TRUE(LoadDocument(Document()));
    g_CmdLine.m_bQuiet = true;
    Manager().m_Seams.isAdmin = [] { return false; };
    lines = TestSupport::TraceOf([&] { EXPECT_EQ(SetupExitRefused, Manager().Install()); });
    EXPECT_TRUE(Has(lines, "Current user doesn't have administrator privileges."));

    ASSERT_TRUE(LoadDocument(Document()));
    g_CmdLine.m_bQuiet = true;
    const std::wstring marker = m_temp / (std::wstring(L"uninst\\") + kProductW);
    TestSupport::WriteFileBytes(marker, {});
    lines = TestSupport::TraceOf([&] { EXPECT_TRUE(Manager().RebootRequiredBeforeInstall()); });
    const std::string narrowMarker(marker.begin(), marker.end());
    EXPECT_TRUE(Has(lines, std::string("Product ID: ") + kProduct + ", Uninstall path: " + narrowMarker));
    EXPECT_TRUE(Has(lines, "Reboot required before install: yes"));
    ::DeleteFileW(marker.c_str());
    lines = TestSupport::TraceOf([&] { EXPECT_FALSE(Manager().RebootRequiredBeforeInstall()); });
    EXPECT_TRUE(Has(lines, "Reboot required before install: no"));
}

TEST_F(InstallManagerTest, OnlyTheUsersStopEndsWithOneOtherErrorsFailTheRoad)
{
    ASSERT_TRUE(LoadDocument(Document()));
    g_CmdLine.m_bQuiet = true;
    struct SCase
    {
        std::function<void()> thrower;
        int exitCode;
    };
    const SCase cases[] = {
        {[] { throw CInstallAbort(); }, SetupExitStopped},
        {[] { throw std::logic_error(""); }, SetupExitDone},
        {[] { throw std::out_of_range("index"); }, SetupExitDone},
        {[] { throw std::logic_error("Dead Reference Detected"); }, SetupExitDone},
        {[] { _com_issue_error(E_FAIL); }, SetupExitDone},
        {[] { throw std::bad_alloc(); }, SetupExitDone},
    };
    int i = 0;
    for (const auto& c : cases) {
        EXPECT_EQ(c.exitCode, Manager().RunRoad(
                                  [&] {
                                      c.thrower();
                                      return 42;
                                  },
                                  L"SetupFailed"))
            << "case " << i++;
    }
    EXPECT_EQ(42, Manager().RunRoad([] { return 42; }, L"SetupFailed"));
}

TEST_F(InstallManagerTest, CancelOnAPageEndsTheRoadBeforeAnyScript)
{
    ASSERT_TRUE(LoadDocument(Document()));
    AddPage(DlgPopup::PageInstall, {1});
    AddPage(DlgPopup::PageToolbar, {2});
    bool scriptRan = false;
    const int code = Manager().RunRoad(
        [&] {
            Manager().RunPages();
            scriptRan = true;
            return 0;
        },
        L"SetupFailed");
    EXPECT_EQ(SetupExitStopped, code);
    EXPECT_FALSE(scriptRan);
}

TEST_F(InstallManagerTest, ModesComeFromTheSetupFiles)
{
    ASSERT_TRUE(LoadDocument(Document("Update=\"TRUE\" ForcedDelayCopy=\"1\"")));
    EXPECT_TRUE(Manager().m_bUpdateMode);
    EXPECT_TRUE(Manager().m_bDelayedMode);
    // Tests run as a 32-bit program in a 64-bit prefix.
    EXPECT_TRUE(Manager().m_bIs64BitOS);

    ASSERT_TRUE(LoadDocument(Document()));
    EXPECT_FALSE(Manager().m_bUpdateMode);
    EXPECT_FALSE(Manager().m_bDelayedMode);

    // A switch that does not read leaves the package unusable rather than guessed.
    EXPECT_FALSE(LoadDocument(Document("Update=\"perhaps\"")));
}

TEST_F(InstallManagerTest, RestartDecision)
{
    struct SCase
    {
        const char* setupFiles;
        int restartMode;
        bool delayed;
        bool byFiles;
        bool restart;
    };
    const SCase cases[] = {
        {"", CCmdLineHelper::RestartDefault, false, false, false},
        {"Restart=\"true\"", CCmdLineHelper::RestartDefault, false, false, true},
        {"", CCmdLineHelper::RestartForce, false, false, true},
        {"", CCmdLineHelper::RestartDefault, true, false, true},
        {"", CCmdLineHelper::RestartDefault, false, true, true},
        {"Restart=\"true\"", CCmdLineHelper::RestartNever, true, true, false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadDocument(Document(c.setupFiles)));
        g_CmdLine.m_bQuiet = true;
        g_CmdLine.m_nRestartMode = c.restartMode;
        Manager().m_bDelayedMode = c.delayed;
        Manager().m_bNeedRestartByFiles = c.byFiles;
        const auto lines = TestSupport::TraceOf([&] { Manager().FinishInstallation(); });
        EXPECT_EQ(c.restart, Manager().m_bRestart) << c.setupFiles << " mode " << c.restartMode;
        EXPECT_TRUE(Has(lines, std::string("m_bRestart = ") + (c.restart ? "1" : "0") +
                                   ", m_bNeedRestartByFiles = " + (c.byFiles ? "1" : "0")));
    }
}

TEST_F(InstallManagerTest, RestartAsksWindowsToRebootForAnInstallation)
{
    ASSERT_TRUE(LoadDocument(Document()));
    UINT flags = 0;
    DWORD reason = 0;
    Manager().m_Seams.exitWindows = [&](UINT f, DWORD r) {
        flags = f;
        reason = r;
        return TRUE;
    };
    EXPECT_TRUE(Manager().RestartSystem());
    EXPECT_EQ(0x12u, flags);
    EXPECT_EQ(0x40002u, reason);

    // A quiet install whose files wait for a restart restarts unless told not to.
    for (int mode : {CCmdLineHelper::RestartDefault, CCmdLineHelper::RestartNever}) {
        ASSERT_TRUE(LoadDocument(Document("ForcedDelayCopy=\"true\"")));
        g_CmdLine.m_bQuiet = true;
        g_CmdLine.m_nRestartMode = mode;
        int requests = 0;
        Manager().m_Seams.exitWindows = [&](UINT, DWORD) {
            ++requests;
            return TRUE;
        };
        EXPECT_EQ(SetupExitDone, Manager().Install());
        EXPECT_EQ(mode == CCmdLineHelper::RestartNever ? 0 : 1, requests);
    }
}

TEST_F(InstallManagerTest, AQuietRunMakesNoWindow)
{
    ASSERT_TRUE(LoadDocument(Document()));
    g_CmdLine.m_bQuiet = true;
    Manager().m_Seams.exitWindows = [](UINT, DWORD) { return FALSE; };
    EXPECT_EQ(SetupExitDone, Manager().Install());
    ASSERT_NE(nullptr, Manager().m_pDlgMain);
    EXPECT_EQ(nullptr, Manager().m_pDlgMain->m_hWnd);
    EXPECT_FALSE(Manager().m_TaskbarProgress.HasTaskbarList());
}

TEST_F(InstallManagerTest, AnInteractiveRunShowsTheMainWindowAsTheApplicationsMainWindow)
{
    ASSERT_TRUE(LoadDocument(Document()));
    Manager().ShowMainWindow();
    ASSERT_NE(nullptr, Manager().m_pDlgMain->m_hWnd);
    EXPECT_EQ(Manager().m_TaskbarProgress.GetWindow(), Manager().m_pDlgMain->m_hWnd);
}

TEST_F(InstallManagerTest, ReadUninstallValueReadsOnlyTextsThatFit)
{
    ASSERT_TRUE(LoadDocument(Document()));
    const std::wstring key = std::wstring(kUninstallKey) + kProductW;
    HKEY record = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                               &record, nullptr));
    const std::wstring longText(400, L'x');
    const wchar_t name[] = L"Product";
    const DWORD number = 5;
    ::RegSetValueExW(record, L"DisplayName", 0, REG_SZ, reinterpret_cast<const BYTE*>(name), sizeof(name));
    ::RegSetValueExW(record, L"Long", 0, REG_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                     static_cast<DWORD>((longText.size() + 1) * 2));
    ::RegSetValueExW(record, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
    // Without a terminator: the reader ends the text itself.
    ::RegSetValueExW(record, L"Unended", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"abc"), 6);
    ::RegCloseKey(record);

    EXPECT_EQ(CString(L"Product"), Manager().ReadUninstallValue(kProductW, L"DisplayName"));
    EXPECT_EQ(CString(L"abc"), Manager().ReadUninstallValue(kProductW, L"Unended"));
    EXPECT_EQ(CString(), Manager().ReadUninstallValue(kProductW, L"Long"));
    EXPECT_EQ(CString(), Manager().ReadUninstallValue(kProductW, L"Number"));
    EXPECT_EQ(CString(), Manager().ReadUninstallValue(kProductW, L"Missing"));
    EXPECT_EQ(CString(), Manager().ReadUninstallValue(L"{00000000-0000-0000-0000-000000000000}", L"DisplayName"));
    EXPECT_EQ(CString(), Manager().ReadUninstallValue(L"", L"DisplayName"));
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

} // namespace
