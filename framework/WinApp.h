// The application object of a program.
#pragma once

#include <windows.h>

#include <exception>

class CWnd;

// The one application object of a program. The entry calls InitInstance once;
// when it returns TRUE, Run pumps messages until WM_QUIT and calls ExitInstance;
// when it returns FALSE, ExitInstance is called at once. The result of ExitInstance
// is the process exit code.
class CWinApp
{
public:
    CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;
    virtual ~CWinApp();

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    // An exception escaped the application's own operations. Returns the exit code.
    virtual int OnUnhandledException(std::exception_ptr error) noexcept;

    HINSTANCE m_hInstance = nullptr;
    const wchar_t* m_lpCmdLine = L"";
    int m_nCmdShow = SW_SHOWNORMAL;
    CWnd* m_pMainWnd = nullptr; // what AfxGetMainWnd gives

protected:
    int m_nMessageLoopResult = 0;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();

// Runs the application object: InitInstance, then Run or ExitInstance. No exception
// leaves this function.
int AfxWinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
