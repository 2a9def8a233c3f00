#include <windows.h>

// Serves the process scan over its named pipe; until the server is linked in, it
// ends at once.
extern "C" int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    return 0;
}
