// Tests of the DLL runner.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/PathVariables.h"
#include "tests/dllcall/DllLogSwitch.h"
#include "tests/dllcall/ProbeLog.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using TestSupport::Joined;
using TestSupport::HasLine;

using TestSupport::Narrow;
using TestSupport::TraceOf;

std::wstring Probe32()
{
    return TestSupport::ModuleFolder() + L"dllprobe.dll";
}

std::wstring Probe64()
{
    return std::wstring(COMPANION_BIN_DIR_W) + L"\\dllprobe.dll";
}

int CountStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

// The records of the in-process DLL-call library show whether it was handed a
// command line.
::testing::Environment* const g_pDllLogSwitch = ::testing::AddGlobalTestEnvironment(new TestSupport::CDllLogSwitch);

class RunDllTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        // callbridge comes out of setup.exe's resources, as in the running program.
        m_hSetup = LoadLibraryExW((TestSupport::ModuleFolder() + L"setup.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_hSetup);
        GetCurrentDirectoryW(MAX_PATH, m_before);
    }

    void TearDown() override
    {
        CEngineTest::TearDown();
        if (m_hSetup != nullptr)
            FreeLibrary(m_hSetup);
        SetCurrentDirectoryW(m_before);
    }

    // Loads a document whose script "S" holds the node, and runs that script through
    // the keyword table; gives the traces. m_handed tells whether the in-process
    // library was handed a command line.
    std::vector<std::string> RunNode(const std::string& attributes, HMODULE resources = nullptr)
    {
        EXPECT_TRUE(LoadDocument("<Interface><S><RunDll " + attributes + "/></S></Interface>"));
        Manager().m_DllRunner.m_hResourceModule = resources != nullptr ? resources : m_hSetup;
        std::vector<std::string> output;
        const std::vector<std::string> lines = TraceOf(
            [this] {
                Common::Config::CXMLNodeList nodes;
                Manager().m_pSettings->SelectNodes(L"//Interface/S/*", nodes);
                Manager().RunScript(nodes, false);
            },
            output);
        m_handed = std::any_of(output.begin(), output.end(),
                               [](const std::string& message) { return message.find("] CRunDLL::Run(") != std::string::npos; });
        return lines;
    }

    // The node called directly, for its result.
    bool CallNode(const std::string& attributes)
    {
        EXPECT_TRUE(LoadDocument("<Interface><S><RunDll " + attributes + "/></S></Interface>"));
        Manager().m_DllRunner.m_hResourceModule = m_hSetup;
        return Manager().RunDll(Node());
    }

    Common::Config::CXMLElement Node()
    {
        Common::Config::CXMLElement node;
        Manager().m_pSettings->GetElement(L"//Interface/S/RunDll", node);
        return node;
    }

    bool Condition(const wchar_t* name) const
    {
        const auto found = m_pManager->m_SetupOptions.m_Conditions.find(name);
        return found != m_pManager->m_SetupOptions.m_Conditions.end() && found->second;
    }

    TestSupport::CProbeLog m_probe;
    HMODULE m_hSetup = nullptr;
    bool m_handed = false;
    wchar_t m_before[MAX_PATH] = L"";
};

TEST_F(RunDllTest, CallsTheDllInProcessAndTheSixtyFourBitOneThroughCallBridge)
{
    const std::vector<std::string> lines =
        RunNode("condition='reg' CmdLine='%DLL% 7' FileName='" + Narrow(Probe32()) + "' FileName64='" +
                Narrow(Probe64()) + "'");
    EXPECT_EQ((std::vector<std::string>{"32 Setup 7", "64 Setup 7"}), m_probe.Take());
    EXPECT_TRUE(HasLine(lines, "Setup: InstallManager : CInstallManager::RunDll >")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: CmdLine pattern: %DLL% 7, file32: " + Narrow(Probe32()) +
                                   ", file64: " + Narrow(Probe64()) + ", EntryPoint: Setup"))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: 32-bit component registration succeeded")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: DllRunner : CDllRunner::Run64 >")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: 64-bit component registration succeeded")) << Joined(lines);
    EXPECT_TRUE(Condition(L"reg"));
}

TEST_F(RunDllTest, ResultsOfTheTwoCalls)
{
    const std::string missing = Narrow(m_probe.Temp() / L"missing.dll");
    const struct {
        std::string attributes;
        bool result;
        std::vector<std::string> calls;
        const char* line32;
        const char* line64; // null: no 64-bit call
        bool handed;        // the in-process library was handed a command line
    } cases[] = {
        // No 64-bit DLL named, or none there: the 32-bit call alone decides.
        {"CmdLine='%DLL% 5' FileName='" + Narrow(Probe32()) + "'", true, {"32 Setup 5"}, "succeeded", nullptr, true},
        {"CmdLine='%DLL% 0' FileName='" + Narrow(Probe32()) + "' FileName64='" + missing + "'", false, {"32 Setup 0"},
         "failed", nullptr, true},
        // The 32-bit call fails, the 64-bit one is made and succeeds: both lines say failed.
        {"CmdLine='%DLL% 3' FileName='" + missing + "' FileName64='" + Narrow(Probe64()) + "'", false,
         {"64 Setup 3"}, "failed", "failed", true},
        // No arguments: success whatever the export returns.
        {"CmdLine='%DLL%' EntryPoint='ProbeNone' FileName='" + Narrow(Probe32()) + "' FileName64='" +
             Narrow(Probe64()) + "'",
         true, {"32 ProbeNone", "64 ProbeNone"}, "succeeded", "succeeded", true},
        {"CmdLine='%DLL% 1 2' EntryPoint='ProbeValues' FileName='" + Narrow(Probe32()) + "' FileName64='" +
             Narrow(Probe64()) + "'",
         true, {"32 ProbeValues 1 2", "64 ProbeValues 1 2"}, "succeeded", "succeeded", true},
        // An empty pattern: nothing to parse.
        {"FileName='" + Narrow(Probe32()) + "'", false, {}, "failed", nullptr, true},
        // No "%DLL%": the pattern alone is the command line.
        {"CmdLine='" + Narrow(Probe32()) + " ProbeText &apos;p&apos;' FileName='nothing.dll'", true,
         {"32 ProbeText 'p'"}, "succeeded", nullptr, true},
        // Twice: the second copy becomes two untyped arguments.
        {"CmdLine='%DLL% %DLL%' FileName='" + Narrow(Probe32()) + "'", false, {}, "failed", nullptr, true},
        // Without a file name, or with blanks alone, the library is not asked and
        // nothing is loaded, not even a DLL named like the entry point that lies in
        // setup's own folder.
        {"CmdLine='%DLL% 1' EntryPoint='Setup'", false, {}, "failed", nullptr, false},
        {"CmdLine='%DLL% Setup 7' EntryPoint='dllprobe.dll'", false, {}, "failed", nullptr, false},
        {"CmdLine='%DLL% 1' FileName='   ' EntryPoint='Setup'", false, {}, "failed", nullptr, false},
        {"CmdLine='%DLL% Setup 7' FileName=' ' EntryPoint='dllprobe.dll'", false, {}, "failed", nullptr, false},
        {"CmdLine='%DLL% Setup 7' FileName='&#9;' EntryPoint='dllprobe.dll'", false, {}, "failed", nullptr, false},
        // The 64-bit call is still made.
        {"CmdLine='%DLL% 7' FileName64='" + Narrow(Probe64()) + "'", false, {"64 Setup 7"}, "failed", "failed",
         false},
        {"CmdLine='%DLL% 7' FileName=' ' FileName64='" + Narrow(Probe64()) + "'", false, {"64 Setup 7"}, "failed",
         "failed", false},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> lines = RunNode("condition='r' " + c.attributes);
        const std::string what = c.attributes + "\n" + Joined(lines);
        EXPECT_EQ(c.result, Condition(L"r")) << what;
        EXPECT_EQ(c.calls, m_probe.Take()) << what;
        EXPECT_EQ(c.handed, m_handed) << what;
        EXPECT_TRUE(HasLine(lines, std::string("Setup: 32-bit component registration ") + c.line32)) << what;
        if (c.line64 != nullptr)
            EXPECT_TRUE(HasLine(lines, std::string("Setup: 64-bit component registration ") + c.line64)) << what;
        else
            EXPECT_EQ(0, CountStarting(lines, "Setup: 64-bit component registration")) << what;
    }
    EXPECT_TRUE(CallNode("CmdLine='%DLL% 9' FileName='" + Narrow(Probe32()) + "'"));
    EXPECT_FALSE(CallNode("CmdLine='%DLL% 0' FileName='" + Narrow(Probe32()) + "'"));
}

TEST_F(RunDllTest, FileNameWithSpacesIsQuotedAndVariablesAreExpanded)
{
    const std::wstring folder = m_probe.Temp() / L"with space";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(Probe32().c_str(), (folder + L"\\dllprobe.dll").c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(Probe64().c_str(), (folder + L"\\dllprobe64.dll").c_str(), TRUE));
    ASSERT_TRUE(GetPathVariables().Define(L"%RunDllFolder%", folder.c_str()));
    const std::vector<std::string> lines =
        RunNode("CmdLine='%DLL% 4' FileName='%RunDllFolder%\\dllprobe.dll' FileName64='%RunDllFolder%\\dllprobe64.dll'");
    EXPECT_EQ((std::vector<std::string>{"32 Setup 4", "64 Setup 4"}), m_probe.Take()) << Joined(lines);
    // The 32-bit DLL's folder stays the current one.
    wchar_t current[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, current);
    EXPECT_EQ(folder, std::wstring(current));
}

TEST_F(RunDllTest, CallBridgeIsExtractedOnceAndReused)
{
    // A temporary folder whose path holds a space: the program's path is quoted.
    const std::wstring temp = m_probe.Temp() / L"temp with space";
    ASSERT_TRUE(CreateDirectoryW(temp.c_str(), nullptr));
    wchar_t oldTmp[MAX_PATH] = L"";
    const DWORD hadTmp = GetEnvironmentVariableW(L"TMP", oldTmp, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", temp.c_str()));
    ASSERT_TRUE(LoadDocument("<Interface/>"));
    Manager().m_DllRunner.m_hResourceModule = m_hSetup;
    const std::wstring arguments = Probe64() + L" ProbeValue 2";
    std::vector<std::string> lines;
    lines = TraceOf([&] {
        EXPECT_EQ(1, Manager().m_DllRunner.Run64(nullptr, arguments.c_str()));
        EXPECT_EQ(0, Manager().m_DllRunner.Run64(nullptr, (Probe64() + L" ProbeValue 0").c_str()));
    });
    SetEnvironmentVariableW(L"TMP", hadTmp != 0 && hadTmp < MAX_PATH ? oldTmp : nullptr);
    EXPECT_EQ(1, CountStarting(lines, "Setup: File callbridge.exe successfully extracted to \"" + Narrow(temp) + "\\"))
        << Joined(lines);
    EXPECT_EQ(1, CountStarting(lines, "Setup: File callbridge.exe successfully extracted to ")) << Joined(lines);
    EXPECT_EQ((std::vector<std::string>{"64 ProbeValue 2", "64 ProbeValue 0"}), m_probe.Take());
}

TEST_F(RunDllTest, SkippedByItsConditionAndFailuresOfTheRunner)
{
    // A false condition: nothing is called and the result is true.
    ASSERT_TRUE(LoadDocument("<Interface><S><RunDll condition='off' CmdLine='%DLL% 1' FileName='" +
                             Narrow(Probe32()) + "'/></S></Interface>"));
    Manager().m_SetupOptions.SetCondition(L"off", false);
    EXPECT_TRUE(Manager().RunDll(Node()));
    EXPECT_TRUE(m_probe.Take().empty());

    // callbridge cannot be written (no resource): traced, the result is false.
    const HMODULE self = GetModuleHandleW(nullptr);
    const std::vector<std::string> lines = RunNode(
        "condition='r' CmdLine='%DLL% 1' FileName='" + Narrow(Probe32()) + "' FileName64='" + Narrow(Probe64()) + "'",
        self);
    EXPECT_TRUE(HasLine(lines, "Setup: Unexpected error during component registration")) << Joined(lines);
    EXPECT_FALSE(Condition(L"r"));
    EXPECT_EQ((std::vector<std::string>{"32 Setup 1"}), m_probe.Take());
}

} // namespace
