// Read-only lock bytes over a file through mapped windows.
#pragma once

#include "common/tools/ComSupport.h"
#include "common/tools/ScopedHandle.h"

#include <windows.h>
#include <objbase.h>

#include <string>

namespace Common {
namespace OLETools {

// Read-only lock bytes over a file, served from mapped windows of it. The
// platform's storage reads a stream one sector at a time; over its own file
// lock bytes each sector is a seek and a read, here it is a copy from memory.
// Only a few windows of the file are mapped at once, so that neither the
// address space nor the resident memory grows with the package; several, since
// the storage goes back and forth between a stream's sectors, the FAT and the
// directory. The file is opened shared for reading only, as
// STGM_SHARE_DENY_WRITE opens it: nobody may change it under the mapping.
class CMappedLockBytes final : public ILockBytes
{
public:
    // Null when the file cannot be opened or mapped (missing, empty, in use for
    // writing): the caller then lets the platform open it and report why.
    static ILockBytesPtr Open(const std::wstring& path);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG length, ULONG* read) override;
    HRESULT STDMETHODCALLTYPE WriteAt(ULARGE_INTEGER offset, const void* buffer, ULONG length, ULONG* written) override;
    HRESULT STDMETHODCALLTYPE Flush() override;
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override;
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER length, DWORD type) override;
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER length, DWORD type) override;
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override;

private:
    CMappedLockBytes() = default;
    ~CMappedLockBytes() = default;
    CMappedLockBytes(const CMappedLockBytes&) = delete;
    CMappedLockBytes& operator=(const CMappedLockBytes&) = delete;

    struct SWindow
    {
        // The mapped view, unmapped with the window.
        Tools::CUniqueHandle<const BYTE*, &::UnmapViewOfFile> data;
        ULONGLONG start = 0;
        ULONGLONG length = 0;
        ULONGLONG lastUse = 0;
    };
    static const size_t kWindows = 8;

    // The window that holds the offset, mapped in place of the least recently
    // used one when none does; null when it cannot be mapped.
    const SWindow* WindowAt(ULONGLONG offset);

    LONG m_nRefs = 1;
    Tools::CScopedHandle m_file;
    Tools::CScopedHandle m_mapping;
    ULONGLONG m_nSize = 0;
    SWindow m_windows[kWindows];
    ULONGLONG m_nUses = 0;
};

} // namespace OLETools
} // namespace Common
