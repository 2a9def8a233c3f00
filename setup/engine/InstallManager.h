// The install manager: the engine that runs every road.
#pragma once

#include "common/ui/TaskbarProgress.h"
#include "framework/WinString.h"
#include "setup/engine/DllRunner.h"
#include "setup/engine/MultiLang.h"
#include "setup/engine/SetupOptions.h"

#include <objidl.h>
#include <windows.h>

#include <functional>
#include <list>
#include <memory>
#include <string>

namespace Common {
namespace Config {
class CXMLElement;
class CXMLNodeList;
class IXMLSettings;
} // namespace Config
namespace Storage {
class CStreamReadAhead;
} // namespace Storage
} // namespace Common

class CCanonicalFolders;

namespace DlgPopup {
class CBaseDialog;
class CDlgMain;
} // namespace DlgPopup

// What the engine asks of the system where a test must be able to answer instead:
// administrator membership, free space and the restart request.
struct SSystemSeams
{
    std::function<bool()> isAdmin;
    std::function<ULONGLONG(const wchar_t* path)> freeSpace;
    std::function<BOOL(UINT flags, DWORD reason)> exitWindows;
    // Starts the registered uninstaller without waiting; null: RunProcess.
    std::function<void(const wchar_t* commandLine)> startUninstaller;
    // The Windows Installer state of a product code (5: installed); null: msi.dll.
    std::function<int(const wchar_t* productCode)> productState;
    // The Windows version as GetVersionExW gives it; null: GetVersionExW.
    std::function<BOOL(OSVERSIONINFOW* info)> windowsVersion;
};

// The engine of setup: the state of one run and the install, uninstall and
// reconfiguration roads with the install scripts and their nodes.
class CInstallManager
{
public:
    typedef std::list<std::shared_ptr<DlgPopup::CBaseDialog>> DialogList;

    CInstallManager();
    virtual ~CInstallManager();
    CInstallManager(const CInstallManager&) = delete;
    CInstallManager& operator=(const CInstallManager&) = delete;

    // After the configuration object loaded the package: main window object,
    // interface document, package macros, modes. False without a document.
    bool Init();

    // The roads; each gives the process exit code.
    int Install();
    int Uninstall();
    int RunConfig();

    // Wizard.
    void RunWizard();
    // The page loop over m_Dialogs: Back, Next, Cancel and the checks between pages.
    void RunPages();
    bool InitDialogs();
    void AddDialog(const std::shared_ptr<DlgPopup::CBaseDialog>& page);
    void ShowMainWindow();

    // Refusals and checks of the install road.
    bool CheckAdminRights();
    bool IsUninstallOnlyPackage();
    bool CheckReinstallAllowed();
    bool CheckDestinationDrive(const CString& path);
    bool CheckFreeSpace(const CString& path);
    bool RebootRequiredBeforeInstall();
    // The value of the product's uninstall record; empty when missing.
    CString ReadUninstallValue(const CString& product, const CString& name);
    // Points the condition store at the components file beside the product's
    // registered uninstaller: the program the record names, else this program when
    // it is that copy. Left as set at start-up when neither is known.
    void LocateComponentsFile(const CString& product);
    // The marker file's path: UninstallPath joined with ProductID. Raises _com_error.
    CString RebootMarkerPath();

    // Checks the listed redistributables and installs those missing; false ends the road.
    bool CheckRedist();
    // Runs one redistributable installer (relative to setup's folder); true on exit code 0.
    bool InstallRedist(const CString& commandLine, const CString& caption);
    bool SetLanguage(const CString& language);
    bool ProductUpdateAllowed();
    bool HasLockedModules();
    // The "LockCheck" node: the page that lists the programs using the package's files.
    bool LockCheck();

    // Restart decision and restart.
    void FinishInstallation();
    BOOL RestartSystem();

    // Script interpreter.
    void RunScriptAt(const wchar_t* xpath);
    void RunScript(const Common::Config::CXMLNodeList& nodes, bool resetCaption);
    bool CheckCondition(const Common::Config::CXMLElement& node, bool emptyIsFalseInConfig);
    void Call(const Common::Config::CXMLElement& node);
    void SetCond(const Common::Config::CXMLElement& node);

    // Program, shortcut, status and message nodes.
    void Exec(const Common::Config::CXMLElement& node);
    void CreateShortcut(const Common::Config::CXMLElement& node);
    void ChangeStatus(const Common::Config::CXMLElement& node);
    void ShowMessageNode(const Common::Config::CXMLElement& node);

    // Registry steps outside the scripts.
    void AssociateUpdatePackages(bool add, const CString& programPath);
    void UpdateVersionInfo();

    // File copying.
    bool CopyFiles();
    bool CreateTargetDataDir();
    // 'next' is the package path of the entry after this one, read ahead while
    // this one is written; empty for none.
    void CopyFileEntry(const CString& dest, const Common::Config::CXMLElement& entry,
                       Common::Storage::CStreamReadAhead& readAhead, const std::wstring& next);
    void CopyStorageFolder(const CString& src, const CString& dest, Common::Storage::CStreamReadAhead& readAhead);
    void CopyFile(IStream* stream, const CString& target, bool* delayed);
    bool IsNewerVersion(const CString& target, IStream* stream, CString& probe);
    void InitMacros();
    void SetStepCaption(const wchar_t* xpath);
    bool NodeExists(const wchar_t* xpath);

    // Uninstaller copy, uninstall package, components file and uninstall record.
    void RegisterUninstaller();

    // The uninstall road's steps.
    bool RunInstalledUninstaller();
    bool ResolveUninstallTargetDir();
    bool ClearInstallInfo();
    void AddRebootRequiredMarker();
    void RemoveSelf();

    // Removal and move nodes, and the removal of the listed files.
    void RemoveFile(const Common::Config::CXMLElement& node);
    void RemoveFolder(const Common::Config::CXMLElement& node);
    bool MoveFileW(const Common::Config::CXMLElement& node);
    bool RemoveFiles();

    // "RunDll": the export in process from the 32-bit DLL and, on a 64-bit
    // Windows, through callbridge from the 64-bit one. True when the calls made
    // succeeded, or the node was skipped.
    bool RunDll(const Common::Config::CXMLElement& node);

    // The virtual printer, through the printer setup library the package names.
    // True when done or when the package has no printer; false after a failure.
    bool InstallPrinter();
    bool UninstallPrinter();

    std::unique_ptr<DlgPopup::CDlgMain> m_pDlgMain;
    DialogList m_Dialogs;
    bool m_bRedistChecked = false;
    bool m_bNeedRestartByFiles = false;
    Common::Config::IXMLSettings* m_pSettings = nullptr;
    CString m_strPrinterRegKey;
    bool m_bIs64BitOS = false;
    bool m_bRestart = false;
    CMultiLang m_MultiLang;
    CString m_strLanguage;
    bool m_bUninstallerRegistered = false;
    bool m_bUpdateMode = false;
    bool m_bDelayedMode = false;
    // The next name tried for a staged copy (see CopyFile).
    DWORD m_dwNextStagedName = 0;
    CSetupOptions m_SetupOptions;
    UI::CTaskbarProgress m_TaskbarProgress;
    CDllRunner m_DllRunner;

    // Replaced by tests; the defaults ask Windows.
    SSystemSeams m_Seams;
    // Nesting of scripts run from inside a node ("Call", message answers).
    int m_nScriptDepth = 0;
    static const int kMaxScriptDepth = 32;
    // The failure of a script nested deeper than that. No node swallows it, so a
    // script that multiplies itself through message answers ends at once.
    static const HRESULT kScriptTooDeep = HRESULT_FROM_WIN32(ERROR_STACK_OVERFLOW);

    // Runs a road's body: the user's stop gives 1; a _com_error, and any other
    // exception, shows the failure message and gives 0.
    int RunRoad(const std::function<int()>& body, const wchar_t* failureMessage);

private:
    // How a road ends when its body does not finish: the word its traces begin
    // with, the exit code of a failure and the message a failure shows (null: no
    // message, and the taskbar keeps its state).
    struct SRoadEnd
    {
        const wchar_t* name;
        int failedCode;
        const wchar_t* failureMessage;
    };
    // The one boundary of the roads: the user's stop gives 1, any other exception
    // fails the road as the row says.
    int RunGuarded(const std::function<int()>& body, const SRoadEnd& end);

    HWND MainWindowHandle() const;
};

// Registry nodes of the scripts ("HKLM", "HKCU", "HKCR").
void AddRegEntry(const Common::Config::CXMLElement& node);
void RemoveRegEntry(const Common::Config::CXMLElement& node);
// The predefined root of "HKCR", "HKCU" or "HKLM" (any case); null for others.
HKEY RootKeyFromName(const CString& name);
// The default value of HKCR\subKey; raises _com_error(E_FAIL).
void SetClassesRootValue(const CString& subKey, const CString& text);

// Writes one shell link at the full path linkPath (its folder made when missing).
// E_INVALIDARG, nothing written, for an empty target or link path, a negative show
// mode or icon index, a link path that is not full or that names the target.
HRESULT CreateShortcutLink(const wchar_t* target, const wchar_t* arguments, const wchar_t* description, int showMode,
                           const wchar_t* workingFolder, const wchar_t* iconFile, int iconIndex, const wchar_t* linkPath);

// Packs "a.b.c.d" into one byte a part, the first in the top byte.
DWORD PackVersion(const CString& version);

// Removal tools. A deletion that cannot be done now is left to the next restart.
// Asks Windows to delete the path at the next restart; sets the flag when given.
// A path that IsRemovableFile refuses is not scheduled (and the flag not set).
void DelayRemove(const CString& path, bool* restartFlag);
void ClearReadOnly(const CString& path);
// The same with the attributes the caller has just read.
void ClearReadOnly(const CString& path, DWORD attributes);
// The folder's content, depth first, then the folder. Folders that no package may
// remove (roots, system folders) are refused with a trace.
void RemoveFolderWithContent(const CString& folder, bool delayed, bool* restartFlag);
void RemoveFolderContent(const CString& folder, bool delayed, bool* restartFlag);
// What may be removed: a full path without "..", wildcards or device prefix, that
// is no root and no system folder (nor above one). A folder tree may in addition
// not lie in the Windows folder. Refusals are traced.
bool IsRemovableFile(const CString& path);
// The same, for one pass over many files: their folders' canonical forms are
// asked of the file system once.
bool IsRemovableFile(const CString& path, CCanonicalFolders& folders);
bool IsRemovableFolder(const CString& path);
// An install folder the uninstall may work in: a full path, no root, not in the
// Windows folder (what the install's destination check accepts).
bool IsUsableInstallFolder(const CString& path);
// The one rule for the Windows folder of an install folder, given in its canonical
// form: the Windows folder, anything below it, and a sibling whose name continues
// the Windows folder's.
bool IsInWindowsFolder(const CString& canonical);
// The uninstaller copy at that path: when its name is a product code, renames it
// for deletion at the restart and deletes its components file and uninstall package.
void RemoveProgramCopy(const CString& self);
// True when the program at that path is the registered copy of the product.
bool IsRegisteredCopy(const CString& programPath, const CString& productCode);
// The registered command without its arguments, followed by these arguments.
CString HandOverCommand(const CString& uninstallString, const CString& arguments);
