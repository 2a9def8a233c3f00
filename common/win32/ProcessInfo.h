// Finds the running processes that use watched files.
#pragma once

#include "common/tools/ScopedHandle.h"
#include "common/win32/PipeChannel.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

namespace Common {
namespace Win32 {

// One process found.
struct ProcInfo
{
    std::wstring strPath;                    // the executable (long form when found through a watch list)
    DWORD dwPid = 0;
    std::vector<std::wstring> modulePaths;   // only from a scan without a watch list
};

// Orders names case-insensitively in the user's locale, as the watch sets do.
struct NoCaseLess
{
    bool operator()(const std::wstring& left, const std::wstring& right) const;
};
typedef std::set<std::wstring, NoCaseLess> WatchSet;

// The request of the lockscout pipe: each entry as UTF-16 with its NUL, the first
// set's entries first. Null with length 0 when both sets are empty; else a new array
// (freed with delete[]).
BYTE* BuildWatchRequest(const WatchSet& fullPaths, const WatchSet& fileNames, DWORD* length);
// Adds the NUL-separated entries of a request to the set; a last entry without its
// NUL ends at the end of the body, an odd trailing byte is ignored, and empty
// entries are dropped.
void SplitWatchRequest(const BYTE* request, DWORD length, WatchSet& entries);
// The reply of the lockscout pipe: count, identifiers, then the paths with their
// NULs. A new array (freed with delete[]); length 4 when nothing was found.
BYTE* BuildProcessReply(const std::vector<ProcInfo>& processes, DWORD* length);
// Appends the processes of a reply. False (nothing appended) when it is shorter than
// its count or its identifiers; when the paths run out early, only the processes
// whose path ends with its NUL inside the reply are kept.
bool ReadProcessReply(const BYTE* reply, DWORD length, std::vector<ProcInfo>& processes);

// Finds the running processes whose executable, or any module, is a watched file.
// In the 32-bit build under WOW64 it asks lockscout over the pipe first, since a
// 32-bit process cannot list the modules of 64-bit ones.
class CProcessInfo : public std::vector<ProcInfo>, private IPipeDataHandler
{
public:
    CProcessInfo();
    virtual ~CProcessInfo();
    CProcessInfo(const CProcessInfo&) = delete;
    CProcessInfo& operator=(const CProcessInfo&) = delete;

    // Filter on; relative entries (bare file names) join the file-name set, which
    // keeps the names of earlier calls.
    void SetWatchList(const WatchSet& watchList);
    // The lockscout process to ask under WOW64, and the longest wait for each of its
    // reads and writes. Without one (0) the finder only scans locally: an answer is
    // taken from no other process.
    void SetServer(DWORD processId, DWORD timeoutMs = CPipeChannel::kDefaultTimeoutMs);
    // Replaces the results; true when at least one process was found.
    bool Refresh();
    bool IsWatched(const std::wstring& path) const;
    // Appends at most one result for the process when a watch list is set.
    void ScanModules(DWORD processId);
    // See BuildWatchRequest.
    BYTE* BuildRequest(DWORD* length) const;

    // Not a server: nothing to answer.
    bool OnRequest(const BYTE* request, DWORD length, BYTE** reply, DWORD* replyLength) override;
    // Appends the processes of a lockscout reply.
    bool OnReply(const BYTE* reply, DWORD length) override;

#ifndef _WIN64
    struct FindWindowData
    {
        HWND hWnd;         // out: the first visible top-level window of the process
        DWORD dwProcessId; // in
    };
    // EnumDesktopWindows callback; lParam points to a FindWindowData.
    static BOOL CALLBACK FindVisibleWindowProc(HWND window, LPARAM lParam);
#endif

private:
#ifndef _WIN64
    // True when lockscout answered with a well-formed reply (now in the results).
    bool AskServer();
#endif
    void ScanLocally();

    WatchSet m_fullPaths;
    WatchSet m_fileNames;
    bool m_bFilter = false;
    // The end of the pipe the channel opened: the channel never closes it, this
    // object does.
    Common::Tools::CScopedHandle m_pipe;
    CPipeChannel m_channel;
    DWORD m_dwServerId = 0;
    bool m_bReplyRead = false;
};

} // namespace Win32
} // namespace Common
