// The "Files" install step and the engine services it brings: macros, step
// captions, the shared data folder.
#include "setup/engine/InstallManager.h"

#include "common/config/XMLElement.h"

bool CInstallManager::CopyFiles() { return true; }
bool CInstallManager::CreateTargetDataDir() { return true; }
void CInstallManager::CopyFileEntry(const CString&, const Common::Config::CXMLElement&) {}
void CInstallManager::CopyStorageFolder(const CString&, const CString&) {}
void CInstallManager::CopyFile(IStream*, const CString&, bool*) {}
bool CInstallManager::IsNewerVersion(const CString&, IStream*, CString&) { return true; }
void CInstallManager::InitMacros() {}
void CInstallManager::SetStepCaption(const wchar_t*) {}
bool CInstallManager::NodeExists(const wchar_t*) { return false; }
DWORD PackVersion(const CString&) { return 0; }
