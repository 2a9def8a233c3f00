// Tests of the trace.
#include "common/tools/SetupTrace.h"

#include "tests/support/CaptureOutput.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

using TestSupport::CaptureOwnOutput;
using TestSupport::CRegistryValueScope;

namespace {

const wchar_t kTraceKey[] = L"SOFTWARE\\Quorvant\\Setup";

class SetupTraceTest : public ::testing::Test
{
protected:
    void SetUp() override { Common::Tools::ResetSetupTraceLevel(); }
    void TearDown() override { Common::Tools::ResetSetupTraceLevel(); }

    // Sets the switch in the given view, as a value of the given type and bytes.
    void SetSwitch(REGSAM view, DWORD type, const void* data, DWORD size)
    {
        m_switch.reset(); // put the old value back before the next scope saves it
        m_switch.reset(new CRegistryValueScope(HKEY_LOCAL_MACHINE, kTraceKey, L"LogLevel", view, type, data, size));
        ASSERT_TRUE(m_switch->Succeeded());
    }
    void SetLevel(DWORD level) { SetSwitch(TestSupport::OwnRegistryView(), REG_DWORD, &level, sizeof(level)); }
    void RemoveSwitch()
    {
        m_switch.reset();
        m_switch.reset(new CRegistryValueScope(HKEY_LOCAL_MACHINE, kTraceKey, L"LogLevel",
                                               TestSupport::OwnRegistryView()));
        ASSERT_TRUE(m_switch->Succeeded());
    }

    std::unique_ptr<CRegistryValueScope> m_switch;
    std::unique_ptr<CRegistryValueScope> m_otherView;
};

TEST_F(SetupTraceTest, SwitchValues)
{
    const DWORD one = 1, zero = 0, minusFive = static_cast<DWORD>(-5);
    const unsigned long long wide = 1;
    const unsigned short narrow = 1;
    struct Case {
        const char* name;
        DWORD type;
        const void* data;
        DWORD size;
        bool on;
    } cases[] = {
        {"dword 1", REG_DWORD, &one, 4, true},
        {"dword -5", REG_DWORD, &minusFive, 4, true},
        {"dword 0", REG_DWORD, &zero, 4, false},
        {"binary of 4 bytes", REG_BINARY, &one, 4, true},
        {"qword", REG_QWORD, &wide, 8, false},
        {"binary of 2 bytes", REG_BINARY, &narrow, 2, false},
    };
    for (const Case& c : cases) {
        Common::Tools::ResetSetupTraceLevel();
        SetSwitch(TestSupport::OwnRegistryView(), c.type, c.data, c.size);
        const auto messages = CaptureOwnOutput([] { SetupTrace(L"probe"); });
        if (c.on) {
            EXPECT_EQ(std::vector<std::string>{"Setup: probe\n"}, messages) << c.name;
        } else {
            EXPECT_TRUE(messages.empty()) << c.name;
        }
    }
}

TEST_F(SetupTraceTest, AbsentSwitchGivesNoLine)
{
    RemoveSwitch();
    EXPECT_TRUE(CaptureOwnOutput([] { SetupTrace(L"probe %d", 1); }).empty());
}

TEST_F(SetupTraceTest, SwitchIsReadInTheProgramsOwnView)
{
    RemoveSwitch();
    const DWORD one = 1;
    m_otherView.reset(new CRegistryValueScope(HKEY_LOCAL_MACHINE, kTraceKey, L"LogLevel",
                                              TestSupport::OtherRegistryView(), REG_DWORD, &one, sizeof(one)));
    ASSERT_TRUE(m_otherView->Succeeded());
    EXPECT_TRUE(CaptureOwnOutput([] { SetupTrace(L"probe"); }).empty());
}

TEST_F(SetupTraceTest, SwitchIsReadOncePerProcess)
{
    SetLevel(1);
    const auto first = CaptureOwnOutput([] { SetupTrace(L"first"); });
    RemoveSwitch();
    const auto second = CaptureOwnOutput([] { SetupTrace(L"second"); });
    EXPECT_EQ(std::vector<std::string>{"Setup: first\n"}, first);
    EXPECT_EQ(std::vector<std::string>{"Setup: second\n"}, second);
}

TEST_F(SetupTraceTest, LineFeedFollowsTheFormatNotTheText)
{
    SetLevel(1);
    const auto messages = CaptureOwnOutput([] {
        SetupTrace(L"no line feed");
        SetupTrace(L"has line feed\n");
        SetupTrace(L"%s", L"text with line feed\n");
        SetupTrace(L"");
        SetupTrace(L"%d files, %s|%S", 3, L"wide", "narrow");
    });
    const std::vector<std::string> expected = {
        "Setup: no line feed\n",
        "Setup: has line feed\n",
        "Setup: text with line feed\n\n",
        "Setup: \n",
        "Setup: 3 files, wide|narrow\n",
    };
    EXPECT_EQ(expected, messages);
}

TEST_F(SetupTraceTest, MethodEntryLine)
{
    SetLevel(1);
    const auto messages = CaptureOwnOutput([] { SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::CopyFiles"); });
    EXPECT_EQ(std::vector<std::string>{"Setup: InstallManager : CInstallManager::CopyFiles >\n"}, messages);
}

TEST_F(SetupTraceTest, NullFormatIsIgnored)
{
    SetLevel(1);
    EXPECT_TRUE(CaptureOwnOutput([] { SetupTrace(nullptr); }).empty());
}

} // namespace
