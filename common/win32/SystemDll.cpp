// Loads Windows DLLs from the system folder only, delay-loaded ones too.
#include "common/win32/SystemDll.h"

#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"

#include <delayimp.h>

#include <string>

namespace Common {
namespace Win32 {

namespace {

// The longest path the system gives (the "\\?\" form's), with its terminator.
constexpr DWORD kLongestPath = 32768;

// The system folder with a separator after it; empty when the system does not give it.
std::wstring SystemFolder()
{
    const UINT size = ::GetSystemDirectoryW(nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring path(size, L'\0');
    const UINT length = ::GetSystemDirectoryW(&path[0], size);
    if (length == 0 || length >= size)
        return std::wstring();
    path.resize(length);
    if (path.back() != L'\\')
        path += L'\\';
    return path;
}

// The folder of setup's own program, with a separator after it; empty when the
// system does not give it.
std::wstring ProgramFolder()
{
    const std::wstring path = GetModuleFileNameWithin(nullptr, kLongestPath).Str();
    return path.substr(0, path.find_last_of(L'\\') + 1);
}

// A package DLL by its full path: the DLLs it needs beside it, then in the system folder.
HMODULE LoadPackageDllFrom(const wchar_t* path)
{
    HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A system without the search flags.
    return ::LoadLibraryW(path);
}

} // namespace

HMODULE LoadSystemDll(const wchar_t* name)
{
    if (name == nullptr || !IsSafeFileName(name)) {
        ::SetLastError(ERROR_INVALID_NAME);
        return nullptr;
    }
    // By full path: a module of the same name loaded from elsewhere (a package's
    // DLL called version.dll) is never taken for the system's.
    const std::wstring folder = SystemFolder();
    if (folder.empty())
        return nullptr;
    const std::wstring path = folder + name;
    // The DLL's own dependencies from the system folder too.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr || ::GetLastError() != ERROR_INVALID_PARAMETER)
        return module;
    // A system without the search flags: its dependencies searched beside it first.
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
    if (IsFullPath(path))
        return LoadPackageDllFrom(path);
    if (!IsRelativePath(path)) {
        // "\x" or "C:x": the current drive or its folder completes it, as the
        // platform would.
        const CString full = FullPathName(path);
        if (full.IsEmpty()) {
            ::SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        return LoadPackageDllFrom(full);
    }
    // The standard search, which the restricted one cut down to the system folder:
    // the system folder (with the modules already loaded under the name) first,
    // then setup's own folder and the current one.
    HMODULE module = ::LoadLibraryExW(path, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (module != nullptr)
        return module;
    const DWORD error = ::GetLastError();
    // A system without the search flags never restricted the search either.
    if (error == ERROR_INVALID_PARAMETER)
        return ::LoadLibraryW(path);
    const std::wstring program = ProgramFolder();
    for (const CString& candidate :
         {program.empty() ? CString() : FullPathName(CString(program + path)), FullPathName(path)}) {
        if (!candidate.IsEmpty() && IsExistingFile(candidate))
            return LoadPackageDllFrom(candidate);
    }
    ::SetLastError(error);
    return nullptr;
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
