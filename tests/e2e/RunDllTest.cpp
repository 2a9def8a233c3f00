// RunDll nodes in a quiet install of the real setup.exe: the 32-bit DLL is called
// inside setup, the 64-bit one through the callbridge it carries, which is gone
// again when setup ends.
#include "tests/dllcall/ProbeLog.h"
#include "tests/e2e/InstallFixture.h"
#include "tests/support/Narrow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using TestSupport::Narrow;

std::string Probe32()
{
    return Narrow(TestSupport::ModuleFolder() + L"dllprobe.dll");
}

std::string Probe64()
{
    return Narrow(std::wstring(COMPANION_BIN_DIR_W) + L"\\dllprobe.dll");
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    for (const std::string& each : lines) {
        if (each == line)
            return true;
    }
    return false;
}

TEST(RunDllInstall, BothBitnessesAreCalledAndCallBridgeGoesWithSetup)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    TestSupport::CProbeLog probe;
    const std::string body = E2E::PreFinish(
        "    <RunDll condition='first' CmdLine='%DLL% 5' FileName='" + Probe32() + "' FileName64='" + Probe64() + "'/>\n"
        "    <RunDll condition='second' CmdLine='%DLL% 0' FileName='" + Probe32() + "' FileName64='" + Probe64() +
        "'/>\n"
        "    <RunDll condition='second' CmdLine='%DLL% 6' FileName='" + Probe32() + "'/>\n");
    const std::wstring package = TestSupport::MakePackage(
        probe.Temp(), {{L"setup.xml", TestSupport::ToBytes(E2E::InstallDocument(body))}}, PackageTools::SBuildOptions());

    const TestSupport::SProcessRun run = E2E::RunSetup({L"/i", package, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    // The third node is skipped: the second one set its condition false.
    EXPECT_EQ((std::vector<std::string>{"32 Setup 5", "64 Setup 5", "32 Setup 0", "64 Setup 0"}), probe.Take());

    const std::vector<std::string> lines = run.TraceLines();
    std::string all;
    for (const std::string& line : lines)
        all += line + "\n";
    EXPECT_TRUE(HasLine(lines, "Setup: 32-bit component registration succeeded")) << all;
    EXPECT_TRUE(HasLine(lines, "Setup: 64-bit component registration succeeded")) << all;
    EXPECT_TRUE(HasLine(lines, "Setup: 32-bit component registration failed")) << all;
    EXPECT_TRUE(HasLine(lines, "Setup: 64-bit component registration failed")) << all;

    const std::string prefix = "Setup: File callbridge.exe successfully extracted to ";
    int extracted = 0;
    for (const std::string& line : lines) {
        if (line.compare(0, prefix.size(), prefix) != 0)
            continue;
        ++extracted;
        std::string path = line.substr(prefix.size());
        if (!path.empty() && path[0] == '"')
            path = path.substr(1, path.size() - 2);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(path.c_str())) << path;
    }
    EXPECT_EQ(1, extracted) << all;
}

} // namespace
