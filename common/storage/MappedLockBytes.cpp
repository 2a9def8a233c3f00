// Read-only lock bytes over a file through mapped windows.
#include "common/storage/MappedLockBytes.h"

#include <algorithm>
#include <cstring>

namespace Common {
namespace OLETools {

namespace {

// A multiple of the allocation granularity (64 KiB); eight of them map at most
// 8 MiB of the package at a time.
const ULONGLONG kWindowSize = 1024 * 1024;

} // namespace

ILockBytesPtr CMappedLockBytes::Open(const std::wstring& path)
{
    CMappedLockBytes* bytes = new CMappedLockBytes();
    ILockBytesPtr result(bytes, false);
    bytes->m_file.Reset(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!bytes->m_file.IsValid() || !GetFileSizeEx(bytes->m_file.Get(), &size) || size.QuadPart <= 0)
        return ILockBytesPtr();
    bytes->m_nSize = static_cast<ULONGLONG>(size.QuadPart);
    bytes->m_mapping.Reset(CreateFileMappingW(bytes->m_file.Get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!bytes->m_mapping.IsValid() || bytes->WindowAt(0) == nullptr)
        return ILockBytesPtr();
    return result;
}

const CMappedLockBytes::SWindow* CMappedLockBytes::WindowAt(ULONGLONG offset)
{
    const ULONGLONG start = offset - offset % kWindowSize;
    SWindow* oldest = &m_windows[0];
    for (SWindow& window : m_windows) {
        if (window.data.IsValid() && window.start == start) {
            window.lastUse = ++m_nUses;
            return &window;
        }
        if (!window.data.IsValid() || (oldest->data.IsValid() && window.lastUse < oldest->lastUse))
            oldest = &window;
    }
    *oldest = SWindow();
    const ULONGLONG length = std::min(kWindowSize, m_nSize - start);
    void* view = MapViewOfFile(m_mapping.Get(), FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start & 0xFFFFFFFF), static_cast<SIZE_T>(length));
    if (view == nullptr)
        return nullptr;
    oldest->data.Reset(static_cast<const BYTE*>(view));
    oldest->start = start;
    oldest->length = length;
    oldest->lastUse = ++m_nUses;
    return oldest;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::QueryInterface(REFIID iid, void** object)
{
    if (object == nullptr)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_ILockBytes) {
        *object = static_cast<ILockBytes*>(this);
        AddRef();
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE CMappedLockBytes::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nRefs));
}

ULONG STDMETHODCALLTYPE CMappedLockBytes::Release()
{
    const LONG refs = InterlockedDecrement(&m_nRefs);
    if (refs == 0)
        delete this;
    return static_cast<ULONG>(refs);
}

// As a file read: what lies past the end is simply not read.
HRESULT STDMETHODCALLTYPE CMappedLockBytes::ReadAt(ULARGE_INTEGER offset, void* buffer, ULONG length, ULONG* read)
{
    if (read != nullptr)
        *read = 0;
    if (buffer == nullptr && length != 0)
        return STG_E_INVALIDPOINTER;
    ULONGLONG position = offset.QuadPart;
    BYTE* target = static_cast<BYTE*>(buffer);
    ULONG done = 0;
    while (done < length && position < m_nSize) {
        const SWindow* window = WindowAt(position);
        if (window == nullptr)
            return STG_E_READFAULT;
        const ULONGLONG available = window->start + window->length - position;
        const ULONG chunk = static_cast<ULONG>(std::min<ULONGLONG>(length - done, available));
        std::memcpy(target + done, window->data.Get() + (position - window->start), chunk);
        done += chunk;
        position += chunk;
    }
    if (read != nullptr)
        *read = done;
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::WriteAt(ULARGE_INTEGER, const void*, ULONG, ULONG* written)
{
    if (written != nullptr)
        *written = 0;
    return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::Flush()
{
    return S_OK;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::SetSize(ULARGE_INTEGER)
{
    return STG_E_ACCESSDENIED;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}

HRESULT STDMETHODCALLTYPE CMappedLockBytes::UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD)
{
    return STG_E_INVALIDFUNCTION;
}

// No name and no region locks: the file's share mode already keeps writers out.
HRESULT STDMETHODCALLTYPE CMappedLockBytes::Stat(STATSTG* stat, DWORD)
{
    if (stat == nullptr)
        return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof(*stat));
    stat->type = STGTY_LOCKBYTES;
    stat->cbSize.QuadPart = m_nSize;
    stat->grfMode = STGM_READ | STGM_SHARE_DENY_WRITE;
    stat->grfLocksSupported = 0;
    return S_OK;
}

} // namespace OLETools
} // namespace Common
