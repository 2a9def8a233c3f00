// One entry of the components tree.
#pragma once

#include "framework/WinString.h"

#include <memory>
#include <vector>

class CSetupOptions;

// One entry of the components tree as the view sees it. States: 0 unchecked,
// 1 checked, 2 mixed; other numbers carry no meaning for drawing or combining.
class IItemData
{
public:
    virtual CString GetCaption() const = 0;
    // May re-apply the item's conditions first, so it can change the state.
    virtual int GetState() = 0;
    virtual void SetState(int state) = 0;
    virtual bool IsEnabled() const = 0;
    virtual bool IsCheckable() const = 0;
    virtual ~IItemData() = default;
};

// A component. A named one mirrors its state into the condition store under its
// name (true exactly when checked), and its SetIf / ResetIf conditions can force
// the state whenever it is read.
class CItem : public IItemData
{
public:
    // The store is borrowed and must outlive the item; null means no mirroring.
    CItem(const CString& caption, const CString& name, CSetupOptions* options, int state, bool enable,
          bool checkable);

    CString GetCaption() const override { return m_strCaption; }
    int GetState() override;
    void SetState(int state) override;
    bool IsEnabled() const override;
    bool IsCheckable() const override { return m_bCheckable; }

    int m_nState = 0;
    CString m_strCaption;
    CString m_strName;
    bool m_bEnable = true;
    bool m_bCheckable = true;
    std::vector<std::shared_ptr<IItemData>> m_vecChildren;
    CString m_strEnableIf;
    CString m_strSetIf;
    CString m_strResetIf;
    CSetupOptions* m_pOptions = nullptr;
};
