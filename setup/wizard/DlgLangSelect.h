// The language page.
#pragma once

#include "framework/Controls.h"
#include "setup/wizard/BaseDialog.h"

class CMultiLang;

namespace DlgPopup {

// The product's language: up to five radio buttons, or four, an other-languages
// button and a drop-down list for the rest. Each click writes the choice straight
// into the install manager's language list.
class CDlgLangSelect : public CBaseDialog
{
public:
    // The language list is borrowed and must outlive the page.
    CDlgLangSelect(CMultiLang* languages, CWnd* parent);

    EPageType GetPageType() const override { return PageLangSelect; }
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    void OnLanguage(int index);
    void OnOtherLanguage();

    CString m_strOtherLang;
    CMultiLang* m_pMultiLang;
    CComboBox m_cbLanguages;

private:
    // More languages than radio buttons: the fifth button opens the list.
    bool HasManyLanguages() const;
    void OnLanguage0() { OnLanguage(0); }
    void OnLanguage1() { OnLanguage(1); }
    void OnLanguage2() { OnLanguage(2); }
    void OnLanguage3() { OnLanguage(3); }

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
