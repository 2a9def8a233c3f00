// Tests of the condition store and the components file.
#include "setup/engine/SetupOptions.h"

#include "common/config/SetupConfig.h"
#include "common/config/XMLElement.h"
#include "common/tools/PathVariables.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/CmdLineHelper.h"
#include "tests/common/XMLTestSupport.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::ToBytes;
using XMLTest::Narrow;
using XMLTest::SameXML;

namespace {

typedef std::vector<std::pair<std::wstring, bool>> Entries;

Entries EntriesOf(const ConditionMap& map)
{
    Entries entries;
    for (const auto& entry : map)
        entries.emplace_back(entry.first.Str(), entry.second);
    return entries;
}

std::string Describe(const Entries& entries)
{
    std::string text;
    for (const auto& entry : entries)
        text += Narrow(entry.first.c_str()) + "=" + (entry.second ? "1 " : "0 ");
    return text;
}

void WriteText(const std::wstring& path, const std::string& text)
{
    TestSupport::WriteFileBytes(path, ToBytes(text));
}

std::string ReadText(const std::wstring& path)
{
    const Bytes bytes = TestSupport::ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// The trace lines written while the body runs, with tracing switched on.
std::vector<std::string> TraceOf(const std::function<void()>& body)
{
    TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OwnRegistryView(), 1);
    Common::Tools::ResetSetupTraceLevel();
    const std::vector<std::string> lines = TestSupport::CaptureOwnOutput(body);
    Common::Tools::ResetSetupTraceLevel();
    return lines;
}

std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line;
    return text;
}

// The text the XML layer writes for a boolean attribute.
std::wstring WrittenForm(bool value)
{
    Common::Config::CXMLDocument document;
    document.Load(L"<x/>", false);
    document.SetValue(L"v", L"/x", _variant_t(value));
    return XMLTest::Wide(_bstr_t(document.GetValue(L"v", L"/x", _variant_t(L"?"))));
}

TEST(SetupOptions, EvaluateConditionTable)
{
    CSetupOptions options;
    options.SetCondition(L"a", true);
    options.SetCondition(L"b", false);
    options.SetCondition(L"tes", true);
    const struct {
        const wchar_t* text;
        bool flag;
        bool configMode;
        bool expected;
    } cases[] = {
        // Empty text: only the flag in configuration mode makes it false.
        {L"", false, false, true},
        {L"", false, true, true},
        {L"", true, false, true},
        {L"", true, true, false},
        // Blanks alone are not empty text.
        {L"   ", true, true, true},
        {L" ", false, false, true},
        {L"a", false, false, true},
        {L"b", false, false, false},
        {L"A", false, false, true},
        {L"b", true, true, false},
        {L"a", true, true, true},
        // Prefixes: one only, "no" before "!", read after lower-casing.
        {L"!b", false, false, true},
        {L"nob", false, false, true},
        {L"NoA", false, false, false},
        {L"NOB", false, false, true},
        {L"!A", false, false, false},
        {L"no!b", false, false, true},  // looks up "!b": unknown
        {L"notes", false, false, false}, // "tes", negated
        {L"no", false, false, true},    // looks up "": unknown
        // Joiners, left to right without precedence; no joiner means AND.
        {L"a & b", false, false, false},
        {L"b | a", false, false, true},
        {L"a b", false, false, false},
        {L"a | b & b", false, false, false}, // (a | b) & b
        {L"b & b | a", false, false, true},
        {L"  a   b  ", false, false, false},
        {L"b  |  a", false, false, true},
        // Unknown names are skipped with their joiner.
        {L"x", false, false, true},
        {L"b x", false, false, false},
        {L"x | b", false, false, true},
        {L"b | x", false, false, false},
        {L"nox", false, false, true},
        {L"a\tb", false, false, true}, // only U+0020 separates
        // Joiners without terms.
        {L"| b", false, false, true},
        {L"b |", false, false, false},
        {L"&", false, false, true},
        {L"a & | b", false, false, false},
        {L"b | | a", false, false, false},
        {L"b | & a", false, false, false},
        {L"a|b", false, false, true}, // one unknown name
    };
    for (const auto& c : cases) {
        options.m_bConfigMode = c.configMode;
        EXPECT_EQ(c.expected, options.EvaluateCondition(c.text, c.flag))
            << "\"" << Narrow(c.text) << "\" flag " << c.flag << " config " << c.configMode;
    }
}

TEST(SetupOptions, NamesIgnoreCaseAndKeepTheirFirstSpelling)
{
    CSetupOptions options;
    options.SetCondition(L"UI", true);
    options.SetCondition(L"ui", false);
    options.SetCondition(L"beta", true);
    options.SetCondition(L"Alpha", true);
    options.SetCondition(L"ALPHA", true);
    options.SetCondition(L"alpha2", false);
    options.SetCondition(L"Gamma", false);
    options.SetCondition(L"", true); // ignored
    // Case-insensitive order: an ordinal one would put "Gamma" before "alpha2".
    const Entries expected = {{L"Alpha", true}, {L"alpha2", false}, {L"beta", true}, {L"Gamma", false}, {L"UI", false}};
    EXPECT_EQ(expected, EntriesOf(options.m_Conditions)) << Describe(EntriesOf(options.m_Conditions));
    EXPECT_FALSE(options.EvaluateCondition(L"Ui", false));
    EXPECT_TRUE(options.EvaluateCondition(L"noui", false));
}

class SetupOptionsFileTest : public ::testing::Test
{
protected:
    std::wstring Path(const wchar_t* name) const { return m_temp / name; }

    TestSupport::CComScope m_com;
    CTempFolder m_temp;
};

TEST_F(SetupOptionsFileTest, SaveWritesAFreshComponentsFileThatLoadsBack)
{
    CSetupOptions options;
    options.m_strPath = Path(L"{product}.cfg").c_str();
    options.SetCondition(L"UI", true);
    options.SetCondition(L"restart", false);
    options.SetCondition(L"custom", true);
    options.SetCondition(L"Extras", false);
    options.SetCondition(L"caf\u00e9 & more", true);
    ASSERT_TRUE(options.Save());

    const std::string written = ReadText(options.m_strPath.Str());
    EXPECT_EQ(0u, written.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>")) << written;
    // UTF-8 on disk.
    EXPECT_NE(std::string::npos, written.find("caf\xc3\xa9 &amp; more")) << written;
    Common::Config::CXMLDocument document;
    document.Load(options.m_strPath.GetString(), true);
    Common::Config::CXMLNodeList items;
    document.SelectNodes(L"/Components/item", items);
    std::vector<std::wstring> names;
    for (auto it = items.Begin(); it != items.End(); ++it)
        names.push_back(XMLTest::Wide(_bstr_t(it.GetAttribute(L"Name", _variant_t(L"?")))));
    const std::vector<std::wstring> order = {L"caf\u00e9 & more", L"custom", L"Extras", L"restart", L"UI"};
    EXPECT_EQ(order, names);

    CSetupOptions loaded;
    loaded.m_strPath = options.m_strPath;
    loaded.SetCondition(L"stale", true);
    ASSERT_TRUE(loaded.Load());
    EXPECT_EQ(EntriesOf(options.m_Conditions), EntriesOf(loaded.m_Conditions))
        << Describe(EntriesOf(loaded.m_Conditions));
}

TEST_F(SetupOptionsFileTest, SaveReplacesTheItemsAndKeepsEverythingElse)
{
    CSetupOptions options;
    options.m_strPath = Path(L"kept.cfg").c_str();
    WriteText(options.m_strPath.Str(),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?><!-- before --><Components Version=\"2\">"
              "<item Name=\"old\" Value=\"true\"/><!-- inside --><other Name=\"older\" Value=\"0\"/>"
              "</Components>");
    options.SetCondition(L"new", true);
    options.SetCondition(L"Another", false);
    ASSERT_TRUE(options.Save());
    const std::wstring expected = L"<!-- before --><Components Version=\"2\"><!-- inside -->"
                                  L"<item Name=\"Another\" Value=\"" + WrittenForm(false) + L"\"/>"
                                  L"<item Name=\"new\" Value=\"" + WrittenForm(true) + L"\"/></Components>";
    EXPECT_TRUE(SameXML(expected.c_str(), _bstr_t(ReadText(options.m_strPath.Str()).c_str())));
    CSetupOptions loaded;
    loaded.m_strPath = options.m_strPath;
    ASSERT_TRUE(loaded.Load());
    EXPECT_EQ(Entries({{L"Another", false}, {L"new", true}}), EntriesOf(loaded.m_Conditions));
}

TEST_F(SetupOptionsFileTest, SaveLeavesForeignFilesAlone)
{
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"no Components element", "<?xml version=\"1.0\"?><Settings><item Name=\"a\" Value=\"1\"/></Settings>"},
        {"Components below another root",
         "<Project><Components><item Name=\"mine\" Value=\"true\"/></Components><Other/></Project>"},
    };
    for (const auto& c : cases) {
        CSetupOptions options;
        options.m_strPath = Path(L"foreign.cfg").c_str();
        WriteText(options.m_strPath.Str(), c.content);
        options.SetCondition(L"UI", true);
        bool saved = true;
        const std::string trace = Joined(TraceOf([&] { saved = options.Save(); }));
        EXPECT_FALSE(saved) << c.name;
        EXPECT_EQ(c.content, ReadText(options.m_strPath.Str())) << c.name;
        EXPECT_NE(std::string::npos, trace.find("Setup: SetupOptions : CSetupOptions::Save >\n")) << trace;
        EXPECT_NE(std::string::npos, trace.find("CSetupOptions::Save() - ")) << trace;
        EXPECT_NE(std::string::npos, trace.find("failed: 0x80004005")) << trace;
    }
}

TEST_F(SetupOptionsFileTest, SaveReplacesAFileThatIsNotXML)
{
    CSetupOptions options;
    options.m_strPath = Path(L"damaged.cfg").c_str();
    WriteText(options.m_strPath.Str(), "<Components><item Name=\"a\" Val");
    options.SetCondition(L"a", true);
    ASSERT_TRUE(options.Save());
    CSetupOptions loaded;
    loaded.m_strPath = options.m_strPath;
    ASSERT_TRUE(loaded.Load());
    EXPECT_EQ(Entries({{L"a", true}}), EntriesOf(loaded.m_Conditions));
}

TEST_F(SetupOptionsFileTest, SaveFailsWithoutAWritablePath)
{
    const std::wstring paths[] = {L"", Path(L"missing folder\\x.cfg")};
    for (const std::wstring& path : paths) {
        CSetupOptions options;
        options.m_strPath = path.c_str();
        options.SetCondition(L"a", true);
        EXPECT_FALSE(options.Save()) << Narrow(path.c_str());
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(Path(L"missing folder").c_str()));
    }
}

TEST_F(SetupOptionsFileTest, LoadReadingRules)
{
    CSetupOptions options;
    options.m_strPath = Path(L"rules.cfg").c_str();
    WriteText(options.m_strPath.Str(),
              "<Components>"
              "<item Name=\"upper\" Value=\"TRUE\"/>"
              "<item Name=\"mixed\" Value=\"fAlSe\"/>"
              "<item Name=\"one\" Value=\"1\"/>"
              "<item Name=\"minus\" Value=\"-1\"/>"
              "<item Name=\"seven\" Value=\"7\"/>"
              "<item Name=\"zero\" Value=\"0\"/>"
              "<item Name=\"novalue\"/>"
              "<item Value=\"true\"/>"
              "<anything Name=\"othername\" Value=\"true\"/>"
              "<item Name=\"Twice\" Value=\"true\"/>"
              "<item Name=\"TWICE\" Value=\"false\"/>"
              "text between<!-- and a comment -->"
              "</Components>");
    options.SetCondition(L"before", true);
    ASSERT_TRUE(options.Load());
    const Entries expected = {{L"0", true},      {L"minus", true},     {L"mixed", false}, {L"novalue", false},
                              {L"one", true},    {L"othername", true}, {L"seven", true},  {L"Twice", false},
                              {L"upper", true},  {L"zero", false}};
    EXPECT_EQ(expected, EntriesOf(options.m_Conditions)) << Describe(EntriesOf(options.m_Conditions));
}

TEST_F(SetupOptionsFileTest, LoadFailures)
{
    const struct {
        const char* name;
        const char* content; // null: no file
        bool result;
        Entries store;       // afterwards; the store held before=true
        const char* error;   // in the trace, or null for none
    } cases[] = {
        {"no file", nullptr, false, {{L"before", true}}, "failed: 0x80004005"},
        {"not XML", "this is not XML", false, {{L"before", true}}, "failed: 0x80004005"},
        {"empty file", "", false, {{L"before", true}}, "failed: 0x80004005"},
        // The selection is merely empty: the store empties, and that is no failure.
        {"no Components", "<Other><item Name=\"x\" Value=\"1\"/></Other>", true, {}, nullptr},
        // What was read before the bad value stays; the store was emptied first.
        {"value yes",
         "<Components><item Name=\"first\" Value=\"1\"/><item Name=\"bad\" Value=\"yes\"/>"
         "<item Name=\"after\" Value=\"1\"/></Components>",
         false, {{L"first", true}}, "failed: 0x80020005"},
        {"empty value", "<Components><item Name=\"bad\" Value=\"\"/></Components>", false, {},
         "failed: 0x80020005"},
    };
    for (const auto& c : cases) {
        CSetupOptions options;
        options.m_strPath = Path(L"load.cfg").c_str();
        DeleteFileW(options.m_strPath);
        if (c.content != nullptr)
            WriteText(options.m_strPath.Str(), c.content);
        options.SetCondition(L"before", true);
        bool result = !c.result;
        const std::string trace = Joined(TraceOf([&] { result = options.Load(); }));
        EXPECT_EQ(c.result, result) << c.name;
        EXPECT_EQ(c.store, EntriesOf(options.m_Conditions)) << c.name << ": " << Describe(EntriesOf(options.m_Conditions));
        EXPECT_NE(std::string::npos, trace.find("Setup: SetupOptions : CSetupOptions::Load >\n")) << trace;
        if (c.error != nullptr) {
            EXPECT_NE(std::string::npos, trace.find("Setup: CSetupOptions::Load() - \"" + Narrow(options.m_strPath) +
                                                    "\" " + c.error + "\n"))
                << c.name << ": " << trace;
        } else {
            EXPECT_EQ(std::string::npos, trace.find("CSetupOptions::Load() - ")) << c.name << ": " << trace;
        }
    }
}

// The interface document of a package, read through setup's configuration object.
class SetupOptionsPathTest : public SetupOptionsFileTest
{
protected:
    void LoadDocument(const std::string& document)
    {
        PackageTools::SBuildOptions options;
        const std::wstring package = TestSupport::MakePackage(m_temp, {{L"setup.xml", ToBytes(document)}}, options,
                                                              L"p" + std::to_wstring(++m_nPackages) + L".cfs");
        auto& config = Common::Config::GetSetupConfig();
        ASSERT_TRUE(config.GetPackage().Open(package, true, false));
        ASSERT_TRUE(config.LoadSettings(L"\\setup.xml"));
    }

    int m_nPackages = 0;
};

TEST_F(SetupOptionsPathTest, InitPathNamesTheComponentsFileAfterTheProduct)
{
    ASSERT_TRUE(GetPathVariables().Define(L"%SetupOptionsFolder%", m_temp.Path().c_str()));
    LoadDocument("<Interface><InstallInfo ProductID=\"{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}\""
                 " UninstallPath=\"%SetupOptionsFolder%\\Uninstall\"/></Interface>");
    CSetupOptions options;
    options.InitPath();
    const std::wstring expected = m_temp / L"Uninstall\\{0A1B2C3D-4E5F-6071-8293-A4B5C6D7E8F9}.cfg";
    EXPECT_EQ(CString(expected), options.m_strPath);

    // The path is usable as it stands once the folder exists.
    ASSERT_TRUE(CreateDirectoryW((m_temp / L"Uninstall").c_str(), nullptr));
    options.SetCondition(L"Main", true);
    ASSERT_TRUE(options.Save());
    CSetupOptions later;
    later.InitPath();
    ASSERT_TRUE(later.Load());
    EXPECT_EQ(Entries({{L"Main", true}}), EntriesOf(later.m_Conditions));

    // Missing attributes are empty texts.
    LoadDocument("<Interface><InstallInfo/></Interface>");
    options.InitPath();
    EXPECT_EQ(CString(L"\\.cfg"), options.m_strPath);

    // No install information: the path stays as it was.
    LoadDocument("<Interface><Other/></Interface>");
    options.m_strPath = L"unchanged";
    options.InitPath();
    EXPECT_EQ(CString(L"unchanged"), options.m_strPath);
}

const char kConfigList[] =
    "<C>"
    "<RemoveComponents><item Name=\"Viewer\" Value=\"true\"/><item Name=\"Fonts\" Value=\"false\"/>"
    "<item Name=\"Printer\" Value=\"1\"/></RemoveComponents>"
    "<AddComponents><item Name=\"Spell\" Value=\"true\"/><item Name=\"Toolbar\" Value=\"true\"/>"
    "<item Name=\"Help\" Value=\"true\"/><item Name=\"Fonts\" Value=\"false\"/></AddComponents>"
    "</C>";

TEST_F(SetupOptionsFileTest, ConfigListRunsAsTheReconfigurationDoes)
{
    CSetupOptions options;
    options.m_strPath = Path(L"installed.cfg").c_str();
    WriteText(options.m_strPath.Str(),
              "<Components><item Name=\"Viewer\" Value=\"true\"/><item Name=\"Printer\" Value=\"true\"/>"
              "<item Name=\"Fonts\" Value=\"true\"/><item Name=\"Spell\" Value=\"false\"/></Components>");
    const std::wstring list = Path(L"list.xml");
    WriteText(list, kConfigList);

    options.m_bConfigMode = true;
    ASSERT_TRUE(options.Load());
    options.m_Selection = options.m_Conditions;

    ASSERT_TRUE(options.LoadConfigList(list.c_str(), false));
    const Entries removeList = {{L"Fonts", false}, {L"Printer", true}, {L"Viewer", true}};
    EXPECT_EQ(removeList, EntriesOf(options.m_RemoveList));
    EXPECT_EQ(removeList, EntriesOf(options.m_Conditions));
    EXPECT_TRUE(options.m_AddList.empty());
    // Empty conditions of the programs the Remove script runs count as false now.
    EXPECT_FALSE(options.EvaluateCondition(L"", true));
    EXPECT_TRUE(options.EvaluateCondition(L"Printer & Viewer", true));
    options.ApplyList(false);
    EXPECT_EQ(Entries({{L"Fonts", true}, {L"Printer", false}, {L"Spell", false}, {L"Viewer", false}}),
              EntriesOf(options.m_Selection));

    ASSERT_TRUE(options.LoadConfigList(list.c_str(), true));
    const Entries addList = {{L"Fonts", false}, {L"Help", true}, {L"Spell", true}, {L"Toolbar", true}};
    EXPECT_EQ(addList, EntriesOf(options.m_AddList));
    EXPECT_EQ(addList, EntriesOf(options.m_Conditions));
    // The Add script vetoes one addition and drops the store's entry of another.
    options.SetCondition(L"toolbar", false);
    options.m_Conditions.erase(L"Help");
    options.ApplyList(true);
    EXPECT_EQ(Entries({{L"Fonts", true}, {L"Help", false}, {L"Printer", false}, {L"Spell", true},
                       {L"Toolbar", false}, {L"Viewer", false}}),
              EntriesOf(options.m_Selection));
    EXPECT_EQ(Entries({{L"Fonts", false}, {L"Help", false}, {L"Spell", true}, {L"Toolbar", false}}),
              EntriesOf(options.m_Conditions));

    options.m_bConfigMode = false;
    options.m_Conditions = options.m_Selection;
    ASSERT_TRUE(options.Save());
    CSetupOptions installed;
    installed.m_strPath = options.m_strPath;
    ASSERT_TRUE(installed.Load());
    EXPECT_EQ(EntriesOf(options.m_Selection), EntriesOf(installed.m_Conditions));
}

TEST_F(SetupOptionsFileTest, ConfigListEdges)
{
    const std::wstring list = Path(L"list.xml");
    WriteText(list, "<C><AddComponents><item Name=\"Spell\" Value=\"1\"/></AddComponents></C>");
    CSetupOptions options;
    options.m_AddList[L"Earlier"] = true;
    options.SetCondition(L"store", true);
    // A list is not emptied before it is read; a missing list is an empty one.
    ASSERT_TRUE(options.LoadConfigList(list.c_str(), true));
    EXPECT_EQ(Entries({{L"Earlier", true}, {L"Spell", true}}), EntriesOf(options.m_AddList));
    ASSERT_TRUE(options.LoadConfigList(list.c_str(), false));
    EXPECT_TRUE(options.m_RemoveList.empty());
    EXPECT_TRUE(options.m_Conditions.empty());

    // A list file that does not load leaves the lists and the store alone.
    options.SetCondition(L"store", true);
    const std::wstring missing = Path(L"missing.xml");
    bool loaded = true;
    const std::string trace = Joined(TraceOf([&] { loaded = options.LoadConfigList(missing.c_str(), true); }));
    EXPECT_FALSE(loaded);
    EXPECT_EQ(Entries({{L"store", true}}), EntriesOf(options.m_Conditions));
    EXPECT_EQ(2u, options.m_AddList.size());
    EXPECT_NE(std::string::npos, trace.find("Setup: CSetupOptions::LoadConfigList() - \"" + Narrow(missing.c_str()) +
                                            "\" failed: 0x80004005\n"))
        << trace;

    // A value that does not convert ends the read: no copy into the store.
    WriteText(list, "<C><RemoveComponents><item Name=\"Viewer\" Value=\"1\"/><item Name=\"Bad\" Value=\"on\"/>"
                    "</RemoveComponents></C>");
    EXPECT_FALSE(options.LoadConfigList(list.c_str(), false));
    EXPECT_EQ(Entries({{L"Viewer", true}}), EntriesOf(options.m_RemoveList));
    EXPECT_TRUE(options.m_Conditions.empty());
}

} // namespace
