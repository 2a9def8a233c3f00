// The components model built from the interface document, the three-state tree's
// rules and the components page shown for real and worked by the GUI driver.
#include "tests/setup/EngineFixture.h"

#include "setup/engine/SetupOptions.h"
#include "setup/wizard/DlgComponents.h"
#include "tests/setup/PageDriver.h"
#include "tests/support/GuiDriver.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

using DlgPopup::CDlgComponents;
using TestSupport::CGuiDriver;
using TestSupport::SWindowMatch;

namespace {

// The item's text rectangle in the tree's client coordinates.
RECT ItemTextRect(HWND tree, HTREEITEM item)
{
    RECT rc = {};
    static_assert(sizeof(rc) >= sizeof(item), "the item goes in the rectangle");
    std::memcpy(&rc, &item, sizeof(item));
    ::SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&rc));
    return rc;
}

const char kLocalize[] =
    "<Localize Caption=\"Components Setup\">"
    "<Common><btnNext Caption=\"Next &gt;\"/><btnBack Caption=\"&lt; Back\"/><Cancel Caption=\"Cancel\"/></Common>"
    "<Messages><CancelInstall Caption=\"Stop?\"/></Messages>";

std::string Document(const std::string& optionsTree, const std::string& pageAttributes = "")
{
    return std::string("<Interface>") + kLocalize + "<DlgComponents " + pageAttributes +
           "><stcComponents Caption=\"Choose what to install.\"/>" + optionsTree + "</DlgComponents></Localize></Interface>";
}

// Three groups: one with a required (disabled, ticked) part, a plain one, and a
// nested one; a heading without a box; an item forced on by a condition.
const char kTree[] =
    "<OptionsTree>"
    "<Group Name=\"all\" Caption=\"Program\">"
    "<A Name=\"a\" Caption=\"Core\"/><B Name=\"b\" Caption=\"Help\" State=\"0\"/>"
    "<Req Name=\"req\" Caption=\"Runtime\" Enable=\"false\"/>"
    "</Group>"
    "<Tools Name=\"tools\" Caption=\"Tools\"><X Name=\"x\" Caption=\"X\"/><Y Name=\"y\" Caption=\"Y\" State=\"0\"/></Tools>"
    "<Deep Name=\"deep\" Caption=\"Deep\"><Mid Name=\"mid\" Caption=\"Mid\">"
    "<Leaf Name=\"leaf\" Caption=\"Leaf\" State=\"0\"/><Leaf2 Name=\"leaf2\" Caption=\"Leaf2\"/></Mid></Deep>"
    "<Head Caption=\"Heading\" NoCheck=\"true\"/>"
    "<Forced Name=\"forced\" Caption=\"Forced\" SetIf=\"UI\"/>"
    "</OptionsTree>";


class ComponentsTest : public TestSupport::CEngineTest
{
protected:
    // The condition: -1 when it was never set.
    int Condition(const wchar_t* name)
    {
        const auto& conditions = Manager().m_SetupOptions.m_Conditions;
        auto found = conditions.find(name);
        return found == conditions.end() ? -1 : (found->second ? 1 : 0);
    }

    std::unique_ptr<CDlgComponents> MakePage()
    {
        return std::make_unique<CDlgComponents>(nullptr, &Manager().m_SetupOptions);
    }
};

// ---- the model ----

TEST_F(ComponentsTest, ItemsWriteTheirInitialStateAsConditions)
{
    ASSERT_TRUE(LoadDocument(Document(
        "<OptionsTree><E Name=\"extras\" State=\"0\"/><D Name=\"defaulted\"/><M Name=\"mixed\" State=\"2\"/>"
        "<O Name=\"odd\" State=\"7\"/><N Caption=\"no name\" State=\"1\"/></OptionsTree>")));
    const size_t before = Manager().m_SetupOptions.m_Conditions.size();
    auto page = MakePage();
    EXPECT_EQ(before + 4, Manager().m_SetupOptions.m_Conditions.size()) << "only named items write";
    EXPECT_EQ(0, Condition(L"extras"));
    EXPECT_EQ(1, Condition(L"defaulted")) << "State defaults to checked";
    EXPECT_EQ(0, Condition(L"mixed"));
    EXPECT_EQ(0, Condition(L"odd"));
    EXPECT_EQ(5u, page->m_DataProv.GetCount(nullptr));
    EXPECT_EQ(7, page->m_DataProv.GetItem(nullptr, 3)->GetState());
    EXPECT_EQ(nullptr, page->m_DataProv.GetItem(nullptr, 5));
}

TEST_F(ComponentsTest, TreeAttributesGiveStyleAndOptionsAndElementsGiveTheHierarchy)
{
    struct SCase
    {
        const char* tree;
        int style;
        int options;
        unsigned roots;
    };
    const SCase cases[] = {
        {"<OptionsTree/>", 0x1000 | TVS_HASBUTTONS | TVS_HASLINES, 0, 0},
        {"<OptionsTree HasButtons=\"false\" HasLines=\"0\" NoDblClick=\"true\"><A/>text<!-- c --><B/></OptionsTree>",
         0x1000, 1, 2},
        {kTree, 0x1000 | TVS_HASBUTTONS | TVS_HASLINES, 0, 5},
    };
    for (const SCase& c : cases) {
        ASSERT_TRUE(LoadDocument(Document(c.tree)));
        auto page = MakePage();
        EXPECT_EQ(c.style, page->m_DataProv.GetStyle()) << c.tree;
        EXPECT_EQ(c.options, page->m_DataProv.GetOptions()) << c.tree;
        EXPECT_EQ(c.roots, page->m_DataProv.GetCount(nullptr)) << c.tree;
    }
    // The nested group of kTree: Deep > Mid > Leaf, Leaf2.
    auto page = MakePage();
    IItemData* deep = page->m_DataProv.GetItem(nullptr, 2);
    ASSERT_NE(nullptr, deep);
    ASSERT_EQ(1u, page->m_DataProv.GetCount(deep));
    IItemData* mid = page->m_DataProv.GetItem(deep, 0);
    ASSERT_EQ(2u, page->m_DataProv.GetCount(mid));
    EXPECT_EQ(CString(L"Leaf2"), page->m_DataProv.GetItem(mid, 1)->GetCaption());
    EXPECT_EQ(0u, page->m_DataProv.GetCount(page->m_DataProv.GetItem(mid, 1)));
}

TEST_F(ComponentsTest, ABadAttributeEndsTheBuildAndKeepsWhatWasBuilt)
{
    ASSERT_TRUE(LoadDocument(Document(
        "<OptionsTree><A Name=\"first\"><A1 Name=\"child\"/><A2 Name=\"broken\" State=\"lots\"/><A3 Name=\"after\"/></A>"
        "<B Name=\"second\"/></OptionsTree>")));
    auto page = MakePage(); // must not throw
    ASSERT_EQ(1u, page->m_DataProv.GetCount(nullptr));
    EXPECT_EQ(1u, page->m_DataProv.GetCount(page->m_DataProv.GetItem(nullptr, 0)));
    EXPECT_EQ(1, Condition(L"child"));
    EXPECT_EQ(-1, Condition(L"broken"));
    EXPECT_EQ(-1, Condition(L"second"));

    ASSERT_TRUE(LoadDocument("<Interface><Localize/></Interface>"));
    auto empty = MakePage();
    EXPECT_EQ(0u, empty->m_DataProv.GetCount(nullptr)) << "no components node: an empty model";
}

TEST_F(ComponentsTest, ConditionsEnableSetAndResetItems)
{
    CSetupOptions options;
    options.SetCondition(L"on", true);
    options.SetCondition(L"off", false);
    struct SCase
    {
        const char* name;
        const wchar_t* itemName;
        bool enable;
        const wchar_t* enableIf;
        const wchar_t* setIf;
        const wchar_t* resetIf;
        bool enabled;
        int state;      // after GetState, from a state of 0 set by the view
        int condition;  // of the item's name afterwards, -1 when never written
    };
    const SCase cases[] = {
        {"SetIf and ResetIf both true: SetIf wins", L"both", true, L"", L"on", L"on", true, 1, 1},
        {"ResetIf true", L"reset", true, L"", L"", L"on", true, 0, 0},
        {"SetIf false", L"kept", true, L"", L"off", L"", true, 0, 0},
        {"unnamed: conditions never applied", L"", true, L"", L"on", L"", true, 0, -1},
        {"Enable false beats EnableIf", L"off1", false, L"on", L"", L"", false, 0, 0},
        {"EnableIf false", L"off2", true, L"off", L"", L"", false, 0, 0},
        {"EnableIf unknown", L"unk", true, L"nosuchname", L"", L"", true, 0, 0},
    };
    for (const SCase& c : cases) {
        CItem item(L"caption", c.itemName, &options, 1, c.enable, true);
        item.m_strEnableIf = c.enableIf;
        item.m_strSetIf = c.setIf;
        item.m_strResetIf = c.resetIf;
        item.SetState(0);
        EXPECT_EQ(c.state, item.GetState()) << c.name;
        EXPECT_EQ(c.enabled, item.IsEnabled()) << c.name;
        const auto found = options.m_Conditions.find(c.itemName);
        const int condition = found == options.m_Conditions.end() ? -1 : (found->second ? 1 : 0);
        EXPECT_EQ(c.condition, condition) << c.name;
    }
}

// ---- the tree's rules, on a tree window of the test's own ----

class TreeRulesTest : public ComponentsTest
{
protected:
    void SetUp() override
    {
        ComponentsTest::SetUp();
        INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
        ::InitCommonControlsEx(&controls);
        ASSERT_TRUE(LoadDocument(Document(kTree)));
        m_pPage = MakePage();
        m_tree.m_pDataProv = &m_pPage->m_DataProv;
        ASSERT_TRUE(m_tree.CreateEx(0, WC_TREEVIEWW, L"", WS_POPUP | TVS_DISABLEDRAGDROP, 0, 0, 300, 400, nullptr,
                                    nullptr));
        m_tree.Populate();
        m_tree.RefreshAll();
    }
    void TearDown() override
    {
        m_tree.DestroyWindow();
        m_pPage.reset();
        ComponentsTest::TearDown();
    }

    // The tree item by its caption path, "Program/Core".
    HTREEITEM Find(const std::wstring& path)
    {
        HTREEITEM item = m_tree.GetRootItem();
        size_t start = 0;
        while (item != nullptr) {
            const size_t end = path.find(L'/', start);
            const std::wstring part = path.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            while (item != nullptr && std::wstring(m_tree.GetItemText(item).GetString()) != part)
                item = m_tree.GetNextSiblingItem(item);
            if (item == nullptr || end == std::wstring::npos)
                return item;
            item = m_tree.GetChildItem(item);
            start = end + 1;
        }
        return nullptr;
    }
    int State(const std::wstring& path)
    {
        HTREEITEM item = Find(path);
        return item != nullptr ? m_tree.GetItemModel(item)->GetState() : -100;
    }
    int Image(const std::wstring& path) { return m_tree.GetItemStateImage(Find(path)); }

    std::unique_ptr<CDlgComponents> m_pPage;
    CTriStateCheckTree m_tree;
};

TEST_F(TreeRulesTest, CombineStatesOfChildren)
{
    struct SCase
    {
        int checked, mixed, unchecked, result;
    };
    for (const SCase& c : {SCase{0, 0, 0, -1}, SCase{3, 0, 0, 1}, SCase{0, 0, 2, 0}, SCase{1, 0, 1, 2},
                           SCase{0, 1, 0, 2}, SCase{2, 1, 3, 2}}) {
        EXPECT_EQ(c.result, CTriStateCheckTree::CombineStates(c.checked, c.mixed, c.unchecked))
            << c.checked << c.mixed << c.unchecked;
    }
}

TEST_F(TreeRulesTest, PopulatedTreeShowsEveryItemExpandedWithItsBox)
{
    EXPECT_EQ(13u, m_tree.GetCount());
    const LONG_PTR style = ::GetWindowLongPtrW(m_tree.m_hWnd, GWL_STYLE);
    EXPECT_EQ(TVS_HASBUTTONS | TVS_HASLINES | 0x1000, style & (TVS_HASBUTTONS | TVS_HASLINES | 0x1000));
    EXPECT_EQ(16, ImageList_GetImageCount(m_tree.m_ilState));
    EXPECT_NE(0, TreeView_GetItemState(m_tree.m_hWnd, Find(L"Deep/Mid"), TVIS_EXPANDED) & TVIS_EXPANDED);
    struct SCase
    {
        const wchar_t* path;
        int state;
        int image;
    };
    const SCase cases[] = {
        {L"Program", 2, 3},          // Core and Runtime ticked, Help not
        {L"Program/Core", 1, 2},
        {L"Program/Help", 0, 1},
        {L"Program/Runtime", 1, 6},  // disabled look
        {L"Tools", 2, 3},
        {L"Deep", 2, 3},
        {L"Deep/Mid", 2, 3},
        {L"Heading", 1, 0},          // no box
        {L"Forced", 1, 2},
    };
    for (const SCase& c : cases) {
        EXPECT_EQ(c.state, State(c.path)) << std::string(c.path, c.path + wcslen(c.path));
        EXPECT_EQ(c.image, Image(c.path)) << std::string(c.path, c.path + wcslen(c.path));
    }
    EXPECT_EQ(0, Condition(L"all"));
    EXPECT_EQ(0, Condition(L"deep"));
}

// The pixels of one image of the list, drawn over the window colour.
std::vector<DWORD> ImagePixels(HIMAGELIST list, int index)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 16;
    info.bmiHeader.biHeight = -16;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC dc = ::CreateCompatibleDC(nullptr);
    HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = ::SelectObject(dc, bitmap);
    RECT all = {0, 0, 16, 16};
    ::FillRect(dc, &all, ::GetSysColorBrush(COLOR_WINDOW));
    ImageList_Draw(list, index, dc, 0, 0, ILD_NORMAL);
    ::GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + 256);
    ::SelectObject(dc, previous);
    ::DeleteObject(bitmap);
    ::DeleteDC(dc);
    return pixels;
}

TEST_F(TreeRulesTest, StateImagesAreDrawnBoxesWithADistinctLookEach)
{
    std::vector<std::vector<DWORD>> images;
    for (int i = 0; i < 16; ++i)
        images.push_back(ImagePixels(m_tree.m_ilState, i));
    const std::vector<DWORD> blank = ImagePixels(nullptr, 0);
    for (int i : {0, 4, 8, 12})
        EXPECT_EQ(blank, images[i]) << i << " is a blank image";
    for (int i : {1, 2, 3, 5, 6, 7})
        EXPECT_NE(blank, images[i]) << i << " shows a box";
    EXPECT_NE(images[1], images[2]) << "unchecked and checked";
    EXPECT_NE(images[2], images[3]) << "checked and mixed";
    EXPECT_NE(images[1], images[3]) << "unchecked and mixed";
    // An empty box may look alike in both; a ticked one is greyed when disabled.
    EXPECT_NE(images[2], images[6]) << "normal and disabled";
    EXPECT_EQ(images[5], images[13]) << "disabled and hot looks disabled";
}

TEST_F(TreeRulesTest, ClicksSetSubtreesAndParentsFollowTheirChildren)
{
    struct SStep
    {
        const wchar_t* click;
        std::map<std::wstring, int> states;
        std::map<std::wstring, int> conditions;
    };
    const SStep steps[] = {
        // A child makes its parent whole or partial.
        {L"Tools/X", {{L"Tools", 0}, {L"Tools/Y", 0}}, {{L"tools", 0}, {L"x", 0}}},
        {L"Tools/Y", {{L"Tools", 2}}, {{L"tools", 0}, {L"y", 1}}},
        // A mixed parent clears its subtree; an unchecked one checks it.
        {L"Tools", {{L"Tools", 0}, {L"Tools/X", 0}, {L"Tools/Y", 0}}, {{L"tools", 0}, {L"y", 0}}},
        {L"Tools", {{L"Tools", 1}, {L"Tools/X", 1}, {L"Tools/Y", 1}}, {{L"tools", 1}, {L"x", 1}, {L"y", 1}}},
        // Two levels up.
        {L"Deep/Mid/Leaf", {{L"Deep/Mid", 1}, {L"Deep", 1}}, {{L"leaf", 1}, {L"mid", 1}, {L"deep", 1}}},
        {L"Deep", {{L"Deep/Mid", 0}, {L"Deep/Mid/Leaf2", 0}}, {{L"leaf2", 0}, {L"deep", 0}}},
        // The required part stays ticked: clearing the group leaves it mixed, and the
        // next click ticks everything rather than doing nothing.
        {L"Program/Help", {{L"Program", 1}}, {{L"all", 1}, {L"b", 1}}},
        {L"Program", {{L"Program", 2}, {L"Program/Core", 0}, {L"Program/Help", 0}, {L"Program/Runtime", 1}},
         {{L"all", 0}, {L"a", 0}, {L"req", 1}}},
        {L"Program", {{L"Program", 1}, {L"Program/Core", 1}, {L"Program/Help", 1}}, {{L"all", 1}, {L"a", 1}}},
        // Disabled items and items without a box do not toggle; a forced one stays on.
        {L"Program/Runtime", {{L"Program/Runtime", 1}, {L"Program", 1}}, {{L"req", 1}}},
        {L"Heading", {{L"Heading", 1}}, {}},
        {L"Forced", {{L"Forced", 1}}, {{L"forced", 1}}},
    };
    for (const SStep& step : steps) {
        const std::string name(step.click, step.click + wcslen(step.click));
        HTREEITEM item = Find(step.click);
        ASSERT_NE(nullptr, item) << name;
        m_tree.ToggleItem(item);
        m_tree.RefreshAll();
        for (const auto& s : step.states)
            EXPECT_EQ(s.second, State(s.first)) << name << " -> " << std::string(s.first.begin(), s.first.end());
        for (const auto& c : step.conditions)
            EXPECT_EQ(c.second, Condition(c.first.c_str())) << name << " -> " << std::string(c.first.begin(), c.first.end());
    }
    EXPECT_EQ(2, Image(L"Program/Core"));
    EXPECT_EQ(6, Image(L"Program/Runtime"));
}

TEST_F(TreeRulesTest, HoverDrawsTheHotLookAndARefreshDrawsItNormal)
{
    const RECT rc = ItemTextRect(m_tree.m_hWnd, Find(L"Tools/X"));
    ASSERT_LT(rc.left, rc.right);
    m_tree.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(rc.left + 2, (rc.top + rc.bottom) / 2));
    EXPECT_EQ(Find(L"Tools/X"), m_tree.m_hHotItem);
    EXPECT_EQ(2 | 8, Image(L"Tools/X"));
    m_tree.RefreshAll();
    EXPECT_EQ(2, Image(L"Tools/X"));
    EXPECT_EQ(Find(L"Tools/X"), m_tree.m_hHotItem);
}

// ---- the page ----

// What the driver saw and did on the shown page.
struct SPageSeen : TestSupport::SPageSeen
{
    bool onStateIcon = false;
    int afterClick = -1;  // state image of the clicked item
    int afterSpace = -1;  // state image of the item toggled by the space key
};

// The components page, found by its tree.
class CPageDriver : public TestSupport::CPageDriver<SPageSeen>
{
public:
    explicit CPageDriver(Actions act) : TestSupport::CPageDriver<SPageSeen>(IDC_COMPONENTS_TREE, act) {}
};

// The child of 'parent' (TVI_ROOT for the roots) with that caption.
HTREEITEM FindChild(HWND tree, HTREEITEM parent, const std::wstring& caption)
{
    HTREEITEM item = parent == TVI_ROOT ? TreeView_GetRoot(tree) : TreeView_GetChild(tree, parent);
    for (; item != nullptr; item = TreeView_GetNextSibling(tree, item)) {
        wchar_t buffer[128] = {};
        TVITEMW tv{};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = buffer;
        tv.cchTextMax = 128;
        TreeView_GetItem(tree, &tv);
        if (caption == buffer)
            return item;
    }
    return nullptr;
}

int StateImage(HWND tree, HTREEITEM item)
{
    return static_cast<int>((TreeView_GetItemState(tree, item, TVIS_STATEIMAGEMASK) & TVIS_STATEIMAGEMASK) >> 12);
}

// Waits until the item's box changes from 'before'; gives the new look. The hot
// bit is left out: the real mouse may rest over the tree.
int WaitImageChange(HWND tree, HTREEITEM item, int before)
{
    for (int i = 0; i < 300; ++i) {
        const int now = StateImage(tree, item) & 7;
        if (now != (before & 7))
            return now;
        ::Sleep(10);
    }
    return before;
}

TEST_F(ComponentsTest, PageIsLocalisedAndTogglesByClickAndSpace)
{
    ASSERT_TRUE(LoadDocument(Document(kTree)));
    auto page = MakePage();
    EXPECT_EQ(DlgPopup::PageComponents, page->GetPageType());
    CPageDriver driver([](const CGuiDriver& d, HWND p, SPageSeen& seen) {
        HWND tree = ::GetDlgItem(p, IDC_COMPONENTS_TREE);
        HTREEITEM tools = FindChild(tree, TVI_ROOT, L"Tools");
        HTREEITEM x = FindChild(tree, tools, L"X");
        HTREEITEM y = FindChild(tree, tools, L"Y");
        if (x == nullptr || y == nullptr)
            return;
        // A click on X's box: the box lies just left of the text.
        const RECT rc = ItemTextRect(tree, x);
        TVHITTESTINFO hit{};
        hit.pt = {rc.left - 8, (rc.top + rc.bottom) / 2};
        ::SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        seen.onStateIcon = hit.hItem == x && (hit.flags & TVHT_ONITEMSTATEICON) != 0;
        const int beforeClick = StateImage(tree, x);
        ::PostMessageW(tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(hit.pt.x, hit.pt.y));
        ::PostMessageW(tree, WM_LBUTTONUP, 0, MAKELPARAM(hit.pt.x, hit.pt.y));
        seen.afterClick = WaitImageChange(tree, x, beforeClick);
        // The space key toggles the selected item.
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(y));
        const int beforeSpace = StateImage(tree, y);
        ::PostMessageW(tree, WM_KEYDOWN, VK_SPACE, 0);
        ::PostMessageW(tree, WM_KEYUP, VK_SPACE, 0);
        seen.afterSpace = WaitImageChange(tree, y, beforeSpace);
        d.Click(p, IDOK);
    });
    EXPECT_EQ(DlgPopup::PageResultNext, page->DoModal());
    const SPageSeen& seen = driver.Seen();
    ASSERT_TRUE(seen.found);
    EXPECT_EQ(L"Components Setup", seen.title);
    EXPECT_EQ(L"Choose what to install.", seen.texts.at(IDC_COMPONENTS_LABEL));
    EXPECT_EQ(L"Next >", seen.texts.at(IDOK));
    EXPECT_TRUE(seen.placeholders.empty());
    EXPECT_TRUE(seen.onStateIcon) << "the box is drawn left of the text";
    EXPECT_EQ(1, seen.afterClick) << "X cleared";
    EXPECT_EQ(2, seen.afterSpace) << "Y ticked";
    // The store holds the choices once the page is left by Next.
    EXPECT_EQ(0, Condition(L"x"));
    EXPECT_EQ(1, Condition(L"y"));
    EXPECT_EQ(2, page->m_DataProv.GetItem(nullptr, 1)->GetState());
    EXPECT_EQ(0, Condition(L"tools"));

    // Shown again after Back, the page shows the choices made before.
    int imageX = -1;
    CPageDriver again([&imageX](const CGuiDriver& d, HWND p, SPageSeen&) {
        HWND tree = ::GetDlgItem(p, IDC_COMPONENTS_TREE);
        imageX = StateImage(tree, FindChild(tree, FindChild(tree, TVI_ROOT, L"Tools"), L"X")) & 7;
        d.Click(p, IDC_BACK);
    });
    EXPECT_EQ(DlgPopup::PageResultBack, page->DoModal());
    again.Seen();
    EXPECT_EQ(1, imageX);
}

TEST_F(ComponentsTest, DoubleClickExpandsUnlessTheTreeSaysNo)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    for (const bool noDblClick : {false, true}) {
        ASSERT_TRUE(LoadDocument(Document(std::string("<OptionsTree NoDblClick=\"") + (noDblClick ? "true" : "false") +
                                          "\"><G Name=\"g\" Caption=\"Group\"><C Name=\"c\" Caption=\"Child\"/></G></OptionsTree>")));
        auto page = MakePage();
        CTriStateCheckTree tree;
        tree.m_pDataProv = &page->m_DataProv;
        ASSERT_TRUE(tree.CreateEx(0, WC_TREEVIEWW, L"", WS_POPUP | TVS_DISABLEDRAGDROP, 0, 0, 300, 200, nullptr, nullptr));
        tree.Populate();
        HTREEITEM group = tree.GetRootItem();
        const RECT rc = ItemTextRect(tree.m_hWnd, group);
        tree.SendMessage(WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(rc.left + 2, (rc.top + rc.bottom) / 2));
        const bool expanded = (TreeView_GetItemState(tree.m_hWnd, group, TVIS_EXPANDED) & TVIS_EXPANDED) != 0;
        EXPECT_EQ(noDblClick, expanded) << "a double click on the label collapses the expanded group";
        EXPECT_EQ(1, Condition(L"g")) << "a double click does not toggle";
        tree.DestroyWindow();
    }
}

// ---- with the engine ----

TEST_F(ComponentsTest, InitDialogsPutsTheComponentsAfterTheDestinationAndWritesTheChoicesEvenWhenQuiet)
{
    const std::string pages = "<DlgDestination/><DlgToolbar/><DlgInstall/>";
    ASSERT_TRUE(LoadDocument(std::string("<Interface>") + kLocalize + pages +
                             "<DlgComponents><OptionsTree><E Name=\"extras\" State=\"0\"/><F Name=\"full\"/></OptionsTree>"
                             "</DlgComponents></Localize></Interface>"));
    g_CmdLine.m_bQuiet = true;
    ASSERT_TRUE(Manager().InitDialogs());
    std::vector<int> types;
    for (const auto& page : Manager().m_Dialogs)
        types.push_back(page->GetPageType());
    EXPECT_EQ((std::vector<int>{DlgPopup::PageDestination, DlgPopup::PageComponents, DlgPopup::PageToolbar,
                                DlgPopup::PageInstall}),
              types);
    EXPECT_EQ(0, Condition(L"extras"));
    EXPECT_EQ(1, Condition(L"full"));

    // A disabled page is left out, but its model still writes the conditions.
    ASSERT_TRUE(LoadDocument(std::string("<Interface>") + kLocalize + pages +
                             "<DlgComponents Enable=\"false\"><OptionsTree><E Name=\"extras\" State=\"0\"/></OptionsTree>"
                             "</DlgComponents></Localize></Interface>"));
    ASSERT_TRUE(Manager().InitDialogs());
    EXPECT_EQ(3u, Manager().m_Dialogs.size());
    EXPECT_EQ(0, Condition(L"extras"));
}

} // namespace
