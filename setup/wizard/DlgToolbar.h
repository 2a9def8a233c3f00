// The toolbar page.
#pragma once

#include "setup/wizard/BaseDialog.h"

class CSetupOptions;

namespace DlgPopup {

// Offers the optional extra as a check box; Next records the answer as the
// condition "custom" for the install scripts.
class CDlgToolbar : public CBaseDialog
{
public:
    // The condition store is borrowed and must outlive the page.
    CDlgToolbar(CSetupOptions* options, CWnd* parent);

    EPageType GetPageType() const override { return PageToolbar; }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    int m_bInstallToolbar = 1; // the box starts ticked
    CSetupOptions* m_pOptions;
};

} // namespace DlgPopup
