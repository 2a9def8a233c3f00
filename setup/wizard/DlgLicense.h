// The licence page.
#pragma once

#include "setup/wizard/BaseDialog.h"

namespace DlgPopup {

// The licence text from the file that the page's "LicenseFile" names beside
// setup, and the accept box that Next waits for.
class CDlgLicense : public CBaseDialog
{
public:
    // 'hasBack': a language page was built, so Back leads somewhere.
    CDlgLicense(bool hasBack, CWnd* parent);

    EPageType GetPageType() const override { return PageLicense; }
    BOOL OnInitDialog() override;
    void OnOK() override;
    void DoDataExchange(CDataExchange* pDX) override;

    // The text of a licence file: UTF-8 with its byte-order mark, or ANSI, each up
    // to its first NUL. Empty for a file that cannot be read, a file under four
    // bytes, bad UTF-8, and UTF-16 (traced as not supported).
    static CString LoadLicenseText(const wchar_t* path);

    void OnAccept();
    LRESULT OnClearSelection(WPARAM, LPARAM);

    int m_bAccepted = 0;
    CFont m_fntCaption;
    bool m_bHasBack;

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
