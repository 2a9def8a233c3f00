// Tests of the application object.
#include "framework/WinApp.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

enum class EStart { Fail, Run, Throw };

class CTestApp : public CWinApp
{
public:
    explicit CTestApp(EStart start) : m_start(start) {}

    BOOL InitInstance() override
    {
        ++m_nInitCalls;
        if (m_start == EStart::Throw)
            throw std::runtime_error("boom");
        if (m_start == EStart::Run)
            PostQuitMessage(7);
        return m_start == EStart::Run;
    }
    int ExitInstance() override
    {
        ++m_nExitCalls;
        return CWinApp::ExitInstance() + 100;
    }
    int OnUnhandledException(std::exception_ptr error) noexcept override
    {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            m_strError = e.what();
        }
        return 55;
    }

    EStart m_start;
    int m_nInitCalls = 0;
    int m_nExitCalls = 0;
    std::string m_strError;
};

TEST(WinApp, FailedInitGoesStraightToExitInstance)
{
    CTestApp app(EStart::Fail);
    EXPECT_EQ(&app, AfxGetApp());
    EXPECT_EQ(100, AfxWinMain(GetModuleHandleW(nullptr), nullptr, const_cast<LPWSTR>(L"/qn"), SW_SHOW));
    EXPECT_EQ(1, app.m_nInitCalls);
    EXPECT_EQ(1, app.m_nExitCalls);
    EXPECT_STREQ(L"/qn", app.m_lpCmdLine);
}

TEST(WinApp, RunPumpsUntilQuitThenExits)
{
    CTestApp app(EStart::Run);
    EXPECT_EQ(107, AfxWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ(1, app.m_nExitCalls);
}

TEST(WinApp, ExceptionStopsAtTheApplicationBoundary)
{
    CTestApp app(EStart::Throw);
    EXPECT_EQ(55, AfxWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW));
    EXPECT_EQ("boom", app.m_strError);
    EXPECT_EQ(0, app.m_nExitCalls);
}

TEST(WinApp, FirstApplicationObjectStaysTheApplication)
{
    CTestApp first(EStart::Fail);
    {
        CTestApp second(EStart::Fail);
        EXPECT_EQ(&first, AfxGetApp());
    }
    EXPECT_EQ(&first, AfxGetApp());
}

TEST(WinApp, NoApplicationObject)
{
    EXPECT_EQ(nullptr, AfxGetApp());
    EXPECT_EQ(-1, AfxWinMain(GetModuleHandleW(nullptr), nullptr, nullptr, SW_SHOW));
}

} // namespace
