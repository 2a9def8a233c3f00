// The base of every wizard page.
#include "setup/wizard/BaseDialog.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/wizard/Banner.h"

namespace DlgPopup {

namespace {

const int kBannerId = 1013;
const int kBodyId = 1015;
const int kBackId = 3;

} // namespace

const UINT WM_CLEAR_SELECTION = ::RegisterWindowMessageW(L"WM_CLEAR_SELECTION");

BEGIN_MESSAGE_MAP(CBaseDialog, CDialog)
    ON_BN_CLICKED(kBackId, OnBack)
    ON_WM_CTLCOLOR()
    ON_WM_ERASEBKGND()
END_MESSAGE_MAP()

CBaseDialog::CBaseDialog(const wchar_t* localizePath, UINT templateId, CWnd* parent)
    : CDialog(templateId, parent), m_strLocalizePath(localizePath), m_brBackground(RGB(255, 255, 255))
{
}

CBaseDialog::~CBaseDialog() = default;

bool CBaseDialog::IsPageEnabled() const
{
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings == nullptr)
            return false;
        Common::Config::CXMLElement page;
        settings->GetElement(_bstr_t(m_strLocalizePath.GetString()), page);
        _variant_t enable = page.GetAttribute(L"Enable", _variant_t(true));
        if (V_VT(&enable) != VT_BOOL)
            enable.ChangeType(VT_BOOL);
        return V_BOOL(&enable) != VARIANT_FALSE;
    } catch (const _com_error&) {
        return false;
    }
}

INT_PTR CBaseDialog::DoModal()
{
    if (g_CmdLine.m_bQuiet || !IsPageEnabled())
        return PageResultNext;
    return CDialog::DoModal();
}

BOOL CBaseDialog::OnInitDialog()
{
    CDialog::OnInitDialog();

    // Each showing gets a fresh banner; the one of an earlier showing lost its window.
    m_pBanner = std::make_unique<CBanner>();
    CWnd placeholder(GetDlgItemHandle(kBannerId));
    if (placeholder.m_hWnd != nullptr)
        m_pBanner->Create(&placeholder, m_strLocalizePath);

    try {
        Common::Config::LocalizeItems items;
        items.emplace(L"btnNext", Common::Config::CLocalizeItem(true, IDOK));
        items.emplace(L"btnBack", Common::Config::CLocalizeItem(true, kBackId));
        items.emplace(L"Cancel", Common::Config::CLocalizeItem(true, IDCANCEL));
        Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

        CString title;
        if (Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings())
            title = static_cast<const wchar_t*>(
                _bstr_t(settings->GetValue(L"Caption", Common::Config::kLocalizePath, _variant_t(L""))));
        SetWindowText(title);
    } catch (const _com_error&) {
        // An unreadable document leaves the template's texts; the page still works.
    }

    if (HWND back = GetDlgItemHandle(kBackId))
        ::ShowWindow(back, m_bFirstPage ? SW_HIDE : SW_SHOW);
    return TRUE;
}

void CBaseDialog::OnOK()
{
    UpdateData(TRUE);
    EndDialog(PageResultNext);
}

void CBaseDialog::OnBack()
{
    // The first page has nowhere to go back to: a stray Back command (the button is
    // only hidden) must not leave it.
    if (m_bFirstPage)
        return;
    UpdateData(TRUE);
    EndDialog(PageResultBack);
}

void CBaseDialog::OnCancel()
{
    if (ShowMessageById(m_hWnd, L"CancelInstall", MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    SetupTrace(L"User interrupts installation process.");
    EndDialog(PageResultCancel);
}

HBRUSH CBaseDialog::OnCtlColor(CDC* dc, CWnd* control, UINT kind)
{
    if (kind == CTLCOLOR_STATIC || kind == CTLCOLOR_EDIT)
        return m_brBackground;
    return reinterpret_cast<HBRUSH>(DefWindowProc(WM_CTLCOLORMSGBOX + kind, reinterpret_cast<WPARAM>(dc->GetSafeHdc()),
                                                  reinterpret_cast<LPARAM>(control->m_hWnd)));
}

BOOL CBaseDialog::OnEraseBkgnd(CDC* dc)
{
    DefWindowProc(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc->GetSafeHdc()), 0);
    if (HWND body = GetDlgItemHandle(kBodyId)) {
        CRect area;
        ::GetWindowRect(body, &area);
        ScreenToClient(&area);
        dc->FillRect(&area, &m_brBackground);
    }
    return TRUE;
}

void CBaseDialog::ClearSelection(int editId)
{
    if (HWND edit = GetDlgItemHandle(editId)) {
        ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), -1);
        ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
    }
}

} // namespace DlgPopup
