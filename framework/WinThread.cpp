// A thread with a message loop.
#include "framework/WinThread.h"

#include "framework/Window.h"

#include <process.h>

namespace {

thread_local CWinThread* t_pThread = nullptr;

} // namespace

CWinThread::~CWinThread()
{
    if (m_hThread != nullptr)
        ::CloseHandle(m_hThread);
}

BOOL CWinThread::CreateThread(DWORD createFlags, UINT stackSize, LPSECURITY_ATTRIBUTES security)
{
    if (m_hThread != nullptr)
        return FALSE;
    // Started suspended so that the handle and id are stored before the thread runs.
    unsigned id = 0;
    const uintptr_t handle = _beginthreadex(security, stackSize, &CWinThread::ThreadMain, this, CREATE_SUSPENDED, &id);
    if (handle == 0)
        return FALSE;
    m_hThread = reinterpret_cast<HANDLE>(handle);
    m_nThreadID = id;
    if ((createFlags & CREATE_SUSPENDED) == 0)
        ::ResumeThread(reinterpret_cast<HANDLE>(handle)); // the object may be gone after this
    return TRUE;
}

BOOL CWinThread::InitInstance()
{
    return FALSE;
}

int CWinThread::Run()
{
    MSG msg{};
    for (;;) {
        const BOOL result = ::GetMessageW(&msg, nullptr, 0, 0);
        if (result == 0 || result == -1)
            break;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    m_nMessageLoopResult = static_cast<int>(msg.wParam);
    return ExitInstance();
}

int CWinThread::ExitInstance()
{
    return m_nMessageLoopResult;
}

unsigned __stdcall CWinThread::ThreadMain(void* self)
{
    auto* thread = static_cast<CWinThread*>(self);
    t_pThread = thread;
    // Make the message queue now, so that a message posted to the thread is kept.
    MSG msg;
    ::PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
    int code = -1;
    try {
        code = thread->InitInstance() ? thread->Run() : thread->ExitInstance();
    } catch (...) {
        Framework::TraceException(L"thread", std::current_exception());
    }
    t_pThread = nullptr;
    if (thread->m_bAutoDelete) {
        try {
            delete thread;
        } catch (...) {
            Framework::TraceException(L"thread end", std::current_exception());
        }
    }
    return static_cast<unsigned>(code);
}

CWinThread* AfxGetThread()
{
    return t_pThread;
}

CWnd* AfxGetThreadMainWnd()
{
    return t_pThread != nullptr ? t_pThread->m_pMainWnd : nullptr;
}
