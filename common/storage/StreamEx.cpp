// A memory stream over a movable global block.
#include "common/storage/StreamEx.h"

#include "common/tools/ComError.h"

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

CStreamEx::~CStreamEx()
{
    if (m_hLocked != nullptr)
        GlobalUnlock(m_hLocked);
    m_pStream = nullptr;
}

BYTE* CStreamEx::Lock()
{
    if (m_pData != nullptr)
        return m_pData;
    if (!m_pStream)
        ThrowComError(E_POINTER);
    HGLOBAL block = nullptr;
    ThrowIfFailed(GetHGlobalFromStream(m_pStream, &block));
    BYTE* data = static_cast<BYTE*>(GlobalLock(block));
    if (data == nullptr)
        ThrowComError(E_FAIL);
    m_hLocked = block;
    m_pData = data;
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
