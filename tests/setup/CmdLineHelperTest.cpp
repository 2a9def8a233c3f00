// Tests of setup's command line.
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/SetupApp.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const wchar_t kGuid[] = L"0a1b2c3d-4e5f-6071-8293-a4b5c6d7e8f9";
const wchar_t kGuidUpper[] = L"0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9";

std::wstring Braced(const wchar_t* guid)
{
    return std::wstring(L"{") + guid + L"}";
}

struct SExpected
{
    bool chosen;
    int action;
    bool quiet;
    int restart;
    std::wstring param;
    std::wstring productCode;
    bool registerProduct;
};

struct SCase
{
    const char* name;
    std::vector<std::wstring> args;
    SExpected expected;
};

CCmdLineHelper Parse(const std::vector<std::wstring>& args, bool& chosen)
{
    std::vector<const wchar_t*> argv = {L"C:\\setup\\setup.exe"};
    for (const std::wstring& arg : args)
        argv.push_back(arg.c_str());
    CCmdLineHelper cmdLine;
    chosen = CSetupApp::ParseCommandLine(cmdLine, static_cast<int>(argv.size()), argv.data());
    return cmdLine;
}

TEST(CmdLineHelper, SwitchTable)
{
    const std::wstring braced = Braced(kGuid);
    const std::wstring bracedUpper = Braced(kGuidUpper);
    const SCase cases[] = {
        {"no arguments", {}, {true, 1, false, 0, L"", L"", true}},
        {"/qn alone", {L"/qn"}, {true, 1, true, 0, L"", L"", true}},
        {"/QN alone", {L"/QN"}, {true, 1, true, 0, L"", L"", true}},
        {"/qn /norestart", {L"/qn", L"/norestart"}, {false, 0, true, 2, L"", L"", true}},
        {"/i path", {L"/i", L"C:\\pkg.cfs"}, {true, 1, false, 0, L"C:\\pkg.cfs", L"", true}},
        {"/I path", {L"/I", L"x.cfs"}, {true, 1, false, 0, L"x.cfs", L"", true}},
        {"/i last", {L"/qn", L"/i"}, {true, 1, true, 0, L"", L"", true}},
        {"/i takes a switch as its path", {L"/i", L"/qn"}, {true, 1, true, 0, L"/qn", L"", true}},
        {"/config list", {L"/config", L"list.xml"}, {true, 3, false, 0, L"list.xml", L"", true}},
        {"/CONFIG list", {L"/CONFIG", L"l"}, {true, 3, false, 0, L"l", L"", true}},
        {"/x braced", {L"/x" + braced}, {true, 2, false, 0, L"", bracedUpper, true}},
        {"/X bare", {L"/X" + std::wstring(kGuid)}, {true, 2, false, 0, L"", kGuidUpper, true}},
        {"/uninstall bare", {L"/uninstall" + std::wstring(kGuid)}, {true, 2, false, 0, L"", kGuidUpper, true}},
        {"/UnInstall braced", {L"/UnInstall" + braced}, {true, 2, false, 0, L"", bracedUpper, true}},
        {"/x opening brace only",
         {L"/x{" + std::wstring(kGuid)},
         {true, 2, false, 0, L"", L"{" + std::wstring(kGuidUpper), true}},
        {"/x/uninstall both removed", {L"/x/uninstall" + braced}, {true, 2, false, 0, L"", bracedUpper, true}},
        {"/x and guid apart", {L"/x", braced}, {false, 0, false, 0, L"", L"", true}},
        {"/x not a guid", {L"/xnotaguid"}, {false, 0, false, 0, L"", L"", true}},
        {"/x guid with tail", {L"/x" + braced + L"junk"}, {false, 0, false, 0, L"", L"", true}},
        {"unknown switch", {L"/foo"}, {false, 0, false, 0, L"", L"", true}},
        {"/x guid and /qn", {L"/x" + braced, L"/qn"}, {true, 2, true, 0, L"", bracedUpper, true}},
        {"last restart wins (never)",
         {L"/i", L"p", L"/forcerestart", L"/norestart"},
         {true, 1, false, 2, L"p", L"", true}},
        {"last restart wins (force)",
         {L"/i", L"p", L"/NORESTART", L"/ForceRestart"},
         {true, 1, false, 1, L"p", L"", true}},
        {"last action wins (install)",
         {L"/x" + braced, L"/i", L"p"},
         {true, 1, false, 0, L"p", bracedUpper, true}},
        {"last action wins (uninstall)", {L"/i", L"p", L"/x" + braced}, {true, 2, false, 0, L"p", bracedUpper, true}},
        {"last action wins (config, then install)",
         {L"/config", L"c", L"/i", L"p"},
         {true, 1, false, 0, L"p", L"", true}},
        {"/p", {L"/p", L"/i", L"p"}, {true, 1, false, 0, L"p", L"", false}},
        {"/P", {L"/i", L"p", L"/P"}, {true, 1, false, 0, L"p", L"", false}},
    };
    for (const SCase& c : cases) {
        bool chosen = false;
        const CCmdLineHelper cmdLine = Parse(c.args, chosen);
        EXPECT_EQ(c.expected.chosen, chosen) << c.name;
        EXPECT_EQ(c.expected.action, cmdLine.m_nAction) << c.name;
        EXPECT_EQ(c.expected.quiet, cmdLine.m_bQuiet) << c.name;
        EXPECT_EQ(c.expected.restart, cmdLine.m_nRestartMode) << c.name;
        EXPECT_EQ(c.expected.param, cmdLine.m_strParam.Str()) << c.name;
        EXPECT_EQ(c.expected.productCode, cmdLine.m_strProductCode.Str()) << c.name;
        EXPECT_EQ(c.expected.registerProduct, cmdLine.m_bRegisterProduct) << c.name;
    }
}

TEST(CmdLineHelper, ArgumentsAreRejoinedAsTyped)
{
    const std::wstring braced = Braced(kGuid);
    struct Case {
        std::vector<std::wstring> args;
        std::wstring joined;
    } cases[] = {
        {{}, L""},
        {{L"/x" + braced, L"/qn"}, L" /x" + braced + L" /qn"},
        {{L"/I", L"C:\\Program Files\\My Product\\pkg.cfs", L"/QN"},
         L" /I C:\\Program Files\\My Product\\pkg.cfs /QN"},
        {{L"/qn", L"/norestart"}, L" /qn /norestart"},
    };
    for (const Case& c : cases) {
        bool chosen = false;
        EXPECT_STREQ(c.joined.c_str(), Parse(c.args, chosen).m_strCmdLine);
    }
}

TEST(CmdLineHelper, ParseParamIgnoresIndexesOutsideTheVector)
{
    const wchar_t* argv[] = {L"setup.exe", L"/i"};
    CCmdLineHelper cmdLine;
    cmdLine.ParseParam(-1, 2, argv);
    cmdLine.ParseParam(2, 2, argv);
    cmdLine.ParseParam(1, 2, nullptr);
    EXPECT_EQ(0, cmdLine.m_nAction);
    cmdLine.ParseParam(1, 2, argv);
    EXPECT_EQ(1, cmdLine.m_nAction);
    EXPECT_TRUE(cmdLine.m_strParam.IsEmpty());
}

} // namespace
