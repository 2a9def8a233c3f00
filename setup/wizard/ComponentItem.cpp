// One entry of the components tree.
#include "setup/wizard/ComponentItem.h"

#include "setup/engine/SetupOptions.h"

CItem::CItem(const CString& caption, const CString& name, CSetupOptions* options, int state, bool enable,
             bool checkable)
    : m_strCaption(caption), m_strName(name), m_bEnable(enable), m_bCheckable(checkable), m_pOptions(options)
{
    // Writes the named condition at once, so scripts see the initial choice even
    // when the page is never shown.
    SetState(state);
}

void CItem::SetState(int state)
{
    m_nState = state;
    if (!m_strName.IsEmpty() && m_pOptions != nullptr)
        m_pOptions->SetCondition(m_strName, state == 1);
}

int CItem::GetState()
{
    if (m_strName.IsEmpty() || m_pOptions == nullptr)
        return m_nState;
    // SetIf is applied last, so it wins when both hold.
    if (!m_strResetIf.IsEmpty() && m_pOptions->EvaluateCondition(m_strResetIf, false)) {
        m_pOptions->SetCondition(m_strName, false);
        m_nState = 0;
    }
    if (!m_strSetIf.IsEmpty() && m_pOptions->EvaluateCondition(m_strSetIf, false)) {
        m_pOptions->SetCondition(m_strName, true);
        m_nState = 1;
    }
    return m_nState;
}

bool CItem::IsEnabled() const
{
    if (!m_bEnable)
        return false;
    if (m_strEnableIf.IsEmpty() || m_pOptions == nullptr)
        return true;
    return m_pOptions->EvaluateCondition(m_strEnableIf, false);
}
