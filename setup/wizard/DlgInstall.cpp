// The install page.
#include "setup/wizard/DlgInstall.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/res/resource.h"

namespace DlgPopup {

CDlgInstall::CDlgInstall(CWnd* parent) : CBaseDialog(Common::Config::kDlgInstallPath, IDD_INSTALL, parent)
{
}

BOOL CDlgInstall::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    CString text;
    Common::Config::LocalizeItems items;
    items.emplace(L"stcInstall", Common::Config::CLocalizeItem(&text));
    // Replaces the base's "btnNext" caption of the same button.
    items.emplace(L"btnInstall", Common::Config::CLocalizeItem(true, IDOK));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    ExpandNewLines(text);
    SetDlgItemText(IDC_INSTALL_TEXT, text);
    return TRUE;
}

} // namespace DlgPopup
