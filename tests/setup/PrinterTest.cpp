// Tests of the printer install.
#include "tests/setup/EngineFixture.h"

#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using TestSupport::Joined;
using TestSupport::HasLine;
using TestSupport::HasLineStarting;

using TestSupport::Narrow;
using TestSupport::TraceOf;

std::string Library(const std::string& variant = std::string())
{
    return Narrow(TestSupport::ModuleFolder()) + "fakeprinter" + variant + ".dll";
}

// The parts of a printer element; each test changes what it needs.
struct SPrinterDocument
{
    std::string library = Library();
    std::string connector = "<Connector Type='3' ConnectorID='conn-id' HostName='host'/>";
    std::string eventHandler = "<PrinterEventHandler CoClassGUID32='{G32}' Module32='m32.dll' CoClassGUID64='{G64}' "
                               "Module64='m64.dll' EventMask='0x1F'/>";
    std::string printer = "<Printer P2DPrinterName='Virtual' P2DPrinterID='vp-id' P2DShareName='' PortName='VP:'/>";
    std::string dependences = "<Dependences><D SourceFileName='a.src' TargetFileName='a.dst'/><!-- note -->"
                              "<D SourceFileName='%PrinterTestDir%\\b.src' TargetFileName='b.dst'/></Dependences>";

    std::string script;

    std::string Text() const
    {
        return "<Interface>" + script + "<PrinterInstall>"
               "<P2DSetupFiles P2DSetupDll='" + library + "' P2DSetupCFS='printer.cfs'/>"
               "<Driver DriverCaption='Drv' DriverFileName='drv.dll'/>"
               "<PrintProc PrintProcCaption='Proc' PrintProcFileName='proc.dll'/>" +
               printer + connector + eventHandler + dependences +
               "</PrinterInstall><Localize><Messages><PrnIstallFailed Caption='Printer failed: %ERROR%'/>"
               "</Messages><InstallSteps><InstallPrinter Caption='Installing printer'/>"
               "<RemovingPrinter Caption='Removing printer'/></InstallSteps></Localize></Interface>";
    }
};

class PrinterTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        m_strLog = m_temp / L"printer.log";
        SetEnvironmentVariableW(L"FAKEPRINTER_LOG", m_strLog.c_str());
        Texts("GetVersion=2.0;GetDriverVersion=1.9;GetDriverProcVersion=2.0;GetPrinterRegKey=Printers\\Virtual");
        Results("");
        GetPathVariables().Define(L"%PrinterTestDir%", L"C:\\Deps");
    }

    void TearDown() override
    {
        SetEnvironmentVariableW(L"FAKEPRINTER_LOG", nullptr);
        SetEnvironmentVariableW(L"FAKEPRINTER_TEXTS", nullptr);
        SetEnvironmentVariableW(L"FAKEPRINTER_RESULTS", nullptr);
        CEngineTest::TearDown();
    }

    static void Texts(const std::string& texts)
    {
        SetEnvironmentVariableW(L"FAKEPRINTER_TEXTS", std::wstring(texts.begin(), texts.end()).c_str());
    }

    static void Results(const std::string& results)
    {
        SetEnvironmentVariableW(L"FAKEPRINTER_RESULTS", std::wstring(results.begin(), results.end()).c_str());
    }

    // Loads the document quietly, on Windows 6.1 unless told otherwise.
    void Load(const SPrinterDocument& document, DWORD major = 6, DWORD minor = 1)
    {
        ASSERT_TRUE(LoadDocument(document.Text()));
        g_CmdLine.m_bQuiet = true;
        Manager().m_Seams.windowsVersion = [major, minor](OSVERSIONINFOW* info) {
            info->dwMajorVersion = major;
            info->dwMinorVersion = minor;
            return TRUE;
        };
        Calls();
    }

    // The library's calls since the last look.
    std::vector<std::string> Calls()
    {
        std::vector<std::string> lines;
        {
            std::ifstream file(m_strLog.c_str());
            std::string line;
            while (std::getline(file, line))
                lines.push_back(line);
        }
        DeleteFileW(m_strLog.c_str());
        return lines;
    }

    std::vector<std::string> Names()
    {
        std::vector<std::string> names;
        for (const std::string& call : Calls())
            names.push_back(call.substr(0, call.find('|')));
        return names;
    }

    bool Install(std::vector<std::string>* trace = nullptr)
    {
        bool result = false;
        const std::vector<std::string> lines = TraceOf([&] { result = Manager().InstallPrinter(); });
        if (trace != nullptr)
            *trace = lines;
        return result;
    }

    bool Uninstall(std::vector<std::string>* trace = nullptr)
    {
        bool result = false;
        const std::vector<std::string> lines = TraceOf([&] { result = Manager().UninstallPrinter(); });
        if (trace != nullptr)
            *trace = lines;
        return result;
    }

    // Installs in a run that is not quiet; the message box is answered and its
    // texts kept.
    bool InstallAnswering(std::vector<std::wstring>& texts, std::vector<std::string>& trace)
    {
        Manager().m_pDlgMain.reset();
        g_CmdLine.m_bQuiet = false;
        TestSupport::SWindowInfo seen;
        bool answered = false;
        bool result = true;
        std::thread user([&] {
            TestSupport::CGuiDriver driver(::GetCurrentProcessId(), 20000);
            answered = driver.AnswerMessageBox(IDOK, &seen);
        });
        trace = TraceOf([&] { result = Manager().InstallPrinter(); });
        user.join();
        EXPECT_TRUE(answered);
        texts = seen.childTexts;
        return result;
    }

    std::wstring m_strLog;
};

TEST_F(PrinterTest, InstallCallsTheLibraryInOrderWithTheDocumentsValues)
{
    Load(SPrinterDocument());
    std::vector<std::string> trace;
    EXPECT_TRUE(Install(&trace));
    const std::vector<std::string> expected = {
        "OpenLibrary|printer.cfs",
        "GetVersion|10",
        "GetDriverVersion|Drv|0|10",
        "GetDriverProcVersion|Proc|10",
        "InstallDriver|drv.dll|Drv|1|1",
        "UninstallPrinter|Virtual",
        "InstallPrinter|Virtual|vp-id|Drv|Proc|VP:|(null)",
        "InstallConnector|Virtual|3|conn-id|host|(null)",
        "SetupPrinterEventHandler|Virtual|{G32}|m32.dll|{G64}|m64.dll|31",
        "InstallPrinterDependence|Virtual|a.src|a.dst",
        "InstallPrinterDependence|Virtual|C:\\Deps\\b.src|b.dst",
        "GetPrinterRegKey|Virtual|520",
        "CloseLibrary",
    };
    EXPECT_EQ(expected, Calls());
    EXPECT_TRUE(HasLine(trace, "Setup: Install virtual printer - successful")) << Joined(trace);
    EXPECT_EQ("Printers\\Virtual", Narrow(Manager().m_strPrinterRegKey));
    CString expanded(L"Key=%P2DPrinterRegKey%");
    ExpandVariables(expanded);
    EXPECT_EQ("Key=Printers\\Virtual", Narrow(expanded));
}

TEST_F(PrinterTest, LongRegistryKeyIsCutToTheBuffer)
{
    Load(SPrinterDocument());
    Texts("GetVersion=2.0;GetPrinterRegKey=" + std::string(600, 'k'));
    EXPECT_TRUE(Install());
    EXPECT_EQ(std::string(520, 'k'), Narrow(Manager().m_strPrinterRegKey));
}

TEST_F(PrinterTest, RelativeLibraryNameMeansTheFileInTheCurrentFolder)
{
    // A library of that name beside the program must not stand in for it.
    const std::wstring folder = m_temp / L"current";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
    ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"fakeprinter_noCloseLibrary.dll").c_str(),
                          (folder + L"\\fakeprinter.dll").c_str(), TRUE));
    wchar_t before[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(SetCurrentDirectoryW(folder.c_str()));
    SPrinterDocument document;
    document.library = "fakeprinter.dll";
    Load(document);
    EXPECT_THROW(Manager().InstallPrinter(), _com_error);  // the copy has no CloseLibrary
    EXPECT_EQ(12u, Calls().size());  // the whole sequence, no CloseLibrary
    document.library = "absent.dll";
    Load(document);
    EXPECT_FALSE(Install());
    EXPECT_TRUE(Calls().empty());
    SetCurrentDirectoryW(before);
}

TEST_F(PrinterTest, ShareNameAndDefaultsReachTheLibrary)
{
    SPrinterDocument document;
    document.printer = "<Printer P2DPrinterName='Virtual' P2DPrinterID='vp-id' P2DShareName='Shared' PortName='VP:'/>";
    document.connector = "<Connector/>";
    document.eventHandler = "<PrinterEventHandler EventMask='31'/>";
    document.dependences = "<Dependences><!-- none --></Dependences>";
    Load(document);
    EXPECT_TRUE(Install());
    const std::vector<std::string> calls = Calls();
    EXPECT_TRUE(HasLine(calls, "InstallPrinter|Virtual|vp-id|Drv|Proc|VP:|Shared")) << Joined(calls);
    EXPECT_TRUE(HasLine(calls, "InstallConnector|Virtual|1|||(null)")) << Joined(calls);
    // A mask without "0x" does not read.
    EXPECT_TRUE(HasLine(calls, "SetupPrinterEventHandler|Virtual|||||0")) << Joined(calls);
    EXPECT_FALSE(HasLineStarting(calls, "InstallPrinterDependence")) << Joined(calls);
}

TEST_F(PrinterTest, PackedVersionsDecideWhatIsInstalled)
{
    const struct
    {
        const char* library;
        const char* driver;
        const char* proc;
        bool installDriver;
        bool installProc;
    } cases[] = {
        {"2.0", "2.0", "2.0", false, false},
        {"2.0", "1.9", "", true, true},
        {"1.2.3.4.5", "1.2.3.4", "1.2.3.3", false, true},
        {"1.256", "1.0", "0.255", false, true},  // 256 wraps to 0
        {"2.5", "2.4.255", "3", true, false},
        {"", "", "", false, false},
        {"1..2", "1.1", "1.2", true, false},  // ".." is one separator
        // A text that fills the buffer whole is read up to its end: 1.2.3.4.56.
        {"1.2.3.4.56789", "1.2.3.3", "1.2.3.4", true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.library) + " / " + c.driver + " / " + c.proc);
        Load(SPrinterDocument());
        Texts(std::string("GetVersion=") + c.library + ";GetDriverVersion=" + c.driver +
              ";GetDriverProcVersion=" + c.proc);
        EXPECT_TRUE(Install());
        const std::vector<std::string> calls = Calls();
        EXPECT_EQ(c.installDriver, HasLine(calls, "InstallDriver|drv.dll|Drv|1|1")) << Joined(calls);
        EXPECT_EQ(c.installProc, HasLine(calls, "InstallDriverProc|proc.dll|Proc")) << Joined(calls);
    }
}

TEST_F(PrinterTest, AFailingStepStopsTheInstallAndIsReported)
{
    const struct
    {
        const char* step;
        const char* lastCall;  // the call before CloseLibrary
    } cases[] = {
        {"GetVersion", "GetVersion"},
        {"GetDriverVersion", "GetDriverVersion"},
        {"GetDriverProcVersion", "GetDriverProcVersion"},
        {"InstallDriver", "InstallDriver"},
        {"InstallDriverProc", "InstallDriverProc"},
        {"InstallPrinter", "InstallPrinter"},
        {"InstallConnector", "InstallConnector"},
        {"SetupPrinterEventHandler", "SetupPrinterEventHandler"},
        {"InstallPrinterDependence", "InstallPrinterDependence"},
        {"GetPrinterRegKey", "GetPrinterRegKey"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Load(SPrinterDocument());
        Texts("GetVersion=2.0;GetDriverVersion=1.0;GetDriverProcVersion=1.0;GetPrinterRegKey=Key");
        Results(std::string(c.step) + "=0x80070005");
        Manager().m_strPrinterRegKey = L"before";
        std::vector<std::string> trace;
        EXPECT_FALSE(Install(&trace));
        const std::vector<std::string> names = Names();
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ("CloseLibrary", names.back());
        EXPECT_EQ(c.lastCall, names[names.size() - 2]) << Joined(names);
        EXPECT_TRUE(HasLineStarting(trace, "Setup: Exception occurred during printer install. Error 0x80070005: "))
            << Joined(trace);
        EXPECT_TRUE(HasLine(trace, "Setup: Install virtual printer - failed")) << Joined(trace);
        EXPECT_EQ("before", Narrow(Manager().m_strPrinterRegKey));
    }
    // Results that are not negative are success, and UninstallPrinter's is ignored.
    Load(SPrinterDocument());
    Results("OpenLibrary=1;InstallPrinter=1;UninstallPrinter=0x80004005;InstallConnector=0x7FFFFFFF");
    EXPECT_TRUE(Install());
}

TEST_F(PrinterTest, FailedOpenLibraryLeavesTheLibraryUnclosed)
{
    Load(SPrinterDocument());
    Results("OpenLibrary=0x80004005");
    EXPECT_FALSE(Install());
    EXPECT_EQ(std::vector<std::string>{"OpenLibrary"}, Names());
    EXPECT_FALSE(Uninstall());
    EXPECT_EQ(std::vector<std::string>{"OpenLibrary"}, Names());
}

TEST_F(PrinterTest, BadDocumentValuesFailTheInstall)
{
    const struct
    {
        const char* what;
        std::string connector;
        std::string eventHandler;
        std::string dependences;
        const char* lastCall;
    } cases[] = {
        {"Type", "<Connector Type='many'/>", SPrinterDocument().eventHandler, "", "InstallPrinter"},
        {"event handler", SPrinterDocument().connector, "", "", "InstallConnector"},
        {"target", SPrinterDocument().connector, SPrinterDocument().eventHandler,
         "<Dependences><D SourceFileName='a.src' TargetFileName='a.dst'/><D SourceFileName='b.src'/></Dependences>",
         "InstallPrinterDependence"},
        {"source", SPrinterDocument().connector, SPrinterDocument().eventHandler,
         "<Dependences><D TargetFileName='b.dst'/></Dependences>", "SetupPrinterEventHandler"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        SPrinterDocument document;
        document.connector = c.connector;
        document.eventHandler = c.eventHandler;
        document.dependences = c.dependences;
        Load(document);
        std::vector<std::string> trace;
        EXPECT_FALSE(Install(&trace));
        const std::vector<std::string> names = Names();
        ASSERT_GE(names.size(), 2u);
        EXPECT_EQ("CloseLibrary", names.back());
        EXPECT_EQ(c.lastCall, names[names.size() - 2]) << Joined(names);
        EXPECT_TRUE(HasLine(trace, "Setup: Install virtual printer - failed")) << Joined(trace);
    }
}

TEST_F(PrinterTest, MissingLibraryShowsTheMessageAndTheScriptGoesOn)
{
    SPrinterDocument document;
    document.library = Narrow(m_temp / L"absent.dll");
    ASSERT_TRUE(LoadDocument(document.Text()));
    std::vector<std::wstring> texts;
    std::vector<std::string> trace;
    EXPECT_FALSE(InstallAnswering(texts, trace));
    const std::wstring prefix = L"Printer failed: 0x80004005 - ";
    std::string shown;
    bool found = false;
    for (const std::wstring& t : texts) {
        shown += Narrow(t) + "\n";
        found = found || (t.compare(0, prefix.size(), prefix) == 0 && t.size() > prefix.size());
    }
    EXPECT_TRUE(found) << shown;
    EXPECT_TRUE(HasLineStarting(trace, "Setup: Exception occurred during printer install. Error 0x80004005: "))
        << Joined(trace);
    EXPECT_TRUE(HasLine(trace, "Setup: Install virtual printer - failed")) << Joined(trace);
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PrinterTest, CodesWithoutSystemTextAreShownAsUnknownErrors)
{
    const struct
    {
        const char* results;
        const wchar_t* message;
        const char* traceLine;
    } cases[] = {
        // The code once, in the message's own form.
        {"InstallPrinter=0xA0001234", L"Printer failed: 0xa0001234 - Unknown error",
         "Setup: Exception occurred during printer install. Error 0xa0001234: Unknown error"},
        {"InstallConnector=0xA00FFFFF", L"Printer failed: 0xa00fffff - Unknown error",
         "Setup: Exception occurred during printer install. Error 0xa00fffff: Unknown error"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.results);
        ASSERT_TRUE(LoadDocument(SPrinterDocument().Text()));
        Results(c.results);
        std::vector<std::wstring> texts;
        std::vector<std::string> trace;
        EXPECT_FALSE(InstallAnswering(texts, trace));
        std::string shown;
        for (const std::wstring& t : texts)
            shown += Narrow(t) + "\n";
        EXPECT_NE(texts.end(), std::find(texts.begin(), texts.end(), c.message)) << shown;
        EXPECT_TRUE(HasLine(trace, c.traceLine)) << Joined(trace);
    }
}

TEST_F(PrinterTest, ScriptNodeChoosesByInstallAndGoesOnAfterAFailure)
{
    SPrinterDocument document;
    document.script = "<Install><PreFinish><Printer/><Printer Install='false'/><PRINTER Install='true'/>"
                      "</PreFinish></Install>";
    Load(document);
    Results("InstallPrinter=0x80070005");
    Manager().RunScriptAt(L"//Interface/Install/PreFinish");
    const std::vector<std::string> names = Names();
    const auto count = [&](const char* name) { return std::count(names.begin(), names.end(), name); };
    EXPECT_EQ(2, count("InstallPrinter")) << Joined(names);
    EXPECT_EQ(1, count("UninstallDriver")) << Joined(names);
    EXPECT_EQ(3, count("CloseLibrary")) << Joined(names);
}

TEST_F(PrinterTest, MissingExportsFailExceptDriverIsolation)
{
    const struct
    {
        const char* variant;
        bool result;
        std::vector<std::string> calls;
    } cases[] = {
        {"_noOpenLibrary", false, {}},
        {"_noGetVersion", false, {"OpenLibrary", "CloseLibrary"}},
        {"_noInstallDriver", false, {"OpenLibrary", "GetVersion", "GetDriverVersion", "GetDriverProcVersion",
                                     "CloseLibrary"}},
        {"_noGetPrinterRegKey", false, {"OpenLibrary", "GetVersion", "GetDriverVersion", "GetDriverProcVersion",
                                        "InstallDriver", "UninstallPrinter", "InstallPrinter", "InstallConnector",
                                        "SetupPrinterEventHandler", "InstallPrinterDependence",
                                        "InstallPrinterDependence", "CloseLibrary"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.variant);
        SPrinterDocument document;
        document.library = Library(c.variant);
        Load(document);
        EXPECT_EQ(c.result, Install());
        EXPECT_EQ(c.calls, Names());
    }

    // The export is looked up even when there is nothing to call it for.
    SPrinterDocument empty;
    empty.library = Library("_noInstallPrinterDependence");
    empty.dependences = "";
    Load(empty);
    EXPECT_FALSE(Install());
    EXPECT_FALSE(HasLine(Names(), "GetPrinterRegKey"));
}

TEST_F(PrinterTest, DriverIsolationOnlyAboveWindows7)
{
    const struct
    {
        const char* variant;
        DWORD major;
        DWORD minor;
        bool called;
        const char* trace;  // null: no isolation trace
    } cases[] = {
        {"", 6, 1, false, nullptr},
        {"", 6, 2, true, "SetDriverIsolation succeeded"},
        {"", 10, 0, true, "SetDriverIsolation succeeded"},
        {"_noSetDriverIsolation", 6, 1, false, nullptr},
        {"_noSetDriverIsolation", 10, 0, false, "Set driver isolation mode, fn=0"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.variant) + " " + std::to_string(c.major) + "." + std::to_string(c.minor));
        SPrinterDocument document;
        document.library = Library(c.variant);
        Load(document, c.major, c.minor);
        std::vector<std::string> trace;
        EXPECT_TRUE(Install(&trace));
        const std::vector<std::string> calls = Calls();
        EXPECT_EQ(c.called, HasLine(calls, "SetDriverIsolation|drv.dll|None")) << Joined(calls);
        EXPECT_EQ(c.trace != nullptr, HasLineStarting(trace, "Setup: Set driver isolation mode, fn=")) << Joined(trace);
        if (c.trace != nullptr) {
            EXPECT_TRUE(HasLine(trace, std::string("Setup: ") + c.trace)) << Joined(trace);
        }
    }
    // A failing isolation fails the install before the key is read.
    Load(SPrinterDocument(), 10, 0);
    Results("SetDriverIsolation=0x80070005");
    EXPECT_FALSE(Install());
    const std::vector<std::string> names = Names();
    EXPECT_FALSE(HasLine(names, "GetPrinterRegKey")) << Joined(names);
}

TEST_F(PrinterTest, MissingCloseLibraryReachesTheCaller)
{
    SPrinterDocument document;
    document.library = Library("_noCloseLibrary");
    Load(document);
    try {
        Manager().InstallPrinter();
        ADD_FAILURE() << "no failure raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(E_FAIL, e.Error());
    }
    Calls();
    EXPECT_THROW(Manager().UninstallPrinter(), _com_error);
    EXPECT_EQ(6u, Calls().size());
}

TEST_F(PrinterTest, UninstallRemovesInOrderAndTracesFailuresOnly)
{
    Load(SPrinterDocument());
    Results("UninstallPrinterDependences=0x80004005;UninstallDriver=0x80070005");
    std::vector<std::string> trace;
    EXPECT_TRUE(Uninstall(&trace));
    const std::vector<std::string> expected = {
        "OpenLibrary|printer.cfs",       "UninstallPrinterDependences|Virtual", "UninstallConnector|Virtual",
        "UninstallPrinter|Virtual",      "UninstallDriverProc|Proc",            "UninstallDriver|Drv",
        "CloseLibrary",
    };
    EXPECT_EQ(expected, Calls());
    EXPECT_TRUE(HasLine(trace, "Setup: Uninstall virtual printer - successful")) << Joined(trace);

    SPrinterDocument document;
    document.library = Library("_noUninstallConnector");
    Load(document);
    g_CmdLine.m_bQuiet = false;  // no message all the same
    Manager().m_pDlgMain.reset();
    EXPECT_FALSE(Uninstall(&trace));
    EXPECT_EQ((std::vector<std::string>{"OpenLibrary", "UninstallPrinterDependences", "CloseLibrary"}), Names());
    EXPECT_TRUE(HasLineStarting(trace, "Setup: Exception occurred during printer uninstall. Error 80004005: "))
        << Joined(trace);
    EXPECT_TRUE(HasLine(trace, "Setup: Uninstall virtual printer - failed")) << Joined(trace);

    document.library = Narrow(m_temp / L"absent.dll");
    Load(document);
    EXPECT_FALSE(Uninstall(&trace));
    EXPECT_TRUE(Calls().empty());
}

TEST_F(PrinterTest, WithoutPrinterInstallNothingIsTouched)
{
    ASSERT_TRUE(LoadDocument("<Interface><Localize><InstallSteps><InstallPrinter Caption='Installing printer'/>"
                             "</InstallSteps></Localize></Interface>"));
    g_CmdLine.m_bQuiet = false;
    DlgPopup::CDlgMain* main = Manager().m_pDlgMain.get();
    ASSERT_NE(nullptr, main);
    main->m_bShowWait = true;
    std::vector<std::string> trace;
    EXPECT_TRUE(Install(&trace));
    EXPECT_TRUE(Uninstall(&trace));
    EXPECT_TRUE(main->m_bShowWait);
    EXPECT_TRUE(Calls().empty());
    EXPECT_FALSE(HasLineStarting(trace, "Setup: Uninstall virtual printer")) << Joined(trace);
}

TEST_F(PrinterTest, StepCaptionIsShownAndClearedAgain)
{
    Load(SPrinterDocument());
    g_CmdLine.m_bQuiet = false;
    DlgPopup::CDlgMain* main = Manager().m_pDlgMain.get();
    ASSERT_NE(nullptr, main);
    main->m_bShowWait = true;
    EXPECT_TRUE(Install());
    EXPECT_FALSE(main->m_bShowWait);
    main->m_bShowWait = true;
    EXPECT_TRUE(Uninstall());
    EXPECT_FALSE(main->m_bShowWait);
}

} // namespace
