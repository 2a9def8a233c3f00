// Whether the process is a 32-bit program running on 64-bit Windows.
#include "common/win32/Wow64.h"

#include <windows.h>

namespace Common {
namespace Win32 {

bool IsWow64()
{
    typedef BOOL(WINAPI * IsWow64ProcessFn)(HANDLE, PBOOL);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32");
    // Looked up at run time: the function is missing on the oldest systems.
    IsWow64ProcessFn isWow64Process =
        kernel != nullptr
            ? reinterpret_cast<IsWow64ProcessFn>(reinterpret_cast<void*>(::GetProcAddress(kernel, "IsWow64Process")))
            : nullptr;
    BOOL wow64 = FALSE;
    return isWow64Process != nullptr && isWow64Process(::GetCurrentProcess(), &wow64) && wow64;
}

} // namespace Win32
} // namespace Common
