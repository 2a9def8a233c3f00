// The parsed command line of setup.
#pragma once

#include "framework/WinString.h"

// The parsed command line of setup, written once at start-up and read by the engine,
// the configuration object and the pages.
class CCmdLineHelper
{
public:
    enum EAction { ActionNone = 0, ActionInstall = 1, ActionUninstall = 2, ActionConfig = 3 };
    enum ERestartMode { RestartDefault = 0, RestartForce = 1, RestartNever = 2 };

    CCmdLineHelper() = default;
    virtual ~CCmdLineHelper() = default;

    // Interprets argument i of the process argument vector.
    void ParseParam(int i);
    // The same on a given vector (argv[0] is the program).
    void ParseParam(int i, int argc, const wchar_t* const* argv);

    bool m_bQuiet = false;
    int m_nRestartMode = RestartDefault;
    int m_nAction = ActionNone;
    CString m_strProductCode;
    CString m_strParam;
    CString m_strCmdLine;
    bool m_bRegisterProduct = true;
};

// The one command line of the process.
extern CCmdLineHelper g_CmdLine;
