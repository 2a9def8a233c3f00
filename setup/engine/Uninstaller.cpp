// Registration of the uninstaller: its copy, the uninstall package, the
// components file and the Windows uninstall record.
#include "setup/engine/InstallManager.h"

void CInstallManager::RegisterUninstaller() {}
