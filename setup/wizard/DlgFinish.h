// The finish page.
#pragma once

#include "setup/wizard/BaseDialog.h"

namespace DlgPopup {

// Closes every install and uninstall run; when a restart is due it lets the user
// choose between restarting now and later. Only its Finish button ends it.
class CDlgFinish : public CBaseDialog
{
public:
    explicit CDlgFinish(CWnd* parent);

    EPageType GetPageType() const override { return PageFinish; }
    BOOL OnInitDialog() override;
    void OnOK() override;
    // Esc and the close box leave the page open.
    void OnCancel() override {}

    // Set by the engine before DoModal.
    bool m_bRestartNeeded = false;
    bool m_bInstall = true;
    // In: the engine's decision; out: the user's choice (kept when the page is
    // not shown).
    bool m_bRestartNow = false;
};

} // namespace DlgPopup
