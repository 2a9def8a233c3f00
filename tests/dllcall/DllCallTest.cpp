// Tests of the DLL-call library.
#include "dllcall/CmdLineParser.h"
#include "dllcall/RunDLL.h"

#include "tests/dllcall/DllLogSwitch.h"
#include "tests/dllcall/ProbeLog.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Parser::CCmdLineParser;
using Parser::CParam;
using TestSupport::Narrow;

namespace {

::testing::Environment* const g_pLogSwitch = ::testing::AddGlobalTestEnvironment(new TestSupport::CDllLogSwitch);

std::wstring ProbeDll()
{
    return TestSupport::ModuleFolder() + L"dllprobe.dll";
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

// ---- Parsing ------------------------------------------------------------

struct SParsed
{
    int type;
    std::string text;
    DWORD value;
};

TEST(DllCallParserTest, TokensQuotesAndArgumentTypes)
{
    const struct {
        const wchar_t* commandLine;
        bool ok;
        const wchar_t* dll;
        const char* entry;
        std::vector<SParsed> params;
    } cases[] = {
        {L"C:\\p\\a.dll Fn", true, L"C:\\p\\a.dll", "Fn", {}},
        // A quoted path is joined back and loses its quotes; runs of spaces are one.
        {L"  \"C:\\a b\\x.dll\"   Fn  5", true, L"C:\\a b\\x.dll", "Fn", {{CParam::DWORD, "5", 5}}},
        {L"\"C:\\a  b\\x.dll\" Fn", true, L"C:\\a b\\x.dll", "Fn", {}},
        // A tab is no separator.
        {L"x.dll Fn\t1", true, L"x.dll", "Fn\t1", {}},
        // Quotes inside a token that does not begin with one stay.
        {L"a\"b.dll Fn", true, L"a\"b.dll", "Fn", {}},
        {L"\"a\"b\".dll\" Fn", true, L"ab.dll", "Fn", {}},
        {L"x.dll Fn 'hi there'", false, L"x.dll", "Fn", {}},
        {L"x.dll Fn \"'hi there'\" ''", true, L"x.dll", "Fn", {{CParam::String, "hi there", 0}, {CParam::String, "", 0}}},
        {L"x.dll Fn 12abc -1 4294967295 '7'", true, L"x.dll", "Fn",
         {{CParam::DWORD, "12abc", 12}, {CParam::DWORD, "-1", 4294967295u}, {CParam::DWORD, "4294967295", 4294967295u},
          {CParam::String, "7", 0}}},
        {L"x.dll Fn 1 '", false, L"x.dll", "Fn", {{CParam::DWORD, "1", 1}}},
        {L"x.dll Fn abc 1", false, L"x.dll", "Fn", {}},
        // An unclosed double quote empties the token.
        {L"\"C:\\a b.dll Fn 1", false, L"", "", {}},
        {L"x.dll Fn \"1 2", false, L"x.dll", "Fn", {}},
        {L"x.dll", false, L"x.dll", "", {}},
        {L"", false, L"", "", {}},
        {L"   ", false, L"", "", {}},
    };
    for (const auto& c : cases) {
        CCmdLineParser parser;
        const std::string what = Narrow(c.commandLine);
        EXPECT_EQ(c.ok, parser.ParseCmdLine(c.commandLine)) << what;
        EXPECT_EQ(std::wstring(c.dll), parser.m_strDllPath) << what;
        EXPECT_EQ(std::string(c.entry), parser.m_strEntryPoint) << what;
        ASSERT_EQ(c.params.size(), parser.m_Params.size()) << what;
        for (size_t i = 0; i < c.params.size(); ++i) {
            EXPECT_EQ(c.params[i].type, parser.m_Params[i].m_nType) << what << " #" << i;
            EXPECT_EQ(c.params[i].text, parser.m_Params[i].m_strText) << what << " #" << i;
            EXPECT_EQ(c.params[i].value, parser.m_Params[i].m_dwValue) << what << " #" << i;
        }
    }
}

TEST(DllCallParserTest, ParseParamAlone)
{
    const struct {
        const wchar_t* token;
        int type;
        const char* text;
        DWORD value;
    } cases[] = {
        {L"''", CParam::String, "", 0},     {L"'a'", CParam::String, "a", 0}, {L"'", CParam::Unknown, "'", 0},
        {L"\t42", CParam::DWORD, "\t42", 42}, {L"x1", CParam::Unknown, "x1", 0}, {L"", CParam::Unknown, "", 0},
    };
    for (const auto& c : cases) {
        CParam param;
        param.ParseParam(c.token);
        EXPECT_EQ(c.type, param.m_nType) << Narrow(c.token);
        EXPECT_EQ(std::string(c.text), param.m_strText) << Narrow(c.token);
        EXPECT_EQ(c.value, param.m_dwValue) << Narrow(c.token);
    }
}

// ---- Calls in process ---------------------------------------------------

class DllCallRunTest : public ::testing::Test
{
protected:
    int Run(const std::wstring& arguments) { return CRunDLL().Run((ProbeDll() + L" " + arguments).c_str()); }

    TestSupport::CProbeLog m_probe;
};

TEST_F(DllCallRunTest, EachCallShapePassesItsArgumentsAndTheResultDecides)
{
    const std::string bits = sizeof(void*) == 8 ? "64 " : "32 ";
    const struct {
        const wchar_t* arguments;
        int result;
        const char* call; // what the DLL received; null: not called
    } cases[] = {
        {L"ProbeText 'hello'", 1, "ProbeText 'hello'"},
        {L"ProbeText 'zero'", 0, "ProbeText 'zero'"},
        {L"ProbeText ''", 1, "ProbeText ''"},
        {L"ProbeValue 7", 1, "ProbeValue 7"},
        {L"ProbeValue 0", 0, "ProbeValue 0"},
        {L"ProbeValue -1", 1, "ProbeValue 4294967295"},
        {L"ProbeValuesText 1 2 'x y'", 0, nullptr},
        {L"ProbeValuesText 1 2 \"'x y'\"", 1, "ProbeValuesText 1 2 'x y'"},
        {L"ProbeValues 3 4", 1, "ProbeValues 3 4"},
        {L"ProbeValues 0 0", 0, "ProbeValues 0 0"},
        {L"ProbeValueText 9 'y'", 1, "ProbeValueText 9 'y'"},
        // Shape 6: a String among the numbers counts 0, a number among the texts passes its digits.
        {L"ProbeWide 1 'a' 3 'wide' 42", 1, "ProbeWide 1 0 3 'wide' '42'"},
        // Without arguments the result is success whatever the export returns.
        {L"ProbeNone", 1, "ProbeNone"},
        // No shape: nothing is called.
        {L"ProbeValues 'a' 1", 0, nullptr},
        {L"ProbeText 'a' 'b' 'c'", 0, nullptr},
        {L"ProbeValues 1 2 3 4", 0, nullptr},
        {L"ProbeWide 1 2 3 4 5 6", 0, nullptr},
        {L"NoSuchExport", 0, nullptr},
    };
    for (const auto& c : cases) {
        const std::string what = Narrow(c.arguments);
        EXPECT_EQ(c.result, Run(c.arguments)) << what;
        const std::vector<std::string> calls = m_probe.Take();
        if (c.call == nullptr) {
            EXPECT_TRUE(calls.empty()) << what << "\n" << Joined(calls);
        } else {
            EXPECT_EQ(std::vector<std::string>{bits + c.call}, calls) << what;
        }
    }
}

TEST_F(DllCallRunTest, MissingDllOrBadCommandLineFails)
{
    EXPECT_EQ(0, CRunDLL().Run((m_probe.Temp() / L"missing.dll ProbeNone").c_str()));
    EXPECT_EQ(0, CRunDLL().Run(L""));
    EXPECT_EQ(0, CRunDLL().Run(nullptr));
    EXPECT_EQ(0, CRunDLL().Run(L"dllprobe.dll"));
    EXPECT_TRUE(m_probe.Take().empty());
}

TEST_F(DllCallRunTest, QuotedPathWithSpaceAndTheDllFolderBecomesCurrent)
{
    const std::wstring folder = m_probe.Temp() / L"with space";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(ProbeDll().c_str(), (folder + L"\\dllprobe.dll").c_str(), TRUE));
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);

    EXPECT_EQ(1, CRunDLL().Run((L"\"" + folder + L"\\dllprobe.dll\" ProbeFolder").c_str()));
    const std::string bits = sizeof(void*) == 8 ? "64 " : "32 ";
    EXPECT_EQ(std::vector<std::string>{bits + "ProbeFolder " + Narrow(folder)}, m_probe.Take());
    SetCurrentDirectoryW(before);
    // The module is freed after the run: the file can go.
    EXPECT_TRUE(DeleteFileW((folder + L"\\dllprobe.dll").c_str()));
}

// A bare file name has no folder to change to; the load searches as usual and
// finds the DLL beside the program.
TEST_F(DllCallRunTest, BareDllNameKeepsTheCurrentDirectory)
{
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    int result = -1;
    const auto records = TestSupport::LogRecords(
        TestSupport::CaptureOwnOutput([&] { result = CRunDLL().Run(L"dllprobe.dll ProbeValue 3"); }));
    wchar_t after[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, after);
    EXPECT_EQ(1, result);
    EXPECT_EQ(std::wstring(before), std::wstring(after));
    ASSERT_GE(records.size(), 5u) << Joined(records);
    EXPECT_EQ("[T] CDllCaller::CDllCaller(12) - Dll path: dllprobe.dll\"\n"
              "[T] CDllCaller::CDllCaller(15) - Set current directory: \" Failed",
              records[4]);
    const std::string bits = sizeof(void*) == 8 ? "64 " : "32 ";
    EXPECT_EQ(std::vector<std::string>{bits + "ProbeValue 3"}, m_probe.Take());
}

// An export called with fewer or more arguments than it takes: the 32-bit callee
// removes its own parameter count from the stack, which must not wreck the caller.
TEST_F(DllCallRunTest, ExportWithAnotherParameterCountLeavesTheCallerIntact)
{
    for (int i = 0; i < 50; ++i) {
        Run(L"ProbeValues 5");
        Run(L"ProbeValue 1 2");
        Run(L"ProbeNone 1 2 'x'");
    }
    const std::vector<std::string> calls = m_probe.Take();
    ASSERT_EQ(150u, calls.size());
    EXPECT_NE(std::string::npos, calls[0].find("ProbeValues 5 ")) << calls[0];
    EXPECT_NE(std::string::npos, calls[1].find("ProbeValue 1")) << calls[1];
    EXPECT_NE(std::string::npos, calls[2].find("ProbeNone")) << calls[2];
    EXPECT_EQ(1, Run(L"ProbeValue 3"));
}

// ---- Debug log ----------------------------------------------------------

TEST_F(DllCallRunTest, RecordsOfASuccessfulCall)
{
    const std::string dll = Narrow(ProbeDll());
    std::string folder = dll.substr(0, dll.rfind('\\'));
    if (folder.size() == 2)
        folder += "\\";
    const std::string commandLine = dll + " ProbeValue 7";
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    int result = -1;
    const auto records =
        TestSupport::LogRecords(TestSupport::CaptureOwnOutput([&] { result = Run(L"ProbeValue 7"); }));
    SetCurrentDirectoryW(before);
    EXPECT_EQ(1, result);
    const std::vector<std::string> expected = {
        "[T] CRunDLL::Run(15) - " + commandLine,
        "[T] Parser::CCmdLineParser::ParseCmdLine(18) - Command line: " + commandLine,
        "[T] Parser::CCmdLineParser::ParseCmdLine(46) - Argument: 7 Type = [T] Parser::CParam::ParseParam(44) - DWORD",
        "[T] CRunDLL::Run(17) - Try load dll = \"" + dll + "\"  - [T] CDllCaller::CDllCaller(11)",
        "[T] CDllCaller::CDllCaller(12) - Dll path: " + dll + "\"\n[T] CDllCaller::CDllCaller(15) - Set current directory: " +
            folder + "\" OK",
        "[T] CRunDLL::Run(19) - Succesful",
        "[T] CDllCaller::CallEntryPoint(25) - Try obtain entry point of 'ProbeValue'",
        "[T] CDllCaller::CallEntryPoint(29) - Entry point found",
        "[T] CDllCaller::CallEntryPoint(33) - Use function prototype 2",
        "[T] CDllCaller::CallEntryPoint(34) - Try make call",
        "[T] CDllCaller::CallEntryPoint(67) - Setup return 7",
    };
    EXPECT_EQ(expected, records) << Joined(records);
}

TEST_F(DllCallRunTest, RecordsOfFailures)
{
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    const struct {
        std::wstring arguments;
        std::vector<std::string> tail; // the last records
        size_t count;
    } cases[] = {
        // An untyped argument: the parse ends there.
        {L"ProbeValue 1 x", {"[T] Parser::CCmdLineParser::ParseCmdLine(46) - Argument: x Type = [T] Parser::CParam::ParseParam(50) - Unknown"}, 4},
        // No such export: the search is the last record.
        {L"NoSuchExport", {"[T] CDllCaller::CallEntryPoint(25) - Try obtain entry point of 'NoSuchExport'"}, 6},
        // Too many arguments: found, but no call.
        {L"ProbeValue 1 2 3 4", {"[T] CDllCaller::CallEntryPoint(29) - Entry point found"}, 11},
        // A zero result.
        {L"ProbeValue 0", {"[T] CDllCaller::CallEntryPoint(67) - Setup return 0"}, 11},
        {L"ProbeValue 4294967295", {"[T] CDllCaller::CallEntryPoint(67) - Setup return 4294967295"}, 11},
    };
    for (const auto& c : cases) {
        const auto records = TestSupport::LogRecords(TestSupport::CaptureOwnOutput([&] { Run(c.arguments); }));
        const std::string what = Narrow(c.arguments) + "\n" + Joined(records);
        EXPECT_EQ(c.count, records.size()) << what;
        ASSERT_GE(records.size(), c.tail.size()) << what;
        EXPECT_EQ(c.tail, std::vector<std::string>(records.end() - c.tail.size(), records.end())) << what;
    }

    // A DLL that does not load.
    const std::wstring missing = m_probe.Temp() / L"missing.dll";
    const auto records = TestSupport::LogRecords(
        TestSupport::CaptureOwnOutput([&] { CRunDLL().Run((missing + L" ProbeNone").c_str()); }));
    SetCurrentDirectoryW(before);
    ASSERT_EQ(6u, records.size()) << Joined(records);
    EXPECT_EQ("[T] CRunDLL::Run(19) - Fail", records[4]);
    EXPECT_EQ("[T] CDllCaller::CallEntryPoint(25) - Try obtain entry point of 'ProbeNone'", records[5]);
}

} // namespace
