// Tests of the compound file.
#include "common/storage/CompFile.h"

#include "common/storage/RC4.h"
#include "tests/support/FakeStream.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using Common::OLETools::CCompFile;
using Common::OLETools::Element;
using Common::OLETools::ElementList;
using Common::OLETools::ElementStorage;
using Common::OLETools::ElementStream;
using Common::OLETools::kModeReadOnly;
using Common::OLETools::kModeReadWrite;
using TestSupport::Bytes;
using TestSupport::CCompoundImage;
using TestSupport::ComErrorOf;
using TestSupport::Noise;
using TestSupport::Pattern;
using TestSupport::StreamContent;
using TestSupport::ToBytes;

namespace {

const std::string kKey = "{7C3A9E15-2B84-4F61-A0D7-5E92C8B41F36}";

Bytes Enciphered(const Bytes& plain)
{
    Bytes out(plain.size());
    Common::Storage::RC4Transform(reinterpret_cast<const BYTE*>(kKey.data()), static_cast<DWORD>(kKey.size()),
                                  plain.data(), static_cast<DWORD>(plain.size()), out.data(),
                                  static_cast<DWORD>(out.size()));
    return out;
}

Bytes Read(CCompFile& file, const std::wstring& path)
{
    DWORD size = 0;
    std::unique_ptr<BYTE[]> bytes = file.ReadStream(path, size);
    return Bytes(bytes.get(), bytes.get() + size);
}

// The stream's bytes as the platform stores them, past every transform.
Bytes StoredBytes(const std::wstring& package, const std::vector<std::wstring>& path)
{
    IStorage* root = nullptr;
    if (FAILED(StgOpenStorage(package.c_str(), nullptr, STGM_READ | STGM_SHARE_DENY_WRITE, nullptr, 0, &root)))
        return Bytes();
    // A storage's children live only as long as the storage.
    std::vector<IStoragePtr> storages{IStoragePtr(root, false)};
    for (size_t i = 0; i + 1 < path.size(); ++i) {
        IStorage* sub = nullptr;
        if (FAILED(storages.back()->OpenStorage(path[i].c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                                &sub)))
            return Bytes();
        storages.push_back(IStoragePtr(sub, false));
    }
    IStream* opened = nullptr;
    if (FAILED(storages.back()->OpenStream(path.back().c_str(), nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0, &opened)))
        return Bytes();
    IStreamPtr stream(opened, false);
    Bytes bytes(1 << 20);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

// The root entry's state bits, read from the file's bytes.
DWORD StateBitsOnDisk(const std::wstring& package)
{
    CCompoundImage image(TestSupport::ReadFileBytes(package));
    return image.Dword(image.RootEntry() + CCompoundImage::kEntryStateBits);
}

bool Contains(const Bytes& haystack, const Bytes& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

class CompFileTest : public ::testing::Test
{
protected:
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(CompFileTest, PathsNameElementsOfNestedStorages)
{
    PackageTools::SBuildOptions options;
    const std::wstring package = TestSupport::MakePackage(
        m_temp,
        {{L"root.txt", ToBytes("at the root")}, {L"a\\inner.txt", ToBytes("one down")},
         {L"a\\b\\deep.txt", ToBytes("two down")}},
        options);
    CCompFile file(package, false, kModeReadOnly);
    file.Open();

    struct SCase
    {
        const wchar_t* path;
        const char* content; // null: the read fails
    };
    const SCase cases[] = {
        {L"\\root.txt", "at the root"},
        {L"\\a\\inner.txt", "one down"},
        {L"\\a\\b\\deep.txt", "two down"},
        {L"\\a\\b\\deep.txt\\", "two down"}, // one trailing backslash is ignored
        {L"root.txt", nullptr},              // no leading backslash: no element name
        {L"\\missing.txt", nullptr},
        {L"\\a", nullptr},                   // a storage, not a stream
        {L"\\x\\inner.txt", nullptr},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.path, c.path + wcslen(c.path)));
        if (c.content != nullptr) {
            EXPECT_EQ(ToBytes(c.content), Read(file, c.path));
        } else {
            EXPECT_TRUE(FAILED(ComErrorOf([&] { Read(file, c.path); })));
        }
    }

    const ElementList inA = file.Enumerate(L"\\a\\");
    EXPECT_EQ(2u, inA.size());
    EXPECT_NE(inA.end(), std::find(inA.begin(), inA.end(), Element(ElementStream, L"inner.txt")));
    EXPECT_NE(inA.end(), std::find(inA.begin(), inA.end(), Element(ElementStorage, L"b")));
    EXPECT_EQ(inA, file.Enumerate(L"\\a"));
    EXPECT_EQ((ElementList{{ElementStream, L"deep.txt"}}), file.Enumerate(L"\\a\\b\\"));

    const ElementList atRoot = file.Enumerate(L"\\");
    EXPECT_EQ(2u, atRoot.size());
    EXPECT_EQ(atRoot, file.Enumerate(L""));
    EXPECT_NE(atRoot.end(), std::find(atRoot.begin(), atRoot.end(), Element(ElementStorage, L"a")));
    file.Close();
}

TEST_F(CompFileTest, OperationsNeedAnOpenRoot)
{
    const std::wstring package = m_temp / L"new.cfs";
    CCompFile file(package, true, kModeReadWrite);
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { Read(file, L"\\x"); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { file.Enumerate(L"\\"); }));
    EXPECT_EQ(nullptr, file.OpenStream(L"\\x"));

    // A package that is only read is served from its own tables while open, and
    // by nothing once closed, whatever was read or listed before.
    const std::wstring built =
        TestSupport::MakePackage(m_temp, {{L"x", ToBytes("x")}}, PackageTools::SBuildOptions(), L"built.cfs");
    CCompFile readOnly(built, false, kModeReadOnly);
    EXPECT_FALSE(readOnly.IsOpen());
    for (bool listed : {false, true}) {
        SCOPED_TRACE(listed ? "listed" : "only read");
        readOnly.Open();
        EXPECT_TRUE(readOnly.IsOpen());
        EXPECT_EQ(ToBytes("x"), Read(readOnly, L"\\x"));
        // Listing asks the platform's storage, which the reads alone never open.
        if (listed) {
            EXPECT_EQ((ElementList{{ElementStream, L"x"}}), readOnly.Enumerate(L"\\"));
        }
        EXPECT_EQ(ToBytes("x"), StreamContent(readOnly.OpenStream(L"\\x")));
        readOnly.Close();
        EXPECT_FALSE(readOnly.IsOpen());
        EXPECT_EQ(E_FAIL, ComErrorOf([&] { Read(readOnly, L"\\x"); }));
        EXPECT_EQ(E_FAIL, ComErrorOf([&] { readOnly.Enumerate(L"\\"); }));
        EXPECT_EQ(nullptr, readOnly.OpenStream(L"\\x"));
    }
}

TEST_F(CompFileTest, WritingDeepCreatesTheStoragesOnTheWay)
{
    const std::wstring package = m_temp / L"new.cfs";
    CCompFile file(package, true, kModeReadWrite);
    const Bytes content = Pattern(300, 1);
    file.Open();
    EXPECT_EQ(300u, file.WriteStream(L"\\one\\two\\three.bin", content.data(), 300));
    file.Close();

    file.Open();
    EXPECT_EQ(content, Read(file, L"\\one\\two\\three.bin"));
    EXPECT_EQ((ElementList{{ElementStorage, L"one"}}), file.Enumerate(L"\\"));
    EXPECT_EQ((ElementList{{ElementStorage, L"two"}}), file.Enumerate(L"\\one\\"));
    file.Close();
}

TEST_F(CompFileTest, RewritingShorterLeavesExactlyTheNewContent)
{
    const std::wstring package = m_temp / L"new.cfs";
    CCompFile file(package, true, kModeReadWrite);
    const Bytes longer = Pattern(5000, 2);
    const Bytes shorter = Pattern(10, 3);
    file.Open();
    file.WriteStream(L"\\data.bin", longer.data(), static_cast<DWORD>(longer.size()));
    EXPECT_EQ(10u, file.WriteStream(L"\\data.bin", shorter.data(), 10));
    file.Close();

    file.Open();
    EXPECT_EQ(shorter, Read(file, L"\\data.bin"));
    file.Close();
    EXPECT_EQ(10u, StoredBytes(package, {L"data.bin"}).size());
}

TEST_F(CompFileTest, AZeroLengthStreamReadsEmpty)
{
    const std::wstring package = m_temp / L"new.cfs";
    CCompFile file(package, true, kModeReadWrite);
    file.Open();
    EXPECT_EQ(0u, file.WriteStream(L"\\empty", nullptr, 0));
    file.Close();

    file.Open();
    EXPECT_TRUE(Read(file, L"\\empty").empty());
    IStreamPtr stream = file.OpenStream(L"\\empty");
    ASSERT_TRUE(stream);
    STATSTG stat = {};
    ASSERT_EQ(S_OK, stream->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(0u, stat.cbSize.QuadPart);
    file.Close();
}

TEST_F(CompFileTest, CreatingOverAnExistingFileFailsAndKeepsIt)
{
    const std::wstring package = m_temp / L"old.cfs";
    {
        CCompFile file(package, true, kModeReadWrite);
        const Bytes content = ToBytes("keep me");
        file.Open();
        file.WriteStream(L"\\keep", content.data(), static_cast<DWORD>(content.size()));
        file.Close();
    }
    const Bytes before = TestSupport::ReadFileBytes(package);
    EXPECT_TRUE(FAILED(ComErrorOf([&] { CCompFile again(package, true, kModeReadWrite); })));
    EXPECT_EQ(before, TestSupport::ReadFileBytes(package));
}

TEST_F(CompFileTest, CreatedFilesAreEncipheredWithTheFixedKey)
{
    const std::wstring package = m_temp / L"new.cfs";
    const Bytes small = ToBytes("<Interface Version=\"1\"/> stored in the mini stream");
    const Bytes large = Pattern(9000, 4);
    {
        CCompFile file(package, true, kModeReadWrite);
        EXPECT_EQ(1u, file.GetStateBits() & 1);
        file.Open();
        file.WriteStream(L"\\setup.xml", small.data(), static_cast<DWORD>(small.size()));
        file.WriteStream(L"\\images\\big.bin", large.data(), static_cast<DWORD>(large.size()));
        file.Close();
    }

    // On disk: the bit in the root entry, and every stream enciphered from the
    // start of the keystream.
    EXPECT_EQ(1u, StateBitsOnDisk(package) & 1);
    EXPECT_EQ(Enciphered(small), StoredBytes(package, {L"setup.xml"}));
    EXPECT_EQ(Enciphered(large), StoredBytes(package, {L"images", L"big.bin"}));
    const Bytes raw = TestSupport::ReadFileBytes(package);
    EXPECT_TRUE(Contains(raw, Enciphered(small)));
    EXPECT_FALSE(Contains(raw, small));

    // Read back, read-only: the bit is seen and the transform undone.
    CCompFile reader(package, false, kModeReadOnly);
    EXPECT_EQ(1u, reader.GetStateBits() & 1);
    reader.Open();
    EXPECT_EQ(small, Read(reader, L"\\setup.xml"));
    EXPECT_EQ(large, Read(reader, L"\\images\\big.bin"));
    reader.Close();
}

TEST_F(CompFileTest, TheStateBitStaysOnDiskThroughLaterWrites)
{
    const std::wstring package = m_temp / L"new.cfs";
    { CCompFile created(package, true, kModeReadWrite); }
    EXPECT_EQ(1u, StateBitsOnDisk(package));
    for (int round = 0; round < 3; ++round) {
        CCompFile file(package, false, kModeReadWrite);
        const Bytes content = Pattern(700 + round * 3000, round);
        file.Open();
        file.WriteStream(L"\\s" + std::to_wstring(round), content.data(), static_cast<DWORD>(content.size()));
        file.Close();
        EXPECT_EQ(1u, StateBitsOnDisk(package)) << round;
    }
}

TEST_F(CompFileTest, WriteFromStreamCopiesTheWholeSourceAndLeavesIt)
{
    const std::wstring package = m_temp / L"new.cfs";
    CCompFile file(package, true, kModeReadWrite);
    const Bytes content = Pattern(2000, 5);
    IStream* created = nullptr;
    ASSERT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &created));
    IStreamPtr source(created, false);
    ULONG written = 0;
    source->Write(content.data(), static_cast<ULONG>(content.size()), &written); // position now at the end
    file.Open();
    EXPECT_EQ(2000u, file.WriteFromStream(L"\\copy.bin", source));
    EXPECT_EQ(content, Read(file, L"\\copy.bin"));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { file.WriteFromStream(L"\\x", nullptr); }));
    file.Close();
}

TEST_F(CompFileTest, PackagesAreDecipheredOnlyWhenTheirRootSaysSo)
{
    const Bytes content = ToBytes("the same text either way");
    PackageTools::SBuildOptions enciphered;
    PackageTools::SBuildOptions plain;
    plain.cipher = false;
    const std::wstring encipheredPackage = TestSupport::MakePackage(m_temp, {{L"t.txt", content}}, enciphered, L"e.cfs");
    const std::wstring plainPackage = TestSupport::MakePackage(m_temp, {{L"t.txt", content}}, plain, L"p.cfs");

    EXPECT_EQ(1u, StateBitsOnDisk(encipheredPackage));
    EXPECT_EQ(Enciphered(content), StoredBytes(encipheredPackage, {L"t.txt"}));
    EXPECT_EQ(0u, StateBitsOnDisk(plainPackage));
    EXPECT_EQ(content, StoredBytes(plainPackage, {L"t.txt"}));

    for (const std::wstring& package : {encipheredPackage, plainPackage}) {
        CCompFile file(package, false, kModeReadOnly);
        file.Open();
        EXPECT_EQ(content, Read(file, L"\\t.txt"));
        file.Close();
    }
    CCompFile plainFile(plainPackage, false, kModeReadOnly);
    EXPECT_EQ(0u, plainFile.GetStateBits());
}

TEST_F(CompFileTest, MemoryBlocksReadLikeFilesAndStayTheCallers)
{
    const Bytes content = Pattern(6000, 6);
    for (bool cipher : {true, false}) {
        PackageTools::SBuildOptions options;
        options.cipher = cipher;
        const std::wstring package = TestSupport::MakePackage(
            m_temp, {{L"setup.xml", ToBytes("<Interface/>")}, {L"img\\p.bin", content}}, options,
            cipher ? L"m1.cfs" : L"m0.cfs");
        const Bytes image = TestSupport::ReadFileBytes(package);
        TestSupport::CGlobalBlock block(image);
        {
            CCompFile file(block.Get());
            EXPECT_EQ(cipher ? 1u : 0u, file.GetStateBits() & 1);
            file.Open();
            EXPECT_EQ(ToBytes("<Interface/>"), Read(file, L"\\setup.xml"));
            EXPECT_EQ(content, Read(file, L"\\img\\p.bin"));
            const Bytes sent = ToBytes("x");
            EXPECT_TRUE(FAILED(ComErrorOf([&] { file.WriteStream(L"\\new", sent.data(), 1); })));
            file.Close();
        }
        // The block outlives the file, unchanged.
        ASSERT_EQ(image.size(), GlobalSize(block.Get()));
        const BYTE* data = static_cast<const BYTE*>(GlobalLock(block.Get()));
        ASSERT_NE(nullptr, data);
        EXPECT_TRUE(std::equal(image.begin(), image.end(), data));
        GlobalUnlock(block.Get());
    }
}

TEST_F(CompFileTest, AReadOnlyPackageRefusesWrites)
{
    PackageTools::SBuildOptions options;
    const std::wstring package = TestSupport::MakePackage(m_temp, {{L"a.txt", ToBytes("a")}}, options);
    const Bytes before = TestSupport::ReadFileBytes(package);
    CCompFile file(package, false, kModeReadOnly);
    file.Open();
    const Bytes content = ToBytes("b");
    EXPECT_TRUE(FAILED(ComErrorOf([&] { file.WriteStream(L"\\a.txt", content.data(), 1); })));
    EXPECT_TRUE(FAILED(ComErrorOf([&] { file.WriteStream(L"\\new\\b.txt", content.data(), 1); })));
    file.Close();
    EXPECT_EQ(before, TestSupport::ReadFileBytes(package));
}

// A source stream that says it is 4 GiB and 10 bytes long and has nothing to read.
class CHugeStream : public TestSupport::CFakeStream
{
public:
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG* read) override
    {
        ++m_nReads;
        if (read)
            *read = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER* position) override
    {
        if (position)
            position->QuadPart = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override
    {
        *stat = STATSTG();
        stat->type = STGTY_STREAM;
        stat->cbSize.QuadPart = 0x10000000AULL;
        return S_OK;
    }

    int m_nReads = 0;
};

TEST_F(CompFileTest, AStreamOf4GiBOrMoreFailsCleanly)
{
    // Version 4 files (4096-byte sectors) keep all 64 bits of a stream's size.
    const std::wstring package = m_temp / L"v4.cfs";
    {
        STGOPTIONS options = {};
        options.usVersion = 1;
        options.ulSectorSize = 4096;
        IStorage* created = nullptr;
        ASSERT_EQ(S_OK, StgCreateStorageEx(package.c_str(), STGM_CREATE | STGM_READWRITE | STGM_SHARE_EXCLUSIVE,
                                           STGFMT_DOCFILE, 0, &options, nullptr, IID_IStorage,
                                           reinterpret_cast<void**>(&created)));
        IStoragePtr root(created, false);
        IStream* stream = nullptr;
        ASSERT_EQ(S_OK, root->CreateStream(L"huge.bin", kModeReadWrite, 0, 0, &stream));
        const Bytes content = Pattern(5000, 7);
        ULONG written = 0;
        stream->Write(content.data(), static_cast<ULONG>(content.size()), &written);
        stream->Release();
    }
    CCompoundImage image(TestSupport::ReadFileBytes(package));
    ASSERT_EQ(4096u, image.SectorSize());
    image.SetDword(image.FindEntry(L"huge.bin", 2) + CCompoundImage::kEntrySize + 4, 1); // high 32 bits of the size
    TestSupport::WriteFileBytes(package, image.Data());

    CCompFile file(package, false, kModeReadOnly);
    file.Open();
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { Read(file, L"\\huge.bin"); }));
    EXPECT_EQ(nullptr, file.OpenStream(L"\\huge.bin"));
    file.Close();

    // The same for a source stream handed to WriteFromStream: nothing is read short.
    CCompFile target(m_temp / L"target.cfs", true, kModeReadWrite);
    CHugeStream* huge = new CHugeStream;
    IStreamPtr source(huge, false);
    target.Open();
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { target.WriteFromStream(L"\\copy", source); }));
    EXPECT_EQ(0, huge->m_nReads);
    EXPECT_TRUE(target.Enumerate(L"\\").empty());
    target.Close();
}

} // namespace
