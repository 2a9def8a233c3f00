// Deletes a registry key tree, refusing the keys every product shares.
#include "common/tools/RegKeyTree.h"

#include "common/tools/RegKey.h"

#include <cwchar>
#include <string>
#include <vector>

namespace Common {
namespace Tools {

namespace {

typedef std::vector<std::wstring> Components;

// Paths below a root that are shared themselves; every key above one of them
// is shared too. Their subkeys (a product's key, an uninstall record, a class)
// stay removable.
const wchar_t* const kSharedPaths[] = {
    L"Software\\Classes\\.",
    L"Software\\Classes\\*",
    L"Software\\Classes\\AllFilesystemObjects",
    L"Software\\Classes\\AppID",
    L"Software\\Classes\\Applications",
    L"Software\\Classes\\CLSID",
    L"Software\\Classes\\Directory",
    L"Software\\Classes\\Drive",
    L"Software\\Classes\\Folder",
    L"Software\\Classes\\Installer",
    L"Software\\Classes\\Interface",
    L"Software\\Classes\\MIME\\Database",
    L"Software\\Classes\\SystemFileAssociations",
    L"Software\\Classes\\TypeLib",
    L"Software\\Classes\\Unknown",
    L"Software\\Clients",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Run",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"Software\\Microsoft\\Windows NT\\CurrentVersion",
    L"Software\\ODBC",
    L"Software\\Policies",
    L"Software\\RegisteredApplications",
    L"System\\CurrentControlSet\\Control",
    L"System\\CurrentControlSet\\Enum",
    L"System\\CurrentControlSet\\Services",
};

const wchar_t kWow64Node[] = L"Wow6432Node";

// The key names of the path; empty names (repeated, leading or trailing
// backslashes) are dropped.
Components Split(const wchar_t* path)
{
    Components parts;
    std::wstring part;
    for (const wchar_t* c = path != nullptr ? path : L""; ; ++c) {
        if (*c == L'\\' || *c == L'\0') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
            if (*c == L'\0')
                break;
        } else {
            part += *c;
        }
    }
    return parts;
}

bool SameName(const std::wstring& a, const std::wstring& b)
{
    return ::_wcsicmp(a.c_str(), b.c_str()) == 0;
}

// The path equals the shared path or lies above it.
bool IsAtOrAbove(const Components& path, const Components& shared)
{
    if (path.size() > shared.size())
        return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (!SameName(path[i], shared[i]))
            return false;
    }
    return true;
}

bool IsSharedBelowRoot(Components path)
{
    if (path.size() <= 1)
        return true;
    // Software\Wow6432Node and Software\Classes\Wow6432Node mirror the keys
    // they stand in: judge the path as the native one.
    for (size_t i = 1; i < path.size() && i <= 2; ++i) {
        if (SameName(path[i], kWow64Node)) {
            path.erase(path.begin() + static_cast<std::ptrdiff_t>(i));
            return IsSharedBelowRoot(path);
        }
    }
    for (const wchar_t* shared : kSharedPaths) {
        if (IsAtOrAbove(path, Split(shared)))
            return true;
    }
    return false;
}

} // namespace

bool IsSharedRegistryKey(HKEY root, const wchar_t* path)
{
    Components parts = Split(path);
    if (root == HKEY_CLASSES_ROOT) {
        parts.insert(parts.begin(), L"Classes");
        parts.insert(parts.begin(), L"Software");
    } else if (root == HKEY_USERS) {
        // One user's hive below its name: judged as that user's root.
        if (parts.empty())
            return true;
        parts.erase(parts.begin());
    }
    return IsSharedBelowRoot(parts);
}

LONG DeleteSubkeys(HKEY key, REGSAM access, bool& deletedAny)
{
    for (;;) {
        wchar_t name[256] = {};
        DWORD length = static_cast<DWORD>(sizeof(name) / sizeof(name[0]));
        LONG result = ::RegEnumKeyExW(key, 0, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS)
            return ERROR_SUCCESS;
        if (result != ERROR_SUCCESS)
            return result;
        CRegKey child;
        result = child.Open(key, name, access);
        if (result == ERROR_SUCCESS)
            result = DeleteSubkeys(child.Get(), access, deletedAny);
        child.Close();
        if (result == ERROR_SUCCESS)
            result = ::RegDeleteKeyW(key, name);
        if (result != ERROR_SUCCESS)
            return result;
        deletedAny = true;
    }
}

SKeyTreeDeletion DeleteKeyTree(HKEY root, const wchar_t* path, REGSAM access)
{
    if (IsSharedRegistryKey(root, path))
        return {EKeyTreeResult::Refused, ERROR_ACCESS_DENIED};
    CRegKey key;
    LONG result = key.Open(root, path, access);
    if (result != ERROR_SUCCESS)
        return {EKeyTreeResult::NotOpened, result};
    bool deletedAny = false;
    result = DeleteSubkeys(key.Get(), access, deletedAny);
    key.Close();
    if (result == ERROR_SUCCESS)
        result = ::RegDeleteKeyW(root, path);
    if (result == ERROR_SUCCESS)
        return {EKeyTreeResult::Deleted, result};
    return {deletedAny ? EKeyTreeResult::Stopped : EKeyTreeResult::Failed, result};
}

} // namespace Tools
} // namespace Common
