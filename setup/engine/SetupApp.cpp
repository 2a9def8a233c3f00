// The application object of setup: parses, loads and runs one road.
#include "setup/engine/SetupApp.h"

#include "common/config/SetupConfig.h"
#include "common/tools/SetupTrace.h"
#include "common/win32/SystemDll.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ExitCodes.h"
#include "setup/engine/InstallManager.h"
#include "setup/wizard/Splash.h"

#include <comdef.h>
#include <objbase.h>
#include <stdlib.h>

#include <exception>
#include <new>

namespace {

// A terminate reached from anywhere (an exception thrown by a destructor, a
// thread left with one) ends the process with the internal-error code instead of
// the runtime's abort box, which would hang a quiet install.
[[noreturn]] void TerminateSetup()
{
    SetupTrace(L"Setup terminated by an unexpected exception");
    ExitProcess(SetupExitInternal);
}

} // namespace

void CSplashEnder::operator()(CSplashHolder* holder) const
{
    if (holder->m_nThreadId != 0)
        PostThreadMessageW(holder->m_nThreadId, WM_QUIT, 0, 0);
    delete holder;
}

CSetupApp::CSetupApp() : m_InstallManager(std::make_unique<CInstallManager>()) {}

CSetupApp::~CSetupApp()
{
    // The engine goes first: its main window and pages before the splash.
    m_InstallManager.reset();
    m_pSplash.reset();
}

bool CSetupApp::ParseCommandLine(CCmdLineHelper& cmdLine, int argc, const wchar_t* const* argv)
{
    if (argc <= 1 || argv == nullptr) {
        cmdLine.m_nAction = CCmdLineHelper::ActionInstall;
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        cmdLine.ParseParam(i, argc, argv);
        cmdLine.m_strCmdLine += L" ";
        cmdLine.m_strCmdLine += argv[i];
    }
    return cmdLine.m_nAction != CCmdLineHelper::ActionNone;
}

BOOL CSetupApp::InitInstance()
{
    Common::Win32::RestrictDllSearch();
    std::set_terminate(TerminateSetup);
    CWinApp::InitInstance();
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

    if (!ParseCommandLine(g_CmdLine, __argc, __wargv)) {
        SetupTrace(L"parse command line error");
        return FALSE;
    }

    // Shown while the package loads; ended before any road starts.
    SetSplash(StartSplash());

    Common::Config::CSetupConfig& config = Common::Config::GetSetupConfig();
    config.SetPackageArgument(g_CmdLine.m_strParam);
    if (!config.Init() || !m_InstallManager->Init()) {
        SetupTrace(L"Failed to load setup cfs. File is missing or corrupted.");
        return FALSE;
    }

    SetSplash(nullptr);
    switch (g_CmdLine.m_nAction) {
    case CCmdLineHelper::ActionInstall:
        m_nExitCode = m_InstallManager->Install();
        break;
    case CCmdLineHelper::ActionUninstall:
        m_nExitCode = m_InstallManager->Uninstall();
        break;
    case CCmdLineHelper::ActionConfig:
        m_nExitCode = m_InstallManager->RunConfig();
        break;
    default:
        break;
    }
    return FALSE;
}

int CSetupApp::ExitInstance()
{
    CWinApp::ExitInstance();
    return m_nExitCode;
}

int CSetupApp::OnUnhandledException(std::exception_ptr error) noexcept
{
    try {
        if (error)
            std::rethrow_exception(error);
        SetupTrace(L"Setup stopped by an unexpected exception");
    } catch (const _com_error& e) {
        SetupTrace(L"Setup stopped by an unexpected error %#010x", static_cast<unsigned>(e.Error()));
    } catch (const std::bad_alloc&) {
        SetupTrace(L"Setup stopped: out of memory");
    } catch (const std::exception& e) {
        SetupTrace(L"Setup stopped by an unexpected exception: %S", e.what());
    } catch (...) {
        SetupTrace(L"Setup stopped by an unexpected exception");
    }
    m_nExitCode = SetupExitInternal;
    return SetupExitInternal;
}

void CSetupApp::SetSplash(CSplashHolder* holder)
{
    if (holder != m_pSplash.get())
        m_pSplash.reset(holder);
}
