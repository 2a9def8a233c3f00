// Finds and describes the windows of a process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

struct SWindowInfo
{
    HWND handle = nullptr;
    std::wstring className;
    std::wstring title;
    HWND owner = nullptr;
    bool visible = false;
    std::vector<std::wstring> childTexts;  // texts of its child controls, in z order
    bool hasIconControl = false;           // a static control showing an icon
};

// The top-level windows that belong to a process.
std::vector<SWindowInfo> ProcessWindows(DWORD processId);

// Answers a message box (or any dialog) by sending the given button command.
void PressDialogButton(HWND dialog, int commandId);

} // namespace TestSupport
