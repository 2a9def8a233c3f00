// Finds the running processes that use watched files.
#include "common/win32/ProcessInfo.h"

#include "common/tools/PathSafety.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "common/win32/Privilege.h"
#include "common/win32/Wow64.h"

#include <shlwapi.h>
#include <tlhelp32.h>

#include <cstring>
#include <memory>

namespace Common {
namespace Win32 {

namespace {

void PutDword(BYTE* target, DWORD value)
{
    target[0] = static_cast<BYTE>(value);
    target[1] = static_cast<BYTE>(value >> 8);
    target[2] = static_cast<BYTE>(value >> 16);
    target[3] = static_cast<BYTE>(value >> 24);
}

DWORD GetDword(const BYTE* source)
{
    return static_cast<DWORD>(source[0]) | (static_cast<DWORD>(source[1]) << 8) |
           (static_cast<DWORD>(source[2]) << 16) | (static_cast<DWORD>(source[3]) << 24);
}

// Copies the text with its NUL as UTF-16LE; returns the position after it.
BYTE* PutText(BYTE* target, const std::wstring& text)
{
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    std::memcpy(target, text.c_str(), bytes);
    return target + bytes;
}

wchar_t CharAt(const BYTE* source, size_t index)
{
    return static_cast<wchar_t>(source[2 * index] | (source[2 * index + 1] << 8));
}

} // namespace

bool NoCaseLess::operator()(const std::wstring& left, const std::wstring& right) const
{
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, left.c_str(), static_cast<int>(left.size()),
                            right.c_str(), static_cast<int>(right.size())) == CSTR_LESS_THAN;
}

BYTE* BuildWatchRequest(const WatchSet& fullPaths, const WatchSet& fileNames, DWORD* length)
{
    *length = 0;
    size_t characters = 0;
    for (const WatchSet* set : {&fullPaths, &fileNames})
        for (const std::wstring& entry : *set)
            characters += entry.size() + 1;
    if (characters == 0)
        return nullptr;
    const size_t bytes = characters * sizeof(wchar_t);
    BYTE* request = new BYTE[bytes]();
    BYTE* position = request;
    for (const WatchSet* set : {&fullPaths, &fileNames})
        for (const std::wstring& entry : *set)
            position = PutText(position, entry);
    *length = static_cast<DWORD>(bytes);
    return request;
}

void SplitWatchRequest(const BYTE* request, DWORD length, WatchSet& entries)
{
    if (request == nullptr)
        return;
    const size_t characters = length / 2;
    size_t position = 0;
    while (position < characters) {
        std::wstring entry;
        while (position < characters) {
            const wchar_t character = CharAt(request, position++);
            if (character == L'\0')
                break;
            entry += character;
        }
        // Two NULs in a row name nothing; an empty name would match odd paths.
        if (!entry.empty())
            entries.insert(entry);
    }
}

BYTE* BuildProcessReply(const std::vector<ProcInfo>& processes, DWORD* length)
{
    size_t bytes = 4 + 4 * processes.size();
    for (const ProcInfo& process : processes)
        bytes += (process.strPath.size() + 1) * sizeof(wchar_t);
    BYTE* reply = new BYTE[bytes]();
    PutDword(reply, static_cast<DWORD>(processes.size()));
    BYTE* position = reply + 4;
    for (const ProcInfo& process : processes) {
        PutDword(position, process.dwPid);
        position += 4;
    }
    for (const ProcInfo& process : processes)
        position = PutText(position, process.strPath);
    *length = static_cast<DWORD>(bytes);
    return reply;
}

bool ReadProcessReply(const BYTE* reply, DWORD length, std::vector<ProcInfo>& processes)
{
    if (reply == nullptr || length < 4)
        return false;
    const DWORD count = GetDword(reply);
    // In 64 bits: a hostile count must not wrap the check. Nothing is reserved from
    // the count before it is known to fit.
    const unsigned long long pathsStart = 4ULL + 4ULL * count;
    if (pathsStart > length)
        return false;
    const size_t characters = (length - static_cast<size_t>(pathsStart)) / 2;
    const BYTE* paths = reply + pathsStart;
    size_t position = 0;
    for (DWORD index = 0; index < count; ++index) {
        std::wstring path;
        bool ended = false;
        while (position < characters) {
            const wchar_t character = CharAt(paths, position++);
            if (character == L'\0') {
                ended = true;
                break;
            }
            path += character;
        }
        if (!ended)
            break;
        ProcInfo process;
        process.strPath = path;
        process.dwPid = GetDword(reply + 4 + 4 * index);
        processes.push_back(process);
    }
    return true;
}

CProcessInfo::CProcessInfo() : m_channel(this)
{
    // Without the privilege fewer processes open; nothing else changes.
    EnablePrivilege(L"SeDebugPrivilege");
}

CProcessInfo::~CProcessInfo() = default;

void CProcessInfo::SetWatchList(const WatchSet& watchList)
{
    m_bFilter = true;
    m_fullPaths = watchList;
    for (auto entry = m_fullPaths.begin(); entry != m_fullPaths.end();) {
        if (::PathIsRelativeW(entry->c_str())) {
            m_fileNames.insert(*entry);
            entry = m_fullPaths.erase(entry);
        } else {
            ++entry;
        }
    }
}

bool CProcessInfo::IsWatched(const std::wstring& path) const
{
    if (m_fullPaths.count(path) != 0)
        return true;
    return m_fileNames.count(::PathFindFileNameW(path.c_str())) != 0;
}

BYTE* CProcessInfo::BuildRequest(DWORD* length) const
{
    return BuildWatchRequest(m_fullPaths, m_fileNames, length);
}

void CProcessInfo::SetServer(DWORD processId, DWORD timeoutMs)
{
    m_dwServerId = processId;
    m_channel.SetTimeout(timeoutMs);
}

bool CProcessInfo::Refresh()
{
    clear();
#ifndef _WIN64
    if (IsWow64()) {
        if (m_dwServerId == 0)
            SetupTrace(L"No lockscout to ask: the 64-bit processes are not seen");
        else if (AskServer())
            return !empty();
        // Whatever came over the pipe is no information.
        clear();
    }
#endif
    ScanLocally();
    return !empty();
}

#ifndef _WIN64
bool CProcessInfo::AskServer()
{
    if (!m_channel.IsConnected()) {
        // A handle that opened but did not switch mode is not kept twice.
        m_channel.Attach(INVALID_HANDLE_VALUE);
        m_pipe.Reset();
        m_channel.SetOwner(this);
        m_channel.Connect(m_dwServerId);
        m_pipe.Reset(m_channel.GetHandle());
    }
    if (!m_channel.IsConnected())
        return false;
    DWORD length = 0;
    std::unique_ptr<BYTE[]> request(BuildRequest(&length));
    if (!request)
        return false;
    m_bReplyRead = false;
    const bool exchanged = m_channel.Exchange(request.get(), length);
    if (empty())
        m_channel.Exchange(nullptr, 0);  // end frame: lockscout is done
    if (!exchanged)
        SetupTrace(L"Lockscout gave no answer: scanning locally");
    else if (!m_bReplyRead)
        SetupTrace(L"Lockscout's reply is malformed: scanning locally");
    return exchanged && m_bReplyRead;
}
#endif

void CProcessInfo::ScanLocally()
{
    Common::Tools::CScopedHandle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = ::Process32FirstW(snapshot.Get(), &entry); more; more = ::Process32NextW(snapshot.Get(), &entry)) {
        // Only a process this one may open is asked for its modules.
        if (!Common::Tools::CScopedHandle(
                 ::OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, entry.th32ProcessID))
                 .IsValid())
            continue;
        ScanModules(entry.th32ProcessID);
    }
}

void CProcessInfo::ScanModules(DWORD processId)
{
    Common::Tools::CScopedHandle snapshot(
        ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId));
    if (!snapshot.IsValid())
        return;
    MODULEENTRY32W module = {};
    module.dwSize = sizeof(module);
    if (!::Module32FirstW(snapshot.Get(), &module))
        return;
    if (m_bFilter) {
        ProcInfo found;
        // Not found: the path as the snapshot gave it.
        found.strPath = LongPathName(module.szExePath).Str();
        found.dwPid = processId;
        bool watched = IsWatched(found.strPath);
        while (!watched && ::Module32NextW(snapshot.Get(), &module))
            watched = IsWatched(module.szExePath);
        if (watched)
            push_back(found);
        return;
    }
    ProcInfo found;
    found.strPath = module.szExePath;
    found.dwPid = processId;
    while (::Module32NextW(snapshot.Get(), &module))
        found.modulePaths.push_back(module.szExePath);
    push_back(found);
}

bool CProcessInfo::OnRequest(const BYTE*, DWORD, BYTE** reply, DWORD* replyLength)
{
    if (reply != nullptr)
        *reply = nullptr;
    if (replyLength != nullptr)
        *replyLength = 0;
    return false;
}

bool CProcessInfo::OnReply(const BYTE* reply, DWORD length)
{
    m_bReplyRead = ReadProcessReply(reply, length, *this);
    return m_bReplyRead;
}

#ifndef _WIN64
BOOL CALLBACK CProcessInfo::FindVisibleWindowProc(HWND window, LPARAM lParam)
{
    FindWindowData* data = reinterpret_cast<FindWindowData*>(lParam);
    if (data == nullptr)
        return TRUE;
    DWORD processId = 0;
    ::GetWindowThreadProcessId(window, &processId);
    if (processId == data->dwProcessId && ::IsWindowVisible(window)) {
        data->hWnd = window;
        return FALSE;
    }
    return TRUE;
}
#endif

} // namespace Win32
} // namespace Common
