// The dialog templates and the icon that setup.exe carries.
#include "setup/res/resource.h"
#include "tests/support/ProcessRunner.h"

#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// setup.exe of the build, loaded for its resources only.
class CSetupResources
{
public:
    CSetupResources()
        : m_hModule(LoadLibraryExW((TestSupport::ModuleFolder() + L"setup.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    ~CSetupResources()
    {
        if (m_hModule != nullptr)
            FreeLibrary(m_hModule);
    }
    CSetupResources(const CSetupResources&) = delete;
    CSetupResources& operator=(const CSetupResources&) = delete;
    HMODULE Get() const { return m_hModule; }

private:
    HMODULE m_hModule;
};

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM)
{
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

// The size of a DIALOGEX template, in dialog units.
SIZE TemplateSize(const void* data)
{
    const WORD* words = static_cast<const WORD*>(data);
    // dlgVer, signature, helpID (2), exStyle (2), style (2), cDlgItems, x, y, cx, cy
    return SIZE{static_cast<short>(words[11]), static_cast<short>(words[12])};
}

std::wstring TextOf(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

struct STemplate
{
    int id;
    SIZE size;
    std::vector<int> controls;
    std::vector<int> absent;
};

TEST(DialogTemplates, EveryPageHasItsControls)
{
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&controls);
    CSetupResources resources;
    ASSERT_NE(nullptr, resources.Get());

    const std::vector<int> frame = {IDC_BANNER, IDC_BODY};
    const STemplate templates[] = {
        {IDD_MAIN, {536, 402}, {IDC_PROGRESS, IDC_STATUS, IDC_MAIN_CANCEL, IDC_MAIN_WAIT}, {}},
        {IDD_LICENCE, {316, 208}, {IDC_LICENCE_CAPTION, IDC_LICENCE_TEXT, IDC_LICENCE_ACCEPT, IDC_BACK, IDOK, IDCANCEL}, {}},
        {IDD_DESTINATION, {316, 208},
         {IDC_DEST_GROUP, IDC_DEST_SUMMARY, IDC_DEST_FOLDER, IDC_DEST_REQUIRED, IDC_DEST_FREE, IDC_DEST_BROWSE, IDC_BACK, IDOK,
          IDCANCEL},
         {}},
        {IDD_INSTALL, {316, 208}, {IDC_INSTALL_TEXT, IDC_BACK, IDOK, IDCANCEL}, {}},
        {IDD_FINISH, {316, 208},
         {IDC_FINISH_GROUP, IDC_FINISH_TEXT, IDC_FINISH_RESTART_TEXT, IDC_FINISH_RESTART, IDC_FINISH_NORESTART, IDOK},
         {IDC_BACK, IDCANCEL}},
        {IDD_TOOLBAR, {316, 208}, {IDC_TOOLBAR_TEXT, IDC_TOOLBAR_CHECK, IDC_BACK, IDOK, IDCANCEL}, {}},
        {IDD_LANGUAGE, {316, 208},
         {IDC_LANG_LABEL, IDC_LANG_0, IDC_LANG_1, IDC_LANG_2, IDC_LANG_3, IDC_LANG_4, IDC_LANG_LIST, IDOK, IDCANCEL},
         {IDC_BACK}},
        {IDD_COMPONENTS, {316, 208}, {IDC_COMPONENTS_LABEL, IDC_COMPONENTS_TREE, IDC_BACK, IDOK, IDCANCEL}, {}},
        {IDD_LOCKCHECK, {316, 208}, {IDC_LOCK_TEXT, IDC_LOCK_LIST, IDC_LOCK_RETRY, IDC_LOCK_IGNORE, IDCANCEL},
         {IDC_BACK, IDOK}},
    };
    for (const STemplate& t : templates) {
        SCOPED_TRACE(t.id);
        HRSRC found = FindResourceW(resources.Get(), MAKEINTRESOURCEW(t.id), MAKEINTRESOURCEW(5)); // RT_DIALOG
        ASSERT_NE(nullptr, found);
        const void* data = LockResource(LoadResource(resources.Get(), found));
        ASSERT_NE(nullptr, data);
        const SIZE size = TemplateSize(data);
        EXPECT_EQ(t.size.cx, size.cx);
        EXPECT_EQ(t.size.cy, size.cy);

        HWND dialog = CreateDialogIndirectParamW(resources.Get(), static_cast<const DLGTEMPLATE*>(data), nullptr,
                                                 QuietProc, 0);
        ASSERT_NE(nullptr, dialog);
        std::vector<int> expected = t.controls;
        if (t.id != IDD_MAIN)
            expected.insert(expected.end(), frame.begin(), frame.end());
        for (int id : expected)
            EXPECT_NE(nullptr, GetDlgItem(dialog, id)) << "control " << id;
        for (int id : t.absent)
            EXPECT_EQ(nullptr, GetDlgItem(dialog, id)) << "control " << id;
        // Texts are placeholders only: localisation gives every visible one.
        for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
            const std::wstring text = TextOf(child);
            EXPECT_TRUE(text.empty() || text[0] == L'~') << GetDlgCtrlID(child);
        }
        // Controls that only lend their rectangle start hidden.
        const int hidden[] = {IDC_BODY, IDC_PROGRESS, IDC_MAIN_CANCEL, IDC_MAIN_WAIT};
        for (int id : hidden) {
            if (HWND control = GetDlgItem(dialog, id)) {
                EXPECT_EQ(0, GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) << "control " << id;
            }
        }
        DestroyWindow(dialog);
    }
}

TEST(DialogTemplates, TheProgramIcon)
{
    CSetupResources resources;
    ASSERT_NE(nullptr, resources.Get());
    for (int size : {16, 32}) {
        HICON icon = static_cast<HICON>(LoadImageW(resources.Get(), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        EXPECT_NE(nullptr, icon) << size;
        if (icon != nullptr)
            DestroyIcon(icon);
    }
}

} // namespace
