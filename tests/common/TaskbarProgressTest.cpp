// Tests of the taskbar progress.
#include "common/ui/TaskbarProgress.h"

#include "tests/support/PackageFixture.h"
#include "tests/support/RecordingTaskbar.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using UI::CTaskbarProgress;

namespace {

using TestSupport::CTaskbarClassScope;
using TestSupport::SCall;
using TestSupport::State;
using TestSupport::Value;

const HWND kWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x1234));
const HWND kOtherWindow = reinterpret_cast<HWND>(static_cast<UINT_PTR>(0x5678));

class TaskbarProgressTest : public ::testing::Test
{
protected:
    TestSupport::CComScope m_com;
};

TEST_F(TaskbarProgressTest, CopyRunAsTheEngineDrivesIt)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        EXPECT_TRUE(progress.HasTaskbarList());
        EXPECT_EQ(kWindow, progress.GetWindow());
        // No other initialisation call is made on the interface.
        EXPECT_TRUE(shell.Calls().empty());

        progress.SetState(CTaskbarProgress::kNormal);
        progress.m_ullTotal = 3;
        progress.m_ullStep = 1;
        progress.SetValue(0);
        for (int item = 0; item < 3; ++item)
            progress.SetValue(progress.GetCompleted() + progress.m_ullStep);
        EXPECT_EQ(3u, progress.GetCompleted());
        progress.SetState(CTaskbarProgress::kError);
        EXPECT_EQ(CTaskbarProgress::kError, progress.GetState());
        EXPECT_EQ(1, shell.Alive());
    }
    const std::vector<SCall> expected = {
        State(kWindow, 2), Value(kWindow, 0, 3), Value(kWindow, 1, 3), Value(kWindow, 2, 3), Value(kWindow, 3, 3),
        State(kWindow, 4),
        State(kWindow, 0), // the destructor takes the progress off the button
    };
    EXPECT_EQ(expected, shell.Calls());
    EXPECT_EQ(0, shell.Alive()); // and releases the interface
}

TEST_F(TaskbarProgressTest, DestructorResetsOnlyAfterAStateOtherThanNone)
{
    const struct {
        const char* name;
        std::vector<int> states;
        bool bReset;
    } cases[] = {
        {"no state", {}, false},
        {"normal", {2}, true},
        {"indeterminate", {1}, true},
        {"paused", {8}, true},
        {"normal, then none", {2, 0}, false},
        {"none, then error", {0, 4}, true},
    };
    for (const auto& c : cases) {
        CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
        ASSERT_EQ(S_OK, shell.Registered());
        {
            CTaskbarProgress progress;
            ASSERT_TRUE(progress.Init(kWindow));
            progress.SetValue(7);
            for (int state : c.states)
                progress.SetState(state);
        }
        std::vector<SCall> expected = {Value(kWindow, 7, 0)};
        for (int state : c.states)
            expected.push_back(State(kWindow, state));
        if (c.bReset)
            expected.push_back(State(kWindow, 0));
        EXPECT_EQ(expected, shell.Calls()) << c.name;
        EXPECT_EQ(0, shell.Alive()) << c.name;
    }
}

TEST_F(TaskbarProgressTest, WithoutTheInterfaceNothingIsCalledOrRemembered)
{
    const struct {
        const char* name;
        bool bInit;
        CTaskbarClassScope::EMode mode;
    } cases[] = {
        {"before Init", false, CTaskbarClassScope::kRecording},
        {"object without ITaskbarList3", true, CTaskbarClassScope::kWithoutList},
        {"class that cannot be created", true, CTaskbarClassScope::kFailing},
    };
    for (const auto& c : cases) {
        CTaskbarClassScope shell(c.mode);
        ASSERT_EQ(S_OK, shell.Registered());
        {
            CTaskbarProgress progress;
            if (c.bInit) {
                EXPECT_FALSE(progress.Init(kWindow)) << c.name;
                EXPECT_EQ(kWindow, progress.GetWindow()) << c.name;
            }
            EXPECT_FALSE(progress.HasTaskbarList()) << c.name;
            progress.m_ullTotal = 10;
            progress.SetState(CTaskbarProgress::kNormal);
            progress.SetValue(5);
            EXPECT_EQ(0, progress.GetState()) << c.name;
            EXPECT_EQ(0u, progress.GetCompleted()) << c.name;
        }
        EXPECT_TRUE(shell.Calls().empty()) << c.name;
        EXPECT_EQ(0, shell.Alive()) << c.name;
    }
}

TEST_F(TaskbarProgressTest, InitAgainReleasesTheOldInterfaceAndTakesTheNewWindow)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        progress.SetState(CTaskbarProgress::kPaused);
        ASSERT_TRUE(progress.Init(kOtherWindow));
        EXPECT_EQ(2, shell.Created());
        EXPECT_EQ(1, shell.Alive());
        progress.SetState(CTaskbarProgress::kIndeterminate);
    }
    const std::vector<SCall> expected = {State(kWindow, 8), State(kOtherWindow, 1), State(kOtherWindow, 0)};
    EXPECT_EQ(expected, shell.Calls());
    EXPECT_EQ(0, shell.Alive());
}

TEST_F(TaskbarProgressTest, AFailedInitAfterAGoodOneKeepsNoInterface)
{
    CTaskbarClassScope shell(CTaskbarClassScope::kRecording);
    ASSERT_EQ(S_OK, shell.Registered());
    {
        CTaskbarProgress progress;
        ASSERT_TRUE(progress.Init(kWindow));
        shell.SetMode(CTaskbarClassScope::kWithoutList);
        EXPECT_FALSE(progress.Init(kOtherWindow));
        EXPECT_FALSE(progress.HasTaskbarList());
        EXPECT_EQ(2, shell.Created());
        EXPECT_EQ(0, shell.Alive());
        progress.SetState(CTaskbarProgress::kNormal);
        EXPECT_EQ(0, progress.GetState());
    }
    EXPECT_TRUE(shell.Calls().empty());
}

TEST_F(TaskbarProgressTest, TheSystemTaskbarListIsObtained)
{
    // Wine's shell object accepts every call; this only shows the real class and
    // interface are found by the ids used.
    CTaskbarProgress progress;
    ASSERT_TRUE(progress.Init(nullptr));
    progress.m_ullTotal = 4;
    progress.SetState(CTaskbarProgress::kNormal);
    progress.SetValue(2);
    EXPECT_EQ(CTaskbarProgress::kNormal, progress.GetState());
    EXPECT_EQ(2u, progress.GetCompleted());
}

TEST(TaskbarProgressWithoutCom, InitFails)
{
    CTaskbarProgress progress;
    EXPECT_FALSE(progress.Init(kWindow));
    progress.SetState(CTaskbarProgress::kNormal);
    EXPECT_EQ(0, progress.GetState());
}

} // namespace
