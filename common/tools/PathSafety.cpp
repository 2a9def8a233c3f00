// Checks what a path from a package or a user may name.
#include "common/tools/PathSafety.h"

#include <windows.h>

#include <cwchar>
#include <cwctype>
#include <vector>

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// The system drops a trailing dot or space from a name: "a.txt." names "a.txt".
bool EndsInDotOrSpace(const std::wstring& name)
{
    return !name.empty() && (name.back() == L'.' || name.back() == L' ');
}

// The components between separators ("\" and "/"), empty ones left out.
std::vector<std::wstring> Components(const std::wstring& path)
{
    std::vector<std::wstring> components;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (end > start)
            components.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return components;
}

// The length of the path without trailing separators; a drive root ("C:\") keeps its own.
int TrimmedLength(const CString& path)
{
    const std::wstring& text = path.Str();
    size_t length = text.size();
    while (length > 3 && IsSeparator(text[length - 1]))
        --length;
    return static_cast<int>(length);
}

// The long form of an existing path; empty when the path does not exist or the
// system cannot give it.
std::wstring LongPathName(const std::wstring& path)
{
    const DWORD size = ::GetLongPathNameW(path.c_str(), nullptr, 0);
    if (size == 0)
        return std::wstring();
    std::wstring result(size, L'\0');
    const DWORD length = ::GetLongPathNameW(path.c_str(), &result[0], size);
    if (length == 0 || length >= size)
        return std::wstring();
    result.resize(length);
    return result;
}

} // namespace

CString FullPathName(const CString& path)
{
    const DWORD size = ::GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0)
        return CString();
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(path, size, &full[0], nullptr);
    if (length == 0 || length >= size)
        return CString();
    full.resize(length);
    return CString(full);
}

CString CanonicalPath(const CString& path)
{
    const CString full = FullPathName(path);
    if (full.IsEmpty())
        return path;
    std::wstring head = full.Str();
    std::wstring tail;
    while (!head.empty()) {
        const std::wstring longForm = LongPathName(head);
        if (!longForm.empty())
            return CString(longForm + tail);
        const size_t cut = head.find_last_of(L'\\');
        if (cut == std::wstring::npos || cut < 3)
            break;
        tail = head.substr(cut) + tail;
        head.erase(cut);
    }
    return full;
}

void TrimTrailingSeparators(CString& path)
{
    const int length = TrimmedLength(path);
    if (length < path.GetLength())
        path = CString(path.Str().substr(0, static_cast<size_t>(length)));
}

bool IsSamePath(const CString& first, const CString& second)
{
    return ::CompareStringOrdinal(first, first.GetLength(), second, second.GetLength(), TRUE) == CSTR_EQUAL;
}

bool IsPathBelow(const CString& inner, const CString& outer)
{
    // Compared in place: every listed file of an uninstall meets every protected
    // folder. "C:\App\" is the folder "C:\App", not a place below it.
    const int prefix = TrimmedLength(outer);
    if (prefix == 0 || TrimmedLength(inner) <= prefix)
        return false;
    // Below means past a separator: "C:\Program Files" is not below "C:\Prog".
    if (outer.Str()[prefix - 1] != L'\\' && inner.Str()[prefix] != L'\\')
        return false;
    return ::CompareStringOrdinal(inner, prefix, outer, prefix, TRUE) == CSTR_EQUAL;
}

bool IsPathAtOrBelow(const CString& path, const CString& folder)
{
    if (!IsFullPath(path) || !IsFullPath(folder))
        return false;
    CString inner = CanonicalPath(path);
    CString outer = CanonicalPath(folder);
    TrimTrailingSeparators(inner);
    TrimTrailingSeparators(outer);
    return IsSamePath(inner, outer) || IsPathBelow(inner, outer);
}

bool IsFullPath(const CString& path)
{
    if (path.GetLength() < 3)
        return false;
    if (IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]))
        return true;
    return IsSeparator(path[0]) && IsSeparator(path[1]);
}

const wchar_t* FullPathRefusal(const CString& path)
{
    const std::wstring& text = path.Str();
    if (text.empty())
        return L"empty path";
    // "\\?\" and "\\.\" pass the text to the object manager unchecked.
    if (text.size() >= 4 && IsSeparator(text[0]) && IsSeparator(text[1]) && (text[2] == L'?' || text[2] == L'.') &&
        IsSeparator(text[3]))
        return L"device path";
    if (!IsFullPath(path))
        return L"not a full path";
    const std::vector<std::wstring> components = Components(text);
    for (const std::wstring& component : components) {
        if (component == L"..")
            return L"'..' in the path";
    }
    if (text.find_first_of(L"*?\"<>|") != std::wstring::npos || text.find(L':', 2) != std::wstring::npos)
        return L"wildcard or stream in the path";
    for (const std::wstring& component : components) {
        if (component == L".")
            continue;
        if (IsDeviceName(component))
            return L"device name in the path";
        if (EndsInDotOrSpace(component))
            return L"trailing dot or space in a name";
    }
    return nullptr;
}

bool IsDeviceName(const std::wstring& name)
{
    std::wstring base = name.substr(0, name.find(L'.'));
    while (!base.empty() && base.back() == L' ')
        base.pop_back();
    for (wchar_t& c : base)
        c = static_cast<wchar_t>(std::towupper(c));
    if (base == L"CON" || base == L"PRN" || base == L"AUX" || base == L"NUL" || base == L"CONIN$" ||
        base == L"CONOUT$")
        return true;
    return base.size() == 4 && (base.compare(0, 3, L"COM") == 0 || base.compare(0, 3, L"LPT") == 0) &&
           base[3] >= L'1' && base[3] <= L'9';
}

bool IsSafeFileName(const std::wstring& name)
{
    if (name.empty() || EndsInDotOrSpace(name) || IsDeviceName(name))
        return false;
    for (wchar_t c : name) {
        if (c < 0x20 || wcschr(L"\\/:*?\"<>|", c) != nullptr)
            return false;
    }
    return true;
}

bool MayBeShortName(const std::wstring& name)
{
    if (name.find(L'~') != std::wstring::npos)
        return true;
    // Short names leave these out, and have at most one dot, eight characters
    // before it and three after.
    if (name.find_first_of(L" +,;=[]") != std::wstring::npos)
        return false;
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos)
        return name.size() <= 8;
    return name.find(L'.', dot + 1) == std::wstring::npos && dot <= 8 && name.size() - dot - 1 <= 3;
}

bool IsSafeRelativePath(const CString& path)
{
    const std::wstring& text = path.Str();
    if (text.empty())
        return false;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(L'\\', start);
        if (!IsSafeFileName(text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start)))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}
