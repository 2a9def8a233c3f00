// Tests of reading the package's next stream ahead on a thread of its own.
#include "common/storage/StreamReadAhead.h"

#include "tests/support/CaptureOutput.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/TraceLines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Common::Storage::CPackedStorage;
using Common::Storage::CStorage;
using Common::Storage::CStreamReadAhead;
using TestSupport::Bytes;
using TestSupport::ComErrorOf;
using TestSupport::Joined;
using TestSupport::PackageFiles;
using TestSupport::StreamContent;
using TestSupport::ToBytes;

namespace {

class StreamReadAheadTest : public ::testing::Test
{
protected:
    std::wstring Package(const PackageFiles& files, bool cipher, bool pack)
    {
        PackageTools::SBuildOptions options;
        options.cipher = cipher;
        options.pack = pack;
        return TestSupport::MakePackage(m_temp, files, options);
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(StreamReadAheadTest, StreamsReadAheadAreTheOnesOpenStreamGives)
{
    const PackageFiles files = {
        {L"a.bin", TestSupport::Noise(200000, 1)},
        {L"dir\\b.txt", TestSupport::Pattern(70000, 2)},
        {L"empty.dat", Bytes()},
    };
    for (bool cipher : {false, true}) {
        for (bool pack : {false, true}) {
            SCOPED_TRACE(std::string(cipher ? "enciphered" : "plain") + (pack ? ", packed" : ""));
            CPackedStorage storage;
            ASSERT_TRUE(storage.Open(Package(files, cipher, pack), true, false));
            CStorage::CHold hold(storage);
            // The first open makes the held file open; the reader never opens it.
            ASSERT_TRUE(storage.OpenStream(L"\\empty.dat"));
            CStreamReadAhead readAhead(storage);
            for (const auto& file : files) {
                const std::wstring name = L"\\" + file.first;
                readAhead.Start(name);
                const IStreamPtr stream = readAhead.Take(name);
                ASSERT_TRUE(stream) << std::string(name.begin(), name.end());
                EXPECT_EQ(file.second, StreamContent(stream));
                // Taken once: a second take has nothing.
                EXPECT_FALSE(readAhead.Take(name));
            }
        }
    }
}

// Whatever was not read ahead for the name asked is null, and the storage goes
// on as before: the caller opens the stream itself.
TEST_F(StreamReadAheadTest, WhatWasNotReadAheadIsNull)
{
    const Bytes content = ToBytes("the content of b");
    const std::wstring package = Package({{L"a.txt", ToBytes("a")}, {L"b.txt", content}}, true, true);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    {
        // Not held open: nothing is read ahead.
        CStreamReadAhead readAhead(storage);
        readAhead.Start(L"\\a.txt");
        EXPECT_FALSE(readAhead.Take(L"\\a.txt"));
    }
    CStorage::CHold hold(storage);
    ASSERT_TRUE(storage.OpenStream(L"\\a.txt"));
    CStreamReadAhead readAhead(storage);
    EXPECT_FALSE(readAhead.Take(L"\\a.txt")); // never asked
    readAhead.Start(L"\\a.txt");
    EXPECT_FALSE(readAhead.Take(L"\\b.txt")); // asked for another one, now dropped
    EXPECT_FALSE(readAhead.Take(L"\\a.txt"));
    readAhead.Start(L"\\a.txt");
    readAhead.Start(L"\\b.txt"); // the later ask replaces the earlier
    EXPECT_FALSE(readAhead.Take(L"\\a.txt"));
    EXPECT_EQ(content, StreamContent(storage.OpenStream(L"\\b.txt")));
}

// A stream the reader cannot give is left to the caller, who meets its failure
// and its trace as without the reader: the reader itself writes no trace and the
// storage stays open for the next stream.
TEST_F(StreamReadAheadTest, StreamsThatFailOrAreLargeAreLeftToTheCaller)
{
    const Bytes large = TestSupport::Noise(9 * 1024 * 1024, 3);
    const Bytes inflatesLarge = PackageTools::PackBytes(TestSupport::Pattern(9 * 1024 * 1024, 4));
    const Bytes notZlib = TestSupport::WithPackedTrailer(ToBytes("this was never deflated"), 23);
    // Stored as they are (no packing by the builder), so that the damage stays.
    const std::wstring package = Package(
        {{L"good.txt", ToBytes("good")}, {L"large.bin", large}, {L"inflates.bin", inflatesLarge}, {L"bad.bin", notZlib}},
        true, false);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    CStorage::CHold hold(storage);
    ASSERT_TRUE(storage.OpenStream(L"\\good.txt"));

    struct SCase
    {
        const wchar_t* name;
        HRESULT error; // of the caller's own open
    };
    const SCase cases[] = {
        {L"\\missing.txt", E_POINTER},
        {L"\\bad.bin", E_FAIL},
        {L"\\large.bin", S_OK},
        {L"\\inflates.bin", S_OK},
    };
    CStreamReadAhead readAhead(storage);
    for (const SCase& test : cases) {
        const std::string label(test.name, test.name + wcslen(test.name));
        SCOPED_TRACE(label);
        IStreamPtr taken;
        const std::vector<std::string> lines = TestSupport::TraceOf([&] {
            readAhead.Start(test.name);
            taken = readAhead.Take(test.name);
        });
        EXPECT_FALSE(taken);
        EXPECT_TRUE(lines.empty()) << Joined(lines);
        EXPECT_EQ(test.error, ComErrorOf([&] { storage.OpenStream(test.name); }));
    }
    EXPECT_EQ(large, StreamContent(storage.OpenStream(L"\\large.bin")));
    readAhead.Start(L"\\good.txt");
    EXPECT_EQ(ToBytes("good"), StreamContent(readAhead.Take(L"\\good.txt")));
}

// Ending with a read under way waits for it; the storage is then the caller's
// alone again.
TEST_F(StreamReadAheadTest, EndingWithAReadUnderWayWaitsForIt)
{
    const Bytes content = TestSupport::Pattern(4 * 1024 * 1024, 5);
    const std::wstring package = Package({{L"big.bin", content}}, true, true);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    CStorage::CHold hold(storage);
    ASSERT_TRUE(storage.OpenStream(L"\\big.bin"));
    for (int i = 0; i < 20; ++i) {
        CStreamReadAhead readAhead(storage);
        readAhead.Start(L"\\big.bin");
    }
    EXPECT_EQ(content, StreamContent(storage.OpenStream(L"\\big.bin")));
}

} // namespace
