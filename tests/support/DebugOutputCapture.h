// Listens to the debugger output of any process.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace TestSupport {

// Listens to OutputDebugString through the DBWIN_BUFFER protocol (shared memory
// and two events), the way a debug monitor does. One listener per Wine prefix at a
// time: a second one reports !IsListening(). Each message is one output call, as
// the ANSI text the system hands to monitors.
class CDebugOutputCapture
{
public:
    // processId 0 keeps the messages of every process.
    explicit CDebugOutputCapture(DWORD processId = 0);
    ~CDebugOutputCapture();
    CDebugOutputCapture(const CDebugOutputCapture&) = delete;
    CDebugOutputCapture& operator=(const CDebugOutputCapture&) = delete;

    bool IsListening() const { return m_hThread != nullptr; }
    void SetProcessFilter(DWORD processId);
    // Called on the listening thread with each kept message before the writer may
    // go on: a hook that waits holds the writer inside OutputDebugString (for up to
    // the system's 10 s), for instance while a test looks at its windows.
    void SetMessageHook(std::function<void(const std::string&)> hook);

    // Messages received so far.
    std::vector<std::string> Messages() const;
    void Clear();
    // Takes what is already written, stops listening and returns every message.
    std::vector<std::string> Stop();

private:
    static DWORD WINAPI ThreadMain(void* self);
    void Listen();

    HANDLE m_hMapping = nullptr;
    void* m_pView = nullptr;
    HANDLE m_hBufferReady = nullptr;
    HANDLE m_hDataReady = nullptr;
    HANDLE m_hStop = nullptr;
    HANDLE m_hThread = nullptr;
    mutable CRITICAL_SECTION m_lock;
    volatile LONG m_nProcessId;
    std::vector<std::string> m_messages;
    std::function<void(const std::string&)> m_hook;
};

// The "Setup: " trace lines among the messages, each without its line feed.
std::vector<std::string> SetupTraceLines(const std::vector<std::string>& messages);

} // namespace TestSupport
