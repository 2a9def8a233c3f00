// Checks what a path from a package or a user may name.
#include "common/tools/PathSafety.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <cwctype>
#include <iterator>

namespace {

bool IsSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

bool IsDriveLetter(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

// One name inside a longer text, read in place: every listed file of an
// uninstall has its names checked, so they are not copied out.
struct SName
{
    const wchar_t* text;
    size_t length;

    bool Is(const wchar_t* word) const
    {
        return std::wcslen(word) == length && std::wmemcmp(text, word, length) == 0;
    }
};

// The system drops a trailing dot or space from a name: "a.txt." names "a.txt".
bool EndsInDotOrSpace(SName name)
{
    return name.length != 0 && (name.text[name.length - 1] == L'.' || name.text[name.length - 1] == L' ');
}

// Calls 'visit' with each component between separators ("\" and "/"), empty
// ones left out, until one returns false.
template <typename Visit>
void VisitComponents(const std::wstring& path, Visit visit)
{
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = start;
        while (end < path.size() && !IsSeparator(path[end]))
            ++end;
        if (end > start && !visit(SName{path.c_str() + start, end - start}))
            return;
        start = end + 1;
    }
}

bool IsDeviceName(SName name)
{
    // The name before its first dot, without trailing spaces, in capitals; no
    // device name is longer than seven.
    size_t length = 0;
    while (length < name.length && name.text[length] != L'.')
        ++length;
    while (length != 0 && name.text[length - 1] == L' ')
        --length;
    if (length > 7)
        return false;
    wchar_t base[8] = {};
    for (size_t i = 0; i < length; ++i)
        base[i] = static_cast<wchar_t>(std::towupper(name.text[i]));
    const SName upper{base, length};
    if (upper.Is(L"CON") || upper.Is(L"PRN") || upper.Is(L"AUX") || upper.Is(L"NUL") || upper.Is(L"CONIN$") ||
        upper.Is(L"CONOUT$"))
        return true;
    return length == 4 && (std::wmemcmp(base, L"COM", 3) == 0 || std::wmemcmp(base, L"LPT", 3) == 0) &&
           base[3] >= L'1' && base[3] <= L'9';
}

bool IsSafeFileName(SName name)
{
    if (name.length == 0 || EndsInDotOrSpace(name) || IsDeviceName(name))
        return false;
    static const wchar_t kForbidden[] = L"\\/:*?\"<>|";
    const wchar_t* const forbiddenEnd = kForbidden + std::size(kForbidden) - 1;
    for (size_t i = 0; i < name.length; ++i) {
        const wchar_t c = name.text[i];
        if (c < 0x20 || std::find(kForbidden, forbiddenEnd, c) != forbiddenEnd)
            return false;
    }
    return true;
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
std::wstring ExistingLongPath(const std::wstring& path)
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
    // Most paths fit the short buffer: one call, no sizing query.
    wchar_t buffer[MAX_PATH];
    const DWORD fitted = ::GetFullPathNameW(path, MAX_PATH, buffer, nullptr);
    if (fitted != 0 && fitted < MAX_PATH)
        return CString(buffer, static_cast<int>(fitted));
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
        const std::wstring longForm = ExistingLongPath(head);
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

CString CanonicalFolder(const CString& path)
{
    CString canonical = CanonicalPath(path);
    TrimTrailingSeparators(canonical);
    return canonical;
}

CString LongPathName(const CString& path)
{
    const std::wstring longForm = ExistingLongPath(path.Str());
    return longForm.empty() ? path : CString(longForm);
}

CString ApiPath(const CString& path)
{
    if (path.GetLength() < MAX_PATH)
        return path;
    // The "\\?\" form is used as it stands, so it is made full and plain first.
    const CString full = FullPathName(path);
    if (full.IsEmpty())
        return path;
    const std::wstring& text = full.Str();
    if (text.compare(0, 4, L"\\\\?\\") == 0)
        return full;
    if (text.compare(0, 2, L"\\\\") == 0)
        return CString(L"\\\\?\\UNC\\" + text.substr(2));
    return CString(L"\\\\?\\" + text);
}

bool IsSamePath(const CString& first, const CString& second)
{
    // Texts of different lengths never compare equal.
    if (first.GetLength() != second.GetLength())
        return false;
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

bool StartsWithPath(const CString& path, const CString& folder)
{
    const int prefix = TrimmedLength(folder);
    if (prefix == 0 || TrimmedLength(path) < prefix)
        return false;
    return ::CompareStringOrdinal(path, prefix, folder, prefix, TRUE) == CSTR_EQUAL;
}

bool IsFullPath(const CString& path)
{
    if (path.GetLength() < 3)
        return false;
    if (IsDriveLetter(path[0]) && path[1] == L':' && IsSeparator(path[2]))
        return true;
    return IsSeparator(path[0]) && IsSeparator(path[1]);
}

bool IsRelativePath(const CString& path)
{
    if (path.IsEmpty() || IsSeparator(path[0]))
        return false;
    // "C:a" is taken from the drive's current folder, whatever the letter.
    return path.GetLength() < 2 || path[1] != L':';
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
    const wchar_t* refusal = nullptr;
    VisitComponents(text, [&refusal](SName component) {
        if (component.Is(L".."))
            refusal = L"'..' in the path";
        return refusal == nullptr;
    });
    if (refusal != nullptr)
        return refusal;
    if (text.find_first_of(L"*?\"<>|") != std::wstring::npos || text.find(L':', 2) != std::wstring::npos)
        return L"wildcard or stream in the path";
    VisitComponents(text, [&refusal](SName component) {
        if (component.Is(L"."))
            return true;
        if (IsDeviceName(component))
            refusal = L"device name in the path";
        else if (EndsInDotOrSpace(component))
            refusal = L"trailing dot or space in a name";
        return refusal == nullptr;
    });
    return refusal;
}

bool IsDeviceName(const std::wstring& name)
{
    return IsDeviceName(SName{name.c_str(), name.size()});
}

bool IsSafeFileName(const std::wstring& name)
{
    return IsSafeFileName(SName{name.c_str(), name.size()});
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
        const size_t length = (end == std::wstring::npos ? text.size() : end) - start;
        if (!IsSafeFileName(SName{text.c_str() + start, length}))
            return false;
        if (end == std::wstring::npos)
            return true;
        start = end + 1;
    }
}
