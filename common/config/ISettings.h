// The interfaces of a program's configuration: settings, preferences, theme.
#pragma once

#include "framework/WinString.h"

#include <windows.h>
#include <msxml2.h>

namespace Common {
namespace Config {

class CGraphResImpl;
class IXMLSettings;
class IXMLWritableSettings;

// A program's configuration: its interface document, preferences, theme and
// package.
class ISettings
{
public:
    virtual IXMLSettings* GetSettings() = 0;
    virtual IXMLWritableSettings* GetWritableSettings() = 0;
    virtual ~ISettings() = default;
    virtual bool Init() = 0;
    virtual CGraphResImpl* GetGraphRes() = 0;
    virtual void ReleaseGraphRes() = 0;
    virtual void Close() = 0;
    virtual DWORD GetBackgroundColor(const CString& name) = 0;
    virtual bool InitPaths(HMODULE module) = 0;
    virtual bool OpenPackage(const CString& name) = 0;
    virtual bool LoadSettingsFromNode(IXMLDOMNode* node) = 0;
    virtual bool LoadSettings(const CString& name) = 0;
    virtual bool LoadWritableSettings(const CString& name) = 0;
    virtual bool LoadGraphRes() = 0;
    virtual CString GetResourcesPath() = 0;
    virtual CString GetPrefsPath(const CString& name) = 0;
    virtual CString GetDataFolder(const CString& folder, int csidl) = 0;
};

// The folders a program works with.
class IPathSettings
{
public:
    virtual const CString& GetDataPath() = 0;
    virtual const CString& GetSparePath2() = 0;
    virtual const CString& GetSparePath1() = 0;
    virtual const CString& GetModuleFolder() = 0; // with a trailing backslash

protected:
    ~IPathSettings() = default;
};

} // namespace Config
} // namespace Common
