// Tests of the script interpreter.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/InstallAbort.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/Narrow.h"
#include "tests/support/RegistryScope.h"

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

using TestSupport::Narrow;

using TestSupport::TraceOf;

int CountContaining(const std::vector<std::string>& lines, const std::string& part)
{
    return static_cast<int>(
        std::count_if(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(part) != std::string::npos; }));
}

class ScriptTest : public TestSupport::CEngineTest
{
protected:
    // Loads an interface document with the given children of its root; the
    // restart request is counted instead of made.
    void Load(const std::string& children)
    {
        ASSERT_TRUE(LoadDocument("<Interface>" + children + "</Interface>"));
        Manager().m_Seams.exitWindows = [this](UINT, DWORD) {
            ++m_nRestarts;
            return TRUE;
        };
        ASSERT_NE(nullptr, Manager().m_pDlgMain);
    }

    // Runs the children of the element at the path without the final caption
    // reset of RunScriptAt.
    void RunChildren(const wchar_t* xpath)
    {
        Common::Config::CXMLNodeList nodes;
        Manager().m_pSettings->SelectNodes(_bstr_t(xpath) + L"/*", nodes);
        Manager().RunScript(nodes, false);
    }

    bool Has(const wchar_t* name) const
    {
        return m_pManager->m_SetupOptions.m_Conditions.count(name) != 0;
    }

    bool Value(const wchar_t* name) const
    {
        const auto found = m_pManager->m_SetupOptions.m_Conditions.find(name);
        return found != m_pManager->m_SetupOptions.m_Conditions.end() && found->second;
    }

    bool& ShowWait() { return Manager().m_pDlgMain->m_bShowWait; }

    int m_nRestarts = 0;
};

TEST_F(ScriptTest, KeywordsMatchInAnyLetterCase)
{
    Load("<Install><PostFinish>"
         "<SetCond condition='first'/><SETCOND condition='second'/><setcond condition='third'/>"
         "<ReStArT/><restart/>"
         "</PostFinish></Install>");
    ShowWait() = true;
    Manager().RunScriptAt(L"//Interface/Install/PostFinish");
    EXPECT_TRUE(Value(L"first"));
    EXPECT_TRUE(Value(L"second"));
    EXPECT_TRUE(Value(L"third"));
    EXPECT_EQ(2, m_nRestarts);
    // A script that ends normally clears the step caption.
    EXPECT_FALSE(ShowWait());
}

TEST_F(ScriptTest, OtherNamesAndNonElementsAreSkippedWithoutTrace)
{
    // Whole names only: no prefix, no longer name, and "Shortcut" is not the
    // keyword. (A name with a trailing blank cannot be written in XML.)
    Load("<S>"
         "<Shortcut/><SetCon condition='a'/><SetConds condition='b'/><Restarts/><Restar/><Call2 Node='T'/>"
         "<!-- <SetCond condition='c'/> -->text<?pi <Restart/>?><![CDATA[<Restart/>]]>"
         "<SetCond condition='after'/>"
         "</S><T><SetCond condition='t'/></T>");
    std::vector<std::string> lines;
    lines = TraceOf([&] { RunChildren(L"//Interface/S"); });
    EXPECT_TRUE(lines.empty()) << (lines.empty() ? "" : lines.front());
    EXPECT_EQ(0, m_nRestarts);
    for (const wchar_t* name : {L"a", L"b", L"c", L"t"})
        EXPECT_FALSE(Has(name)) << Narrow(name);
    EXPECT_TRUE(Value(L"after"));
}

TEST_F(ScriptTest, MissingScriptDoesNothing)
{
    Load("<Install/>");
    ShowWait() = true;
    std::vector<std::string> lines;
    lines = TraceOf([&] { Manager().RunScriptAt(L"//Interface/Install/PreFinish"); });
    EXPECT_TRUE(lines.empty());
    EXPECT_TRUE(ShowWait());
}

TEST_F(ScriptTest, ConditionDecidesWhetherANodeRuns)
{
    const struct {
        const char* condition;
        int restarts;
    } cases[] = {
        {"", 1}, {"on", 1}, {"off", 0}, {"!off", 1}, {"NoOn", 0}, {"on &amp; off", 0}, {"off | on", 1}, {"unknown", 1},
    };
    for (const auto& c : cases) {
        Load(std::string("<S><Restart condition='") + c.condition + "'/></S>");
        Manager().m_SetupOptions.SetCondition(L"on", true);
        Manager().m_SetupOptions.SetCondition(L"off", false);
        RunChildren(L"//Interface/S");
        EXPECT_EQ(c.restarts, m_nRestarts) << c.condition;
        m_nRestarts = 0;
    }
}

TEST_F(ScriptTest, ConditionRestartFollowsTheRestartDecision)
{
    Load("<S><Restart condition='restart'/></S>");
    // The store's "restart" is refreshed from m_bRestart before every node.
    Manager().m_SetupOptions.SetCondition(L"restart", true);
    Manager().m_bRestart = false;
    RunChildren(L"//Interface/S");
    EXPECT_EQ(0, m_nRestarts);
    EXPECT_FALSE(Value(L"restart"));

    Manager().m_bRestart = true;
    RunChildren(L"//Interface/S");
    EXPECT_EQ(1, m_nRestarts);
}

TEST_F(ScriptTest, BreakStopsEveryEnclosingScriptAsTheUsersStop)
{
    Load("<Install><PreFinish>"
         "<SetCond condition='before'/><Call Node='Inner'/><SetCond condition='after'/>"
         "</PreFinish></Install>"
         "<Inner><SetCond condition='inner'/><Break/><SetCond condition='afterBreak'/></Inner>");
    ShowWait() = true;
    std::vector<std::string> lines;
    lines = TraceOf([&] {
        try {
            Manager().RunScriptAt(L"//Interface/Install/PreFinish");
            ADD_FAILURE() << "no stop";
        } catch (const CInstallAbort&) {
        }
    });
    EXPECT_TRUE(Value(L"before"));
    EXPECT_TRUE(Value(L"inner"));
    EXPECT_FALSE(Has(L"afterBreak"));
    EXPECT_FALSE(Has(L"after"));
    // Left by the stop: the caption stays, and the stop is no failure of Call.
    EXPECT_TRUE(ShowWait());
    EXPECT_EQ(0, CountContaining(lines, "Something wrong"));
    EXPECT_EQ(0, Manager().m_nScriptDepth);
}

TEST_F(ScriptTest, CallRunsTheNamedScriptAndClearsTheCaption)
{
    Load("<S><SetCond condition='one'/><Call Node='Sub/Deeper'/><SetCond condition='three'/></S>"
         "<Sub><Deeper><SetCond condition='two'/><Call Node='Nowhere'/></Deeper></Sub>");
    ShowWait() = true;
    RunChildren(L"//Interface/S");
    EXPECT_TRUE(Value(L"one"));
    EXPECT_TRUE(Value(L"two"));
    EXPECT_TRUE(Value(L"three"));
    // The outer run keeps the caption; the called scripts ended normally and
    // cleared it.
    EXPECT_FALSE(ShowWait());
}

TEST_F(ScriptTest, CallThatCannotRunFailsWithItsNodeTraced)
{
    const struct {
        const char* call;
        HRESULT expected; // S_OK: any failure
    } cases[] = {
        // Without a name the path would select every element of the document.
        {"<Call/>", E_INVALIDARG},
        {"<Call Node=''/>", E_INVALIDARG},
        {"<Call Node='a['/>", S_OK},
        {"<Call Node='Sub]'/>", S_OK},
    };
    for (const auto& c : cases) {
        Load(std::string("<S><SetCond condition='before'/>") + c.call +
             "<SetCond condition='after'/></S><Sub><SetCond condition='sub'/></Sub>");
        HRESULT hr = S_OK;
        std::vector<std::string> lines;
        lines = TraceOf([&] { hr = TestSupport::ComErrorOf([&] { RunChildren(L"//Interface/S"); }); });
        if (c.expected != S_OK)
            EXPECT_EQ(c.expected, hr) << c.call;
        else
            EXPECT_TRUE(FAILED(hr)) << c.call;
        EXPECT_TRUE(Value(L"before")) << c.call;
        EXPECT_FALSE(Has(L"sub")) << c.call;
        EXPECT_FALSE(Has(L"after")) << c.call;
        ASSERT_EQ(1, CountContaining(lines, "Setup: Something wrong with node: ")) << c.call;
        EXPECT_EQ(1, CountContaining(lines, "<Call")) << c.call;
        EXPECT_EQ(0, Manager().m_nScriptDepth);
    }
}

TEST_F(ScriptTest, FailureInsideNestedCallsIsTracedByEachCall)
{
    Load("<S><Call Node='A'/></S><A><Call Node='B'/></A><B><Call/></B>");
    std::vector<std::string> lines;
    HRESULT hr = S_OK;
    lines = TraceOf([&] { hr = TestSupport::ComErrorOf([&] { RunChildren(L"//Interface/S"); }); });
    EXPECT_EQ(E_INVALIDARG, hr);
    const std::string prefix = "Setup: Something wrong with node: ";
    std::vector<std::string> wrong;
    for (const std::string& line : lines)
        if (line.compare(0, prefix.size(), prefix) == 0)
            wrong.push_back(line.substr(prefix.size()));
    ASSERT_EQ(3u, wrong.size());
    // Innermost first.
    EXPECT_EQ(std::string::npos, wrong[0].find("Node"));
    EXPECT_NE(std::string::npos, wrong[1].find("\"B\""));
    EXPECT_NE(std::string::npos, wrong[2].find("\"A\""));
}

TEST_F(ScriptTest, ScriptThatCallsItselfEndsAtTheDepthLimit)
{
    Load("<Loop><SetCond condition='ran'/><Call Node='Loop'/><SetCond condition='after'/></Loop>");
    std::vector<std::string> lines;
    HRESULT hr = S_OK;
    lines = TraceOf([&] { hr = TestSupport::ComErrorOf([&] { Manager().RunScriptAt(L"//Interface/Loop"); }); });
    EXPECT_EQ(CInstallManager::kScriptTooDeep, hr);
    EXPECT_TRUE(Value(L"ran"));
    EXPECT_FALSE(Has(L"after"));
    // Every enclosing Call reports it once; the outermost script is one level.
    EXPECT_EQ(CInstallManager::kMaxScriptDepth, CountContaining(lines, "Something wrong with node: "));
    EXPECT_EQ(0, Manager().m_nScriptDepth);

    // The counter is back: the same engine runs scripts again.
    Load("<S><Call Node='T'/></S><T><SetCond condition='t'/></T>");
    RunChildren(L"//Interface/S");
    EXPECT_TRUE(Value(L"t"));
}

TEST_F(ScriptTest, SetCondCannotRaiseAConditionThatIsFalse)
{
    Load("<S>"
         "<SetCond condition='flag' Value='false'/><SetCond condition='flag' Value='true'/>"
         "<SetCond condition='plain'/><SetCond condition='zero' Value='0'/><SetCond condition='Mixed' Value='TRUE'/>"
         "<SetCond condition='%Var%'/>"
         "</S>");
    RunChildren(L"//Interface/S");
    EXPECT_TRUE(Has(L"flag"));
    EXPECT_FALSE(Value(L"flag"));
    EXPECT_TRUE(Value(L"plain"));
    EXPECT_TRUE(Has(L"zero"));
    EXPECT_FALSE(Value(L"zero"));
    EXPECT_TRUE(Value(L"mixed"));
    // The name is taken as written.
    EXPECT_TRUE(Value(L"%Var%"));
}

TEST_F(ScriptTest, SetCondWithAValueThatIsNoBooleanFailsTheScript)
{
    Load("<S><SetCond condition='x' Value='yes'/><SetCond condition='after'/></S>");
    EXPECT_TRUE(FAILED(TestSupport::ComErrorOf([&] { RunChildren(L"//Interface/S"); })));
    EXPECT_FALSE(Has(L"x"));
    EXPECT_FALSE(Has(L"after"));
}

} // namespace
