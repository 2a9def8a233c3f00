#include "common/win32/PipeChannel.h"

#include <memory>
#include <new>

namespace {

const int kConnectAttempts = 29;
const DWORD kConnectPauseMs = 250;

} // namespace

bool CPipeChannel::Connect()
{
    m_bConnected = false;
    for (int attempt = 0; attempt < kConnectAttempts; ++attempt) {
        m_hPipe = ::CreateFileW(LOCKSCOUT_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                nullptr);
        if (m_hPipe != INVALID_HANDLE_VALUE) {
            m_bConnected = true;
            break;
        }
        ::Sleep(kConnectPauseMs);
    }
    if (m_bConnected) {
        DWORD mode = PIPE_READMODE_MESSAGE;
        m_bConnected = ::SetNamedPipeHandleState(m_hPipe, &mode, nullptr, nullptr) != FALSE;
    }
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
    if (!::WriteFile(m_hPipe, header, sizeof(header), &written, nullptr) || written != sizeof(header))
        return false;
    // The body goes as its own message also when it is empty: the reader of an end
    // frame expects the pair.
    static const BYTE kNothing = 0;
    written = 0;
    if (!::WriteFile(m_hPipe, length != 0 ? data : &kNothing, length, &written, nullptr) || written != length)
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
    if (!::ReadFile(m_hPipe, header, sizeof(header), &read, nullptr) || read != sizeof(header))
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
    if (!::ReadFile(m_hPipe, body.get(), announced, &read, nullptr) || read != announced)
        return false;
    *data = body.release();
    *length = announced;
    return true;
}
