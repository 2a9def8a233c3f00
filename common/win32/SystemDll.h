// Loads Windows DLLs from the system folder only.
#pragma once

#include <windows.h>

namespace Common {
namespace Win32 {

// Loads a Windows DLL from the system folder (or the side-by-side version the
// manifest names), never from the program's folder or the current one: setup is
// started from download folders, where anyone may have left a DLL of the same
// name. Null when it does not load.
//
// The DLLs that are not always taken from the system folder (everything outside
// the loader's known set) are linked for loading on first use, and that first use
// comes here too (the delay-load hook in SystemDll.cpp).
HMODULE LoadSystemDll(const wchar_t* name);

// Holds every later search by name to the system folder (where the system has the
// call): the program's own folder and the current one are no longer searched.
// Called first thing by each program.
void RestrictDllSearch();

// Loads a DLL a package names. A full path is loaded from there, and the DLLs it
// needs are looked for in its own folder and then in the system folder: that is
// what moving the current folder to the DLL's folder is for, and the restricted
// search would otherwise find them in the system folder only. Anything else, or a
// system without the search flags, is loaded as LoadLibraryW loads it.
HMODULE LoadPackageDll(const wchar_t* path);

} // namespace Win32
} // namespace Common
