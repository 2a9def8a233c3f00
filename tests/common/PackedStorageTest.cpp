// Tests of the packed streams.
#include "common/storage/PackedStorage.h"

#include "common/storage/StreamEx.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/RegistryScope.h"
#include "common/tools/SetupTrace.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <functional>
#include <string>
#include <vector>

using Common::Storage::CPackedStorage;
using Common::Storage::CStorage;
using Common::Storage::CStreamEx;
using TestSupport::Bytes;
using TestSupport::CCompoundImage;
using TestSupport::PackageFiles;
using TestSupport::ComErrorOf;
using TestSupport::Noise;
using TestSupport::Pattern;
using TestSupport::StreamContent;
using TestSupport::ToBytes;
using TestSupport::WithPackedTrailer;

namespace {

Bytes Deflate(const Bytes& plain)
{
    uLongf length = compressBound(static_cast<uLong>(plain.size()));
    Bytes packed(length);
    compress2(packed.data(), &length, plain.data(), static_cast<uLong>(plain.size()), 9);
    packed.resize(length);
    return packed;
}

class PackedStorageTest : public ::testing::Test
{
protected:
    // A package of the files as they are (no packing by the builder).
    std::wstring Package(const PackageFiles& files, bool cipher = true, const wchar_t* name = L"package.cfs")
    {
        PackageTools::SBuildOptions options;
        options.cipher = cipher;
        return TestSupport::MakePackage(m_temp, files, options, name);
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(PackedStorageTest, BuiltPackagesReadBackByteForByte)
{
    const PackageFiles files = {
        {L"setup.xml", ToBytes("<Interface><InstallInfo ProductName=\"Sample\"/></Interface>")},
        {L"empty.txt", Bytes()},
        {L"images\\banner.bmp", Pattern(70000, 1)},
        {L"images\\small\\icon.ico", Pattern(300, 2)},
        {L"1033\\setup.xml", ToBytes("<Interface/>")},
        {L"nothing\\", Bytes()},
    };
    for (bool cipher : {true, false}) {
        for (bool pack : {false, true}) {
            SCOPED_TRACE(std::string(cipher ? "enciphered" : "plain") + (pack ? ", packed" : ""));
            PackageTools::SBuildOptions options;
            options.cipher = cipher;
            options.pack = pack;
            const std::wstring package = TestSupport::MakePackage(m_temp, files, options);
            const Bytes image = TestSupport::ReadFileBytes(package);
            TestSupport::CGlobalBlock block(image);

            CPackedStorage fromFile;
            ASSERT_TRUE(fromFile.Open(package, true, false));
            CPackedStorage fromMemory;
            ASSERT_TRUE(fromMemory.OpenFromMemory(block.Get()));
            for (CPackedStorage* storage : {&fromFile, &fromMemory}) {
                for (const auto& file : files) {
                    if (file.first.back() == L'\\')
                        continue;
                    const std::wstring name = L"\\" + file.first;
                    IStreamPtr stream = storage->OpenStream(name);
                    ASSERT_TRUE(stream) << std::string(name.begin(), name.end());
                    EXPECT_EQ(file.second, StreamContent(stream)) << std::string(name.begin(), name.end());
                }
                std::vector<std::wstring> listed;
                ASSERT_TRUE(storage->ListFiles(L"\\images", listed));
                EXPECT_EQ(2u, listed.size());
            }
        }
    }
}

// A package on disk is read through a mapped window of a few MiB: streams beyond
// it and across its end read whole.
TEST_F(PackedStorageTest, StreamsBeyondOneMappedWindowReadWhole)
{
    const PackageFiles files = {
        {L"first.bin", Noise(6 * 1024 * 1024, 5)},
        {L"across.bin", Noise(5 * 1024 * 1024, 6)},
        {L"last.txt", ToBytes("the end")},
    };
    const std::wstring package = Package(files, true);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    CStorage::CHold hold(storage);
    for (const auto& file : files)
        EXPECT_EQ(file.second, StreamContent(storage.OpenStream(L"\\" + file.first)))
            << std::string(file.first.begin(), file.first.end());
}

TEST_F(PackedStorageTest, LoadFileGivesTheStoredBytesDeciphered)
{
    const Bytes plain = Pattern(5000, 3);
    const Bytes packed = PackageTools::PackBytes(plain);
    PackageTools::SBuildOptions options;
    options.pack = true;
    const std::wstring package = TestSupport::MakePackage(m_temp, {{L"data.bin", plain}}, options);
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    DWORD size = 0;
    std::unique_ptr<BYTE[]> bytes = storage.LoadFile(L"\\data.bin", size);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(packed, Bytes(bytes.get(), bytes.get() + size));
}

TEST_F(PackedStorageTest, AMissingStreamIsNullForTheStorageAndAnErrorWhenPacked)
{
    const std::wstring package = Package({{L"present.txt", ToBytes("here")}});
    CStorage plain;
    ASSERT_TRUE(plain.Open(package, true, false));
    DWORD size = 77;
    EXPECT_EQ(nullptr, plain.LoadFile(L"\\absent.txt", size));
    EXPECT_EQ(0u, size);
    EXPECT_FALSE(plain.OpenStream(L"\\absent.txt"));

    CPackedStorage packed;
    ASSERT_TRUE(packed.Open(package, true, false));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { packed.OpenStream(L"\\absent.txt"); }));
    EXPECT_TRUE(packed.OpenStream(L"\\present.txt"));
}

TEST_F(PackedStorageTest, PackedStreamRules)
{
    const Bytes text = ToBytes("the packed content of a stream, long enough to be worth packing");
    const Bytes zlibText = Deflate(text);
    Bytes wrongChecksum = WithPackedTrailer(zlibText, static_cast<DWORD>(text.size()));
    wrongChecksum[wrongChecksum.size() - 1] ^= 0x01;
    Bytes garbageBehind = WithPackedTrailer(zlibText, static_cast<DWORD>(text.size()));
    garbageBehind.push_back(0x42);
    const Bytes bareTrailer = WithPackedTrailer(Bytes(), 5); // 12 bytes in all
    const Bytes notZlib = WithPackedTrailer(ToBytes("this was never deflated"), 23);
    Bytes longerPadded = text;
    longerPadded.resize(text.size() + 40, 0);

    struct SCase
    {
        const char* name;
        Bytes stored;
        HRESULT error;  // S_OK: the stream opens
        Bytes expected; // its content
    };
    const SCase cases[] = {
        {"packed", WithPackedTrailer(zlibText, static_cast<DWORD>(text.size())), S_OK, text},
        {"checksum one bit off", wrongChecksum, S_OK, wrongChecksum},
        {"garbage behind the trailer", garbageBehind, S_OK, garbageBehind},
        {"a 12-byte trailer alone", bareTrailer, S_OK, bareTrailer},
        {"plain text", text, S_OK, text},
        {"trailer over data that is not zlib", notZlib, E_FAIL, Bytes()},
        {"inflates to more than stated", WithPackedTrailer(zlibText, static_cast<DWORD>(text.size() - 1)), E_FAIL, Bytes()},
        {"inflates to less than stated: zero tail", WithPackedTrailer(zlibText, static_cast<DWORD>(text.size() + 40)), S_OK,
         longerPadded},
        {"stated empty and inflates to nothing", WithPackedTrailer(Deflate(Bytes()), 0), S_OK, Bytes()},
        {"stated empty but holds data", WithPackedTrailer(zlibText, 0), E_FAIL, Bytes()},
        {"truncated zlib data", WithPackedTrailer(Bytes(zlibText.begin(), zlibText.begin() + zlibText.size() / 2),
                                            static_cast<DWORD>(text.size())),
         E_FAIL, Bytes()},
    };
    PackageFiles files;
    for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i)
        files[L"case" + std::to_wstring(i)] = cases[i].stored;
    for (bool cipher : {true, false}) {
        CPackedStorage storage;
        ASSERT_TRUE(storage.Open(Package(files, cipher, cipher ? L"e.cfs" : L"p.cfs"), true, false));
        for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
            const SCase& c = cases[i];
            SCOPED_TRACE(std::string(c.name) + (cipher ? " (enciphered)" : " (plain)"));
            IStreamPtr stream;
            EXPECT_EQ(c.error, ComErrorOf([&] { stream = storage.OpenStream(L"\\case" + std::to_wstring(i)); }));
            if (c.error == S_OK) {
                ASSERT_TRUE(stream);
                EXPECT_EQ(c.expected, StreamContent(stream));
            }
        }
    }
}

TEST_F(PackedStorageTest, AnUnpackedSizeBeyondMemoryIsAComError)
{
    if (sizeof(void*) == 8)
        GTEST_SKIP() << "a 64-bit process can hold any size a trailer can state";
    const std::wstring package = Package({{L"big", WithPackedTrailer(Deflate(ToBytes("tiny")), 0xFFFFFF00)}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    const HRESULT hr = ComErrorOf([&] { storage.OpenStream(L"\\big"); });
    EXPECT_TRUE(FAILED(hr)) << std::hex << hr;
}

TEST_F(PackedStorageTest, ListFilesGoesDepthFirstInEnumerationOrder)
{
    const std::wstring package = Package({
        {L"folder\\stream.txt", ToBytes("1")},
        {L"folder\\inner\\deep.txt", ToBytes("2")},
        {L"folder\\inner\\deeper\\deepest.txt", ToBytes("3")},
        {L"top.txt", ToBytes("4")},
    });
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));

    // What the enumeration gives, level by level.
    Common::OLETools::CCompFile file(package, false, Common::OLETools::kModeReadOnly);
    file.Open();
    std::vector<std::wstring> expected;
    std::function<void(const std::wstring&)> walk = [&](const std::wstring& folder) {
        for (const auto& element : file.Enumerate(folder)) {
            if (element.first == Common::OLETools::ElementStream)
                expected.push_back(folder + element.second);
            else
                walk(folder + element.second + L"\\");
        }
    };
    walk(L"\\folder\\");
    file.Close();
    ASSERT_EQ(3u, expected.size());

    std::vector<std::wstring> listed = {L"left over"};
    ASSERT_TRUE(storage.ListFiles(L"\\folder", listed));
    EXPECT_EQ(expected, listed);
    ASSERT_TRUE(storage.ListFiles(L"\\folder\\", listed));
    EXPECT_EQ(expected, listed);

    ASSERT_TRUE(storage.ListFiles(L"", listed));
    EXPECT_EQ(4u, listed.size());
    EXPECT_NE(listed.end(), std::find(listed.begin(), listed.end(), L"\\top.txt"));

    EXPECT_FALSE(storage.ListFiles(L"\\nowhere", listed));
    EXPECT_TRUE(listed.empty());
}

TEST_F(PackedStorageTest, ListFilesSkipsNamesThatCouldLeaveTheTargetFolder)
{
    // Names no file system allows, put into the directory by hand; each alone in a
    // storage of its own, so that renaming it cannot upset the order of siblings.
    const std::vector<std::wstring> hostile = {L"..", L".", L"c:d", L"d/e", L"e\\f", L". .", L"g\tx", L""};
    PackageFiles files = {{L"keep.txt", ToBytes("kept")}, {L"sub\\fine.txt", ToBytes("fine")}};
    for (size_t i = 0; i < hostile.size(); ++i)
        files[L"s" + std::to_wstring(i) + L"\\victim"] = ToBytes("hostile");
    files[L"t\\zz\\inside.txt"] = ToBytes("below a storage renamed \"..\"");
    const std::wstring package = Package(files, false);

    CCompoundImage image(TestSupport::ReadFileBytes(package));
    for (const std::wstring& name : hostile)
        image.SetEntryName(image.FindEntry(L"victim", 2), name);
    image.SetEntryName(image.FindEntry(L"zz", 1), L"..");
    TestSupport::WriteFileBytes(package, image.Data());

    TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OwnRegistryView(), 1);
    Common::Tools::ResetSetupTraceLevel();
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    std::vector<std::wstring> listed;
    bool result = false;
    const std::vector<std::string> trace = TestSupport::CaptureOwnOutput([&] { result = storage.ListFiles(L"\\", listed); });
    Common::Tools::ResetSetupTraceLevel();

    ASSERT_TRUE(result);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ((std::vector<std::wstring>{L"\\keep.txt", L"\\sub\\fine.txt"}), listed);
    size_t skipped = 0;
    for (const std::string& line : trace)
        skipped += line.find("skipped") != std::string::npos ? 1 : 0;
    // Every named one traced (the nameless one is never enumerated), and the storage.
    EXPECT_EQ((hostile.size() - 1) + 1, skipped);
}

TEST_F(PackedStorageTest, SaveStreamWritesAnEncipheredPackage)
{
    const std::wstring package = m_temp / L"written.cfs";
    const Bytes content = Pattern(3000, 4);
    CStreamEx source;
    source.SetSize(static_cast<DWORD>(content.size()));
    std::copy(content.begin(), content.end(), source.Lock());
    {
        CStorage storage;
        ASSERT_TRUE(storage.Open(package, false, true));
        storage.SaveStream(L"\\folder\\saved.bin", source.Stream());
        storage.SaveStream(L"\\setup.xml", source.Stream());
    }
    CCompoundImage image(TestSupport::ReadFileBytes(package));
    EXPECT_EQ(1u, image.Dword(image.RootEntry() + CCompoundImage::kEntryStateBits));

    CPackedStorage reader;
    ASSERT_TRUE(reader.Open(package, true, false));
    EXPECT_EQ(content, StreamContent(reader.OpenStream(L"\\folder\\saved.bin")));
    EXPECT_EQ(content, StreamContent(reader.OpenStream(L"\\setup.xml")));
}

TEST_F(PackedStorageTest, AFailedOpenKeepsThePreviousPackage)
{
    const std::wstring package = Package({{L"a.txt", ToBytes("first")}});
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    EXPECT_FALSE(storage.Open(m_temp / L"missing.cfs", true, false));
    EXPECT_FALSE(storage.Open(package, false, true)); // exists: cannot be created
    DWORD size = 0;
    std::unique_ptr<BYTE[]> bytes = storage.LoadFile(L"\\a.txt", size);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(ToBytes("first"), Bytes(bytes.get(), bytes.get() + size));
}

TEST_F(PackedStorageTest, NoFileHeldBetweenOperations)
{
    const std::wstring package = Package({{L"a.txt", ToBytes("first")}});
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, false, false));
    DWORD size = 0;
    ASSERT_TRUE(storage.LoadFile(L"\\a.txt", size));
    // Exclusive access works only while nobody holds the file.
    HANDLE file = CreateFileW(package.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, file);
    CloseHandle(file);
}

namespace {

// Exclusive access works only while nobody holds the file.
bool Held(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(file);
    return false;
}

} // namespace

TEST_F(PackedStorageTest, AHoldKeepsThePackageOpenAcrossOperationsAndClosesItAtTheEnd)
{
    const Bytes big = Noise(70000, 4);
    const std::wstring package = Package({{L"a.txt", ToBytes("first")}, {L"dir\\b.bin", big}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    DWORD size = 0;
    ASSERT_TRUE(storage.LoadFile(L"\\a.txt", size));
    EXPECT_FALSE(Held(package));
    {
        CStorage::CHold hold(storage);
        CStorage::CHold inner(storage);
        for (int round = 0; round < 3; ++round) {
            std::unique_ptr<BYTE[]> bytes = storage.LoadFile(L"\\a.txt", size);
            ASSERT_TRUE(bytes);
            EXPECT_EQ(ToBytes("first"), Bytes(bytes.get(), bytes.get() + size));
            EXPECT_TRUE(Held(package));
            EXPECT_EQ(big, StreamContent(storage.OpenStream(L"\\dir\\b.bin")));
            std::vector<std::wstring> listed;
            EXPECT_TRUE(storage.ListFiles(L"\\dir", listed));
            EXPECT_EQ(std::vector<std::wstring>{L"\\dir\\b.bin"}, listed);
            EXPECT_TRUE(Held(package));
        }
    }
    EXPECT_FALSE(Held(package));
    EXPECT_TRUE(storage.LoadFile(L"\\a.txt", size));
    EXPECT_FALSE(Held(package));
}

// A failure closes the package even while held: the next operation opens it again
// and reports as it would without the hold.
TEST_F(PackedStorageTest, AFailureUnderAHoldClosesThePackage)
{
    const std::wstring package = Package({{L"a.txt", ToBytes("first")}});
    CStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    CStorage::CHold hold(storage);
    DWORD size = 0;
    ASSERT_TRUE(storage.LoadFile(L"\\a.txt", size));
    EXPECT_TRUE(Held(package));
    EXPECT_EQ(nullptr, storage.LoadFile(L"\\missing.txt", size));
    EXPECT_FALSE(Held(package));
    std::unique_ptr<BYTE[]> bytes = storage.LoadFile(L"\\a.txt", size);
    ASSERT_TRUE(bytes);
    EXPECT_EQ(ToBytes("first"), Bytes(bytes.get(), bytes.get() + size));
    EXPECT_TRUE(Held(package));
}

TEST_F(PackedStorageTest, StorageWithoutAFileRefusesEverything)
{
    CStorage storage;
    DWORD size = 5;
    EXPECT_EQ(nullptr, storage.LoadFile(L"\\a", size));
    EXPECT_FALSE(storage.OpenStream(L"\\a"));
    std::vector<std::wstring> listed;
    EXPECT_FALSE(storage.ListFiles(L"\\", listed));
    EXPECT_TRUE(FAILED(ComErrorOf([&] { storage.SaveStream(L"\\a", nullptr); })));
}

TEST(StreamEx, SizeRewindsAndLockReachesTheBytes)
{
    TestSupport::CComScope com;
    CStreamEx stream;
    EXPECT_EQ(0u, stream.GetSize());
    stream.SetSize(5);
    BYTE* data = stream.Lock();
    std::copy_n("abcde", 5, data);
    ULARGE_INTEGER position = {};
    LARGE_INTEGER offset = {};
    offset.QuadPart = 3;
    stream.Stream()->Seek(offset, STREAM_SEEK_SET, nullptr);
    EXPECT_EQ(5u, stream.GetSize());
    LARGE_INTEGER zero = {};
    stream.Stream()->Seek(zero, STREAM_SEEK_CUR, &position);
    EXPECT_EQ(0u, position.QuadPart);
    EXPECT_EQ(ToBytes("abcde"), StreamContent(stream.Stream()));

    CStreamEx none(nullptr);
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { none.GetSize(); }));
}

} // namespace
