// The install, toolbar and finish pages, shown for real and worked by the GUI
// driver from a thread of its own while the page runs modally on the test thread.
#include "tests/setup/EngineFixture.h"

#include "setup/wizard/DlgFinish.h"
#include "setup/wizard/DlgInstall.h"
#include "setup/wizard/DlgToolbar.h"
#include "setup/wizard/MainWindow.h"
#include "tests/setup/PageDriver.h"
#include "tests/support/GuiDriver.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

using TestSupport::CGuiDriver;
using TestSupport::SWindowMatch;

namespace {

const char kPages[] =
    "<Localize Caption=\"Pages Setup\">"
    "<Common><btnNext Caption=\"Next &gt;\"/><btnBack Caption=\"&lt; Back\"/><Cancel Caption=\"Cancel\"/>"
    "<btnInstall Caption=\"Install\"/><btnFinish Caption=\"Finish\"/></Common>"
    "<DlgToolbar><stcToolbar Caption=\"Add the toolbar?%NL%It is optional.\"/>"
    "<ChkToolbar Caption=\"Install the toolbar\"/></DlgToolbar>"
    "<DlgInstall><stcInstall Caption=\"Setup is ready.%NL%Click Install to begin.\"/></DlgInstall>"
    "<DlgFinish><stcGroupBox Caption=\"Done\"/><stcFinishInstall Caption=\"Installed.%NL%Enjoy.\"/>"
    "<stcFinishUninstall Caption=\"Removed.\"/><stcRestart Caption=\"Windows must restart.\"/>"
    "<radioRestart Caption=\"Restart now\"/><radioNoRestart Caption=\"Restart later\"/></DlgFinish>"
    "<Messages><CancelInstall Caption=\"Stop?\"/></Messages>"
    "</Localize>";

std::string Document(const std::string& setupFiles = "", const std::string& more = "",
                     const std::string& localize = kPages)
{
    // No InstallInfo: a whole install road then leaves no uninstall record behind.
    return "<Interface><SetupFiles " + setupFiles + "/>" + localize + more + "</Interface>";
}


typedef TestSupport::CPageDriver<> CPageDriver;
using TestSupport::SPageSeen;

// Clicks a button and waits until its check state is the wanted one.
bool ClickAndWait(const CGuiDriver& driver, HWND page, int id, int checked)
{
    if (!driver.Click(page, id))
        return false;
    for (int i = 0; i < 500; ++i) {
        if (driver.CheckState(page, id) == checked)
            return true;
        ::Sleep(10);
    }
    return false;
}

std::string Narrow(const std::vector<std::wstring>& texts)
{
    std::string all;
    for (const auto& text : texts)
        all += std::string(text.begin(), text.end()) + "|";
    return all;
}

class WizardPagesTest : public TestSupport::CEngineTest
{
protected:
    // The "custom" condition: -1 when it was never set.
    int Custom()
    {
        const auto& conditions = Manager().m_SetupOptions.m_Conditions;
        auto found = conditions.find(L"custom");
        return found == conditions.end() ? -1 : (found->second ? 1 : 0);
    }
};

TEST_F(WizardPagesTest, InstallPageIsLocalisedAndItsButtonsGiveTheResults)
{
    ASSERT_TRUE(LoadDocument(Document()));
    struct SCase
    {
        int button;
        INT_PTR result;
    };
    for (const SCase& c : {SCase{IDOK, DlgPopup::PageResultNext}, SCase{IDC_BACK, DlgPopup::PageResultBack}}) {
        DlgPopup::CDlgInstall page(nullptr);
        EXPECT_EQ(DlgPopup::PageInstall, page.GetPageType());
        CPageDriver driver(IDC_INSTALL_TEXT, [&](const CGuiDriver& d, HWND p) { d.Click(p, c.button); });
        EXPECT_EQ(c.result, page.DoModal()) << c.button;
        const SPageSeen& seen = driver.Seen();
        ASSERT_TRUE(seen.found);
        EXPECT_EQ(L"Pages Setup", seen.title);
        EXPECT_EQ(L"Setup is ready.\nClick Install to begin.", seen.texts.at(IDC_INSTALL_TEXT));
        EXPECT_EQ(L"Install", seen.texts.at(IDOK)) << "the install caption replaces Next";
        EXPECT_EQ(L"< Back", seen.texts.at(IDC_BACK));
        EXPECT_EQ(L"Cancel", seen.texts.at(IDCANCEL));
        EXPECT_TRUE(seen.placeholders.empty()) << Narrow(seen.placeholders);
    }
}

TEST_F(WizardPagesTest, ToolbarPageWritesTheConditionOnlyOnNext)
{
    struct SCase
    {
        const char* name;
        bool clear;      // the user clears the box first
        int button;
        INT_PTR result;
        int custom;
    };
    const SCase cases[] = {
        {"ticked, Next", false, IDOK, 1, 1},
        {"cleared, Next", true, IDOK, 1, 0},
        {"Back", false, IDC_BACK, 0, -1},
        {"cleared, Back", true, IDC_BACK, 0, -1},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadDocument(Document()));
        DlgPopup::CDlgToolbar page(&Manager().m_SetupOptions, nullptr);
        EXPECT_EQ(DlgPopup::PageToolbar, page.GetPageType());
        bool cleared = false;
        CPageDriver driver(IDC_TOOLBAR_CHECK, [&](const CGuiDriver& d, HWND p) {
            cleared = !c.clear || ClickAndWait(d, p, IDC_TOOLBAR_CHECK, BST_UNCHECKED);
            d.Click(p, c.button);
        });
        EXPECT_EQ(c.result, page.DoModal()) << c.name;
        const SPageSeen& seen = driver.Seen();
        ASSERT_TRUE(seen.found) << c.name;
        EXPECT_TRUE(cleared) << c.name;
        EXPECT_EQ(BST_CHECKED, seen.checks.at(IDC_TOOLBAR_CHECK)) << c.name << ": the box starts ticked";
        EXPECT_EQ(L"Install the toolbar", seen.texts.at(IDC_TOOLBAR_CHECK));
        EXPECT_EQ(L"Add the toolbar?\nIt is optional.", seen.texts.at(IDC_TOOLBAR_TEXT));
        EXPECT_EQ(L"Next >", seen.texts.at(IDOK));
        EXPECT_TRUE(seen.placeholders.empty()) << Narrow(seen.placeholders);
        EXPECT_EQ(c.custom, Custom()) << c.name;
    }
}

TEST_F(WizardPagesTest, ToolbarPageKeepsTheAnswerWhenShownAgain)
{
    ASSERT_TRUE(LoadDocument(Document()));
    DlgPopup::CDlgToolbar page(&Manager().m_SetupOptions, nullptr);
    {
        CPageDriver driver(IDC_TOOLBAR_CHECK, [](const CGuiDriver& d, HWND p) {
            ClickAndWait(d, p, IDC_TOOLBAR_CHECK, BST_UNCHECKED);
            d.Click(p, IDC_BACK);
        });
        EXPECT_EQ(DlgPopup::PageResultBack, page.DoModal());
    }
    EXPECT_EQ(0, page.m_bInstallToolbar);
    CPageDriver driver(IDC_TOOLBAR_CHECK, [](const CGuiDriver& d, HWND p) { d.Click(p, IDOK); });
    EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal());
    EXPECT_EQ(BST_UNCHECKED, driver.Seen().checks.at(IDC_TOOLBAR_CHECK));
    EXPECT_EQ(0, Custom());
}

TEST_F(WizardPagesTest, SkippedToolbarPageLeavesTheConditionUnset)
{
    ASSERT_TRUE(LoadDocument(Document()));
    g_CmdLine.m_bQuiet = true;
    DlgPopup::CDlgToolbar quiet(&Manager().m_SetupOptions, nullptr);
    EXPECT_EQ(DlgPopup::PageResultNext, quiet.DoModal());
    EXPECT_EQ(nullptr, quiet.m_hWnd);
    EXPECT_EQ(-1, Custom());

    g_CmdLine.m_bQuiet = false;
    ASSERT_TRUE(LoadDocument(Document("", "", "<Localize><DlgToolbar Enable=\"false\"/></Localize>")));
    DlgPopup::CDlgToolbar disabled(&Manager().m_SetupOptions, nullptr);
    EXPECT_EQ(DlgPopup::PageResultNext, disabled.DoModal());
    EXPECT_EQ(-1, Custom());
}

TEST_F(WizardPagesTest, FinishPageOffersTheRestartOnlyWhenItIsDue)
{
    struct SCase
    {
        const char* name;
        bool needed;
        bool install;
        bool chooseLater;
        bool restartNow;
        const wchar_t* doneText;
    };
    const SCase cases[] = {
        {"restart due", true, true, false, true, L"Installed.\nEnjoy."},
        {"restart due, later chosen", true, true, true, false, L"Installed.\nEnjoy."},
        {"no restart", false, true, false, false, L"Installed.\nEnjoy."},
        {"uninstall, restart due", true, false, false, true, L"Removed."},
        {"uninstall, no restart", false, false, false, false, L"Removed."},
    };
    ASSERT_TRUE(LoadDocument(Document()));
    for (const SCase& c : cases) {
        DlgPopup::CDlgFinish page(nullptr);
        EXPECT_EQ(DlgPopup::PageFinish, page.GetPageType());
        page.m_bRestartNeeded = c.needed;
        page.m_bInstall = c.install;
        page.m_bRestartNow = c.needed;
        bool chosen = false;
        CPageDriver driver(IDC_FINISH_TEXT, [&](const CGuiDriver& d, HWND p) {
            chosen = !c.chooseLater || ClickAndWait(d, p, IDC_FINISH_NORESTART, BST_CHECKED);
            d.Click(p, IDOK);
        });
        EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal()) << c.name;
        EXPECT_EQ(c.restartNow, page.m_bRestartNow) << c.name;
        const SPageSeen& seen = driver.Seen();
        ASSERT_TRUE(seen.found) << c.name;
        EXPECT_TRUE(chosen) << c.name;
        EXPECT_EQ(c.doneText, seen.texts.at(IDC_FINISH_TEXT)) << c.name;
        EXPECT_EQ(L"Finish", seen.texts.at(IDOK)) << c.name;
        EXPECT_EQ(0u, seen.texts.count(IDC_BACK) + seen.texts.count(IDCANCEL)) << c.name;
        for (int id : {IDC_FINISH_GROUP, IDC_FINISH_RESTART_TEXT, IDC_FINISH_RESTART, IDC_FINISH_NORESTART})
            EXPECT_EQ(c.needed, seen.visible.at(id)) << c.name << " control " << id;
        EXPECT_EQ(c.needed ? BST_CHECKED : BST_UNCHECKED, seen.checks.at(IDC_FINISH_RESTART)) << c.name;
        EXPECT_EQ(c.needed ? L"Windows must restart." : L"", seen.texts.at(IDC_FINISH_RESTART_TEXT)) << c.name;
        if (c.needed) {
            EXPECT_EQ(L"Done", seen.texts.at(IDC_FINISH_GROUP));
            EXPECT_EQ(L"Restart now", seen.texts.at(IDC_FINISH_RESTART));
            EXPECT_EQ(L"Restart later", seen.texts.at(IDC_FINISH_NORESTART));
        }
        EXPECT_TRUE(seen.placeholders.empty()) << c.name << ": " << Narrow(seen.placeholders);
    }
}

TEST_F(WizardPagesTest, OnlyTheFinishButtonEndsTheFinishPage)
{
    ASSERT_TRUE(LoadDocument(Document()));
    DlgPopup::CDlgFinish page(nullptr);
    page.m_bRestartNeeded = page.m_bRestartNow = true;
    bool stayed = false;
    CPageDriver driver(IDC_FINISH_TEXT, [&](const CGuiDriver& d, HWND p) {
        d.Command(p, IDCANCEL);                  // Esc
        ::PostMessageW(p, WM_CLOSE, 0, 0);       // the close box
        ::PostMessageW(p, WM_SYSCOMMAND, SC_CLOSE, 0);
        ::Sleep(300);
        stayed = ::IsWindow(p) && ::IsWindowVisible(p) && d.Find(SWindowMatch::Dialog(TestSupport::kMessageBoxTextId).OwnedBy(p)) == nullptr;
        d.Click(p, IDOK);
    });
    EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal());
    driver.Seen();
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(page.m_bRestartNow);
}

TEST_F(WizardPagesTest, QuietOrDisabledFinishPageKeepsTheDecisionWithoutAWindow)
{
    struct SCase
    {
        const char* name;
        bool quiet;
        std::string localize;
    };
    const SCase cases[] = {
        {"quiet", true, kPages},
        {"disabled", false, "<Localize><DlgFinish Enable=\"false\"/></Localize>"},
        {"missing", false, "<Localize/>"},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadDocument(Document("", "", c.localize)));
        g_CmdLine.m_bQuiet = c.quiet;
        for (bool decision : {true, false}) {
            DlgPopup::CDlgFinish page(nullptr);
            page.m_bRestartNeeded = page.m_bRestartNow = decision;
            EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal()) << c.name;
            EXPECT_EQ(nullptr, page.m_hWnd) << c.name;
            EXPECT_EQ(decision, page.m_bRestartNow) << c.name;
        }
    }
}

// The engine's finish step: the decision becomes the page's default and the
// user's choice the final decision.
TEST_F(WizardPagesTest, FinishInstallationTakesTheChoiceMadeOnThePage)
{
    struct SCase
    {
        const char* name;
        int action;
        int restartMode;
        bool delayed;
        bool chooseLater;
        bool offered;
        bool restart;
        const wchar_t* doneText;
    };
    const SCase cases[] = {
        {"forced, nothing delayed", CCmdLineHelper::ActionInstall, CCmdLineHelper::RestartForce, false, false, true,
         true, L"Installed.\nEnjoy."},
        {"delayed, later chosen", CCmdLineHelper::ActionInstall, CCmdLineHelper::RestartDefault, true, true, true,
         false, L"Installed.\nEnjoy."},
        {"delayed, never", CCmdLineHelper::ActionInstall, CCmdLineHelper::RestartNever, true, false, false, false,
         L"Installed.\nEnjoy."},
        {"uninstall", CCmdLineHelper::ActionUninstall, CCmdLineHelper::RestartDefault, false, false, false, false,
         L"Removed."},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadDocument(Document()));
        g_CmdLine.m_nAction = c.action;
        g_CmdLine.m_nRestartMode = c.restartMode;
        Manager().m_bDelayedMode = c.delayed;
        bool chosen = false;
        CPageDriver driver(IDC_FINISH_TEXT, [&](const CGuiDriver& d, HWND p) {
            chosen = !c.chooseLater || ClickAndWait(d, p, IDC_FINISH_NORESTART, BST_CHECKED);
            d.Click(p, IDOK);
        });
        const auto lines = TestSupport::TraceOf([&] { Manager().FinishInstallation(); });
        const SPageSeen& seen = driver.Seen();
        ASSERT_TRUE(seen.found) << c.name;
        EXPECT_TRUE(chosen) << c.name;
        EXPECT_EQ(c.offered, seen.visible.at(IDC_FINISH_RESTART)) << c.name;
        EXPECT_EQ(c.offered ? BST_CHECKED : BST_UNCHECKED, seen.checks.at(IDC_FINISH_RESTART)) << c.name;
        EXPECT_EQ(c.doneText, seen.texts.at(IDC_FINISH_TEXT)) << c.name;
        EXPECT_EQ(c.restart, Manager().m_bRestart) << c.name;
        // The trace gives the decision as made, before the user's choice.
        const std::string traced = std::string("Setup: m_bRestart = ") + (c.offered ? "1" : "0") +
                                   ", m_bNeedRestartByFiles = 0";
        EXPECT_NE(lines.end(), std::find(lines.begin(), lines.end(), traced)) << c.name;
    }
}

TEST_F(WizardPagesTest, QuietFinishInstallationKeepsTheDecision)
{
    for (int mode : {CCmdLineHelper::RestartDefault, CCmdLineHelper::RestartNever}) {
        ASSERT_TRUE(LoadDocument(Document("ForcedDelayCopy=\"true\"")));
        g_CmdLine.m_bQuiet = true;
        g_CmdLine.m_nAction = CCmdLineHelper::ActionInstall;
        g_CmdLine.m_nRestartMode = mode;
        const size_t before = TestSupport::ProcessWindows(::GetCurrentProcessId()).size();
        Manager().FinishInstallation();
        EXPECT_EQ(mode != CCmdLineHelper::RestartNever, Manager().m_bRestart) << mode;
        EXPECT_EQ(before, TestSupport::ProcessWindows(::GetCurrentProcessId()).size()) << mode;
    }
}

// The whole road: the user's "later" on the finish page means no restart request,
// and the PostFinish script sees the condition "restart" false.
TEST_F(WizardPagesTest, LaterOnTheFinishPageMeansNoRestartAndPostFinishSeesIt)
{
    ASSERT_TRUE(LoadDocument(Document("ForcedDelayCopy=\"true\"", "<Install><PostFinish><Probe/></PostFinish></Install>",
                                      "<Localize Caption=\"Pages Setup\">"
                                      "<Common><btnFinish Caption=\"Finish\"/></Common>"
                                      "<DlgFinish><stcFinishInstall Caption=\"Installed.\"/>"
                                      "<radioRestart Caption=\"Restart now\"/><radioNoRestart Caption=\"Restart later\"/>"
                                      "<stcRestart Caption=\"Windows must restart.\"/><stcGroupBox Caption=\"Done\"/>"
                                      "</DlgFinish></Localize>")));
    g_CmdLine.m_nAction = CCmdLineHelper::ActionInstall;
    Manager().m_Seams.isAdmin = [] { return true; };
    int requests = 0;
    Manager().m_Seams.exitWindows = [&](UINT, DWORD) {
        ++requests;
        return TRUE;
    };
    CPageDriver driver(IDC_FINISH_TEXT, [](const CGuiDriver& d, HWND p) {
        ClickAndWait(d, p, IDC_FINISH_NORESTART, BST_CHECKED);
        d.Click(p, IDOK);
    });
    EXPECT_EQ(0, Manager().Install());
    ASSERT_TRUE(driver.Seen().found);
    EXPECT_EQ(0, requests);
    EXPECT_FALSE(Manager().m_bRestart);
    const auto& conditions = Manager().m_SetupOptions.m_Conditions;
    ASSERT_EQ(1u, conditions.count(L"restart"));
    EXPECT_FALSE(conditions.at(L"restart"));
}

TEST_F(WizardPagesTest, InitDialogsAddsTheToolbarPageThenTheInstallPage)
{
    ASSERT_TRUE(LoadDocument(Document()));
    ASSERT_TRUE(Manager().InitDialogs());
    std::vector<int> types;
    for (const auto& page : Manager().m_Dialogs)
        types.push_back(page->GetPageType());
    EXPECT_EQ((std::vector<int>{DlgPopup::PageToolbar, DlgPopup::PageInstall}), types);
    EXPECT_TRUE(Manager().m_Dialogs.front()->m_bFirstPage);
    EXPECT_FALSE(Manager().m_Dialogs.back()->m_bFirstPage);
    for (const auto& page : Manager().m_Dialogs)
        EXPECT_EQ(static_cast<CWnd*>(Manager().m_pDlgMain.get()), page->m_pParentWnd);
    auto toolbar = std::dynamic_pointer_cast<DlgPopup::CDlgToolbar>(Manager().m_Dialogs.front());
    ASSERT_NE(nullptr, toolbar);
    EXPECT_EQ(&Manager().m_SetupOptions, toolbar->m_pOptions);
    EXPECT_EQ(1, toolbar->m_bInstallToolbar);

    // A quiet wizard passes both pages without a window and without a "custom" answer.
    g_CmdLine.m_bQuiet = true;
    Manager().RunWizard();
    EXPECT_EQ(-1, Custom());
    EXPECT_FALSE(Manager().m_SetupOptions.m_Conditions.at(L"UI"));
}

} // namespace
