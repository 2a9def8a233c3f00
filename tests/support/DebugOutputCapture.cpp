// Listens to the debugger output of any process.
#include "tests/support/DebugOutputCapture.h"

#include <cstring>
#include <utility>

namespace TestSupport {

namespace {

const DWORD kBufferSize = 4096;

} // namespace

CDebugOutputCapture::CDebugOutputCapture(DWORD processId) : m_nProcessId(static_cast<LONG>(processId))
{
    InitializeCriticalSection(&m_lock);
    m_hMapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kBufferSize, L"DBWIN_BUFFER");
    if (m_hMapping == nullptr || GetLastError() == ERROR_ALREADY_EXISTS)
        return; // another monitor holds the buffer
    m_pView = MapViewOfFile(m_hMapping, FILE_MAP_READ, 0, 0, kBufferSize);
    m_hBufferReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_BUFFER_READY");
    m_hDataReady = CreateEventW(nullptr, FALSE, FALSE, L"DBWIN_DATA_READY");
    m_hStop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (m_pView == nullptr || m_hBufferReady == nullptr || m_hDataReady == nullptr || m_hStop == nullptr)
        return;
    m_hThread = CreateThread(nullptr, 0, &CDebugOutputCapture::ThreadMain, this, 0, nullptr);
    if (m_hThread != nullptr)
        SetEvent(m_hBufferReady);
}

CDebugOutputCapture::~CDebugOutputCapture()
{
    Stop();
    if (m_pView != nullptr)
        UnmapViewOfFile(m_pView);
    for (HANDLE h : {m_hMapping, m_hBufferReady, m_hDataReady, m_hStop})
        if (h != nullptr)
            CloseHandle(h);
    DeleteCriticalSection(&m_lock);
}

void CDebugOutputCapture::SetMessageHook(std::function<void(const std::string&)> hook)
{
    EnterCriticalSection(&m_lock);
    m_hook = std::move(hook);
    LeaveCriticalSection(&m_lock);
}

void CDebugOutputCapture::SetProcessFilter(DWORD processId)
{
    InterlockedExchange(&m_nProcessId, static_cast<LONG>(processId));
}

DWORD WINAPI CDebugOutputCapture::ThreadMain(void* self)
{
    static_cast<CDebugOutputCapture*>(self)->Listen();
    return 0;
}

void CDebugOutputCapture::Listen()
{
    // Data first: a message written just before Stop is still taken.
    const HANDLE waits[2] = {m_hDataReady, m_hStop};
    for (;;) {
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
        if (result != WAIT_OBJECT_0)
            return;
        const char* block = static_cast<const char*>(m_pView);
        DWORD pid = 0;
        std::memcpy(&pid, block, sizeof(pid));
        const char* text = block + sizeof(DWORD);
        const std::string message(text, strnlen(text, kBufferSize - sizeof(DWORD)));
        const DWORD wanted = static_cast<DWORD>(m_nProcessId);
        if (wanted == 0 || wanted == pid) {
            EnterCriticalSection(&m_lock);
            m_messages.push_back(message);
            const std::function<void(const std::string&)> hook = m_hook;
            LeaveCriticalSection(&m_lock);
            if (hook)
                hook(message);
        }
        SetEvent(m_hBufferReady);
    }
}

std::vector<std::string> CDebugOutputCapture::Messages() const
{
    EnterCriticalSection(&m_lock);
    std::vector<std::string> copy = m_messages;
    LeaveCriticalSection(&m_lock);
    return copy;
}

void CDebugOutputCapture::Clear()
{
    EnterCriticalSection(&m_lock);
    m_messages.clear();
    LeaveCriticalSection(&m_lock);
}

std::vector<std::string> CDebugOutputCapture::Stop()
{
    if (m_hThread != nullptr) {
        SetEvent(m_hStop);
        WaitForSingleObject(m_hThread, INFINITE);
        CloseHandle(m_hThread);
        m_hThread = nullptr;
    }
    return Messages();
}

std::vector<std::string> SetupTraceLines(const std::vector<std::string>& messages)
{
    std::vector<std::string> lines;
    for (const std::string& message : messages) {
        if (message.compare(0, 7, "Setup: ") != 0)
            continue;
        std::string line = message;
        if (!line.empty() && line.back() == '\n')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

} // namespace TestSupport
