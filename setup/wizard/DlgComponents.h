// The components page.
#pragma once

#include "setup/wizard/BaseDialog.h"
#include "setup/wizard/ComponentsDataProv.h"
#include "setup/wizard/TriStateCheckTree.h"

class CSetupOptions;

namespace DlgPopup {

// The optional components as a tree of three-state boxes. The model is built
// with the page, and its items write their states into the condition store
// themselves, so the page has nothing to do at Next.
class CDlgComponents : public CBaseDialog
{
public:
    // The condition store is borrowed and must outlive the page.
    CDlgComponents(CWnd* parent, CSetupOptions* options);

    EPageType GetPageType() const override { return PageComponents; }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    CTriStateCheckTree m_Tree;
    CComponentsDataProv m_DataProv;
};

} // namespace DlgPopup
