// A thread with a message loop.
#pragma once

#include <windows.h>

class CWnd;

// A thread with a message loop: InitInstance on the new thread, then (when it returns
// TRUE) Run until WM_QUIT, then ExitInstance, whose result is the thread's exit
// code. With m_bAutoDelete the object deletes itself when the thread ends, so it
// must have been made with new. No exception leaves the thread.
class CWinThread
{
public:
    CWinThread() = default;
    CWinThread(const CWinThread&) = delete;
    CWinThread& operator=(const CWinThread&) = delete;
    virtual ~CWinThread();

    BOOL CreateThread(DWORD createFlags = 0, UINT stackSize = 0, LPSECURITY_ATTRIBUTES security = nullptr);
    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }
    BOOL PostThreadMessage(UINT message, WPARAM wParam, LPARAM lParam) const
    { return ::PostThreadMessageW(m_nThreadID, message, wParam, lParam); }

    virtual BOOL InitInstance();
    virtual int Run();
    virtual int ExitInstance();

    HANDLE m_hThread = nullptr;
    DWORD m_nThreadID = 0;
    BOOL m_bAutoDelete = TRUE;
    CWnd* m_pMainWnd = nullptr;

protected:
    int m_nMessageLoopResult = 0;

private:
    static unsigned __stdcall ThreadMain(void* self);
};

// The thread object running on the calling thread, or null.
CWinThread* AfxGetThread();
// The main window of the calling thread's thread object, or null.
CWnd* AfxGetThreadMainWnd();
