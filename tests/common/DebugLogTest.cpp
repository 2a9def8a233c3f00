// Tests of the debug log.
#include "common/tools/DebugLog.h"

#include "tests/support/CaptureOutput.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using TestSupport::CaptureOwnOutput;
using TestSupport::CRegistryValueScope;

namespace {

const wchar_t kLogKey[] = L"SOFTWARE\\Quorvant\\Velmora";
const char kStampPattern[] = "\\[\\d\\d/\\d\\d/\\d\\d-\\d\\d:\\d\\d:\\d\\d\\] ";

class DebugLogTest : public ::testing::Test
{
protected:
    // A log whose threshold comes from the registry value given (none: -1).
    std::unique_ptr<CDebugLog> MakeLog(int threshold)
    {
        m_switch.reset(); // put the old value back before the next scope saves it
        if (threshold < 0)
            m_switch.reset(new CRegistryValueScope(HKEY_LOCAL_MACHINE, kLogKey, L"LogLevel",
                                                   TestSupport::OwnRegistryView()));
        else
            m_switch.reset(new CRegistryValueScope(CRegistryValueScope::Dword(
                HKEY_LOCAL_MACHINE, kLogKey, L"LogLevel", TestSupport::OwnRegistryView(),
                static_cast<DWORD>(threshold))));
        EXPECT_TRUE(m_switch->Succeeded());
        return std::unique_ptr<CDebugLog>(new CDebugLog());
    }

    std::unique_ptr<CRegistryValueScope> m_switch;
};

TEST_F(DebugLogTest, ThresholdComesFromTheRegistry)
{
    EXPECT_EQ(0, MakeLog(-1)->GetThreshold());
    EXPECT_EQ(3, MakeLog(3)->GetThreshold());
    EXPECT_EQ(4, MakeLog(4)->GetThreshold());
}

TEST_F(DebugLogTest, RecordLayout)
{
    auto log = MakeLog(4);
    const auto messages = CaptureOwnOutput([&] {
        log->WriteRecord(3, "Common::Config::CBaseConfig::Init", 42, L"package opened");
        log->WriteRecord(4, "Common::Config::CBaseConfig::Init", 7, nullptr);
    });
    ASSERT_EQ(4u, messages.size());
    EXPECT_TRUE(std::regex_match(messages[0], std::regex(std::string(kStampPattern) +
                                                         "Common::Config::CBaseConfig::Init\\(42\\) - package opened")))
        << messages[0];
    EXPECT_EQ("\n", messages[1]);
    EXPECT_TRUE(std::regex_match(messages[2],
                                 std::regex(std::string(kStampPattern) + "Common::Config::CBaseConfig::Init\\(7\\)")))
        << messages[2];
    EXPECT_EQ("\n", messages[3]);
}

TEST_F(DebugLogTest, TimestampIsTheLocalDateAndTime)
{
    auto log = MakeLog(3);
    SYSTEMTIME before;
    GetLocalTime(&before);
    const auto messages = CaptureOwnOutput([&] {
        log->m_nMessageLevel = 3;
        log->Begin().Timestamp().Write(L"]");
        log->EndRecord();
    });
    ASSERT_FALSE(messages.empty());
    char date[16];
    snprintf(date, sizeof(date), "[%02u/%02u/%02u-", before.wMonth, before.wDay, before.wYear % 100u);
    EXPECT_EQ(0u, messages[0].find(date)) << messages[0];
    EXPECT_EQ(19u, messages[0].size()) << messages[0];
}

TEST_F(DebugLogTest, RecordAboveTheThresholdIsDroppedAndForgotten)
{
    auto log = MakeLog(3);
    const auto messages = CaptureOwnOutput([&] {
        log->m_nMessageLevel = 4;
        log->Write(L"detail");
        log->EndRecord();
        log->m_nMessageLevel = 3;
        log->Write(L"first");
        log->EndRecord();
    });
    EXPECT_EQ((std::vector<std::string>{"first", "\n"}), messages);
}

TEST_F(DebugLogTest, UnendedRecordGoesOutWithTheNextOne)
{
    auto log = MakeLog(3);
    const auto messages = CaptureOwnOutput([&] {
        log->m_nMessageLevel = 4;
        log->Write(L"unended;");
        log->m_nMessageLevel = 3;
        log->Write(L"ended");
        log->EndRecord();
    });
    EXPECT_EQ((std::vector<std::string>{"unended;ended", "\n"}), messages);
}

TEST_F(DebugLogTest, NothingWithoutTheSwitch)
{
    auto log = MakeLog(-1);
    const auto messages = CaptureOwnOutput([&] {
        log->WriteRecord(3, "F", 1, L"a");
        log->WriteRecord(4, "F", 2, L"b");
    });
    EXPECT_TRUE(messages.empty());
}

TEST_F(DebugLogTest, WritePieces)
{
    auto log = MakeLog(3);
    const auto messages = CaptureOwnOutput([&] {
        log->m_nMessageLevel = 3;
        log->Begin().Write("narrow\xE9").Write(L"|").Write(-17).WriteSeparator().Write(L"wide");
        log->EndRecord();
    });
    EXPECT_EQ((std::vector<std::string>{"[narrow\xE9|-17) - wide", "\n"}), messages);
}

TEST_F(DebugLogTest, RecordsOfOneStatementAreNeverInterleaved)
{
    auto log = MakeLog(3);
    const int kThreads = 4, kRecords = 25;
    const auto messages = CaptureOwnOutput([&] {
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&log, t] {
                for (int i = 0; i < kRecords; ++i) {
                    // Level set, record written and ended under one hold of the lock.
                    log->WriteRecord(3, "Worker::Run", t, L"abcdefghijklmnopqrstuvwxyz");
                }
            });
        }
        for (std::thread& thread : threads)
            thread.join();
    });
    ASSERT_EQ(static_cast<size_t>(kThreads * kRecords * 2), messages.size());
    const std::regex record(std::string(kStampPattern) + "Worker::Run\\([0-3]\\) - abcdefghijklmnopqrstuvwxyz");
    for (size_t i = 0; i < messages.size(); i += 2) {
        EXPECT_TRUE(std::regex_match(messages[i], record)) << messages[i];
        EXPECT_EQ("\n", messages[i + 1]);
    }
}

TEST(DebugLogInstance, IsOneObject)
{
    EXPECT_EQ(&CDebugLog::Instance(), &CDebugLog::Instance());
}

} // namespace
