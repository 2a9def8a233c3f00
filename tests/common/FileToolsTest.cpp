// Tests of the file tools.
#include "common/tools/FileTools.h"

#include "common/tools/ScopedHandle.h"
#include "tests/support/FakeStream.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <functional>
#include <string>

using TestSupport::Bytes;
using TestSupport::ComErrorOf;
using TestSupport::Pattern;
using TestSupport::ReadFileBytes;
using TestSupport::StreamContent;
using TestSupport::WriteFileBytes;

namespace {

ULONGLONG StreamSize(IStream* stream)
{
    STATSTG stat = {};
    EXPECT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    return stat.cbSize.QuadPart;
}

ULONGLONG StreamPosition(IStream* stream)
{
    LARGE_INTEGER zero = {};
    ULARGE_INTEGER position = {};
    EXPECT_EQ(S_OK, stream->Seek(zero, STREAM_SEEK_CUR, &position));
    return position.QuadPart;
}

IStreamPtr MemoryStream(const Bytes& bytes)
{
    IStream* stream = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &stream));
    IStreamPtr result(stream, false);
    ULONG written = 0;
    if (!bytes.empty()) {
        EXPECT_EQ(S_OK, result->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
    }
    // Left at its end on purpose: the save must start from the beginning.
    return result;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// A stream of 'size' pattern bytes whose reads are handed to a hook first: the
// hook may fail the read (by giving an error) or act on the world.
class CScriptedStream final : public TestSupport::CFakeStream
{
public:
    CScriptedStream(size_t size, std::function<HRESULT(int readNumber)> hook)
        : m_data(Pattern(size, 3)), m_hook(hook)
    {
    }

    HRESULT STDMETHODCALLTYPE Read(void* buffer, ULONG size, ULONG* read) override
    {
        *read = 0;
        const HRESULT hr = m_hook(++m_nReads);
        if (FAILED(hr))
            return hr;
        const size_t left = m_data.size() - m_nPosition;
        const ULONG count = static_cast<ULONG>(left < size ? left : size);
        if (count > 0)
            memcpy(buffer, &m_data[m_nPosition], count);
        m_nPosition += count;
        *read = count;
        return count < size ? S_FALSE : S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override
    {
        if (origin != STREAM_SEEK_SET || move.QuadPart < 0)
            return E_NOTIMPL;
        m_nPosition = static_cast<size_t>(move.QuadPart) < m_data.size() ? static_cast<size_t>(move.QuadPart)
                                                                         : m_data.size();
        if (position != nullptr)
            position->QuadPart = m_nPosition;
        return S_OK;
    }

    const Bytes& Data() const { return m_data; }

private:
    int m_nReads = 0;
    size_t m_nPosition = 0;
    Bytes m_data;
    std::function<HRESULT(int)> m_hook;
};

IStreamPtr Scripted(size_t size, std::function<HRESULT(int)> hook, const CScriptedStream** raw = nullptr)
{
    CScriptedStream* stream = new CScriptedStream(size, hook);
    if (raw != nullptr)
        *raw = stream;
    return IStreamPtr(stream, false);
}

class FileToolsTest : public ::testing::Test
{
protected:
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(FileToolsTest, LoadFileToStreamReadsWholeFiles)
{
    const size_t sizes[] = {0, 1, 4096, 0x200000, 0x200001, 5 * 1024 * 1024};
    for (size_t size : sizes) {
        const std::wstring path = m_temp / (L"file" + std::to_wstring(size));
        const Bytes bytes = Pattern(size, static_cast<unsigned>(size));
        WriteFileBytes(path, bytes);
        IStreamPtr stream = LoadFileToStream(path.c_str());
        ASSERT_TRUE(stream) << size;
        EXPECT_EQ(size, StreamSize(stream));
        EXPECT_EQ(0u, StreamPosition(stream)) << size;
        EXPECT_TRUE(StreamContent(stream) == bytes) << size;
    }
}

TEST_F(FileToolsTest, LoadFileToStreamGivesNothingForWhatCannotBeOpened)
{
    CreateDirectoryW((m_temp / L"folder").c_str(), nullptr);
    for (const std::wstring& path : {m_temp / L"missing.bin", m_temp / L"folder", m_temp / L"no\\such\\file"})
        EXPECT_FALSE(LoadFileToStream(path.c_str())) << std::string(path.begin(), path.end());
    EXPECT_FALSE(LoadFileToStream(nullptr));
    EXPECT_FALSE(LoadFileToStream(L""));
}

TEST_F(FileToolsTest, LoadFileToStreamRefusesFilesTooLargeForMemory)
{
    const std::wstring path = m_temp / L"huge.bin";
    {
        Common::Tools::CScopedHandle file(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file.IsValid());
        DWORD returned = 0;
        DeviceIoControl(file.Get(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER size;
        size.QuadPart = 0x80000000LL; // one byte more than a memory stream may hold
        ASSERT_TRUE(SetFilePointerEx(file.Get(), size, nullptr, FILE_BEGIN));
        ASSERT_TRUE(SetEndOfFile(file.Get()));
    }
    const DWORD start = GetTickCount();
    EXPECT_FALSE(LoadFileToStream(path.c_str()));
    EXPECT_LT(GetTickCount() - start, 5000u) << "refused without reading";
    DeleteFileW(path.c_str());
}

TEST_F(FileToolsTest, LoadFileToStreamGivesNothingWhenAReadFails)
{
    // A region locked by another handle fails the read of the second chunk: the
    // first 2 MB must not come back as if they were the file.
    const std::wstring path = m_temp / L"locked.bin";
    WriteFileBytes(path, Pattern(3 * 1024 * 1024, 9));
    Common::Tools::CScopedHandle holder(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(holder.IsValid());
    OVERLAPPED at = {};
    at.Offset = 0x280000;
    ASSERT_TRUE(LockFileEx(holder.Get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 4096, 0, &at));
    {
        Common::Tools::CScopedHandle probe(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(probe.IsValid());
        SetFilePointer(probe.Get(), at.Offset, nullptr, FILE_BEGIN);
        BYTE byte = 0;
        DWORD read = 0;
        if (ReadFile(probe.Get(), &byte, 1, &read, nullptr))
            GTEST_SKIP() << "byte-range locks do not fail reads here (Wine)";
    }
    EXPECT_FALSE(LoadFileToStream(path.c_str()));
    UnlockFileEx(holder.Get(), 0, 4096, 0, &at);
    EXPECT_TRUE(LoadFileToStream(path.c_str()));
}

TEST_F(FileToolsTest, SaveStreamToFileWritesTheWholeStreamFromItsStart)
{
    const size_t sizes[] = {0, 10, 0x200000, 3 * 1024 * 1024 + 17};
    for (size_t size : sizes) {
        const std::wstring path = m_temp / (L"saved" + std::to_wstring(size));
        // An older, longer file of that name is replaced.
        WriteFileBytes(path, Pattern(size + 100, 1));
        const Bytes bytes = Pattern(size, 5);
        IStreamPtr stream = MemoryStream(bytes);
        EXPECT_TRUE(SaveStreamToFile(stream, path.c_str())) << size;
        EXPECT_TRUE(ReadFileBytes(path) == bytes) << size;
        EXPECT_EQ(0u, StreamPosition(stream)) << size;
    }
}

TEST_F(FileToolsTest, SaveStreamToFileWritesOnlyTheStreamsPartOfItsBlock)
{
    const Bytes bytes = Pattern(100, 3);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, bytes.size());
    ASSERT_TRUE(block != nullptr);
    std::memcpy(GlobalLock(block), bytes.data(), bytes.size());
    GlobalUnlock(block);
    IStream* created = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(block, TRUE, &created));
    IStreamPtr stream(created, false);
    ULARGE_INTEGER size;
    size.QuadPart = 10;
    ASSERT_EQ(S_OK, stream->SetSize(size));

    const std::wstring path = m_temp / L"part.bin";
    EXPECT_TRUE(SaveStreamToFile(stream, path.c_str()));
    EXPECT_TRUE(ReadFileBytes(path) == Bytes(bytes.begin(), bytes.begin() + 10));
    EXPECT_EQ(0u, StreamPosition(stream));
}

TEST_F(FileToolsTest, SaveStreamToFileFailsWhereNoFileCanBeMade)
{
    CreateDirectoryW((m_temp / L"folder").c_str(), nullptr);
    IStreamPtr stream = MemoryStream(Pattern(100, 2));
    for (const std::wstring& path : {m_temp / L"no\\such\\folder\\file.bin", m_temp / L"folder"})
        EXPECT_FALSE(SaveStreamToFile(stream, path.c_str())) << std::string(path.begin(), path.end());
    EXPECT_FALSE(Exists(m_temp / L"no\\such\\folder\\file.bin"));
    EXPECT_FALSE(SaveStreamToFile(nullptr, (m_temp / L"x.bin").c_str()));
    EXPECT_FALSE(SaveStreamToFile(stream, nullptr));
    EXPECT_FALSE(SaveStreamToFile(stream, L""));
    EXPECT_FALSE(Exists(m_temp / L"x.bin"));
}

TEST_F(FileToolsTest, SaveStreamToNewFileLeavesAnExistingOneAlone)
{
    const std::wstring path = m_temp / L"taken.bin";
    WriteFileBytes(path, Pattern(50, 7));
    IStreamPtr stream = MemoryStream(Pattern(100, 2));
    EXPECT_FALSE(SaveStreamToFile(stream, path.c_str(), CREATE_NEW));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_EXISTS), GetLastError());
    EXPECT_TRUE(ReadFileBytes(path) == Pattern(50, 7));

    const std::wstring fresh = m_temp / L"fresh.bin";
    EXPECT_TRUE(SaveStreamToFile(stream, fresh.c_str(), CREATE_NEW));
    EXPECT_TRUE(ReadFileBytes(fresh) == Pattern(100, 2));
}

TEST_F(FileToolsTest, WriteStreamToFileWritesThroughTheCallersHandleFromItsPosition)
{
    const std::wstring path = m_temp / L"held.bin";
    Common::Tools::CScopedHandle file(
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file.IsValid());
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file.Get(), "AB", 2, &written, nullptr));
    IStreamPtr stream = MemoryStream(Pattern(100, 2));
    EXPECT_TRUE(WriteStreamToFile(stream, file.Get()));
    EXPECT_EQ(0u, StreamPosition(stream));
    // The handle stays the caller's: still open, and nobody else may open the file.
    EXPECT_EQ(INVALID_HANDLE_VALUE,
              CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
    file.Reset();
    Bytes expected{'A', 'B'};
    const Bytes pattern = Pattern(100, 2);
    expected.insert(expected.end(), pattern.begin(), pattern.end());
    EXPECT_TRUE(ReadFileBytes(path) == expected);
    EXPECT_FALSE(WriteStreamToFile(nullptr, file.Get()));
}

TEST_F(FileToolsTest, SaveStreamToFileFailsWhenTheStreamCannotBeRead)
{
    const std::wstring path = m_temp / L"partial.bin";
    const CScriptedStream* raw = nullptr;
    IStreamPtr stream = Scripted(5 * 1024 * 1024, [](int read) { return read == 2 ? STG_E_READFAULT : S_OK; }, &raw);
    SetLastError(ERROR_FILE_EXISTS);
    EXPECT_FALSE(SaveStreamToFile(stream, path.c_str()));
    // Never taken for a name in use.
    EXPECT_EQ(static_cast<DWORD>(ERROR_READ_FAULT), GetLastError());
    // The file stays as far as it was written.
    EXPECT_TRUE(ReadFileBytes(path) == Bytes(raw->Data().begin(), raw->Data().begin() + 0x200000));
}

TEST_F(FileToolsTest, SaveStreamToFileFailsWhenAWriteFails)
{
    // The "file" is a pipe whose reading end goes away before the first write.
    const std::wstring name = L"\\\\.\\pipe\\setup-test-save-" + std::to_wstring(GetCurrentProcessId());
    Common::Tools::CScopedHandle server(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND, PIPE_TYPE_BYTE | PIPE_WAIT,
                                                         1, 0, 0x10000, 0, nullptr));
    ASSERT_TRUE(server.IsValid());
    IStreamPtr stream = Scripted(100, [&server](int read) {
        if (read == 1)
            server.Reset();
        return S_OK;
    });
    EXPECT_FALSE(SaveStreamToFile(stream, name.c_str()));
    EXPECT_FALSE(server.IsValid()) << "the pipe was never opened as the file";
}

TEST_F(FileToolsTest, LoadLibraryIntoFreesTheModuleHeldBefore)
{
    // A system library that nothing else of the test program loads.
    const wchar_t library[] = L"msimg32.dll";
    ASSERT_EQ(nullptr, GetModuleHandleW(library));
    {
        CModuleHolder holder;
        EXPECT_TRUE(LoadLibraryInto(holder, library));
        ASSERT_TRUE(holder.IsValid());
        EXPECT_EQ(GetModuleHandleW(library), holder.Get());
        // The same library again: still one reference held.
        EXPECT_TRUE(LoadLibraryInto(holder, library));
        EXPECT_EQ(GetModuleHandleW(library), holder.Get());

        EXPECT_FALSE(LoadLibraryInto(holder, L"no-such-library-here.dll"));
        EXPECT_FALSE(holder.IsValid());
        EXPECT_EQ(nullptr, GetModuleHandleW(library));

        EXPECT_TRUE(LoadLibraryInto(holder, library));
        EXPECT_TRUE(LoadLibraryInto(holder, L"kernel32.dll"));
        EXPECT_EQ(GetModuleHandleW(L"kernel32.dll"), holder.Get());
        EXPECT_EQ(nullptr, GetModuleHandleW(library));

        EXPECT_TRUE(LoadLibraryInto(holder, library));
        CModuleHolder moved(std::move(holder));
        EXPECT_FALSE(holder.IsValid());
        EXPECT_EQ(GetModuleHandleW(library), moved.Get());
    }
    EXPECT_EQ(nullptr, GetModuleHandleW(library));
}

TEST_F(FileToolsTest, GetProcAddressOrThrowNeedsTheExport)
{
    CModuleHolder holder;
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { GetProcAddressOrThrow(holder, "GetTickCount"); }));
    ASSERT_TRUE(LoadLibraryInto(holder, L"kernel32.dll"));
    FARPROC address = nullptr;
    EXPECT_EQ(S_OK, ComErrorOf([&] { address = GetProcAddressOrThrow(holder, "GetTickCount"); }));
    EXPECT_EQ(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetTickCount"), address);
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { GetProcAddressOrThrow(holder, "NoSuchExportAnywhere"); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { GetProcAddressOrThrow(holder, nullptr); }));
}

} // namespace
