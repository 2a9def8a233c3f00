// The callbridge program: calls an export of a 64-bit DLL for setup.
#include "common/win32/SystemDll.h"
#include "dllcall/DllLog.h"
#include "dllcall/RunDLL.h"

#include <windows.h>

// Calls an entry point of a 64-bit DLL named on the command line for setup, which
// is a 32-bit program. Exit code 1 on success, 0 on failure.
extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR commandLine, int)
{
    Common::Win32::RestrictDllSearch();
    try {
        DllCall::LogRecord(3, "wWinMain", 13, nullptr);
        CRunDLL run;
        return run.Run(commandLine);
    } catch (...) {
        return 0;
    }
}
