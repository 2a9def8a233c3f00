// The message pipe between setup and lockscout.
#include "common/win32/PipeChannel.h"

#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"

#include <memory>
#include <new>

namespace {

const int kConnectAttempts = 29;
const DWORD kConnectPauseMs = 250;

} // namespace

bool CPipeChannel::Connect(DWORD serverProcessId)
{
    m_bConnected = false;
    m_bTimedOut = false;
    m_hPipe = INVALID_HANDLE_VALUE;
    // Held here until the server is known: a refused end is never handed out, so
    // it is closed here rather than by the owner.
    Common::Tools::CScopedHandle pipe;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        // Identification only: whoever owns the name must not act as this (elevated)
        // process.
        pipe.Reset(::CreateFileW(LOCKSCOUT_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr));
        if (pipe.IsValid())
            break;
        ::Sleep(kConnectPauseMs);
    }
    if (!pipe.IsValid())
        return false;
    ULONG server = 0;
    if (!::GetNamedPipeServerProcessId(pipe.Get(), &server) || server != serverProcessId) {
        SetupTrace(L"Pipe server is process %u, not lockscout (%u): refused", static_cast<unsigned>(server),
                   static_cast<unsigned>(serverProcessId));
        return false;
    }
    m_hPipe = pipe.Release();
    m_bConnected = true;
    DWORD mode = PIPE_READMODE_MESSAGE;
    m_bConnected = ::SetNamedPipeHandleState(m_hPipe, &mode, nullptr, nullptr) != FALSE;
    return m_bConnected;
}

bool CPipeChannel::Exchange(const BYTE* request, DWORD length)
{
    if (m_hPipe == INVALID_HANDLE_VALUE)
        return false;
    if (!WriteMessage(request, length))
        return false;
    BYTE* reply = nullptr;
    DWORD replyLength = 0;
    if (!ReadMessage(&reply, &replyLength))
        return false;
    std::unique_ptr<BYTE[]> owned(reply);
    if (m_pOwner != nullptr)
        m_pOwner->OnReply(owned.get(), replyLength);
    return true;
}

bool CPipeChannel::WriteMessage(const BYTE* data, DWORD length)
{
    if (length != 0 && data == nullptr)
        return false;
    BYTE header[4] = {static_cast<BYTE>(length), static_cast<BYTE>(length >> 8), static_cast<BYTE>(length >> 16),
                      static_cast<BYTE>(length >> 24)};
    DWORD written = 0;
    if (!Transfer(true, header, sizeof(header), &written) || written != sizeof(header))
        return false;
    // The body goes as its own message also when it is empty: the reader of an end
    // frame expects the pair.
    BYTE nothing = 0;
    written = 0;
    if (!Transfer(true, length != 0 ? const_cast<BYTE*>(data) : &nothing, length, &written) || written != length)
        return false;
    return true;
}

bool CPipeChannel::ReadMessage(BYTE** data, DWORD* length)
{
    if (data == nullptr || length == nullptr)
        return false;
    *data = nullptr;
    *length = 0;
    BYTE header[4] = {};
    DWORD read = 0;
    // A header message longer than 4 bytes fails with ERROR_MORE_DATA: not a frame.
    if (!Transfer(false, header, sizeof(header), &read) || read != sizeof(header))
        return false;
    const DWORD announced = static_cast<DWORD>(header[0]) | (static_cast<DWORD>(header[1]) << 8) |
                            (static_cast<DWORD>(header[2]) << 16) | (static_cast<DWORD>(header[3]) << 24);
    if (announced == 0 || announced > kMaxMessageBytes)
        return false;
    std::unique_ptr<BYTE[]> body(new (std::nothrow) BYTE[announced]);
    if (!body)
        return false;
    read = 0;
    // A body message longer than announced fails with ERROR_MORE_DATA, a shorter one
    // comes short: both are refused.
    if (!Transfer(false, body.get(), announced, &read) || read != announced)
        return false;
    *data = body.release();
    *length = announced;
    return true;
}

bool CPipeChannel::Transfer(bool write, BYTE* buffer, DWORD length, DWORD* done)
{
    *done = 0;
    if (m_bTimedOut)
        return false;
    Common::Tools::CScopedHandle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.IsValid())
        return false;
    // A synchronous handle (the server's) completes within the call.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    const BOOL completed = write ? ::WriteFile(m_hPipe, buffer, length, done, &overlapped)
                                 : ::ReadFile(m_hPipe, buffer, length, done, &overlapped);
    if (completed)
        return true;
    if (::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (::WaitForSingleObject(event.Get(), m_dwTimeoutMs) != WAIT_OBJECT_0) {
        ::CancelIo(m_hPipe);
        // The system may use the buffer and 'overlapped' until the cancel completes.
        ::GetOverlappedResult(m_hPipe, &overlapped, done, TRUE);
        *done = 0;
        m_bTimedOut = true;
        SetupTrace(L"Pipe %s timed out after %u ms", write ? L"write" : L"read", static_cast<unsigned>(m_dwTimeoutMs));
        return false;
    }
    return ::GetOverlappedResult(m_hPipe, &overlapped, done, FALSE) != FALSE;
}
