// Multilingual packages: the language list, the choice of a language at start-up
// and on the language page, and the switch of the engine to another language's
// document with the page list built again.
#include "tests/setup/EngineFixture.h"

#include "common/config/GraphRes.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/tools/PathVariables.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/GdiplusScope.h"
#include "setup/engine/InstallAbort.h"
#include "setup/engine/MultiLang.h"
#include "setup/wizard/DlgLangSelect.h"
#include "setup/wizard/DlgLicense.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/Narrow.h"

#include "resource.h"

#include <gdiplus.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <string>
#include <thread>
#include <vector>

using TestSupport::CGuiDriver;
using TestSupport::SWindowMatch;
using TestSupport::ToBytes;

namespace {

const INT_PTR kWatchdogResult = 77;

std::string N(const CString& text)
{
    return TestSupport::Narrow(text);
}

struct SItem
{
    std::string value;
    long langId;
    std::string caption;
};

std::string MultiLangXml(const std::string& defaultValue, const std::vector<SItem>& items)
{
    std::string xml = "<Languages Default=\"" + defaultValue + "\">";
    for (const SItem& item : items)
        xml += "<Language Value=\"" + item.value + "\" LangID=\"" + std::to_string(item.langId) + "\" Caption=\"" +
               item.caption + "\"/>";
    return xml + "</Languages>";
}

// The user's primary UI language, and ids that are surely not it.
long UserLanguage()
{
    return ::GetUserDefaultUILanguage() & 0x3FF;
}

long OtherLanguage(int k)
{
    const long id = 0x200 + k;
    return id == UserLanguage() ? 0x300 + k : id;
}

const char kAllPages[] = "<DlgLangSelector/><DlgLicence/><DlgInstall/>";

// One language's interface document: its marker, its own macro and its pages.
std::string LanguageDocument(const std::string& marker, const std::string& pages = kAllPages)
{
    return "<Interface><SetupFiles Marker=\"" + marker + "\"/><Resources/>"
           "<SetupMacroses><Lang Pattern=\"%LangMacro%\" Value=\"" + marker + "\"/></SetupMacroses>"
           "<Localize Caption=\"Setup " + marker + "\"><Common><btnNext Caption=\"Next\"/>"
           "<Cancel Caption=\"Cancel\"/></Common><Messages><CancelInstall Caption=\"Stop?\"/></Messages>" + pages +
           "</Localize></Interface>";
}

CString Marker()
{
    return GetConfigValue(L"Marker", L"//Interface/SetupFiles");
}

CString Macro()
{
    CString text(L"%LangMacro%");
    GetPathVariables().Expand(text);
    return text;
}

std::vector<int> PageTypes(const CInstallManager::DialogList& pages)
{
    std::vector<int> types;
    for (const auto& page : pages)
        types.push_back(static_cast<int>(page->GetPageType()));
    return types;
}

// A page that plays back results instead of showing a window.
class CScriptedPage : public DlgPopup::CBaseDialog
{
public:
    CScriptedPage(DlgPopup::EPageType type, std::vector<int>& log, std::deque<INT_PTR> results)
        : CBaseDialog(L"//Interface/Localize/DlgInstall", IDD_INSTALL, nullptr), m_type(type), m_log(log),
          m_results(std::move(results))
    {
    }

    INT_PTR DoModal() override
    {
        m_log.push_back(static_cast<int>(m_type));
        if (m_onShow)
            m_onShow();
        if (m_results.empty())
            return DlgPopup::PageResultCancel;
        const INT_PTR result = m_results.front();
        m_results.pop_front();
        return result;
    }
    DlgPopup::EPageType GetPageType() const override { return m_type; }

    DlgPopup::EPageType m_type;
    std::vector<int>& m_log;
    std::deque<INT_PTR> m_results;
    std::function<void()> m_onShow;
};

class LanguagesTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        GetPathVariables().Define(L"%LangMacro%", L"none");
    }

    // A package with "\multilang.xml" and the documents of the given storages.
    bool LoadLanguages(const std::string& multilang, const std::vector<std::pair<std::wstring, std::string>>& documents)
    {
        TestSupport::PackageFiles files{{L"multilang.xml", ToBytes(multilang)}};
        for (const auto& document : documents)
            files[document.first + L"\\setup.xml"] = ToBytes(document.second);
        return LoadWithoutRootDocument(files);
    }

    // The fixture's Close leaves a document it did not load itself: a failed load
    // drops it, so that the package's own choice decides.
    bool LoadWithoutRootDocument(const TestSupport::PackageFiles& files)
    {
        Common::Config::GetSetupConfig().LoadSettings(L"\\no such document");
        return LoadPackage(files);
    }

    // Two languages, the second the default; neither is the user's.
    bool LoadTwoLanguages(const std::string& pagesA = kAllPages, const std::string& pagesB = kAllPages)
    {
        return LoadLanguages(MultiLangXml("bb", {{"aa", OtherLanguage(1), "Alpha"}, {"bb", OtherLanguage(2), "Beta"}}),
                             {{L"aa", LanguageDocument("A", pagesA)}, {L"bb", LanguageDocument("B", pagesB)}});
    }

    std::shared_ptr<CScriptedPage> Scripted(DlgPopup::EPageType type, std::deque<INT_PTR> results)
    {
        auto page = std::make_shared<CScriptedPage>(type, m_log, std::move(results));
        Manager().m_Dialogs.push_back(page);
        return page;
    }

    std::vector<int> m_log;
};

// --- The language list ---

TEST(MultiLangTest, LoadChoosesTheUsersLanguageElseTheDefault)
{
    TestSupport::CComScope com;
    struct SCase
    {
        const char* name;
        std::string xml;
        LANGID user;
        bool loaded;
        const wchar_t* current;
        int index;
    };
    const SCase cases[] = {
        {"user's language", MultiLangXml("en", {{"en", 9, "English"}, {"de", 7, "Deutsch"}}), 0x0407, true, L"de", 1},
        {"sublanguage ignored", MultiLangXml("en", {{"en", 9, "English"}, {"de", 7, "Deutsch"}}), 0x0807, true, L"de",
         1},
        {"no match: the default", MultiLangXml("de", {{"en", 9, "English"}, {"de", 7, "Deutsch"}}), 0x040C, true,
         L"de", 1},
        {"two matches: the later", MultiLangXml("en", {{"de", 7, "Deutsch"}, {"en", 9, "English"}, {"at", 7, "AT"}}),
         0x0407, true, L"at", 2},
        {"match before the default item", MultiLangXml("en", {{"de", 7, "Deutsch"}, {"en", 9, "English"}}), 0x0407,
         true, L"de", 0},
        {"default names no item", MultiLangXml("fr", {{"en", 9, "English"}, {"de", 7, "Deutsch"}}), 0x0411, false, L"",
         -1},
        {"empty default, though an item matches", MultiLangXml("", {{"en", 9, "English"}}), 0x0409, false, L"", -1},
        {"LangID not a number", "<Languages Default=\"en\"><L Value=\"en\" LangID=\"nine\"/></Languages>", 0x0409,
         false, L"", -1},
        {"no Languages element", "<Other Default=\"en\"><L Value=\"en\" LangID=\"9\"/></Other>", 0x0409, false, L"",
         -1},
        {"no items", "<Languages Default=\"en\"/>", 0x0409, false, L"", -1},
        {"other nodes skipped, missing LangID is 0",
         "<Root><Languages Default=\"x\"><!-- list -->text<L Value=\"en\" LangID=\"9\" Caption=\"E\"/>"
         "<Any Value=\"x\" Caption=\"X\"/></Languages></Root>",
         0x0409, true, L"en", 0},
    };
    for (const SCase& c : cases) {
        CMultiLang languages;
        IStreamPtr stream = Common::Config::CreateXMLStream(c.xml.c_str());
        ASSERT_TRUE(stream) << c.name;
        bool loaded = false;
        const auto lines = TestSupport::TraceOf([&] { loaded = languages.Load(stream, c.user); });
        EXPECT_EQ(c.loaded, loaded) << c.name;
        EXPECT_EQ(c.loaded, languages.m_bLoaded) << c.name;
        EXPECT_EQ(N(c.current), N(languages.m_strCurrent)) << c.name;
        EXPECT_EQ(c.index, languages.m_nCurrent) << c.name;
        EXPECT_EQ(languages.m_vecValues.size(), languages.m_vecCaptions.size()) << c.name;
        const bool traced = std::find(lines.begin(), lines.end(),
                                      "Setup: multilang.xml in the root of cfs is damaged or missing") != lines.end();
        EXPECT_EQ(!c.loaded, traced) << c.name;
        if (!c.loaded) {
            EXPECT_TRUE(languages.m_vecValues.empty()) << c.name << ": nothing of a damaged list is kept";
        }
    }
}

TEST(MultiLangTest, ListKeepsDocumentOrderAndSelectsByIndexOrValue)
{
    TestSupport::CComScope com;
    CMultiLang languages;
    IStreamPtr stream = Common::Config::CreateXMLStream(
        MultiLangXml("b", {{"a", 1, "Ay"}, {"b", 2, "Bee"}, {"c", 3, "Cee"}, {"b", 4, "Bee again"}}).c_str());
    ASSERT_TRUE(languages.Load(stream, 0x3FF));
    EXPECT_EQ((std::vector<CString>{L"a", L"b", L"c", L"b"}), languages.m_vecValues);
    EXPECT_EQ((std::vector<CString>{L"Ay", L"Bee", L"Cee", L"Bee again"}), languages.m_vecCaptions);
    // The last item of the default's value is the one chosen.
    EXPECT_EQ(3, languages.m_nCurrent);

    languages.SelectIndex(2);
    EXPECT_EQ("c", N(languages.m_strCurrent));
    EXPECT_EQ(2, languages.m_nCurrent);
    for (int bad : {-1, 4, 100}) {
        languages.SelectIndex(bad);
        EXPECT_EQ(2, languages.m_nCurrent) << bad;
    }
    EXPECT_TRUE(languages.SelectValue(L"b"));
    EXPECT_EQ(1, languages.m_nCurrent) << "the first item of that value";
    EXPECT_FALSE(languages.SelectValue(L"B")) << "values compare exactly";
    EXPECT_EQ(1, languages.m_nCurrent);
    EXPECT_EQ("b", N(languages.m_strCurrent));

    EXPECT_FALSE(languages.Load(nullptr, 0x409));
    EXPECT_FALSE(languages.m_bLoaded);
}

// --- Start-up ---

TEST_F(LanguagesTest, PackageWithOnlyLanguageDocumentsLoadsTheChosenOne)
{
    ASSERT_TRUE(LoadTwoLanguages());
    EXPECT_NE(nullptr, Manager().m_pSettings);
    EXPECT_EQ(Common::Config::GetSetupConfig().GetSettings(), Manager().m_pSettings);
    EXPECT_TRUE(Manager().m_MultiLang.m_bLoaded);
    EXPECT_EQ(2u, Manager().m_MultiLang.GetCount());
    EXPECT_EQ("bb", N(Manager().m_strLanguage));
    EXPECT_EQ("B", N(Marker()));
    EXPECT_EQ("B", N(Macro())) << "the language's own macros are defined";

    // The user's language wins over the default.
    ASSERT_TRUE(LoadLanguages(MultiLangXml("bb", {{"aa", UserLanguage(), "Alpha"}, {"bb", OtherLanguage(2), "Beta"}}),
                              {{L"aa", LanguageDocument("A")}, {L"bb", LanguageDocument("B")}}));
    EXPECT_EQ("aa", N(Manager().m_strLanguage));
    EXPECT_EQ("A", N(Marker()));
}

TEST_F(LanguagesTest, PackageWhoseLanguageDoesNotLoadHasNoDocument)
{
    struct SCase
    {
        const char* name;
        std::string multilang;
        std::vector<std::pair<std::wstring, std::string>> documents;
    };
    const SCase cases[] = {
        {"chosen language's document missing", MultiLangXml("aa", {{"aa", OtherLanguage(1), "A"}}),
         {{L"bb", LanguageDocument("B")}}},
        {"document without a theme", MultiLangXml("aa", {{"aa", OtherLanguage(1), "A"}}),
         {{L"aa", "<Interface><SetupFiles Marker=\"A\"/></Interface>"}}},
        {"broken document", MultiLangXml("aa", {{"aa", OtherLanguage(1), "A"}}), {{L"aa", "<Interface><Resources/>"}}},
        {"damaged list", "<Languages Default=\"aa\"><L Value=\"aa\" LangID=\"x\"/></Languages>",
         {{L"aa", LanguageDocument("A")}}},
        {"value leading out of its storage", MultiLangXml("..", {{"..", OtherLanguage(1), "Up"}}),
         {{L"aa", LanguageDocument("A")}}},
    };
    for (const SCase& c : cases) {
        // Init's result is whether it holds a document.
        LoadLanguages(c.multilang, c.documents);
        EXPECT_EQ(nullptr, Manager().m_pSettings) << c.name;
        EXPECT_TRUE(Manager().m_strLanguage.IsEmpty()) << c.name;
    }

    // Neither document nor list.
    LoadWithoutRootDocument({{L"readme.txt", ToBytes("nothing")}});
    EXPECT_EQ(nullptr, Manager().m_pSettings);
    EXPECT_FALSE(Manager().m_MultiLang.m_bLoaded);
}

// --- The page list ---

TEST_F(LanguagesTest, LanguagePageLeadsOnlyWhenThereIsAChoice)
{
    ASSERT_TRUE(LoadTwoLanguages());
    ASSERT_TRUE(Manager().InitDialogs());
    EXPECT_EQ((std::vector<int>{DlgPopup::PageLangSelect, DlgPopup::PageLicense, DlgPopup::PageInstall}),
              PageTypes(Manager().m_Dialogs));
    EXPECT_TRUE(Manager().m_Dialogs.front()->m_bFirstPage);
    auto licence = std::dynamic_pointer_cast<DlgPopup::CDlgLicense>(*std::next(Manager().m_Dialogs.begin()));
    ASSERT_TRUE(licence);
    EXPECT_TRUE(licence->m_bHasBack);

    // One language: loaded all the same, but nothing to choose.
    ASSERT_TRUE(LoadLanguages(MultiLangXml("aa", {{"aa", OtherLanguage(1), "Alpha"}}),
                              {{L"aa", LanguageDocument("A")}}));
    EXPECT_EQ("aa", N(Manager().m_strLanguage));
    ASSERT_TRUE(Manager().InitDialogs());
    EXPECT_EQ((std::vector<int>{DlgPopup::PageLicense, DlgPopup::PageInstall}), PageTypes(Manager().m_Dialogs));
    licence = std::dynamic_pointer_cast<DlgPopup::CDlgLicense>(Manager().m_Dialogs.front());
    ASSERT_TRUE(licence);
    EXPECT_FALSE(licence->m_bHasBack);
    EXPECT_TRUE(licence->m_bFirstPage);

    // A disabled language page: the licence leads, and its Back would lead nowhere.
    ASSERT_TRUE(LoadTwoLanguages(kAllPages, "<DlgLangSelector Enable=\"false\"/><DlgLicence/><DlgInstall/>"));
    ASSERT_TRUE(Manager().InitDialogs());
    EXPECT_EQ((std::vector<int>{DlgPopup::PageLicense, DlgPopup::PageInstall}), PageTypes(Manager().m_Dialogs));
    licence = std::dynamic_pointer_cast<DlgPopup::CDlgLicense>(Manager().m_Dialogs.front());
    ASSERT_TRUE(licence);
    EXPECT_FALSE(licence->m_bHasBack);
}

TEST_F(LanguagesTest, ChangedLanguageRebuildsThePagesAndKeepsTheIndexInsideTheList)
{
    // The new language has two pages only: the licence's index 2 lies beyond them.
    ASSERT_TRUE(LoadTwoLanguages(kAllPages, "<DlgLangSelector/><DlgInstall/>"));
    ASSERT_TRUE(Manager().SetLanguage(L"aa"));
    ASSERT_EQ("A", N(Marker()));
    Manager().m_Dialogs.clear();
    Scripted(DlgPopup::PageToolbar, {1});
    Scripted(DlgPopup::PageInstall, {1});
    auto licence = Scripted(DlgPopup::PageLicense, {0});
    licence->m_onShow = [this] {
        Manager().m_MultiLang.SelectValue(L"bb");
        // The rebuilt pages pass without windows.
        g_CmdLine.m_bQuiet = true;
    };

    std::vector<std::string> lines;
    lines = TestSupport::TraceOf([&] { Manager().RunPages(); });
    EXPECT_EQ((std::vector<int>{DlgPopup::PageToolbar, DlgPopup::PageInstall, DlgPopup::PageLicense}), m_log);
    EXPECT_EQ("bb", N(Manager().m_strLanguage));
    EXPECT_EQ("B", N(Marker()));
    EXPECT_EQ("B", N(Macro()));
    EXPECT_EQ(Common::Config::GetSetupConfig().GetSettings(), Manager().m_pSettings);
    EXPECT_EQ((std::vector<int>{DlgPopup::PageLangSelect, DlgPopup::PageInstall}), PageTypes(Manager().m_Dialogs));
    EXPECT_EQ(1, std::count(lines.begin(), lines.end(), "Setup: InstallManager : CInstallManager::InitDialogs >"))
        << "one rebuild: the new language's own page passes it unchanged";
}

TEST_F(LanguagesTest, BackOnTheLicenceWithTheLanguageUnchangedKeepsThePages)
{
    ASSERT_TRUE(LoadTwoLanguages());
    Manager().m_Dialogs.clear();
    auto language = Scripted(DlgPopup::PageLangSelect, {1, 1});
    auto licence = Scripted(DlgPopup::PageLicense, {0, 2});

    std::vector<std::string> lines;
    lines = TestSupport::TraceOf([&] { EXPECT_THROW(Manager().RunPages(), CInstallAbort); });
    EXPECT_EQ((std::vector<int>{DlgPopup::PageLangSelect, DlgPopup::PageLicense, DlgPopup::PageLangSelect,
                                DlgPopup::PageLicense}),
              m_log);
    ASSERT_EQ(2u, Manager().m_Dialogs.size());
    EXPECT_EQ(language, Manager().m_Dialogs.front());
    EXPECT_EQ(licence, Manager().m_Dialogs.back());
    EXPECT_EQ(0, std::count(lines.begin(), lines.end(), "Setup: InstallManager : CInstallManager::InitDialogs >"));
    EXPECT_EQ("bb", N(Manager().m_strLanguage));
}

TEST_F(LanguagesTest, UnknownOrUnsafeLanguageFailsWithoutALooseDocument)
{
    struct SCase
    {
        const wchar_t* value;
        bool documentKept; // refused before anything was loaded
    };
    const SCase cases[] = {
        {L"zz", false}, {L"..", true}, {L"aa\\..\\bb", true}, {L"bb/x", true}, {L"", true},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadTwoLanguages());
        EXPECT_FALSE(Manager().SetLanguage(c.value)) << TestSupport::Narrow(c.value);
        EXPECT_EQ("bb", N(Manager().m_strLanguage));
        // Whatever happened, the engine holds the configuration's document or none.
        EXPECT_EQ(Common::Config::GetSetupConfig().GetSettings(), Manager().m_pSettings);
        EXPECT_EQ(c.documentKept, Manager().m_pSettings != nullptr);
    }

    // Chosen on a page: the road ends.
    ASSERT_TRUE(LoadTwoLanguages());
    Manager().m_Dialogs.clear();
    auto language = Scripted(DlgPopup::PageLangSelect, {1});
    language->m_onShow = [this] { Manager().m_MultiLang.m_strCurrent = L"zz"; };
    EXPECT_EQ(E_FAIL, TestSupport::ComErrorOf([&] { Manager().RunPages(); }));
}

TEST_F(LanguagesTest, QuietWizardKeepsTheLanguageChosenAtStart)
{
    struct SCase
    {
        const char* name;
        long userItem; // LangID of the second item
        const wchar_t* language;
        const wchar_t* marker;
    };
    const SCase cases[] = {
        {"default", OtherLanguage(2), L"cc", L"C"},
        {"user's language", UserLanguage(), L"bb", L"B"},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadLanguages(
            MultiLangXml("cc", {{"aa", OtherLanguage(1), "A"}, {"bb", c.userItem, "B"}, {"cc", OtherLanguage(3), "C"}}),
            {{L"aa", LanguageDocument("A")}, {L"bb", LanguageDocument("B")}, {L"cc", LanguageDocument("C")}}));
        g_CmdLine.m_bQuiet = true;
        Manager().RunWizard();
        EXPECT_EQ(N(c.language), N(Manager().m_strLanguage)) << c.name;
        EXPECT_EQ(N(c.marker), N(Marker())) << c.name;
        ASSERT_FALSE(Manager().m_Dialogs.empty()) << c.name;
        EXPECT_EQ(DlgPopup::PageLangSelect, Manager().m_Dialogs.front()->GetPageType()) << c.name;
        for (const auto& page : Manager().m_Dialogs)
            EXPECT_EQ(nullptr, page->m_hWnd) << c.name << ": no page was shown";
        g_CmdLine.m_bQuiet = false;
    }
}

TEST_F(LanguagesTest, ShownMainWindowTakesTheThemeOfTheNewLanguage)
{
    CGdiplusScope gdiplus;
    // The window and the theme go while GDI+ still runs, whatever the test's outcome.
    struct SCleanup
    {
        std::unique_ptr<CInstallManager>& manager;
        ~SCleanup()
        {
            manager.reset();
            Common::Config::GetSetupConfig().ReleaseGraphRes();
        }
    } cleanup{m_pManager};

    auto themed = [](const std::string& marker, const std::string& image) {
        return "<Interface><SetupFiles Marker=\"" + marker + "\"/><Resources><Images><Back Path=\"\\images\\" + image +
               "\" ID=\"1\"/></Images></Resources><Localize><DlgMain BackImg=\"1\"/></Localize></Interface>";
    };
    TestSupport::PackageFiles files{
        {L"multilang.xml", ToBytes(MultiLangXml("bb", {{"aa", OtherLanguage(1), "A"}, {"bb", OtherLanguage(2), "B"}}))},
        {L"aa\\setup.xml", ToBytes(themed("A", "a.bmp"))},
        {L"bb\\setup.xml", ToBytes(themed("B", "b.bmp"))},
        {L"images\\a.bmp", TestSupport::Bitmap24(320, 200, [](int, int) { return 0x102030u; })},
        {L"images\\b.bmp", TestSupport::Bitmap24(300, 180, [](int, int) { return 0x302010u; })}};
    ASSERT_TRUE(LoadWithoutRootDocument(files));
    ASSERT_EQ("bb", N(Manager().m_strLanguage));
    Manager().ShowMainWindow();
    DlgPopup::CDlgMain* window = Manager().m_pDlgMain.get();
    ASSERT_NE(nullptr, window);
    ASSERT_NE(nullptr, window->m_hWnd);
    ASSERT_NE(nullptr, window->m_pBackImage);
    EXPECT_EQ(300u, window->m_pBackImage->GetWidth());

    ASSERT_TRUE(Manager().SetLanguage(L"aa"));
    auto* theme = Common::Config::GetSetupConfig().GetGraphRes();
    ASSERT_NE(nullptr, theme);
    EXPECT_EQ(theme->GetImage(1), window->m_pBackImage);
    ASSERT_NE(nullptr, window->m_pBackImage);
    EXPECT_EQ(320u, window->m_pBackImage->GetWidth());

    // A language that does not load leaves the window holding nothing of a theme.
    EXPECT_FALSE(Manager().SetLanguage(L"zz"));
    EXPECT_EQ(nullptr, window->m_pBackImage);
    EXPECT_EQ(nullptr, window->m_pWaitImage);
    ::RedrawWindow(window->m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

// --- The language page, shown for real ---

const char kSelectorTexts[] = "<DlgLangSelector><stcLangLabel Caption=\"Pick one\"/>"
                              "<chkOtherLang Caption=\"Other languages\"/></DlgLangSelector>";

// What the page showed.
struct SLangPageSeen
{
    bool found = false;
    std::wstring label;
    std::vector<std::wstring> radios;   // texts of the visible radios, in order
    std::vector<int> checks;            // check state of all five
    bool listVisible = false;
    bool listEnabled = false;
    std::vector<std::wstring> entries;
    int selected = -1;
};

const int kRadios[] = {IDC_LANG_0, IDC_LANG_1, IDC_LANG_2, IDC_LANG_3, IDC_LANG_4};

SLangPageSeen Record(const CGuiDriver& driver, HWND page)
{
    SLangPageSeen seen;
    seen.found = true;
    seen.label = driver.ControlText(page, IDC_LANG_LABEL);
    for (int id : kRadios) {
        if (driver.IsControlVisible(page, id))
            seen.radios.push_back(driver.ControlText(page, id));
        seen.checks.push_back(driver.CheckState(page, id));
    }
    seen.listVisible = driver.IsControlVisible(page, IDC_LANG_LIST);
    seen.listEnabled = driver.IsControlEnabled(page, IDC_LANG_LIST);
    HWND list = ::GetDlgItem(page, IDC_LANG_LIST);
    const int count = static_cast<int>(::SendMessageW(list, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t text[256] = {};
        ::SendMessageW(list, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        seen.entries.push_back(text);
    }
    seen.selected = static_cast<int>(::SendMessageW(list, CB_GETCURSEL, 0, 0));
    return seen;
}

bool WaitCheck(const CGuiDriver& driver, HWND page, int id)
{
    for (int i = 0; i < 500; ++i) {
        if (driver.CheckState(page, id) == BST_CHECKED)
            return true;
        ::Sleep(10);
    }
    return false;
}

// Runs 'show' (which shows the language page modally on this thread) while a
// driver thread records the page and then acts on it; a page left open is ended.
SLangPageSeen Drive(const std::function<void()>& show, const std::function<void(const CGuiDriver&, HWND)>& act)
{
    SLangPageSeen seen;
    std::thread thread([&] {
        CGuiDriver driver;
        HWND page = driver.WaitFor(SWindowMatch::Dialog(IDC_LANG_0));
        if (page == nullptr)
            return;
        seen = Record(driver, page);
        if (act)
            act(driver, page);
        driver.SetTimeout(10000);
        if (!driver.WaitGone(page))
            ::EndDialog(page, kWatchdogResult);
    });
    show();
    thread.join();
    return seen;
}

std::vector<SItem> Languages(int n)
{
    std::vector<SItem> items;
    for (int i = 0; i < n; ++i)
        items.push_back({"v" + std::to_string(i), OtherLanguage(i), "Language " + std::to_string(i)});
    return items;
}

std::vector<std::wstring> Captions(int from, int to)
{
    std::vector<std::wstring> captions;
    for (int i = from; i < to; ++i)
        captions.push_back(L"Language " + std::to_wstring(i));
    return captions;
}

TEST_F(LanguagesTest, PageShowsRadiosOrAListByTheNumberOfLanguages)
{
    struct SCase
    {
        int count;
        int current;
        std::vector<std::wstring> radios;
        std::vector<int> checks;
        bool list;
        bool listEnabled;
        std::vector<std::wstring> entries;
        int selected;
    };
    std::vector<std::wstring> sixRadios = Captions(0, 4);
    sixRadios.push_back(L"Other languages");
    const SCase cases[] = {
        {2, 1, Captions(0, 2), {0, 1, 0, 0, 0}, false, false, {}, -1},
        {5, 4, Captions(0, 5), {0, 0, 0, 0, 1}, false, false, {}, -1},
        {6, 0, sixRadios, {1, 0, 0, 0, 0}, true, false, Captions(4, 6), 0},
        {7, 5, sixRadios, {0, 0, 0, 0, 1}, true, true, Captions(4, 7), 1},
    };
    for (const SCase& c : cases) {
        const std::string pages = std::string(kSelectorTexts);
        std::vector<std::pair<std::wstring, std::string>> documents;
        for (int i = 0; i < c.count; ++i)
            documents.push_back({L"v" + std::to_wstring(i), LanguageDocument("M" + std::to_string(i), pages)});
        ASSERT_TRUE(LoadLanguages(MultiLangXml("v" + std::to_string(c.current), Languages(c.count)), documents));
        ASSERT_EQ(c.current, Manager().m_MultiLang.m_nCurrent);

        DlgPopup::CDlgLangSelect page(&Manager().m_MultiLang, nullptr);
        EXPECT_EQ(DlgPopup::PageLangSelect, page.GetPageType());
        INT_PTR result = -1;
        const SLangPageSeen seen =
            Drive([&] { result = page.DoModal(); }, [](const CGuiDriver& d, HWND p) { d.Click(p, IDOK); });
        ASSERT_TRUE(seen.found) << c.count;
        EXPECT_EQ(DlgPopup::PageResultNext, result) << c.count;
        EXPECT_EQ(L"Pick one", seen.label) << c.count;
        EXPECT_EQ(c.radios, seen.radios) << c.count;
        EXPECT_EQ(c.checks, seen.checks) << c.count;
        EXPECT_EQ(c.list, seen.listVisible) << c.count;
        EXPECT_EQ(c.listEnabled, seen.listEnabled) << c.count;
        EXPECT_EQ(c.entries, seen.entries) << c.count;
        if (c.list) {
            EXPECT_EQ(c.selected, seen.selected) << c.count;
        }
        EXPECT_EQ(c.current, Manager().m_MultiLang.m_nCurrent) << c.count << ": Next alone keeps the choice";
    }
}

TEST_F(LanguagesTest, ClicksOnThePageChooseTheLanguageAtOnce)
{
    std::vector<std::pair<std::wstring, std::string>> documents;
    for (int i = 0; i < 7; ++i)
        documents.push_back({L"v" + std::to_wstring(i), LanguageDocument("M" + std::to_string(i), kSelectorTexts)});
    ASSERT_TRUE(LoadLanguages(MultiLangXml("v0", Languages(7)), documents));
    DlgPopup::CDlgLangSelect page(&Manager().m_MultiLang, nullptr);

    // The other-languages button picks the list's entry; another entry picks its language.
    bool listEnabled = false;
    Drive([&] { page.DoModal(); },
          [&](const CGuiDriver& d, HWND p) {
              d.Click(p, IDC_LANG_4);
              WaitCheck(d, p, IDC_LANG_4);
              for (int i = 0; i < 200 && !listEnabled; ++i, ::Sleep(10))
                  listEnabled = d.IsControlEnabled(p, IDC_LANG_LIST);
              HWND list = ::GetDlgItem(p, IDC_LANG_LIST);
              ::SendMessageW(list, CB_SETCURSEL, 2, 0);
              ::PostMessageW(p, WM_COMMAND, MAKEWPARAM(IDC_LANG_LIST, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
              d.Click(p, IDOK);
          });
    EXPECT_TRUE(listEnabled);
    EXPECT_EQ(6, Manager().m_MultiLang.m_nCurrent);
    EXPECT_EQ("v6", N(Manager().m_MultiLang.m_strCurrent));

    // A radio, then Cancel: the click stands.
    bool checked = false;
    Drive([&] { page.DoModal(); },
          [&](const CGuiDriver& d, HWND p) {
              d.Click(p, IDC_LANG_2);
              checked = WaitCheck(d, p, IDC_LANG_2);
              d.Command(p, IDCANCEL);
              d.AnswerMessageBox(IDYES);
          });
    EXPECT_TRUE(checked);
    EXPECT_EQ(2, Manager().m_MultiLang.m_nCurrent);
    EXPECT_EQ("v2", N(Manager().m_MultiLang.m_strCurrent));
}

TEST_F(LanguagesTest, NextOnTheLanguagePageSwitchesTheWizardToTheChosenLanguage)
{
    ASSERT_TRUE(LoadTwoLanguages(kSelectorTexts, kSelectorTexts));
    ASSERT_EQ("bb", N(Manager().m_strLanguage));
    ASSERT_TRUE(Manager().InitDialogs());
    const auto before = Manager().m_Dialogs.front();

    const SLangPageSeen seen = Drive([&] { Manager().RunPages(); },
                                     [](const CGuiDriver& d, HWND p) {
                                         d.Click(p, IDC_LANG_0);
                                         WaitCheck(d, p, IDC_LANG_0);
                                         d.Click(p, IDOK);
                                     });
    ASSERT_TRUE(seen.found);
    EXPECT_EQ((std::vector<std::wstring>{L"Alpha", L"Beta"}), seen.radios);
    EXPECT_EQ((std::vector<int>{0, 1, 0, 0, 0}), seen.checks);
    EXPECT_EQ("aa", N(Manager().m_strLanguage));
    EXPECT_EQ("A", N(Marker()));
    EXPECT_EQ("A", N(Macro()));
    ASSERT_EQ(1u, Manager().m_Dialogs.size());
    EXPECT_NE(before, Manager().m_Dialogs.front()) << "the pages were built again";
}

} // namespace
