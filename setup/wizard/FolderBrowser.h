// The shell's folder browser.
#pragma once

#include "framework/WinString.h"

#include <windows.h>
#include <shlobj.h>

namespace DlgPopup {

// What the shell's folder dialog is asked for, and what it answered.
struct BrowseRequest
{
    CString strTitle; // shown above the tree
    CString strPath;  // in: selected when the dialog opens (empty: none); out: the chosen folder
    UINT nFlags = 0;  // BIF_* flags, passed through unchanged
};

// Flags of the destination page's Browse button: the local tree, the new dialog
// style, no "new folder" button.
const UINT kDestinationBrowseFlags = BIF_DONTGOBELOWDOMAIN | BIF_NEWDIALOGSTYLE | BIF_NONEWFOLDERBUTTON;

// Shows the dialog owned by 'owner'. True when the user confirmed a folder that has
// a file-system path (then in strPath); false on cancel or a virtual folder, with
// strPath unchanged.
bool BrowseForFolder(BrowseRequest& request, HWND owner);

// The shell's record for the request: root, callback and initial selection.
// 'displayName' must hold MAX_PATH characters and outlive the dialog.
void FillBrowseInfo(HWND owner, BROWSEINFOW& info, const BrowseRequest& request, wchar_t* displayName);

// Dialog callbacks: select the initial folder; in printer mode also allow OK only
// on a printer that opens.
int CALLBACK BrowseForFolderProc(HWND dialog, UINT message, LPARAM param, LPARAM data);
int CALLBACK BrowseForPrinterProc(HWND dialog, UINT message, LPARAM param, LPARAM data);

} // namespace DlgPopup
