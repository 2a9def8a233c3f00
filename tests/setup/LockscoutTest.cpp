// The 32-bit finder under WOW64 talking to the real 64-bit lockscout over its pipe.
#include "common/win32/PipeChannel.h"
#include "common/win32/ProcessInfo.h"

#include "common/tools/ScopedHandle.h"
#include "tests/support/LockerProcess.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using Common::Win32::CProcessInfo;
using Common::Win32::ProcInfo;
using Common::Win32::WatchSet;
using TestSupport::CLockerProcess;
using TestSupport::CStartedProcess;

namespace {

typedef std::vector<BYTE> Bytes;

const DWORD kServerEndMs = 15000;

std::wstring Companion(const wchar_t* name)
{
    return std::wstring(COMPANION_BIN_DIR_W) + L"\\" + name;
}

bool SameText(const std::wstring& left, const std::wstring& right)
{
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, left.c_str(), -1, right.c_str(), -1) == CSTR_EQUAL;
}

size_t CountFor(const std::vector<ProcInfo>& found, const CLockerProcess& locker, bool* pathMatches)
{
    size_t count = 0;
    *pathMatches = false;
    for (const ProcInfo& process : found)
        if (process.dwPid == locker.Id()) {
            ++count;
            *pathMatches = SameText(process.strPath, locker.Path());
        }
    return count;
}

class LockscoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        BOOL wow64 = FALSE;
        ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
        ASSERT_TRUE(wow64) << "the tests run 32-bit under a 64-bit prefix";
        // A 64-bit locker: the 32-bit test cannot read its modules itself.
        m_locker.reset(new CLockerProcess(Companion(L"childprog.exe"), L"ScoutLocker64.exe"));
        ASSERT_TRUE(m_locker->IsReady());
        ASSERT_TRUE(m_server.Start(Companion(L"lockscout.exe"), {}));
    }

    void ExpectServerEnded()
    {
        DWORD code = 99;
        ASSERT_TRUE(m_server.WaitForEnd(kServerEndMs, &code));
        EXPECT_EQ(0u, code);
    }

    std::unique_ptr<CLockerProcess> m_locker;
    CStartedProcess m_server;
};

std::wstring Upper(std::wstring text)
{
    CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

TEST_F(LockscoutTest, RefreshAsksTheServerWhichListsTheLocker)
{
    {
        CProcessInfo finder;
        finder.SetWatchList(WatchSet{Upper(m_locker->Path())});
        ASSERT_TRUE(finder.Refresh());
        bool pathMatches = false;
        EXPECT_EQ(1u, CountFor(finder, *m_locker, &pathMatches));
        EXPECT_TRUE(pathMatches);
        EXPECT_FALSE(m_server.WaitForEnd(0));

        // A second question on the same connection: a bare name in other case and a
        // module the locker has loaded list it once.
        finder.SetWatchList(WatchSet{L"scoutLOCKER64.exe", L"kernel32.dll"});
        ASSERT_TRUE(finder.Refresh());
        EXPECT_EQ(1u, CountFor(finder, *m_locker, &pathMatches));
        EXPECT_TRUE(pathMatches);
    }
    // The finder closed its end: the broken pipe ends the server.
    ExpectServerEnded();
}

TEST_F(LockscoutTest, NothingFoundSendsTheEndFrameAndLaterQuestionsScanLocally)
{
    CProcessInfo finder;
    finder.SetWatchList(WatchSet{L"C:\\NoSuchFolder\\NoSuchProgram.exe"});
    EXPECT_FALSE(finder.Refresh());
    EXPECT_TRUE(finder.empty());
    ExpectServerEnded();

    // The exchange now fails and the 32-bit scan runs, which cannot read the modules
    // of the 64-bit locker.
    finder.SetWatchList(WatchSet{m_locker->Path()});
    EXPECT_FALSE(finder.Refresh());
    EXPECT_TRUE(finder.empty());
}

// Keeps the replies the server sends.
class CReplyKeeper : public IPipeDataHandler
{
public:
    bool OnRequest(const BYTE*, DWORD, BYTE**, DWORD*) override { return false; }
    bool OnReply(const BYTE* reply, DWORD length) override
    {
        replies.push_back(Bytes(reply, reply + length));
        return true;
    }
    std::vector<Bytes> replies;
};

Bytes Request(const std::vector<std::wstring>& entries)
{
    Bytes bytes;
    for (const std::wstring& entry : entries) {
        for (wchar_t character : entry) {
            bytes.push_back(static_cast<BYTE>(character));
            bytes.push_back(static_cast<BYTE>(character >> 8));
        }
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// A raw client: the reply bytes themselves, and the end of the server when the pipe
// breaks.
TEST_F(LockscoutTest, RawRequestsGetOneReplyEachAndABrokenPipeEndsTheServer)
{
    CReplyKeeper keeper;
    CPipeChannel channel(&keeper);
    ASSERT_TRUE(channel.Connect());
    Common::Tools::CScopedHandle pipe(channel.GetHandle());

    // Nothing found: exactly the 4-byte count 0, and the conversation goes on.
    const Bytes nothing = Request({L"C:\\NoSuchFolder\\NoSuchProgram.exe"});
    ASSERT_TRUE(channel.Exchange(nothing.data(), static_cast<DWORD>(nothing.size())));
    ASSERT_EQ(1u, keeper.replies.size());
    EXPECT_EQ(Bytes({0, 0, 0, 0}), keeper.replies[0]);

    // The same path twice in other case counts once.
    const Bytes twice = Request({m_locker->Path(), Upper(m_locker->Path())});
    ASSERT_TRUE(channel.Exchange(twice.data(), static_cast<DWORD>(twice.size())));
    ASSERT_EQ(2u, keeper.replies.size());
    const Bytes& reply = keeper.replies[1];
    std::vector<ProcInfo> found;
    ASSERT_TRUE(Common::Win32::ReadProcessReply(reply.data(), static_cast<DWORD>(reply.size()), found));
    ASSERT_EQ(1u, found.size());
    EXPECT_EQ(m_locker->Id(), found[0].dwPid);
    EXPECT_TRUE(SameText(found[0].strPath, m_locker->Path()));
    EXPECT_EQ(4 + 4 + 2 * (found[0].strPath.size() + 1), reply.size());

    EXPECT_FALSE(m_server.WaitForEnd(0));
    pipe.Reset();
    ExpectServerEnded();
}

TEST_F(LockscoutTest, EndFrameEndsTheServer)
{
    CReplyKeeper keeper;
    CPipeChannel channel(&keeper);
    ASSERT_TRUE(channel.Connect());
    Common::Tools::CScopedHandle pipe(channel.GetHandle());
    // The read after the end frame fails once the server has gone.
    EXPECT_FALSE(channel.Exchange(nullptr, 0));
    EXPECT_TRUE(keeper.replies.empty());
    ExpectServerEnded();
}

TEST_F(LockscoutTest, MalformedFrameEndsTheServer)
{
    CPipeChannel channel;
    ASSERT_TRUE(channel.Connect());
    Common::Tools::CScopedHandle pipe(channel.GetHandle());
    // A hostile length: refused without allocating it, and the conversation ends.
    const BYTE header[4] = {0xFF, 0xFF, 0xFF, 0x7F};
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(pipe.Get(), header, 4, &written, nullptr));
    ExpectServerEnded();
}

// The client tries for about 7 s: a server that comes 3 s late is still reached.
TEST(LockscoutConnect, LateServerIsStillReached)
{
    CStartedProcess server;
    std::thread starter([&server] {
        Sleep(3000);
        server.Start(Companion(L"lockscout.exe"), {});
    });
    CPipeChannel channel;
    const bool connected = channel.Connect();
    starter.join();
    Common::Tools::CScopedHandle pipe(channel.GetHandle());
    ASSERT_TRUE(connected);
    EXPECT_TRUE(channel.IsConnected());
    EXPECT_FALSE(channel.Exchange(nullptr, 0));
    DWORD code = 99;
    ASSERT_TRUE(server.WaitForEnd(kServerEndMs, &code));
    EXPECT_EQ(0u, code);
}

// The server's trace, switched on in the 64-bit registry view, which is its own.
TEST(LockscoutTrace, TracesItsStartAndEnd)
{
    TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OtherRegistryView(), 1);
    ASSERT_TRUE(level.Succeeded());
    std::unique_ptr<CPipeChannel> channel;
    TestSupport::SProcessOptions options;
    options.timeoutMs = 20000;
    options.onPoll = [&channel](DWORD) {
        if (channel)
            return;
        channel.reset(new CPipeChannel);
        if (channel->Connect())
            channel->Exchange(nullptr, 0);
    };
    const TestSupport::SProcessRun run = TestSupport::RunProcess(Companion(L"lockscout.exe"), {}, options);
    if (channel && channel->GetHandle() != INVALID_HANDLE_VALUE)
        CloseHandle(channel->GetHandle());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> expected = {"Setup: Starting lockscout ...", "Setup: Exiting lockscout ..."};
    EXPECT_EQ(expected, run.TraceLines());
}

} // namespace
