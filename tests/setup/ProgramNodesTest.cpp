// Tests of the script's program nodes.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComSupport.h"
#include "common/tools/PathVariables.h"
#include "common/tools/ScopedHandle.h"
#include "setup/engine/InstallAbort.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <thread>
#include <vector>

_COM_SMARTPTR_TYPEDEF(IShellLinkW, __uuidof(IShellLinkW));
_COM_SMARTPTR_TYPEDEF(IPersistFile, __uuidof(IPersistFile));

namespace {

using TestSupport::Joined;
using TestSupport::HasLine;

using TestSupport::Narrow;
using TestSupport::TraceOf;

const int kStatusTextId = 103;
const UINT kPostedMessage = WM_APP + 1;

int CountStarting(const std::vector<std::string>& lines, const std::string& prefix)
{
    return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.compare(0, prefix.size(), prefix) == 0;
    }));
}

// The text as an XML attribute value between single quotes.
std::string Attr(const std::wstring& text)
{
    std::string escaped;
    for (char c : Narrow(text)) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '\'': escaped += "&apos;"; break;
        case '"': escaped += "&quot;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::wstring ChildProgram()
{
    return TestSupport::ModuleFolder() + L"childprog.exe";
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class ProgramNodesTest : public TestSupport::CEngineTest
{
protected:
    void Load(const std::string& children)
    {
        ASSERT_TRUE(LoadDocument("<Interface>" + children + "</Interface>"));
        ASSERT_NE(nullptr, Manager().m_pDlgMain);
    }

    // Runs the children of the element at the path as a script, without the
    // final caption reset.
    void Run(const wchar_t* xpath = L"//Interface/S")
    {
        Common::Config::CXMLNodeList nodes;
        Manager().m_pSettings->SelectNodes(_bstr_t(xpath) + L"/*", nodes);
        Manager().RunScript(nodes, false);
    }

    std::vector<std::string> TraceOfRun() { return TraceOf([this] { Run(); }); }

    bool Value(const wchar_t* name) const
    {
        const auto found = m_pManager->m_SetupOptions.m_Conditions.find(name);
        return found != m_pManager->m_SetupOptions.m_Conditions.end() && found->second;
    }

    bool Has(const wchar_t* name) const { return m_pManager->m_SetupOptions.m_Conditions.count(name) != 0; }
};

// ---- Exec ----------------------------------------------------------------

TEST_F(ProgramNodesTest, ExecWaitsForTheProgramAndTracesItsExitCode)
{
    const std::string child = Narrow(ChildProgram());
    Load("<S><Exec FileName='" + Attr(ChildProgram()) + "' CmdLineArguments='exit 7'/></S>");
    std::vector<std::string> lines = TraceOfRun();
    EXPECT_TRUE(HasLine(lines, "Setup: Run executable: Wait, successful, '" + child + " exit 7'")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Exit code: 7")) << Joined(lines);

    // Waiting lasts as long as the program; NoWait goes on at once.
    const struct {
        const char* noWait;
        bool waits;
    } cases[] = {{"false", true}, {"0", true}, {"true", false}, {"1", false}};
    for (const auto& c : cases) {
        Load("<S><Exec NoWait='" + std::string(c.noWait) + "' FileName='" + Attr(ChildProgram()) +
             "' CmdLineArguments='sleep 1500 3'/></S>");
        const DWORD start = GetTickCount();
        lines = TraceOfRun();
        const DWORD elapsed = GetTickCount() - start;
        if (c.waits) {
            EXPECT_GE(elapsed, 1400u) << c.noWait;
            EXPECT_TRUE(HasLine(lines, "Setup: Run executable: Wait, successful, '" + child + " sleep 1500 3'"))
                << Joined(lines);
            EXPECT_TRUE(HasLine(lines, "Setup: Exit code: 3")) << Joined(lines);
        } else {
            EXPECT_LT(elapsed, 1400u) << c.noWait;
            EXPECT_TRUE(HasLine(lines, "Setup: Run executable: No wait, successful, '" + child + " sleep 1500 3'"))
                << Joined(lines);
            EXPECT_EQ(0, CountStarting(lines, "Setup: Exit code:")) << Joined(lines);
        }
    }
}

TEST_F(ProgramNodesTest, ExecQuotesAProgramPathWithBlanksAndRefusesNamesThatHideAnotherProgram)
{
    // A decoy where the system would look first if the path were not quoted:
    // "<temp>\with blank\child prog.exe" read unquoted starts "<temp>\with.exe".
    const std::wstring blank = m_temp / L"with blank\\child prog.exe";
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"with blank").c_str(), nullptr));
    ASSERT_TRUE(CopyFileW(ChildProgram().c_str(), blank.c_str(), TRUE));
    ASSERT_TRUE(CopyFileW(ChildProgram().c_str(), (m_temp / L"with.exe").c_str(), TRUE));
    const std::string quoted = "\"" + Narrow(blank) + "\"";
    const std::string child = Narrow(ChildProgram());
    ASSERT_TRUE(GetPathVariables().Define(L"%NodesBlankChild%", blank.c_str()));

    const struct {
        std::wstring fileName;
        std::string arguments;
        std::string commandLine; // as traced
        int exitCode;            // -1: not started
    } cases[] = {
        {blank, "exit 5", quoted + " exit 5", 5},
        // Already quoted by the package: not quoted twice.
        {L"\"" + blank + L"\"", "exit 5", quoted + " exit 5", 5},
        // Quoted after the variables are expanded.
        {L"%NodesBlankChild%", "exit 6", quoted + " exit 6", 6},
        // No blank, no quotes; the blank after the program is always there.
        {ChildProgram(), "", child + " ", 99},
        // Without a program the arguments' first word would be started.
        {L"", child + " exit 3", " " + child + " exit 3", -1},
        {L"\"\"", child + " exit 3", "\"\" " + child + " exit 3", -1},
        // A quote inside would end the quoting early.
        {m_temp / L"with\" blank\\child prog.exe", "exit 5", "", -1},
        {m_temp / L"nowhere\\missing.exe", "exit 5", Narrow(m_temp / L"nowhere\\missing.exe") + " exit 5", -1},
    };
    for (const auto& c : cases) {
        Load("<S><Exec FileName='" + Attr(c.fileName) + "' CmdLineArguments='" + Attr(std::wstring(
                                                                                    c.arguments.begin(), c.arguments.end())) +
             "'/><SetCond condition='after'/></S>");
        const std::vector<std::string> lines = TraceOfRun();
        const std::string what = Narrow(c.fileName) + "\n" + Joined(lines);
        if (c.exitCode >= 0) {
            EXPECT_TRUE(HasLine(lines, "Setup: Run executable: Wait, successful, '" + c.commandLine + "'")) << what;
            EXPECT_TRUE(HasLine(lines, "Setup: Exit code: " + std::to_string(c.exitCode))) << what;
        } else {
            EXPECT_EQ(1, CountStarting(lines, "Setup: Run executable: Wait, failed, '" + c.commandLine)) << what;
            EXPECT_EQ(0, CountStarting(lines, "Setup: Exit code:")) << what;
        }
        // A program that does not start does not stop the script.
        EXPECT_TRUE(Value(L"after")) << what;
    }
}

// Counts the child's messages to a window and signals the named event once all
// of them came.
class CMessageCounter
{
public:
    CMessageCounter(HWND window, int expected) : m_hWnd(window), m_nExpected(expected)
    {
        s_pCounter = this;
        m_strEvent = L"ProgramNodesTestDone" + std::to_wstring(GetCurrentProcessId());
        m_done.Reset(CreateEventW(nullptr, TRUE, FALSE, m_strEvent.c_str()));
        m_previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CMessageCounter::Procedure)));
    }
    ~CMessageCounter()
    {
        if (m_previous != nullptr)
            SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_previous));
        s_pCounter = nullptr;
    }
    CMessageCounter(const CMessageCounter&) = delete;
    CMessageCounter& operator=(const CMessageCounter&) = delete;

    const std::wstring& EventName() const { return m_strEvent; }
    int Seen() const { return m_nSeen; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        CMessageCounter* self = s_pCounter;
        if (message == kPostedMessage && self != nullptr) {
            if (++self->m_nSeen == self->m_nExpected)
                SetEvent(self->m_done.Get());
            return 0;
        }
        return CallWindowProcW(self->m_previous, window, message, wParam, lParam);
    }

    static CMessageCounter* s_pCounter;
    HWND m_hWnd;
    int m_nExpected;
    int m_nSeen = 0;
    std::wstring m_strEvent;
    Common::Tools::CScopedHandle m_done;
    WNDPROC m_previous = nullptr;
};

CMessageCounter* CMessageCounter::s_pCounter = nullptr;

TEST_F(ProgramNodesTest, ExecGivesTheMainWindowsHandleAndKeepsItAliveWhileWaiting)
{
    Load("<S><Exec FileName='" + Attr(ChildProgram()) +
         "' CmdLineArguments='post %hParentWnd% 3 ProgramNodesTestDone" + std::to_string(GetCurrentProcessId()) +
         " 10000 %hParentWnd%'/></S>");
    Manager().ShowMainWindow();
    const HWND window = Manager().m_pDlgMain->m_hWnd;
    ASSERT_NE(nullptr, window);
    CMessageCounter counter(window, 3);
    const std::vector<std::string> lines = TraceOfRun();
    // The child saw its three messages handled while setup waited for it.
    EXPECT_EQ(3, counter.Seen());
    EXPECT_TRUE(HasLine(lines, "Setup: Exit code: 0")) << Joined(lines);
    const std::string handle = std::to_string(reinterpret_cast<UINT_PTR>(window));
    EXPECT_TRUE(HasLine(lines, "Setup: Run executable: Wait, successful, '" + Narrow(ChildProgram()) + " post " + handle +
                                   " 3 ProgramNodesTestDone" + std::to_string(GetCurrentProcessId()) + " 10000 " +
                                   handle + "'"))
        << Joined(lines);
}

TEST_F(ProgramNodesTest, ExecWithoutMainWindowGivesHandleZero)
{
    Load("<S><Exec FileName='" + Attr(ChildProgram()) + "' CmdLineArguments='exit 4 %hParentWnd%'/></S>");
    g_CmdLine.m_bQuiet = true;
    const std::vector<std::string> lines = TraceOfRun();
    EXPECT_TRUE(HasLine(lines, "Setup: Run executable: Wait, successful, '" + Narrow(ChildProgram()) + " exit 4 0'"))
        << Joined(lines);
}

TEST_F(ProgramNodesTest, ExecAsksItsConditionAgainSoThatAReconfigurationNeedsOne)
{
    const struct {
        bool config;
        const char* condition; // null: no attribute
        bool runs;
    } cases[] = {
        {false, nullptr, true}, {true, nullptr, false}, {true, "", false},  {true, "on", true},
        {true, "off", false},   {false, "off", false},  {false, "on", true}, {true, "unknown", true},
    };
    for (const auto& c : cases) {
        const std::string condition = c.condition != nullptr ? std::string(" condition='") + c.condition + "'" : "";
        Load("<S><Exec" + condition + " FileName='" + Attr(ChildProgram()) +
             "' CmdLineArguments='exit 0'/><SetCond condition='after'/></S>");
        Manager().m_SetupOptions.m_bConfigMode = c.config;
        Manager().m_SetupOptions.SetCondition(L"on", true);
        Manager().m_SetupOptions.SetCondition(L"off", false);
        const std::vector<std::string> lines = TraceOfRun();
        const std::string what = std::string(c.config ? "config, " : "install, ") +
                                 (c.condition != nullptr ? c.condition : "<none>") + "\n" + Joined(lines);
        EXPECT_EQ(c.runs ? 1 : 0, CountStarting(lines, "Setup: Run executable: Wait, successful")) << what;
        // Other nodes without a condition still run in a reconfiguration.
        EXPECT_TRUE(Value(L"after")) << what;
    }
}

TEST_F(ProgramNodesTest, ExecWithANoWaitThatIsNoBooleanLeavesTheScript)
{
    Load("<S><Exec NoWait='maybe' FileName='" + Attr(ChildProgram()) +
         "' CmdLineArguments='exit 0'/><SetCond condition='after'/></S>");
    std::vector<std::string> lines;
    EXPECT_NE(S_OK, TestSupport::ComErrorOf([&] { lines = TraceOfRun(); }));
    EXPECT_EQ(0, CountStarting(lines, "Setup: Run executable:")) << Joined(lines);
    EXPECT_FALSE(Has(L"after"));
}

// ---- Shorcut --------------------------------------------------------------

struct SLink
{
    HRESULT loaded = E_FAIL;
    std::wstring target, arguments, folder, icon, description;
    int iconIndex = -1;
    int showCmd = -1;
};

SLink ReadLink(const std::wstring& path)
{
    SLink link;
    IShellLinkWPtr shellLink;
    if (FAILED(shellLink.CreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER)))
        return link;
    IPersistFilePtr file;
    if (FAILED(shellLink.QueryInterface(__uuidof(IPersistFile), &file)))
        return link;
    link.loaded = file->Load(path.c_str(), STGM_READ);
    if (FAILED(link.loaded))
        return link;
    wchar_t text[1024] = {};
    if (SUCCEEDED(shellLink->GetPath(text, 1024, nullptr, SLGP_RAWPATH)))
        link.target = text;
    text[0] = L'\0';
    if (SUCCEEDED(shellLink->GetArguments(text, 1024)))
        link.arguments = text;
    text[0] = L'\0';
    if (SUCCEEDED(shellLink->GetWorkingDirectory(text, 1024)))
        link.folder = text;
    text[0] = L'\0';
    if (SUCCEEDED(shellLink->GetDescription(text, 1024)))
        link.description = text;
    text[0] = L'\0';
    int index = -1;
    if (SUCCEEDED(shellLink->GetIconLocation(text, 1024, &index))) {
        link.icon = text;
        link.iconIndex = index;
    }
    // Wine's loader does not read the show command back: take it from the file's
    // header (ShowCommand, 4 bytes at offset 60 of the shell-link format).
    const TestSupport::Bytes bytes = TestSupport::ReadFileBytes(path);
    if (bytes.size() >= 64)
        link.showCmd = bytes[60] | bytes[61] << 8 | bytes[62] << 16 | bytes[63] << 24;
    return link;
}

std::string Lower(const std::wstring& text)
{
    std::string lower = Narrow(text);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) { return static_cast<char>(tolower(c)); });
    return lower;
}

TEST_F(ProgramNodesTest, ShortcutHoldsTargetArgumentsFolderIconAndDescription)
{
    const std::wstring app = m_temp / L"app\\prog.exe";
    TestSupport::WriteFileBytes(app, TestSupport::ToBytes("MZ"));
    TestSupport::WriteFileBytes(m_temp / L"app\\icons.dll", TestSupport::ToBytes("MZ"));
    ASSERT_TRUE(GetPathVariables().Define(L"%NodesApp%", (m_temp / L"app").c_str()));
    // The link's folder does not exist yet.
    const std::wstring link = m_temp / L"menu\\group\\Prog.lnk";
    Load("<S><Shorcut TargetFileName='%NodesApp%\\prog.exe' AppDir='%NodesApp%\\work' ShowMode='3'"
         " LinkFilePath='" + Attr(link) + "' CmdLineArguments='/open %NodesApp%' Description='Runs %NodesApp%'"
         " IconIndex='2' IconFile='%NodesApp%\\icons.dll'/></S>");
    const std::vector<std::string> lines = TraceOfRun();
    EXPECT_TRUE(HasLine(lines, "Setup: Create shortcut: successful, at '" + Narrow(link) + "'")) << Joined(lines);

    const SLink read = ReadLink(link);
    ASSERT_EQ(S_OK, read.loaded);
    EXPECT_EQ(Lower(app), Lower(read.target));
    EXPECT_EQ("/open " + Narrow(m_temp / L"app"), Narrow(read.arguments));
    EXPECT_EQ(Lower(m_temp / L"app\\work"), Lower(read.folder));
    EXPECT_EQ(Lower(m_temp / L"app\\icons.dll"), Lower(read.icon));
    EXPECT_EQ(2, read.iconIndex);
    // The description is taken as written.
    EXPECT_EQ("Runs %NodesApp%", Narrow(read.description));
    EXPECT_EQ(SW_SHOWMAXIMIZED, read.showCmd);
}

TEST_F(ProgramNodesTest, ShortcutDefaultsToTheTargetsFolderAndIcon)
{
    const std::wstring app = m_temp / L"app\\prog.exe";
    TestSupport::WriteFileBytes(app, TestSupport::ToBytes("MZ"));
    const std::wstring link = m_temp / L"desk\\Prog.lnk";
    Load("<S><Shorcut TargetFileName='" + Attr(app) + "' LinkFilePath='" + Attr(link) + "'/></S>");
    const std::vector<std::string> lines = TraceOfRun();
    EXPECT_TRUE(HasLine(lines, "Setup: Create shortcut: successful, at '" + Narrow(link) + "'")) << Joined(lines);

    const SLink read = ReadLink(link);
    ASSERT_EQ(S_OK, read.loaded);
    EXPECT_EQ(Lower(app), Lower(read.target));
    EXPECT_EQ("", Narrow(read.arguments));
    EXPECT_EQ(Lower(m_temp / L"app"), Lower(read.folder));
    EXPECT_EQ(Lower(app), Lower(read.icon));
    EXPECT_EQ(0, read.iconIndex);
    EXPECT_EQ("", Narrow(read.description));
    EXPECT_EQ(SW_SHOWNORMAL, read.showCmd);
}

TEST_F(ProgramNodesTest, ShortcutThatCannotBeRightWritesNothingAndSaysFailed)
{
    const std::wstring app = m_temp / L"app\\prog.exe";
    TestSupport::WriteFileBytes(app, TestSupport::ToBytes("MZ"));
    const std::wstring link = m_temp / L"bad\\Prog.lnk";
    const std::string target = " TargetFileName='" + Attr(app) + "'";
    const std::string linkPath = " LinkFilePath='" + Attr(link) + "'";
    const struct {
        std::string attributes;
        std::string tracedLink; // null text: no trace at all
        bool traced;
    } cases[] = {
        {target + linkPath + " ShowMode='-1'", Narrow(link), true},
        {target + linkPath + " IconIndex='-1'", Narrow(link), true},
        {linkPath, Narrow(link), true},
        {target, "", true},
        // Relative paths would write wherever the current folder is.
        {target + " LinkFilePath='bad\\Prog.lnk'", "bad\\Prog.lnk", true},
        {target + " LinkFilePath='\\bad\\Prog.lnk'", "\\bad\\Prog.lnk", true},
        {target + " LinkFilePath='Prog.lnk'", "Prog.lnk", true},
        // A folder variable that this system does not know stays as written.
        {target + " LinkFilePath='%NodesNoSuchFolder%\\Prog.lnk'", "%NodesNoSuchFolder%\\Prog.lnk", true},
        // A number that is none: the node ends without a trace.
        {target + linkPath + " ShowMode='normal'", "", false},
    };
    for (const auto& c : cases) {
        Load("<S><Shorcut" + c.attributes + "/><SetCond condition='after'/></S>");
        const std::vector<std::string> lines = TraceOfRun();
        const std::string what = c.attributes + "\n" + Joined(lines);
        if (c.traced) {
            EXPECT_TRUE(HasLine(lines, "Setup: Create shortcut: failed, at '" + c.tracedLink + "'")) << what;
        } else {
            EXPECT_EQ(0, CountStarting(lines, "Setup: Create shortcut:")) << what;
        }
        EXPECT_FALSE(Exists(link)) << what;
        EXPECT_FALSE(Exists(m_temp / L"bad")) << what;
        EXPECT_FALSE(Exists(L"Prog.lnk")) << what;
        EXPECT_FALSE(Exists(L"bad")) << what;
        EXPECT_FALSE(Exists(L"%NodesNoSuchFolder%")) << what;
        EXPECT_TRUE(Value(L"after")) << what;
    }

    // A link written over its own target would destroy the program.
    Load("<S><Shorcut" + target + " LinkFilePath='" + Attr(m_temp / L"APP\\.\\Prog.exe") + "'/></S>");
    const std::vector<std::string> lines = TraceOfRun();
    EXPECT_EQ(1, CountStarting(lines, "Setup: Create shortcut: failed")) << Joined(lines);
    EXPECT_EQ(TestSupport::ToBytes("MZ"), TestSupport::ReadFileBytes(app));
}

// ---- ChangeStatus -----------------------------------------------------------

TEST_F(ProgramNodesTest, ChangeStatusShowsTheStepsCaptionAndSetsTheTaskbarState)
{
    Load("<Localize><InstallSteps><Unpack Caption='Unpacking the tools'/></InstallSteps></Localize>"
         "<S><ChangeStatus MessageTag='Unpack' ProgressState='4'/></S>"
         "<T><ChangeStatus MessageTag='Missing'/></T>"
         "<U><ChangeStatus MessageTag='Unpack'/><ChangeStatus/></U>");
    Manager().ShowMainWindow();
    const HWND window = Manager().m_pDlgMain->m_hWnd;
    ASSERT_NE(nullptr, window);
    ASSERT_TRUE(Manager().m_TaskbarProgress.HasTaskbarList());
    const auto status = [window]() {
        wchar_t text[100] = {};
        GetDlgItemTextW(window, kStatusTextId, text, 100);
        return Narrow(text);
    };

    Run(L"//Interface/S");
    EXPECT_EQ("Unpacking the tools", status());
    EXPECT_TRUE(Manager().m_pDlgMain->m_bShowWait);
    EXPECT_EQ(UI::CTaskbarProgress::kError, Manager().m_TaskbarProgress.GetState());

    // A step without a caption clears it; without ProgressState the state stays.
    Run(L"//Interface/T");
    EXPECT_EQ("", status());
    EXPECT_FALSE(Manager().m_pDlgMain->m_bShowWait);
    EXPECT_EQ(UI::CTaskbarProgress::kError, Manager().m_TaskbarProgress.GetState());

    // No tag at all clears it too.
    Run(L"//Interface/U");
    EXPECT_EQ("", status());
}

TEST_F(ProgramNodesTest, ChangeStatusWithAStateThatIsNoNumberLeavesTheScript)
{
    Load("<S><ChangeStatus MessageTag='Unpack' ProgressState='busy'/><SetCond condition='after'/></S>");
    EXPECT_NE(S_OK, TestSupport::ComErrorOf([this] { Run(); }));
    EXPECT_FALSE(Has(L"after"));
}

// ---- Question / MessageBox ---------------------------------------------------

std::string AnswerChildren(const std::string& extra = "")
{
    return "<Ok><SetCond condition='ok'/></Ok><Cancel><SetCond condition='cancel'/></Cancel>"
           "<Yes><SetCond condition='yes'/></Yes><No><SetCond condition='no'/></No>" +
           extra;
}

TEST_F(ProgramNodesTest, QuietQuestionsTakeYesForAnyButtonSetAndOkForOkAlone)
{
    const struct {
        const char* keyword;
        const char* buttons; // null: no attribute
        const wchar_t* child;
    } cases[] = {
        {"Question", nullptr, L"ok"},    {"Question", "0x40", L"ok"},    {"Question", "0x24", L"yes"},
        {"Question", "0x21", L"yes"},    {"MessageBox", "0x4", L"yes"},  {"MessageBox", "0x0", L"ok"},
        {"MessageBox", "junk", L"ok"},   {"messagebox", "0x35", L"yes"}, {"QUESTION", "0x22", L"yes"},
    };
    for (const auto& c : cases) {
        const std::string buttons = c.buttons != nullptr ? std::string(" Buttons='") + c.buttons + "'" : "";
        Load(std::string("<S><") + c.keyword + " Caption='Go on?'" + buttons + ">" + AnswerChildren() + "</" +
             c.keyword + "><SetCond condition='after'/></S>");
        g_CmdLine.m_bQuiet = true;
        Run();
        const std::string what = std::string(c.keyword) + " " + (c.buttons != nullptr ? c.buttons : "<none>");
        for (const wchar_t* name : {L"ok", L"cancel", L"yes", L"no"})
            EXPECT_EQ(std::wstring(name) == c.child, Has(name)) << what << " " << Narrow(name);
        EXPECT_TRUE(Value(L"after")) << what;
    }
}

TEST_F(ProgramNodesTest, TheUsersAnswerRunsItsChild)
{
    Load("<Localize Caption='Node test'/>"
         "<S><Question Caption='Keep the old files?' Buttons='0x24'>" + AnswerChildren() + "</Question></S>");
    TestSupport::CGuiDriver driver(GetCurrentProcessId(), 5000);
    TestSupport::SWindowInfo seen;
    bool answered = false;
    std::thread user([&]() { answered = driver.AnswerMessageBox(IDNO, &seen); });
    Run();
    user.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(L"Node test", seen.title);
    EXPECT_TRUE(Has(L"no"));
    EXPECT_FALSE(Has(L"yes"));
    EXPECT_FALSE(Has(L"ok"));
}

TEST_F(ProgramNodesTest, AbortAnswerRunsItsNodesThenStopsTheRun)
{
    Load("<S><Question Buttons='0x24'><Yes Abort='true'><SetCond condition='inside'/></Yes></Question>"
         "<SetCond condition='after'/></S>");
    g_CmdLine.m_bQuiet = true;
    EXPECT_THROW(Run(), CInstallAbort);
    EXPECT_TRUE(Value(L"inside"));
    EXPECT_FALSE(Has(L"after"));

    // A failure inside the answer's script ends that script, and the abort still comes.
    Load("<S><Question Buttons='0x24'><Yes Abort='1'><SetCond condition='first'/><SetCond condition='bad' Value='maybe'/>"
         "<SetCond condition='never'/></Yes></Question><SetCond condition='after'/></S>");
    g_CmdLine.m_bQuiet = true;
    EXPECT_THROW(Run(), CInstallAbort);
    EXPECT_TRUE(Value(L"first"));
    EXPECT_FALSE(Has(L"never"));
    EXPECT_FALSE(Has(L"after"));

    // A Break inside the answer stops the run as well.
    Load("<S><MessageBox><Ok><Break/><SetCond condition='never'/></Ok></MessageBox><SetCond condition='after'/></S>");
    g_CmdLine.m_bQuiet = true;
    EXPECT_THROW(Run(), CInstallAbort);
    EXPECT_FALSE(Has(L"never"));
    EXPECT_FALSE(Has(L"after"));
}

TEST_F(ProgramNodesTest, AnswersWithoutAbortLetTheScriptGoOn)
{
    const char* scripts[] = {
        // Abort only on the answer not given.
        "<Question Buttons='0x24'><No Abort='true'/></Question>",
        // No child for the answer.
        "<Question Buttons='0x24'><Ok Abort='true'/></Question>",
        // Abort that is no boolean: the child does not run, nothing aborts.
        "<Question Buttons='0x24'><Yes Abort='perhaps'><SetCond condition='never'/></Yes></Question>",
        // A failure inside the child's script without Abort.
        "<Question Buttons='0x24'><Yes><SetCond condition='bad' Value='maybe'/><SetCond condition='never'/></Yes>"
        "</Question>",
        // Abort false.
        "<Question Buttons='0x24'><Yes Abort='false'/></Question>",
    };
    for (const char* script : scripts) {
        Load(std::string("<S>") + script + "<SetCond condition='after'/></S>");
        g_CmdLine.m_bQuiet = true;
        EXPECT_NO_THROW(Run()) << script;
        EXPECT_TRUE(Value(L"after")) << script;
        EXPECT_FALSE(Has(L"never")) << script;
    }
}

TEST_F(ProgramNodesTest, AnswersThatCallTheirOwnScriptTwiceEndAtTheDepthLimit)
{
    // Each level runs the script twice: swallowing the depth failure at every
    // answer would take 2^32 runs before the script ended.
    Load("<S><Question Buttons='0x24'><Yes><Call Node='S'/><Call Node='S'/></Yes></Question></S>");
    g_CmdLine.m_bQuiet = true;
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(CInstallManager::kScriptTooDeep, TestSupport::ComErrorOf([this] { Run(); }));
    EXPECT_LT(::GetTickCount() - start, 10000u);
    EXPECT_EQ(0, Manager().m_nScriptDepth);
}

} // namespace
