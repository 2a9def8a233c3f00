// The application object of setup: parses, loads and runs one road.
#pragma once

#include "framework/WinApp.h"

#include <memory>

class CCmdLineHelper;
class CInstallManager;

// Names the running splash thread; owned by the application object while held.
struct CSplashHolder
{
    DWORD m_nThreadId = 0;
};

// Ends the splash a holder names (WM_QUIT to its thread) and frees the holder.
struct CSplashEnder
{
    void operator()(CSplashHolder* holder) const;
};

// The application object of setup: InitInstance does the whole job and returns
// FALSE, so no message loop runs; ExitInstance gives the action's result.
class CSetupApp : public CWinApp
{
public:
    CSetupApp();
    ~CSetupApp() override;

    BOOL InitInstance() override;
    int ExitInstance() override;
    int OnUnhandledException(std::exception_ptr error) noexcept override;

    // Ends the held splash (WM_QUIT to its thread) when another one, or none, is
    // given; then holds the given one.
    void SetSplash(CSplashHolder* holder);

    // Hands every argument to the command line and re-joins them into
    // m_strCmdLine. False when arguments were given but none chose an action.
    static bool ParseCommandLine(CCmdLineHelper& cmdLine, int argc, const wchar_t* const* argv);

    // The engine of the run, made and destroyed with the application object.
    std::unique_ptr<CInstallManager> m_InstallManager;
    int m_nExitCode = 0;

private:
    std::unique_ptr<CSplashHolder, CSplashEnder> m_pSplash;
};
