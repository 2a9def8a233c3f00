// The canonical forms of folders, worked out once per removal pass.
#include "common/tools/CanonicalFolders.h"

#include "common/tools/PathSafety.h"
#include "common/tools/ScopedHandle.h"

#include <windows.h>

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
            entry.namesMatter = namesMatter(entry.canonical) ? 1 : 0;
        lookUp = entry.namesMatter == 1;
    }

    // The long form of the path is its folder's followed by the last name: as
    // spelled when it cannot be a short name, else as the search finds it; a
    // name that does not exist keeps its spelling.
    std::wstring name = text.substr(cut + 1);
    if (lookUp && MayBeShortName(name)) {
        WIN32_FIND_DATAW data = {};
        const Common::Tools::CFindHandle find(::FindFirstFileW(full, &data));
        if (find.IsValid())
            name = data.cFileName;
    }
    CString result = entry.canonical;
    if (result.IsEmpty() || result[result.GetLength() - 1] != L'\\')
        result += L"\\";
    return result + CString(name);
}
