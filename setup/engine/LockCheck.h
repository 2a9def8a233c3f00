// The lock check: the package's programs that are running, and closing them.
#pragma once

#include "common/win32/ProcessInfo.h"

class CInstallManager;

// The package's program files (".exe" and ".dll" of "//Interface/SetupFiles") and
// the "//Interface/BusyCheck" files, added to the set. With fullPathsOnly the
// entries' "short" attribute is ignored. A read failure is traced; what was
// collected until then stays.
void GetPackageExecutables(CInstallManager& engine, Common::Win32::WatchSet& files, bool fullPathsOnly);
