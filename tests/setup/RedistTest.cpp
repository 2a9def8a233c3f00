// Tests of the redistributables.
#include "tests/setup/EngineFixture.h"

#include "setup/engine/Redist.h"

#include "common/tools/PathVariables.h"

#include "tests/support/GuiDriver.h"
#include "tests/support/Narrow.h"

#include <algorithm>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

using TestSupport::Joined;
using TestSupport::HasLine;
using TestSupport::HasLineStarting;

using TestSupport::TraceOf;

// A product code no Windows Installer knows.
const char kUnknownProduct[] = "{5B1E0C57-2D43-4F7A-9C1B-8E6D3A0F4C21}";

// One redistributable entry; CmdLine names childprog.exe, which lies beside the
// test program as the installers lie beside setup.
std::string Entry(const std::string& id, const std::string& caption, const std::string& cmdLine,
                  const std::string& x64 = "")
{
    std::string text = "<VC ID='" + id + "' Caption='" + caption + "' CmdLine='" + cmdLine + "'";
    if (!x64.empty())
        text += " x64='" + x64 + "'";
    return text + "/>";
}

std::string Document(const std::string& entries)
{
    return "<Interface><Redist>" + entries +
           "</Redist><Localize><Messages>"
           "<RedistInstall Caption='Install:%REDISTNAME%'/>"
           "<RedistNotFound Caption='Cannot install %REDISTNAME%.'/>"
           "</Messages><InstallSteps><InstallSystemComponents Caption='Components'/></InstallSteps>"
           "</Localize></Interface>";
}

class RedistTest : public TestSupport::CEngineTest
{
protected:
    void Load(const std::string& document, bool is64 = false)
    {
        ASSERT_TRUE(LoadDocument(document));
        Manager().m_bIs64BitOS = is64;
        m_queried.clear();
        Manager().m_Seams.productState = [this](const wchar_t* id) {
            const std::string code = TestSupport::Narrow(id);
            m_queried.push_back(code);
            return m_installed.count(code) != 0 ? 5 : -1;
        };
    }

    std::set<std::string> m_installed;
    std::vector<std::string> m_queried;
};

TEST_F(RedistTest, WithoutTheElementNothingHappens)
{
    Load("<Interface><SetupFiles/></Interface>");
    bool result = false;
    const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
    EXPECT_TRUE(result);
    EXPECT_TRUE(lines.empty()) << Joined(lines);
    EXPECT_TRUE(m_queried.empty());
}

TEST_F(RedistTest, EntriesCountByBitnessAndInstalledOnesAreNotAskedFor)
{
    struct SCase
    {
        bool is64;
        std::vector<std::string> queried;
    };
    const std::string entries = Entry("A", "Any", "childprog.exe exit 5") +
                                Entry("B", "Only64", "childprog.exe exit 5", "true") +
                                Entry("C", "Off64", "childprog.exe exit 5", "false") +
                                Entry("D", "Odd64", "childprog.exe exit 5", "1") + "<!-- no entry -->";
    const SCase cases[] = {
        {false, {"A"}},
        {true, {"A", "B", "D"}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.is64 ? "64-bit Windows" : "32-bit Windows");
        Load(Document(entries), c.is64);
        g_CmdLine.m_bQuiet = false;  // a question would hang the test: none may come
        m_installed = {"A", "B", "C", "D"};
        bool result = false;
        const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
        EXPECT_TRUE(result);
        EXPECT_EQ(c.queried, m_queried);
        EXPECT_TRUE(HasLine(lines, "Setup: Check for Microsoft Visual C++ Redistributable Package")) << Joined(lines);
        EXPECT_TRUE(HasLine(lines, "Setup: 'Any (A)' - Installed")) << Joined(lines);
        EXPECT_FALSE(HasLineStarting(lines, "Setup: 'Off64")) << Joined(lines);
        EXPECT_TRUE(Manager().m_bRedistChecked);

        // Back to the licence page and on again: not checked again.
        m_queried.clear();
        EXPECT_TRUE(Manager().CheckRedist());
        EXPECT_TRUE(m_queried.empty());
    }
}

TEST_F(RedistTest, QuietRunInstallsAMissingComponentFoundByTheRealQuery)
{
    ASSERT_TRUE(LoadDocument(Document(Entry(kUnknownProduct, "Runtime", "childprog.exe exit 0"))));
    g_CmdLine.m_bQuiet = true;
    bool result = false;
    const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
    EXPECT_TRUE(result) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: 'Runtime (" + std::string(kUnknownProduct) + ")' - Missing")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Installing 'Runtime'(childprog.exe exit 0) - OK")) << Joined(lines);
    EXPECT_TRUE(Manager().m_bRedistChecked);
}

TEST(RedistCommandLine, TheProgramPartJoinsSetupsFolderQuotedWhenItHoldsABlank)
{
    struct SCase
    {
        const wchar_t* folder;
        const wchar_t* commandLine;
        const wchar_t* expected;
    };
    const SCase cases[] = {
        {L"C:\\setup\\", L"vc.exe /q /norestart", L"C:\\setup\\vc.exe /q /norestart"},
        {L"C:\\setup", L"redist\\vc.exe", L"C:\\setup\\redist\\vc.exe"},
        {L"C:\\my setup\\", L"vc.exe /q", L"\"C:\\my setup\\vc.exe\" /q"},
        {L"C:\\setup\\", L"\"sub dir\\vc.exe\"  /q", L"\"C:\\setup\\sub dir\\vc.exe\" /q"},
    };
    for (const SCase& c : cases)
        EXPECT_STREQ(c.expected, RedistCommandLine(c.folder, c.commandLine).GetString()) << c.commandLine;
    EXPECT_THROW(RedistCommandLine(CString(L"C:\\") + CString(std::wstring(300, L'a').c_str()), L"vc.exe"),
                 _com_error);
}

TEST_F(RedistTest, AQuotedInstallerNameRunsToo)
{
    Load(Document(Entry("A", "Quoted", "&quot;childprog.exe&quot; exit 0")));
    g_CmdLine.m_bQuiet = true;
    bool result = false;
    const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
    EXPECT_TRUE(result) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Installing 'Quoted'(\"childprog.exe\" exit 0) - OK")) << Joined(lines);
}

TEST_F(RedistTest, PathVariablesAreExpandedInTheEntries)
{
    // The installer lies in a folder of its own, reached only through the variable.
    ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"childprog.exe").c_str(), (m_temp / L"vc.exe").c_str(),
                          TRUE));
    ASSERT_TRUE(GetPathVariables().Define(L"%RedistTestDir%", m_temp.Path().c_str()));
    ASSERT_TRUE(GetPathVariables().Define(L"%RedistTestId%", L"A"));
    ASSERT_TRUE(GetPathVariables().Define(L"%RedistTestName%", L"Runtime"));
    const std::string dir = TestSupport::Narrow(m_temp.Path());
    const struct
    {
        const char* cmdLine;
        std::string expanded;
    } cases[] = {
        {"%RedistTestDir%\\vc.exe exit 0", dir + "\\vc.exe exit 0"},
        {"&quot;%RedistTestDir%\\vc.exe&quot; exit 0", "\"" + dir + "\\vc.exe\" exit 0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cmdLine);
        Load(Document(Entry("%RedistTestId%", "%RedistTestName%", c.cmdLine)));
        g_CmdLine.m_bQuiet = true;
        bool result = false;
        const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
        EXPECT_TRUE(result) << Joined(lines);
        EXPECT_EQ(std::vector<std::string>{"A"}, m_queried);
        EXPECT_TRUE(HasLine(lines, "Setup: 'Runtime (A)' - Missing")) << Joined(lines);
        EXPECT_TRUE(HasLine(lines, "Setup: Installing 'Runtime'(" + c.expanded + ") - OK")) << Joined(lines);
    }
}

TEST_F(RedistTest, AFailingInstallerStopsTheRestAndTheCheckComesAgain)
{
    struct SCase
    {
        const char* name;
        std::string cmdLine;
    };
    const SCase cases[] = {
        {"restart code counts as failure", "childprog.exe exit 3010"},
        {"non-zero exit", "childprog.exe exit 1"},
        {"installer missing", "no-such-installer.exe /q"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(Document(Entry("A", "First", c.cmdLine) + Entry("B", "Second", "childprog.exe exit 0")));
        g_CmdLine.m_bQuiet = true;
        bool result = true;
        const auto lines = TraceOf([&] { result = Manager().CheckRedist(); });
        EXPECT_FALSE(result);
        EXPECT_TRUE(HasLine(lines, "Setup: Installing 'First'(" + c.cmdLine + ") - Failed")) << Joined(lines);
        EXPECT_FALSE(HasLineStarting(lines, "Setup: Installing 'Second'")) << Joined(lines);
        EXPECT_TRUE(HasLine(lines, "Setup: Some problems during redist installation.")) << Joined(lines);
        EXPECT_FALSE(Manager().m_bRedistChecked);

        m_queried.clear();
        Manager().CheckRedist();
        EXPECT_EQ(std::vector<std::string>({"A", "B"}), m_queried) << "checked again after a failure";
    }
}

TEST_F(RedistTest, DecliningTheQuestionFailsWithoutRunningAnInstaller)
{
    Load(Document(Entry("A", "First", "childprog.exe exit 0") + Entry("B", "Second", "childprog.exe exit 0")));
    g_CmdLine.m_bQuiet = false;
    TestSupport::SWindowInfo seen;
    bool answered = false;
    bool result = true;
    std::vector<std::string> lines;
    std::thread user([&] {
        TestSupport::CGuiDriver driver(::GetCurrentProcessId(), 20000);
        answered = driver.AnswerMessageBox(IDNO, &seen);
    });
    lines = TraceOf([&] { result = Manager().CheckRedist(); });
    user.join();
    ASSERT_TRUE(answered);
    EXPECT_FALSE(result);
    EXPECT_NE(seen.childTexts.end(),
              std::find(seen.childTexts.begin(), seen.childTexts.end(), L"Install:\nFirst\nSecond"));
    EXPECT_FALSE(HasLineStarting(lines, "Setup: Installing")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Some problems during redist installation.")) << Joined(lines);
    EXPECT_FALSE(Manager().m_bRedistChecked);
}

TEST_F(RedistTest, AFailedInstallerIsReportedByName)
{
    Load(Document(Entry("A", "First", "childprog.exe exit 2")));
    g_CmdLine.m_bQuiet = false;
    std::vector<std::wstring> texts;
    bool answered = false;
    bool result = true;
    std::thread user([&] {
        TestSupport::CGuiDriver driver(::GetCurrentProcessId(), 20000);
        TestSupport::SWindowInfo question;
        TestSupport::SWindowInfo report;
        answered = driver.AnswerMessageBox(IDYES, &question) && driver.AnswerMessageBox(IDOK, &report);
        texts = question.childTexts;
        texts.insert(texts.end(), report.childTexts.begin(), report.childTexts.end());
    });
    result = Manager().CheckRedist();
    user.join();
    ASSERT_TRUE(answered);
    EXPECT_FALSE(result);
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), L"Install:First"));
    EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), L"Cannot install First."));
}

} // namespace
