// A tree view with three-state check boxes.
#include "setup/wizard/TriStateCheckTree.h"

#include "common/tools/FileTools.h"
#include "common/win32/SystemDll.h"
#include "framework/Gdi.h"
#include "setup/wizard/ComponentsDataProv.h"

#include <uxtheme.h>

namespace {

const int kImageSize = 16;
const int kImageCount = 16;
const int kDisabledBit = 4;
const int kHotBit = 8;
const int kPartCheckBox = 3; // BP_CHECKBOX
const COLORREF kMaskColor = 0xFF00FF;

// Theme state and frame-control flags of each state image; 0 for a blank image.
struct SCheckLook
{
    int themeState;
    UINT frameFlags;
};

const SCheckLook kLooks[kImageCount] = {
    {0, 0},
    {1, DFCS_FLAT | DFCS_BUTTONCHECK},
    {5, DFCS_FLAT | DFCS_BUTTONCHECK | DFCS_CHECKED},
    {9, DFCS_FLAT | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {0, 0},
    {4, DFCS_FLAT | DFCS_INACTIVE},
    {8, DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED},
    {12, DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {0, 0},
    {2, DFCS_FLAT},
    {6, DFCS_FLAT | DFCS_CHECKED},
    {10, DFCS_FLAT | DFCS_CHECKED | DFCS_BUTTON3STATE},
    {0, 0},
    {4, DFCS_FLAT | DFCS_INACTIVE},
    {8, DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED},
    {12, DFCS_FLAT | DFCS_INACTIVE | DFCS_CHECKED | DFCS_BUTTON3STATE},
};

// CloseThemeData, looked up at run time like the rest of the theme library; the
// library is still loaded while a theme is open, since the theme's holder goes first.
void CloseTheme(HTHEME theme)
{
    const CModuleHolder library(Common::Win32::LoadSystemDll(L"uxtheme.dll"));
    if (!library.IsValid())
        return;
    const auto close = reinterpret_cast<HRESULT(WINAPI*)(HTHEME)>(
        reinterpret_cast<void*>(::GetProcAddress(library.Get(), "CloseThemeData")));
    if (close != nullptr)
        close(theme);
}

// The theme library, loaded for the drawing only: older systems have none, and
// without a theme the boxes are drawn classic.
class CThemeApi
{
public:
    CThemeApi() : m_module(Common::Win32::LoadSystemDll(L"uxtheme.dll"))
    {
        if (!m_module.IsValid())
            return;
        m_pIsThemeActive = Proc<BOOL(WINAPI*)()>("IsThemeActive");
        m_pIsAppThemed = Proc<BOOL(WINAPI*)()>("IsAppThemed");
        m_pOpen = Proc<HTHEME(WINAPI*)(HWND, LPCWSTR)>("OpenThemeData");
        m_pBackground = Proc<HRESULT(WINAPI*)(HTHEME, HDC, int, int, const RECT*, const RECT*)>("DrawThemeBackground");
        m_pEdge = Proc<HRESULT(WINAPI*)(HTHEME, HDC, int, int, LPCRECT, UINT, UINT, LPRECT)>("DrawThemeEdge");
    }

    // Opens the button theme when theming is on for this program.
    bool Open(HWND window)
    {
        if (m_pIsThemeActive == nullptr || m_pIsAppThemed == nullptr || m_pOpen == nullptr || m_pBackground == nullptr ||
            m_pEdge == nullptr)
            return false;
        if (!m_pIsThemeActive() || !m_pIsAppThemed())
            return false;
        m_theme.Reset(m_pOpen(window, L"BUTTON"));
        return m_theme.IsValid();
    }
    void Draw(HDC dc, int state, const RECT& rc)
    {
        m_pBackground(m_theme.Get(), dc, kPartCheckBox, state, &rc, nullptr);
        m_pEdge(m_theme.Get(), dc, kPartCheckBox, state, &rc, 0, 0, nullptr);
    }

private:
    template <typename T>
    T Proc(const char* name)
    {
        return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(m_module.Get(), name)));
    }

    // In this order: the theme is closed before the library goes.
    CModuleHolder m_module;
    Common::Tools::CUniqueHandle<HTHEME, &CloseTheme> m_theme;
    BOOL(WINAPI* m_pIsThemeActive)() = nullptr;
    BOOL(WINAPI* m_pIsAppThemed)() = nullptr;
    HTHEME(WINAPI* m_pOpen)(HWND, LPCWSTR) = nullptr;
    HRESULT(WINAPI* m_pBackground)(HTHEME, HDC, int, int, const RECT*, const RECT*) = nullptr;
    HRESULT(WINAPI* m_pEdge)(HTHEME, HDC, int, int, LPCRECT, UINT, UINT, LPRECT) = nullptr;
};

// Counts of children's states for CombineStates.
struct SStateCount
{
    int checked = 0;
    int mixed = 0;
    int unchecked = 0;

    void Add(int state)
    {
        if (state == 0)
            ++unchecked;
        else if (state == 1)
            ++checked;
        else if (state == 2)
            ++mixed;
    }
    int Combined() const { return CTriStateCheckTree::CombineStates(checked, mixed, unchecked); }
};

} // namespace

BEGIN_MESSAGE_MAP(CTriStateCheckTree, CTreeCtrl)
    ON_MESSAGE(WM_LBUTTONDOWN, OnLButtonDown)
    ON_MESSAGE(WM_MOUSEMOVE, OnMouseMove)
    ON_MESSAGE(WM_LBUTTONDBLCLK, OnLButtonDblClk)
    ON_MESSAGE(WM_KEYDOWN, OnKeyDown)
END_MESSAGE_MAP()

int CTriStateCheckTree::CombineStates(int checked, int mixed, int unchecked)
{
    if (checked == 0 && mixed == 0 && unchecked == 0)
        return -1;
    if (mixed > 0)
        return 2;
    if (checked == 0)
        return 0;
    if (unchecked == 0)
        return 1;
    return 2;
}

int CTriStateCheckTree::GetStateImage(IItemData* item, bool hot)
{
    if (item == nullptr || !item->IsCheckable())
        return 0;
    const int state = item->GetState();
    // A state without a meaning gets a blank box of its look, never an index
    // outside the sixteen images.
    int image = (state >= 0 && state <= 2) ? state + 1 : 0;
    if (!item->IsEnabled())
        image |= kDisabledBit;
    if (hot)
        image |= kHotBit;
    return image;
}

int CTriStateCheckTree::GetItemStateImage(HTREEITEM item) const
{
    const UINT state = static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
    return static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12);
}

void CTriStateCheckTree::SetItemImage(HTREEITEM item, int image)
{
    TVITEMW tv{};
    tv.mask = TVIF_STATE;
    tv.hItem = item;
    tv.stateMask = TVIS_STATEIMAGEMASK;
    tv.state = INDEXTOSTATEIMAGEMASK(image);
    SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
}

void CTriStateCheckTree::Populate()
{
    m_hHotItem = nullptr;
    if (m_pDataProv == nullptr || m_hWnd == nullptr)
        return;
    DeleteAllItems();
    const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, style | m_pDataProv->GetStyle());
    CreateStateImages();
    const unsigned count = m_pDataProv->GetCount(nullptr);
    for (unsigned i = 0; i < count; ++i)
        InsertItems(m_pDataProv->GetItem(nullptr, i), TVI_ROOT);
    if (HTREEITEM first = GetRootItem())
        SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(first));
}

void CTriStateCheckTree::InsertItems(IItemData* item, HTREEITEM parent)
{
    if (item == nullptr)
        return;
    const CString caption = item->GetCaption();
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<wchar_t*>(caption.GetString());
    HTREEITEM inserted = InsertItem(&insert);
    if (inserted == nullptr)
        return;
    const int image = GetStateImage(item, false);
    if (image != 0)
        SetItemImage(inserted, image);
    const unsigned count = m_pDataProv->GetCount(item);
    for (unsigned i = 0; i < count; ++i)
        InsertItems(m_pDataProv->GetItem(item, i), inserted);
    SetItemData(inserted, reinterpret_cast<DWORD_PTR>(item));
    Expand(inserted, TVE_EXPAND);
}

void CTriStateCheckTree::CreateStateImages()
{
    CClientDC dc(this);
    if (dc.m_hDC == nullptr)
        return;
    DrawCheckImages(dc.m_hDC, ::GetSysColor(COLOR_WINDOW));
    SetImageList(&m_ilState, TVSIL_STATE);
}

void CTriStateCheckTree::DrawCheckImages(HDC windowDC, COLORREF background)
{
    m_ilState.DeleteImageList();
    CBitmap bitmap;
    if (!bitmap.CreateCompatibleBitmap(windowDC, kImageSize * kImageCount, kImageSize))
        return;
    if (!m_ilState.Create(kImageSize, kImageSize, ILC_COLOR32 | ILC_MASK, kImageCount, 1))
        return;
    {
        CDC window;
        window.Attach(windowDC);
        CDC memory;
        const BOOL created = memory.CreateCompatibleDC(&window);
        window.Detach();
        if (!created)
            return;
        HGDIOBJ previous = memory.SelectObject(&bitmap);
        memory.FillSolidRect(0, 0, kImageSize * kImageCount, kImageSize, background);
        CThemeApi theme;
        const bool themed = theme.Open(m_hWnd);
        for (int i = 0; i < kImageCount; ++i) {
            if (kLooks[i].themeState == 0)
                continue;
            RECT rc = {kImageSize * i + 1, 1, kImageSize * i + 15, 15};
            if (themed)
                theme.Draw(memory, kLooks[i].themeState, rc);
            else
                ::DrawFrameControl(memory, &rc, DFC_BUTTON, kLooks[i].frameFlags);
        }
        memory.SelectObject(previous);
    }
    m_ilState.Add(&bitmap, kMaskColor);
}

int CTriStateCheckTree::SetItemState(HTREEITEM item, int state, bool hot)
{
    IItemData* data = GetItemModel(item);
    if (data == nullptr)
        return 0;
    if (data->IsCheckable()) {
        data->SetState(state);
        SetItemImage(item, GetStateImage(data, hot));
    }
    return data->GetState();
}

int CTriStateCheckTree::SetSubtreeState(HTREEITEM item, int state)
{
    SStateCount count;
    for (HTREEITEM child = GetChildItem(item); child != nullptr; child = GetNextSiblingItem(child)) {
        IItemData* data = GetItemModel(child);
        if (data != nullptr && !data->IsEnabled()) {
            // A disabled item is not the user's to change, not even through its parent.
            count.Add(data->GetState());
            continue;
        }
        count.Add(GetChildItem(child) != nullptr ? SetSubtreeState(child, state) : SetItemState(child, state, false));
    }
    const int combined = count.Combined();
    SetItemState(item, combined == -1 ? state : combined, false);
    return combined;
}

int CTriStateCheckTree::CombineChildren(HTREEITEM item)
{
    SStateCount count;
    for (HTREEITEM child = GetChildItem(item); child != nullptr; child = GetNextSiblingItem(child)) {
        if (IItemData* data = GetItemModel(child))
            count.Add(data->GetState());
    }
    return count.Combined();
}

void CTriStateCheckTree::UpdateParents(HTREEITEM item)
{
    for (HTREEITEM parent = GetParentItem(item); parent != nullptr; parent = GetParentItem(parent)) {
        // Children that count nothing leave the parent as it is.
        const int combined = CombineChildren(parent);
        if (combined != -1)
            SetItemState(parent, combined, false);
    }
}

void CTriStateCheckTree::ToggleItem(HTREEITEM item)
{
    IItemData* data = item != nullptr ? GetItemModel(item) : nullptr;
    if (data == nullptr || !data->IsEnabled())
        return;
    const int before = data->GetState();
    const int wanted = (before == 1 || before == 2) ? 0 : 1;
    SetSubtreeState(item, wanted);
    // A mixed item whose checked part is fixed (disabled children) would stay
    // mixed for ever; it takes the checked state instead.
    if (wanted == 0 && before == 2 && data->GetState() == 2)
        SetSubtreeState(item, 1);
    UpdateParents(item);
}

HTREEITEM CTriStateCheckTree::HitTest(LPARAM point, bool* onButton) const
{
    TVHITTESTINFO hit{};
    hit.pt.x = static_cast<short>(LOWORD(point));
    hit.pt.y = static_cast<short>(HIWORD(point));
    HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
    if (onButton != nullptr)
        *onButton = (hit.flags & TVHT_ONITEMBUTTON) != 0;
    return item;
}

LRESULT CTriStateCheckTree::OnLButtonDown(WPARAM wParam, LPARAM lParam)
{
    bool onButton = false;
    HTREEITEM item = HitTest(lParam, &onButton);
    if (item != nullptr && !onButton) {
        IItemData* data = GetItemModel(item);
        if (data != nullptr && data->IsEnabled()) {
            ToggleItem(item);
            if (HTREEITEM again = HitTest(lParam, nullptr))
                SetHotItem(again, true);
        }
    }
    RefreshAll();
    return DefWindowProc(WM_LBUTTONDOWN, wParam, lParam);
}

LRESULT CTriStateCheckTree::OnMouseMove(WPARAM wParam, LPARAM lParam)
{
    HTREEITEM item = HitTest(lParam, nullptr);
    if (item == nullptr)
        return DefWindowProc(WM_MOUSEMOVE, wParam, lParam);
    SetHotItem(item, false);
    return 0;
}

LRESULT CTriStateCheckTree::OnLButtonDblClk(WPARAM wParam, LPARAM lParam)
{
    if (m_pDataProv != nullptr && (m_pDataProv->GetOptions() & CComponentsDataProv::OptionNoDblClick) != 0)
        return 0;
    return DefWindowProc(WM_LBUTTONDBLCLK, wParam, lParam);
}

LRESULT CTriStateCheckTree::OnKeyDown(WPARAM wParam, LPARAM lParam)
{
    // The keyboard's way to the boxes: space toggles the selected item.
    if (wParam != VK_SPACE)
        return DefWindowProc(WM_KEYDOWN, wParam, lParam);
    ToggleItem(GetSelectedItem());
    RefreshAll();
    return 0;
}

void CTriStateCheckTree::SetHotItem(HTREEITEM item, bool forced)
{
    if (m_hHotItem != nullptr && (forced || m_hHotItem != item)) {
        HTREEITEM old = m_hHotItem;
        m_hHotItem = nullptr;
        if (IItemData* data = GetItemModel(old))
            SetItemState(old, data->GetState(), false);
    }
    if (m_hHotItem != nullptr)
        return;
    m_hHotItem = item;
    if (IItemData* data = GetItemModel(item))
        SetItemState(item, data->GetState(), true);
}

void CTriStateCheckTree::RefreshAll()
{
    for (HTREEITEM root = GetRootItem(); root != nullptr; root = GetNextSiblingItem(root))
        RefreshSubtree(root);
}

void CTriStateCheckTree::RefreshSubtree(HTREEITEM item)
{
    HTREEITEM first = GetChildItem(item);
    if (first == nullptr)
        return;
    SStateCount count;
    for (HTREEITEM child = first; child != nullptr; child = GetNextSiblingItem(child)) {
        RefreshSubtree(child);
        IItemData* data = GetItemModel(child);
        if (data == nullptr)
            continue;
        count.Add(data->GetState());
        SetItemImage(child, GetStateImage(data, false));
    }
    const int combined = count.Combined();
    IItemData* data = GetItemModel(item);
    if (combined != -1)
        SetItemState(item, combined, false);
    else if (data != nullptr)
        SetItemImage(item, GetStateImage(data, false));
}
