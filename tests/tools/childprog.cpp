// A child program for the tests of starting programs and of files in use:
//   childprog exit CODE                      ends with CODE
//   childprog sleep MS CODE                  sleeps, then ends with CODE
//   childprog hold PATH READY                opens PATH shared to nobody, signals the
//                                            named event READY, then waits to be ended
//   childprog post HWND COUNT DONE MS        posts COUNT messages WM_APP + 1 (wParam
//                                            0, 1, ...) to the window, then waits up to
//                                            MS for the named event DONE: 0 when it
//                                            came, 1 when not
// Numbers may be decimal or 0x-hexadecimal. A wrong command line ends with 99.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

const UINT kWrongCommandLine = 99;

unsigned long Number(const wchar_t* text)
{
    return std::wcstoul(text, nullptr, 0);
}

HANDLE OpenNamedEvent(const wchar_t* name)
{
    return OpenEventW(EVENT_MODIFY_STATE | SYNCHRONIZE, FALSE, name);
}

UINT Run(int count, wchar_t** args)
{
    if (count < 3)
        return kWrongCommandLine;
    const std::wstring command(args[1]);
    if (command == L"exit")
        return static_cast<UINT>(Number(args[2]));
    if (command == L"sleep" && count >= 4) {
        Sleep(Number(args[2]));
        return static_cast<UINT>(Number(args[3]));
    }
    if (command == L"hold" && count >= 4) {
        HANDLE file = CreateFileW(args[2], GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return 2;
        HANDLE ready = OpenNamedEvent(args[3]);
        if (ready == nullptr)
            return 3;
        SetEvent(ready);
        Sleep(120000);
        return 0;
    }
    if (command == L"post" && count >= 6) {
        HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(Number(args[2])));
        const unsigned long messages = Number(args[3]);
        HANDLE done = OpenNamedEvent(args[4]);
        if (done == nullptr)
            return 3;
        for (unsigned long i = 0; i < messages; ++i)
            PostMessageW(window, WM_APP + 1, i, 0);
        return WaitForSingleObject(done, Number(args[5])) == WAIT_OBJECT_0 ? 0 : 1;
    }
    return kWrongCommandLine;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args == nullptr)
        return kWrongCommandLine;
    const UINT code = Run(count, args);
    LocalFree(args);
    return static_cast<int>(code);
}
