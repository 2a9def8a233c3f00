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

} // namespace Win32
} // namespace Common
