// The "Files" install step and the engine services it brings: macros, step
// captions, the shared data folder.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/PackedStorage.h"
#include "common/storage/StreamReadAhead.h"
#include "common/tools/ComError.h"
#include "common/tools/FileTools.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "framework/Gdi.h"
#include "setup/engine/AccessControl.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/wizard/MainWindow.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cwctype>
#include <string>
#include <vector>

namespace {

const int kWaitImageId = 1016;
const int kStatusTextId = 103;

Common::Storage::CPackedStorage& Package()
{
    return Common::Config::GetSetupConfig().GetPackage();
}

CString VariantText(const _variant_t& value)
{
    if (V_VT(&value) == VT_EMPTY || V_VT(&value) == VT_NULL)
        return CString();
    return static_cast<const wchar_t*>(_bstr_t(value));
}

// A package path is taken from the root whether or not it starts with a
// backslash: the storage reads the first component only after one.
std::wstring PackagePath(const CString& path)
{
    std::wstring text = path.Str();
    if (text.empty() || text[0] != L'\\')
        text.insert(text.begin(), L'\\');
    return text;
}

// The package path of the next file entry after the walk's, for reading it
// ahead; empty when there is none or it comes from outside the package. Only
// reads the document: a failure here is met again when the entry's turn comes.
std::wstring NextPackagePath(Common::Config::CXMLChildWalk walk)
{
    try {
        for (walk.Next(); !walk.AtEnd(); walk.Next()) {
            if (!walk.IsElement())
                continue;
            const Common::Config::CXMLElement entry = *walk;
            if (!GetNodeAttribute(entry, L"LocalFile", L"").IsEmpty())
                return std::wstring();
            return PackagePath(GetNodeAttribute(entry, L"FileName", L""));
        }
    } catch (const _com_error&) {
    }
    return std::wstring();
}

// The staging names run from "~0000" to "~FFFF".
const DWORD kLastStagedName = 0xFFFF;

// Deletes the version probe when the entry is done with it, whichever way.
class CProbeFile
{
public:
    CProbeFile() = default;
    ~CProbeFile()
    {
        if (!m_strPath.IsEmpty())
            ::DeleteFileW(m_strPath);
    }
    CProbeFile(const CProbeFile&) = delete;
    CProbeFile& operator=(const CProbeFile&) = delete;

    CString m_strPath;
};

} // namespace

DWORD PackVersion(const CString& version)
{
    DWORD packed = 0;
    const std::wstring& text = version.Str();
    size_t position = 0;
    for (int part = 0; part < 4; ++part) {
        while (position < text.size() && text[position] == L'.')
            ++position;
        if (position >= text.size())
            break;
        const size_t end = text.find(L'.', position);
        const std::wstring token = text.substr(position, end == std::wstring::npos ? std::wstring::npos : end - position);
        position = end == std::wstring::npos ? text.size() : end;

        // The leading decimal number, as the C library reads it; only its low
        // byte counts, so the digits are summed modulo 256.
        size_t i = 0;
        while (i < token.size() && std::iswspace(token[i]))
            ++i;
        bool negative = false;
        if (i < token.size() && (token[i] == L'+' || token[i] == L'-'))
            negative = token[i++] == L'-';
        unsigned value = 0;
        for (; i < token.size() && token[i] >= L'0' && token[i] <= L'9'; ++i)
            value = (value * 10 + static_cast<unsigned>(token[i] - L'0')) & 0xFF;
        if (negative)
            value = (0x100 - value) & 0xFF;
        packed |= static_cast<DWORD>(value) << (24 - 8 * part);
    }
    return packed;
}

bool CInstallManager::CopyFiles()
{
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::CopyFiles");
    // One open of the package for the whole step, not one per file.
    Common::Storage::CStorage::CHold holdPackage(Package());
    // Each file's stream is read and unpacked while the one before is written.
    // Ends before the hold does.
    Common::Storage::CStreamReadAhead readAhead(Package());
    CreateTargetDataDir();
    CWaitCursor wait;
    SetStepCaption(Common::Config::kStepCopyFilesPath);

    bool result = true;
    DWORD total = 0;
    try {
        if (m_bUpdateMode && HasLockedModules())
            m_bDelayedMode = true;

        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLElement files;
        m_pSettings->GetElement(Common::Config::kSetupFilesPath, files);
        const Common::Config::CXMLNodeList groups = files.SelectNodes(L"/*");
        if (groups.GetLength() == 0)
            return true;

        for (auto group = groups.Begin(); group != groups.End(); ++group) {
            const LONG children = group.GetChildNodes().GetLength();
            if (children > 0) {
                total += static_cast<DWORD>(children);
            } else {
                std::vector<std::wstring> paths;
                Package().ListFiles(PackagePath(GetNodeAttribute(*group, L"SrcPath", L"")), paths);
                total += static_cast<DWORD>(paths.size());
            }
        }
        if (total == 0)
            Common::Tools::ThrowComError(E_FAIL);

        m_TaskbarProgress.SetState(UI::CTaskbarProgress::kNormal);
        m_TaskbarProgress.m_ullTotal = total;
        m_TaskbarProgress.m_ullStep = 1;
        m_TaskbarProgress.SetValue(0);
        if (m_pDlgMain != nullptr) {
            m_pDlgMain->SetProgress(0.0);
            m_pDlgMain->m_dStep = 1.0 / static_cast<double>(total);
        }

        for (auto group = groups.Begin(); group != groups.End(); ++group) {
            const Common::Config::CXMLElement element = *group;
            const CString dest = GetNodeAttribute(element, L"DestPath", L"");
            const CString src = GetNodeAttribute(element, L"SrcPath", L"");
            if (!src.IsEmpty()) {
                CopyStorageFolder(src, dest, readAhead);
                continue;
            }
            for (Common::Config::CXMLChildWalk entry(group.GetNode()); !entry.AtEnd(); entry.Next()) {
                if (!entry.IsElement())
                    continue;
                CopyFileEntry(dest, *entry, readAhead, NextPackagePath(entry));
                if (m_pDlgMain != nullptr)
                    m_pDlgMain->StepProgress();
                m_TaskbarProgress.SetValue(m_TaskbarProgress.GetCompleted() + m_TaskbarProgress.m_ullStep);
            }
        }
    } catch (const _com_error&) {
        m_TaskbarProgress.SetValue(m_TaskbarProgress.m_ullTotal);
        m_TaskbarProgress.SetState(UI::CTaskbarProgress::kError);
        SetupTrace(L"File extraction\\copy error. (Total files: %d)", static_cast<int>(total));
        ShowMessageById(MainWindowHandle(), L"CopyFileError", MB_ICONERROR);
        result = false;
    }

    SetStepCaption(nullptr);
    m_TaskbarProgress.SetState(UI::CTaskbarProgress::kNoProgress);
    if (m_pDlgMain != nullptr) {
        m_pDlgMain->InvalidateControl(kWaitImageId);
        m_pDlgMain->m_bShowWait = false;
        m_pDlgMain->m_bShowProgress = false;
        m_pDlgMain->PumpMessages();
    }
    return result;
}

void CInstallManager::CopyFileEntry(const CString& dest, const Common::Config::CXMLElement& entry,
                                    Common::Storage::CStreamReadAhead& readAhead, const std::wstring& next)
{
    if (!CheckCondition(entry, false))
        return;

    const CString file = GetNodeAttribute(entry, L"FileName", L"");
    CString targetName = GetNodeAttribute(entry, L"TargetFileName", L"");
    if (targetName.IsEmpty())
        targetName = ::PathFindFileNameW(file);

    if (HasAttribute(entry, L"x64") && VariantToBool(entry.GetAttribute(L"x64", _variant_t())) != m_bIs64BitOS)
        return;

    IStreamPtr stream;
    const CString local = GetNodeAttribute(entry, L"LocalFile", L"");
    if (!local.IsEmpty()) {
        if (targetName.IsEmpty())
            targetName = ::PathFindFileNameW(local);
        CString source = local;
        if (IsRelativePath(local)) {
            source = L"%SourceDir%";
            if (!AppendPath(source, local)) {
                SetupTrace(L"CopyFile: Local file path too long, '%s'", local.GetString());
                Common::Tools::ThrowComError(E_FAIL);
            }
            ExpandVariables(source);
        } else if (!IsFullPath(local)) {
            // "\x" or "C:x": the current drive or a drive's current folder would
            // decide which file is read, and setup's current folder moves.
            SetupTrace(L"CopyFile: Local file path refused, '%s'", local.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }
        if (!::PathFileExistsW(source))
            return;
        stream = LoadFileToStream(source);
    } else {
        const std::wstring path = PackagePath(file);
        stream = readAhead.Take(path);
        if (!stream)
            stream = Package().OpenStream(path);
    }
    if (!stream)
        Common::Tools::ThrowComError(E_FAIL);
    if (!next.empty())
        readAhead.Start(next);

    // The name comes from the package: it may only name a place under the group's
    // folder.
    if (!IsSafeRelativePath(targetName)) {
        SetupTrace(L"CopyFile: Target name refused, '%s'", targetName.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }
    CString target = dest;
    if (!AppendPath(target, targetName)) {
        SetupTrace(L"CopyFile: Target path too long, '%s'", targetName.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }

    CProbeFile probe;
    if (GetNodeLong(entry, L"Check", 1) == 2 && !IsNewerVersion(target, stream, probe.m_strPath)) {
        SetupTrace(L"CopyFile: File skipped due version check, '%s'", target.GetString());
        return;
    }
    bool delayed = false;
    CopyFile(stream, target, &delayed);
}

bool CInstallManager::IsNewerVersion(const CString& target, IStream* stream, CString& probe)
{
    probe.Empty();
    if (!::PathFileExistsW(target))
        return true;
    const DWORD installed = PackVersion(GetFileVersionString(target, L"ProductVersion"));

    CProbeFile written;
    written.m_strPath = MakeTempFileName();
    if (written.m_strPath.IsEmpty() || !SaveStreamToFile(stream, written.m_strPath)) {
        SetupTrace(L"CopyFile: Can't write version probe for '%s'", target.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }
    const DWORD packaged = PackVersion(GetFileVersionString(written.m_strPath, L"ProductVersion"));
    const bool newer = packaged > installed;
    if (newer) {
        // The caller deletes it once the copy is done.
        probe = written.m_strPath;
        written.m_strPath.Empty();
    }
    return newer;
}

void CInstallManager::CopyFile(IStream* stream, const CString& target, bool* delayed)
{
    if (stream == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    // By the rule the removal judges the same path by: a name the system would
    // change ("C:\App.\x" is written as "C:\App\x") could never be removed again.
    const wchar_t* refusal = FullPathRefusal(target);
    if (refusal != nullptr) {
        SetupTrace(L"CopyFile: Target refused, '%s': %s", target.GetString(), refusal);
        Common::Tools::ThrowComError(E_FAIL);
    }

    CString folder = target;
    RemovePathFileSpec(folder);
    if (!IsExistingFolder(folder) && ::SHCreateDirectoryExW(nullptr, folder, nullptr) != ERROR_SUCCESS) {
        SetupTrace(L"CopyFile: Can't create directory '%s'", folder.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }

    // A target that does not exist yet is written under its own name: nothing
    // runs or holds it, and a write that fails deletes it again. Claiming the
    // name with CREATE_NEW tells our file from one that appeared meanwhile, and
    // costs one look-up of an absent name instead of two (the staging name and
    // the rename's target); where names are matched without case by listing the
    // folder, each such look-up reads the whole folder.
    if (!m_bDelayedMode) {
        const CString path = ApiPath(target);
        Common::Tools::CScopedHandle claimed(
            ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (claimed.IsValid()) {
            // Written through the claiming handle: the name cannot be swapped
            // for something else between the claim and the write.
            if (!WriteStreamToFile(stream, claimed.Get())) {
                const DWORD error = ::GetLastError();
                claimed.Reset();
                ::DeleteFileW(path);
                SetupTrace(L"CopyFile: Can't write '%s' (error %u)", target.GetString(), static_cast<unsigned>(error));
                Common::Tools::ThrowComError(E_FAIL);
            }
            SetupTrace(L"CopyFile: File copied - '%s'", target.GetString());
            return;
        }
    }

    // An existing target: the content is written beside it first, on its
    // volume: a write that fails never leaves a cut target behind, and the same
    // file waits for the rename at the next restart when the target cannot be
    // replaced now.
    // The name is short so that a target deep in the tree can still be staged;
    // a name some other file holds is passed over, never written to.
    CString staged;
    for (DWORD tried = 0;; ++tried) {
        if (tried > kLastStagedName) {
            SetupTrace(L"CopyFile: No name for the copy of '%s'", target.GetString());
            Common::Tools::ThrowComError(E_FAIL);
        }
        CString name;
        name.Format(L"~%04X", static_cast<unsigned>(m_dwNextStagedName++ & kLastStagedName));
        staged = folder;
        if (staged.IsEmpty() || staged[staged.GetLength() - 1] != L'\\')
            staged += L"\\";
        staged = ApiPath(staged + name);
        if (SaveStreamToFile(stream, staged, CREATE_NEW))
            break;
        const DWORD error = ::GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS || IsExistingFolder(staged))
            continue;
        ::DeleteFileW(staged);
        SetupTrace(L"CopyFile: Can't write '%s' (error %u)", staged.GetString(), static_cast<unsigned>(error));
        Common::Tools::ThrowComError(E_FAIL);
    }
    if (!m_bDelayedMode && ::MoveFileExW(staged, ApiPath(target), MOVEFILE_REPLACE_EXISTING)) {
        SetupTrace(L"CopyFile: File copied - '%s'", target.GetString());
        return;
    }

    // In use (or delayed mode).
    SetupTrace(L"CopyFile: Copy delayed, file '%s'", target.GetString());
    if (!::MoveFileExW(staged, ApiPath(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)) {
        const DWORD error = ::GetLastError();
        ::DeleteFileW(staged);
        SetupTrace(L"CopyFile: Can't schedule '%s' for the restart (error %u)", target.GetString(),
                   static_cast<unsigned>(error));
        Common::Tools::ThrowComError(E_FAIL);
    }
    if (delayed != nullptr)
        *delayed = true;
    m_bNeedRestartByFiles = true;
}

void CInstallManager::CopyStorageFolder(const CString& src, const CString& dest,
                                        Common::Storage::CStreamReadAhead& readAhead)
{
    const std::wstring folder = Common::Storage::AppendSeparator(PackagePath(src));
    std::vector<std::wstring> paths;
    if (!Package().ListFiles(folder, paths)) {
        SetupTrace(L"CopyFile: Can't list package folder '%s'", folder.c_str());
        Common::Tools::ThrowComError(E_FAIL);
    }

    CString base = dest;
    base.TrimRight(L"\\");
    for (size_t i = 0; i < paths.size(); ++i) {
        const std::wstring& path = paths[i];
        const bool below = path.compare(0, folder.size(), folder) == 0;
        const CString relative = below ? path.substr(folder.size()) : std::wstring();
        if (!below || !IsSafeRelativePath(relative)) {
            SetupTrace(L"CopyFile: Package path refused, '%s'", path.c_str());
            Common::Tools::ThrowComError(E_FAIL);
        }
        IStreamPtr stream = readAhead.Take(path);
        if (!stream)
            stream = Package().OpenStream(path);
        if (i + 1 < paths.size())
            readAhead.Start(paths[i + 1]);
        CopyFile(stream, base + L"\\" + relative, nullptr);
        if (m_pDlgMain != nullptr)
            m_pDlgMain->StepProgress();
    }
}

bool CInstallManager::CreateTargetDataDir()
{
    try {
        CString path(L"%TargetDataDir%");
        ExpandVariables(path);
        // An unexpanded or relative name would land in (or change the access of)
        // whatever the current folder holds.
        if (!IsFullPath(path)) {
            SetupTrace(L"Target data directory is not a full path - '%s'", path.GetString());
            return true;
        }
        if (!::PathFileExistsW(path)) {
            ::SHCreateDirectoryExW(nullptr, path, nullptr);
            SetupTrace(L"Created directory - '%s'", path.GetString());
        }
        GrantEveryoneAccess(path);
    } catch (const _com_error&) {
    }
    return true;
}

void CInstallManager::InitMacros()
{
    if (m_pSettings != nullptr) {
        Common::Config::CXMLNodeList nodes;
        m_pSettings->SelectNodes(L"//Interface/SetupMacroses/*", nodes);
        for (auto node = nodes.Begin(); node != nodes.End(); ++node) {
            if (!node.IsElement())
                continue;
            CString value = GetNodeAttribute(node, L"Value", L"");
            if (value.IsEmpty())
                value = GetNodeAttribute(node, L"Caption", L"");
            const CString name = VariantText(node.GetAttribute(L"Pattern", _variant_t(L"")));
            GetPathVariables().Define(name, value);
        }
    }
    CString folder = GetModulePath();
    RemovePathFileSpec(folder);
    GetPathVariables().Define(L"%SourceDir%", folder);
}

void CInstallManager::SetStepCaption(const wchar_t* xpath)
{
    if (g_CmdLine.m_bQuiet)
        return;
    CString text;
    if (xpath != nullptr && m_pSettings != nullptr)
        text = VariantText(m_pSettings->GetValue(L"Caption", xpath, _variant_t(L"")));
    if (m_pDlgMain == nullptr)
        return;
    m_pDlgMain->m_bShowWait = !text.IsEmpty();
    m_pDlgMain->InvalidateControl(kWaitImageId);
    if (m_pDlgMain->m_hWnd != nullptr)
        m_pDlgMain->SetDlgItemText(kStatusTextId, text);
    m_pDlgMain->InvalidateControl(kStatusTextId);
}

bool CInstallManager::NodeExists(const wchar_t* xpath)
{
    if (m_pSettings == nullptr || xpath == nullptr)
        return false;
    try {
        Common::Config::CXMLElement element;
        m_pSettings->GetElement(xpath, element);
        return true;
    } catch (const _com_error&) {
        return false;
    }
}
