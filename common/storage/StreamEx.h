// A memory stream over a movable global block.
#pragma once

#include <windows.h>
#include "common/tools/ComSupport.h"
#include "common/tools/ScopedHandle.h"

namespace Common {
namespace Storage {

// A memory stream over a movable global block, whose bytes can be reached
// directly. Failures raise _com_error.
class CStreamEx
{
public:
    CStreamEx();                          // a new, empty stream
    explicit CStreamEx(IStream* stream);  // takes a reference; may be null
    virtual ~CStreamEx();
    CStreamEx(const CStreamEx&) = delete;
    CStreamEx& operator=(const CStreamEx&) = delete;

    // The block's address, locked until destruction.
    BYTE* Lock();
    // The stream's length; the position goes back to the start. E_POINTER when
    // there is no stream, E_FAIL when it is too long to hold in memory.
    DWORD GetSize();
    void SetSize(DWORD size);

    IStream* Stream() const { return m_pStream; }

private:
    IStreamPtr m_pStream;
    // After the stream: unlocked before the stream lets the block go.
    Tools::CGlobalLock m_lock{nullptr};
};

} // namespace Storage
} // namespace Common
