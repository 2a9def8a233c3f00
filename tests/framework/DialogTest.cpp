// Tests of the framework's dialogs, controls and data exchange.
#include "framework/Controls.h"
#include "framework/Window.h"
#include "tests/framework/DialogTemplate.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

const WORD kEditA = 100;
const WORD kEditB = 101;
const WORD kCheck = 102;
const WORD kNumber = 103;
const WORD kCombo = 104;
const UINT WM_SCRIPT = WM_APP + 10;

CDialogTemplate MakeTemplate()
{
    CDialogTemplate t(WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME, 200, 120, L"Test");
    t.Item(0x81, kEditA, ES_AUTOHSCROLL | WS_TABSTOP)
        .Item(0x81, kEditB, ES_AUTOHSCROLL)
        .Item(0x80, kCheck, BS_AUTOCHECKBOX, L"check")
        .Item(0x81, kNumber, ES_AUTOHSCROLL)
        .Item(0x85, kCombo, CBS_DROPDOWNLIST, L"", 0, 0, 60, 60)
        .Item(0x80, IDOK, BS_DEFPUSHBUTTON, L"OK")
        .Item(0x80, IDCANCEL, BS_PUSHBUTTON, L"Cancel");
    return t;
}

// What the dialog does once it stands: a script step posted from OnInitDialog.
enum class EStep { PressOK, PressCancel, EndWith42, ThrowThenEnd, BadNumberThenCancel };

class CTestDialog : public CDialog
{
public:
    CTestDialog(const DLGTEMPLATE* t, EStep step) : CDialog(t, nullptr), m_step(step) {}

    BOOL OnInitDialog() override
    {
        ++m_nInits;
        CDialog::OnInitDialog();
        m_hOwner = GetWindow(m_hWnd, GW_OWNER);
        m_combo.AddString(L"zero");
        m_combo.AddString(L"one");
        PostMessage(WM_SCRIPT);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* pDX) override
    {
        DDX_Control(pDX, kCombo, m_combo);
        DDX_Text(pDX, kEditA, m_strA);
        DDX_Text(pDX, kEditB, m_strB);
        DDX_Check(pDX, kCheck, m_nCheck);
        DDX_Text(pDX, kNumber, m_nNumber);
    }
    LRESULT OnScript(WPARAM, LPARAM)
    {
        switch (m_step) {
        case EStep::PressOK:
            SetDlgItemText(kEditA, L"typed");
            SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            break;
        case EStep::PressCancel:
            SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            break;
        case EStep::EndWith42:
            EndDialog(42);
            break;
        case EStep::ThrowThenEnd:
            m_step = EStep::EndWith42;
            PostMessage(WM_SCRIPT);
            throw std::runtime_error("script failed");
        case EStep::BadNumberThenCancel:
            SetDlgItemText(kNumber, L"12x");
            m_bBadUpdate = UpdateData(TRUE);
            SendMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); // refused: stays open
            m_bStillOpen = ::IsWindow(m_hWnd) && ::IsWindowVisible(m_hWnd);
            EndDialog(IDCANCEL);
            break;
        }
        return 0;
    }
    void OnEditAChanged()
    {
        ++m_nChanges;
        m_bNestedResult = UpdateData(TRUE); // re-entry from inside the exchange
    }

    EStep m_step;
    CComboBox m_combo;
    CString m_strA = L"first";
    CString m_strB = L"second";
    int m_nCheck = 1;
    int m_nNumber = 17;
    int m_nInits = 0;
    int m_nChanges = 0;
    BOOL m_bNestedResult = FALSE;
    BOOL m_bBadUpdate = TRUE;
    bool m_bStillOpen = false;
    HWND m_hOwner = nullptr;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(CTestDialog, CDialog)
    ON_MESSAGE(WM_SCRIPT, OnScript)
    ON_EN_CHANGE(kEditA, OnEditAChanged)
END_MESSAGE_MAP()

TEST(ModalDialog, DoModalReturnsTheEndDialogValue)
{
    const CDialogTemplate t = MakeTemplate();
    struct Case { EStep step; INT_PTR expected; };
    const Case cases[] = {
        {EStep::PressOK, IDOK},
        {EStep::PressCancel, IDCANCEL},
        {EStep::EndWith42, 42},
        {EStep::ThrowThenEnd, 42}, // the exception stopped at the window procedure
        {EStep::BadNumberThenCancel, IDCANCEL},
    };
    for (const Case& c : cases) {
        CTestDialog dialog(t.Get(), c.step);
        EXPECT_EQ(dialog.DoModal(), c.expected) << static_cast<int>(c.step);
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_EQ(dialog.m_combo.m_hWnd, nullptr); // the control let go with its window
        EXPECT_EQ(dialog.m_nInits, 1);
    }
}

TEST(ModalDialog, OKExchangesTheControlsIntoTheMembers)
{
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::PressOK);
    ASSERT_EQ(dialog.DoModal(), IDOK);
    EXPECT_STREQ(dialog.m_strA, L"typed");
    EXPECT_STREQ(dialog.m_strB, L"second");
    EXPECT_EQ(dialog.m_nCheck, 1);
    EXPECT_EQ(dialog.m_nNumber, 17);
}

TEST(ModalDialog, AFailedValidationKeepsTheDialogOpenAndTheMemberUnchanged)
{
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::BadNumberThenCancel);
    ASSERT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_FALSE(dialog.m_bBadUpdate);
    EXPECT_TRUE(dialog.m_bStillOpen);
    EXPECT_EQ(dialog.m_nNumber, 17);
}

TEST(ModalDialog, TheSameObjectRunsTwice)
{
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::EndWith42);
    EXPECT_EQ(dialog.DoModal(), 42);
    dialog.m_step = EStep::PressCancel;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.m_nInits, 2);
}

TEST(ModalDialog, ATemplateThatCannotBeCreatedGivesMinusOne)
{
    CDialogTemplate broken(WS_POPUP, 100, 50);
    broken.Item(L"NoSuchWindowClass", 100, 0);
    CTestDialog fromBroken(broken.Get(), EStep::EndWith42);
    EXPECT_EQ(fromBroken.DoModal(), -1);
    EXPECT_EQ(fromBroken.m_hWnd, nullptr);

    CDialog missing(4711); // no such resource
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST(ModalDialog, TheOwnerIsTheMainWindowWhenNoParentIsGiven)
{
    std::unique_ptr<CWinApp> local;
    CWinApp* app = AfxGetApp();
    if (app == nullptr) {
        local = std::make_unique<CWinApp>();
        app = local.get();
    }
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr));
    app->m_pMainWnd = &owner;
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::EndWith42);
    EXPECT_EQ(dialog.DoModal(), 42);
    app->m_pMainWnd = nullptr;
    EXPECT_EQ(dialog.m_hOwner, owner.m_hWnd);
}

TEST(DataExchange, AnUpdateDataFromANotificationOfTheExchangeDoesNotClobberIt)
{
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::EndWith42);
    ASSERT_TRUE(dialog.CreateIndirect(t.Get()));
    dialog.m_nChanges = 0;
    dialog.m_strA = L"alpha";
    dialog.m_strB = L"beta";
    // Writing edit A sends EN_CHANGE, whose handler calls UpdateData(TRUE) while
    // edit B still holds its old text.
    ASSERT_TRUE(dialog.UpdateData(FALSE));
    ASSERT_GE(dialog.m_nChanges, 1);
    EXPECT_TRUE(dialog.m_bNestedResult);
    EXPECT_STREQ(dialog.m_strB, L"beta");
    CString text;
    CWnd(dialog.GetDlgItemHandle(kEditB)).GetWindowText(text);
    EXPECT_STREQ(text, L"beta");

    // After the exchange, the handler's own UpdateData works again.
    SetDlgItemTextW(dialog.m_hWnd, kEditB, L"gamma");
    SetDlgItemTextW(dialog.m_hWnd, kEditA, L"delta");
    EXPECT_STREQ(dialog.m_strB, L"gamma");
    EXPECT_STREQ(dialog.m_strA, L"delta");
    dialog.DestroyWindow();
}

TEST(DataExchange, ValuesTravelBothWays)
{
    const CDialogTemplate t = MakeTemplate();
    CTestDialog dialog(t.Get(), EStep::EndWith42);
    ASSERT_TRUE(dialog.CreateIndirect(t.Get()));
    EXPECT_EQ(dialog.m_combo.m_hWnd, dialog.GetDlgItemHandle(kCombo));
    EXPECT_EQ(dialog.m_combo.GetCount(), 2);
    CString text;
    dialog.m_combo.GetLBText(1, text);
    EXPECT_STREQ(text, L"one");
    EXPECT_EQ(IsDlgButtonChecked(dialog.m_hWnd, kCheck), BST_CHECKED);
    wchar_t number[16] = {};
    GetDlgItemTextW(dialog.m_hWnd, kNumber, number, 16);
    EXPECT_STREQ(number, L"17");

    CheckDlgButton(dialog.m_hWnd, kCheck, BST_UNCHECKED);
    SetDlgItemTextW(dialog.m_hWnd, kNumber, L" -5 ");
    ASSERT_TRUE(dialog.UpdateData(TRUE));
    EXPECT_EQ(dialog.m_nCheck, 0);
    EXPECT_EQ(dialog.m_nNumber, -5);
    dialog.DestroyWindow();
}

class CCountingDialog : public CDialog
{
public:
    void PostNcDestroy() override { ++m_nDestroyed; }
    void OnCancel() override { DestroyWindow(); }
    int m_nDestroyed = 0;
};

TEST(ModelessDialog, CreateDestroyAndCreateAgain)
{
    CDialogTemplate t(WS_POPUP | WS_VISIBLE, 100, 50);
    t.Item(0x80, IDCANCEL, BS_PUSHBUTTON, L"Cancel");
    CCountingDialog dialog;
    for (int round = 0; round < 2; ++round) {
        ASSERT_TRUE(dialog.CreateIndirect(t.Get())) << round;
        HWND hwnd = dialog.m_hWnd;
        EXPECT_TRUE(IsWindowVisible(hwnd));
        EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), &dialog);
        dialog.SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        EXPECT_FALSE(IsWindow(hwnd));
        EXPECT_EQ(dialog.m_hWnd, nullptr);
        EXPECT_EQ(dialog.m_nDestroyed, round + 1);
    }
    HWND last = nullptr;
    {
        CCountingDialog scoped;
        ASSERT_TRUE(scoped.CreateIndirect(t.Get()));
        last = scoped.m_hWnd;
    }
    EXPECT_FALSE(IsWindow(last));
    EXPECT_FALSE(dialog.Create(4711)); // no such resource
}

TEST(Controls, TreeListAndImageListKeepWhatIsPutIn)
{
    InitCommonControls();
    CImageList images;
    ASSERT_TRUE(images.Create(16, 16, ILC_COLOR32, 2, 2));
    CClientDC screen(nullptr);
    CBitmap bitmap;
    ASSERT_TRUE(bitmap.CreateCompatibleBitmap(screen, 16, 16));
    EXPECT_EQ(images.Add(&bitmap, nullptr), 0);
    EXPECT_EQ(images.GetImageCount(), 1);

    CTreeCtrl tree;
    ASSERT_TRUE(tree.CreateEx(0, WC_TREEVIEWW, L"", WS_POPUP | TVS_CHECKBOXES, 0, 0, 100, 100, nullptr, nullptr));
    HTREEITEM root = tree.InsertItem(L"root");
    HTREEITEM child = tree.InsertItem(L"child", root);
    ASSERT_NE(child, nullptr);
    EXPECT_TRUE(tree.SetItemData(child, 99));
    EXPECT_EQ(tree.GetItemData(child), 99u);
    EXPECT_EQ(tree.GetChildItem(root), child);
    EXPECT_EQ(tree.GetRootItem(), root);
    EXPECT_STREQ(tree.GetItemText(child), L"child");
    tree.SetCheck(child, TRUE);
    EXPECT_TRUE(tree.GetCheck(child));
    tree.SetCheck(child, FALSE);
    EXPECT_FALSE(tree.GetCheck(child));
    tree.SetImageList(&images, TVSIL_NORMAL);

    CListCtrl list;
    ASSERT_TRUE(list.CreateEx(0, WC_LISTVIEWW, L"", WS_POPUP | LVS_REPORT, 0, 0, 100, 100, nullptr, nullptr));
    EXPECT_EQ(list.InsertColumn(0, L"name", LVCFMT_LEFT, 50), 0);
    EXPECT_EQ(list.InsertColumn(1, L"path", LVCFMT_LEFT, 50), 1);
    EXPECT_EQ(list.InsertItem(0, L"a.exe"), 0);
    EXPECT_TRUE(list.SetItemText(0, 1, L"C:\\a"));
    EXPECT_EQ(list.GetItemCount(), 1);
    EXPECT_STREQ(list.GetItemText(0, 1), L"C:\\a");
    EXPECT_TRUE(list.DeleteAllItems());
    EXPECT_EQ(list.GetItemCount(), 0);
}

} // namespace
