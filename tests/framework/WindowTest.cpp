// Tests of the windows and their message maps.
#include "framework/Window.h"
#include "tests/support/DebugOutputCapture.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace {

const UINT WM_PING = WM_APP + 1;
const UINT WM_BASE_ONLY = WM_APP + 2;
const UINT WM_THROW = WM_APP + 3;
const wchar_t kClassName[] = L"FrameworkTestWindow";

void RegisterTestClass()
{
    WNDCLASSW wc{};
    wc.lpfnWndProc = &DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc); // a second registration fails harmlessly
}

class CBaseWnd : public CWnd
{
public:
    LRESULT OnPing(WPARAM w, LPARAM) { ++m_nBasePings; return 100 + static_cast<LRESULT>(w); }
    LRESULT OnBaseOnly(WPARAM, LPARAM) { return 7; }
    void PostNcDestroy() override { ++m_nNcDestroyed; }

    int m_nBasePings = 0;
    int m_nNcDestroyed = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CBaseWnd, CWnd)
    ON_MESSAGE(WM_PING, OnPing)
    ON_MESSAGE(WM_BASE_ONLY, OnBaseOnly)
END_MESSAGE_MAP()

class CDerivedWnd : public CBaseWnd
{
public:
    LRESULT OnPing(WPARAM w, LPARAM) { return 200 + static_cast<LRESULT>(w); }
    LRESULT OnThrow(WPARAM, LPARAM) { throw std::runtime_error("handler failed"); }
    void OnClicked() { ++m_nClicks; }
    void OnPaint()
    {
        CPaintDC dc(this);
        ++m_nPaints;
        m_bPaintDC = dc.GetSafeHdc() != nullptr;
    }

    int m_nClicks = 0;
    int m_nPaints = 0;
    bool m_bPaintDC = false;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CDerivedWnd, CBaseWnd)
    ON_MESSAGE(WM_PING, OnPing)
    ON_MESSAGE(WM_THROW, OnThrow)
    ON_BN_CLICKED(5, OnClicked)
    ON_WM_PAINT()
END_MESSAGE_MAP()

BOOL CreateTestWindow(CWnd& wnd, DWORD style = WS_POPUP)
{
    RegisterTestClass();
    return wnd.CreateEx(0, kClassName, L"abc", style, 0, 0, 50, 40, nullptr, nullptr);
}

TEST(WindowRouting, MessagesReachTheMostDerivedHandlerThenTheBaseThenTheDefault)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(CreateTestWindow(wnd));
    EXPECT_EQ(CWnd::FromHandlePermanent(wnd.m_hWnd), &wnd);

    struct Case { UINT message; WPARAM wParam; LRESULT expected; };
    const Case cases[] = {
        {WM_PING, 3, 203},           // derived entry hides the base one
        {WM_BASE_ONLY, 0, 7},        // chained to the base map
        {WM_GETTEXTLENGTH, 0, 3},    // no entry: the class's own procedure
    };
    for (const Case& c : cases)
        EXPECT_EQ(wnd.SendMessage(c.message, c.wParam, 0), c.expected) << c.message;
    EXPECT_EQ(wnd.m_nBasePings, 0);
    EXPECT_TRUE(wnd.DestroyWindow());
}

TEST(WindowRouting, CommandEntriesMatchCodeAndId)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(CreateTestWindow(wnd));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_CLICKED), 0);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(6, BN_CLICKED), 0);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(5, BN_DOUBLECLICKED), 0);
    EXPECT_EQ(wnd.m_nClicks, 1);
}

TEST(WindowRouting, AnExceptionInAHandlerIsCaughtAtTheWindowProcedure)
{
    TestSupport::CDebugOutputCapture capture(GetCurrentProcessId());
    ASSERT_TRUE(capture.IsListening());
    CDerivedWnd wnd;
    ASSERT_TRUE(CreateTestWindow(wnd));
    EXPECT_EQ(wnd.SendMessage(WM_THROW), 0);
    // The window still routes afterwards.
    EXPECT_EQ(wnd.SendMessage(WM_PING, 1, 0), 201);
    bool traced = false;
    for (const std::string& line : capture.Stop())
        traced = traced || line.find("handler failed") != std::string::npos;
    EXPECT_TRUE(traced);
}

TEST(WindowRouting, PaintGoesThroughThePaintContext)
{
    CDerivedWnd wnd;
    ASSERT_TRUE(CreateTestWindow(wnd, WS_POPUP | WS_VISIBLE));
    wnd.Invalidate();
    wnd.UpdateWindow();
    EXPECT_GE(wnd.m_nPaints, 1);
    EXPECT_TRUE(wnd.m_bPaintDC);
    // Validated by EndPaint: nothing left to paint.
    EXPECT_FALSE(GetUpdateRect(wnd.m_hWnd, nullptr, FALSE));
}

TEST(WindowLifetime, AnObjectLetsGoOfItsDestroyedWindowAndCanBeCreatedAgain)
{
    CDerivedWnd wnd;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(CreateTestWindow(wnd)) << round;
        HWND hwnd = wnd.m_hWnd;
        EXPECT_EQ(wnd.SendMessage(WM_PING, 0, 0), 200);
        ASSERT_TRUE(DestroyWindow(hwnd)); // destroyed behind the object's back
        EXPECT_EQ(wnd.m_hWnd, nullptr);
        EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
        EXPECT_EQ(wnd.m_nNcDestroyed, round + 1);
    }
}

TEST(WindowLifetime, SubclassRoutesAndUnsubclassRestoresTheProcedure)
{
    RegisterTestClass();
    HWND hwnd = CreateWindowExW(0, kClassName, L"abcd", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);
    const LONG_PTR original = GetWindowLongPtrW(hwnd, GWLP_WNDPROC);
    {
        CDerivedWnd wnd;
        ASSERT_TRUE(wnd.SubclassWindow(hwnd));
        EXPECT_FALSE(CDerivedWnd().SubclassWindow(hwnd)); // one object per window
        EXPECT_EQ(SendMessageW(hwnd, WM_PING, 2, 0), 202);
        EXPECT_EQ(SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0), 4);
        EXPECT_EQ(wnd.UnsubclassWindow(), hwnd);
        EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), original);
        EXPECT_EQ(SendMessageW(hwnd, WM_PING, 2, 0), 0);

        ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    } // the object subclassed but did not create the window: it only lets go
    EXPECT_TRUE(IsWindow(hwnd));
    EXPECT_EQ(GetWindowLongPtrW(hwnd, GWLP_WNDPROC), original);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
    DestroyWindow(hwnd);
}

TEST(WindowLifetime, TheDestructorDestroysAWindowTheObjectCreated)
{
    HWND hwnd = nullptr;
    {
        CDerivedWnd wnd;
        ASSERT_TRUE(CreateTestWindow(wnd));
        hwnd = wnd.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(hwnd));
}

TEST(WindowLifetime, SystemClassesAreBoundFromTheirFirstMessage)
{
    CDerivedWnd button;
    ASSERT_TRUE(button.CreateEx(0, L"BUTTON", L"ok", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr));
    EXPECT_EQ(button.SendMessage(WM_PING, 4, 0), 204);
    EXPECT_EQ(button.SendMessage(WM_GETTEXTLENGTH), 2);
}

const UINT WM_REGISTERED_TEST = RegisterWindowMessageW(L"Framework.WindowTest.Registered");

// One handler per message-map adaptor, each recording what it was given.
class CAdaptorWnd : public CWnd
{
public:
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind)
    {
        m_hCtlDC = dc->GetSafeHdc();
        m_hCtlControl = control->m_hWnd;
        m_nCtlKind = kind;
        return m_brush;
    }
    BOOL OnEraseBkgnd(CDC* dc)
    {
        m_hEraseDC = dc->GetSafeHdc();
        return TRUE;
    }
    void OnNotifyClick(NMHDR* header, LRESULT* result)
    {
        m_nNotifyFrom = static_cast<UINT>(header->idFrom);
        *result = 5;
    }
    void OnTimer(UINT_PTR id) { m_nTimer = id; }
    void OnDestroy() { ++m_nDestroys; }
    HCURSOR OnQueryDragIcon() { return m_hCursor; }
    LRESULT OnRegistered(WPARAM w, LPARAM) { return static_cast<LRESULT>(w) * 2; }
    void OnSelChange() { ++m_nSelChanges; }

    CBrush m_brush{RGB(1, 1, 1)};
    HCURSOR m_hCursor = LoadCursorW(nullptr, IDC_ARROW);
    HDC m_hCtlDC = nullptr;
    HWND m_hCtlControl = nullptr;
    UINT m_nCtlKind = 99;
    HDC m_hEraseDC = nullptr;
    UINT m_nNotifyFrom = 0;
    UINT_PTR m_nTimer = 0;
    int m_nDestroys = 0;
    int m_nSelChanges = 0;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CAdaptorWnd, CWnd)
    ON_WM_CTLCOLOR()
    ON_WM_ERASEBKGND()
    ON_NOTIFY(NM_CLICK, 9, OnNotifyClick)
    ON_WM_TIMER()
    ON_WM_DESTROY()
    ON_WM_QUERYDRAGICON()
    ON_REGISTERED_MESSAGE(WM_REGISTERED_TEST, OnRegistered)
    ON_CBN_SELCHANGE(12, OnSelChange)
END_MESSAGE_MAP()

TEST(WindowRouting, EveryAdaptorPassesItsArgumentsAndResult)
{
    CAdaptorWnd wnd;
    ASSERT_TRUE(CreateTestWindow(wnd));
    CClientDC screen(nullptr);
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(&screen));
    HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 5, 5, wnd.m_hWnd, nullptr, nullptr, nullptr);
    ASSERT_NE(child, nullptr);

    const auto hdc = reinterpret_cast<WPARAM>(mem.GetSafeHdc());
    EXPECT_EQ(wnd.SendMessage(WM_CTLCOLORSTATIC, hdc, reinterpret_cast<LPARAM>(child)),
              reinterpret_cast<LRESULT>(wnd.m_brush.GetSafeHandle()));
    EXPECT_EQ(wnd.m_nCtlKind, static_cast<UINT>(CTLCOLOR_STATIC));
    EXPECT_EQ(wnd.m_hCtlControl, child);
    EXPECT_EQ(wnd.m_hCtlDC, mem.GetSafeHdc());
    wnd.SendMessage(WM_CTLCOLOREDIT, hdc, reinterpret_cast<LPARAM>(child));
    EXPECT_EQ(wnd.m_nCtlKind, static_cast<UINT>(CTLCOLOR_EDIT));

    EXPECT_EQ(wnd.SendMessage(WM_ERASEBKGND, hdc), TRUE);
    EXPECT_EQ(wnd.m_hEraseDC, mem.GetSafeHdc());

    NMHDR header{child, 9, static_cast<UINT>(NM_CLICK)};
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 9, reinterpret_cast<LPARAM>(&header)), 5);
    EXPECT_EQ(wnd.m_nNotifyFrom, 9u);
    header.idFrom = 10; // no entry for this control
    wnd.m_nNotifyFrom = 0;
    wnd.SendMessage(WM_NOTIFY, 10, reinterpret_cast<LPARAM>(&header));
    EXPECT_EQ(wnd.m_nNotifyFrom, 0u);

    wnd.SendMessage(WM_TIMER, 3);
    EXPECT_EQ(wnd.m_nTimer, 3u);
    EXPECT_EQ(wnd.SendMessage(WM_QUERYDRAGICON), reinterpret_cast<LRESULT>(wnd.m_hCursor));
    EXPECT_EQ(wnd.SendMessage(WM_REGISTERED_TEST, 21), 42);
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(12, CBN_SELCHANGE), reinterpret_cast<LPARAM>(child));
    EXPECT_EQ(wnd.m_nSelChanges, 1);

    EXPECT_TRUE(wnd.DestroyWindow());
    EXPECT_EQ(wnd.m_nDestroys, 1);
}

TEST(WaitCursor, ShowsTheWaitCursorAndRestoresThePreviousOne)
{
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    {
        CWaitCursor wait;
        EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, IDC_WAIT));
    }
    EXPECT_EQ(GetCursor(), arrow);
}

TEST(MainWindow, AfxGetMainWndGivesTheApplicationsMainWindow)
{
    CWinApp* app = AfxGetApp();
    std::unique_ptr<CWinApp> local;
    if (app == nullptr) {
        local = std::make_unique<CWinApp>();
        app = local.get();
    }
    CWnd* previous = app->m_pMainWnd;
    CDerivedWnd wnd;
    app->m_pMainWnd = &wnd;
    EXPECT_EQ(AfxGetMainWnd(), &wnd);
    app->m_pMainWnd = nullptr;
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
    app->m_pMainWnd = previous;
}

TEST(Drawing, MemoryBitmapPixelsFollowFillsBrushesAndBlits)
{
    CClientDC screen(nullptr);
    ASSERT_NE(screen.GetSafeHdc(), nullptr);
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(&screen));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 20, 10));
    HGDIOBJ old = mem.SelectObject(&bitmap);
    ASSERT_NE(old, nullptr);

    mem.FillSolidRect(0, 0, 20, 10, RGB(0, 0, 255));
    CRect red(2, 2, 6, 6);
    mem.FillSolidRect(red, RGB(255, 0, 0));
    CBrush green(RGB(0, 255, 0));
    CRect right(10, 0, 20, 10);
    mem.FillRect(right, &green);

    CDC copy;
    ASSERT_TRUE(copy.CreateCompatibleDC(&screen));
    CBitmap copyBitmap;
    ASSERT_TRUE(copyBitmap.CreateCompatibleBitmap(screen, 20, 10));
    HGDIOBJ oldCopy = copy.SelectObject(&copyBitmap);
    ASSERT_TRUE(copy.BitBlt(0, 0, 20, 10, &mem, 0, 0, SRCCOPY));

    struct Case { int x, y; COLORREF color; };
    const Case cases[] = {
        {0, 0, RGB(0, 0, 255)}, {2, 2, RGB(255, 0, 0)}, {5, 5, RGB(255, 0, 0)},
        {6, 6, RGB(0, 0, 255)}, {10, 0, RGB(0, 255, 0)}, {19, 9, RGB(0, 255, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(mem.GetPixel(c.x, c.y), c.color) << c.x << "," << c.y;
        EXPECT_EQ(copy.GetPixel(c.x, c.y), c.color) << "copy " << c.x << "," << c.y;
    }
    EXPECT_EQ(red.Width(), 4);
    EXPECT_EQ(red.Height(), 4);
    copy.SelectObject(oldCopy);
    mem.SelectObject(old);
}

TEST(Drawing, TextInAPointFontMarksTheBitmap)
{
    CClientDC screen(nullptr);
    CDC mem;
    ASSERT_TRUE(mem.CreateCompatibleDC(&screen));
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 40, 30));
    HGDIOBJ old = mem.SelectObject(&bitmap);
    CFont font;
    ASSERT_TRUE(font.CreatePointFont(140, L"Tahoma"));
    HGDIOBJ oldFont = mem.SelectObject(&font);
    mem.FillSolidRect(0, 0, 40, 30, RGB(255, 255, 255));
    mem.SetBkMode(TRANSPARENT);
    mem.SetTextColor(RGB(0, 0, 0));
    ASSERT_TRUE(mem.TextOut(2, 2, L"W", 1));
    int dark = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x)
            dark += mem.GetPixel(x, y) != RGB(255, 255, 255) ? 1 : 0;
    EXPECT_GT(dark, 10);
    mem.SelectObject(oldFont);
    mem.SelectObject(old);
}

TEST(Drawing, GdiObjectsReleaseTheirHandles)
{
    HGDIOBJ handle = nullptr;
    {
        CBrush brush(RGB(1, 2, 3));
        handle = brush.GetSafeHandle();
        ASSERT_NE(handle, nullptr);
        LOGBRUSH info{};
        ASSERT_EQ(GetObjectW(handle, sizeof(info), &info), static_cast<int>(sizeof(info)));
        EXPECT_EQ(info.lbColor, RGB(1, 2, 3));
    }
    EXPECT_EQ(GetObjectType(handle), 0u);
}

} // namespace
