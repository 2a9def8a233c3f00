// The finish page.
#include "setup/wizard/DlgFinish.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/res/resource.h"

namespace DlgPopup {

CDlgFinish::CDlgFinish(CWnd* parent) : CBaseDialog(Common::Config::kDlgFinishPath, IDD_FINISH, parent)
{
}

BOOL CDlgFinish::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    CString done;
    CString restart;
    Common::Config::LocalizeItems items;
    items.emplace(L"btnFinish", Common::Config::CLocalizeItem(true, IDOK));
    items.emplace(L"stcGroupBox", Common::Config::CLocalizeItem(IDC_FINISH_GROUP));
    items.emplace(L"radioRestart", Common::Config::CLocalizeItem(IDC_FINISH_RESTART));
    items.emplace(L"radioNoRestart", Common::Config::CLocalizeItem(IDC_FINISH_NORESTART));
    items.emplace(m_bInstall ? L"stcFinishInstall" : L"stcFinishUninstall", Common::Config::CLocalizeItem(&done));
    items.emplace(L"stcRestart", Common::Config::CLocalizeItem(&restart));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    if (m_bRestartNow)
        ExpandNewLines(restart);
    else
        restart.Empty();
    SetDlgItemText(IDC_FINISH_RESTART_TEXT, restart);
    ExpandNewLines(done);
    SetDlgItemText(IDC_FINISH_TEXT, done);

    if (m_bRestartNeeded) {
        ::CheckDlgButton(m_hWnd, IDC_FINISH_RESTART, BST_CHECKED);
    } else {
        for (int id : {IDC_FINISH_GROUP, IDC_FINISH_RESTART_TEXT, IDC_FINISH_RESTART, IDC_FINISH_NORESTART}) {
            if (HWND control = GetDlgItemHandle(id))
                ::ShowWindow(control, SW_HIDE);
        }
    }
    return TRUE;
}

void CDlgFinish::OnOK()
{
    if (HWND restart = GetDlgItemHandle(IDC_FINISH_RESTART))
        m_bRestartNow = ::SendMessageW(restart, BM_GETCHECK, 0, 0) == BST_CHECKED;
    CBaseDialog::OnOK();
}

} // namespace DlgPopup
