// Owners of a kernel handle and of a locked global block.
#pragma once

#include <windows.h>

namespace Common {
namespace Tools {

// Owns a kernel handle; null and INVALID_HANDLE_VALUE both mean "none".
class CScopedHandle
{
public:
    CScopedHandle() = default;
    explicit CScopedHandle(HANDLE handle) : m_hHandle(handle) {}
    ~CScopedHandle() { Reset(); }
    CScopedHandle(const CScopedHandle&) = delete;
    CScopedHandle& operator=(const CScopedHandle&) = delete;
    CScopedHandle(CScopedHandle&& other) noexcept : m_hHandle(other.Release()) {}
    CScopedHandle& operator=(CScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    HANDLE Get() const { return m_hHandle; }
    bool IsValid() const { return m_hHandle != nullptr && m_hHandle != INVALID_HANDLE_VALUE; }

    void Reset(HANDLE handle = nullptr)
    {
        if (IsValid())
            CloseHandle(m_hHandle);
        m_hHandle = handle;
    }

    HANDLE Release()
    {
        HANDLE handle = m_hHandle;
        m_hHandle = nullptr;
        return handle;
    }

private:
    HANDLE m_hHandle = nullptr;
};

// Holds a global memory block locked for its lifetime.
class CGlobalLock
{
public:
    explicit CGlobalLock(HGLOBAL block) : m_hBlock(block), m_pData(block != nullptr ? GlobalLock(block) : nullptr) {}
    ~CGlobalLock()
    {
        if (m_pData != nullptr)
            GlobalUnlock(m_hBlock);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;

    void* Data() const { return m_pData; }

private:
    HGLOBAL m_hBlock;
    void* m_pData;
};

} // namespace Tools
} // namespace Common
