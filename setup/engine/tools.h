#pragma once

#include "framework/WinString.h"

#include <windows.h>

// Replaces path variables in the text, pass after pass, until a pass replaces
// nothing, so that values naming further variables are expanded too. A value that
// names itself (directly or through others) stops after kMaxExpandPasses passes,
// or once the text has grown by more than CPathVariables::kMaxGrowth characters,
// with the text reached.
void ExpandVariables(CString& text);
const int kMaxExpandPasses = 32;

// Replaces every "%NL%" by a line feed followed by a carriage return.
void ExpandNewLines(CString& text);

// Bytes free for the calling user on the volume of the path; 0 when unknown.
ULONGLONG GetFreeDiskSpace(const wchar_t* path);

// Replaces the access list of the file or folder by one entry: Everyone with full
// access, inherited by subfolders and files.
bool GrantEveryoneAccess(const wchar_t* path);

// True when the whole text is a GUID: 8-4-4-4-12 hexadecimal digits in either case,
// each brace optional on its own.
bool IsGuidName(const wchar_t* text);

// The full path of setup's own program file; empty when it does not fit in 260
// characters.
CString GetModulePath();
// The file name of a module read with room for 'room' characters (including the
// terminator); empty when it does not fit.
CString GetModuleFileNameWithin(HMODULE module, DWORD room);
