// The message pipe between setup and lockscout.
#pragma once

#include <windows.h>

// The name of the pipe between setup and its 64-bit companion lockscout.
#define LOCKSCOUT_PIPE_NAME L"\\\\.\\pipe\\5DD78A13-39AA-4EFC-9EE7-2BEA61403EEE"

// The owner of received messages; one side implements each operation.
class IPipeDataHandler
{
public:
    // Server side: true when *reply holds a new byte array (freed with delete[] by
    // the caller after sending) that is to be sent; false: nothing is sent.
    virtual bool OnRequest(const BYTE* request, DWORD length, BYTE** reply, DWORD* replyLength) = 0;
    // Client side: the caller ignores the result and frees the buffer afterwards.
    virtual bool OnReply(const BYTE* reply, DWORD length) = 0;

protected:
    ~IPipeDataHandler() = default;
};

// One end of the message-mode pipe. A message travels as two pipe messages: its
// 4-byte length, then its body; a length of 0 is the end frame.
// The channel does not close its handle; its owner does.
class CPipeChannel
{
public:
    // Larger announced lengths are refused before any allocation: a watch list or
    // an answer never comes near it.
    static const DWORD kMaxMessageBytes = 32 * 1024 * 1024;
    // The longest wait for one read or write on a handle opened for overlapped I/O
    // (the client's): a server that stops answering must not freeze the wizard. A
    // scan of every process and its modules takes a few seconds at most.
    static const DWORD kDefaultTimeoutMs = 30000;

    explicit CPipeChannel(IPipeDataHandler* owner = nullptr) : m_pOwner(owner) {}
    CPipeChannel(const CPipeChannel&) = delete;
    CPipeChannel& operator=(const CPipeChannel&) = delete;

    void SetOwner(IPipeDataHandler* owner) { m_pOwner = owner; }
    HANDLE GetHandle() const { return m_hPipe; }
    // Takes an end opened elsewhere (the server's pipe, or a test's).
    void Attach(HANDLE pipe) { m_hPipe = pipe; }
    bool IsConnected() const { return m_bConnected; }

    void SetTimeout(DWORD timeoutMs) { m_dwTimeoutMs = timeoutMs; }

    // Client: opens the pipe by name (29 attempts, 250 ms apart) for overlapped I/O,
    // letting the server only identify the caller, and switches it to message read
    // mode. Any local program may own a pipe of that name: an end whose server is not
    // the given process is closed here and refused.
    bool Connect(DWORD serverProcessId);
    // Client: sends the request (null with length 0 sends the end frame) and hands
    // the reply to the owner's OnReply.
    bool Exchange(const BYTE* request, DWORD length);

    // True only when the length and the body were both written whole.
    bool WriteMessage(const BYTE* data, DWORD length);
    // True with a new array of exactly *length bytes (freed with delete[] by the
    // caller). False on a failed or short read, an oversized length, or the end
    // frame; *data is then null and *length 0.
    bool ReadMessage(BYTE** data, DWORD* length);

private:
    // One read or write, waiting at most the time limit when the handle is
    // overlapped. After a timeout the order of the conversation is lost: every later
    // transfer fails at once.
    bool Transfer(bool write, BYTE* buffer, DWORD length, DWORD* done);

    IPipeDataHandler* m_pOwner;
    HANDLE m_hPipe = INVALID_HANDLE_VALUE;
    bool m_bConnected = false;
    DWORD m_dwTimeoutMs = kDefaultTimeoutMs;
    bool m_bTimedOut = false;
};
