// Loads Windows DLLs from the system folder only, delay-loaded ones too.
#include "common/win32/SystemDll.h"

#include "common/tools/PathSafety.h"

#include <delayimp.h>

#include <string>

namespace Common {
namespace Win32 {

HMODULE LoadSystemDll(const wchar_t* name)
{
    if (name == nullptr || *name == L'\0')
        return nullptr;
    // By name with the search held to the system folder: the program's manifest still
    // picks the side-by-side version (the common controls), and the DLL's own
    // dependencies are taken from the system folder too.
    HMODULE module = ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A system without the search flags: the full path, its dependencies searched
    // beside it first.
    const UINT size = ::GetSystemDirectoryW(nullptr, 0);
    if (size == 0)
        return nullptr;
    std::wstring path(size, L'\0');
    const UINT length = ::GetSystemDirectoryW(&path[0], size);
    if (length == 0 || length >= size)
        return nullptr;
    path.resize(length);
    if (path.back() != L'\\')
        path += L'\\';
    path += name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearch()
{
    // Looked up: systems before Windows 8 have the call only with an update.
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto restrict = kernel != nullptr ? reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
                                                  ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                                            : nullptr;
    if (restrict != nullptr)
        restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadPackageDll(const wchar_t* path)
{
    if (path == nullptr)
        return nullptr;
    if (IsFullPath(path)) {
        HMODULE module =
            ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
            return module;
    }
    return ::LoadLibraryW(path);
}

} // namespace Win32
} // namespace Common

namespace {

// Loads every delay-loaded DLL from the system folder. When that fails the load
// fails as a missing module does: the runtime's own fallback would search the
// program's folder by name.
FARPROC WINAPI SystemDllHook(unsigned notify, PDelayLoadInfo info)
{
    if (notify != dliNotePreLoadLibrary || info == nullptr || info->szDll == nullptr)
        return nullptr;
    std::wstring name;
    for (const char* c = info->szDll; *c != '\0'; ++c)
        name += static_cast<wchar_t>(static_cast<unsigned char>(*c));
    HMODULE module = Common::Win32::LoadSystemDll(name.c_str());
    if (module == nullptr) {
        info->dwLastError = ::GetLastError();
        ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
        ::RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(module));
}

} // namespace

// The runtime's delay-load helper calls this before it loads a DLL itself.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = SystemDllHook;
}
