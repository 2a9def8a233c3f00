// A tree view with three-state check boxes.
#pragma once

#include "framework/Controls.h"

class IItemData;
class ITreeDataProv;

// A tree view whose items carry drawn three-state check boxes (unchecked,
// checked, mixed) in three looks (normal, disabled, hot). The items come from a
// data provider; a click sets a whole subtree and every ancestor shows the
// combination of its children.
class CTriStateCheckTree : public CTreeCtrl
{
public:
    CTriStateCheckTree() = default;
    ~CTriStateCheckTree() override = default;

    // Rebuilds the items from the model; every item starts expanded.
    void Populate();
    // Recomputes every parent from its children and redraws all images not hot.
    void RefreshAll();

    // -1 when nothing was counted; 2 for any mixed or for checked with unchecked.
    static int CombineStates(int checked, int mixed, int unchecked);
    // 0 for an item without a box; else state + 1, with 4 added when disabled and
    // 8 when hot.
    static int GetStateImage(IItemData* item, bool hot);
    // The state image index the tree holds for the item.
    int GetItemStateImage(HTREEITEM item) const;
    IItemData* GetItemModel(HTREEITEM item) const { return reinterpret_cast<IItemData*>(GetItemData(item)); }

    // What a click on the item's box does: the subtree takes the toggled state and
    // the ancestors follow. Nothing for an item that is missing or disabled.
    void ToggleItem(HTREEITEM item);

    ITreeDataProv* m_pDataProv = nullptr; // borrowed
    CImageList m_ilState;
    HTREEITEM m_hHotItem = nullptr;

    LRESULT OnLButtonDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnMouseMove(WPARAM wParam, LPARAM lParam);
    LRESULT OnLButtonDblClk(WPARAM wParam, LPARAM lParam);
    LRESULT OnKeyDown(WPARAM wParam, LPARAM lParam);

protected:
    void InsertItems(IItemData* item, HTREEITEM parent);
    void CreateStateImages();
    void DrawCheckImages(HDC windowDC, COLORREF background);
    int SetSubtreeState(HTREEITEM item, int state);
    void UpdateParents(HTREEITEM item);
    int SetItemState(HTREEITEM item, int state, bool hot);
    void SetHotItem(HTREEITEM item, bool forced);
    void RefreshSubtree(HTREEITEM item);
    void SetItemImage(HTREEITEM item, int image);
    // The item under the client point, or null; 'onButton' tells the expand button.
    HTREEITEM HitTest(LPARAM point, bool* onButton) const;
    // The combined state of the item's children; -1 when none counts.
    int CombineChildren(HTREEITEM item);

    DECLARE_MESSAGE_MAP()
};
