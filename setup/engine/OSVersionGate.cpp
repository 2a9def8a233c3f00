// The start-up gate: refuses too old a Windows before the runtime starts.
#include "setup/engine/OSVersionGate.h"

#include "setup/engine/ExitCodes.h"

#include <windows.h>

void CheckOSVersion()
{
    const DWORD version = GetVersion();
    const WORD key = static_cast<WORD>((LOBYTE(LOWORD(version)) << 8) | HIBYTE(LOWORD(version)));
    if (key <= 0x0500) {
        MessageBoxW(nullptr, L"Your operating system is not supported. Upgrade if you want to use this product.",
                    L"Setup Failure", MB_ICONERROR);
        ExitProcess(SetupExitStopped);
    }
}

extern "C" int WinMainCRTStartup(void);

// The program's entry point. The version gate runs before the runtime starts, so
// it precedes every static initialiser of the program (the application object,
// the command line, GDI+); it may use nothing but the Windows API.
extern "C" int SetupStartup(void)
{
    CheckOSVersion();
    return WinMainCRTStartup();
}
