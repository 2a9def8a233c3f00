// The configuration object of setup and where it finds its package.
#pragma once

#include "common/config/BaseConfig.h"

namespace Common {
namespace Config {

// The configuration object of setup: the package comes from "/i", from the file
// beside the program named like it with ".cfs", or from the program's resources.
class CSetupConfig : public CBaseConfig
{
public:
    CSetupConfig() = default;

    bool Init() override;
    bool OpenPackage(const CString& name) override;
    bool LoadWritableSettings(const CString& name) override;
    CString GetPrefsPath(const CString& name) override;
    CString GetDataFolder(const CString& folder, int csidl) override;

    // The package that "/i" names, tried first by Init; empty when none was named.
    void SetPackageArgument(const CString& argument) { m_strPackageArgument = argument; }

    // The package path that "/i" names: a relative path that is not a UNC path
    // belongs to the program folder; others stand as given. Empty when the join
    // does not fit a path.
    static CString ResolvePackageArgument(const CString& argument, const CString& programFolder);

private:
    CString m_strPackageArgument;
};

// The one configuration object, built on first use. Used after the process has
// destroyed it, it raises std::logic_error "Dead Reference Detected".
CSetupConfig& GetSetupConfig();

} // namespace Config
} // namespace Common
