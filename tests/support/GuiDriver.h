// Drives windows the way a user would, by messages.
#pragma once

// Drives windows the way a user would, but by messages only: the test's own
// windows (a modal page that runs while a driver thread or a timer acts) and the
// windows of another process (setup.exe started with RunProcess). Every wait has
// a time-out, so a window that never comes fails the test instead of hanging it.

#include "tests/support/ProcessRunner.h"
#include "tests/support/WindowProbe.h"

#include <windows.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace TestSupport {

// A wanted top-level window; empty fields match anything.
struct SWindowMatch
{
    std::wstring className;   // "#32770" for dialogs and message boxes
    std::wstring title;
    HWND owner = nullptr;     // compared only with matchOwner
    bool matchOwner = false;
    int controlId = 0;        // a child control of this id must exist (0: not asked)
    bool visibleOnly = true;

    static SWindowMatch Dialog(int controlId = 0);
    SWindowMatch& OwnedBy(HWND window);
};

// The id of a message box's text control (both on Windows and under Wine).
const int kMessageBoxTextId = 0xFFFF;

class CGuiDriver
{
public:
    // The windows of that process (by default the test's own). A wait on another
    // process stops early when that process ends.
    explicit CGuiDriver(DWORD processId = ::GetCurrentProcessId(), DWORD timeoutMs = 5000);
    ~CGuiDriver();
    CGuiDriver(const CGuiDriver&) = delete;
    CGuiDriver& operator=(const CGuiDriver&) = delete;

    DWORD ProcessId() const { return m_nProcessId; }
    DWORD Timeout() const { return m_nTimeoutMs; }
    void SetTimeout(DWORD timeoutMs) { m_nTimeoutMs = timeoutMs; }

    // The process's top-level windows now (hidden ones too), with their controls' texts.
    std::vector<SWindowInfo> Windows() const;
    // The first matching window now, or null. Sends no message, so it also finds
    // the windows of a busy or held program.
    HWND Find(const SWindowMatch& match) const;
    // Waits for a matching window: null after the time-out or when the process ended.
    // On the thread that owns the windows, its messages are dispatched meanwhile.
    HWND WaitFor(const SWindowMatch& match) const;
    // Waits until the window is gone; false after the time-out.
    bool WaitGone(HWND window) const;

    // Posts BM_CLICK to the button: the control clicks itself and notifies its
    // parent, so a disabled or missing button does nothing. False: no such control.
    bool Click(HWND dialog, int controlId) const;
    // Clicks as Click does but returns only once the dialog has handled the click
    // (within the driver's time-out): for a button whose handler opens no window
    // of its own, when the test goes on from what the click did.
    bool ClickAndWait(HWND dialog, int controlId) const;
    // Posts WM_COMMAND as a button of that id sends it (also for ids without a control).
    bool Command(HWND dialog, int commandId) const;
    // Types into an edit control: WM_SETTEXT, the modified flag, and one EN_CHANGE
    // to the parent (a single-line edit sends it itself on WM_SETTEXT).
    bool Type(HWND dialog, int controlId, const std::wstring& text) const;

    std::wstring Text(HWND window) const;
    // A window's text as the system keeps it: no message, so it also works while
    // the window's thread is busy or held (an edit control's text needs Text).
    std::wstring Title(HWND window) const;
    std::wstring ControlText(HWND dialog, int controlId) const;
    // BST_UNCHECKED, BST_CHECKED or BST_INDETERMINATE; -1 when there is no control.
    int CheckState(HWND dialog, int controlId) const;
    bool IsControlVisible(HWND dialog, int controlId) const;
    bool IsControlEnabled(HWND dialog, int controlId) const;

    // Message boxes: a #32770 window with the text control of a message box.
    HWND WaitForMessageBox(SWindowMatch match = SWindowMatch()) const;
    std::wstring MessageBoxText(HWND box) const;
    // Waits for a message box and presses the answer (IDOK, IDYES, IDNO...). The box
    // as it was seen goes to 'seen'. False after the time-out.
    bool AnswerMessageBox(int answer, SWindowInfo* seen = nullptr, SWindowMatch match = SWindowMatch()) const;

private:
    bool Matches(const SWindowInfo& window, const SWindowMatch& match) const;
    // One pause of a wait; false when the watched process has ended.
    bool Pause() const;

    DWORD m_nProcessId;
    DWORD m_nTimeoutMs;
    HANDLE m_hProcess = nullptr;  // only for another process
};

// RunProcess on a thread of its own, so that the caller can drive the program's
// windows meanwhile. RunProcess's own time-out bounds the run.
class CBackgroundRun
{
public:
    CBackgroundRun(const std::wstring& program, const std::vector<std::wstring>& arguments,
                   SProcessOptions options = SProcessOptions());
    ~CBackgroundRun();  // waits for the end
    CBackgroundRun(const CBackgroundRun&) = delete;
    CBackgroundRun& operator=(const CBackgroundRun&) = delete;

    // The id of the started process, or 0 when it did not start within the time.
    DWORD ProcessId(DWORD timeoutMs = 30000);
    // Waits for the end and gives the run.
    const SProcessRun& Wait();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    DWORD m_nProcessId = 0;
    bool m_bDone = false;
    SProcessRun m_run;
    std::thread m_thread;
};

// Holds a program at its first debugger message that begins with a given text
// until Release (at most 8 s, inside the system's 10 s wait): meanwhile its windows
// stay as they are, however briefly they would live otherwise. Install it with
// SProcessOptions::onMessage = hold.Hook().
class CTraceHold
{
public:
    explicit CTraceHold(std::string prefix) : m_strPrefix(std::move(prefix)) {}
    ~CTraceHold() { Release(); }
    CTraceHold(const CTraceHold&) = delete;
    CTraceHold& operator=(const CTraceHold&) = delete;

    std::function<void(const std::string&)> Hook();
    // True once the program is held at the message.
    bool WaitReached(DWORD timeoutMs);
    void Release();

private:
    std::string m_strPrefix;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_bReached = false;
    bool m_bReleased = false;
};

} // namespace TestSupport
