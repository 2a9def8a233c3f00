// The licence and destination pages: shown for real under the null display
// driver and driven from a second thread by messages, as a user would.
#include "tests/setup/EngineFixture.h"

#include "common/config/SetupConfig.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/ui/UIFormat.h"
#include "common/win32/Wow64.h"
#include "setup/wizard/DlgDestination.h"
#include "setup/wizard/DlgLicense.h"
#include "setup/wizard/FolderBrowser.h"
#include "tests/support/GuiDriver.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using DlgPopup::CDlgDestination;
using DlgPopup::CDlgLicense;
using TestSupport::CGuiDriver;
using TestSupport::SWindowMatch;
using TestSupport::ToBytes;

namespace {

const int kWatchdogId = 0x5A5B;
const INT_PTR kWatchdogResult = 77;

void CALLBACK Watchdog(HWND hwnd, UINT, UINT_PTR, DWORD)
{
    ::EndDialog(hwnd, kWatchdogResult);
}

// The real page with a watchdog: a driver that loses its way ends the page
// instead of hanging the run.
template <class Page>
class CWatched : public Page
{
public:
    using Page::Page;

    BOOL OnInitDialog() override
    {
        const BOOL result = Page::OnInitDialog();
        ::SetTimer(this->m_hWnd, kWatchdogId, 30000, &Watchdog);
        ++m_nShown;
        return result;
    }

    int m_nShown = 0;
};

// Shows the page modally here while 'drive' works it from a thread of its own.
INT_PTR ShowDriven(DlgPopup::CBaseDialog& page, const std::function<void(const CGuiDriver&)>& drive)
{
    std::thread driver([&drive] {
        CGuiDriver gui;
        drive(gui);
    });
    const INT_PTR result = page.DoModal();
    driver.join();
    return result;
}

bool Eventually(const std::function<bool()>& condition, DWORD timeoutMs = 5000)
{
    const DWORD start = ::GetTickCount();
    while (!condition()) {
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(10);
    }
    return true;
}

// The texts of the page's visible controls that still hold a template placeholder.
std::vector<std::wstring> Placeholders(const CGuiDriver& gui, HWND page)
{
    std::vector<std::wstring> found;
    for (HWND child = ::GetWindow(page, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT)) {
        const std::wstring text = gui.Text(child);
        if (::IsWindowVisible(child) && text.find(L'~') != std::wstring::npos)
            found.push_back(text);
    }
    return found;
}

// The name of the folder selected in a folder browser's tree; empty when none.
std::wstring SelectedFolderName(HWND browser)
{
    HWND tree = ::FindWindowExW(browser, nullptr, WC_TREEVIEWW, nullptr);
    HTREEITEM item = tree != nullptr ? TreeView_GetSelection(tree) : nullptr;
    if (item == nullptr)
        return std::wstring();
    wchar_t text[MAX_PATH] = {};
    TVITEMW tv = {};
    tv.mask = TVIF_TEXT;
    tv.hItem = item;
    tv.pszText = text;
    tv.cchTextMax = MAX_PATH;
    ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
    return text;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring LicenceFileName()
{
    return L"pages-licence-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
}

// The interface document of the pages; 'licence' and 'setupFiles' are attributes.
const char kSizes[] = "InstallSize=\"12.5\" InstallSize64=\"12.5\"";

std::string PagesDocument(const std::string& licence, const std::string& setupFiles = kSizes,
                          bool withSetupFiles = true)
{
    return "<Interface>"
           "<SetupMacroses>"
           "<ProductName Pattern=\"%ProductName%\" Value=\"Editor\"/>"
           "<TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\Apps\\Editor\"/>"
           "</SetupMacroses>" +
           (withSetupFiles ? "<SetupFiles " + setupFiles + "/>" : std::string()) +
           "<Localize Caption=\"Editor Setup\">"
           "<Common><btnNext Caption=\"Next &gt;\"/><btnBack Caption=\"&lt; Back\"/><Cancel Caption=\"Cancel\"/></Common>"
           "<Metrics><Separator Caption=\",\"/><Abbreviation>"
           "<B Caption=\"%.0f B\"/><KB Caption=\"%.1f KB\"/><MB Caption=\"%.1f MB\"/><GB Caption=\"%.1f GB\"/>"
           "<TB Caption=\"%.1f TB\"/><PB Caption=\"%.1f PB\"/>"
           "</Abbreviation></Metrics>"
           "<DlgLicence " + licence + ">"
           "<stcLicCaption Caption=\"Please read the licence\"/><ChkAcceptlicence Caption=\"I accept it\"/>"
           "</DlgLicence>"
           "<DlgDestination>"
           "<stcDest Caption=\"Destination folder\"/><stcDestSum Caption=\"Setup installs here.%NL%Browse for another.\"/>"
           "<btnBrowse Caption=\"Browse...\"/><RequiredSpace Caption=\"Required: %s\"/><FreeSpace Caption=\"Free: %s\"/>"
           "<BrowseTitle Caption=\"Choose a folder\"/>"
           "</DlgDestination>"
           "<Messages><InvalidDrive Caption=\"Choose another folder.\"/><CancelInstall Caption=\"Stop?\"/></Messages>"
           "</Localize>"
           "</Interface>";
}

class PagesTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        // The licence file lives beside the program, which here is the test program.
        ASSERT_TRUE(Common::Config::GetSetupConfig().InitPaths(nullptr));
        m_strLicence = std::wstring(Common::Config::GetSetupConfig().GetModuleFolder().GetString()) + LicenceFileName();
        UI::GetUIFormat().m_strSeparator.Empty();
    }

    void TearDown() override
    {
        ::DeleteFileW(m_strLicence.c_str());
        CEngineTest::TearDown();
    }

    bool LoadPages(const std::string& setupFiles = kSizes, bool withSetupFiles = true)
    {
        return LoadDocument(PagesDocument("LicenseFile=\"" + Narrow(LicenceFileName()) + "\"", setupFiles, withSetupFiles));
    }

    // The free-space text of the folder's drive, as the page should show it.
    static std::wstring FreeText(const wchar_t* root)
    {
        return L"Free: " + std::wstring(UI::GetUIFormat().FormatSize(GetFreeDiskSpace(root)).GetString());
    }

    std::wstring m_strLicence;
};

// ---- licence ----

TEST_F(PagesTest, LicenceFilesAreReadAsUtf8OrAnsiOnly)
{
    struct SCase
    {
        const char* what;
        std::string bytes;
        std::wstring text;
        bool unsupported;
    };
    const SCase cases[] = {
        {"three bytes", "abc", L"", false},
        {"three bytes of a mark", "\xEF\xBB\xBF", L"", false},
        {"ansi", "Terms\r\nof use", L"Terms\r\nof use", false},
        // An odd length: the platform's statistics take an even-length text with NULs for UTF-16.
        {"ansi cut at a NUL", std::string("Terms\0hidden!", 13), L"Terms", false},
        {"utf-8 with its mark", "\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", L"Gr\u00FC\u00DFe \u20AC", false},
        {"utf-8 cut at a NUL", std::string("\xEF\xBB\xBFshown\0hidden", 15), L"shown", false},
        {"bad utf-8", "\xEF\xBB\xBFok \xC3(", L"", false},
        {"utf-16 little-endian", std::string("\xFF\xFEH\0i\0!\0", 8), L"", true},
        {"utf-16 big-endian", std::string("\xFE\xFF\0H\0i\0!", 8), L"", true},
        {"utf-32 big-endian", std::string("\0\0\xFE\xFF\0\0\0H", 8), L"", true},
        {"utf-16 without a mark", std::string("L\0i\0c\0e\0n\0c\0e\0 \0t\0e\0x\0t\0", 24), L"", true},
    };
    const std::wstring path = m_temp / L"licence.txt";
    const std::string unsupported = "Setup: License file encoding is not supported. Only UFT-8 or ANSI allowed.";
    for (const auto& c : cases) {
        TestSupport::WriteFileBytes(path, ToBytes(c.bytes));
        CString text;
        const std::vector<std::string> lines = TestSupport::TraceOf([&] { text = CDlgLicense::LoadLicenseText(path.c_str()); });
        EXPECT_EQ(c.text, std::wstring(text.GetString())) << c.what;
        EXPECT_EQ(c.unsupported, std::find(lines.begin(), lines.end(), unsupported) != lines.end()) << c.what;
    }
    EXPECT_TRUE(CDlgLicense::LoadLicenseText((m_temp / L"missing.txt").c_str()).IsEmpty());
    EXPECT_TRUE(CDlgLicense::LoadLicenseText(m_temp.Path().c_str()).IsEmpty()); // a folder
}

TEST_F(PagesTest, LicencePageIsLocalisedAndNextWaitsForTheAcceptBox)
{
    ASSERT_TRUE(LoadPages());
    TestSupport::WriteFileBytes(m_strLicence, ToBytes("\xEF\xBB\xBF" "First line\r\nSecond line"));
    CWatched<CDlgLicense> page(false, nullptr);

    std::wstring title, licence, caption, accept, next, cancel;
    std::vector<std::wstring> tilded;
    bool backVisible = true, nextAtFirst = true, strayNextKept = false, enabledByTick = false,
         disabledByUntick = false;
    LONG captionWeight = 0;
    DWORD selection = 1;
    INT_PTR result = ShowDriven(page, [&](const CGuiDriver& gui) {
        HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_LICENCE_TEXT));
        ASSERT_NE(nullptr, p);
        title = gui.Title(p);
        licence = gui.ControlText(p, IDC_LICENCE_TEXT);
        caption = gui.ControlText(p, IDC_LICENCE_CAPTION);
        accept = gui.ControlText(p, IDC_LICENCE_ACCEPT);
        next = gui.ControlText(p, IDOK);
        cancel = gui.ControlText(p, IDCANCEL);
        tilded = Placeholders(gui, p);
        backVisible = gui.IsControlVisible(p, IDC_BACK);
        nextAtFirst = gui.IsControlEnabled(p, IDOK);
        HFONT font = reinterpret_cast<HFONT>(::SendMessageW(::GetDlgItem(p, IDC_LICENCE_CAPTION), WM_GETFONT, 0, 0));
        LOGFONTW logFont = {};
        if (font != nullptr && ::GetObjectW(font, sizeof(logFont), &logFont) != 0)
            captionWeight = logFont.lfWeight;
        Eventually([&] {
            DWORD start = 0, end = 0;
            ::SendMessageW(::GetDlgItem(p, IDC_LICENCE_TEXT), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                           reinterpret_cast<LPARAM>(&end));
            selection = end - start;
            return selection == 0;
        });

        // Enter, or any other Next command, while the box is clear keeps the page.
        gui.Command(p, IDOK);
        ::Sleep(200);
        strayNextKept = ::IsWindow(p) && ::IsWindowVisible(p);

        EXPECT_TRUE(gui.Click(p, IDC_LICENCE_ACCEPT));
        enabledByTick = Eventually([&] { return gui.IsControlEnabled(p, IDOK); });
        EXPECT_TRUE(gui.Click(p, IDC_LICENCE_ACCEPT));
        disabledByUntick = Eventually([&] { return !gui.IsControlEnabled(p, IDOK); });
        EXPECT_TRUE(gui.Click(p, IDC_LICENCE_ACCEPT));
        ASSERT_TRUE(Eventually([&] { return gui.IsControlEnabled(p, IDOK); }));
        EXPECT_TRUE(gui.Click(p, IDOK));
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(1, page.m_nShown);
    EXPECT_EQ(L"Editor Setup", title);
    EXPECT_EQ(L"First line\r\nSecond line", licence);
    EXPECT_EQ(L"Please read the licence", caption);
    EXPECT_EQ(L"I accept it", accept);
    EXPECT_EQ(L"Next >", next);
    EXPECT_EQ(L"Cancel", cancel);
    EXPECT_TRUE(tilded.empty()) << Narrow(tilded.empty() ? L"" : tilded.front());
    EXPECT_FALSE(backVisible);
    EXPECT_FALSE(nextAtFirst);
    EXPECT_EQ(FW_BOLD, captionWeight);
    EXPECT_EQ(0u, selection);
    EXPECT_TRUE(strayNextKept);
    EXPECT_TRUE(enabledByTick);
    EXPECT_TRUE(disabledByUntick);
    EXPECT_EQ(1, page.m_bAccepted);

    // Shown again (the user came back): the box as it was, Next usable, and Back
    // shown because a language page was built.
    page.m_bHasBack = true;
    bool nextAgain = false;
    backVisible = false;
    result = ShowDriven(page, [&](const CGuiDriver& gui) {
        HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_LICENCE_TEXT));
        ASSERT_NE(nullptr, p);
        nextAgain = gui.IsControlEnabled(p, IDOK) && gui.CheckState(p, IDC_LICENCE_ACCEPT) == BST_CHECKED;
        backVisible = gui.IsControlVisible(p, IDC_BACK);
        EXPECT_TRUE(gui.Click(p, IDC_BACK));
    });
    EXPECT_EQ(0, result);
    EXPECT_TRUE(nextAgain);
    EXPECT_TRUE(backVisible);
}

TEST_F(PagesTest, AMissingLicenceFileIsTracedAndTheEditStaysEmpty)
{
    ASSERT_TRUE(LoadPages());
    CWatched<CDlgLicense> page(false, nullptr);
    std::wstring licence = L"unread";
    INT_PTR result = 0;
    const std::vector<std::string> lines = TestSupport::TraceOf([&] {
        result = ShowDriven(page, [&](const CGuiDriver& gui) {
            HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_LICENCE_TEXT));
            ASSERT_NE(nullptr, p);
            licence = gui.ControlText(p, IDC_LICENCE_TEXT);
            gui.Click(p, IDC_LICENCE_ACCEPT);
            Eventually([&] { return gui.IsControlEnabled(p, IDOK); });
            gui.Click(p, IDOK);
        });
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(L"", licence);
    const std::string expected = "Setup: License file not found '" + Narrow(m_strLicence) + "'";
    EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), expected)) << expected;
}

// ---- destination ----

TEST_F(PagesTest, RequiredSpaceAndProductNameComeFromThePackage)
{
    // setup is a 32-bit program: on a 64-bit system it reads the 64-bit size.
    const bool wow64 = Common::Win32::IsWow64();
    struct SCase
    {
        const char* setupFiles;
        bool withSetupFiles;
        std::wstring required32;
        std::wstring required64;
        std::wstring product;
    };
    const SCase cases[] = {
        {"InstallSize=\"12.5\" InstallSize64=\"3\"", true, L"Required: 12,5 MB", L"Required: 3,0 MB", L"Editor"},
        {"InstallSize=\"3\" InstallSize64=\"12.5\"", true, L"Required: 3,0 MB", L"Required: 12,5 MB", L"Editor"},
        // 1024 bytes: above 1000, so the next unit
        {"InstallSize=\"0.0009765625\" InstallSize64=\"0.0009765625\"", true, L"Required: 1,0 KB", L"Required: 1,0 KB", L"Editor"},
        {"", true, L"Required: 0 B", L"Required: 0 B", L"Editor"},
        {"InstallSize=\"-3\" InstallSize64=\"-3\"", true, L"Required: 0 B", L"Required: 0 B", L"Editor"},
        {"InstallSize=\"lots\" InstallSize64=\"lots\"", true, L"", L"", L""},
        {"", false, L"", L"", L""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(LoadPages(c.setupFiles, c.withSetupFiles));
        CDlgDestination page(L"C:\\Apps\\Editor", nullptr);
        EXPECT_EQ(wow64 ? c.required64 : c.required32, std::wstring(page.m_strRequiredSpace.GetString())) << c.setupFiles;
        EXPECT_EQ(c.product, std::wstring(page.m_strProductName.GetString())) << c.setupFiles;
        EXPECT_EQ(L"Free: %s", std::wstring(page.m_strFreeSpaceFormat.GetString()));
        EXPECT_EQ(L"C:\\Apps\\Editor", std::wstring(page.GetFolderText().GetString()));
    }
}

TEST_F(PagesTest, SpaceCaptionsTakeOnlyOneTextArgument)
{
    struct SCase
    {
        const wchar_t* caption;
        const wchar_t* shown;
    };
    const SCase cases[] = {
        {L"Free: %s", L"Free: 5 MB"},
        {L"%s free (100%%)", L"5 MB free (100%)"},
        {L"[%8s]", L"[    5 MB]"},
        {L"No number", L"No number"},
        {L"100%%", L"100%"},
        {L"%s and %s", L"%s and %s"},       // two arguments were never given
        {L"%d MB", L"%d MB"},
        {L"%n%s", L"%n%s"},
        {L"%S", L"%S"},
        {L"%123s", L"%123s"},
        {L"50%", L"50%"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(std::wstring(c.shown), std::wstring(CDlgDestination::FormatCaption(c.caption, L"5 MB").GetString()))
            << Narrow(c.caption);
}

TEST_F(PagesTest, DestinationPageShowsTheFolderAndItsSpaceAndGivesTheTypedFolder)
{
    ASSERT_TRUE(LoadPages());
    const std::wstring start = m_temp / L"Start";
    CWatched<CDlgDestination> page(start.c_str(), nullptr);
    page.m_bFirstPage = true;

    std::wstring title, group, summary, browse, folder, required, free, freeRelative, freeNoDrive, freeTyped;
    std::vector<std::wstring> tilded;
    bool backVisible = true, nextEnabled = false;
    std::wstring expectedFree, expectedFreeAfter;
    const std::wstring typed = m_temp / L"Typed Folder";
    INT_PTR result = ShowDriven(page, [&](const CGuiDriver& gui) {
        HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
        ASSERT_NE(nullptr, p);
        title = gui.Title(p);
        group = gui.ControlText(p, IDC_DEST_GROUP);
        summary = gui.ControlText(p, IDC_DEST_SUMMARY);
        browse = gui.ControlText(p, IDC_DEST_BROWSE);
        folder = gui.ControlText(p, IDC_DEST_FOLDER);
        required = gui.ControlText(p, IDC_DEST_REQUIRED);
        expectedFree = FreeText(L"C:\\");
        free = gui.ControlText(p, IDC_DEST_FREE);
        expectedFreeAfter = FreeText(L"C:\\");
        tilded = Placeholders(gui, p);
        backVisible = gui.IsControlVisible(p, IDC_BACK);
        nextEnabled = gui.IsControlEnabled(p, IDOK);

        // Every change of the text recomputes the free space.
        gui.Type(p, IDC_DEST_FOLDER, L"relative\\folder");
        Eventually([&] { return (freeRelative = gui.ControlText(p, IDC_DEST_FREE)) == L"Free: 0 B"; });
        gui.Type(p, IDC_DEST_FOLDER, L"Q:\\Nowhere");
        Eventually([&] { return (freeNoDrive = gui.ControlText(p, IDC_DEST_FREE)) == L"Free: 0 B"; });
        gui.Type(p, IDC_DEST_FOLDER, typed);
        Eventually([&] { return (freeTyped = gui.ControlText(p, IDC_DEST_FREE)) != L"Free: 0 B"; });
        EXPECT_TRUE(gui.Click(p, IDOK));
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(L"Editor Setup", title);
    EXPECT_EQ(L"Destination folder", group);
    EXPECT_NE(std::wstring::npos, summary.find(L"Setup installs here.\n")) << Narrow(summary);
    EXPECT_NE(std::wstring::npos, summary.find(L"Browse for another.")) << Narrow(summary);
    EXPECT_EQ(std::wstring::npos, summary.find(L"%NL%")) << Narrow(summary);
    EXPECT_EQ(L"Browse...", browse);
    EXPECT_EQ(start, folder);
    EXPECT_EQ(L"Required: 12,5 MB", required);
    EXPECT_TRUE(free == expectedFree || free == expectedFreeAfter) << Narrow(free) << " / " << Narrow(expectedFree);
    EXPECT_NE(L"Free: 0 B", free);
    EXPECT_TRUE(tilded.empty()) << Narrow(tilded.empty() ? L"" : tilded.front());
    EXPECT_FALSE(backVisible);
    EXPECT_TRUE(nextEnabled);
    EXPECT_EQ(L"Free: 0 B", freeRelative);
    EXPECT_EQ(L"Free: 0 B", freeNoDrive);
    EXPECT_NE(L"Free: 0 B", freeTyped);
    EXPECT_EQ(typed, std::wstring(page.GetFolderText().GetString()));
}

// Wine's browser now and then cannot find a path in its tree (its items keep the
// folders' times as they were when listed, and a folder on the way may have
// changed since): the tests then cancel and open it again. The request that
// opens it on a folder is checked on its own.
const int kBrowseAttempts = 3;

bool ChooseInBrowser(HWND browser, const std::wstring& path, const std::wstring& name)
{
    return Eventually(
        [&] {
            ::SendMessageW(browser, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(path.c_str()));
            return SelectedFolderName(browser) == name;
        },
        2000);
}

// Clicks Browse on the page and selects the folder in the browser that opens;
// the browser, or null when it could not be made to select the folder.
HWND BrowseTo(const CGuiDriver& gui, HWND page, const std::wstring& path, const std::wstring& name)
{
    for (int attempt = 0; attempt < kBrowseAttempts; ++attempt) {
        if (!gui.Click(page, IDC_DEST_BROWSE))
            return nullptr;
        HWND box = gui.WaitFor(SWindowMatch::Dialog(IDOK).OwnedBy(page));
        if (box == nullptr)
            return nullptr;
        if (ChooseInBrowser(box, path, name))
            return box;
        gui.Command(box, IDCANCEL);
        gui.WaitGone(box);
    }
    return nullptr;
}

// Records what the browser callback asks of the dialog.
struct SBrowserCalls
{
    std::vector<std::pair<WPARAM, std::wstring>> selections;
    std::vector<LPARAM> enableOk;
};

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto calls = reinterpret_cast<SBrowserCalls*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (calls != nullptr && message == BFFM_SETSELECTIONW)
        calls->selections.emplace_back(wParam, reinterpret_cast<const wchar_t*>(lParam));
    if (calls != nullptr && message == BFFM_ENABLEOK)
        calls->enableOk.push_back(lParam);
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

TEST_F(PagesTest, FolderBrowserIsAskedForTheRequestAndSelectsItsFolderWhenReady)
{
    DlgPopup::BrowseRequest request;
    request.strTitle = L"Choose a folder";
    request.strPath = L"C:\\Apps";
    request.nFlags = DlgPopup::kDestinationBrowseFlags;
    EXPECT_EQ(0x242u, request.nFlags);
    wchar_t name[MAX_PATH] = {};
    HWND owner = reinterpret_cast<HWND>(0x1234);
    BROWSEINFOW info;
    DlgPopup::FillBrowseInfo(owner, info, request, name);
    EXPECT_EQ(owner, info.hwndOwner);
    ASSERT_NE(nullptr, info.pidlRoot);
    EXPECT_EQ(0, info.pidlRoot->mkid.cb); // the desktop
    EXPECT_EQ(name, info.pszDisplayName);
    EXPECT_STREQ(L"Choose a folder", info.lpszTitle);
    EXPECT_EQ(0x242u, info.ulFlags);
    EXPECT_EQ(&DlgPopup::BrowseForFolderProc, info.lpfn);
    EXPECT_STREQ(L"C:\\Apps", reinterpret_cast<const wchar_t*>(info.lParam));
    ::CoTaskMemFree(const_cast<LPITEMIDLIST>(info.pidlRoot));

    request.nFlags |= BIF_BROWSEFORPRINTER;
    DlgPopup::FillBrowseInfo(owner, info, request, name);
    EXPECT_EQ(&DlgPopup::BrowseForPrinterProc, info.lpfn);
    ::CoTaskMemFree(const_cast<LPITEMIDLIST>(info.pidlRoot));

    // The callback selects the folder once the dialog is ready, and only then.
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = &RecordingProc;
    windowClass.hInstance = ::GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PagesTestBrowser";
    ::RegisterClassW(&windowClass);
    HWND dialog = ::CreateWindowExW(0, L"PagesTestBrowser", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr,
                                    windowClass.hInstance, nullptr);
    ASSERT_NE(nullptr, dialog);
    SBrowserCalls calls;
    ::SetWindowLongPtrW(dialog, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&calls));
    const CString path(L"C:\\Apps");
    EXPECT_EQ(0, DlgPopup::BrowseForFolderProc(dialog, BFFM_SELCHANGED, 0, reinterpret_cast<LPARAM>(path.GetString())));
    EXPECT_TRUE(calls.selections.empty());
    EXPECT_EQ(0, DlgPopup::BrowseForFolderProc(dialog, BFFM_INITIALIZED, 0, reinterpret_cast<LPARAM>(path.GetString())));
    ASSERT_EQ(1u, calls.selections.size());
    EXPECT_EQ(static_cast<WPARAM>(TRUE), calls.selections[0].first); // a path, not an item list
    EXPECT_EQ(L"C:\\Apps", calls.selections[0].second);
    EXPECT_EQ(0, DlgPopup::BrowseForFolderProc(dialog, BFFM_INITIALIZED, 0, 0)); // no folder asked for
    EXPECT_EQ(1u, calls.selections.size());
    // Printer mode: a selection that is no printer disables OK.
    EXPECT_EQ(0, DlgPopup::BrowseForPrinterProc(dialog, BFFM_SELCHANGED, 0, 0));
    EXPECT_EQ((std::vector<LPARAM>{FALSE}), calls.enableOk);
    ::DestroyWindow(dialog);
}

TEST_F(PagesTest, FolderBrowserGivesTheChosenFolderOrNothing)
{
    const std::wstring start = m_temp / L"Start";
    const std::wstring chosen = m_temp / L"Chosen";
    ASSERT_TRUE(::CreateDirectoryW(start.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(chosen.c_str(), nullptr));
    HWND owner = ::CreateWindowExW(0, L"STATIC", L"owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, owner);

    struct SCase
    {
        const char* what;
        int button;
        bool chosen;
        std::wstring path;
    };
    const SCase cases[] = {
        {"OK", IDOK, true, chosen},
        {"cancel", IDCANCEL, false, start},
    };
    for (const auto& c : cases) {
        DlgPopup::BrowseRequest request;
        request.strTitle = L"Choose a folder";
        request.strPath = start.c_str();
        request.nFlags = DlgPopup::kDestinationBrowseFlags;
        bool result = false;
        bool selected = false;
        for (int attempt = 0; attempt < kBrowseAttempts && !selected; ++attempt) {
            std::thread driver([&] {
                CGuiDriver gui;
                HWND box = gui.WaitFor(SWindowMatch::Dialog(IDOK).OwnedBy(owner));
                if (box == nullptr)
                    return;
                selected = ChooseInBrowser(box, chosen, L"Chosen");
                gui.Command(box, selected ? c.button : IDCANCEL);
            });
            result = DlgPopup::BrowseForFolder(request, owner);
            driver.join();
            if (!selected) {
                EXPECT_FALSE(result) << c.what; // cancelled: nothing chosen
                EXPECT_EQ(start, std::wstring(request.strPath.GetString())) << c.what;
            }
        }
        EXPECT_TRUE(selected) << c.what;
        EXPECT_EQ(c.chosen, result) << c.what;
        EXPECT_EQ(c.path, std::wstring(request.strPath.GetString())) << c.what;
    }
    ::DestroyWindow(owner);
}

TEST_F(PagesTest, BrowseAppendsTheProductNameAndCancelKeepsTheFolder)
{
    ASSERT_TRUE(LoadPages());
    const std::wstring start = m_temp / L"Start";
    const std::wstring apps = m_temp / L"Apps";
    ASSERT_TRUE(::CreateDirectoryW(start.c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(apps.c_str(), nullptr));
    CWatched<CDlgDestination> page(start.c_str(), nullptr);

    std::wstring browseTitle, afterBrowse, afterCancel, freeAfterBrowse, freeExpected, freeExpectedAfter;
    INT_PTR result = ShowDriven(page, [&](const CGuiDriver& gui) {
        HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
        ASSERT_NE(nullptr, p);
        // The space text is blanked here: browsing must fill it again.
        ::SetWindowTextW(::GetDlgItem(p, IDC_DEST_FREE), L"");
        HWND box = BrowseTo(gui, p, apps, L"Apps");
        ASSERT_NE(nullptr, box);
        for (const auto& window : gui.Windows()) {
            if (window.handle == box)
                for (const auto& text : window.childTexts)
                    if (text == L"Choose a folder")
                        browseTitle = text;
        }
        gui.Command(box, IDOK);
        EXPECT_TRUE(gui.WaitGone(box));
        Eventually([&] { return (afterBrowse = gui.ControlText(p, IDC_DEST_FOLDER)) != start; });
        freeExpected = FreeText(L"C:\\");
        freeAfterBrowse = gui.ControlText(p, IDC_DEST_FREE);
        freeExpectedAfter = FreeText(L"C:\\");

        box = BrowseTo(gui, p, start, L"Start");
        ASSERT_NE(nullptr, box);
        gui.Command(box, IDCANCEL);
        EXPECT_TRUE(gui.WaitGone(box));
        ::Sleep(100);
        afterCancel = gui.ControlText(p, IDC_DEST_FOLDER);
        EXPECT_TRUE(gui.Click(p, IDOK));
    });
    EXPECT_EQ(1, result);
    EXPECT_EQ(L"Choose a folder", browseTitle);
    EXPECT_EQ(apps + L"\\Editor", afterBrowse);
    EXPECT_EQ(apps + L"\\Editor", afterCancel);
    EXPECT_TRUE(freeAfterBrowse == freeExpected || freeAfterBrowse == freeExpectedAfter) << Narrow(freeAfterBrowse);
    EXPECT_NE(L"Free: 0 B", freeAfterBrowse);
    EXPECT_EQ(apps + L"\\Editor", std::wstring(page.GetFolderText().GetString()));
}

// ---- with the engine ----

TEST_F(PagesTest, InitDialogsBuildsTheLicenceThenTheDestinationOnTheTargetFolder)
{
    ASSERT_TRUE(LoadPages());
    ASSERT_TRUE(Manager().InitDialogs());
    ASSERT_EQ(2u, Manager().m_Dialogs.size());
    auto licence = std::dynamic_pointer_cast<CDlgLicense>(Manager().m_Dialogs.front());
    auto destination = std::dynamic_pointer_cast<CDlgDestination>(Manager().m_Dialogs.back());
    ASSERT_NE(nullptr, licence);
    ASSERT_NE(nullptr, destination);
    EXPECT_FALSE(licence->m_bHasBack); // no language page yet
    EXPECT_TRUE(licence->m_bFirstPage);
    EXPECT_FALSE(destination->m_bFirstPage);
    EXPECT_EQ(L"C:\\Apps\\Editor", std::wstring(destination->GetFolderText().GetString()));
    EXPECT_EQ(L"Editor", std::wstring(destination->m_strProductName.GetString()));
}

TEST_F(PagesTest, ARefusedFolderShowsTheDestinationAgainUntilOneIsAccepted)
{
    ASSERT_TRUE(LoadPages("InstallSize=\"1\""));
    Manager().m_Seams.freeSpace = [](const wchar_t*) { return ~0ull; };
    auto page = std::make_shared<CWatched<CDlgDestination>>(L"C:\\Apps\\Editor", nullptr);
    Manager().AddDialog(page);
    ASSERT_EQ(1u, Manager().m_Dialogs.size());

    const std::wstring accepted = m_temp / L"Accepted";
    std::wstring refusal, typedAgain;
    std::thread driver([&] {
        CGuiDriver gui;
        HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
        if (p == nullptr)
            return;
        gui.Type(p, IDC_DEST_FOLDER, L"C:\\");
        gui.Click(p, IDOK);
        // The page has the message box's text id on its separator line: wait for it to go.
        gui.WaitGone(p);
        HWND box = gui.WaitForMessageBox();
        if (box == nullptr)
            return;
        refusal = gui.MessageBoxText(box);
        gui.Click(box, IDOK);
        gui.WaitGone(box);
        // The page again, with the refused text still in it.
        p = gui.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
        if (p == nullptr)
            return;
        typedAgain = gui.ControlText(p, IDC_DEST_FOLDER);
        gui.Type(p, IDC_DEST_FOLDER, accepted);
        gui.Click(p, IDOK);
    });
    Manager().RunPages();
    driver.join();
    EXPECT_EQ(L"Choose another folder.", refusal);
    EXPECT_EQ(L"C:\\", typedAgain);
    EXPECT_EQ(2, page->m_nShown);
    CString target(L"%TargetDir%");
    GetPathVariables().Expand(target);
    EXPECT_EQ(accepted, std::wstring(target.GetString()));
}

} // namespace

namespace {

TEST_F(PagesTest, TheAcceptedFolderIsDefinedAsTheFolderTheChecksSaw)
{
    ASSERT_TRUE(LoadPages("InstallSize=\"1\" InstallSize64=\"1\""));
    Manager().m_Seams.freeSpace = [](const wchar_t*) { return ~0ull; };
    struct SCase
    {
        std::wstring typed;
        std::wstring defined;
    };
    const SCase cases[] = {
        {m_temp / L"Plain", m_temp / L"Plain"},
        {m_temp / L"Sub\\..\\Dotted", m_temp / L"Dotted"},
    };
    for (const auto& c : cases) {
        Manager().m_Dialogs.clear();
        Manager().AddDialog(std::make_shared<CWatched<CDlgDestination>>(L"C:\\Apps\\Editor", nullptr));
        std::thread driver([&] {
            CGuiDriver gui;
            HWND p = gui.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
            if (p == nullptr)
                return;
            gui.Type(p, IDC_DEST_FOLDER, c.typed);
            gui.Click(p, IDOK);
        });
        Manager().RunPages();
        driver.join();
        CString target(L"%TargetDir%");
        GetPathVariables().Expand(target);
        EXPECT_EQ(c.defined, std::wstring(target.GetString())) << Narrow(c.typed);
    }
}

} // namespace
