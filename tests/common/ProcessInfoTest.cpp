// Tests of the process finder and its pipe messages.
#include "common/win32/ProcessInfo.h"

#include "tests/support/LockerProcess.h"
#include "tests/support/ProcessRunner.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <memory>
#include <string>
#include <vector>

using Common::Win32::CProcessInfo;
using Common::Win32::ProcInfo;
using Common::Win32::WatchSet;

namespace {

typedef std::vector<BYTE> Bytes;

Bytes Utf16(const std::wstring& text)
{
    Bytes bytes;
    for (wchar_t character : text) {
        bytes.push_back(static_cast<BYTE>(character));
        bytes.push_back(static_cast<BYTE>(character >> 8));
    }
    return bytes;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Dword(DWORD value)
{
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

const Bytes kNul = {0, 0};

std::vector<std::wstring> Entries(const WatchSet& set)
{
    return std::vector<std::wstring>(set.begin(), set.end());
}

TEST(WatchRequest, FullPathsFirstEachWithItsNul)
{
    CProcessInfo finder;
    DWORD length = 99;
    EXPECT_EQ(nullptr, finder.BuildRequest(&length));
    EXPECT_EQ(0u, length);

    finder.SetWatchList(WatchSet{L"b.dll", L"C:\\Apps\\Z.exe", L"A.exe", L"C:\\Apps\\y.dll"});
    std::unique_ptr<BYTE[]> request(finder.BuildRequest(&length));
    const Bytes expected = Join({Utf16(L"C:\\Apps\\y.dll"), kNul, Utf16(L"C:\\Apps\\Z.exe"), kNul, Utf16(L"A.exe"), kNul,
                                 Utf16(L"b.dll"), kNul});
    ASSERT_EQ(expected.size(), length);
    EXPECT_EQ(expected, Bytes(request.get(), request.get() + length));
}

TEST(WatchRequest, SplitsEntriesOnceEachWithinItsLength)
{
    const struct
    {
        const char* what;
        Bytes body;
        std::vector<std::wstring> entries;
    } cases[] = {
        {"two entries", Join({Utf16(L"C:\\a.exe"), kNul, Utf16(L"b.dll"), kNul}), {L"b.dll", L"C:\\a.exe"}},
        {"same name in other case", Join({Utf16(L"App.exe"), kNul, Utf16(L"app.EXE"), kNul}), {L"App.exe"}},
        {"last entry without NUL", Join({Utf16(L"a.exe"), kNul, Utf16(L"b.exe")}), {L"a.exe", L"b.exe"}},
        {"odd trailing byte", Join({Utf16(L"a.exe"), Bytes{'b'}}), {L"a.exe"}},
        {"empty entries", Join({kNul, Utf16(L"a.exe"), kNul, kNul}), {L"a.exe"}},
        {"one byte", Bytes{'a'}, {}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        WatchSet entries;
        // The body alone on the heap, so that a read beyond it is caught by checkers.
        std::unique_ptr<BYTE[]> body(new BYTE[item.body.size()]);
        std::copy(item.body.begin(), item.body.end(), body.get());
        Common::Win32::SplitWatchRequest(body.get(), static_cast<DWORD>(item.body.size()), entries);
        EXPECT_EQ(item.entries, Entries(entries));
    }
}

TEST(ProcessReply, RoundTripKeepsOrderIdsAndPaths)
{
    std::vector<ProcInfo> sent(3);
    sent[0].dwPid = 0x12345678;
    sent[0].strPath = L"C:\\b\\one.exe";
    sent[1].dwPid = 8;
    sent[1].strPath = L"C:\\a\\two.exe";
    sent[2].dwPid = 4;
    sent[2].strPath = L"";
    DWORD length = 0;
    std::unique_ptr<BYTE[]> reply(Common::Win32::BuildProcessReply(sent, &length));
    const Bytes expected = Join({Dword(3), Dword(0x12345678), Dword(8), Dword(4), Utf16(L"C:\\b\\one.exe"), kNul,
                                 Utf16(L"C:\\a\\two.exe"), kNul, kNul});
    ASSERT_EQ(expected, Bytes(reply.get(), reply.get() + length));

    std::vector<ProcInfo> read;
    ASSERT_TRUE(Common::Win32::ReadProcessReply(reply.get(), length, read));
    ASSERT_EQ(3u, read.size());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(sent[i].dwPid, read[i].dwPid);
        EXPECT_EQ(sent[i].strPath, read[i].strPath);
        EXPECT_TRUE(read[i].modulePaths.empty());
    }
}

TEST(ProcessReply, MalformedRepliesAreReadOnlyWithinTheirLength)
{
    const struct
    {
        const char* what;
        Bytes reply;
        bool accepted;
        std::vector<DWORD> ids;
    } cases[] = {
        {"nothing found", Dword(0), true, {}},
        {"shorter than its count", Bytes{1, 0, 0}, false, {}},
        {"empty", Bytes{}, false, {}},
        {"hostile count", Join({Dword(0xFFFFFFFF), Dword(7)}), false, {}},
        {"count beyond the identifiers", Join({Dword(3), Dword(7), Dword(8)}), false, {}},
        {"paths run out", Join({Dword(2), Dword(7), Dword(8), Utf16(L"a.exe"), kNul}), true, {7}},
        {"last path without NUL", Join({Dword(2), Dword(7), Dword(8), Utf16(L"a.exe"), kNul, Utf16(L"b")}), true, {7}},
        {"no paths at all", Join({Dword(1), Dword(7)}), true, {}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        std::unique_ptr<BYTE[]> reply(new BYTE[item.reply.size() + 1]);
        std::copy(item.reply.begin(), item.reply.end(), reply.get());
        CProcessInfo finder;
        EXPECT_EQ(item.accepted, finder.OnReply(reply.get(), static_cast<DWORD>(item.reply.size())));
        std::vector<DWORD> ids;
        for (const ProcInfo& process : finder)
            ids.push_back(process.dwPid);
        EXPECT_EQ(item.ids, ids);
    }
}

TEST(ProcessInfo, WatchedByFullPathOrByFileNameInAnyCase)
{
    CProcessInfo finder;
    finder.SetWatchList(WatchSet{L"C:\\Programs\\APP.exe", L"Tool.DLL"});
    const struct
    {
        const wchar_t* path;
        bool watched;
    } cases[] = {
        {L"C:\\programs\\app.EXE", true},
        {L"D:\\Programs\\APP.exe", false},
        {L"D:\\elsewhere\\tool.dll", true},
        {L"tool.dll", true},
        {L"C:\\Programs\\Tool.dll.bak", false},
        {L"C:\\Programs", false},
    };
    for (const auto& item : cases)
        EXPECT_EQ(item.watched, finder.IsWatched(item.path)) << std::string(item.path, item.path + wcslen(item.path));

    // A later list replaces the full paths; file names of earlier lists stay.
    finder.SetWatchList(WatchSet{L"other.exe"});
    EXPECT_FALSE(finder.IsWatched(L"C:\\Programs\\APP.exe"));
    EXPECT_TRUE(finder.IsWatched(L"C:\\x\\tool.dll"));
    EXPECT_TRUE(finder.IsWatched(L"C:\\x\\OTHER.exe"));
}

std::wstring ChildProgram()
{
    return TestSupport::ModuleFolder() + L"childprog.exe";
}

bool SameText(const std::wstring& left, const std::wstring& right)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, left.c_str(), -1, right.c_str(), -1) == CSTR_EQUAL;
}

// The results for the locker's process: its count and whether the path is its own.
size_t CountFor(const CProcessInfo& finder, const TestSupport::CLockerProcess& locker, bool* pathMatches)
{
    size_t count = 0;
    *pathMatches = false;
    for (const ProcInfo& process : finder)
        if (process.dwPid == locker.Id()) {
            ++count;
            *pathMatches = SameText(process.strPath, locker.Path());
        }
    return count;
}

TEST(ProcessInfo, ScanModulesFindsTheLockerByExecutableAndByModule)
{
    TestSupport::CLockerProcess locker(ChildProgram(), L"ScoutLockerScan.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    const struct
    {
        const char* what;
        WatchSet watch;
        bool found;
    } cases[] = {
        {"full path", WatchSet{locker.Path()}, true},
        {"file name in other case", WatchSet{L"scoutlockerSCAN.EXE"}, true},
        {"loaded module by name", WatchSet{L"KERNEL32.dll"}, true},
        {"unrelated name", WatchSet{L"NoSuchModule.dll"}, false},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        CProcessInfo finder;
        finder.SetWatchList(item.watch);
        finder.ScanModules(locker.Id());
        bool pathMatches = false;
        EXPECT_EQ(item.found ? 1u : 0u, CountFor(finder, locker, &pathMatches));
        EXPECT_EQ(item.found, pathMatches);
    }
}

TEST(ProcessInfo, ScanWithoutWatchListListsTheModules)
{
    TestSupport::CLockerProcess locker(ChildProgram(), L"ScoutLockerAll.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    CProcessInfo finder;
    finder.ScanModules(locker.Id());
    ASSERT_EQ(1u, finder.size());
    EXPECT_TRUE(SameText(finder[0].strPath, locker.Path()));
    bool kernel = false;
    for (const std::wstring& module : finder[0].modulePaths)
        kernel = kernel || SameText(PathFindFileNameW(module.c_str()), L"kernel32.dll");
    EXPECT_TRUE(kernel);
}

#ifdef _WIN64
// The 64-bit build always scans locally: Refresh finds the locker among all
// processes, once, however many of its modules are watched.
TEST(ProcessInfo, RefreshFindsTheLockerOnce)
{
    TestSupport::CLockerProcess locker(ChildProgram(), L"ScoutLockerRefresh.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    CProcessInfo finder;
    finder.SetWatchList(WatchSet{locker.Path(), L"kernel32.dll", L"ntdll.dll"});
    ASSERT_TRUE(finder.Refresh());
    bool pathMatches = false;
    EXPECT_EQ(1u, CountFor(finder, locker, &pathMatches));
    EXPECT_TRUE(pathMatches);
    const size_t first = finder.size();
    ASSERT_TRUE(finder.Refresh());
    EXPECT_EQ(first, finder.size());

    finder.SetWatchList(WatchSet{L"C:\\NoSuchFolder\\NoSuchProgram.exe"});
    // The file names of the first list stay watched.
    ASSERT_TRUE(finder.Refresh());
    EXPECT_EQ(1u, CountFor(finder, locker, &pathMatches));

    CProcessInfo fresh;
    fresh.SetWatchList(WatchSet{L"C:\\NoSuchFolder\\NoSuchProgram.exe"});
    EXPECT_FALSE(fresh.Refresh());
    EXPECT_TRUE(fresh.empty());
}
#endif

#ifndef _WIN64
TEST(ProcessInfo, FindVisibleWindowProcTakesTheFirstVisibleWindowOfTheProcess)
{
    EXPECT_TRUE(CProcessInfo::FindVisibleWindowProc(GetDesktopWindow(), 0));

    HWND window = CreateWindowExW(0, L"STATIC", L"finder", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(nullptr, window);
    CProcessInfo::FindWindowData data = {nullptr, GetCurrentProcessId()};
    EnumDesktopWindows(nullptr, &CProcessInfo::FindVisibleWindowProc, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(nullptr, data.hWnd);  // hidden windows do not count

    ShowWindow(window, SW_SHOWNOACTIVATE);
    EXPECT_FALSE(CProcessInfo::FindVisibleWindowProc(window, reinterpret_cast<LPARAM>(&data)));
    EXPECT_EQ(window, data.hWnd);
    data.hWnd = nullptr;
    EnumDesktopWindows(nullptr, &CProcessInfo::FindVisibleWindowProc, reinterpret_cast<LPARAM>(&data));
    EXPECT_EQ(window, data.hWnd);

    CProcessInfo::FindWindowData other = {nullptr, GetCurrentProcessId() + 4};
    EXPECT_TRUE(CProcessInfo::FindVisibleWindowProc(window, reinterpret_cast<LPARAM>(&other)));
    EXPECT_EQ(nullptr, other.hWnd);
    DestroyWindow(window);
}
#endif

} // namespace
