// Deletes a registry key tree, refusing the keys every product shares.
#include "common/tools/RegKeyTree.h"

#include "common/tools/RegKey.h"

#include <cstddef>
#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

namespace Common {
namespace Tools {

namespace {

typedef std::vector<std::wstring> Components;

// A shared place below a root: the key, every key above it and every key down to
// 'depth' levels below it are shared. Depth 0 is a list whose entries are each one
// product's (a class id, a registered application); deeper ones are places whose
// keys near the top are the system's own (Software\Microsoft\Windows\Shell, the
// control set's Control\Session Manager).
struct SSharedPlace
{
    const wchar_t* path;
    size_t depth;
};

const SSharedPlace kSharedPlaces[] = {
    {L"Control Panel", 1},
    {L"Software\\Classes", 0},
    {L"Software\\Clients", 1},
    {L"Software\\Microsoft", 2},
    {L"Software\\Microsoft\\Windows\\CurrentVersion", 2},
    {L"Software\\Microsoft\\Windows NT\\CurrentVersion", 2},
    {L"Software\\ODBC", 1},
    {L"Software\\Policies", 1},
    {L"Software\\Policies\\Microsoft", 1},
    {L"Software\\RegisteredApplications", 0},
    {L"System", 1},
    {L"System\\CurrentControlSet", 2},
    {L"System\\CurrentControlSet\\Control\\Print", 1},
};

// Lists inside those places whose entries are each one product's: an uninstall
// record, a program's App Paths entry, a service.
const wchar_t* const kProductLists[] = {
    L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options",
    L"Software\\Microsoft\\Windows NT\\CurrentVersion\\SilentProcessExit",
    L"System\\CurrentControlSet\\Services",
};

// Shared places below Software\Classes: lists of class ids and the like, and
// the system's own registries kept there.
const SSharedPlace kClassLists[] = {
    {L".", 0},
    {L"AppID", 0},
    {L"Applications", 0},
    {L"CLSID", 0},
    {L"Component Categories", 0},
    {L"Installer", 1},
    {L"Interface", 0},
    {L"Local Settings", 1},
    {L"MIME\\Database", 1},
    {L"Protocols", 1},
    {L"Record", 0},
    {L"TypeLib", 0},
};

// The classes of the shell and of the system's own file types and protocols: the
// class, its first-level keys (shell, shellex, DefaultIcon, ...), its handler
// lists and its standard verbs with their commands. A product's own verb or
// handler below them stays removable.
const wchar_t* const kSystemClasses[] = {
    L"*", L"AllFilesystemObjects", L"DesktopBackground", L"Directory", L"Drive", L"Folder", L"Network",
    L"Unknown",
    // File types of programs, scripts and system files.
    L".bat", L"batfile", L".cmd", L"cmdfile", L".com", L"comfile", L".cpl", L"cplfile", L".dll", L"dllfile",
    L".exe", L"exefile", L".hta", L"htafile", L".inf", L"inffile", L".ini", L"inifile", L".js", L"JSFile",
    L".lnk", L"lnkfile", L".msc", L"MSCFile", L".msi", L"Msi.Package", L".msp", L"Msi.Patch", L".ocx", L"ocxfile",
    L".pif", L"piffile", L".ps1", L"Microsoft.PowerShellScript.1", L".reg", L"regfile", L".scr", L"scrfile",
    L".sys", L"sysfile", L".url", L"InternetShortcut", L".vbs", L"VBSFile", L".wsf", L"WSFFile",
    // Documents every system opens.
    L".htm", L".html", L"htmlfile", L".txt", L"txtfile", L".xml", L"xmlfile", L".zip", L"CompressedFolder",
    // Protocols.
    L"file", L"ftp", L"http", L"https", L"mailto",
};

const wchar_t* const kStandardVerbs[] = {
    L"edit", L"explore", L"find", L"open", L"opennew", L"print", L"printto", L"runas", L"runasuser",
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

bool IsOneOf(const std::wstring& name, const wchar_t* const* names, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        if (SameName(name, names[i]))
            return true;
    }
    return false;
}

// The path, from its component 'from' on, begins with the place.
bool StartsWith(const Components& path, size_t from, const Components& place)
{
    if (path.size() - from < place.size())
        return false;
    for (size_t i = 0; i < place.size(); ++i) {
        if (!SameName(path[from + i], place[i]))
            return false;
    }
    return true;
}

// The path from component 'from' on is the place, lies above it or lies at most
// 'depth' levels below it.
bool IsSharedBy(const Components& path, size_t from, const SSharedPlace& place)
{
    const Components shared = Split(place.path);
    const size_t length = path.size() - from;
    if (length <= shared.size()) {
        const Components head(path.begin() + static_cast<std::ptrdiff_t>(from), path.end());
        return StartsWith(shared, 0, head);
    }
    return StartsWith(path, from, shared) && length - shared.size() <= place.depth;
}

// Below a system class ('rest' the names below the class).
bool IsSharedInSystemClass(const Components& path, size_t rest)
{
    const size_t length = path.size() - rest;
    if (length <= 1)
        return true;
    // Directory\Background and the like are classes of their own.
    if (SameName(path[rest], L"Background"))
        return IsSharedInSystemClass(path, rest + 1);
    if (SameName(path[rest], L"shellex"))
        return length == 2;
    if (SameName(path[rest], L"shell"))
        return length <= 3 && IsOneOf(path[rest + 1], kStandardVerbs, std::size(kStandardVerbs));
    return false;
}

// The names below Software\Classes, from component 'from' on.
bool IsSharedClass(const Components& path, size_t from)
{
    if (path.size() == from)
        return true;
    for (const SSharedPlace& list : kClassLists) {
        if (IsSharedBy(path, from, list))
            return true;
    }
    // The shell's associations of a type (SystemFileAssociations\.txt, \image) are
    // shaped as its classes are.
    if (SameName(path[from], L"SystemFileAssociations"))
        return path.size() == from + 1 || IsSharedInSystemClass(path, from + 2);
    if (IsOneOf(path[from], kSystemClasses, std::size(kSystemClasses)))
        return IsSharedInSystemClass(path, from + 1);
    return false;
}

// "ControlSet" and digits: one of the sets CurrentControlSet stands for.
bool IsControlSet(const std::wstring& name)
{
    const size_t prefix = 10;
    if (name.size() <= prefix || !SameName(name.substr(0, prefix), L"ControlSet"))
        return false;
    for (size_t i = prefix; i < name.size(); ++i) {
        if (name[i] < L'0' || name[i] > L'9')
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
    // ControlSet001 and its siblings are what CurrentControlSet shows.
    if (SameName(path[0], L"System") && IsControlSet(path[1]))
        path[1] = L"CurrentControlSet";
    for (const wchar_t* list : kProductLists) {
        const Components entries = Split(list);
        if (path.size() == entries.size() + 1 && StartsWith(path, 0, entries))
            return false;
    }
    for (const SSharedPlace& place : kSharedPlaces) {
        if (IsSharedBy(path, 0, place))
            return true;
    }
    if (path.size() > 2 && SameName(path[0], L"Software") && SameName(path[1], L"Classes"))
        return IsSharedClass(path, 2);
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
        // One user's hive below its name: judged as that user's root, and the
        // user's classes hive ("<sid>_Classes") as that user's Software\Classes.
        if (parts.empty())
            return true;
        const std::wstring hive = parts.front();
        parts.erase(parts.begin());
        const std::wstring suffix = L"_Classes";
        if (hive.size() > suffix.size() && SameName(hive.substr(hive.size() - suffix.size()), suffix)) {
            parts.insert(parts.begin(), L"Classes");
            parts.insert(parts.begin(), L"Software");
        }
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
