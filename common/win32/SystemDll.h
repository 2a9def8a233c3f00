// Loads Windows DLLs from the system folder only.
#pragma once

#include <windows.h>

namespace Common {
namespace Win32 {

// Loads a Windows DLL, named without a folder, from the system folder by its full
// path, never from the program's folder or the current one: setup is started from
// download folders, where anyone may have left a DLL of the same name; nor is a
// module of that name loaded from elsewhere (a package's DLL) taken for it. Null
// when it does not load.
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
// search would otherwise find them in the system folder only. A name without a
// full path keeps the places of the standard search that the restricted one left
// out: the system folder first, then the program's folder, then the current one.
// A system without the search flags loads it as LoadLibraryW does.
HMODULE LoadPackageDll(const wchar_t* path);

} // namespace Win32
} // namespace Common
