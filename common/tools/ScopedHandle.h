// Owners of a kernel handle, a search, a SID and of local, task or global memory.
#pragma once

#include <windows.h>

#include "common/tools/UniqueHandle.h"

namespace Common {
namespace Tools {

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
using CScopedHandle = CUniqueHandle<HANDLE, &::CloseHandle, -1>;

// Owns a FindFirstFile search.
using CFindHandle = CUniqueHandle<HANDLE, &::FindClose, -1>;

// Owns memory a system function allocated with LocalAlloc for the caller.
template <typename T>
using CLocalMemory = CUniqueHandle<T, &::LocalFree>;

// Owns memory a system function allocated with the COM task allocator for the caller.
template <typename T>
using CTaskMemory = CUniqueHandle<T, &::CoTaskMemFree>;

// Owns a SID that AllocateAndInitializeSid made.
using CAllocatedSid = CUniqueHandle<PSID, &::FreeSid>;

// Owns a global memory block (GlobalAlloc's).
using CGlobalMemory = CUniqueHandle<HGLOBAL, &::GlobalFree>;

// Holds a global memory block locked for its lifetime.
class CGlobalLock
{
public:
    explicit CGlobalLock(HGLOBAL block) : m_pData(block != nullptr ? GlobalLock(block) : nullptr)
    {
        // Only a block that really locked is unlocked.
        if (m_pData != nullptr)
            m_locked.Reset(block);
    }

    void* Data() const { return m_pData; }

private:
    CUniqueHandle<HGLOBAL, &::GlobalUnlock> m_locked;
    void* m_pData;
};

} // namespace Tools
} // namespace Common
