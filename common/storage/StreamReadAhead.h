// Reads the next stream of the package on a thread of its own while the caller writes the last one.
#pragma once

#include "common/storage/PackedStorage.h"
#include "common/tools/ScopedHandle.h"

#include <windows.h>

#include <string>

namespace Common {
namespace Storage {

// One stream read ahead, at most, by one worker thread, while the caller's
// thread does something else (writes the stream before it to a file). Only a
// read that succeeds is kept: a stream the worker cannot read is opened by the
// caller as if nothing had been read ahead, so any failure is met and reported
// where and when it would be without the worker. The worker never traces. The
// storage must be held open (CStorage::CHold) for longer than this lives.
class CStreamReadAhead
{
public:
    explicit CStreamReadAhead(CPackedStorage& storage);
    // Waits for the worker's read, if any, and ends the thread.
    ~CStreamReadAhead();
    CStreamReadAhead(const CStreamReadAhead&) = delete;
    CStreamReadAhead& operator=(const CStreamReadAhead&) = delete;

    // Starts reading 'name' (a package path, as OpenStream takes it), dropping
    // whatever was read ahead before.
    void Start(const std::wstring& name);
    // Waits for the worker; the stream read ahead for 'name', or null when it
    // was not asked for or could not be read. What was read ahead is dropped
    // either way.
    IStreamPtr Take(const std::wstring& name);

private:
    enum EState
    {
        kIdle,    // nothing asked
        kAsked,   // m_strName waits for the worker
        kReady,   // the worker is done with m_strName: m_pStream, perhaps null
        kStopping
    };

    static unsigned __stdcall ThreadMain(void* self);
    void Run();
    // With m_lock held: waits until the worker is not reading.
    void WaitUntilSettled();

    CPackedStorage& m_storage;
    SRWLOCK m_lock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_changed = CONDITION_VARIABLE_INIT;
    EState m_state = kIdle;
    std::wstring m_strName;
    IStreamPtr m_pStream;
    Tools::CScopedHandle m_thread;
};

} // namespace Storage
} // namespace Common
