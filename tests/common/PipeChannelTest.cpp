// Tests of the pipe channel.
#include "common/win32/PipeChannel.h"

#include "common/tools/ScopedHandle.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

typedef std::vector<BYTE> Bytes;

// Both ends of a message-mode pipe of the test's own, each in a channel.
class PipeChannelTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const std::wstring name = L"\\\\.\\pipe\\PipeChannelTest" + std::to_wstring(GetCurrentProcessId());
        m_server = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                    1, 0x200000, 0x200000, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_server);
        m_client = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, m_client);
        DWORD mode = PIPE_READMODE_MESSAGE;
        ASSERT_TRUE(SetNamedPipeHandleState(m_client, &mode, nullptr, nullptr));
        m_serverEnd.Attach(m_server);
        m_clientEnd.Attach(m_client);
    }
    void TearDown() override
    {
        if (m_client != INVALID_HANDLE_VALUE)
            CloseHandle(m_client);
        if (m_server != INVALID_HANDLE_VALUE)
            CloseHandle(m_server);
    }

    void WriteRaw(HANDLE pipe, const Bytes& bytes)
    {
        DWORD written = 0;
        ASSERT_TRUE(WriteFile(pipe, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
        ASSERT_EQ(bytes.size(), written);
    }

    // Reads one message of the server end, expecting it to fail.
    void ExpectReadFails()
    {
        BYTE* data = reinterpret_cast<BYTE*>(1);
        DWORD length = 77;
        EXPECT_FALSE(m_serverEnd.ReadMessage(&data, &length));
        EXPECT_EQ(nullptr, data);
        EXPECT_EQ(0u, length);
    }

    HANDLE m_server = INVALID_HANDLE_VALUE;
    HANDLE m_client = INVALID_HANDLE_VALUE;
    CPipeChannel m_serverEnd;
    CPipeChannel m_clientEnd;
};

Bytes Pattern(size_t size)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}

TEST_F(PipeChannelTest, MessagesTravelWholeBothWays)
{
    for (size_t size : {size_t(1), size_t(4), size_t(5), size_t(1000), size_t(300000)}) {
        SCOPED_TRACE(size);
        const Bytes sent = Pattern(size);
        ASSERT_TRUE(m_clientEnd.WriteMessage(sent.data(), static_cast<DWORD>(sent.size())));
        BYTE* data = nullptr;
        DWORD length = 0;
        ASSERT_TRUE(m_serverEnd.ReadMessage(&data, &length));
        std::unique_ptr<BYTE[]> owned(data);
        EXPECT_EQ(sent, Bytes(data, data + length));

        ASSERT_TRUE(m_serverEnd.WriteMessage(sent.data(), static_cast<DWORD>(sent.size())));
        ASSERT_TRUE(m_clientEnd.ReadMessage(&data, &length));
        std::unique_ptr<BYTE[]> back(data);
        EXPECT_EQ(sent, Bytes(data, data + length));
    }
}

TEST_F(PipeChannelTest, FrameIsLengthMessageThenBodyMessage)
{
    const Bytes body = {1, 2, 3, 4, 5, 6};
    ASSERT_TRUE(m_clientEnd.WriteMessage(body.data(), 6));
    BYTE buffer[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(m_server, buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(Bytes({6, 0, 0, 0}), Bytes(buffer, buffer + read));
    ASSERT_TRUE(ReadFile(m_server, buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(body, Bytes(buffer, buffer + read));
}

TEST_F(PipeChannelTest, EndFrameIsFourZeroBytesAndAnEmptyMessage)
{
    ASSERT_TRUE(m_clientEnd.WriteMessage(nullptr, 0));
    BYTE buffer[16] = {};
    DWORD read = 0;
    ASSERT_TRUE(ReadFile(m_server, buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(Bytes({0, 0, 0, 0}), Bytes(buffer, buffer + read));
    read = 99;
    ASSERT_TRUE(ReadFile(m_server, buffer, sizeof(buffer), &read, nullptr));
    EXPECT_EQ(0u, read);
}

TEST_F(PipeChannelTest, EndFrameEndsReadingAfterItsLength)
{
    ASSERT_TRUE(m_clientEnd.WriteMessage(nullptr, 0));
    ExpectReadFails();
    // Only the length was taken: the empty body message is still there.
    DWORD available = 0, left = 99;
    ASSERT_TRUE(PeekNamedPipe(m_server, nullptr, 0, nullptr, &available, &left));
    EXPECT_EQ(0u, left);
}

TEST_F(PipeChannelTest, MalformedFramesAreRefused)
{
    const struct
    {
        const char* what;
        Bytes header;
        Bytes body;
        bool sendBody;
    } cases[] = {
        {"short length", {5, 0}, {}, false},
        {"long length", {1, 0, 0, 0, 0, 0}, {}, false},
        {"body shorter than its length", {10, 0, 0, 0}, {1, 2, 3}, true},
        {"body longer than its length", {3, 0, 0, 0}, {1, 2, 3, 4, 5}, true},
        {"hostile length", {0xFF, 0xFF, 0xFF, 0xFF}, {1, 2, 3, 4}, true},
        {"length just above the limit", {0x01, 0x00, 0x00, 0x02}, {1}, true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        WriteRaw(m_client, item.header);
        if (item.sendBody)
            WriteRaw(m_client, item.body);
        ExpectReadFails();
        // Drop what the failed read left, so the next case starts clean.
        for (;;) {
            DWORD available = 0;
            if (!PeekNamedPipe(m_server, nullptr, 0, nullptr, &available, nullptr) || available == 0)
                break;
            Bytes rest(available);
            DWORD read = 0;
            ReadFile(m_server, rest.data(), available, &read, nullptr);
        }
    }
    // The channel still reads a sound frame afterwards.
    const Bytes sound = {9, 8, 7};
    ASSERT_TRUE(m_clientEnd.WriteMessage(sound.data(), 3));
    BYTE* data = nullptr;
    DWORD length = 0;
    ASSERT_TRUE(m_serverEnd.ReadMessage(&data, &length));
    std::unique_ptr<BYTE[]> owned(data);
    EXPECT_EQ(sound, Bytes(data, data + length));
}

TEST_F(PipeChannelTest, ClosedPeerFailsReadsAndWrites)
{
    CloseHandle(m_client);
    m_client = INVALID_HANDLE_VALUE;
    ExpectReadFails();
    const BYTE byte = 1;
    EXPECT_FALSE(m_serverEnd.WriteMessage(&byte, 1));
}

// A handler that keeps the replies it is given.
class CReplyKeeper : public IPipeDataHandler
{
public:
    bool OnRequest(const BYTE*, DWORD, BYTE**, DWORD*) override { return false; }
    bool OnReply(const BYTE* reply, DWORD length) override
    {
        replies.push_back(Bytes(reply, reply + length));
        return false;
    }
    std::vector<Bytes> replies;
};

TEST_F(PipeChannelTest, ExchangeHandsTheReplyToTheOwner)
{
    CReplyKeeper keeper;
    m_clientEnd.SetOwner(&keeper);
    const Bytes answer = {4, 0, 0, 0};
    // The answer waits in the pipe before the question is asked (one thread).
    ASSERT_TRUE(m_serverEnd.WriteMessage(answer.data(), 4));
    const Bytes question = {'a', 0, 0, 0};
    ASSERT_TRUE(m_clientEnd.Exchange(question.data(), 4));
    ASSERT_EQ(1u, keeper.replies.size());
    EXPECT_EQ(answer, keeper.replies[0]);

    BYTE* data = nullptr;
    DWORD length = 0;
    ASSERT_TRUE(m_serverEnd.ReadMessage(&data, &length));
    std::unique_ptr<BYTE[]> owned(data);
    EXPECT_EQ(question, Bytes(data, data + length));

    // No reply: the exchange fails and nothing is handed on.
    CloseHandle(m_server);
    m_server = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(m_clientEnd.Exchange(question.data(), 4));
    EXPECT_EQ(1u, keeper.replies.size());
}

TEST(PipeChannel, ExchangeWithoutHandleFails)
{
    CPipeChannel channel;
    const BYTE byte = 1;
    EXPECT_FALSE(channel.Exchange(&byte, 1));
    EXPECT_FALSE(channel.IsConnected());
}

// A server that accepted the client but stops answering, part-way or at once: the
// client's read ends within its time limit, and the conversation is over for it.
TEST(PipeChannelTimeout, SilentServerEndsTheReadWithinTheLimit)
{
    const struct
    {
        const char* what;
        Bytes sent;
    } cases[] = {
        {"nothing sent", {}},
        {"length without its body", {8, 0, 0, 0}},
    };
    const DWORD limitMs = 500;
    int index = 0;
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        const std::wstring name = L"\\\\.\\pipe\\PipeChannelTimeout" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                                  std::to_wstring(index++);
        Common::Tools::CScopedHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX,
                                                             PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, 1,
                                                             0x10000, 0x10000, 0, nullptr));
        ASSERT_TRUE(server.IsValid());
        Common::Tools::CScopedHandle client(CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                                        OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        ASSERT_TRUE(client.IsValid());
        DWORD mode = PIPE_READMODE_MESSAGE;
        ASSERT_TRUE(SetNamedPipeHandleState(client.Get(), &mode, nullptr, nullptr));
        CPipeChannel serverEnd;
        serverEnd.Attach(server.Get());
        CPipeChannel clientEnd;
        clientEnd.Attach(client.Get());
        clientEnd.SetTimeout(limitMs);
        if (!item.sent.empty()) {
            DWORD written = 0;
            ASSERT_TRUE(WriteFile(server.Get(), item.sent.data(), static_cast<DWORD>(item.sent.size()), &written,
                                  nullptr));
        }

        BYTE* data = reinterpret_cast<BYTE*>(1);
        DWORD length = 77;
        DWORD start = GetTickCount();
        EXPECT_FALSE(clientEnd.ReadMessage(&data, &length));
        const DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(nullptr, data);
        EXPECT_EQ(0u, length);
        EXPECT_GE(elapsed, limitMs - 50);
        EXPECT_LT(elapsed, limitMs + 3000);

        // A late answer no longer counts: its place in the conversation is lost.
        const Bytes late = {1, 2, 3};
        ASSERT_TRUE(serverEnd.WriteMessage(late.data(), 3));
        start = GetTickCount();
        EXPECT_FALSE(clientEnd.ReadMessage(&data, &length));
        EXPECT_FALSE(clientEnd.WriteMessage(late.data(), 3));
        EXPECT_LT(GetTickCount() - start, limitMs);
    }
}

} // namespace
