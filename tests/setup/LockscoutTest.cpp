// The 32-bit finder under WOW64 talking to the real 64-bit lockscout over its pipe.
#include "common/win32/PipeChannel.h"
#include "common/win32/ProcessInfo.h"
#include "common/win32/Wow64.h"

#include "common/tools/ScopedHandle.h"
#include "tests/setup/EngineFixture.h"
#include "tests/support/LockerProcess.h"
#include "tests/support/RegistryScope.h"

#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <set>

#include <memory>
#include <string>
#include <thread>
#include <vector>

using Common::Win32::CProcessInfo;
using Common::Win32::ProcInfo;
using Common::Win32::WatchSet;
using TestSupport::CLockerProcess;
using TestSupport::CStartedProcess;
using Common::Tools::CScopedHandle;

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
        ASSERT_TRUE(Common::Win32::IsWow64()) << "the tests run 32-bit under a 64-bit prefix";
        // A 64-bit locker: the 32-bit test cannot read its modules itself.
        m_locker.reset(new CLockerProcess(Companion(L"childprog.exe"), L"ScoutLocker64.exe"));
        ASSERT_TRUE(m_locker->IsReady()) << m_locker->Failure();
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
        finder.SetServer(m_server.Id());
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
    finder.SetServer(m_server.Id());
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

// Wine's module snapshot of a 32-bit process taken from a 64-bit one fails (998,
// ERROR_NOACCESS) where Windows lists the 32-bit modules: lockscout then answers
// that nothing uses a 32-bit program's files, and the finder trusts that answer.
// Its own 32-bit scan, the one it makes on a 32-bit Windows, does see the program.
TEST_F(LockscoutTest, UnderWineA32BitLockerIsSeenOnlyByTheLocalScan)
{
    CLockerProcess locker32(TestSupport::ModuleFolder() + L"childprog.exe", L"ScoutLocker32.exe");
    ASSERT_TRUE(locker32.IsReady()) << locker32.Failure();
    bool pathMatches = false;
    {
        CProcessInfo finder;
        finder.SetServer(m_server.Id());
        finder.SetWatchList(WatchSet{locker32.Path()});
        EXPECT_FALSE(finder.Refresh());
        EXPECT_EQ(0u, CountFor(finder, locker32, &pathMatches));
        ExpectServerEnded();
    }
    CProcessInfo local;
    local.SetWatchList(WatchSet{locker32.Path()});
    ASSERT_TRUE(local.Refresh());
    EXPECT_EQ(1u, CountFor(local, locker32, &pathMatches));
    EXPECT_TRUE(pathMatches);
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
    ASSERT_TRUE(channel.Connect(m_server.Id()));
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
    ASSERT_TRUE(channel.Connect(m_server.Id()));
    Common::Tools::CScopedHandle pipe(channel.GetHandle());
    // The read after the end frame fails once the server has gone.
    EXPECT_FALSE(channel.Exchange(nullptr, 0));
    EXPECT_TRUE(keeper.replies.empty());
    ExpectServerEnded();
}

TEST_F(LockscoutTest, MalformedFrameEndsTheServer)
{
    CPipeChannel channel;
    ASSERT_TRUE(channel.Connect(m_server.Id()));
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
    ASSERT_TRUE(server.Start(Companion(L"lockscout.exe"), {}, CREATE_SUSPENDED));
    std::thread starter([&server] {
        Sleep(3000);
        server.Resume();
    });
    CPipeChannel channel;
    const bool connected = channel.Connect(server.Id());
    starter.join();
    Common::Tools::CScopedHandle pipe(channel.GetHandle());
    ASSERT_TRUE(connected);
    EXPECT_TRUE(channel.IsConnected());
    EXPECT_FALSE(channel.Exchange(nullptr, 0));
    DWORD code = 99;
    ASSERT_TRUE(server.WaitForEnd(kServerEndMs, &code));
    EXPECT_EQ(0u, code);
}

// With no server at all the client gives up after its tries (29 of 250 ms): the
// applications-to-close page never waits longer than that for lockscout.
TEST(LockscoutConnect, WithoutAnyServerTheConnectEndsWithinItsTimeLimit)
{
    // Nothing serves the pipe.
    CScopedHandle probe(CreateFileW(LOCKSCOUT_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                                    nullptr));
    const DWORD probeError = GetLastError();
    ASSERT_FALSE(probe.IsValid());
    ASSERT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), probeError);

    const DWORD triesMs = 29 * 250;
    CPipeChannel channel;
    const DWORD start = GetTickCount();
    const bool connected = channel.Connect(GetCurrentProcessId());
    const DWORD elapsed = GetTickCount() - start;
    EXPECT_FALSE(connected);
    EXPECT_FALSE(channel.IsConnected());
    EXPECT_EQ(INVALID_HANDLE_VALUE, channel.GetHandle());
    EXPECT_GE(elapsed, triesMs - 500);
    EXPECT_LT(elapsed, triesMs + 5000);
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
    options.onPoll = [&channel](DWORD processId) {
        if (channel)
            return;
        channel.reset(new CPipeChannel);
        if (channel->Connect(processId))
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

std::string SidText(PSID sid)
{
    char* text = nullptr;
    if (!ConvertSidToStringSidA(sid, &text))
        return "?";
    const std::string result = text;
    LocalFree(text);
    return result;
}

std::string OwnUserSid()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return "?";
    CScopedHandle holder(token);
    BYTE buffer[512] = {};
    DWORD size = 0;
    if (!GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size))
        return "?";
    return SidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid);
}

TEST_F(LockscoutTest, PipeAdmitsOnlyItsUserAndTheAdministrators)
{
    CPipeChannel channel;
    ASSERT_TRUE(channel.Connect(m_server.Id()));
    CScopedHandle pipe(channel.GetHandle());
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), GetSecurityInfo(pipe.Get(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION,
                                                                 nullptr, nullptr, &dacl, nullptr, &descriptor));
    std::unique_ptr<void, HLOCAL(WINAPI*)(HLOCAL)> freeDescriptor(descriptor, LocalFree);
    // No access list at all would admit everybody.
    ASSERT_NE(nullptr, dacl);
    std::multiset<std::string> admitted;
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        EXPECT_EQ(ACCESS_ALLOWED_ACE_TYPE, ace->Header.AceType);
        EXPECT_NE(0u, ace->Mask);
        admitted.insert(SidText(&ace->SidStart));
    }
    EXPECT_EQ((std::multiset<std::string>{OwnUserSid(), "S-1-5-32-544"}), admitted);
}

// A program that took lockscout's pipe name before it: lockscout must not serve
// beside it, whether the taker allows more instances or not.
TEST(LockscoutSquatter, NameTakenBeforeMakesLockscoutEndWithoutServing)
{
    TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OtherRegistryView(), 1);
    ASSERT_TRUE(level.Succeeded());
    for (DWORD instances : {static_cast<DWORD>(PIPE_UNLIMITED_INSTANCES), static_cast<DWORD>(1)}) {
        SCOPED_TRACE(instances);
        CScopedHandle squatter(CreateNamedPipeW(LOCKSCOUT_PIPE_NAME, PIPE_ACCESS_DUPLEX,
                                                PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, instances,
                                                0x1000, 0x1000, 0, nullptr));
        ASSERT_TRUE(squatter.IsValid());
        TestSupport::SProcessOptions options;
        options.timeoutMs = 20000;
        const TestSupport::SProcessRun run = TestSupport::RunProcess(Companion(L"lockscout.exe"), {}, options);
        ASSERT_TRUE(run.finished) << "lockscout waits on a name another program holds";
        EXPECT_EQ(0u, run.exitCode);
        const std::vector<std::string> lines = run.TraceLines();
        ASSERT_EQ(3u, lines.size());
        EXPECT_EQ("Setup: Starting lockscout ...", lines[0]);
        // Windows refuses the first-instance creation; where that flag is not
        // enforced the instance count gives the taker away.
        EXPECT_TRUE(lines[1].rfind("Setup: Failed to create the pipe: ", 0) == 0 ||
                    lines[1] == "Setup: The pipe's name is taken by another program")
            << lines[1];
        EXPECT_EQ("Setup: Exiting lockscout ...", lines[2]);
    }
}

// The test itself holds lockscout's pipe name and answers the first request with
// the given reply (empty: never answers) over an overlapped end, so that nothing here
// waits without limit.
class CFakeServer
{
public:
    explicit CFakeServer(const Bytes& reply)
        : m_reply(reply),
          m_pipe(CreateNamedPipeW(LOCKSCOUT_PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                                  PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
                                  0x10000, 0x10000, 0, nullptr))
    {
        if (!m_reply.empty() && m_pipe.IsValid())
            m_thread = std::thread([this] { Answer(); });
    }
    ~CFakeServer()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool IsValid() const { return m_pipe.IsValid(); }
    // A sound answer: one process that no watch list named.
    static ProcInfo Victim()
    {
        ProcInfo victim;
        victim.dwPid = 4242;
        victim.strPath = L"C:\\Victim\\victim.exe";
        return victim;
    }
    static Bytes VictimReply()
    {
        DWORD length = 0;
        std::unique_ptr<BYTE[]> reply(Common::Win32::BuildProcessReply({Victim()}, &length));
        return Bytes(reply.get(), reply.get() + length);
    }

private:
    void Answer()
    {
        CScopedHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        OVERLAPPED overlapped = {};
        overlapped.hEvent = event.Get();
        if (!ConnectNamedPipe(m_pipe.Get(), &overlapped)) {
            const DWORD error = GetLastError();
            DWORD ignored = 0;
            if (error == ERROR_IO_PENDING && WaitForSingleObject(event.Get(), 10000) != WAIT_OBJECT_0) {
                CancelIo(m_pipe.Get());
                GetOverlappedResult(m_pipe.Get(), &overlapped, &ignored, TRUE);
                return;
            }
            if (error != ERROR_IO_PENDING && error != ERROR_PIPE_CONNECTED)
                return;
        }
        CPipeChannel channel;
        channel.Attach(m_pipe.Get());
        channel.SetTimeout(10000);
        BYTE* request = nullptr;
        DWORD length = 0;
        if (!channel.ReadMessage(&request, &length))
            return;
        delete[] request;
        channel.WriteMessage(m_reply.data(), static_cast<DWORD>(m_reply.size()));
        // As lockscout: the end frame or a closed client ends the conversation.
        if (!channel.ReadMessage(&request, &length))
            DisconnectNamedPipe(m_pipe.Get());
        delete[] request;
    }

    Bytes m_reply;
    CScopedHandle m_pipe;
    std::thread m_thread;
};

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text)
{
    size_t count = 0;
    for (const auto& line : lines)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

// The watch list names the test program itself: what the finder reports shows
// whether it took the pipe's answer or fell back on its own (32-bit) scan.
TEST(LockscoutImpostor, AnswersAreTakenOnlyFromTheStartedServer)
{
    const DWORD self = GetCurrentProcessId();
    const DWORD victim = CFakeServer::Victim().dwPid;
    wchar_t ownPath[MAX_PATH] = {};
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, ownPath, MAX_PATH));
    const std::string otherServer = "Setup: Pipe server is process " + std::to_string(self) + ", not lockscout (" +
                                    std::to_string(self + 4) + "): refused";
    // A count of 5 in a reply of 4 bytes.
    const Bytes malformed = {5, 0, 0, 0};
    const struct
    {
        const char* what;
        DWORD expectedServer;  // 0: setup started none
        Bytes reply;
        std::vector<DWORD> found;
        std::vector<std::string> trace;
    } cases[] = {
        {"the expected server answers", self, CFakeServer::VictimReply(), {victim}, {}},
        {"another process answers", self + 4, CFakeServer::VictimReply(), {self}, {otherServer}},
        {"no server was started", 0, {}, {self}, {"Setup: No lockscout to ask: the 64-bit processes are not seen"}},
        {"the expected server answers nonsense", self, malformed, {self},
         {"Setup: Lockscout's reply is malformed: scanning locally"}},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        std::vector<DWORD> found;
        std::vector<std::string> lines;
        {
            CFakeServer server(item.reply);
            ASSERT_TRUE(server.IsValid());
            CProcessInfo finder;
            finder.SetServer(item.expectedServer);
            finder.SetWatchList(WatchSet{ownPath});
            lines = TestSupport::TraceOf([&] { finder.Refresh(); });
            for (const ProcInfo& process : finder)
                found.push_back(process.dwPid);
        }
        EXPECT_EQ(item.trace, lines);
        EXPECT_EQ(item.found, found);
    }
}

TEST(LockscoutImpostor, ServerThatNeverAnswersCostsOnlyTheTimeLimit)
{
    CFakeServer server(Bytes{});
    ASSERT_TRUE(server.IsValid());
    CProcessInfo finder;
    const DWORD limitMs = 1000;
    finder.SetServer(GetCurrentProcessId(), limitMs);
    finder.SetWatchList(WatchSet{L"C:\\NoSuchFolder\\NoSuchProgram.exe"});
    bool found = true;
    DWORD elapsed = 0;
    const auto lines = TestSupport::TraceOf([&] {
        const DWORD start = GetTickCount();
        found = finder.Refresh();
        elapsed = GetTickCount() - start;
    });
    EXPECT_FALSE(found);
    EXPECT_GE(elapsed, limitMs - 100);
    // The local scan that follows takes well under this.
    EXPECT_LT(elapsed, limitMs + 8000);
    EXPECT_EQ(1u, CountContaining(lines, "Pipe read timed out after 1000 ms"));
    EXPECT_EQ(1u, CountContaining(lines, "Lockscout gave no answer: scanning locally"));
}

} // namespace
