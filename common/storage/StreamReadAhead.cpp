// Reads the next stream of the package on a thread of its own while the caller writes the last one.
#include "common/storage/StreamReadAhead.h"

#include <process.h>

namespace Common {
namespace Storage {

namespace {

// A larger stream is read by the caller alone, so that no more than one large
// stream is in memory at a time.
const DWORD kReadAheadLimit = 8 * 1024 * 1024;

} // namespace

CStreamReadAhead::CStreamReadAhead(CPackedStorage& storage) : m_storage(storage)
{
    // Without the thread nothing is read ahead: Take gives null and the caller
    // reads each stream itself.
    const uintptr_t thread = _beginthreadex(nullptr, 0, &CStreamReadAhead::ThreadMain, this, 0, nullptr);
    if (thread != 0)
        m_thread.Reset(reinterpret_cast<HANDLE>(thread));
}

CStreamReadAhead::~CStreamReadAhead()
{
    if (!m_thread.IsValid())
        return;
    AcquireSRWLockExclusive(&m_lock);
    WaitUntilSettled();
    m_state = kStopping;
    m_pStream = nullptr;
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_changed);
    WaitForSingleObject(m_thread.Get(), INFINITE);
}

void CStreamReadAhead::Start(const std::wstring& name)
{
    if (!m_thread.IsValid())
        return;
    // Copied before the lock is taken: nothing may raise while it is held.
    std::wstring asked = name;
    AcquireSRWLockExclusive(&m_lock);
    WaitUntilSettled();
    m_strName.swap(asked);
    m_pStream = nullptr;
    m_state = kAsked;
    ReleaseSRWLockExclusive(&m_lock);
    WakeAllConditionVariable(&m_changed);
}

IStreamPtr CStreamReadAhead::Take(const std::wstring& name)
{
    IStreamPtr stream;
    if (!m_thread.IsValid())
        return stream;
    AcquireSRWLockExclusive(&m_lock);
    WaitUntilSettled();
    if (m_state == kReady && m_strName == name)
        stream = m_pStream;
    m_pStream = nullptr;
    m_state = kIdle;
    ReleaseSRWLockExclusive(&m_lock);
    return stream;
}

void CStreamReadAhead::WaitUntilSettled()
{
    while (m_state == kAsked)
        SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
}

unsigned __stdcall CStreamReadAhead::ThreadMain(void* self)
{
    static_cast<CStreamReadAhead*>(self)->Run();
    return 0;
}

void CStreamReadAhead::Run()
{
    AcquireSRWLockExclusive(&m_lock);
    for (;;) {
        while (m_state != kAsked && m_state != kStopping)
            SleepConditionVariableSRW(&m_changed, &m_lock, INFINITE, 0);
        if (m_state == kStopping)
            break;
        // The name stays as it is while asked: only this thread moves on from
        // kAsked, and the others wait for it to.
        const std::wstring& name = m_strName;
        ReleaseSRWLockExclusive(&m_lock);
        IStreamPtr stream;
        try {
            stream = m_storage.OpenStreamAhead(name, kReadAheadLimit);
        } catch (...) {
            // Nothing may leave the thread, and the caller waits for kReady:
            // it reads the stream itself.
            stream = nullptr;
        }
        AcquireSRWLockExclusive(&m_lock);
        m_pStream = stream;
        m_state = kReady;
        WakeAllConditionVariable(&m_changed);
    }
    ReleaseSRWLockExclusive(&m_lock);
}

} // namespace Storage
} // namespace Common
