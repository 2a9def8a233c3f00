// Path texts edited with the platform's rules, and the program's own path.
#pragma once

#include "framework/WinString.h"

#include <windows.h>

// Path texts edited in place with the platform's path rules. The platform works
// within 260 characters: an edit whose result would not fit fails and leaves the
// text as it was, it never gives a cut path.

// Puts the whole text between double quotes when it holds a space.
void QuotePath(CString& path);
// Removes the last extension with its dot.
void RemovePathExtension(CString& path);
// Replaces the extension (given with its dot), or adds it when there is none.
bool RenamePathExtension(CString& path, const wchar_t* extension);
// Leaves only the root: a drive with its backslash, or a UNC server and share.
bool StripPathToRoot(CString& path);
// Removes the last component and its backslash; false when nothing was removed.
bool RemovePathFileSpec(CString& path);
// Joins the two with exactly one backslash between them.
bool AppendPath(CString& path, const wchar_t* more);

// Decimal text ("%d").
CString IntToString(int value);
// "successful" or "failed", for trace lines.
CString SucceededText(bool succeeded);

// A new, uniquely named empty file "set????.tmp" in the temporary folder; an
// empty text when the folder's path cannot be read or is too long for the name.
CString MakeTempFileName();
// A new GUID in its braced, upper-case 38-character form; empty on failure.
CString NewGuidString();
// The named string of the file's version resource for its first translation;
// empty when the file has none. Raises _com_error(E_FAIL) when the resource is
// there but cannot be read.
CString GetFileVersionString(const wchar_t* file, const wchar_t* valueName);
// The file name of a module read with room for 'room' characters (including the
// terminator); empty when it does not fit.
CString GetModuleFileNameWithin(HMODULE module, DWORD room);

// The full path of the running program's file; empty when it does not fit in 260
// characters.
CString GetModulePath();

// Whether the path names an existing file (not a folder), or an existing folder.
bool IsExistingFile(const wchar_t* path);
bool IsExistingFolder(const wchar_t* path);

// Bytes free for the calling user on the volume of the path; 0 when unknown.
ULONGLONG GetFreeDiskSpace(const wchar_t* path);
