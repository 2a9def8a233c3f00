// Registry nodes of the scripts, the update-package association and the version
// values of an update.
#include "setup/engine/InstallManager.h"

#include "common/config/XMLElement.h"

void AddRegEntry(const Common::Config::CXMLElement&) {}
void RemoveRegEntry(const Common::Config::CXMLElement&) {}
HKEY RootKeyFromName(const CString&) { return nullptr; }
void SetClassesRootValue(const CString&, const CString&) {}
void CInstallManager::AssociateUpdatePackages(bool, const CString&) {}
void CInstallManager::UpdateVersionInfo() {}
