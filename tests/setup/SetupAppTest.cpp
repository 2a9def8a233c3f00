// Tests of setup's application object.
#include "setup/engine/SetupApp.h"

#include "common/tools/SetupTrace.h"
#include "setup/engine/ExitCodes.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/RegistryScope.h"

#include <comdef.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

namespace {

// A thread with a message queue that runs until WM_QUIT, like the splash thread.
class CQueueThread
{
public:
    CQueueThread()
    {
        HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        m_thread = std::thread([this, ready] {
            MSG msg;
            PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);
            m_nId = GetCurrentThreadId();
            SetEvent(ready);
            while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
            }
            m_bEnded = true;
        });
        WaitForSingleObject(ready, INFINITE);
        CloseHandle(ready);
    }
    ~CQueueThread()
    {
        if (!m_bEnded)
            PostThreadMessageW(m_nId, WM_QUIT, 0, 0);
        m_thread.join();
    }
    // True when the thread ends within the time given.
    bool EndsWithin(DWORD ms)
    {
        for (DWORD waited = 0; waited < ms; waited += 10) {
            if (m_bEnded)
                return true;
            Sleep(10);
        }
        return m_bEnded;
    }
    CSplashHolder* NewHolder() const
    {
        CSplashHolder* holder = new CSplashHolder;
        holder->m_nThreadId = m_nId;
        return holder;
    }

private:
    std::thread m_thread;
    DWORD m_nId = 0;
    std::atomic<bool> m_bEnded{false};
};

TEST(SetupApp, ExitInstanceGivesTheActionsResult)
{
    CSetupApp app;
    EXPECT_EQ(0, app.ExitInstance());
    app.m_nExitCode = 2;
    EXPECT_EQ(2, app.ExitInstance());
}

TEST(SetupApp, SetSplashNullEndsTheSplashThread)
{
    CQueueThread splash;
    CSetupApp app;
    app.SetSplash(splash.NewHolder());
    EXPECT_FALSE(splash.EndsWithin(100));
    app.SetSplash(nullptr);
    EXPECT_TRUE(splash.EndsWithin(5000));
}

TEST(SetupApp, SetSplashWithTheHeldHolderKeepsIt)
{
    CQueueThread splash;
    CSetupApp app;
    CSplashHolder* holder = splash.NewHolder();
    app.SetSplash(holder);
    app.SetSplash(holder);
    EXPECT_FALSE(splash.EndsWithin(200));
    app.SetSplash(nullptr);
    EXPECT_TRUE(splash.EndsWithin(5000));
}

TEST(SetupApp, NewSplashEndsTheOldOne)
{
    CQueueThread first, second;
    CSetupApp app;
    app.SetSplash(first.NewHolder());
    app.SetSplash(second.NewHolder());
    EXPECT_TRUE(first.EndsWithin(5000));
    EXPECT_FALSE(second.EndsWithin(100));
    app.SetSplash(nullptr);
    EXPECT_TRUE(second.EndsWithin(5000));
}

TEST(SetupApp, DestructorEndsASplashStillUp)
{
    CQueueThread splash;
    {
        CSetupApp app;
        app.SetSplash(splash.NewHolder());
    }
    EXPECT_TRUE(splash.EndsWithin(5000));
}

TEST(SetupApp, UnexpectedExceptionsEndWithTheInternalErrorCode)
{
    TestSupport::CRegistryValueScope traceOn = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OwnRegistryView(), 1);
    Common::Tools::ResetSetupTraceLevel();
    struct Case {
        std::function<void()> thrower;
        const char* trace;
    } cases[] = {
        {[] { throw _com_error(E_OUTOFMEMORY); }, "Setup: Setup stopped by an unexpected error 0x8007000e"},
        {[] { throw std::bad_alloc(); }, "Setup: Setup stopped: out of memory"},
        {[] { throw std::out_of_range("index 9"); }, "Setup: Setup stopped by an unexpected exception: index 9"},
        {[] { throw 42; }, "Setup: Setup stopped by an unexpected exception"},
    };
    for (const Case& c : cases) {
        CSetupApp app;
        std::exception_ptr error;
        try {
            c.thrower();
        } catch (...) {
            error = std::current_exception();
        }
        int exitCode = -1;
        const auto messages = TestSupport::CaptureOwnOutput([&] { exitCode = app.OnUnhandledException(error); });
        EXPECT_EQ(SetupExitInternal, exitCode);
        EXPECT_EQ(std::vector<std::string>{c.trace}, TestSupport::SetupTraceLines(messages));
        EXPECT_EQ(SetupExitInternal, app.ExitInstance());
    }
    Common::Tools::ResetSetupTraceLevel();
}

} // namespace
