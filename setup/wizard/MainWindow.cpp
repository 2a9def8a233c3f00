// The main window behind the wizard pages.
#include "setup/wizard/MainWindow.h"

#include "common/config/DocumentPaths.h"
#include "common/config/GraphRes.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/ui/MemDC.h"

#include <comdef.h>

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>

namespace DlgPopup {

namespace {

const int kIdMainDialog = 101;
const int kIdProgress = 102;
const int kIdStatus = 103;
const int kIdWait = 1016;
const int kIdMainIcon = 128;
using Common::Config::kDlgMainPath;

int ReadId(const Common::Config::CXMLElement& element, const wchar_t* name)
{
    // A value that does not convert raises the _com_error that ends the loading.
    return static_cast<long>(element.GetAttribute(name, _variant_t(-1L)));
}

Common::Config::CXMLElement ChildElement(const Common::Config::CXMLElement& parent, const wchar_t* name)
{
    Common::Config::CXMLElement child = parent.GetElement(name);
    if (child.IsEmpty())
        Common::Tools::ThrowComError(E_FAIL);
    return child;
}

// Keeps the drawn fraction inside the bar whatever the caller stored.
double ClampFraction(double value)
{
    if (!(value > 0.0))
        return 0.0;
    return value > 1.0 ? 1.0 : value;
}

} // namespace

BEGIN_MESSAGE_MAP(CDlgMain, CDialog)
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_MESSAGE(WM_CREATE, OnCreate)
    ON_WM_ERASEBKGND()
    ON_MESSAGE(WM_CLOSE, OnClose)
END_MESSAGE_MAP()

CDlgMain::CDlgMain()
    : m_hIcon(::LoadIconW(AfxGetInstanceHandle(), MAKEINTRESOURCEW(kIdMainIcon)))
{
}

CDlgMain::~CDlgMain() = default;

void CDlgMain::Show()
{
    if (m_hWnd != nullptr) {
        SetDlgItemText(kIdStatus, L"");
        m_dProgress = 0.0;
        m_bShowProgress = false;
        ::ShowWindow(GetDlgItemHandle(kIdStatus), SW_HIDE);
        return;
    }
    if (!Create(kIdMainDialog, nullptr) || m_hWnd == nullptr)
        return;

    const DWORD ownThread = ::GetCurrentThreadId();
    const DWORD foregroundThread = ::GetWindowThreadProcessId(::GetForegroundWindow(), nullptr);
    if (::AttachThreadInput(ownThread, foregroundThread, TRUE)) {
        ::SetForegroundWindow(m_hWnd);
        SetWindowPos(HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
        ::SetActiveWindow(m_hWnd);
        ::BringWindowToTop(m_hWnd);
        SetFocus();
        ::AttachThreadInput(ownThread, foregroundThread, FALSE);
    }
}

void CDlgMain::ReleaseResources()
{
    m_pWaitImage = nullptr;
    m_pBackImage = nullptr;
    m_pProgressBack = nullptr;
    m_pProgressOver = nullptr;
    m_pTextBrush = nullptr;
    m_pTextFont = nullptr;
    // New images may come at the old addresses: the bar on the screen is no
    // longer known.
    m_bBarOnScreen = false;
}

void CDlgMain::LoadResources()
{
    // Items of an earlier theme may already be gone: never keep one across a reload.
    ReleaseResources();
    try {
        Common::Config::IGraphRes* theme = Common::Config::GetSetupConfig().GetGraphRes();
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (theme == nullptr || settings == nullptr)
            return;
        Common::Config::CXMLElement dlgMain;
        settings->GetElement(kDlgMainPath, dlgMain);
        m_pBackImage = theme->GetImage(ReadId(dlgMain, L"BackImg"));
        m_pWaitImage = theme->GetImage(ReadId(dlgMain, L"WaitImg"));

        const Common::Config::CXMLElement progress = ChildElement(dlgMain, L"Progress");
        m_pProgressBack = theme->GetImage(ReadId(progress, L"BackImg"));
        m_pProgressOver = theme->GetImage(ReadId(progress, L"OverImg"));

        const Common::Config::CXMLElement text = ChildElement(dlgMain, L"Text");
        m_pTextFont = theme->GetFont(ReadId(text, L"Font"));
        m_pTextBrush = theme->GetBrush(ReadId(text, L"Color"));
    } catch (const _com_error&) {
    }
}

void CDlgMain::Layout()
{
    if (m_hWnd == nullptr)
        return;
    if (m_pBackImage != nullptr) {
        int w = static_cast<int>(m_pBackImage->GetWidth());
        int h = static_cast<int>(m_pBackImage->GetHeight());
        const int sw = ::GetSystemMetrics(SM_CXSCREEN);
        const int sh = ::GetSystemMetrics(SM_CYSCREEN);
        int x = 0;
        int y = 0;
        if (w > sw)
            w = sw;
        else
            x = (sw - w) / 2;
        if (h > sh)
            h = sh;
        else
            y = (sh - h) / 2;
        SetWindowPos(HWND_TOP, x, y, w, h, 0);
    }
    const CString base = CString(kDlgMainPath) + L"/";
    HWND progress = GetDlgItemHandle(kIdProgress);
    if (m_pProgressBack != nullptr && progress != nullptr) {
        const CRect rc = ReadLayoutRect(base + L"ComponentLayout/Progress",
                                        static_cast<int>(m_pProgressBack->GetWidth()),
                                        static_cast<int>(m_pProgressBack->GetHeight()));
        ::MoveWindow(progress, rc.left, rc.top, rc.Width(), rc.Height(), FALSE);
    }
    HWND wait = GetDlgItemHandle(kIdWait);
    if (m_pWaitImage != nullptr && wait != nullptr) {
        const CRect rc = ReadLayoutRect(base + L"ComponentLayout/WaitImage", 0, 0);
        ::MoveWindow(wait, rc.left, rc.top, rc.Width(), rc.Height(), FALSE);
    }
    HWND status = GetDlgItemHandle(kIdStatus);
    if (status != nullptr) {
        const CRect rc = ReadLayoutRect(base + L"ComponentLayout/Text", 0, 0);
        ::MoveWindow(status, rc.left, rc.top, rc.Width(), rc.Height(), FALSE);
    }
}

CRect CDlgMain::ReadLayoutRect(const wchar_t* path, int defaultWidth, int defaultHeight)
{
    CRect rc;
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings == nullptr)
            return rc;
        Common::Config::CXMLElement element;
        settings->GetElement(path, element);
        rc.left = static_cast<long>(element.GetAttribute(L"Left", _variant_t(0L)));
        rc.top = static_cast<long>(element.GetAttribute(L"Top", _variant_t(0L)));
        const long width = static_cast<long>(element.GetAttribute(L"Width", _variant_t(-1L)));
        const long height = static_cast<long>(element.GetAttribute(L"Height", _variant_t(-1L)));
        rc.right = rc.left + (width != -1 ? width : defaultWidth);
        rc.bottom = rc.top + (height != -1 ? height : defaultHeight);
    } catch (const _com_error&) {
    }
    return rc;
}

void CDlgMain::UpdateCaption()
{
    if (m_hWnd == nullptr)
        return;
    CString caption;
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings != nullptr) {
            const _variant_t value = settings->GetValue(L"Caption", Common::Config::kLocalizePath, _variant_t(L""));
            caption = static_cast<const wchar_t*>(static_cast<_bstr_t>(value));
        }
    } catch (const _com_error&) {
    }
    SetWindowText(caption);
}

BOOL CDlgMain::OnInitDialog()
{
    CDialog::OnInitDialog();
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    Show();
    LoadResources();
    Layout();
    UpdateCaption();
    return TRUE;
}

void CDlgMain::SetProgress(double fraction)
{
    const bool waitShown = m_bShowWait;
    m_dProgress = fraction;
    m_bShowWait = true;
    m_bShowProgress = true;
    // The flag is set first, so the repaint below already draws the wait image.
    if (!waitShown)
        InvalidateControl(kIdWait);
    PumpMessages();
}

void CDlgMain::StepProgress()
{
    m_dProgress += m_dStep;
    if (!m_bShowWait || !m_bShowProgress) {
        SetProgress(m_dProgress);
        return;
    }
    // One step per copied file: most steps move the bar by less than a pixel,
    // and repainting the same pixels costs more than the copy of a small file.
    // The messages are taken all the same, so the window stays alive.
    if (!DrainMessages())
        return;
    if (!::IsWindow(m_hWnd))
        return;
    const SBarPaint current = CurrentBarPaint();
    if (current.overlapped || !m_bBarOnScreen || !(m_barOnScreen == current))
        InvalidateControl(kIdProgress);
}

void CDlgMain::PumpMessages()
{
    if (DrainMessages() && ::IsWindow(m_hWnd))
        InvalidateControl(kIdProgress);
}

bool CDlgMain::DrainMessages()
{
    if (m_hWnd == nullptr)
        return false;
    MSG msg;
    for (;;) {
        if (!::PeekMessageW(&msg, m_hWnd, WM_MOUSEFIRST, 0x020E, PM_REMOVE) &&
            !::PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE))
            break;
        ::DispatchMessageW(&msg);
        if (m_hWnd == nullptr)
            return false;
    }
    return true;
}

bool CDlgMain::SBarPaint::operator==(const SBarPaint& other) const
{
    return client == other.client && bar == other.bar && fillWidth == other.fillWidth &&
           sourceWidth == other.sourceWidth && shown == other.shown && showWait == other.showWait &&
           overlapped == other.overlapped && back == other.back && track == other.track && over == other.over;
}

CDlgMain::SBarPaint CDlgMain::CurrentBarPaint() const
{
    SBarPaint paint;
    if (m_hWnd == nullptr || !GetControlRect(kIdProgress, &paint.bar))
        return paint;
    GetClientRect(&paint.client);
    paint.shown = m_pProgressBack != nullptr && m_pProgressOver != nullptr && m_bShowProgress;
    if (paint.shown) {
        const double fraction = ClampFraction(m_dProgress);
        paint.fillWidth = static_cast<int>(paint.bar.Width() * fraction);
        paint.sourceWidth = static_cast<int>(m_pProgressOver->GetWidth() * fraction);
    }
    paint.showWait = m_bShowWait;
    for (int id : {kIdStatus, kIdWait}) {
        CRect rc;
        CRect common;
        if (GetControlRect(id, &rc) && ::IntersectRect(&common, &rc, &paint.bar))
            paint.overlapped = true;
    }
    paint.back = m_pBackImage;
    paint.track = m_pProgressBack;
    paint.over = m_pProgressOver;
    return paint;
}

bool CDlgMain::GetControlRect(int controlId, RECT* rc) const
{
    if (m_hWnd == nullptr)
        return false;
    HWND control = GetDlgItemHandle(controlId);
    if (control == nullptr)
        return false;
    ::GetWindowRect(control, rc);
    ScreenToClient(rc);
    return true;
}

void CDlgMain::InvalidateControl(int controlId)
{
    CRect rc;
    if (!GetControlRect(controlId, &rc))
        return;
    InvalidateRect(&rc, TRUE);
    UpdateWindow();
}

BOOL CDlgMain::OnEraseBkgnd(CDC* dc)
{
    // Only a paint of this window's screen says what the bar shows.
    CRect bar;
    if (::WindowFromDC(dc->GetSafeHdc()) == m_hWnd && GetControlRect(kIdProgress, &bar)) {
        CRect clip;
        CRect common;
        ::GetClipBox(dc->GetSafeHdc(), &clip);
        if (::IntersectRect(&common, &clip, &bar)) {
            m_bBarOnScreen = common == bar;
            if (m_bBarOnScreen)
                m_barOnScreen = CurrentBarPaint();
        }
    }
    if (m_pBackImage == nullptr)
        return static_cast<BOOL>(DefWindowProc(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc->GetSafeHdc()), 0));

    Common::Controls::Tools::CMemDC memDC(dc);
    {
        Gdiplus::Graphics graphics(memDC.GetSafeHdc());
        CRect client;
        GetClientRect(&client);
        graphics.DrawImage(m_pBackImage, Gdiplus::Rect(client.left, client.top, client.Width(), client.Height()));

        CRect rc;
        if (m_pProgressBack != nullptr && m_pProgressOver != nullptr && m_bShowProgress &&
            GetControlRect(kIdProgress, &rc)) {
            graphics.DrawImage(m_pProgressBack, Gdiplus::Rect(rc.left, rc.top, rc.Width(), rc.Height()));
            const double fraction = ClampFraction(m_dProgress);
            const int fillWidth = static_cast<int>(rc.Width() * fraction);
            const int sourceWidth = static_cast<int>(m_pProgressOver->GetWidth() * fraction);
            if (fillWidth > 0 && sourceWidth > 0)
                graphics.DrawImage(m_pProgressOver, Gdiplus::Rect(rc.left, rc.top, fillWidth, rc.Height()), 0, 0,
                                   sourceWidth, static_cast<int>(m_pProgressOver->GetHeight()), Gdiplus::UnitPixel);
        }
        if (m_pTextBrush != nullptr && m_pTextFont != nullptr && GetControlRect(kIdStatus, &rc)) {
            CString text;
            CWnd(GetDlgItemHandle(kIdStatus)).GetWindowText(text);
            Gdiplus::StringFormat format(0, LANG_NEUTRAL);
            format.SetLineAlignment(Gdiplus::StringAlignmentNear);
            format.SetAlignment(Gdiplus::StringAlignmentNear);
            format.SetTrimming(Gdiplus::StringTrimmingEllipsisCharacter);
            const Gdiplus::RectF layout(static_cast<Gdiplus::REAL>(rc.left), static_cast<Gdiplus::REAL>(rc.top),
                                        static_cast<Gdiplus::REAL>(rc.Width()), static_cast<Gdiplus::REAL>(rc.Height()));
            graphics.DrawString(text, text.GetLength(), m_pTextFont, layout, &format, m_pTextBrush);
        }
        if (m_pWaitImage != nullptr && m_bShowWait && GetControlRect(kIdWait, &rc))
            graphics.DrawImage(m_pWaitImage, Gdiplus::Rect(rc.left, rc.top, rc.Width(), rc.Height()));
    }
    return TRUE;
}

void CDlgMain::OnPaint()
{
    if (m_hWnd != nullptr && ::IsIconic(m_hWnd)) {
        CPaintDC dc(this);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
        CRect client;
        GetClientRect(&client);
        const int x = (client.Width() - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
        const int y = (client.Height() - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
        dc.DrawIcon(x, y, m_hIcon);
        return;
    }
    DefWindowProc(WM_PAINT, 0, 0);
}

HCURSOR CDlgMain::OnQueryDragIcon()
{
    return static_cast<HCURSOR>(m_hIcon);
}

LRESULT CDlgMain::OnCreate(WPARAM wParam, LPARAM lParam)
{
    if (DefWindowProc(WM_CREATE, wParam, lParam) == -1)
        return -1;
    ::SetWindowLongPtrW(m_hWnd, GWL_EXSTYLE, ::GetWindowLongPtrW(m_hWnd, GWL_EXSTYLE) & ~WS_EX_CLIENTEDGE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, ::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & ~WS_CAPTION);
    return 0;
}

LRESULT CDlgMain::OnClose(WPARAM, LPARAM)
{
    if (UpdateData(TRUE))
        EndDialog(IDOK);
    return 0;
}

} // namespace DlgPopup
