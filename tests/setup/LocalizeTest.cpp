// Tests of the localised texts and message boxes.
#include "common/config/Localize.h"

#include "common/config/SetupConfig.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/WindowProbe.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

using Common::Config::CLocalizeItem;
using Common::Config::LocalizeItems;
using TestSupport::ToBytes;

namespace {

const char kDocument[] =
    "<Interface>"
    "<Localize Caption=\"Product Setup\">"
    "<Common><btnNext Caption=\"Next\"/><btnBack Caption=\"Back\"/></Common>"
    "<DlgFinish Caption=\"Finish\"><stcFinish Caption=\"All done.%NL%Restart now?\"/><stcEmpty Caption=\"\"/></DlgFinish>"
    "<Messages><NoSpace Caption=\"Not enough space on %DRIVE% for %DRIVE%.\"/>"
    "<Plain Caption=\"First line%NL%second line\"/></Messages>"
    "</Localize>"
    "<Redist><Item GlobalID=\"#Redist1\" Caption=\"Found by its id\"/></Redist>"
    "<InstallInfo Folder=\"%FOLDERID_Windows%\\Fonts\" Plain=\"as is\"/>"
    "</Interface>";

// setup's configuration object, holding a package with the document above.
class LocalizeTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        g_CmdLine = CCmdLineHelper();
        LoadDocument(kDocument);
    }

    void LoadDocument(const std::string& document)
    {
        PackageTools::SBuildOptions options;
        const std::wstring package =
            TestSupport::MakePackage(m_temp, {{L"setup.xml", ToBytes(document)}}, options, L"p" + std::to_wstring(++m_nPackages) + L".cfs");
        auto& config = Common::Config::GetSetupConfig();
        ASSERT_TRUE(config.GetPackage().Open(package, true, false));
        ASSERT_TRUE(config.LoadSettings(L"\\setup.xml"));
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
    int m_nPackages = 0;
};

// A parent window with numbered child controls, as a dialog has them.
class CControls
{
public:
    explicit CControls(std::initializer_list<int> ids)
    {
        m_hParent = CreateWindowExW(0, L"STATIC", L"parent", WS_OVERLAPPED, 0, 0, 200, 200, nullptr, nullptr, nullptr, nullptr);
        for (int id : ids)
            CreateWindowExW(0, L"STATIC", L"old", WS_CHILD, 0, 0, 50, 20, m_hParent,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    ~CControls() { DestroyWindow(m_hParent); }
    HWND Parent() const { return m_hParent; }
    std::wstring Text(int id) const
    {
        wchar_t text[256] = {};
        GetWindowTextW(GetDlgItem(m_hParent, id), text, 256);
        return text;
    }

private:
    HWND m_hParent;
};

TEST_F(LocalizeTest, ControlsTakeTheirCaptions)
{
    CControls dialog({10, 11, 12, 13});
    ASSERT_NE(nullptr, dialog.Parent());
    CString title;
    LocalizeItems items;
    items.emplace(L"btnNext", CLocalizeItem(true, 10));
    items.emplace(L"stcFinish", CLocalizeItem(11));
    items.emplace(L"stcMissing", CLocalizeItem(12));
    items.emplace(L"stcEmpty", CLocalizeItem(13));
    items.emplace(L"stcNoSuchControl", CLocalizeItem(99));
    items.emplace(L"", CLocalizeItem(&title));
    EXPECT_TRUE(Common::Config::LocalizeControls(items, L"//Interface/Localize/DlgFinish", dialog.Parent()));
    EXPECT_EQ(L"Next", dialog.Text(10));
    EXPECT_EQ(L"All done.\nRestart now?", dialog.Text(11));
    EXPECT_EQ(L"", dialog.Text(12)); // no element: blank
    EXPECT_EQ(L"", dialog.Text(13));
    EXPECT_EQ(CString(L"Finish"), title); // the base element's own caption
}

TEST_F(LocalizeTest, PathsAreNormalised)
{
    CString text;
    LocalizeItems items;
    CLocalizeItem item(&text);
    item.m_strPath = L"\\Interface\\Localize\\DlgFinish\\";
    items.emplace(L"/stcFinish/", item);
    EXPECT_TRUE(Common::Config::LocalizeControls(items, nullptr, nullptr));
    EXPECT_EQ(CString(L"All done.\nRestart now?"), text);
}

TEST_F(LocalizeTest, AnItemWithoutAPathStopsTheWalk)
{
    CString a = L"untouched", b = L"untouched", c = L"untouched";
    LocalizeItems items;
    items.emplace(L"btnBack", CLocalizeItem(&a)); // no path of its own
    items.begin()->second.m_bCommon = true;
    items.emplace(L"btnNext", CLocalizeItem(&b));
    items.emplace(L"stcLater", CLocalizeItem(&c));
    EXPECT_FALSE(Common::Config::LocalizeControls(items, nullptr, nullptr));
    EXPECT_EQ(CString(L"Back"), a);
    EXPECT_EQ(CString(L"untouched"), b);
    EXPECT_EQ(CString(L"untouched"), c);

    // A vanished target stops it too.
    LocalizeItems gone;
    CLocalizeItem window(&a);
    window.m_nKind = CLocalizeItem::KindWindow;
    window.m_hWnd = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0));
    gone.emplace(L"btnNext", window);
    EXPECT_FALSE(Common::Config::LocalizeControls(gone, L"//Interface/Localize/Common", nullptr));
    LocalizeItems noDialog;
    noDialog.emplace(L"btnNext", CLocalizeItem(true, 10));
    EXPECT_FALSE(Common::Config::LocalizeControls(noDialog, nullptr, nullptr));
}

TEST_F(LocalizeTest, MessagesByIdAndByGlobalId)
{
    struct SCase
    {
        const wchar_t* id;
        const wchar_t* expected;
    };
    const SCase cases[] = {
        {L"Plain", L"First line\nsecond line"},
        {L"#Redist1", L"Found by its id"},
        {L"Missing", L""},
        {L"#Missing", L""},
        {L"", L""},
        {nullptr, L""},
        {L"bad\"]/[", L""},
        {L"a/", L""},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CString(c.expected), Common::Config::LoadMessage(c.id)) << (c.id ? std::wstring(c.id).size() : 0);

    EXPECT_EQ(CString(L"Not enough space on C: for C:."), Common::Config::LoadMessageReplace(L"NoSpace", L"%DRIVE%", L"C:"));
    EXPECT_EQ(CString(L"Not enough space on %DRIVE% for %DRIVE%."),
              Common::Config::LoadMessageReplace(L"NoSpace", L"%DRIVE%", nullptr));
}

TEST_F(LocalizeTest, MessagesOutsideTheInterfaceElement)
{
    LoadDocument("<Languages><Localize><Messages><Choose Caption=\"Pick one\"/></Messages></Localize></Languages>");
    EXPECT_EQ(CString(L"Pick one"), Common::Config::LoadMessage(L"Choose"));
}

TEST_F(LocalizeTest, AMissingMessageShowsNothingAndAnswersCancel)
{
    EXPECT_EQ(IDCANCEL, Common::Config::MessageBoxById(L"Missing", nullptr, MB_OK));
    EXPECT_EQ(IDCANCEL, Common::Config::ShowMessageBox(nullptr, CString(), MB_YESNO));
}

TEST_F(LocalizeTest, ABoxCarriesTheDocumentsCaption)
{
    std::atomic<bool> stop(false);
    std::wstring title;
    std::thread answer([&] {
        while (!stop) {
            for (const TestSupport::SWindowInfo& window : TestSupport::ProcessWindows(GetCurrentProcessId())) {
                if (window.className == L"#32770") {
                    title = window.title;
                    TestSupport::PressDialogButton(window.handle, IDOK);
                    return;
                }
            }
            Sleep(20);
        }
    });
    const int result = Common::Config::MessageBoxById(L"Plain", nullptr, MB_OK);
    stop = true;
    answer.join();
    EXPECT_EQ(IDOK, result);
    EXPECT_EQ(L"Product Setup", title);
}

TEST_F(LocalizeTest, QuietRunsAnswerWithoutABox)
{
    g_CmdLine.m_bQuiet = true;
    struct SCase
    {
        UINT flags;
        int answer;
    };
    const SCase cases[] = {{0x40, IDOK}, {0x00, IDOK}, {0x24, IDYES}, {0x21, IDYES}, {0x05, IDYES}, {0x13, IDYES}};
    for (const SCase& c : cases) {
        EXPECT_EQ(c.answer, ShowMessageById(nullptr, L"Plain", c.flags)) << c.flags;
        EXPECT_EQ(c.answer, ShowMessageByIdWith(nullptr, L"NoSpace", L"%DRIVE%", L"C:", c.flags)) << c.flags;
        EXPECT_EQ(c.answer, ShowMessageText(nullptr, L"text", c.flags)) << c.flags;
    }
}

TEST_F(LocalizeTest, ConfigValuesAreExpanded)
{
    wchar_t windows[MAX_PATH];
    GetWindowsDirectoryW(windows, MAX_PATH);
    EXPECT_EQ(CString(windows) + L"\\Fonts", GetConfigValue(L"Folder", L"//Interface/InstallInfo"));
    EXPECT_EQ(CString(L"as is"), GetConfigValue(L"Plain", L"//Interface/InstallInfo"));
    EXPECT_EQ(CString(), GetConfigValue(L"Missing", L"//Interface/InstallInfo"));
    EXPECT_EQ(CString(), GetConfigValue(L"Plain", L"//Interface/Nowhere"));
    EXPECT_EQ(CString(), GetConfigValue(L"Plain", L"//Interface/"));
}

} // namespace
