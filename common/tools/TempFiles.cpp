// A temporary folder of setup's own and the files held in it.
#include "common/tools/TempFiles.h"

#include "common/tools/PathTools.h"

#include <shlobj.h>

namespace Common {
namespace Tools {

namespace {

// Joins with exactly one backslash. Not AppendPath: a temporary path may be
// longer than the 260 characters the shell's path functions take.
CString JoinPath(const CString& folder, const CString& name)
{
    CString path(folder);
    if (!path.IsEmpty() && path[path.GetLength() - 1] != L'\\')
        path += L'\\';
    int skip = 0;
    while (skip < name.GetLength() && name[skip] == L'\\')
        ++skip;
    path += name.Mid(skip);
    return path;
}

bool Exists(const CString& path)
{
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void DeleteAtRestart(const CString& path)
{
    MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

} // namespace

CString ReadTempPath(TempPathReader reader)
{
    DWORD room = MAX_PATH;
    // A second read with the size the first one asked for; a path that grows in
    // between is not chased further.
    for (int attempt = 0; attempt < 2; ++attempt) {
        CString path;
        const DWORD length = reader(room, path.GetBufferSetLength(static_cast<int>(room)));
        if (length == 0)
            return CString();
        if (length < room) {
            path.ReleaseBuffer(static_cast<int>(length));
            return path;
        }
        room = length + 1;
    }
    return CString();
}

CTempFiles::~CTempFiles()
{
    // Our own holds would keep the files from being deleted.
    m_Holds.clear();
    for (const CString& path : m_Files) {
        if (Exists(path) && !DeleteFileW(path))
            DeleteAtRestart(path);
    }
    if (!m_strFolder.IsEmpty() && Exists(m_strFolder) && !RemoveDirectoryW(m_strFolder))
        DeleteAtRestart(m_strFolder);
}

CString CTempFiles::GetTempFolder()
{
    if (!m_strFolder.IsEmpty())
        return m_strFolder;
    const CString temp = ReadTempPath();
    const CString guid = NewGuidString();
    // Without a name of its own the folder stays empty: the system temporary
    // folder must never be removed as ours.
    if (temp.IsEmpty() || guid.IsEmpty())
        return CString();
    m_strFolder = JoinPath(temp, guid);
    SHCreateDirectory(nullptr, m_strFolder);
    return m_strFolder;
}

CString CTempFiles::GetFilePath(const CString& name)
{
    const CString folder = GetTempFolder();
    if (folder.IsEmpty())
        return CString();
    const CString fileName = name.IsEmpty() ? NewGuidString() : name;
    if (fileName.IsEmpty())
        return CString();
    const CString path = JoinPath(folder, fileName);
    m_Files.insert(path);
    return path;
}

bool CTempFiles::HoldFile(const CString& path)
{
    if (m_Files.count(path) == 0)
        return false;
    ReleaseFile(path);
    CScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                   nullptr));
    if (!file.IsValid())
        return false;
    m_Holds[path] = std::move(file);
    return true;
}

void CTempFiles::ReleaseFile(const CString& path)
{
    m_Holds.erase(path);
}

} // namespace Tools
} // namespace Common
