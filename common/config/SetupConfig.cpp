// The configuration object of setup and where it finds its package.
#include "common/config/SetupConfig.h"

#include "common/config/XMLDocument.h"
#include "common/tools/PathSafety.h"
#include "common/tools/ResourceCache.h"
#include "common/tools/SetupTrace.h"

#include <loki/Singleton.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace Common {
namespace Config {

namespace {

const UINT kPackageResource = 150;

} // namespace

bool CSetupConfig::Init()
{
    Tools::ScopedLock lock(m_lock);
    if (m_bLoaded)
        return true;

    const HRESULT hr = CoInitialize(nullptr);
    bool result = false;
    if (InitPaths(nullptr)) {
        m_strDataFolder = GetDataFolder(m_strProgramFolder, CSIDL_COMMON_APPDATA);
        result = OpenPackage(L"\\config.cfs");
    }
    if (result) {
        // A package without a readable interface document still counts as opened.
        if (LoadSettings(L"\\setup.xml"))
            LoadGraphRes();
    } else {
        m_bLoaded = true;
        Close();
        if (hr == S_OK)
            CoUninitialize();
    }
    m_bLoaded = result;
    SetupTrace(L"Install package load status: %s", result ? L"successful" : L"failed");
    return result;
}

CString CSetupConfig::ResolvePackageArgument(const CString& argument, const CString& programFolder)
{
    // Full paths (either separator), rooted ("\x") and drive ("C:x") ones are the
    // caller's, as given.
    if (!IsRelativePath(argument))
        return argument;
    wchar_t path[MAX_PATH] = {};
    if (programFolder.GetLength() >= MAX_PATH)
        return CString();
    lstrcpynW(path, programFolder.GetString(), MAX_PATH);
    if (!PathAppendW(path, argument.GetString()))
        return CString();
    return path;
}

bool CSetupConfig::OpenPackage(const CString& /*name*/)
{
    try {
        if (!m_strPackageArgument.IsEmpty()) {
            const CString path = ResolvePackageArgument(m_strPackageArgument, m_strProgramFolder);
            if (!path.IsEmpty() && m_package.Open(path.GetString(), true, false))
                return true;
        }

        wchar_t beside[MAX_PATH] = {};
        if (m_strModulePath.GetLength() < MAX_PATH) {
            lstrcpynW(beside, m_strModulePath.GetString(), MAX_PATH);
            if (PathRenameExtensionW(beside, L".cfs") && m_package.Open(beside, true, false))
                return true;
        }

        HGLOBAL block = Tools::LoadResourceToGlobal(Tools::GetResourceCache(), nullptr, kPackageResource);
        return block != nullptr && m_package.OpenFromMemory(block);
    } catch (const _com_error&) {
        return false;
    }
}

bool CSetupConfig::LoadWritableSettings(const CString& /*name*/)
{
    return true;
}

CString CSetupConfig::GetPrefsPath(const CString& /*name*/)
{
    return CString();
}

CString CSetupConfig::GetDataFolder(const CString& /*folder*/, int /*csidl*/)
{
    return m_strProgramFolder;
}

CSetupConfig& GetSetupConfig()
{
    return Loki::SingletonHolder<CSetupConfig>::Instance();
}

} // namespace Config
} // namespace Common
