// A temporary folder of setup's own and the files held in it.
#pragma once

#include "common/tools/ScopedHandle.h"
#include "framework/WinString.h"

#include <map>
#include <set>

namespace Common {
namespace Tools {

// A temporary folder of its own (the system temporary path joined with a new GUID)
// and the files placed in it. On destruction every registered file is deleted,
// then the folder; what cannot be deleted now is deleted at the next restart. The
// system temporary folder itself is never taken as the folder.
class CTempFiles
{
public:
    CTempFiles() = default;
    virtual ~CTempFiles();
    CTempFiles(const CTempFiles&) = delete;
    CTempFiles& operator=(const CTempFiles&) = delete;

    // The folder, made on first use; empty when the system temporary path cannot
    // be read or no GUID can be made (a failure to create the folder is left to
    // the caller's write to find).
    CString GetTempFolder();
    // The folder joined with the name (a new GUID when the name is empty),
    // registered for deletion; empty, and nothing registered, without a folder.
    // The file itself is the caller's to write.
    CString GetFilePath(const CString& name);

    // Keeps a registered file open for reading with writing, deleting and renaming
    // shared to nobody, so that the written file cannot be replaced before it is
    // used (a program can still be started from it). The hold lasts until
    // ReleaseFile or the destruction of the set. False when the path is not
    // registered or the file cannot be opened so.
    bool HoldFile(const CString& path);
    void ReleaseFile(const CString& path);
    bool IsHeld(const CString& path) const { return m_Holds.count(path) != 0; }

    const std::set<CString>& GetFiles() const { return m_Files; }

private:
    std::set<CString> m_Files;
    CString m_strFolder;
    std::map<CString, CScopedHandle> m_Holds;
};

// The system temporary path, however long: read with room for 260 characters,
// and once more with the size the platform asks for when that is too little;
// empty when it cannot be read. The reader is GetTempPathW but for tests.
typedef DWORD(WINAPI* TempPathReader)(DWORD room, LPWSTR buffer);
CString ReadTempPath(TempPathReader reader = &GetTempPathW);

} // namespace Tools
} // namespace Common
