// The one holder template for the handles of platform APIs.
#pragma once

#include <cstdint>
#include <utility>

namespace Common {
namespace Tools {

// Owns one handle of a platform API and closes it once, with the API's own close
// function. Invalid is the API's "no handle" value (INVALID_HANDLE_VALUE is -1), the
// one an empty holder keeps; null never counts as a handle either, so that what a
// failed open returned can be held as it came back and tested with IsValid.
template <typename T, auto Close, std::intptr_t Invalid = 0>
class CUniqueHandle
{
public:
    CUniqueHandle() = default;
    explicit CUniqueHandle(T handle) : m_hHandle(handle) {}
    ~CUniqueHandle() { Reset(); }
    CUniqueHandle(const CUniqueHandle&) = delete;
    CUniqueHandle& operator=(const CUniqueHandle&) = delete;
    CUniqueHandle(CUniqueHandle&& other) noexcept : m_hHandle(other.Release()) {}
    CUniqueHandle& operator=(CUniqueHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    T Get() const { return m_hHandle; }
    bool IsValid() const { return m_hHandle != T() && m_hHandle != Empty(); }

    // Closes the handle held and takes the new one (which may be none).
    void Reset(T handle = Empty())
    {
        if (IsValid())
            Close(m_hHandle);
        m_hHandle = handle;
    }

    // Gives the handle up without closing it.
    T Release() { return std::exchange(m_hHandle, Empty()); }

    // For an API that hands the handle back through an out-parameter: closes the
    // handle held and lends the empty slot.
    T* Receive()
    {
        Reset();
        return &m_hHandle;
    }

private:
    static T Empty() { return reinterpret_cast<T>(Invalid); }

    T m_hHandle = Empty();
};

} // namespace Tools
} // namespace Common
