// The lockscout program: finds the 64-bit processes that use setup's files.
#include "lockscout/ProcessChecker.h"

#include <windows.h>

// Serves setup's questions about the 64-bit processes that use its files.
extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return RunLockscout();
}
