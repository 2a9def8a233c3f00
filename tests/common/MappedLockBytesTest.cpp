// Tests of the mapped lock bytes.
#include "common/storage/MappedLockBytes.h"

#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <string>

using Common::OLETools::CMappedLockBytes;
using TestSupport::Bytes;

namespace {

ULARGE_INTEGER At(ULONGLONG offset)
{
    ULARGE_INTEGER value;
    value.QuadPart = offset;
    return value;
}

class MappedLockBytesTest : public ::testing::Test
{
protected:
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

// Larger than all the mapped windows together (eight of 1 MiB), so that reads
// cross from one window to the next and windows are mapped again.
TEST_F(MappedLockBytesTest, ReadsGiveTheFileBytesAcrossWindowsAndStopAtTheEnd)
{
    const ULONGLONG window = 8 * 1024 * 1024;
    const Bytes content = TestSupport::Noise(static_cast<size_t>(window + 300000), 9);
    const std::wstring path = m_temp / L"image.bin";
    TestSupport::WriteFileBytes(path, content);
    ILockBytesPtr bytes = CMappedLockBytes::Open(path);
    ASSERT_TRUE(bytes);

    const ULONGLONG size = content.size();
    struct SCase
    {
        ULONGLONG offset;
        ULONG length;
        ULONG expected;
    } cases[] = {
        {0, 512, 512},
        {window - 100, 512, 512},          // across a window's end
        {1024 * 1024 - 1, 2, 2},           // back across the first window's end
        {window + 4096, 4096, 4096},       // in the last window
        {100, 200000, 200000},             // back in the first, mapped again
        {0, static_cast<ULONG>(size), static_cast<ULONG>(size)}, // every window at once
        {window - 70000, 140000, 140000},  // a stream-sized read across windows
        {size - 10, 512, 10},              // past the end: only what is there
        {size, 512, 0},
        {size + 4096, 512, 0},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.offset) + "+" + std::to_string(c.length));
        Bytes buffer(c.length, 0xCC);
        ULONG read = 12345;
        EXPECT_EQ(S_OK, bytes->ReadAt(At(c.offset), buffer.data(), c.length, &read));
        ASSERT_EQ(c.expected, read);
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + read, content.begin() + static_cast<ptrdiff_t>(c.offset)));
    }

    STATSTG stat = {};
    ASSERT_EQ(S_OK, bytes->Stat(&stat, STATFLAG_DEFAULT));
    EXPECT_EQ(size, stat.cbSize.QuadPart);
    EXPECT_EQ(nullptr, stat.pwcsName);
    EXPECT_EQ(0u, stat.grfLocksSupported);
}

TEST_F(MappedLockBytesTest, ReadOnlyAndKeepsWritersOut)
{
    const Bytes content = TestSupport::Pattern(5000, 1);
    const std::wstring path = m_temp / L"image.bin";
    TestSupport::WriteFileBytes(path, content);
    {
        ILockBytesPtr bytes = CMappedLockBytes::Open(path);
        ASSERT_TRUE(bytes);
        ULONG written = 7;
        EXPECT_EQ(STG_E_ACCESSDENIED, bytes->WriteAt(At(0), content.data(), 10, &written));
        EXPECT_EQ(0u, written);
        EXPECT_EQ(STG_E_ACCESSDENIED, bytes->SetSize(At(10)));
        HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
        if (writer != INVALID_HANDLE_VALUE)
            CloseHandle(writer);
    }
    // Released: the file is free again.
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, writer);
    CloseHandle(writer);
}

// Null wherever the platform's own open should be the one to say why.
TEST_F(MappedLockBytesTest, NothingForAFileThatCannotBeMapped)
{
    const std::wstring empty = m_temp / L"empty.bin";
    TestSupport::WriteFileBytes(empty, Bytes());
    const std::wstring busy = m_temp / L"busy.bin";
    TestSupport::WriteFileBytes(busy, Bytes(100, 1));
    HANDLE writer = CreateFileW(busy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, writer);
    for (const std::wstring& path : {m_temp / L"missing.bin", empty, busy})
        EXPECT_FALSE(CMappedLockBytes::Open(path)) << std::string(path.begin(), path.end());
    CloseHandle(writer);
}

} // namespace
