// callbridge.exe as setup starts it: the exit code is the run's result, the
// records go to its own debug log.
#include "tests/dllcall/ProbeLog.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TestSupport::Narrow;

std::wstring CallBridge()
{
    return TestSupport::ModuleFolder() + L"callbridge.exe";
}

std::wstring ProbeDll()
{
    return TestSupport::ModuleFolder() + L"dllprobe.dll";
}

class CallBridgeTest : public ::testing::Test
{
protected:
    TestSupport::SProcessRun Run(const std::wstring& dll, const std::vector<std::wstring>& arguments)
    {
        std::vector<std::wstring> all{dll};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return TestSupport::RunProcess(CallBridge(), all);
    }

    TestSupport::CProbeLog m_probe;
};

TEST_F(CallBridgeTest, ExitCodeIsTheResultOfTheCall)
{
    const struct {
        std::vector<std::wstring> arguments;
        DWORD exitCode;
        const char* call;
    } cases[] = {
        {{L"ProbeText", L"'hello'"}, 1, "64 ProbeText 'hello'"},
        {{L"ProbeText", L"'zero'"}, 0, "64 ProbeText 'zero'"},
        {{L"ProbeValue", L"7"}, 1, "64 ProbeValue 7"},
        {{L"ProbeValue", L"0"}, 0, "64 ProbeValue 0"},
        {{L"ProbeValuesText", L"1", L"2", L"'z'"}, 1, "64 ProbeValuesText 1 2 'z'"},
        {{L"ProbeValues", L"3", L"4"}, 1, "64 ProbeValues 3 4"},
        {{L"ProbeValueText", L"9", L"'y'"}, 1, "64 ProbeValueText 9 'y'"},
        {{L"ProbeWide", L"1", L"2", L"3", L"'one'", L"'two'"}, 1, "64 ProbeWide 1 2 3 'one' 'two'"},
        {{L"ProbeNone"}, 1, "64 ProbeNone"},
        // Too many arguments, no export, an untyped argument: no call.
        {{L"ProbeValues", L"1", L"2", L"3", L"4"}, 0, nullptr},
        {{L"NoSuchExport"}, 0, nullptr},
        {{L"ProbeValue", L"x"}, 0, nullptr},
        {{}, 0, nullptr},
    };
    for (const auto& c : cases) {
        const TestSupport::SProcessRun run = Run(ProbeDll(), c.arguments);
        const std::string what = c.arguments.empty() ? std::string("(none)") : Narrow(c.arguments[0]);
        ASSERT_TRUE(run.started && run.finished) << what;
        EXPECT_EQ(c.exitCode, run.exitCode) << what;
        const std::vector<std::string> calls = m_probe.Take();
        if (c.call == nullptr)
            EXPECT_TRUE(calls.empty()) << what;
        else
            EXPECT_EQ(std::vector<std::string>{c.call}, calls) << what;
    }
}

TEST_F(CallBridgeTest, MissingDllGivesZero)
{
    const TestSupport::SProcessRun run = Run(m_probe.Temp() / L"missing.dll", {L"ProbeNone"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
}

TEST_F(CallBridgeTest, QuotedDllPathWithASpace)
{
    const std::wstring folder = m_probe.Temp() / L"with space";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(ProbeDll().c_str(), (folder + L"\\dllprobe.dll").c_str(), TRUE));
    const TestSupport::SProcessRun run = Run(folder + L"\\dllprobe.dll", {L"ProbeFolder"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(1u, run.exitCode);
    EXPECT_EQ(std::vector<std::string>{"64 ProbeFolder " + Narrow(folder)}, m_probe.Take());
}

TEST_F(CallBridgeTest, ProgramRecordComesFirst)
{
    const TestSupport::SProcessRun run = Run(ProbeDll(), {L"ProbeValue", L"5"});
    ASSERT_TRUE(run.finished);
    const std::vector<std::string> records = TestSupport::LogRecords(run.messages);
    ASSERT_EQ(12u, records.size());
    EXPECT_EQ("[T] wWinMain(13)", records[0]);
    EXPECT_EQ("[T] CRunDLL::Run(15) - " + Narrow(ProbeDll()) + " ProbeValue 5", records[1]);
    EXPECT_EQ("[T] CDllCaller::CallEntryPoint(67) - Setup return 5", records[11]);
}

} // namespace
