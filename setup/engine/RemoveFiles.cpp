// The "Files" node of the uninstall script: removes the files the install copied,
// by the same list, and then the folders that held them.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/CanonicalFolders.h"
#include "common/tools/ComError.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/SetupTrace.h"
#include "framework/Gdi.h"
#include "setup/engine/ConfigTools.h"

#include <shlwapi.h>

#include <set>
#include <string>

bool CInstallManager::RemoveFiles()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::RemoveFiles");
    CWaitCursor wait;
    SetStepCaption(Common::Config::kStepRemovingFilesPath);

    if (HasLockedModules())
        m_bDelayedMode = true;

    if (m_pSettings == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    Common::Config::CXMLElement files;
    m_pSettings->GetElement(Common::Config::kSetupFilesPath, files);

    // Ascending, so that a folder is tried before the folders below it.
    std::set<std::wstring> folders;
    CCanonicalFolders canonicalFolders;
    const Common::Config::CXMLNodeList groups = files.SelectNodes(L"/*");
    for (auto group = groups.Begin(); group != groups.End(); ++group) {
        if (!group.IsElement())
            continue;
        const Common::Config::CXMLElement element = *group;
        if (GetNodeBool(element, L"NoRemove", false))
            continue;
        const CString dest = GetNodeAttribute(element, L"DestPath", L"");

        for (Common::Config::CXMLChildWalk entry(group.GetNode()); !entry.AtEnd(); entry.Next()) {
            if (!entry.IsElement())
                continue;
            const Common::Config::CXMLElement file = *entry;
            const CString name = GetEntryTargetName(file);
            CString path = dest;
            if (!IsSafeRelativePath(name) || !AppendPath(path, name) || !IsRemovableFile(path, canonicalFolders)) {
                SetupTrace(L"RemoveFiles: Entry refused, '%s' in '%s'", name.GetString(), dest.GetString());
                continue;
            }
            // One query says both whether the file is there and whether it is read-only.
            const DWORD attributes = ::GetFileAttributesW(path);
            if (attributes != INVALID_FILE_ATTRIBUTES) {
                ClearReadOnly(path, attributes);
                if (m_bDelayedMode) {
                    DelayRemove(path, &m_bNeedRestartByFiles);
                } else if (::DeleteFileW(path)) {
                    SetupTrace(L"File Removed: %s", path.GetString());
                } else {
                    DelayRemove(path, &m_bNeedRestartByFiles);
                }
            }
            CString folder = path;
            if (RemovePathFileSpec(folder))
                folders.insert(folder.Str());
        }

        for (const std::wstring& folder : folders) {
            // A system folder that received files (System32, for one) stays.
            if (!IsRemovableFolder(folder))
                continue;
            // A folder an earlier pass already removed is not scheduled: a reinstall
            // before the restart would lose it then.
            if (!::RemoveDirectoryW(folder.c_str()) && ::PathIsDirectoryW(folder.c_str()))
                DelayRemove(folder, nullptr);
        }
    }

    SetStepCaption(nullptr);
    return true;
}
