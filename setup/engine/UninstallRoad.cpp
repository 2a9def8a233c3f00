// The steps of the uninstall road: the hand-over to the registered uninstaller,
// the install folder, the removal of the uninstall record and the restart marker.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/RegKey.h"
#include "common/tools/RegKeyTree.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ChildProgram.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/UninstallKeys.h"

#include <shlwapi.h>

namespace {

using Common::Tools::CRegKey;

// No view flag: setup is 32-bit and its record lives in the 32-bit view.
const REGSAM kAccess = KEY_READ | KEY_WRITE;

// The record's key name must be one key below the Uninstall key.
bool IsRecordName(const CString& product)
{
    CString rest(product);
    rest.Trim();
    return !rest.IsEmpty() && product.Find(L'\\') < 0;
}

bool DeleteRecord(const CString& product)
{
    const CString path = CString(kUninstallKey) + L"\\" + product;
    const Common::Tools::SKeyTreeDeletion deletion = Common::Tools::DeleteKeyTree(HKEY_LOCAL_MACHINE, path, kAccess);
    if (deletion.result == Common::Tools::EKeyTreeResult::Refused)
        SetupTrace(L"Refused to remove the shared key 'HKLM\\%s'", path.GetString());
    else if (deletion.result == Common::Tools::EKeyTreeResult::Stopped)
        SetupTrace(L"Removal of 'HKLM\\%s' stopped part-way (error %ld)", path.GetString(), deletion.error);
    return deletion.result == Common::Tools::EKeyTreeResult::Deleted;
}

} // namespace

bool IsRegisteredCopy(const CString& programPath, const CString& productCode)
{
    CString own = ::PathFindFileNameW(programPath);
    RemovePathExtension(own);
    return !own.IsEmpty() && ::_wcsicmp(own, productCode) == 0;
}

CString HandOverCommand(const CString& uninstallString, const CString& arguments)
{
    // PathRemoveArgsW works within MAX_PATH characters.
    wchar_t command[MAX_PATH] = {};
    if (uninstallString.GetLength() >= MAX_PATH)
        return CString();
    ::lstrcpynW(command, uninstallString, MAX_PATH);
    ::PathRemoveArgsW(command);
    return CString(command) + arguments;
}

bool CInstallManager::RunInstalledUninstaller()
{
    if (IsRegisteredCopy(GetModulePath(), g_CmdLine.m_strProductCode))
        return false;
    const CString registered = ReadUninstallValue(g_CmdLine.m_strProductCode, kUninstallStringValue);
    const CString command = HandOverCommand(registered, g_CmdLine.m_strCmdLine);
    if (registered.IsEmpty() || command.IsEmpty()) {
        SetupTrace(L"No uninstaller registered for product %s", g_CmdLine.m_strProductCode.GetString());
        Common::Tools::ThrowComError(E_FAIL);
    }
    SetupTrace(L"Starting the registered uninstaller: %s", command.GetString());
    if (m_Seams.startUninstaller)
        m_Seams.startUninstaller(command);
    else
        RunProcess(nullptr, MainWindowHandle(), command, false);
    return true;
}

void CInstallManager::LocateComponentsFile(const CString& product)
{
    // The uninstall folder of the document may name the install folder, which
    // only the install run knew; the registered copy's place says where it went.
    CString program;
    if (IsRecordName(product)) {
        program = HandOverCommand(ReadUninstallValue(product, kUninstallStringValue), L"");
        program.Trim();
        if (program.GetLength() >= 2 && program[0] == L'"' && program[program.GetLength() - 1] == L'"')
            program = program.Mid(1, program.GetLength() - 2);
    }
    if (!IsFullPath(program)) {
        program = GetModulePath();
        if (!IsRegisteredCopy(program, product))
            return;
    }
    if (!RenamePathExtension(program, L".cfg"))
        return;
    m_SetupOptions.m_strPath = program;
    SetupTrace(L"Components file: %s", program.GetString());
}

bool CInstallManager::ResolveUninstallTargetDir()
{
    CString dir;
    try {
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLElement script;
        m_pSettings->GetElement(Common::Config::kUninstallScriptPath, script);
        // Written expanded by the install: taken as it stands.
        dir = GetRawAttribute(script, L"TargetDir");
    } catch (const _com_error&) {
        SetupTrace(L"No target directory specified in uninstall script");
        dir.Empty();
    }
    if (dir.IsEmpty())
        dir = ReadUninstallValue(g_CmdLine.m_strProductCode, kInstallLocationValue);
    // A folder the install could not have chosen (a root, the Windows folder, a
    // relative path) would turn the uninstall scripts against the system.
    if (!dir.IsEmpty() && !IsUsableInstallFolder(dir))
        dir.Empty();
    GetPathVariables().Define(L"%TargetDir%", dir);
    if (dir.IsEmpty()) {
        SetupTrace(L"Can't locate directory where product is installed.");
        return false;
    }
    return true;
}

bool CInstallManager::ClearInstallInfo()
{
    if (m_bUninstallerRegistered)
        return true;
    const CString product = GetConfigValue(L"ProductID", Common::Config::kInstallInfoPath);
    if (!IsRecordName(product)) {
        if (!product.IsEmpty())
            SetupTrace(L"Product ID '%s' names no uninstall record", product.GetString());
        return true;
    }
    if (ReadUninstallValue(product, kInstallLocationValue).IsEmpty())
        return true;
    const bool result = DeleteRecord(product);
    if (result)
        AssociateUpdatePackages(false, CString());
    SetupTrace(L"Clear application install info - %s", SucceededText(result).GetString());
    m_bUninstallerRegistered = result;
    return result;
}

void CInstallManager::AddRebootRequiredMarker()
{
    if (!m_bNeedRestartByFiles && !m_bDelayedMode)
        return;
    bool written = false;
    try {
        const CString path = RebootMarkerPath();
        // A folder that is not full would put the marker wherever setup, or the
        // drive's current folder, happens to be.
        const wchar_t* refusal = FullPathRefusal(path);
        if (refusal != nullptr) {
            SetupTrace(L"Restart marker path '%s' refused: %s", path.GetString(), refusal);
            Common::Tools::ThrowComError(E_INVALIDARG);
        }
        Common::Tools::CScopedHandle file(
            ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        written = file.IsValid();
        file.Reset();
        if (written)
            DelayRemove(path, nullptr);
    } catch (const _com_error&) {
        written = false;
    }
    if (!written)
        SetupTrace(L"AddRebootRequiredMarker - failed");
}
