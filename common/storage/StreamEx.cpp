// A memory stream over a movable global block.
#include "common/storage/StreamEx.h"

#include "common/tools/ComError.h"

#include <utility>

namespace Common {
namespace Storage {

using Tools::ThrowComError;
using Tools::ThrowIfFailed;

CStreamEx::CStreamEx()
{
    IStream* stream = nullptr;
    ThrowIfFailed(CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    m_pStream.Attach(stream);
}

CStreamEx::CStreamEx(IStream* stream) : m_pStream(stream)
{
}

CStreamEx::~CStreamEx() = default;

BYTE* CStreamEx::Lock()
{
    if (m_lock.Data() != nullptr)
        return static_cast<BYTE*>(m_lock.Data());
    if (!m_pStream)
        ThrowComError(E_POINTER);
    HGLOBAL block = nullptr;
    ThrowIfFailed(GetHGlobalFromStream(m_pStream, &block));
    Tools::CGlobalLock lock(block);
    BYTE* data = static_cast<BYTE*>(lock.Data());
    if (data == nullptr)
        ThrowComError(E_FAIL);
    m_lock = std::move(lock);
    return data;
}

DWORD CStreamEx::GetSize()
{
    if (!m_pStream)
        ThrowComError(E_POINTER);
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER end = {};
    ThrowIfFailed(m_pStream->Seek(zero, STREAM_SEEK_END, &end));
    ThrowIfFailed(m_pStream->Seek(zero, STREAM_SEEK_SET, nullptr));
    if (end.HighPart != 0)
        ThrowComError(E_FAIL);
    return end.LowPart;
}

void CStreamEx::SetSize(DWORD size)
{
    if (!m_pStream)
        ThrowComError(E_POINTER);
    ULARGE_INTEGER newSize;
    newSize.QuadPart = size;
    ThrowIfFailed(m_pStream->SetSize(newSize));
}

} // namespace Storage
} // namespace Common
