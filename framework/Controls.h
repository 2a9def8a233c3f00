// Thin wrappers over the common controls.
#pragma once

#include "framework/Window.h"

#include <commctrl.h>

// Thin wrappers over the common controls; each borrows nothing and owns nothing
// beyond what CWnd binds.

class CStatic : public CWnd
{
public:
    HBITMAP SetBitmap(HBITMAP bitmap)
    { return reinterpret_cast<HBITMAP>(SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap))); }
    HICON SetIcon(HICON icon) { return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon))); }
};

class CButton : public CWnd
{
public:
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class CEdit : public CWnd
{
public:
    void SetSel(int start, int end) { SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end); }
    void LimitText(int limit) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(limit)); }
    void SetReadOnly(BOOL readOnly = TRUE) { SendMessage(EM_SETREADONLY, readOnly); }
};

class CComboBox : public CWnd
{
public:
    int AddString(const wchar_t* text) { return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text))); }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    int SetItemData(int index, DWORD_PTR data) { return static_cast<int>(SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data))); }
    DWORD_PTR GetItemData(int index) const { return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index))); }
    void GetLBText(int index, CString& text) const
    {
        const int length = static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
        if (length < 0) {
            text.Empty();
            return;
        }
        wchar_t* buffer = text.GetBufferSetLength(length + 1);
        const int copied = static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer)));
        text.ReleaseBuffer(copied < 0 ? 0 : copied);
    }
};

// Owns its image list and destroys it.
class CImageList
{
public:
    CImageList() = default;
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;
    ~CImageList() { DeleteImageList(); }

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow)
    {
        DeleteImageList();
        m_hImageList = ImageList_Create(cx, cy, flags, initial, grow);
        return m_hImageList != nullptr;
    }
    BOOL DeleteImageList()
    {
        if (m_hImageList == nullptr)
            return FALSE;
        const BOOL destroyed = ImageList_Destroy(m_hImageList);
        m_hImageList = nullptr;
        return destroyed;
    }
    int Add(CBitmap* bitmap, CBitmap* mask) { return ImageList_Add(m_hImageList, *bitmap, mask != nullptr ? static_cast<HBITMAP>(*mask) : nullptr); }
    int Add(CBitmap* bitmap, COLORREF maskColor) { return ImageList_AddMasked(m_hImageList, *bitmap, maskColor); }
    int Add(HICON icon) { return ImageList_AddIcon(m_hImageList, icon); }
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    operator HIMAGELIST() const { return m_hImageList; }

    HIMAGELIST m_hImageList = nullptr;
};

class CTreeCtrl : public CWnd
{
public:
    HTREEITEM InsertItem(const wchar_t* text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST)
    {
        TVINSERTSTRUCTW insert{};
        insert.hParent = parent;
        insert.hInsertAfter = after;
        insert.item.mask = TVIF_TEXT;
        insert.item.pszText = const_cast<wchar_t*>(text);
        return InsertItem(&insert);
    }
    HTREEITEM InsertItem(TVINSERTSTRUCTW* insert)
    { return reinterpret_cast<HTREEITEM>(SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert))); }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT))); }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const
    { return reinterpret_cast<HTREEITEM>(SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item))); }
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data)
    {
        TVITEMW tv{};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        tv.lParam = static_cast<LPARAM>(data);
        return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)));
    }
    DWORD_PTR GetItemData(HTREEITEM item) const
    {
        TVITEMW tv{};
        tv.mask = TVIF_PARAM;
        tv.hItem = item;
        SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        return static_cast<DWORD_PTR>(tv.lParam);
    }
    // The state image index 1 is unchecked, 2 checked (TVS_CHECKBOXES).
    BOOL SetCheck(HTREEITEM item, BOOL check = TRUE)
    {
        TVITEMW tv{};
        tv.mask = TVIF_STATE;
        tv.hItem = item;
        tv.stateMask = TVIS_STATEIMAGEMASK;
        tv.state = INDEXTOSTATEIMAGEMASK(check ? 2 : 1);
        return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&tv)));
    }
    BOOL GetCheck(HTREEITEM item) const
    {
        const UINT state = static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK));
        return ((state >> 12) - 1) != 0;
    }
    BOOL Expand(HTREEITEM item, UINT code) { return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item))); }
    BOOL SelectItem(HTREEITEM item) { return static_cast<BOOL>(SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item))); }
    HIMAGELIST SetImageList(CImageList* list, int kind)
    { return reinterpret_cast<HIMAGELIST>(SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr))); }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
    CString GetItemText(HTREEITEM item) const
    {
        wchar_t buffer[520] = {};
        TVITEMW tv{};
        tv.mask = TVIF_TEXT;
        tv.hItem = item;
        tv.pszText = buffer;
        tv.cchTextMax = 520;
        SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&tv));
        return CString(buffer);
    }
};

class CListCtrl : public CWnd
{
public:
    int InsertColumn(int column, const wchar_t* heading, int format = LVCFMT_LEFT, int width = -1)
    {
        LVCOLUMNW lvc{};
        lvc.mask = LVCF_TEXT | LVCF_FMT | (width >= 0 ? LVCF_WIDTH : 0);
        lvc.fmt = format;
        lvc.cx = width;
        lvc.pszText = const_cast<wchar_t*>(heading);
        return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&lvc)));
    }
    int InsertItem(int index, const wchar_t* text, int image = -1)
    {
        LVITEMW item{};
        item.mask = LVIF_TEXT | (image >= 0 ? LVIF_IMAGE : 0);
        item.iItem = index;
        item.iImage = image;
        item.pszText = const_cast<wchar_t*>(text);
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    BOOL SetItemText(int index, int subItem, const wchar_t* text)
    {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = const_cast<wchar_t*>(text);
        return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
    }
    CString GetItemText(int index, int subItem) const
    {
        wchar_t buffer[520] = {};
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = buffer;
        item.cchTextMax = 520;
        SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        return CString(buffer);
    }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    HIMAGELIST SetImageList(CImageList* list, int kind)
    { return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(kind), reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr))); }
    DWORD SetExtendedStyle(DWORD style) { return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style))); }
};
