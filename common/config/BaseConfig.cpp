// The configuration base: package, interface document, preferences and theme.
#include "common/config/BaseConfig.h"

#include "common/config/DocumentPaths.h"
#include "common/config/GraphRes.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/DebugLog.h"
#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"

#include <shlobj.h>
#include <shlwapi.h>

namespace Common {
namespace Config {

namespace {

// Log readers know the initialisation record by this line number.
const int kInitRecordLine = 58;
const DWORD kNoColor = 0xFFFFFFFF;

} // namespace

CBaseConfig::CBaseConfig() = default;

CBaseConfig::~CBaseConfig()
{
    Close();
    m_pGraphRes.reset();
    m_pWritableSettings.reset();
    m_pSettings.reset();
}

IXMLSettings* CBaseConfig::GetSettings()
{
    return m_pSettings.get();
}

IXMLWritableSettings* CBaseConfig::GetWritableSettings()
{
    return m_pWritableSettings.get();
}

bool CBaseConfig::Init()
{
    Tools::ScopedLock lock(m_lock);
    if (m_bLoaded)
        return true;
    if (m_bFailed)
        return false;

    const HRESULT hr = CoInitialize(nullptr);
    bool result = InitPaths(nullptr);
    if (result) {
        m_strDataFolder = GetDataFolder(m_strProgramFolder, CSIDL_COMMON_APPDATA);
        result = OpenPackage(L"\\config.cfs") && LoadSettings(L"\\interface.xml") &&
                 LoadWritableSettings(L"\\pref.xml") && (!m_bLoadGraphics || LoadGraphRes());
    }
    if (!result) {
        m_bLoaded = true;
        Close();
        if (hr == S_OK)
            CoUninitialize();
    }
    m_bFailed = !result;
    m_bLoaded = result;
    CString text(L"Init config ");
    if (!result)
        text += L"un";
    text += L"successful";
    CDebugLog& log = CDebugLog::Instance();
    log.m_nMessageLevel = 4;
    log.WriteRecord(4, "Common::Config::CBaseConfig::Init", kInitRecordLine, text);
    return result;
}

CGraphResImpl* CBaseConfig::GetGraphRes()
{
    if (!m_pGraphRes && !LoadGraphRes())
        return nullptr;
    return m_pGraphRes.get();
}

void CBaseConfig::ReleaseGraphRes()
{
    m_pGraphRes.reset();
}

void CBaseConfig::Close()
{
    Tools::ScopedLock lock(m_lock);
    if (!m_bLoaded)
        return;
    m_pSettings.reset();
    if (m_pWritableSettings) {
        try {
            m_pWritableSettings->Save();
        } catch (const _com_error&) {
            // Preferences that cannot be saved are lost; closing goes on.
        }
        m_pWritableSettings.reset();
    }
    m_pGraphRes.reset();
    m_bLoaded = false;
}

DWORD CBaseConfig::GetBackgroundColor(const CString& name)
{
    try {
        if (!m_pSettings)
            return kNoColor;
        CXMLElement backgrounds;
        m_pSettings->GetElement(L"//Interface/Preferences/Backgrounds", backgrounds);
        return backgrounds.GetColor(_bstr_t(name.GetString()), kNoColor);
    } catch (const _com_error&) {
        return kNoColor;
    }
}

bool CBaseConfig::InitPaths(HMODULE module)
{
    // A path cut at the buffer's end names another file: no paths at all then.
    const CString modulePath = GetModuleFileNameWithin(module, MAX_PATH);
    if (modulePath.IsEmpty())
        return false;
    wchar_t folder[MAX_PATH];
    lstrcpynW(folder, modulePath.GetString(), MAX_PATH);
    if (!PathRemoveFileSpecW(folder) || !PathAddBackslashW(folder))
        return false;
    m_strModulePath = modulePath;
    m_strProgramFolder = folder;
    return true;
}

bool CBaseConfig::OpenPackage(const CString& name)
{
    m_strPackagePath = m_strDataFolder + name;
    return m_package.Open(m_strPackagePath.GetString(), true, false);
}

bool CBaseConfig::LoadSettingsFromNode(IXMLDOMNode* node)
{
    std::unique_ptr<CXMLSettings> settings;
    try {
        settings.reset(new CXMLSettings);
        m_pSettings.reset();
        IXMLDOMElementPtr element(node);
        settings->ImportNode(CXMLElement(element));
        m_pSettings = std::move(settings);
        return true;
    } catch (const _com_error&) {
        return false;
    }
}

bool CBaseConfig::LoadSettings(const CString& name)
{
    try {
        // The old document goes even when the new one does not load.
        std::unique_ptr<CXMLSettings> settings(new CXMLSettings);
        m_pSettings.reset();
        IStreamPtr stream = m_package.OpenStream(name.GetString());
        settings->LoadStream(stream);
        m_pSettings = std::move(settings);
        return true;
    } catch (const _com_error&) {
        return false;
    }
}

bool CBaseConfig::LoadWritableSettings(const CString& name)
{
    try {
        m_strPackagePath = GetPrefsPath(name);
        std::unique_ptr<CXMLWritableSettings> settings(new CXMLWritableSettings);
        m_pWritableSettings.reset();
        settings->LoadFrom(_bstr_t(m_strPackagePath.GetString()), _bstr_t(name.GetString()), &m_package, false);
        m_pWritableSettings = std::move(settings);
        return true;
    } catch (const _com_error&) {
        return false;
    }
}

bool CBaseConfig::LoadGraphRes()
{
    try {
        std::unique_ptr<CGraphResImpl> graphics(new CGraphResImpl);
        m_pGraphRes.reset();
        if (m_pSettings) {
            CXMLElement resources;
            m_pSettings->GetElement(_bstr_t(GetResourcesPath().GetString()), resources);
            if (!graphics->Load(resources, &m_package))
                Tools::ThrowComError(E_FAIL);
        }
        m_pGraphRes = std::move(graphics);
        return true;
    } catch (const _com_error&) {
        return false;
    }
}

CString CBaseConfig::GetResourcesPath()
{
    return kResourcesPath;
}

CString CBaseConfig::GetDataFolder(const CString& folder, int csidl)
{
    Tools::CScopedHandle file(CreateFileW((folder + L"\\data.dat").GetString(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.IsValid())
        return CString();
    char bytes[MAX_PATH] = {};
    DWORD read = 0;
    if (!ReadFile(file.Get(), bytes, MAX_PATH, &read, nullptr) || read == 0)
        return CString();
    wchar_t name[MAX_PATH + 1] = {};
    OemToCharBuffW(bytes, name, read);
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, FALSE) || !PathAppendW(path, name) ||
        !PathAppendW(path, L"\\Data"))
        return CString();
    return path;
}

} // namespace Config
} // namespace Common
