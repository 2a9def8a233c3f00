// The applications-to-close page.
#pragma once

#include "common/tools/ScopedHandle.h"
#include "common/tools/TempFiles.h"
#include "common/win32/ProcessInfo.h"
#include "framework/Controls.h"
#include "setup/wizard/BaseDialog.h"

#include <map>
#include <string>
#include <vector>

namespace DlgPopup {

// Program file name -> service to stop first (empty: none); names compare without case.
typedef std::map<std::wstring, std::wstring, Common::Win32::NoCaseLess> SilentKillMap;

// Lists the running programs that use any of the watched files so that the user
// can close them (Retry), go on regardless (Ignore) or stop setup (Cancel). The
// silent-kill programs are closed without asking once nothing else is left.
class CDlgLockCheck : public CBaseDialog
{
public:
    // 'watchList' is the caller's and must outlive the page.
    CDlgLockCheck(const Common::Win32::WatchSet* watchList, const SilentKillMap& silentKill, CWnd* parent);
    ~CDlgLockCheck() override;

    void DoDataExchange(CDataExchange* pDX) override;
    // 1 at once when nothing has to be shown; else the page's result.
    INT_PTR DoModal() override;
    BOOL OnInitDialog() override;
    EPageType GetPageType() const override { return PageLockCheck; }

    void OnRetry();
    void OnIgnore();

    // The finder's Refresh, without setup's own process.
    void RefreshProcesses();
    // True when a process must be shown; fills the silent-kill indexes.
    bool SelectProcesses();
    bool IsSilentKill(const std::wstring& path) const;
    void LoadColumns();
    void FillList();
    void KillSilent();

    CListCtrl m_List;
    const Common::Win32::WatchSet* m_pWatchList;
    SilentKillMap m_SilentKill;
    Common::Win32::CProcessInfo m_ProcessInfo;
    std::vector<int> m_SilentIndexes;
    Common::Tools::CScopedHandle m_hLockscout;
    Common::Tools::CTempFiles m_TempFiles;

    DECLARE_MESSAGE_MAP()
};

} // namespace DlgPopup
