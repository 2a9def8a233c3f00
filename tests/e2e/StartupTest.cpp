// setup.exe started with various command lines, in a prefix of its own.
#include "tests/e2e/SetupRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TestSupport::SProcessRun;

namespace {

const char kNotLoaded[] = "Setup: Failed to load setup cfs. File is missing or corrupted.";
const char kNotFound[] = "Setup: Install package load status: failed";

// The run ended at the package load, after every source failed.
void ExpectNoPackage(const SProcessRun& run, const std::string& what)
{
    const std::vector<std::string> lines = run.TraceLines();
    ASSERT_GE(lines.size(), 2u) << what;
    EXPECT_EQ(kNotFound, lines[lines.size() - 2]) << what;
    EXPECT_EQ(kNotLoaded, lines.back()) << what;
}

TEST(Startup, ArgumentsWithoutAnActionEndAfterTheParseError)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    for (const std::vector<std::wstring>& args : std::vector<std::vector<std::wstring>>{
             {L"/qn", L"/norestart"}, {L"/p"}, {L"/x", L"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}"}, {L"/bogus"}}) {
        const SProcessRun run = E2E::RunSetup(args);
        ASSERT_TRUE(run.finished) << args[0];
        EXPECT_EQ(0u, run.exitCode) << args[0];
        EXPECT_EQ(std::vector<std::string>{"Setup: parse command line error"}, run.TraceLines()) << args[0];
    }
}

TEST(Startup, EveryActionEndsAtThePackageLoadWhenNoPackageIsFound)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    for (const std::vector<std::wstring>& args : std::vector<std::vector<std::wstring>>{
             {L"/qn"},
             {L"/i", L"C:\\missing\\package.cfs", L"/qn"},
             {L"/x{0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9}", L"/qn"},
             {L"/config", L"C:\\missing\\list.xml", L"/qn"}}) {
        const SProcessRun run = E2E::RunSetup(args);
        ASSERT_TRUE(run.finished) << args[0];
        EXPECT_EQ(0u, run.exitCode) << args[0];
        ExpectNoPackage(run, std::string(args[0].begin(), args[0].end()));
    }
}

TEST(Startup, NoArgumentsMeansInstall)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    const SProcessRun run = E2E::RunSetup({});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ExpectNoPackage(run, "no arguments");
}

TEST(Startup, TraceSwitchInThe32BitView)
{
    const std::vector<std::wstring> args = {L"/qn", L"/norestart"};

    SProcessRun run = E2E::RunSetup(args);
    ASSERT_TRUE(run.finished);
    EXPECT_TRUE(run.messages.empty()) << "no LogLevel value";

    ASSERT_TRUE(TestSupport::SetRegistryDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel",
                                              KEY_WOW64_64KEY, 1));
    run = E2E::RunSetup(args);
    EXPECT_TRUE(run.messages.empty()) << "LogLevel only in the 64-bit view";

    for (DWORD level : {DWORD(1), static_cast<DWORD>(-5)}) {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(level));
        run = E2E::RunSetup(args);
        EXPECT_EQ(std::vector<std::string>{"Setup: parse command line error\n"}, run.messages) << level;
    }

    ASSERT_TRUE(E2E::SetSetupTraceLevel(0));
    run = E2E::RunSetup(args);
    EXPECT_TRUE(run.messages.empty()) << "LogLevel 0";
}

} // namespace
