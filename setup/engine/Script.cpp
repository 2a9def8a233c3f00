// The install-script interpreter: walks the nodes of a script and runs each
// node's handler.
#include "setup/engine/InstallManager.h"

#include "common/config/XMLElement.h"

void CInstallManager::RunScriptAt(const wchar_t*) {}
void CInstallManager::RunScript(const Common::Config::CXMLNodeList&, bool) {}
bool CInstallManager::CheckCondition(const Common::Config::CXMLElement&, bool) { return true; }
void CInstallManager::Call(const Common::Config::CXMLElement&) {}
void CInstallManager::SetCond(const Common::Config::CXMLElement&) {}
