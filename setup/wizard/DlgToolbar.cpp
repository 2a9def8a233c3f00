// The toolbar page.
#include "setup/wizard/DlgToolbar.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "setup/engine/SetupOptions.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/res/resource.h"

namespace DlgPopup {

CDlgToolbar::CDlgToolbar(CSetupOptions* options, CWnd* parent)
    : CBaseDialog(Common::Config::kDlgToolbarPath, IDD_TOOLBAR, parent), m_pOptions(options)
{
}

void CDlgToolbar::DoDataExchange(CDataExchange* pDX)
{
    CBaseDialog::DoDataExchange(pDX);
    DDX_Check(pDX, IDC_TOOLBAR_CHECK, m_bInstallToolbar);
}

BOOL CDlgToolbar::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    CString text;
    Common::Config::LocalizeItems items;
    items.emplace(L"ChkToolbar", Common::Config::CLocalizeItem(IDC_TOOLBAR_CHECK));
    items.emplace(L"stcToolbar", Common::Config::CLocalizeItem(&text));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    ExpandNewLines(text);
    SetDlgItemText(IDC_TOOLBAR_TEXT, text);
    return TRUE;
}

void CDlgToolbar::OnOK()
{
    CBaseDialog::OnOK();
    // Only Next answers: Back and Cancel, and a page that was never shown, leave the
    // condition as it was.
    if (m_pOptions != nullptr)
        m_pOptions->SetCondition(L"custom", m_bInstallToolbar != 0);
}

} // namespace DlgPopup
