// The application object of a program.
#include "framework/WinApp.h"

namespace {

CWinApp* g_pApp = nullptr;

} // namespace

CWinApp::CWinApp()
{
    // A second application object would silently replace the first: keep the first.
    if (g_pApp == nullptr)
        g_pApp = this;
    m_hInstance = GetModuleHandleW(nullptr);
}

CWinApp::~CWinApp()
{
    if (g_pApp == this)
        g_pApp = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::Run()
{
    MSG msg;
    for (;;) {
        const BOOL result = GetMessageW(&msg, nullptr, 0, 0);
        if (result == 0 || result == -1)
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    m_nMessageLoopResult = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nMessageLoopResult;
}

int CWinApp::OnUnhandledException(std::exception_ptr) noexcept
{
    return -1;
}

CWinApp* AfxGetApp()
{
    return g_pApp;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_pApp != nullptr ? g_pApp->m_hInstance : GetModuleHandleW(nullptr);
}

int AfxWinMain(HINSTANCE instance, HINSTANCE, LPWSTR commandLine, int showCommand)
{
    CWinApp* app = AfxGetApp();
    if (app == nullptr)
        return -1;
    app->m_hInstance = instance;
    app->m_lpCmdLine = commandLine != nullptr ? commandLine : L"";
    app->m_nCmdShow = showCommand;
    try {
        if (!app->InitInstance())
            return app->ExitInstance();
        return app->Run();
    } catch (...) {
        return app->OnUnhandledException(std::current_exception());
    }
}
