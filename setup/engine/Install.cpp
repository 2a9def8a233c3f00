// The roads of setup: install, uninstall and reconfiguration.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/tools/ComError.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/ExitCodes.h"
#include "setup/engine/InstallAbort.h"
#include "setup/wizard/MainWindow.h"

#include <comdef.h>

#include <new>

int CInstallManager::RunGuarded(const std::function<int()>& body, const SRoadEnd& end)
{
    try {
        try {
            return body();
        } catch (const CInstallAbort&) {
            SetupTrace(L"%s stopped by the user", end.name);
            return SetupExitStopped;
        } catch (const std::bad_alloc&) {
            SetupTrace(L"Out of memory");
            Common::Tools::ThrowComError(E_OUTOFMEMORY);
        } catch (const std::exception& e) {
            // Any other standard error is a fault of the program, not the user's stop.
            SetupTrace(L"Unexpected error: %S", e.what());
            Common::Tools::ThrowComError(E_UNEXPECTED);
        }
    } catch (const _com_error& e) {
        SetupTrace(L"%s failed: %#010x", end.name, static_cast<unsigned>(e.Error()));
        if (end.failureMessage != nullptr) {
            m_TaskbarProgress.SetState(UI::CTaskbarProgress::kError);
            ShowMessageById(MainWindowHandle(), end.failureMessage, MB_ICONERROR);
        }
        return end.failedCode;
    }
}

int CInstallManager::RunRoad(const std::function<int()>& body, const wchar_t* failureMessage)
{
    return RunGuarded(body, SRoadEnd{L"Installation", SetupExitDone, failureMessage});
}

int CInstallManager::Install()
{
    SETUP_TRACE_ENTRY("Install", "CInstallManager::Install");
    return RunRoad(
        [this]() {
            if (IsUninstallOnlyPackage())
                return static_cast<int>(SetupExitRefused);
            if (!CheckAdminRights())
                return static_cast<int>(SetupExitRefused);
            if (RebootRequiredBeforeInstall())
                return static_cast<int>(SetupExitStopped);
            if (m_bUpdateMode) {
                if (!ProductUpdateAllowed())
                    return static_cast<int>(SetupExitRefused);
                ShowMainWindow();
            } else {
                if (!CheckReinstallAllowed())
                    return static_cast<int>(SetupExitRefused);
                RunWizard();
            }
            RunScriptAt(L"//Interface/Install/PreFinish");
            RegisterUninstaller();
            UpdateVersionInfo();
            FinishInstallation();
            RunScriptAt(L"//Interface/Install/PostFinish");
            if (m_bRestart)
                RestartSystem();
            return static_cast<int>(SetupExitDone);
        },
        L"SetupFailed");
}

int CInstallManager::Uninstall()
{
    SETUP_TRACE_ENTRY("Install", "CInstallManager::Uninstall");
    return RunRoad(
        [this]() {
            if (RunInstalledUninstaller())
                return static_cast<int>(SetupExitDone);
            if (!CheckAdminRights())
                return static_cast<int>(SetupExitRefused);
            // Only a No stops: a package without the question has nothing to ask
            // (no box, the answer IDCANCEL) and goes on.
            const int answer = ShowMessageById(MainWindowHandle(), L"UninstallApp", MB_YESNO | MB_ICONQUESTION);
            if (answer == IDNO) {
                SetupTrace(L"Uninstall declined (answer %d)", answer);
                return static_cast<int>(SetupExitStopped);
            }
            ShowMainWindow();
            LocateComponentsFile(g_CmdLine.m_strProductCode);
            // Without the file the scripts run with the conditions known so far.
            if (!m_SetupOptions.Load())
                SetupTrace(L"Components file could not be read: %s", m_SetupOptions.m_strPath.GetString());
            if (!ResolveUninstallTargetDir())
                Common::Tools::ThrowComError(E_FAIL);
            RunScriptAt(L"//Interface/Uninstall/PreFinish");
            if (!ClearInstallInfo())
                Common::Tools::ThrowComError(E_FAIL);
            FinishInstallation();
            RunScriptAt(L"//Interface/Uninstall/PostFinish");
            RemoveSelf();
            AddRebootRequiredMarker();
            if (m_bRestart)
                RestartSystem();
            return static_cast<int>(SetupExitDone);
        },
        L"UninstallFailed");
}

int CInstallManager::RunConfig()
{
    SETUP_TRACE_ENTRY("Install", "CInstallManager::RunConfig");
    // Without the rights nothing is touched: the list stays for a run that has them.
    if (!CheckAdminRights())
        return SetupExitRefused;

    const CString listFile = g_CmdLine.m_strParam;
    CSetupOptions& options = m_SetupOptions;
    // Only a file that was read as a list is deleted: a mistaken argument naming
    // some other file must not cost the user that file.
    bool listRead = false;
    // The user's stop ends this road as it ends the others (exit code 1). The
    // components file keeps the selection from before the run; the list has been
    // answered and goes, as after a failure. A failure shows no message.
    const int result = RunGuarded(
        [&]() {
            ShowMainWindow();
            options.m_bConfigMode = true;
            LocateComponentsFile(GetConfigValue(L"ProductID", Common::Config::kInstallInfoPath));
            // Without the installed selection the saved file would forget every
            // component the lists do not name.
            if (!options.Load())
                Common::Tools::ThrowComError(E_FAIL);
            options.m_Selection = options.m_Conditions;

            // A list that does not read would leave the store as it was, and the
            // script would run against the installed or the removed components.
            if (!options.LoadConfigList(listFile, false))
                Common::Tools::ThrowComError(E_FAIL);
            listRead = true;
            RunScriptAt(L"//Interface/Config/Remove");
            options.ApplyList(false);

            if (!options.LoadConfigList(listFile, true))
                Common::Tools::ThrowComError(E_FAIL);
            RunScriptAt(L"//Interface/Config/Add");
            options.ApplyList(true);

            options.m_bConfigMode = false;
            options.m_Conditions = options.m_Selection;
            if (!options.Save())
                Common::Tools::ThrowComError(E_FAIL);
            return static_cast<int>(SetupExitDone);
        },
        SRoadEnd{L"Reconfiguration", SetupExitRefused, nullptr});
    options.m_bConfigMode = false;
    if (listRead && !::DeleteFileW(listFile))
        SetupTrace(L"The list file '%s' could not be deleted: %u", listFile.GetString(), ::GetLastError());
    return result;
}
