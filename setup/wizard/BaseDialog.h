// The base of every wizard page.
#pragma once

#include "framework/Window.h"

#include <memory>

namespace DlgPopup {

class CBanner;

enum EPageType
{
    PageLockCheck = 0,
    PageLicense = 1,
    PageDestination = 2,
    PageInstall = 3,
    PageToolbar = 4,
    PageFinish = 5,
    PageLangSelect = 6,
    PageComponents = 7,
};

// Page results of DoModal.
enum
{
    PageResultBack = 0,
    PageResultNext = 1,
    PageResultCancel = 2,
};

// Posted by pages with an edit control to drop the selection the dialog manager made.
extern const UINT WM_CLEAR_SELECTION;

// The common part of every wizard page: banner, white body, the Back / Next /
// Cancel row, the title and the skip rule.
class CBaseDialog : public CDialog
{
public:
    CBaseDialog(const wchar_t* localizePath, UINT templateId, CWnd* parent);
    ~CBaseDialog() override;

    // 1 at once when quiet or when the page is disabled; else the dialog's result.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    virtual EPageType GetPageType() const = 0;

    // Whether the page's node says it is shown; a missing node or a fault says no.
    bool IsPageEnabled() const;

    std::unique_ptr<CBanner> m_pBanner;
    CString m_strLocalizePath;
    CBrush m_brBackground;
    bool m_bFirstPage = false;

    void OnBack();
    HBRUSH OnCtlColor(CDC* dc, CWnd* control, UINT kind);
    BOOL OnEraseBkgnd(CDC* dc);

protected:
    // Sends the selection reset to the edit control 'editId' (pages with an edit call it
    // from their WM_CLEAR_SELECTION handler).
    void ClearSelection(int editId);

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
