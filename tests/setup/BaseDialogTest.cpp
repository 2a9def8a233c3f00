// Tests of the wizard page base.
#include "setup/wizard/BaseDialog.h"

#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/wizard/Banner.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/WindowProbe.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using DlgPopup::CBanner;
using DlgPopup::CBaseDialog;
using TestSupport::ToBytes;

namespace {

const char kDocument[] =
    "<Interface>"
    "<Localize Caption=\"Product Setup\">"
    "<Common><btnNext Caption=\"Next &gt;\"/><btnBack Caption=\"&lt; Back\"/><Cancel Caption=\"Cancel\"/></Common>"
    "<DlgInstall><Header Image=\"7\" url=\"https://example.com/product\"/><stcInstall Caption=\"Ready.\"/></DlgInstall>"
    "<DlgToolbar Enable=\"false\"><Header/></DlgToolbar>"
    "<DlgFinish Enable=\"true\"/>"
    "<Messages><CancelInstall Caption=\"Stop the installation?\"/></Messages>"
    "</Localize>"
    "</Interface>";

const int kWatchdogId = 0x5A5A;
const INT_PTR kWatchdogResult = 77;

void CALLBACK Watchdog(HWND hwnd, UINT, UINT_PTR, DWORD)
{
    ::EndDialog(hwnd, kWatchdogResult);
}

// A page on the install template; the hook runs at the end of OnInitDialog.
class CTestPage : public CBaseDialog
{
public:
    explicit CTestPage(const wchar_t* path = L"//Interface/Localize/DlgInstall") : CBaseDialog(path, IDD_INSTALL, nullptr) {}

    DlgPopup::EPageType GetPageType() const override { return DlgPopup::PageInstall; }

    BOOL OnInitDialog() override
    {
        CBaseDialog::OnInitDialog();
        Common::Config::LocalizeItems items;
        items.emplace(L"stcInstall", Common::Config::CLocalizeItem(IDC_INSTALL_TEXT));
        Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);
        ++m_nShown;
        // A page that never ends would hang the test run.
        ::SetTimer(m_hWnd, kWatchdogId, 10000, &Watchdog);
        if (m_hook)
            m_hook(*this);
        return TRUE;
    }

    void DoDataExchange(CDataExchange* pDX) override
    {
        if (pDX->m_bSaveAndValidate && m_bFailExchange)
            pDX->Fail();
    }

    std::function<void(CTestPage&)> m_hook;
    int m_nShown = 0;
    bool m_bFailExchange = false;
};

void Click(HWND page, int id)
{
    TestSupport::PressDialogButton(page, id);
}

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    ::GetWindowTextW(window, text, 256);
    return text;
}

// The page itself is not shown yet while it initialises: read the control's own bit.
bool HasVisibleStyle(HWND control)
{
    return control != nullptr && (::GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0;
}

// The message box owned by 'owner', waited for up to five seconds.
HWND WaitForMessageBox(HWND owner)
{
    for (int i = 0; i < 500; ++i) {
        for (const auto& window : TestSupport::ProcessWindows(::GetCurrentProcessId())) {
            if (window.owner == owner && window.className == L"#32770")
                return window.handle;
        }
        ::Sleep(10);
    }
    return nullptr;
}

class BaseDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_CmdLine = CCmdLineHelper();
        PackageTools::SBuildOptions options;
        const std::wstring package =
            TestSupport::MakePackage(m_temp, {{L"setup.xml", ToBytes(kDocument)}}, options, L"pages.cfs");
        auto& config = Common::Config::GetSetupConfig();
        ASSERT_TRUE(config.GetPackage().Open(package, true, false));
        ASSERT_TRUE(config.LoadSettings(L"\\setup.xml"));
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(BaseDialogTest, SkippedPagesReturnNextWithoutAWindow)
{
    struct SCase
    {
        const wchar_t* path;
        bool quiet;
    };
    const SCase cases[] = {
        {L"//Interface/Localize/DlgInstall", true},   // quiet run
        {L"//Interface/Localize/DlgToolbar", false},  // Enable="false"
        {L"//Interface/Localize/DlgMissing", false},  // no node at all
        {L"//Interface/Localize/Dlg[", false},        // a query that does not compile
    };
    for (const auto& c : cases) {
        g_CmdLine.m_bQuiet = c.quiet;
        CTestPage page(c.path);
        EXPECT_EQ(1, page.DoModal()) << c.path;
        EXPECT_EQ(0, page.m_nShown) << c.path;
        EXPECT_EQ(nullptr, page.m_hWnd) << c.path;
    }
}

TEST_F(BaseDialogTest, EnabledPageIsShown)
{
    CTestPage page(L"//Interface/Localize/DlgFinish");
    EXPECT_TRUE(page.IsPageEnabled());
    page.m_hook = [](CTestPage& p) { Click(p.m_hWnd, IDOK); };
    EXPECT_EQ(1, page.DoModal());
    EXPECT_EQ(1, page.m_nShown);
}

TEST_F(BaseDialogTest, ButtonsGiveThePageResults)
{
    struct SCase
    {
        int button;
        bool failExchange;
        INT_PTR result;
    };
    const SCase cases[] = {
        {IDOK, false, 1},
        {3, false, 0},
        {IDOK, true, 1}, // a failed exchange does not keep the page
        {3, true, 0},
    };
    for (const auto& c : cases) {
        CTestPage page;
        page.m_bFailExchange = c.failExchange;
        page.m_hook = [&](CTestPage& p) { Click(p.m_hWnd, c.button); };
        EXPECT_EQ(c.result, page.DoModal()) << c.button << " " << c.failExchange;
    }
}

TEST_F(BaseDialogTest, BackIsHiddenAndInertOnTheFirstPage)
{
    bool backVisible = true;
    CTestPage page;
    page.m_bFirstPage = true;
    page.m_hook = [&](CTestPage& p) {
        backVisible = HasVisibleStyle(::GetDlgItem(p.m_hWnd, 3));
        Click(p.m_hWnd, 3);     // must not leave the page
        Click(p.m_hWnd, IDOK);
    };
    EXPECT_EQ(1, page.DoModal());
    EXPECT_FALSE(backVisible);

    CTestPage later;
    later.m_hook = [&](CTestPage& p) {
        backVisible = HasVisibleStyle(::GetDlgItem(p.m_hWnd, 3));
        Click(p.m_hWnd, 3);
    };
    EXPECT_EQ(0, later.DoModal());
    EXPECT_TRUE(backVisible);
}

TEST_F(BaseDialogTest, CancelAsksAndStaysOnNo)
{
    std::wstring question;
    bool stayed = false;
    std::thread answerer;
    CTestPage page;
    page.m_hook = [&](CTestPage& p) {
        HWND hwnd = p.m_hWnd;
        answerer = std::thread([&question, &stayed, hwnd] {
            Click(hwnd, IDCANCEL);
            HWND box = WaitForMessageBox(hwnd);
            if (box == nullptr)
                return;
            for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
                if (TextOf(child) == L"Stop the installation?")
                    question = TextOf(child);
            Click(box, IDNO);
            for (int i = 0; i < 500 && ::IsWindow(box); ++i)
                ::Sleep(10);
            ::Sleep(100);
            stayed = ::IsWindow(hwnd) && ::IsWindowVisible(hwnd);
            Click(hwnd, IDCANCEL);
            box = WaitForMessageBox(hwnd);
            if (box != nullptr)
                Click(box, IDYES);
        });
    };
    EXPECT_EQ(2, page.DoModal());
    answerer.join();
    EXPECT_EQ(L"Stop the installation?", question);
    EXPECT_TRUE(stayed);
    EXPECT_EQ(1, page.m_nShown);
}

TEST_F(BaseDialogTest, QuietCancelEndsWithoutAQuestion)
{
    CTestPage page;
    page.m_hook = [](CTestPage& p) {
        g_CmdLine.m_bQuiet = true; // the question answers itself from here on
        Click(p.m_hWnd, IDCANCEL);
    };
    EXPECT_EQ(2, page.DoModal());
}

TEST_F(BaseDialogTest, LocalisesTitleButtonsAndBanner)
{
    std::wstring title;
    std::vector<std::wstring> texts;
    std::vector<std::wstring> tilded;
    std::wstring link;
    bool bannerOverPlaceholder = false;
    HBRUSH white = nullptr, staticBrush = nullptr, buttonBrush = nullptr;
    CTestPage page;
    page.m_hook = [&](CTestPage& p) {
        title = TextOf(p.m_hWnd);
        for (int id : {IDOK, 3, IDCANCEL, IDC_INSTALL_TEXT})
            texts.push_back(TextOf(::GetDlgItem(p.m_hWnd, id)));
        for (HWND child = ::GetWindow(p.m_hWnd, GW_CHILD); child != nullptr; child = ::GetWindow(child, GW_HWNDNEXT))
            if (TextOf(child).find(L'~') != std::wstring::npos)
                tilded.push_back(TextOf(child));
        ASSERT_NE(nullptr, p.m_pBanner);
        link = p.m_pBanner->m_strLink.GetString();
        HWND placeholder = ::GetDlgItem(p.m_hWnd, 1013);
        RECT area{}, banner{};
        ::GetClientRect(placeholder, &area);
        ::GetClientRect(p.m_pBanner->m_hWnd, &banner);
        bannerOverPlaceholder = ::GetParent(p.m_pBanner->m_hWnd) == placeholder && ::EqualRect(&area, &banner) &&
                                area.right > 0;
        HDC dc = ::GetDC(p.m_hWnd);
        HWND text = ::GetDlgItem(p.m_hWnd, IDC_INSTALL_TEXT);
        staticBrush = reinterpret_cast<HBRUSH>(::SendMessageW(p.m_hWnd, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(text)));
        buttonBrush = reinterpret_cast<HBRUSH>(::SendMessageW(p.m_hWnd, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                                                              reinterpret_cast<LPARAM>(::GetDlgItem(p.m_hWnd, IDOK))));
        ::ReleaseDC(p.m_hWnd, dc);
        white = p.m_brBackground;
        Click(p.m_hWnd, IDOK);
    };
    ASSERT_EQ(1, page.DoModal());
    EXPECT_NE(nullptr, white);
    EXPECT_EQ(white, staticBrush);
    EXPECT_NE(white, buttonBrush);
    EXPECT_EQ(L"Product Setup", title);
    EXPECT_EQ((std::vector<std::wstring>{L"Next >", L"< Back", L"Cancel", L"Ready."}), texts);
    EXPECT_TRUE(tilded.empty()) << tilded.size();
    EXPECT_EQ(L"https://example.com/product", link);
    EXPECT_TRUE(bannerOverPlaceholder);
}

TEST_F(BaseDialogTest, EachShowingMakesANewBanner)
{
    std::vector<CBanner*> banners;
    std::vector<bool> created;
    CTestPage page;
    page.m_hook = [&](CTestPage& p) {
        banners.push_back(p.m_pBanner.get());
        created.push_back(p.m_pBanner != nullptr && ::IsWindow(p.m_pBanner->m_hWnd));
        Click(p.m_hWnd, p.m_nShown == 1 ? 3 : IDOK);
    };
    EXPECT_EQ(0, page.DoModal());
    EXPECT_EQ(1, page.DoModal());
    ASSERT_EQ(2u, banners.size());
    EXPECT_NE(banners[0], banners[1]);
    EXPECT_EQ(banners[1], page.m_pBanner.get());
    EXPECT_EQ((std::vector<bool>{true, true}), created);
}

TEST_F(BaseDialogTest, ClearSelectionMessageIsRegistered)
{
    EXPECT_EQ(DlgPopup::WM_CLEAR_SELECTION, ::RegisterWindowMessageW(L"WM_CLEAR_SELECTION"));
    EXPECT_GE(DlgPopup::WM_CLEAR_SELECTION, 0xC000u);
}

TEST_F(BaseDialogTest, BannerReadsItsHeader)
{
    HWND parent = ::CreateWindowExW(0, L"STATIC", L"", WS_OVERLAPPED, 0, 0, 300, 80, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, parent);
    CWnd parentWnd(parent);
    {
        CBanner banner;
        EXPECT_TRUE(banner.Create(&parentWnd, L"//Interface/Localize/DlgInstall"));
        EXPECT_EQ(L"https://example.com/product", std::wstring(banner.m_strLink.GetString()));
        EXPECT_EQ(nullptr, banner.m_pImage); // no theme: no picture
        RECT area{}, rc{};
        ::GetClientRect(parent, &area);
        ::GetClientRect(banner.m_hWnd, &rc);
        EXPECT_TRUE(::EqualRect(&area, &rc));
        EXPECT_EQ(parent, ::GetParent(banner.m_hWnd));

        ::SetCursor(nullptr);
        EXPECT_EQ(TRUE, ::SendMessageW(banner.m_hWnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(banner.m_hWnd),
                                       MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
        EXPECT_EQ(::LoadCursorW(nullptr, IDC_HAND), ::GetCursor());
    }
    {
        // A page without "/Header": a bare strip, reported as false.
        CBanner banner;
        EXPECT_FALSE(banner.Create(&parentWnd, L"//Interface/Localize/DlgFinish"));
        EXPECT_TRUE(::IsWindow(banner.m_hWnd));
        EXPECT_TRUE(banner.m_strLink.IsEmpty());
    }
    {
        CBanner banner;
        EXPECT_FALSE(banner.Create(nullptr, L"//Interface/Localize/DlgInstall"));
    }
    ::DestroyWindow(parent);
}

TEST(BannerTest, ScalesByTheScreenResolution)
{
    struct SCase
    {
        unsigned size, dpi, drawn;
    };
    const SCase cases[] = {
        {500, 144, 750}, {60, 144, 90}, {500, 96, 500}, {60, 96, 60}, {501, 120, 626}, {0, 144, 0}, {1, 72, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.drawn, CBanner::ScaleForDpi(c.size, c.dpi)) << c.size << " at " << c.dpi;
}

TEST(BannerTest, OpensOnlyWebLinks)
{
    struct SCase
    {
        const wchar_t* link;
        bool opened;
    };
    const SCase cases[] = {
        {L"http://example.com", true},
        {L"https://example.com/a?b=c", true},
        {L"HTTPS://EXAMPLE.COM", true},
        {L"", false},
        {L"example", false},
        {L"www.example.com", false},
        {L"C:\\Windows\\System32\\calc.exe", false},
        {L"calc.exe", false},
        {L"file:///C:/Windows/System32/calc.exe", false},
        {L"mailto:someone@example.com", false},
        {L"javascript:alert(1)", false},
        {L"ftp://example.com", false},
        {L"httpx://example.com", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.opened, CBanner::IsOpenableLink(c.link)) << std::string(c.link, c.link + wcslen(c.link));
    EXPECT_FALSE(CBanner::IsOpenableLink(nullptr));
}

} // namespace
