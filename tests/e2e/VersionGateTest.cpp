// The Windows version gate, with Wine told to report another Windows to setup.exe.
#include "tests/e2e/SetupRun.h"
#include "tests/support/WindowProbe.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TestSupport::SProcessRun;
using TestSupport::SWindowInfo;

namespace {

bool SetReportedWindows(const wchar_t* version)
{
    return TestSupport::SetRegistryString(HKEY_CURRENT_USER, L"Software\\Wine\\AppDefaults\\setup.exe", L"Version", 0,
                                          version);
}

struct SGateRun
{
    SProcessRun run;
    std::vector<SWindowInfo> boxes;  // every window seen, each once
};

// Runs setup quietly and answers any window it shows with OK.
SGateRun RunAndAnswer()
{
    SGateRun result;
    TestSupport::SProcessOptions options;
    options.timeoutMs = 30000;
    options.onPoll = [&result](DWORD processId) {
        for (const SWindowInfo& window : TestSupport::ProcessWindows(processId)) {
            if (!window.visible || window.title.empty())
                continue;
            bool seen = false;
            for (const SWindowInfo& known : result.boxes)
                seen = seen || known.handle == window.handle;
            if (!seen)
                result.boxes.push_back(window);
            TestSupport::PressDialogButton(window.handle, IDOK);
        }
    };
    result.run = E2E::RunSetup({L"/qn"}, options);
    return result;
}

TEST(VersionGate, Windows2000AndOlderAreRefusedBeforeAnythingElseRuns)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    for (const wchar_t* version : {L"win2k", L"nt40"}) {
        ASSERT_TRUE(SetReportedWindows(version));
        const SGateRun gate = RunAndAnswer();
        ASSERT_TRUE(gate.run.finished) << version;
        EXPECT_EQ(1u, gate.run.exitCode) << version;
        ASSERT_EQ(1u, gate.boxes.size()) << version;
        const SWindowInfo& box = gate.boxes[0];
        EXPECT_EQ(L"Setup Failure", box.title);
        EXPECT_EQ(nullptr, box.owner);
        EXPECT_TRUE(box.hasIconControl);
        bool hasText = false;
        for (const std::wstring& text : box.childTexts)
            hasText = hasText ||
                      text == L"Your operating system is not supported. Upgrade if you want to use this product.";
        EXPECT_TRUE(hasText) << version;
        // "/qn" chose an install, yet the start-up never got as far as its trace.
        EXPECT_TRUE(gate.run.TraceLines().empty()) << version;
    }
}

TEST(VersionGate, WindowsXPAndLaterPassSilently)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    for (const wchar_t* version : {L"winxp", L"win7", L"win10"}) {
        ASSERT_TRUE(SetReportedWindows(version));
        const SGateRun gate = RunAndAnswer();
        ASSERT_TRUE(gate.run.finished) << version;
        EXPECT_EQ(0u, gate.run.exitCode) << version;
        EXPECT_TRUE(gate.boxes.empty()) << version;
        // It went on to look for its package.
        const std::vector<std::string> lines = gate.run.TraceLines();
        ASSERT_FALSE(lines.empty()) << version;
        EXPECT_EQ("Setup: Failed to load setup cfs. File is missing or corrupted.", lines.back()) << version;
    }
}

} // namespace
