// The applications-to-close page.
#include "setup/wizard/DlgLockCheck.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "common/win32/Wow64.h"
#include "framework/Gdi.h"
#include "setup/engine/ChildProgram.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/res/resource.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace DlgPopup {

namespace {

using Common::Config::kDlgLockCheckPath;
const UINT kLockscoutResource = 137;
const DWORD kServiceStopTimeoutMs = 20000;
const DWORD kMinServicePollMs = 100;
const wchar_t kRule[] = L"-------------------------------------------------------------";

// A service control handle, closed on every path.
using CServiceHandle = Common::Tools::CUniqueHandle<SC_HANDLE, &::CloseServiceHandle>;

std::wstring FileNameOf(const std::wstring& path)
{
    return ::PathFindFileNameW(path.c_str());
}

// The system's text for the error; empty when it has none.
CString FormatLastError(DWORD error)
{
    Common::Tools::CLocalMemory<wchar_t*> buffer;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, error, 0, reinterpret_cast<wchar_t*>(buffer.Receive()), 0, nullptr);
    CString text;
    if (length != 0 && buffer.IsValid())
        text = buffer.Get();
    return text;
}

// True when the process still runs the listed executable: the list may come from
// another process, and an identifier may have passed to another program since.
bool IsImageOf(HANDLE process, const std::wstring& listedPath)
{
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process, 0, image, &size))
        return false;
    // Both in the form the process finder lists them in.
    const std::wstring running = LongPathName(image).Str();
    const std::wstring listed = LongPathName(listedPath.c_str()).Str();
    const Common::Win32::NoCaseLess less;
    return !less(running, listed) && !less(listed, running);
}

SERVICE_STATUS_PROCESS QueryStatus(SC_HANDLE service, bool* ok)
{
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    *ok = ::QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof(status),
                                 &needed) != FALSE;
    return status;
}

// Stops the service and waits for it; false when it cannot be stopped in time.
bool StopService(const std::wstring& name)
{
    CServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (manager.Get() == nullptr)
        return false;
    CServiceHandle service(::OpenServiceW(manager.Get(), name.c_str(), SERVICE_ALL_ACCESS));
    if (service.Get() == nullptr)
        return false;
    bool ok = false;
    SERVICE_STATUS_PROCESS status = QueryStatus(service.Get(), &ok);
    if (!ok)
        return false;
    if (status.dwCurrentState == SERVICE_STOPPED)
        return true;
    SERVICE_STATUS control = {};
    ::ControlService(service.Get(), SERVICE_CONTROL_STOP, &control);
    const DWORD start = ::GetTickCount();
    while (status.dwCurrentState != SERVICE_STOPPED) {
        // A huge hint would hold the page far beyond the time allowed, a zero one
        // would spin.
        DWORD pause = status.dwWaitHint < kServiceStopTimeoutMs ? status.dwWaitHint : kServiceStopTimeoutMs;
        ::Sleep(pause < kMinServicePollMs ? kMinServicePollMs : pause);
        status = QueryStatus(service.Get(), &ok);
        if (!ok || ::GetTickCount() - start >= kServiceStopTimeoutMs)
            return status.dwCurrentState == SERVICE_STOPPED && ok;
    }
    return true;
}

} // namespace

BEGIN_MESSAGE_MAP(CDlgLockCheck, CBaseDialog)
    ON_BN_CLICKED(IDC_LOCK_RETRY, OnRetry)
    ON_BN_CLICKED(IDC_LOCK_IGNORE, OnIgnore)
END_MESSAGE_MAP()

CDlgLockCheck::CDlgLockCheck(const Common::Win32::WatchSet* watchList, const SilentKillMap& silentKill, CWnd* parent)
    : CBaseDialog(kDlgLockCheckPath, IDD_LOCKCHECK, parent), m_pWatchList(watchList), m_SilentKill(silentKill)
{
    // A 32-bit setup cannot see the modules of 64-bit programs: lockscout looks
    // for them and answers the finder over its pipe.
    if (Common::Win32::IsWow64()) {
        try {
            const CString path = ExtractExecutable(L"lockscout.exe", kLockscoutResource, m_TempFiles);
            RunProcess(m_hLockscout.Receive(), nullptr, path, false);
            // The finder takes answers from this process only.
            m_ProcessInfo.SetServer(::GetProcessId(m_hLockscout.Get()));
        } catch (const _com_error&) {
            SetupTrace(L"Failed to run lockscout");
        }
    }
}

CDlgLockCheck::~CDlgLockCheck()
{
    if (m_hLockscout.IsValid()) {
        DWORD code = 0;
        if (Common::Win32::IsWow64() && ::GetExitCodeProcess(m_hLockscout.Get(), &code) && code == STILL_ACTIVE) {
            const bool ended = ::TerminateProcess(m_hLockscout.Get(), 0) != FALSE;
            const DWORD error = ::GetLastError();
            // The extracted file can only go once the program has really ended.
            if (ended)
                ::WaitForSingleObject(m_hLockscout.Get(), 5000);
            SetupTrace(L"Lockscout is forcibly terminated: %s (%s)", ended ? L"OK" : L"FAILED",
                       FormatLastError(error).GetString());
        }
        m_hLockscout.Reset();
    }
}

void CDlgLockCheck::DoDataExchange(CDataExchange* pDX)
{
    CBaseDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LOCK_LIST, m_List);
}

INT_PTR CDlgLockCheck::DoModal()
{
    if (m_pWatchList != nullptr)
        m_ProcessInfo.SetWatchList(*m_pWatchList);
    RefreshProcesses();
    if (SelectProcesses()) {
        SetupTrace(L"Need to close %d applications", static_cast<int>(m_ProcessInfo.size()));
        return CBaseDialog::DoModal();
    }
    KillSilent();
    return PageResultNext;
}

BOOL CDlgLockCheck::OnInitDialog()
{
    CBaseDialog::OnInitDialog();

    CString text;
    try {
        Common::Config::LocalizeItems items;
        items.emplace(L"Cancel", Common::Config::CLocalizeItem(true, IDCANCEL));
        items.emplace(L"btnRetry", Common::Config::CLocalizeItem(IDC_LOCK_RETRY));
        items.emplace(L"btnIgnore", Common::Config::CLocalizeItem(IDC_LOCK_IGNORE));
        items.emplace(L"stcCloseApp", Common::Config::CLocalizeItem(&text));
        Common::Config::LocalizeControls(items, m_strLocalizePath, m_hWnd);
    } catch (const _com_error&) {
        // The template's texts stay; the list still works.
    }
    ExpandNewLines(text);
    SetDlgItemText(IDC_LOCK_TEXT, text);

    LoadColumns();
    FillList();
    return TRUE;
}

void CDlgLockCheck::LoadColumns()
{
    m_List.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    // The system's own small icons; the list shares them and never destroys them.
    Common::Tools::CTaskMemory<LPITEMIDLIST> desktop;
    if (SUCCEEDED(::SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, desktop.Receive())) && desktop.IsValid()) {
        SHFILEINFOW info = {};
        const HIMAGELIST icons = reinterpret_cast<HIMAGELIST>(
            ::SHGetFileInfoW(reinterpret_cast<LPCWSTR>(desktop.Get()), 0, &info, sizeof(info),
                             SHGFI_SYSICONINDEX | SHGFI_PIDL | SHGFI_SMALLICON));
        if (icons != nullptr)
            m_List.SendMessage(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(icons));
    }

    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLNodeList columns;
        settings->SelectNodes(_bstr_t((m_strLocalizePath + L"/Columns/*").GetString()), columns);
        int position = 0;
        for (auto column = columns.Begin(); column != columns.End(); ++column) {
            if (!column.IsElement())
                continue;
            const Common::Config::CXMLElement element = *column;
            const int width = static_cast<int>(GetNodeLong(element, L"Width", 100));
            const CString caption = GetRawAttribute(element, L"Caption", L"");
            m_List.InsertColumn(position++, caption, LVCFMT_LEFT, width);
        }
    } catch (const _com_error&) {
        SetupTrace(L"CDlgLockCheck: Can't load columns");
        EndDialog(PageResultNext);
    }
}

void CDlgLockCheck::RefreshProcesses()
{
    m_ProcessInfo.Refresh();
    // Setup itself may load a watched module: asking the user to close setup, or
    // ending it as a silent-kill program, would only stop the installation.
    const DWORD self = ::GetCurrentProcessId();
    for (size_t i = 0; i < m_ProcessInfo.size();) {
        if (m_ProcessInfo[i].dwPid == self) {
            SetupTrace(L"Setup itself uses a watched file: '%s'", m_ProcessInfo[i].strPath.c_str());
            m_ProcessInfo.erase(m_ProcessInfo.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }
}

bool CDlgLockCheck::IsSilentKill(const std::wstring& path) const
{
    return m_SilentKill.count(FileNameOf(path)) != 0;
}

bool CDlgLockCheck::SelectProcesses()
{
    m_SilentIndexes.clear();
    bool show = false;
    for (size_t i = 0; i < m_ProcessInfo.size(); ++i) {
        const std::wstring& path = m_ProcessInfo[i].strPath;
        if (IsSilentKill(path)) {
            SetupTrace(L"Process '%s' is not shown in list", path.c_str());
            m_SilentIndexes.push_back(static_cast<int>(i));
        } else {
            show = true;
        }
    }
    return show;
}

void CDlgLockCheck::FillList()
{
    m_List.DeleteAllItems();
    SetupTrace(L"%s", kRule);
    SetupTrace(L"There are %d applications that must be closed before installations continues:",
               static_cast<int>(m_ProcessInfo.size()));
    int row = 0;
    for (size_t i = 0; i < m_ProcessInfo.size(); ++i) {
        const Common::Win32::ProcInfo& process = m_ProcessInfo[i];
        if (IsSilentKill(process.strPath)) {
            SetupTrace(L"Skip process: %s", process.strPath.c_str());
            continue;
        }
        SHFILEINFOW info = {};
        int icon = -1;
        if (::SHGetFileInfoW(process.strPath.c_str(), 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON) != 0)
            icon = info.iIcon;

        CString caption;
        Common::Win32::CProcessInfo::FindWindowData find = {nullptr, process.dwPid};
        ::EnumDesktopWindows(nullptr, &Common::Win32::CProcessInfo::FindVisibleWindowProc,
                             reinterpret_cast<LPARAM>(&find));
        if (find.hWnd != nullptr) {
            wchar_t text[MAX_PATH + 1] = {};
            ::GetWindowTextW(find.hWnd, text, MAX_PATH);
            caption = text;
        }
        const std::wstring fileName = FileNameOf(process.strPath);
        if (caption.IsEmpty() || ::lstrcmpiW(fileName.c_str(), L"explorer.exe") == 0) {
            try {
                caption = GetFileVersionString(process.strPath.c_str(), L"FileDescription");
            } catch (const _com_error&) {
                caption.Empty();
            }
        }
        const int item = m_List.InsertItem(row++, caption.IsEmpty() ? process.strPath.c_str() : caption.GetString(), icon);
        m_List.SetItemText(item, 1, fileName.c_str());
        SetupTrace(L"%d: Caption: '%s', path: '%s'", static_cast<int>(i + 1), caption.GetString(),
                   process.strPath.c_str());
    }
    SetupTrace(L"%s", kRule);
}

void CDlgLockCheck::OnRetry()
{
    CWaitCursor wait;
    RefreshProcesses();
    if (SelectProcesses()) {
        FillList();
    } else {
        KillSilent();
        EndDialog(PageResultNext);
    }
}

void CDlgLockCheck::OnIgnore()
{
    SetupTrace(L"User ignores message about applications that must be closed.");
    EndDialog(PageResultNext);
}

void CDlgLockCheck::KillSilent()
{
    for (int index : m_SilentIndexes) {
        if (index < 0 || static_cast<size_t>(index) >= m_ProcessInfo.size())
            continue;
        const Common::Win32::ProcInfo& process = m_ProcessInfo[index];
        // Held from the check to the end: the identifier cannot pass to another
        // program in between.
        Common::Tools::CScopedHandle handle(
            ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.dwPid));
        if (!handle.IsValid()) {
            SetupTrace(L"Terminate process: '%s', failed", process.strPath.c_str());
            continue;
        }
        if (!IsImageOf(handle.Get(), process.strPath)) {
            SetupTrace(L"Process %u is no longer '%s': left running", static_cast<unsigned>(process.dwPid),
                       process.strPath.c_str());
            continue;
        }
        auto entry = m_SilentKill.find(FileNameOf(process.strPath));
        const std::wstring service = entry != m_SilentKill.end() ? entry->second : std::wstring();
        if (!service.empty()) {
            if (StopService(service)) {
                SetupTrace(L"Service stopped: %s", service.c_str());
                continue;
            }
            SetupTrace(L"Failed to stop service: %s", service.c_str());
        }
        const bool ended = ::TerminateProcess(handle.Get(), 0) != FALSE;
        SetupTrace(L"Terminate process: '%s', %s", process.strPath.c_str(), ended ? L"successful" : L"failed");
    }
}

} // namespace DlgPopup
