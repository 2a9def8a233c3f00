// The destination page.
#pragma once

#include "framework/Controls.h"
#include "setup/wizard/BaseDialog.h"
#include "setup/wizard/FolderPage.h"

namespace DlgPopup {

// The installation folder, with the space the product needs and the space free
// on the folder's drive. The page takes any text; the engine checks it after Next.
class CDlgDestination : public CBaseDialog, public IFolderPage
{
public:
    CDlgDestination(const CString& folder, CWnd* parent);

    EPageType GetPageType() const override { return PageDestination; }
    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* pDX) override;
    CString GetFolderText() const override { return m_strFolder; }

    // The caption used as a format of one text argument. Only "%s" (with flags,
    // width and precision) and "%%" are taken as conversions; a caption with any
    // other conversion, or with more than one, is shown as written.
    static CString FormatCaption(const CString& caption, const CString& argument);

    void UpdateSpace();
    void OnFolderChange();
    void OnBrowse();
    LRESULT OnClearSelection(WPARAM, LPARAM);

    CEdit m_edFolder;
    CString m_strFolder;
    CString m_strFreeSpaceFormat;
    CString m_strRequiredSpace;
    CString m_strProductName;

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
