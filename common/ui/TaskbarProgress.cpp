// Progress on the taskbar button of a window.
#include "common/ui/TaskbarProgress.h"

#include <ole2.h>

namespace UI {

CTaskbarProgress::~CTaskbarProgress()
{
    if (m_nState != kNoProgress)
        SetState(kNoProgress);
}

bool CTaskbarProgress::Init(HWND hWnd)
{
    m_hWnd = hWnd;
    m_pTaskbarList = nullptr;

    IUnknown* raw = nullptr;
    if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_ALL, IID_IUnknown, reinterpret_cast<void**>(&raw))) ||
        raw == nullptr)
        return false;
    IUnknownPtr object(raw, false);
    if (FAILED(OleRun(object)))
        return false;
    ITaskbarList3* list = nullptr;
    if (FAILED(object->QueryInterface(IID_ITaskbarList3, reinterpret_cast<void**>(&list))) || list == nullptr)
        return false;
    m_pTaskbarList.Attach(list);
    return true;
}

void CTaskbarProgress::SetState(int nState)
{
    if (m_pTaskbarList == nullptr)
        return;
    m_nState = nState;
    m_pTaskbarList->SetProgressState(m_hWnd, static_cast<TBPFLAG>(nState));
}

void CTaskbarProgress::SetValue(ULONGLONG ullCompleted)
{
    if (m_pTaskbarList == nullptr)
        return;
    m_ullCompleted = ullCompleted;
    m_pTaskbarList->SetProgressValue(m_hWnd, ullCompleted, m_ullTotal);
}

} // namespace UI
