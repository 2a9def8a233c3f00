// The lock check: which of the package's program files are in use, and the page
// that lists the programs holding them.
#include "setup/engine/LockCheck.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/PackedStorage.h"
#include "common/tools/ComError.h"
#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/InstallAbort.h"
#include "setup/engine/InstallManager.h"
#include "setup/wizard/DlgLockCheck.h"
#include "setup/wizard/MainWindow.h"

#include <shlwapi.h>

#include <string>
#include <vector>

namespace {

bool IsProgramFile(const wchar_t* path)
{
    const wchar_t* extension = ::PathFindExtensionW(path);
    return ::lstrcmpiW(extension, L".exe") == 0 || ::lstrcmpiW(extension, L".dll") == 0;
}

// The storage reads a package path from its root, with or without the leading backslash.
std::wstring PackageFolder(const CString& path)
{
    std::wstring text = path.Str();
    if (text.empty() || text[0] != L'\\')
        text.insert(text.begin(), L'\\');
    return text;
}

void AddPackageFolder(const CString& src, const CString& dest, Common::Win32::WatchSet& files)
{
    const std::wstring folder = PackageFolder(src);
    std::vector<std::wstring> paths;
    Common::Config::GetSetupConfig().GetPackage().ListFiles(folder, paths);
    for (const std::wstring& path : paths) {
        if (!IsProgramFile(path.c_str()))
            continue;
        // The listing names the streams from the package root; what follows the
        // group's folder goes below DestPath.
        const size_t skip = path.compare(0, folder.size(), folder) == 0 ? folder.size() : 0;
        // One backslash between the two, whether DestPath ends in one or not: the
        // page compares these paths with those of the running programs.
        CString target = dest;
        if (AppendPath(target, path.substr(skip).c_str()))
            files.insert(target.Str());
    }
}

} // namespace

void GetPackageExecutables(CInstallManager& engine, Common::Win32::WatchSet& files, bool fullPathsOnly)
{
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLElement setupFiles;
        settings->GetElement(Common::Config::kSetupFilesPath, setupFiles);
        const Common::Config::CXMLNodeList groups = setupFiles.SelectNodes(L"/*");
        for (auto group = groups.Begin(); group != groups.End(); ++group) {
            if (!group.IsElement())
                continue;
            const Common::Config::CXMLElement element = *group;
            const CString dest = GetNodeAttribute(element, L"DestPath", L"");
            const CString src = GetNodeAttribute(element, L"SrcPath", L"");
            const Common::Config::CXMLNodeList entries = group.GetChildNodes();
            if (!src.IsEmpty() && entries.GetLength() == 0) {
                AddPackageFolder(src, dest, files);
                continue;
            }
            for (Common::Config::CXMLChildWalk entry(group.GetNode()); !entry.AtEnd(); entry.Next()) {
                if (!entry.IsElement())
                    continue;
                const Common::Config::CXMLElement file = *entry;
                const CString target = GetEntryTargetName(file);
                if (HasAttribute(file, L"x64") &&
                    VariantToBool(file.GetAttribute(L"x64", _variant_t())) != engine.m_bIs64BitOS)
                    continue;
                if (!IsProgramFile(target))
                    continue;
                CString path = dest;
                if (!AppendPath(path, target))
                    continue;
                if (!fullPathsOnly && GetNodeBool(file, L"short", false))
                    path = ::PathFindFileNameW(path);
                if (!GetNodeBool(file, L"Skip", false))
                    files.insert(path.Str());
            }
        }

        Common::Config::CXMLNodeList busy;
        settings->SelectNodes(L"//Interface/BusyCheck/*", busy);
        for (auto entry = busy.Begin(); entry != busy.End(); ++entry) {
            if (!entry.IsElement())
                continue;
            const CString path = GetNodeAttribute(*entry, L"FileName", L"");
            // An empty name watches nothing.
            if (!path.IsEmpty())
                files.insert(path.Str());
        }
    } catch (const _com_error&) {
        SetupTrace(L"GetPackageExecutables: Unexpected error");
    }
}

bool CInstallManager::HasLockedModules()
{
    Common::Win32::WatchSet files;
    GetPackageExecutables(*this, files, true);
    for (const std::wstring& path : files) {
        // A folder is no module; it never opens as a file and would always count as locked.
        if (!IsExistingFile(path.c_str()))
            continue;
        const Common::Tools::CScopedHandle file(
            ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file.IsValid()) {
            SetupTrace(L"First locked module: '%s'", path.c_str());
            SetupTrace(L"Some of modules are locked further operations with them will be in delay-mode");
            return true;
        }
    }
    return false;
}

bool CInstallManager::LockCheck()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::LockCheck");
    try {
        Common::Win32::WatchSet files;
        GetPackageExecutables(*this, files, false);

        DlgPopup::SilentKillMap silentKill;
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLNodeList nodes;
        m_pSettings->SelectNodes(L"//Interface/SilentKill/*", nodes);
        for (auto node = nodes.Begin(); node != nodes.End(); ++node) {
            if (!node.IsElement())
                continue;
            const Common::Config::CXMLElement element = *node;
            // The first element of a name wins.
            silentKill.emplace(GetNodeAttribute(element, L"Name", L"").Str(),
                               GetNodeAttribute(element, L"service", L"").Str());
        }

        DlgPopup::CDlgLockCheck page(&files, silentKill, m_pDlgMain.get());
        if (page.DoModal() == IDCANCEL)
            throw CInstallAbort();
    } catch (const _com_error&) {
        // The check is a courtesy: the script goes on without it.
    }
    return true;
}
