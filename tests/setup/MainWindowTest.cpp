// Tests of the main window.
#include "common/config/GraphRes.h"
#include "common/config/SetupConfig.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/GdiplusScope.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/DrawSurface.h"
#include "tests/support/PackageFixture.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using DlgPopup::CDlgMain;
using TestSupport::ToBytes;

namespace {

const DWORD kBack = 0x800000;  // red
const DWORD kTrack = 0x008000; // green
const DWORD kFill = 0x0000FF;  // blue
const DWORD kFillRight = 0xFFFFFF;
const DWORD kWait = 0xFFFF00; // yellow

COLORREF Ref(DWORD rgb)
{
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

const char kResources[] =
    "<Resources>"
    "<Images><Back Path=\"\\images\\back.bmp\" ID=\"1\"/><Wait Path=\"\\images\\wait.bmp\" ID=\"2\"/>"
    "<Wide Path=\"\\images\\wide.bmp\" ID=\"5\"/>"
    "<Track Path=\"\\images\\track.bmp\" ID=\"3\"/><Fill Path=\"\\images\\fill.bmp\" ID=\"4\"/></Images>"
    "<Fonts><Status Face=\"Tahoma\" Size=\"9\" ID=\"1\"/></Fonts>"
    "<Colors><Status ID=\"1\" ARGB=\"#FF000000\"/></Colors>"
    "</Resources>";

// Bar at 20,100, 200 wide, the track's 10 pixels high; wait image at 300,20, 30 by 30.
const char kLocalize[] =
    "<Localize Caption=\"Test Caption\">"
    "<DlgMain BackImg=\"1\" WaitImg=\"2\">"
    "<Progress BackImg=\"3\" OverImg=\"4\"/><Text Font=\"1\" Color=\"1\"/>"
    "<ComponentLayout>"
    "<Progress Left=\"20\" Top=\"100\" Width=\"200\" Height=\"-1\"/>"
    "<WaitImage Left=\"300\" Top=\"20\" Width=\"30\" Height=\"30\"/>"
    "<Text Left=\"20\" Top=\"200\" Width=\"300\" Height=\"20\"/>"
    "</ComponentLayout></DlgMain></Localize>";

// The same theme, but a document whose DlgMain has neither Progress nor Text.
const char kShortLocalize[] = "<Localize><DlgMain BackImg=\"1\" WaitImg=\"2\"/></Localize>";

// A background wider than any screen.
const char kWideLocalize[] = "<Localize><DlgMain BackImg=\"5\"/></Localize>";

// Records what each erase saw, so that the order of flag and repaint shows.
class CRecordingDlg : public CDlgMain
{
public:
    BOOL OnEraseBkgnd(CDC* dc) override
    {
        CRect clip;
        ::GetClipBox(dc->GetSafeHdc(), &clip);
        m_erases.push_back({m_bShowWait, clip, m_dProgress});
        return CDlgMain::OnEraseBkgnd(dc);
    }
    LRESULT OnApp(WPARAM, LPARAM)
    {
        m_order.push_back(WM_APP);
        return 0;
    }
    LRESULT OnMouseMove(WPARAM, LPARAM)
    {
        m_order.push_back(WM_MOUSEMOVE);
        return 0;
    }

    struct SErase
    {
        bool showWait;
        CRect clip;
        double progress;
    };
    std::vector<SErase> m_erases;
    std::vector<UINT> m_order;

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CRecordingDlg, CDlgMain)
    ON_MESSAGE(WM_APP, OnApp)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
END_MESSAGE_MAP()

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_CmdLine = CCmdLineHelper();
        PackageTools::SBuildOptions options;
        const std::string document = std::string("<Interface>") + kResources + kLocalize + "</Interface>";
        const std::string wideDocument = std::string("<Interface>") + kResources + kWideLocalize + "</Interface>";
        const std::string shortDocument = std::string("<Interface>") + kResources + kShortLocalize + "</Interface>";
        const std::wstring package = TestSupport::MakePackage(
            m_temp,
            {{L"setup.xml", ToBytes(document)},
             {L"short.xml", ToBytes(shortDocument)},
             {L"wide.xml", ToBytes(wideDocument)},
             {L"images\\wide.bmp", TestSupport::Bitmap24(4000, 20, [](int, int) { return kBack; })},
             {L"images\\back.bmp", TestSupport::Bitmap24(400, 300, [](int, int) { return kBack; })},
             {L"images\\wait.bmp", TestSupport::Bitmap24(30, 30, [](int, int) { return kWait; })},
             {L"images\\track.bmp", TestSupport::Bitmap24(100, 10, [](int, int) { return kTrack; })},
             // Left half blue, right half white: only the left part may ever be drawn.
             {L"images\\fill.bmp",
              TestSupport::Bitmap24(300, 10, [](int x, int) { return x < 150 ? kFill : kFillRight; })}},
            options, L"main.cfs");
        auto& config = Common::Config::GetSetupConfig();
        ASSERT_TRUE(config.GetPackage().Open(package, true, false));
        ASSERT_TRUE(config.LoadSettings(L"\\setup.xml"));
        ASSERT_TRUE(config.LoadGraphRes());
    }

    void TearDown() override
    {
        // The theme's GDI+ objects go while GDI+ still runs.
        Common::Config::GetSetupConfig().ReleaseGraphRes();
    }

    CGdiplusScope m_gdiplus;
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

CRect ClientRectOf(HWND window, int id)
{
    CRect rc;
    ::GetWindowRect(::GetDlgItem(window, id), &rc);
    ::MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

TEST_F(MainWindowTest, CallsWithoutAWindowDoNothing)
{
    CDlgMain dlg;
    EXPECT_EQ(nullptr, dlg.m_hWnd);
    EXPECT_TRUE(dlg.m_bShowProgress);
    EXPECT_FALSE(dlg.m_bShowWait);
    dlg.m_dStep = 0.25;
    dlg.SetProgress(0.5);
    dlg.StepProgress();
    dlg.PumpMessages();
    dlg.InvalidateControl(102);
    dlg.InvalidateControl(1016);
    dlg.Layout();
    dlg.UpdateCaption();
    EXPECT_DOUBLE_EQ(0.75, dlg.m_dProgress);
    EXPECT_TRUE(dlg.m_bShowWait);
    EXPECT_EQ(nullptr, dlg.m_hWnd);

    // Loading the theme needs no window either.
    dlg.LoadResources();
    auto* theme = Common::Config::GetSetupConfig().GetGraphRes();
    EXPECT_EQ(theme->GetImage(1), dlg.m_pBackImage);
    EXPECT_EQ(theme->GetImage(4), dlg.m_pProgressOver);
    EXPECT_NE(nullptr, dlg.m_pTextFont);
}

TEST_F(MainWindowTest, ShowCreatesTheWindowLaidOutFromTheDocument)
{
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    EXPECT_FALSE(dlg.m_bShowProgress); // the reset of the first Show
    CRect window;
    ::GetWindowRect(dlg.m_hWnd, &window);
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(400, window.Width());
    EXPECT_EQ(300, window.Height());
    EXPECT_EQ(sw > 400 ? (sw - 400) / 2 : 0, window.left);
    EXPECT_EQ(sh > 300 ? (sh - 300) / 2 : 0, window.top);

    EXPECT_EQ(CRect(20, 100, 220, 110), ClientRectOf(dlg.m_hWnd, 102));
    EXPECT_EQ(CRect(300, 20, 330, 50), ClientRectOf(dlg.m_hWnd, 1016));
    EXPECT_EQ(CRect(20, 200, 320, 220), ClientRectOf(dlg.m_hWnd, 103));
    EXPECT_FALSE(::IsWindowVisible(::GetDlgItem(dlg.m_hWnd, 103)));

    wchar_t caption[64] = {};
    ::GetWindowTextW(dlg.m_hWnd, caption, 64);
    EXPECT_STREQ(L"Test Caption", caption);

    // Enter and Esc do nothing; the window stays.
    ::SendMessageW(dlg.m_hWnd, WM_COMMAND, IDOK, 0);
    ::SendMessageW(dlg.m_hWnd, WM_COMMAND, IDCANCEL, 0);
    EXPECT_TRUE(::IsWindowVisible(dlg.m_hWnd));

    // A later Show resets progress and hides the bar.
    dlg.SetProgress(0.4);
    ::SetDlgItemTextW(dlg.m_hWnd, 103, L"Copying");
    HWND first = dlg.m_hWnd;
    dlg.Show();
    EXPECT_EQ(first, dlg.m_hWnd);
    EXPECT_DOUBLE_EQ(0.0, dlg.m_dProgress);
    EXPECT_FALSE(dlg.m_bShowProgress);
    EXPECT_EQ(0, ::GetWindowTextLengthW(::GetDlgItem(dlg.m_hWnd, 103)));
}

TEST_F(MainWindowTest, ReadLayoutRectDefaults)
{
    CDlgMain dlg;
    struct SCase
    {
        const wchar_t* path;
        int defaultWidth;
        int defaultHeight;
        CRect expected;
    };
    const SCase cases[] = {
        {L"//Interface/Localize/DlgMain/ComponentLayout/Progress", 100, 10, CRect(20, 100, 220, 110)},
        {L"//Interface/Localize/DlgMain/ComponentLayout/WaitImage", 0, 0, CRect(300, 20, 330, 50)},
        {L"//Interface/Localize/DlgMain/ComponentLayout/Missing", 5, 5, CRect(0, 0, 0, 0)},
        {L"//Interface/Localize/DlgMain/ComponentLayout/Progress[", 5, 5, CRect(0, 0, 0, 0)},
    };
    for (const auto& c : cases) {
        const CRect rc = dlg.ReadLayoutRect(c.path, c.defaultWidth, c.defaultHeight);
        EXPECT_EQ(c.expected, rc) << c.path;
    }
}

TEST_F(MainWindowTest, ProgressFillIsClampedAndTakesTheLeftOfTheImage)
{
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    dlg.m_bShowProgress = true;
    struct SCase
    {
        double progress;
        int filledTo; // bar pixels from the left that show the fill
    };
    const SCase cases[] = {{0.0, 0}, {0.5, 100}, {1.0, 200}, {1.7, 200}, {-0.5, 0}};
    for (const auto& c : cases) {
        dlg.m_dProgress = c.progress;
        TestSupport::CDrawSurface surface(400, 300);
        EXPECT_TRUE(dlg.OnEraseBkgnd(&surface.m_dc));
        EXPECT_DOUBLE_EQ(c.progress, dlg.m_dProgress); // never clamped in place
        for (int x = 22; x < 218; x += 4) {
            const int d = x - 20;
            if ((d > c.filledTo - 3 && d < c.filledTo + 3) || (d > 97 && d < 103))
                continue; // stretched edges may blend
            // The fill maps the left fraction of its image onto the same fraction of
            // the bar, so the image's white right half starts at the bar's middle.
            const COLORREF expected = d >= c.filledTo ? Ref(kTrack) : d < 100 ? Ref(kFill) : Ref(kFillRight);
            EXPECT_EQ(expected, surface.At(x, 105)) << c.progress << " at " << x;
        }
        // Nothing of the fill beyond the bar.
        EXPECT_EQ(Ref(kBack), surface.At(225, 105)) << c.progress;
        EXPECT_EQ(Ref(kBack), surface.At(300, 105)) << c.progress;
        EXPECT_EQ(Ref(kBack), surface.At(5, 5));
    }

    // A hidden bar shows nothing of track or fill.
    dlg.m_bShowProgress = false;
    dlg.m_dProgress = 0.5;
    TestSupport::CDrawSurface surface(400, 300);
    dlg.OnEraseBkgnd(&surface.m_dc);
    EXPECT_EQ(Ref(kBack), surface.At(50, 105));
}

TEST_F(MainWindowTest, PartialRepaintAwayFromTheOrigin)
{
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    dlg.m_bShowProgress = true;
    dlg.m_bShowWait = true;
    dlg.m_dProgress = 0.5;
    TestSupport::CDrawSurface surface(400, 300);
    HRGN clip = ::CreateRectRgn(100, 40, 340, 115);
    ::SelectClipRgn(surface.m_dc, clip);
    ::DeleteObject(clip);
    EXPECT_TRUE(dlg.OnEraseBkgnd(&surface.m_dc));
    ::SelectClipRgn(surface.m_dc, nullptr);

    EXPECT_EQ(Ref(kFill), surface.At(105, 105));
    EXPECT_EQ(Ref(kTrack), surface.At(150, 105));
    EXPECT_EQ(Ref(kBack), surface.At(250, 100));
    EXPECT_EQ(Ref(kBack), surface.At(110, 92));
    EXPECT_EQ(Ref(kBack), surface.At(110, 42));
    EXPECT_EQ(Ref(kWait), surface.At(315, 45)); // wait image 300,20 to 330,50, cut by the clip
    // Outside the clip box the surface is untouched.
    const COLORREF untouched = RGB(255, 0, 255);
    EXPECT_EQ(untouched, surface.At(50, 105));
    EXPECT_EQ(untouched, surface.At(315, 30));
    EXPECT_EQ(untouched, surface.At(150, 115));
    EXPECT_EQ(untouched, surface.At(345, 100));
}

TEST_F(MainWindowTest, WaitFlagIsSetBeforeItsControlRepaints)
{
    CRecordingDlg dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    dlg.PumpMessages();
    dlg.m_erases.clear();
    ASSERT_FALSE(dlg.m_bShowWait);
    dlg.SetProgress(0.0);
    ASSERT_FALSE(dlg.m_erases.empty());
    // The first repaint is the wait image's, and it already draws the image.
    EXPECT_EQ(CRect(300, 20, 330, 50), dlg.m_erases.front().clip);
    EXPECT_TRUE(dlg.m_erases.front().showWait);
    // PumpMessages ends with the bar's repaint.
    EXPECT_EQ(CRect(20, 100, 220, 110), dlg.m_erases.back().clip);
}

TEST_F(MainWindowTest, StepsRepaintTheBarOnlyWhenItsPixelsChange)
{
    CRecordingDlg dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    dlg.SetProgress(0.0);
    const int steps = 1000;
    dlg.m_dStep = 1.0 / steps;
    const CRect bar(20, 100, 220, 110);
    // What a paint at a fraction draws: the fill's width on the 200-pixel bar and
    // the width taken from the 300-pixel fill image.
    auto drawn = [](double progress) {
        const double fraction = std::min(std::max(progress, 0.0), 1.0);
        return std::make_pair(static_cast<int>(200 * fraction), static_cast<int>(300 * fraction));
    };
    auto barPaints = [&] {
        return std::count_if(dlg.m_erases.begin(), dlg.m_erases.end(),
                             [&](const CRecordingDlg::SErase& erase) { return erase.clip == bar; });
    };
    const auto before = barPaints();
    ASSERT_GE(before, 1);
    for (int i = 0; i < steps; ++i) {
        SCOPED_TRACE(i);
        dlg.StepProgress();
        // The bar's last paint shows what the bar holds now.
        const auto last = std::find_if(dlg.m_erases.rbegin(), dlg.m_erases.rend(),
                                       [&](const CRecordingDlg::SErase& erase) { return erase.clip == bar; });
        ASSERT_NE(dlg.m_erases.rend(), last);
        EXPECT_EQ(drawn(dlg.m_dProgress), drawn(last->progress));
    }
    // The two widths change together at most 400 times (at most 200 plus 300
    // steps, 100 of them shared).
    const auto stepped = barPaints() - before;
    EXPECT_GE(stepped, 200);
    EXPECT_LE(stepped, 401);
    // PumpMessages still repaints the bar each time.
    dlg.m_erases.clear();
    dlg.PumpMessages();
    EXPECT_EQ(1, barPaints());
}

TEST_F(MainWindowTest, PumpMessagesTakesMouseMessagesFirst)
{
    CRecordingDlg dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    dlg.PumpMessages();
    dlg.m_order.clear();
    ASSERT_TRUE(::PostMessageW(dlg.m_hWnd, WM_APP, 0, 0));
    ASSERT_TRUE(::PostMessageW(dlg.m_hWnd, WM_MOUSEMOVE, 0, 0));
    ASSERT_TRUE(::PostThreadMessageW(::GetCurrentThreadId(), WM_APP + 5, 0, 0));
    dlg.m_erases.clear();
    dlg.PumpMessages();
    ASSERT_EQ(2u, dlg.m_order.size());
    EXPECT_EQ(static_cast<UINT>(WM_MOUSEMOVE), dlg.m_order[0]);
    EXPECT_EQ(static_cast<UINT>(WM_APP), dlg.m_order[1]);
    ASSERT_FALSE(dlg.m_erases.empty());
    EXPECT_EQ(CRect(20, 100, 220, 110), dlg.m_erases.back().clip);
    // A message for no window is not this window's to take.
    MSG msg;
    EXPECT_TRUE(::PeekMessageW(&msg, reinterpret_cast<HWND>(-1), WM_APP + 5, WM_APP + 5, PM_REMOVE));
}

TEST_F(MainWindowTest, BackgroundWiderThanTheScreenTakesTheScreenWidth)
{
    auto& config = Common::Config::GetSetupConfig();
    config.ReleaseGraphRes();
    ASSERT_TRUE(config.LoadSettings(L"\\wide.xml"));
    ASSERT_TRUE(config.LoadGraphRes());
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    const int sw = ::GetSystemMetrics(SM_CXSCREEN);
    const int sh = ::GetSystemMetrics(SM_CYSCREEN);
    ASSERT_LT(sw, 4000);
    CRect window;
    ::GetWindowRect(dlg.m_hWnd, &window);
    EXPECT_EQ(CRect(0, (sh - 20) / 2, sw, (sh - 20) / 2 + 20), window);
}

TEST_F(MainWindowTest, StatusTextIsDrawnEvenWhileItsControlIsHidden)
{
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    ASSERT_FALSE(::IsWindowVisible(::GetDlgItem(dlg.m_hWnd, 103)));
    const auto inkInText = [&dlg]() {
        TestSupport::CDrawSurface surface(400, 300);
        dlg.OnEraseBkgnd(&surface.m_dc);
        int ink = 0;
        for (int y = 200; y < 220; ++y)
            for (int x = 20; x < 320; ++x)
                ink += surface.At(x, y) != Ref(kBack) ? 1 : 0;
        // The text stays inside its rectangle.
        for (int x = 20; x < 320; ++x)
            EXPECT_EQ(Ref(kBack), surface.At(x, 221));
        return ink;
    };
    EXPECT_EQ(0, inkInText());
    ::SetDlgItemTextW(dlg.m_hWnd, 103, L"Copying files");
    EXPECT_GT(inkInText(), 20);
}

TEST_F(MainWindowTest, CloseEndsTheDialog)
{
    CDlgMain dlg;
    dlg.Show();
    ASSERT_NE(nullptr, dlg.m_hWnd);
    ::SendMessageW(dlg.m_hWnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(::IsWindowVisible(dlg.m_hWnd));
}

TEST_F(MainWindowTest, NoBorrowedItemOutlivesTheTheme)
{
    auto& config = Common::Config::GetSetupConfig();
    CDlgMain dlg;
    dlg.LoadResources();
    ASSERT_NE(nullptr, dlg.m_pProgressBack);
    ASSERT_NE(nullptr, dlg.m_pTextBrush);

    // Released before the set goes.
    dlg.ReleaseResources();
    EXPECT_EQ(nullptr, dlg.m_pBackImage);
    EXPECT_EQ(nullptr, dlg.m_pWaitImage);
    EXPECT_EQ(nullptr, dlg.m_pProgressBack);
    EXPECT_EQ(nullptr, dlg.m_pProgressOver);
    EXPECT_EQ(nullptr, dlg.m_pTextBrush);
    EXPECT_EQ(nullptr, dlg.m_pTextFont);

    // A new document lacking Progress and Text: the items after the gap are not
    // kept from the old set.
    dlg.LoadResources();
    config.ReleaseGraphRes();
    ASSERT_TRUE(config.LoadSettings(L"\\short.xml"));
    ASSERT_TRUE(config.LoadGraphRes());
    dlg.LoadResources();
    auto* theme = config.GetGraphRes();
    EXPECT_EQ(theme->GetImage(1), dlg.m_pBackImage);
    EXPECT_EQ(theme->GetImage(2), dlg.m_pWaitImage);
    EXPECT_EQ(nullptr, dlg.m_pProgressBack);
    EXPECT_EQ(nullptr, dlg.m_pProgressOver);
    EXPECT_EQ(nullptr, dlg.m_pTextBrush);
    EXPECT_EQ(nullptr, dlg.m_pTextFont);

    // A theme that fails to come: nothing is kept either.
    config.ReleaseGraphRes();
    ASSERT_TRUE(config.LoadSettings(L"\\missing.xml") == false);
    dlg.LoadResources();
    EXPECT_EQ(nullptr, dlg.m_pBackImage);
    EXPECT_EQ(nullptr, dlg.m_pWaitImage);
}

} // namespace
