// The configuration base of a program whose data lives in a package file.
#pragma once

#include "common/config/ISettings.h"
#include "common/storage/PackedStorage.h"
#include "common/tools/CriticalSection.h"

#include <memory>

namespace Common {
namespace Config {

class CXMLSettings;
class CXMLWritableSettings;

// The configuration of a program that keeps its data in a package file: finds and
// opens the package, loads the interface document and the theme from it, and
// answers path questions.
class CBaseConfig : public ISettings, public IPathSettings
{
public:
    CBaseConfig();
    ~CBaseConfig() override;
    CBaseConfig(const CBaseConfig&) = delete;
    CBaseConfig& operator=(const CBaseConfig&) = delete;

    IXMLSettings* GetSettings() override;
    IXMLWritableSettings* GetWritableSettings() override;
    bool Init() override;
    CGraphResImpl* GetGraphRes() override;
    void ReleaseGraphRes() override;
    void Close() override;
    DWORD GetBackgroundColor(const CString& name) override;
    bool InitPaths(HMODULE module) override;
    bool OpenPackage(const CString& name) override;
    bool LoadSettingsFromNode(IXMLDOMNode* node) override;
    bool LoadSettings(const CString& name) override;
    bool LoadWritableSettings(const CString& name) override;
    bool LoadGraphRes() override;
    CString GetResourcesPath() override;
    CString GetDataFolder(const CString& folder, int csidl) override;

    const CString& GetDataPath() override { return m_strDataFolder; }
    const CString& GetSparePath2() override { return m_strSparePathB; }
    const CString& GetSparePath1() override { return m_strSparePathA; }
    const CString& GetModuleFolder() override { return m_strProgramFolder; }

    const CString& GetModulePath() const { return m_strModulePath; }
    // The install package: its files are opened and listed through it.
    Storage::CPackedStorage& GetPackage() { return m_package; }

protected:
    CString m_strModulePath;
    CString m_strSparePathA;
    CString m_strPackagePath;
    CString m_strProgramFolder;
    CString m_strDataFolder;
    CString m_strSparePathB;
    bool m_bLoaded = false;
    bool m_bFailed = false;
    bool m_bLoadGraphics = true;
    Storage::CPackedStorage m_package;
    std::unique_ptr<CXMLSettings> m_pSettings;
    std::unique_ptr<CXMLWritableSettings> m_pWritableSettings;
    std::unique_ptr<CGraphResImpl> m_pGraphRes;
    Tools::CCriticalSection m_lock;
};

} // namespace Config
} // namespace Common
