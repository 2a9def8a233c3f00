// The header strip of a wizard page.
#include "setup/wizard/Banner.h"

#include "common/config/GraphRes.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"

#include <algorithm>
using std::max;
using std::min;
#include <gdiplus.h>
#include <shellapi.h>
#include <shlwapi.h>

namespace DlgPopup {

namespace {

const wchar_t kBannerClass[] = L"SetupPageBanner";

// No class cursor: the hand is set on every WM_SETCURSOR. No brush: the picture
// is drawn in WM_ERASEBKGND.
const wchar_t* BannerClass()
{
    static const wchar_t* const name = Framework::RegisterPlainWindowClass(kBannerClass);
    return name;
}

} // namespace

BEGIN_MESSAGE_MAP(CBanner, CWnd)
    ON_WM_ERASEBKGND()
    ON_MESSAGE(WM_LBUTTONUP, OnLButtonUp)
    ON_MESSAGE(WM_SETCURSOR, OnSetCursor)
END_MESSAGE_MAP()

CBanner::~CBanner() = default;

bool CBanner::IsOpenableLink(const wchar_t* link)
{
    // The shell's URL test alone also passes "file:", "mailto:" and script schemes.
    if (link == nullptr || ::PathIsURLW(link) == FALSE)
        return false;
    return ::StrCmpNIW(link, L"http://", 7) == 0 || ::StrCmpNIW(link, L"https://", 8) == 0;
}

bool CBanner::Create(CWnd* parent, const wchar_t* pagePath)
{
    const wchar_t* className = BannerClass();
    if (parent == nullptr || className == nullptr ||
        !CreateEx(0, className, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent->m_hWnd, nullptr))
        return false;
    CRect area;
    parent->GetClientRect(&area);
    MoveWindow(area.left, area.top, area.Width(), area.Height(), TRUE);
    try {
        auto& config = Common::Config::GetSetupConfig();
        Common::Config::IXMLSettings* settings = config.GetSettings();
        if (settings == nullptr)
            return false;
        Common::Config::CXMLElement header;
        settings->GetElement(_bstr_t(pagePath) + L"/Header", header);
        if (Common::Config::IGraphRes* res = config.GetGraphRes()) {
            _variant_t id = header.GetAttribute(L"Image", _variant_t(-1L));
            id.ChangeType(VT_I4);
            m_pImage = res->GetImage(V_I4(&id));
        }
        m_strLink = static_cast<const wchar_t*>(_bstr_t(header.GetAttribute(L"url", _variant_t(L""))));
    } catch (const _com_error&) {
        return false;
    }
    return true;
}

BOOL CBanner::OnEraseBkgnd(CDC* dc)
{
    if (m_pImage == nullptr)
        return TRUE;
    Gdiplus::Graphics graphics(dc->GetSafeHdc());
    CRect client;
    GetClientRect(&client);
    const unsigned dx = static_cast<unsigned>(::GetDeviceCaps(*dc, LOGPIXELSX));
    const unsigned dy = static_cast<unsigned>(::GetDeviceCaps(*dc, LOGPIXELSY));
    graphics.DrawImage(m_pImage, client.left, client.top, static_cast<INT>(ScaleForDpi(m_pImage->GetWidth(), dx)),
                       static_cast<INT>(ScaleForDpi(m_pImage->GetHeight(), dy)));
    return TRUE;
}

LRESULT CBanner::OnLButtonUp(WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = DefWindowProc(WM_LBUTTONUP, wParam, lParam);
    CWaitCursor wait;
    if (IsOpenableLink(m_strLink))
        ::ShellExecuteW(nullptr, L"open", m_strLink, nullptr, nullptr, SW_SHOW);
    return result;
}

LRESULT CBanner::OnSetCursor(WPARAM wParam, LPARAM lParam)
{
    if (HCURSOR hand = ::LoadCursorW(nullptr, IDC_HAND)) {
        ::SetCursor(hand);
        return TRUE;
    }
    return DefWindowProc(WM_SETCURSOR, wParam, lParam);
}

} // namespace DlgPopup
