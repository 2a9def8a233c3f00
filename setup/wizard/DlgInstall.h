// The install page.
#pragma once

#include "setup/wizard/BaseDialog.h"

namespace DlgPopup {

// The last page before copying starts: a text and a Next button captioned for
// installing.
class CDlgInstall : public CBaseDialog
{
public:
    explicit CDlgInstall(CWnd* parent);

    EPageType GetPageType() const override { return PageInstall; }
    BOOL OnInitDialog() override;
};

} // namespace DlgPopup
