// An owned critical section and its scoped lock.
#pragma once

#include <windows.h>

namespace Common {
namespace Tools {

// An owned critical section, made with spin count 0. Construction raises
// _com_error with the HRESULT of the last Windows error when the platform refuses.
class CCriticalSection
{
public:
    CCriticalSection();
    ~CCriticalSection();
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Enter() { EnterCriticalSection(&m_section); }
    void Leave() { LeaveCriticalSection(&m_section); }
    CRITICAL_SECTION& Native() { return m_section; }

private:
    CRITICAL_SECTION m_section;
};

// Initialises a critical section for the storage classes. When the platform
// cannot, the process gets a non-continuable STATUS_NO_MEMORY exception: nothing
// can go on without the lock.
void InitializeCriticalSectionOrRaise(CRITICAL_SECTION& section);

// Holds one level of a critical section for its lifetime.
class ScopedLock
{
public:
    explicit ScopedLock(CRITICAL_SECTION& section) : m_pSection(&section) { EnterCriticalSection(m_pSection); }
    explicit ScopedLock(CCriticalSection& section) : ScopedLock(section.Native()) {}
    ~ScopedLock() { Unlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

    // Leaves the section now; the destructor then leaves nothing.
    void Unlock()
    {
        if (m_pSection != nullptr) {
            LeaveCriticalSection(m_pSection);
            m_pSection = nullptr;
        }
    }

private:
    CRITICAL_SECTION* m_pSection;
};

} // namespace Tools
} // namespace Common
