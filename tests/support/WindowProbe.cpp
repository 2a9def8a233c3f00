// Finds and describes the windows of a process.
#include "tests/support/WindowProbe.h"

namespace TestSupport {

namespace {

std::wstring WindowText(HWND window)
{
    wchar_t text[1024] = {};
    // WM_GETTEXT through a time-out: a hung target must not hang the test.
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000, &length);
    return std::wstring(text);
}

std::wstring ClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

struct SSearch
{
    DWORD processId;
    std::vector<SWindowInfo>* windows;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param)
{
    SWindowInfo* info = reinterpret_cast<SWindowInfo*>(param);
    const std::wstring text = WindowText(child);
    if (!text.empty())
        info->childTexts.push_back(text);
    if (_wcsicmp(ClassName(child).c_str(), L"Static") == 0 &&
        (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON)
        info->hasIconControl = true;
    return TRUE;
}

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM param)
{
    SSearch* search = reinterpret_cast<SSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    SWindowInfo info;
    info.handle = window;
    info.className = ClassName(window);
    info.title = WindowText(window);
    info.owner = GetWindow(window, GW_OWNER);
    info.visible = IsWindowVisible(window) != FALSE;
    EnumChildWindows(window, &CollectChild, reinterpret_cast<LPARAM>(&info));
    search->windows->push_back(info);
    return TRUE;
}

} // namespace

std::vector<SWindowInfo> ProcessWindows(DWORD processId)
{
    std::vector<SWindowInfo> windows;
    SSearch search = {processId, &windows};
    EnumWindows(&CollectTopLevel, reinterpret_cast<LPARAM>(&search));
    return windows;
}

void PressDialogButton(HWND dialog, int commandId)
{
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(commandId, BN_CLICKED), 0);
}

} // namespace TestSupport
