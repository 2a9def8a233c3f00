// Drives windows the way a user would, by messages.
#include "tests/support/GuiDriver.h"

#include <utility>

namespace TestSupport {

namespace {

const DWORD kPollMs = 10;
const UINT kSendTimeoutMs = 2000;

// A send that gives up on a hung or dying target instead of hanging the test.
bool SendWithTimeout(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                               result != nullptr ? result : &ignored) != 0;
}

// The process's top-level windows, read without a message to any of them: a
// held or busy program cannot stall the search.
struct SQuickSearch
{
    DWORD processId;
    std::vector<SWindowInfo> windows;
};

BOOL CALLBACK CollectQuick(HWND window, LPARAM param)
{
    SQuickSearch* search = reinterpret_cast<SQuickSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    SWindowInfo info;
    info.handle = window;
    wchar_t text[1024] = {};
    ::GetClassNameW(window, text, 1024);
    info.className = text;
    text[0] = L'\0';
    ::InternalGetWindowText(window, text, 1024);
    info.title = text;
    info.owner = ::GetWindow(window, GW_OWNER);
    info.visible = ::IsWindowVisible(window) != FALSE;
    search->windows.push_back(info);
    return TRUE;
}

} // namespace

SWindowMatch SWindowMatch::Dialog(int controlId)
{
    SWindowMatch match;
    match.className = L"#32770";
    match.controlId = controlId;
    return match;
}

SWindowMatch& SWindowMatch::OwnedBy(HWND window)
{
    owner = window;
    matchOwner = true;
    return *this;
}

CGuiDriver::CGuiDriver(DWORD processId, DWORD timeoutMs) : m_nProcessId(processId), m_nTimeoutMs(timeoutMs)
{
    if (processId != ::GetCurrentProcessId())
        m_hProcess = ::OpenProcess(SYNCHRONIZE, FALSE, processId);
}

CGuiDriver::~CGuiDriver()
{
    if (m_hProcess != nullptr)
        ::CloseHandle(m_hProcess);
}

std::vector<SWindowInfo> CGuiDriver::Windows() const
{
    return ProcessWindows(m_nProcessId);
}

bool CGuiDriver::Matches(const SWindowInfo& window, const SWindowMatch& match) const
{
    if (match.visibleOnly && !window.visible)
        return false;
    if (!match.className.empty() && _wcsicmp(match.className.c_str(), window.className.c_str()) != 0)
        return false;
    if (!match.title.empty() && match.title != window.title)
        return false;
    if (match.matchOwner && match.owner != window.owner)
        return false;
    return match.controlId == 0 || ::GetDlgItem(window.handle, match.controlId) != nullptr;
}

HWND CGuiDriver::Find(const SWindowMatch& match) const
{
    SQuickSearch search = {m_nProcessId, {}};
    ::EnumWindows(&CollectQuick, reinterpret_cast<LPARAM>(&search));
    for (const SWindowInfo& window : search.windows) {
        if (Matches(window, match))
            return window.handle;
    }
    return nullptr;
}

bool CGuiDriver::Pause() const
{
    // Windows of this thread (a timer callback that drives its own dialog) need
    // their messages while it waits.
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    if (m_nProcessId == ::GetCurrentProcessId()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, kPollMs, QS_ALLINPUT);
        return true;
    }
    if (m_hProcess == nullptr)
        return false;  // it had ended before the driver came
    return ::MsgWaitForMultipleObjects(1, &m_hProcess, FALSE, kPollMs, QS_ALLINPUT) != WAIT_OBJECT_0;
}

HWND CGuiDriver::WaitFor(const SWindowMatch& match) const
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (HWND window = Find(match))
            return window;
        if (::GetTickCount() - start > m_nTimeoutMs || !Pause())
            return Find(match);
    }
}

bool CGuiDriver::WaitGone(HWND window) const
{
    const DWORD start = ::GetTickCount();
    while (::IsWindow(window)) {
        if (::GetTickCount() - start > m_nTimeoutMs)
            return false;
        Pause();
    }
    return true;
}

namespace {

// The button a user could click now: null when missing, hidden or disabled.
HWND ClickableButton(HWND dialog, int controlId)
{
    HWND button = ::GetDlgItem(dialog, controlId);
    if (button == nullptr || !::IsWindowVisible(button) || !::IsWindowEnabled(button))
        return nullptr;
    return button;
}

} // namespace

bool CGuiDriver::Click(HWND dialog, int controlId) const
{
    HWND button = ClickableButton(dialog, controlId);
    if (button == nullptr)
        return false;
    return ::PostMessageW(button, BM_CLICK, 0, 0) != FALSE;
}

bool CGuiDriver::ClickAndWait(HWND dialog, int controlId) const
{
    HWND button = ClickableButton(dialog, controlId);
    if (button == nullptr)
        return false;
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, m_nTimeoutMs, &ignored) != 0;
}

bool CGuiDriver::Command(HWND dialog, int commandId) const
{
    if (!::IsWindow(dialog))
        return false;
    PressDialogButton(dialog, commandId);
    return true;
}

bool CGuiDriver::Type(HWND dialog, int controlId, const std::wstring& text) const
{
    HWND edit = ::GetDlgItem(dialog, controlId);
    if (edit == nullptr || !SendWithTimeout(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())))
        return false;
    SendWithTimeout(edit, EM_SETMODIFY, TRUE, 0);
    if ((::GetWindowLongW(edit, GWL_STYLE) & ES_MULTILINE) != 0)
        SendWithTimeout(::GetParent(edit), WM_COMMAND, MAKEWPARAM(controlId, EN_CHANGE), reinterpret_cast<LPARAM>(edit));
    return true;
}

std::wstring CGuiDriver::Text(HWND window) const
{
    DWORD_PTR length = 0;
    if (window == nullptr || !SendWithTimeout(window, WM_GETTEXTLENGTH, 0, 0, &length))
        return std::wstring();
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendWithTimeout(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &copied))
        return std::wstring();
    text.resize(copied < text.size() ? copied : text.size() - 1);
    return text;
}

std::wstring CGuiDriver::Title(HWND window) const
{
    wchar_t title[1024] = {};
    ::InternalGetWindowText(window, title, 1024);
    return title;
}

std::wstring CGuiDriver::ControlText(HWND dialog, int controlId) const
{
    return Text(::GetDlgItem(dialog, controlId));
}

int CGuiDriver::CheckState(HWND dialog, int controlId) const
{
    HWND button = ::GetDlgItem(dialog, controlId);
    DWORD_PTR state = 0;
    if (button == nullptr || !SendWithTimeout(button, BM_GETCHECK, 0, 0, &state))
        return -1;
    return static_cast<int>(state);
}

bool CGuiDriver::IsControlVisible(HWND dialog, int controlId) const
{
    HWND control = ::GetDlgItem(dialog, controlId);
    return control != nullptr && ::IsWindowVisible(control);
}

bool CGuiDriver::IsControlEnabled(HWND dialog, int controlId) const
{
    HWND control = ::GetDlgItem(dialog, controlId);
    return control != nullptr && ::IsWindowEnabled(control);
}

HWND CGuiDriver::WaitForMessageBox(SWindowMatch match) const
{
    match.className = L"#32770";
    match.controlId = kMessageBoxTextId;
    return WaitFor(match);
}

std::wstring CGuiDriver::MessageBoxText(HWND box) const
{
    return ControlText(box, kMessageBoxTextId);
}

bool CGuiDriver::AnswerMessageBox(int answer, SWindowInfo* seen, SWindowMatch match) const
{
    HWND box = WaitForMessageBox(std::move(match));
    if (box == nullptr)
        return false;
    if (seen != nullptr) {
        for (const SWindowInfo& window : Windows()) {
            if (window.handle == box)
                *seen = window;
        }
    }
    // Only a button the box shows can answer it; the box must then go away.
    return Click(box, answer) && WaitGone(box);
}

CBackgroundRun::CBackgroundRun(const std::wstring& program, const std::vector<std::wstring>& arguments,
                               SProcessOptions options)
{
    auto userPoll = std::move(options.onPoll);
    options.onPoll = [this, userPoll](DWORD processId) {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            if (m_nProcessId == 0) {
                m_nProcessId = processId;
                m_changed.notify_all();
            }
        }
        if (userPoll)
            userPoll(processId);
    };
    m_thread = std::thread([this, program, arguments, options]() {
        SProcessRun run = RunProcess(program, arguments, options);
        std::lock_guard<std::mutex> guard(m_lock);
        m_run = std::move(run);
        if (m_nProcessId == 0)
            m_nProcessId = m_run.processId;
        m_bDone = true;
        m_changed.notify_all();
    });
}

CBackgroundRun::~CBackgroundRun()
{
    if (m_thread.joinable())
        m_thread.join();
}

DWORD CBackgroundRun::ProcessId(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this]() { return m_nProcessId != 0 || m_bDone; });
    return m_nProcessId;
}

const SProcessRun& CBackgroundRun::Wait()
{
    if (m_thread.joinable())
        m_thread.join();
    return m_run;
}

std::function<void(const std::string&)> CTraceHold::Hook()
{
    return [this](const std::string& message) {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_bReached || m_bReleased || message.compare(0, m_strPrefix.size(), m_strPrefix) != 0)
            return;
        m_bReached = true;
        m_changed.notify_all();
        m_changed.wait_for(guard, std::chrono::seconds(8), [this]() { return m_bReleased; });
    };
}

bool CTraceHold::WaitReached(DWORD timeoutMs)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::milliseconds(timeoutMs), [this]() { return m_bReached; });
}

void CTraceHold::Release()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_bReleased = true;
    m_changed.notify_all();
}

} // namespace TestSupport
