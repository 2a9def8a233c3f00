// Tests of the user-interface threads.
#include "framework/WinThread.h"
#include "framework/Window.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

enum class EStart { Run, Refuse, Throw };

class CTestThread : public CWinThread
{
public:
    explicit CTestThread(EStart start, HANDLE gone = nullptr) : m_start(start), m_hGone(gone)
    {
        m_hReady = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    }
    ~CTestThread() override
    {
        CloseHandle(m_hReady);
        if (m_hGone != nullptr)
            SetEvent(m_hGone);
    }
    BOOL InitInstance() override
    {
        m_nInitThread = GetCurrentThreadId();
        if (m_start == EStart::Throw) {
            SetEvent(m_hReady);
            throw std::runtime_error("init failed");
        }
        if (m_start == EStart::Run) {
            m_bCreated = m_wnd.CreateEx(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
            m_pMainWnd = &m_wnd;
            m_pSeenMain = AfxGetMainWnd();
            m_pSeenThread = AfxGetThread();
        }
        SetEvent(m_hReady);
        return m_start == EStart::Run;
    }
    int ExitInstance() override
    {
        m_nExitThread = GetCurrentThreadId();
        m_bWindowAtExit = IsWindow(m_wnd.m_hWnd) != FALSE;
        return CWinThread::ExitInstance() + 10;
    }

    EStart m_start;
    HANDLE m_hGone;
    HANDLE m_hReady;
    CWnd m_wnd;
    BOOL m_bCreated = FALSE;
    CWnd* m_pSeenMain = nullptr;
    CWinThread* m_pSeenThread = nullptr;
    DWORD m_nInitThread = 0;
    DWORD m_nExitThread = 0;
    bool m_bWindowAtExit = false;
};

DWORD ExitCodeAfterEnd(CWinThread& thread)
{
    EXPECT_EQ(WaitForSingleObject(thread.m_hThread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread.m_hThread, &code);
    return code;
}

TEST(UIThread, RunsItsLoopOnItsOwnThreadUntilWMQuit)
{
    CTestThread thread(EStart::Run);
    thread.m_bAutoDelete = FALSE;
    ASSERT_TRUE(thread.CreateThread());
    ASSERT_EQ(WaitForSingleObject(thread.m_hReady, 10000), WAIT_OBJECT_0);
    EXPECT_TRUE(thread.m_bCreated);
    EXPECT_EQ(thread.m_pSeenMain, &thread.m_wnd);
    EXPECT_EQ(thread.m_pSeenThread, &thread);
    EXPECT_EQ(AfxGetThread(), nullptr); // not on this thread
    // The loop dispatches to the thread's own window while it runs.
    EXPECT_EQ(SendMessageW(thread.m_wnd.m_hWnd, WM_GETTEXTLENGTH, 0, 0), 0);
    EXPECT_EQ(WaitForSingleObject(thread.m_hThread, 200), static_cast<DWORD>(WAIT_TIMEOUT));
    ASSERT_TRUE(thread.PostThreadMessage(WM_QUIT, 5, 0));
    EXPECT_EQ(ExitCodeAfterEnd(thread), 15u);
    EXPECT_NE(thread.m_nInitThread, GetCurrentThreadId());
    EXPECT_EQ(thread.m_nExitThread, thread.m_nInitThread);
    EXPECT_TRUE(thread.m_bWindowAtExit);
}

TEST(UIThread, ARefusedOrFailedStartEndsTheThread)
{
    struct Case { EStart start; DWORD code; bool exitCalled; };
    const Case cases[] = {
        {EStart::Refuse, 10, true},
        {EStart::Throw, static_cast<DWORD>(-1), false},
    };
    for (const Case& c : cases) {
        CTestThread thread(c.start);
        thread.m_bAutoDelete = FALSE;
        ASSERT_TRUE(thread.CreateThread());
        EXPECT_EQ(ExitCodeAfterEnd(thread), c.code);
        EXPECT_EQ(thread.m_nExitThread != 0, c.exitCalled);
    }
}

TEST(UIThread, AnAutoDeleteThreadFreesItselfWhenItEnds)
{
    HANDLE gone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    auto* thread = new CTestThread(EStart::Run, gone);
    HANDLE ready = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), thread->m_hReady, GetCurrentProcess(), &ready, 0, FALSE, DUPLICATE_SAME_ACCESS));
    ASSERT_TRUE(thread->CreateThread(CREATE_SUSPENDED));
    const DWORD id = thread->m_nThreadID;
    thread->ResumeThread();
    ASSERT_EQ(WaitForSingleObject(ready, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(PostThreadMessageW(id, WM_QUIT, 0, 0));
    EXPECT_EQ(WaitForSingleObject(gone, 10000), WAIT_OBJECT_0);
    CloseHandle(ready);
    CloseHandle(gone);
}

} // namespace
