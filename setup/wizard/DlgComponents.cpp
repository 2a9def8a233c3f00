// The components page.
#include "setup/wizard/DlgComponents.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "setup/res/resource.h"

#include <commctrl.h>

namespace DlgPopup {

CDlgComponents::CDlgComponents(CWnd* parent, CSetupOptions* options)
    : CBaseDialog(Common::Config::kDlgComponentsPath, IDD_COMPONENTS, parent), m_DataProv(options)
{
    // The template's tree view needs its window class before the page is made.
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings != nullptr) {
            Common::Config::CXMLElement optionsTree;
            settings->GetElement(_bstr_t(m_strLocalizePath.GetString()) + L"/OptionsTree", optionsTree);
            BuildComponentsProvider(m_DataProv, optionsTree);
        }
    } catch (const _com_error&) {
        // No components in the document: the page shows an empty tree.
    }
    m_Tree.m_pDataProv = &m_DataProv;
}

void CDlgComponents::DoDataExchange(CDataExchange* pDX)
{
    CBaseDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_COMPONENTS_TREE, m_Tree);
}

BOOL CDlgComponents::OnInitDialog()
{
    CBaseDialog::OnInitDialog();
    m_Tree.Populate();

    Common::Config::LocalizeItems items;
    items.emplace(L"stcComponents", Common::Config::CLocalizeItem(IDC_COMPONENTS_LABEL));
    Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);

    m_Tree.RefreshAll();
    return TRUE;
}

} // namespace DlgPopup
