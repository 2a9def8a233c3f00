// The wWinMain entry that runs the application object.
#include "framework/WinApp.h"

// Kept in a file of its own so that only programs with a wWinMain entry pull it in.
extern "C" int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand)
{
    return AfxWinMain(instance, previous, commandLine, showCommand);
}
