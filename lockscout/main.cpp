// The lockscout program: finds the 64-bit processes that use setup's files.
#include "common/win32/SystemDll.h"
#include "lockscout/ProcessChecker.h"

#include <windows.h>

// Serves setup's questions about the 64-bit processes that use its files.
extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    Common::Win32::RestrictDllSearch();
    return RunLockscout();
}
