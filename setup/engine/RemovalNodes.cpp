// The script nodes that delete and move files and folders, the removal of the
// uninstaller's own copy, and the removal tools the uninstall shares: delete now,
// and what cannot go now goes at the next restart.
#include "setup/engine/InstallManager.h"

#include "common/config/XMLElement.h"
#include "common/tools/CanonicalFolders.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/GuidName.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <iterator>
#include <string>
#include <vector>

namespace {

// ---- where removal may go ----

CString KnownFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)) || path[0] == L'\0')
        return CString();
    return CanonicalFolder(path);
}

CString WindowsFolder()
{
    return KnownFolder(CSIDL_WINDOWS);
}

// A folder named by an environment variable; empty when it is not set.
CString EnvironmentFolder(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, path, static_cast<DWORD>(std::size(path)));
    if (length == 0 || length >= std::size(path))
        return CString();
    return CanonicalFolder(path);
}

// Folders of the system and of every user that no package owns. Together with
// every folder above them: removing a parent removes them too.
std::vector<CString> FindSystemFolders()
{
    static const int kFolders[] = {
        CSIDL_WINDOWS,          CSIDL_SYSTEM,          CSIDL_SYSTEMX86,           CSIDL_PROGRAM_FILES,
        CSIDL_PROGRAM_FILESX86, CSIDL_PROGRAM_FILES_COMMON, CSIDL_PROGRAM_FILES_COMMONX86,
        CSIDL_COMMON_APPDATA,   CSIDL_APPDATA,         CSIDL_LOCAL_APPDATA,       CSIDL_PROFILE,
        CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_PERSONAL,    CSIDL_COMMON_DOCUMENTS,
        CSIDL_STARTMENU,        CSIDL_COMMON_STARTMENU, CSIDL_PROGRAMS,           CSIDL_COMMON_PROGRAMS,
        CSIDL_STARTUP,          CSIDL_COMMON_STARTUP,  CSIDL_FONTS,               CSIDL_TEMPLATES,
    };
    std::vector<CString> folders;
    for (int csidl : kFolders) {
        const CString folder = KnownFolder(csidl);
        if (!folder.IsEmpty())
            folders.push_back(folder);
    }
    // A 32-bit process on 64-bit Windows gets the x86 folders for every Program
    // Files folder id; the 64-bit ones are named only by these variables.
    for (const wchar_t* variable : {L"ProgramW6432", L"CommonProgramW6432"}) {
        const CString folder = EnvironmentFolder(variable);
        if (!folder.IsEmpty())
            folders.push_back(folder);
    }
    // The 64-bit System32 under both of the names a 32-bit process can reach it by.
    const CString windows = WindowsFolder();
    if (!windows.IsEmpty()) {
        folders.push_back(CanonicalFolder(windows + L"\\System32"));
        folders.push_back(CanonicalFolder(windows + L"\\Sysnative"));
    }
    wchar_t temp[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(static_cast<DWORD>(std::size(temp)), temp);
    if (length != 0 && length < std::size(temp))
        folders.push_back(CanonicalFolder(temp));
    return folders;
}

// Asked once: every listed file of an uninstall is checked against them.
const std::vector<CString>& SystemFolders()
{
    static const std::vector<CString> folders = FindSystemFolders();
    return folders;
}

// Whether any system folder lies below the canonical folder. Only then can the
// spelling of a name in it decide a refusal: a path in the folder is never a
// root, and takes a system folder with it only when that folder is below.
bool HoldsSystemFolder(const CString& folder)
{
    for (const CString& system : SystemFolders()) {
        if (IsPathBelow(system, folder))
            return true;
    }
    return false;
}

// Why the path may not be removed; null when it may. The canonical form comes
// from the folders' cache when one is given.
const wchar_t* RemovalRefusal(const CString& path, bool folderTree, CCanonicalFolders* folders)
{
    const wchar_t* refusal = FullPathRefusal(path);
    if (refusal != nullptr)
        return refusal;
    CString canonical = folders != nullptr ? folders->Canonical(path, HoldsSystemFolder) : CanonicalPath(path);
    TrimTrailingSeparators(canonical);
    if (::PathIsRootW(canonical))
        return L"a root folder";
    for (const CString& folder : SystemFolders()) {
        // Removing the path takes the folder with it.
        if (IsSamePath(canonical, folder) || IsPathBelow(folder, canonical))
            return L"a system folder";
    }
    if (folderTree && IsPathBelow(canonical, WindowsFolder()))
        return L"inside the Windows folder";
    return nullptr;
}

bool Removable(const CString& path, bool folderTree, CCanonicalFolders* folders = nullptr)
{
    const wchar_t* refusal = RemovalRefusal(path, folderTree, folders);
    if (refusal == nullptr)
        return true;
    SetupTrace(L"Refused to remove '%s': %s", path.GetString(), refusal);
    return false;
}

// ---- removal ----

bool IsDirectory(DWORD attributes)
{
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

struct SEntry
{
    CString path;
    DWORD attributes;
};

// The folder's entries, read whole before anything in it changes.
std::vector<SEntry> FolderEntries(const CString& folder)
{
    std::vector<SEntry> entries;
    WIN32_FIND_DATAW data = {};
    const Common::Tools::CFindHandle find(::FindFirstFileW(folder + L"\\*.*", &data));
    if (!find.IsValid())
        return entries;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        entries.push_back(SEntry{folder + L"\\" + CString(name), data.dwFileAttributes});
    } while (::FindNextFileW(find.Get(), &data));
    return entries;
}

void RemoveContent(const CString& folder, bool delayed, bool* restartFlag)
{
    for (const SEntry& entry : FolderEntries(folder)) {
        ClearReadOnly(entry.path);
        if (IsDirectory(entry.attributes)) {
            // A link is removed as a link: what it points to is not the package's.
            if ((entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
                RemoveContent(entry.path, delayed, restartFlag);
            if (delayed || !::RemoveDirectoryW(entry.path))
                DelayRemove(entry.path, nullptr);
        } else if (delayed || !::DeleteFileW(entry.path)) {
            DelayRemove(entry.path, restartFlag);
        }
    }
}

} // namespace

bool IsRemovableFile(const CString& path)
{
    return Removable(path, false);
}

bool IsRemovableFile(const CString& path, CCanonicalFolders& folders)
{
    return Removable(path, false, &folders);
}

bool IsRemovableFolder(const CString& path)
{
    return Removable(path, true);
}

bool IsInWindowsFolder(const CString& canonical)
{
    // Also a sibling whose name continues the folder's: "C:\WindowsApps" is the
    // system's too.
    return StartsWithPath(canonical, WindowsFolder());
}

bool IsUsableInstallFolder(const CString& path)
{
    const wchar_t* refusal = FullPathRefusal(path);
    if (refusal == nullptr) {
        const CString canonical = CanonicalFolder(path);
        if (::PathIsRootW(canonical))
            refusal = L"a root folder";
        else if (IsInWindowsFolder(canonical))
            refusal = L"inside the Windows folder";
    }
    if (refusal == nullptr)
        return true;
    SetupTrace(L"Install folder refused '%s': %s", path.GetString(), refusal);
    return false;
}

void DelayRemove(const CString& path, bool* restartFlag)
{
    // Whoever asks: a protected place is not scheduled either.
    if (!IsRemovableFile(path))
        return;
    SetupTrace(L"Delay remove: '%s'", path.GetString());
    if (!::MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT))
        SetupTrace(L"Delay remove failed: '%s' (error %u)", path.GetString(), static_cast<unsigned>(::GetLastError()));
    if (restartFlag != nullptr)
        *restartFlag = true;
}

void ClearReadOnly(const CString& path)
{
    ClearReadOnly(path, ::GetFileAttributesW(path));
}

void ClearReadOnly(const CString& path, DWORD attributes)
{
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
        ::SetFileAttributesW(path, attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

void RemoveFolderContent(const CString& folder, bool delayed, bool* restartFlag)
{
    if (!IsRemovableFolder(folder))
        return;
    RemoveContent(folder, delayed, restartFlag);
}

void RemoveFolderWithContent(const CString& folder, bool delayed, bool* restartFlag)
{
    SetupTrace(L"Try to remove folder with content: '%s'", folder.GetString());
    if (!IsRemovableFolder(folder))
        return;
    RemoveContent(folder, delayed, restartFlag);
    if (delayed || !::RemoveDirectoryW(folder))
        DelayRemove(folder, nullptr);
}

void CInstallManager::RemoveFile(const Common::Config::CXMLElement& node)
{
    const CString file = GetNodeAttribute(node, L"FileName", L"");
    if (!IsRemovableFile(file))
        return;
    // A deletion scheduled for a missing file would take a file reinstalled
    // before the restart.
    if (::GetFileAttributesW(file) == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
            SetupTrace(L"RemoveFile: no file '%s'", file.GetString());
            return;
        }
    }
    // A read-only file would not go at the restart either.
    ClearReadOnly(file);
    if (m_bDelayedMode) {
        DelayRemove(file, nullptr);
        return;
    }
    if (::DeleteFileW(file))
        SetupTrace(L"File Removed: %s", file.GetString());
    else
        DelayRemove(file, nullptr);
}

void CInstallManager::RemoveFolder(const Common::Config::CXMLElement& node)
{
    const bool ifEmpty = GetNodeBool(node, L"IfEmpty", false);
    const CString folder = GetNodeAttribute(node, L"FolderName", L"");
    if (!ifEmpty) {
        RemoveFolderWithContent(folder, m_bDelayedMode, &m_bNeedRestartByFiles);
        return;
    }
    if (!IsRemovableFolder(folder))
        return;
    if (m_bDelayedMode || !::RemoveDirectoryW(folder))
        DelayRemove(folder, nullptr);
}

bool CInstallManager::MoveFileW(const Common::Config::CXMLElement& node)
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::MoveFileW");
    bool moved = false;
    try {
        const CString source = GetNodeAttribute(node, L"FileName", L"");
        const CString target = GetNodeAttribute(node, L"TargetFileName", L"");
        SetupTrace(L"source file: %s, target file: %s", source.GetString(), target.GetString());
        // The target is replaced in the move itself: a source that cannot be
        // moved leaves the target as it was.
        if (IsRemovableFile(source) && IsRemovableFile(target))
            moved = ::MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
    } catch (const _com_error&) {
        moved = false;
    }
    SetupTrace(L"MoveFile %s", moved ? L"Succeeded" : L"Failed");
    return moved;
}

void CInstallManager::RemoveSelf()
{
    RemoveProgramCopy(GetModulePath());
}

void RemoveProgramCopy(const CString& self)
{
    CString folder = self;
    if (self.IsEmpty() || !RemovePathFileSpec(folder))
        return;
    CString base = ::PathFindFileNameW(self);
    RemovePathExtension(base);
    // Only an uninstaller copy is named after its product.
    if (!IsGuidName(base))
        return;
    // Gone already: an earlier call of this run moved it.
    if (!::PathFileExistsW(self))
        return;

    // A running program cannot be deleted, but it can be renamed on its volume; the
    // new name goes at the restart, and the product's name is free at once.
    CString renamed = folder;
    const CString guid = NewGuidString();
    const bool moved = !guid.IsEmpty() && AppendPath(renamed, guid) && ::MoveFileW(self, renamed);
    const CString waiting = moved ? renamed : self;
    DelayRemove(waiting, nullptr);

    CString components = self;
    if (RenamePathExtension(components, L".cfg") && ::PathFileExistsW(components) && !::DeleteFileW(components))
        DelayRemove(components, nullptr);

    CString package = self;
    if (RenamePathExtension(package, L".cfs")) {
        const bool removed = ::DeleteFileW(package) != FALSE;
        SetupTrace(L"Remove file: %s, '%s'", SucceededText(removed).GetString(), package.GetString());
        if (!removed && ::PathFileExistsW(package))
            DelayRemove(package, nullptr);
    }

    // The uninstall folder goes after the copy when nothing else is left in it
    // (other products may keep their uninstallers there).
    const std::vector<SEntry> left = FolderEntries(folder);
    if (left.size() == 1 && IsSamePath(left[0].path, waiting) && IsRemovableFolder(folder))
        DelayRemove(folder, nullptr);
}
