// Progress on the taskbar button of a window.
#pragma once

#include "common/tools/ComSupport.h"

#include <windows.h>

namespace UI {

// Progress on the taskbar button of a window, through the shell's taskbar list.
// Without the shell object (older systems, or Init not called or failed) every
// call does nothing and nothing is remembered.
class CTaskbarProgress
{
public:
    // The states the shell knows (its TBPF values).
    enum
    {
        kNoProgress = 0,
        kIndeterminate = 1,
        kNormal = 2,
        kError = 4,
        kPaused = 8,
    };

    CTaskbarProgress() = default;
    // Takes the progress off the button when a state other than none was set.
    virtual ~CTaskbarProgress();
    CTaskbarProgress(const CTaskbarProgress&) = delete;
    CTaskbarProgress& operator=(const CTaskbarProgress&) = delete;

    // Binds to the window whose button shows the progress (the application's main
    // window; null is allowed) and obtains the taskbar list, releasing one held
    // from before. True when the interface was obtained.
    bool Init(HWND hWnd);
    // Failures of the shell's calls are ignored.
    void SetState(int nState);
    void SetValue(ULONGLONG ullCompleted);

    bool HasTaskbarList() const { return m_pTaskbarList != nullptr; }
    HWND GetWindow() const { return m_hWnd; }
    // The last state and completed value passed to the shell.
    int GetState() const { return m_nState; }
    ULONGLONG GetCompleted() const { return m_ullCompleted; }

private:
    ITaskbarList3Ptr m_pTaskbarList;
    HWND m_hWnd = nullptr;
    int m_nState = kNoProgress;

public:
    // The value that means complete, and the caller's increment per item.
    ULONGLONG m_ullTotal = 0;
    ULONGLONG m_ullStep = 0;

private:
    ULONGLONG m_ullCompleted = 0;
};

} // namespace UI
