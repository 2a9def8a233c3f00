// The canonical forms of folders, worked out once per removal pass.
#include "common/tools/CanonicalFolders.h"

#include "common/tools/PathSafety.h"

#include <windows.h>

namespace {

// A name that cannot be a short (8.3) name: longer than one, or holding a space,
// a second dot or a character short names leave out. The system's long form
// keeps such a name as it is spelled, and looks any other name up.
bool CannotBeShortName(const std::wstring& name)
{
    if (name.find_first_of(L" +,;=[]") != std::wstring::npos)
        return true;
    const size_t dot = name.find(L'.');
    if (dot == std::wstring::npos)
        return name.size() > 8;
    return name.find(L'.', dot + 1) != std::wstring::npos || dot > 8 || name.size() - dot - 1 > 3;
}

} // namespace

CString CCanonicalFolders::Canonical(const CString& path)
{
    return Canonical(path, nullptr);
}

CString CCanonicalFolders::Canonical(const CString& path, NamesMatter namesMatter)
{
    const CString full = FullPathName(path);
    const std::wstring& text = full.Str();
    const size_t cut = text.find_last_of(L'\\');
    // Only a plain last name below a folder is taken alone; anything else (a root,
    // a trailing separator, a pattern the search would expand) goes through the
    // whole path as before.
    if (full.IsEmpty() || cut == std::wstring::npos || cut < 3 || cut + 1 == text.size() ||
        text.find_first_of(L"*?<>\"", cut) != std::wstring::npos)
        return CanonicalPath(path);

    const std::wstring folder = text.substr(0, cut);
    auto known = m_folders.find(folder);
    if (known == m_folders.end())
        known = m_folders.emplace(folder, SFolder{CanonicalPath(CString(folder))}).first;
    SFolder& entry = known->second;
    bool lookUp = true;
    if (namesMatter != nullptr) {
        if (entry.namesMatter == -1)
            entry.namesMatter = namesMatter(entry.canonical.Str()) ? 1 : 0;
        lookUp = entry.namesMatter == 1;
    }

    // The long form of the path is its folder's followed by the last name: as
    // spelled when it cannot be a short name, else as the search finds it; a
    // name that does not exist keeps its spelling.
    std::wstring name = text.substr(cut + 1);
    if (lookUp && (name.find(L'~') != std::wstring::npos || !CannotBeShortName(name))) {
        WIN32_FIND_DATAW data = {};
        const HANDLE find = ::FindFirstFileW(full, &data);
        if (find != INVALID_HANDLE_VALUE) {
            ::FindClose(find);
            name = data.cFileName;
        }
    }
    CString result = entry.canonical;
    if (result.IsEmpty() || result[result.GetLength() - 1] != L'\\')
        result += L"\\";
    return result + CString(name);
}
