// The install manager: start, checks, wizard pages and the restart.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/RegKey.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "common/win32/Privilege.h"
#include "common/win32/Wow64.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/InstallAbort.h"
#include "setup/engine/UninstallKeys.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/wizard/BaseDialog.h"
#include "setup/wizard/DlgComponents.h"
#include "setup/wizard/DlgDestination.h"
#include "setup/wizard/DlgFinish.h"
#include "setup/wizard/DlgInstall.h"
#include "setup/wizard/DlgLangSelect.h"
#include "setup/wizard/DlgLicense.h"
#include "setup/wizard/DlgToolbar.h"
#include "setup/wizard/FolderPage.h"
#include "setup/wizard/MainWindow.h"

#include <shlwapi.h>

#include <cmath>
#include <limits>

namespace {

bool IsAdministrator()
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    Common::Tools::CAllocatedSid administrators;
    if (!::AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0,
                                    0, 0, 0, administrators.Receive()))
        return false;
    BOOL member = FALSE;
    if (!::CheckTokenMembership(nullptr, administrators.Get(), &member))
        member = FALSE;
    return member != FALSE;
}

LONGLONG ClampedBytes(double megabytes)
{
    const double bytes = megabytes * 1048576.0;
    if (std::isnan(bytes) || bytes <= 0.0)
        return 0;
    if (bytes >= 9.2233720368547758e18)
        return std::numeric_limits<LONGLONG>::max();
    return static_cast<LONGLONG>(bytes);
}

} // namespace

CInstallManager::CInstallManager()
{
    m_Seams.isAdmin = &IsAdministrator;
    m_Seams.freeSpace = [](const wchar_t* path) { return GetFreeDiskSpace(path); };
    m_Seams.exitWindows = [](UINT flags, DWORD reason) { return ::ExitWindowsEx(flags, reason); };
}

CInstallManager::~CInstallManager()
{
    m_Dialogs.clear();
    if (m_pDlgMain != nullptr) {
        if (AfxGetApp() != nullptr && AfxGetApp()->m_pMainWnd == m_pDlgMain.get())
            AfxGetApp()->m_pMainWnd = nullptr;
        if (m_pDlgMain->m_hWnd != nullptr)
            m_pDlgMain->DestroyWindow();
        m_pDlgMain.reset();
    }
}

HWND CInstallManager::MainWindowHandle() const
{
    return m_pDlgMain != nullptr ? m_pDlgMain->m_hWnd : nullptr;
}

bool CInstallManager::Init()
{
    auto main = std::make_unique<DlgPopup::CDlgMain>();
    if (m_pDlgMain != nullptr && m_pDlgMain->m_hWnd != nullptr)
        m_pDlgMain->DestroyWindow();
    m_pDlgMain = std::move(main);
    // The taskbar progress and every message box find the main window through
    // the application.
    if (AfxGetApp() != nullptr)
        AfxGetApp()->m_pMainWnd = m_pDlgMain.get();

    try {
        m_pSettings = Common::Config::GetSetupConfig().GetSettings();
        if (m_pSettings != nullptr)
            InitMacros();
        if (m_pSettings == nullptr) {
            // A multilingual package: the document of the chosen language.
            IStreamPtr languages =
                Common::Config::GetSetupConfig().GetPackage().OpenStream(L"\\multilang.xml");
            if (languages) {
                if (!m_MultiLang.Load(languages) || !SetLanguage(m_MultiLang.m_strCurrent))
                    m_pSettings = nullptr;
            }
        }

        if (m_pSettings != nullptr) {
            m_bUpdateMode = GetConfigBool(L"Update", Common::Config::kSetupFilesPath, false);
            if (m_bUpdateMode)
                SetupTrace(L"Update mode");
            m_bDelayedMode = GetConfigBool(L"ForcedDelayCopy", Common::Config::kSetupFilesPath, false);
            if (m_bDelayedMode)
                SetupTrace(L"All files will be copied at delayed mode.");
        }
        m_SetupOptions.InitPath();
    } catch (const _com_error& e) {
        SetupTrace(L"CInstallManager::Init - failed %#010x", static_cast<unsigned>(e.Error()));
        m_pSettings = nullptr;
    }
    m_bIs64BitOS = Common::Win32::IsWow64();
    return m_pSettings != nullptr;
}

void CInstallManager::ShowMainWindow()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::ShowMainWindow");
    if (g_CmdLine.m_bQuiet || m_pDlgMain == nullptr)
        return;
    m_pDlgMain->Show();
    // Painted now: the steps that follow may keep the thread busy for a while.
    if (m_pDlgMain->m_hWnd != nullptr)
        m_pDlgMain->UpdateWindow();
    m_TaskbarProgress.Init(m_pDlgMain->m_hWnd);
}

bool CInstallManager::CheckAdminRights()
{
    if (m_Seams.isAdmin && m_Seams.isAdmin())
        return true;
    if (!g_CmdLine.m_bQuiet)
        Common::Config::MessageBoxById(L"AdminRequired", nullptr, MB_ICONINFORMATION);
    SetupTrace(L"Current user doesn't have administrator privileges.");
    return false;
}

bool CInstallManager::IsUninstallOnlyPackage()
{
    if (m_pSettings == nullptr)
        return false;
    try {
        Common::Config::CXMLElement script;
        m_pSettings->GetElement(Common::Config::kUninstallScriptPath, script);
    } catch (const _com_error&) {
        return false;
    }
    SetupTrace(L"Attempt to initialize install process with cfs intended to uninstall only.");
    return true;
}

CString CInstallManager::ReadUninstallValue(const CString& product, const CString& name)
{
    if (product.IsEmpty())
        return CString();
    CString keyPath(kUninstallKey);
    keyPath += L"\\";
    keyPath += product;
    Common::Tools::CRegKey key;
    if (key.Open(HKEY_LOCAL_MACHINE, keyPath, KEY_READ | KEY_WRITE) != ERROR_SUCCESS)
        return CString();
    // One character more than the record's values may hold, so the text always
    // ends; a longer value is not read at all rather than read cut.
    wchar_t buffer[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH * sizeof(wchar_t);
    DWORD type = 0;
    const LONG result =
        ::RegQueryValueExW(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return CString();
    buffer[std::min<DWORD>(size / sizeof(wchar_t), MAX_PATH)] = L'\0';
    return CString(buffer);
}

bool CInstallManager::CheckReinstallAllowed()
{
    const CString product = GetConfigValue(L"ProductID", Common::Config::kInstallInfoPath);
    const CString installed = ReadUninstallValue(product, kDisplayNameValue);
    if (installed.IsEmpty())
        return true;
    if (!GetConfigBool(L"ReinstallNeeded", Common::Config::kSetupFilesPath, false))
        return true;
    ShowMessageByIdWith(MainWindowHandle(), L"UninstallNeed", L"%ProductName%", installed, MB_ICONINFORMATION);
    SetupTrace(L"Product with ID: %s already installed, and its update not allowed. Uninstall '%s' application.",
               product.GetString(), installed.GetString());
    return false;
}

CString CInstallManager::RebootMarkerPath()
{
    if (m_pSettings == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    Common::Config::CXMLElement info;
    m_pSettings->GetElement(Common::Config::kInstallInfoPath, info);
    const CString product = GetNodeAttribute(info, L"ProductID", L"");
    CString path = GetNodeAttribute(info, L"UninstallPath", L"");
    if (product.IsEmpty() || !AppendPath(path, product))
        Common::Tools::ThrowComError(E_FAIL);
    return path;
}

bool CInstallManager::RebootRequiredBeforeInstall()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::RebootRequiredBeforeInstall");
    bool pending = false;
    CString name;
    try {
        const CString path = RebootMarkerPath();
        name = GetConfigValue(L"DisplayName", Common::Config::kInstallInfoPath);
        SetupTrace(L"Product ID: %s, Uninstall path: %s",
                   GetConfigValue(L"ProductID", Common::Config::kInstallInfoPath).GetString(), path.GetString());
        pending = ::PathFileExistsW(path) != FALSE;
    } catch (const _com_error&) {
        pending = false;
    }
    SetupTrace(L"Reboot required before install: %s", pending ? L"yes" : L"no");
    if (pending)
        ShowMessageByIdWith(MainWindowHandle(), L"RebootBeforeInstall", L"%ProductName%", name, MB_ICONERROR);
    return pending;
}

bool CInstallManager::SetLanguage(const CString& language)
{
    if (language == m_strLanguage)
        return true;
    auto& config = Common::Config::GetSetupConfig();
    try {
        // The value names a storage of the package; it may not lead anywhere else.
        if (!IsSafeFileName(language.Str())) {
            SetupTrace(L"Language '%s' is not a valid language name", language.GetString());
            return false;
        }
        CString name(L"\\%LANGID%\\setup.xml");
        name.Replace(L"%LANGID%", language);

        // The main window borrows the theme's images and fonts, and the loads below
        // delete the document and the theme it holds.
        if (m_pDlgMain != nullptr)
            m_pDlgMain->ReleaseResources();
        const bool loaded = config.LoadSettings(name) && config.LoadGraphRes();
        // Never left pointing at the document just deleted, whatever the outcome.
        m_pSettings = config.GetSettings();
        if (!loaded)
            return false;
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);

        if (m_pDlgMain != nullptr && m_pDlgMain->m_hWnd != nullptr) {
            m_pDlgMain->SendMessage(WM_SETREDRAW, FALSE);
            m_pDlgMain->LoadResources();
            m_pDlgMain->SendMessage(WM_SETREDRAW, TRUE);
            ::RedrawWindow(m_pDlgMain->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        }

        InitMacros();
        InitDialogs();
        m_strLanguage = language;
        return true;
    } catch (const _com_error& e) {
        SetupTrace(L"CInstallManager::SetLanguage - failed %#010x", static_cast<unsigned>(e.Error()));
        m_pSettings = config.GetSettings();
        return false;
    }
}

bool CInstallManager::InitDialogs()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::InitDialogs");
    m_SetupOptions.SetCondition(L"UI", !g_CmdLine.m_bQuiet);
    m_Dialogs.clear();
    // The pages in showing order: language, licence, destination, components,
    // toolbar and install. The licence page shows Back only after a language page
    // that is in the list (a disabled one would leave Back leading nowhere).
    bool hasLanguagePage = false;
    if (m_MultiLang.m_bLoaded && m_MultiLang.GetCount() >= 2) {
        AddDialog(std::make_shared<DlgPopup::CDlgLangSelect>(&m_MultiLang, m_pDlgMain.get()));
        hasLanguagePage = !m_Dialogs.empty();
    }
    AddDialog(std::make_shared<DlgPopup::CDlgLicense>(hasLanguagePage, m_pDlgMain.get()));
    CString targetDir(L"%TargetDir%");
    ExpandVariables(targetDir);
    AddDialog(std::make_shared<DlgPopup::CDlgDestination>(targetDir, m_pDlgMain.get()));
    AddDialog(std::make_shared<DlgPopup::CDlgComponents>(m_pDlgMain.get(), &m_SetupOptions));
    AddDialog(std::make_shared<DlgPopup::CDlgToolbar>(&m_SetupOptions, m_pDlgMain.get()));
    AddDialog(std::make_shared<DlgPopup::CDlgInstall>(m_pDlgMain.get()));
    return !m_Dialogs.empty();
}

void CInstallManager::AddDialog(const std::shared_ptr<DlgPopup::CBaseDialog>& page)
{
    if (!page || m_pSettings == nullptr)
        return;
    try {
        Common::Config::CXMLElement node;
        m_pSettings->GetElement(_bstr_t(page->m_strLocalizePath.GetString()), node);
        if (!GetNodeBool(node, L"Enable", true))
            return;
    } catch (const _com_error&) {
        return;
    }
    m_Dialogs.push_back(page);
    if (m_Dialogs.size() == 1)
        page->m_bFirstPage = true;
}

void CInstallManager::RunWizard()
{
    ShowMainWindow();
    if (!InitDialogs())
        return;
    RunPages();
}

void CInstallManager::RunPages()
{
    size_t index = 0;
    while (index < m_Dialogs.size()) {
        std::shared_ptr<DlgPopup::CBaseDialog> page = *std::next(m_Dialogs.begin(), index);
        const INT_PTR result = page->DoModal();
        if (result == -1) {
            // The page could not be made: showing it again would loop for ever.
            SetupTrace(L"Wizard page %d could not be shown", static_cast<int>(page->GetPageType()));
            Common::Tools::ThrowComError(E_FAIL);
        }
        const DlgPopup::EPageType type = page->GetPageType();

        if (type == DlgPopup::PageLicense && result == DlgPopup::PageResultNext && !CheckRedist())
            Common::Tools::ThrowComError(E_FAIL);

        if (type == DlgPopup::PageDestination && result == DlgPopup::PageResultNext) {
            auto folderPage = dynamic_cast<DlgPopup::IFolderPage*>(page.get());
            const CString path = folderPage != nullptr ? folderPage->GetFolderText() : CString();
            if (CheckDestinationDrive(path) && CheckFreeSpace(path)) {
                // The folder the checks passed, not the text typed: "..", "/" and
                // short names are resolved once, here.
                GetPathVariables().Define(L"%TargetDir%", CanonicalPath(path));
            } else {
                if (g_CmdLine.m_bQuiet)
                    Common::Tools::ThrowComError(E_FAIL);
                continue;
            }
        }

        if ((type == DlgPopup::PageLicense && result == DlgPopup::PageResultBack) ||
            (type == DlgPopup::PageLangSelect && result == DlgPopup::PageResultNext)) {
            if (!SetLanguage(m_MultiLang.m_strCurrent))
                Common::Tools::ThrowComError(E_FAIL);
            // A rebuilt list may be shorter: stay inside it.
            if (m_Dialogs.empty())
                return;
            index = std::min(index, m_Dialogs.size() - 1);
        }

        switch (result) {
        case DlgPopup::PageResultBack:
            // Back on the first page stays there.
            if (index > 0)
                --index;
            break;
        case DlgPopup::PageResultNext:
            ++index;
            break;
        case DlgPopup::PageResultCancel:
            throw CInstallAbort();
        default:
            break;
        }
    }
}

bool CInstallManager::CheckDestinationDrive(const CString& path)
{
    // A relative text would be made full against setup's current folder: the
    // user never chose that folder, so only a full path is taken.
    const bool full = IsFullPath(path);
    const CString canonical = full ? CanonicalPath(path) : CString();
    CString root = canonical;
    bool ok = full && !canonical.IsEmpty() && StripPathToRoot(root);
    if (ok) {
        const UINT type = ::GetDriveTypeW(root);
        ok = (type == DRIVE_REMOVABLE || type == DRIVE_FIXED) && !::PathIsRootW(canonical);
    }
    // By the rule the uninstall judges the installed folder by: the Windows folder
    // and the names that continue it are refused, and so is any name the copy
    // would refuse.
    if (ok && !IsUsableInstallFolder(canonical))
        ok = false;
    if (!ok)
        ShowMessageById(MainWindowHandle(), L"InvalidDrive", MB_ICONERROR);
    return ok;
}

bool CInstallManager::CheckFreeSpace(const CString& path)
{
    const wchar_t* attribute = Common::Win32::IsWow64() ? L"InstallSize64" : L"InstallSize";
    const LONGLONG needed = ClampedBytes(GetConfigDouble(attribute, Common::Config::kSetupFilesPath, 0.0));
    CString root = CanonicalPath(path);
    if (!StripPathToRoot(root))
        root = path;
    const ULONGLONG free = m_Seams.freeSpace ? m_Seams.freeSpace(root) : 0;
    if (static_cast<ULONGLONG>(needed) < free)
        return true;
    ShowMessageById(MainWindowHandle(), L"FreeSpace", MB_ICONERROR);
    SetupTrace(L"Not enough space for product installation at '%s'", path.GetString());
    return false;
}

void CInstallManager::FinishInstallation()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::FinishInstallation");
    bool restart = GetConfigBool(L"Restart", Common::Config::kSetupFilesPath, false);
    m_bRestart = restart || g_CmdLine.m_nRestartMode == CCmdLineHelper::RestartForce || m_bDelayedMode ||
                 m_bNeedRestartByFiles;
    if (g_CmdLine.m_nRestartMode == CCmdLineHelper::RestartNever)
        m_bRestart = false;
    SetupTrace(L"m_bRestart = %d, m_bNeedRestartByFiles = %d", m_bRestart ? 1 : 0, m_bNeedRestartByFiles ? 1 : 0);

    // The page offers the decision and gives back the user's choice; a quiet run
    // or a disabled page keeps it as made.
    DlgPopup::CDlgFinish page(m_pDlgMain.get());
    page.m_bRestartNeeded = m_bRestart;
    page.m_bInstall = g_CmdLine.m_nAction == CCmdLineHelper::ActionInstall;
    page.m_bRestartNow = m_bRestart;
    page.DoModal();
    m_bRestart = page.m_bRestartNow;
}

BOOL CInstallManager::RestartSystem()
{
    Common::Win32::EnablePrivilege(SE_SHUTDOWN_NAME);
    const UINT flags = EWX_REBOOT | EWX_FORCEIFHUNG;
    const DWORD reason = SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_MINOR_INSTALLATION;
    return m_Seams.exitWindows ? m_Seams.exitWindows(flags, reason) : FALSE;
}
