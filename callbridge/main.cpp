#include <windows.h>

// Calls an entry point of a 64-bit DLL named on the command line. Exit code 1 on
// success, 0 on failure; until the call library is linked in, every run fails.
extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}
