// Checks what a path from a package or a user may name.
#pragma once

#include "framework/WinString.h"

#include <string>

// What a path given by a package or a user may name before anything is written
// or deleted there. Every place that checks a name or compares two places asks
// these, so that copying and removing refuse the same names and resolve a path
// the same way.

// ---- canonical forms ----

// The path made full against the current folder ("/" becomes "\", "." and ".."
// are resolved), at any length; empty when the system cannot make it full.
CString FullPathName(const CString& path);
// The full, long form as the file system names it, so that "..", "/" and short
// names cannot hide where a path leads. Parts that do not exist yet keep their
// spelling behind the long form of the part that does. The text itself when it
// cannot be made full.
CString CanonicalPath(const CString& path);
// Removes trailing separators; a drive root ("C:\") keeps its own.
void TrimTrailingSeparators(CString& path);
// The canonical form without trailing separators: the form a folder is held in
// to be compared with others.
CString CanonicalFolder(const CString& path);
// The long form of an existing path as the file system names it, at any length;
// the text itself when the path does not exist or the system cannot give it.
// Unlike CanonicalPath it neither makes the text full nor resolves it.
CString LongPathName(const CString& path);
// The path as the file functions take it at any length: a path of MAX_PATH
// characters or more made full and given in the "\\?\" form (which the system
// takes as it stands); a shorter one as it is.
CString ApiPath(const CString& path);
// Two canonical paths naming the same place: the file system ignores case. Both
// comparisons work in place, without copies.
bool IsSamePath(const CString& first, const CString& second);
// True when the canonical 'inner' lies below the canonical 'outer' (not equal to it).
bool IsPathBelow(const CString& inner, const CString& outer);
// True when the full path names the full folder or lies below it, whatever the
// letter case, separators, short names or trailing backslashes; false for a
// text that is not a full path.
bool IsPathAtOrBelow(const CString& path, const CString& folder);
// True when the canonical path's text begins with the canonical folder's
// (trailing separators aside), whatever the letter case: the folder itself, a
// place below it, or a sibling whose name continues the folder's name
// ("C:\Windows2" for "C:\Windows"). False for an empty folder.
bool StartsWithPath(const CString& path, const CString& folder);

// ---- full paths ----

// A drive path ("C:\...") or a UNC path ("\\server\share\..."); anything else
// would be resolved against the current folder or the drive's current folder.
bool IsFullPath(const CString& path);
// A path that only a folder given with it completes ("a.dll", "sub\a.dll",
// "..\a.dll"): not empty, not full, and neither rooted ("\a") nor on a drive
// ("C:a"), which the current drive or a drive's current folder would complete.
bool IsRelativePath(const CString& path);
// Why the text cannot name a place to write or delete, whatever the place is;
// null when it can. Only a full path without "..", wildcards, streams, device
// names or names the system would change (a trailing dot or space) is taken.
const wchar_t* FullPathRefusal(const CString& path);

// ---- names below a folder ----

// A reserved device name ("CON", "nul.txt", "Com1.log"...), any case, with or
// without an extension.
bool IsDeviceName(const std::wstring& name);
// A name that may become one component of a file path: not empty, not ending in
// a dot or a space, not a device name, and free of control characters and of
// the characters a file name cannot hold ("\/:*?"<>|").
bool IsSafeFileName(const std::wstring& name);
// A name the system may know by a longer one: one that fits a short (8.3) name
// or holds a '~'. The long form of any other name is the name as spelled.
bool MayBeShortName(const std::wstring& name);
// A path below a folder: "\"-separated components that are each a safe file
// name, so no root, drive, "..", ".", stream, wildcard or device.
bool IsSafeRelativePath(const CString& path);
