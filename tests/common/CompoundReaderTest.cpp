// The package reader finds and reads what the platform's storage finds and reads.
#include "common/storage/CompoundReader.h"

#include "common/storage/CompFile.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Common::OLETools::CCompFile;
using Common::OLETools::CCompoundReader;
using Common::OLETools::CFileImageReader;
using Common::OLETools::SCompoundLayout;
using TestSupport::Bytes;
using TestSupport::CCompoundImage;
using TestSupport::ComErrorOf;
using TestSupport::Noise;
using TestSupport::PackageFiles;
using TestSupport::StreamContent;
using TestSupport::ToBytes;

namespace {

const PackageFiles& Files()
{
    static const PackageFiles files = {
        {L"setup.xml", ToBytes("<Interface/>")},
        {L"big.bin", Noise(20000, 1)},   // sectors of the file
        {L"images\\a.bin", Noise(900, 2)}, // mini sectors
        {L"images\\Sub\\deep.bin", Noise(5000, 3)},
    };
    return files;
}

class CompoundReaderTest : public ::testing::Test
{
protected:
    std::wstring MakePlain(const PackageFiles& files, const std::wstring& name = L"package.cfs")
    {
        PackageTools::SBuildOptions options;
        options.cipher = false;
        return TestSupport::MakePackage(m_temp, files, options, name);
    }

    static std::unique_ptr<CCompoundReader> Load(const std::wstring& package)
    {
        CFileImageReader image(package);
        std::wstring problem;
        SCompoundLayout layout;
        if (!Common::OLETools::CheckCompoundImage(image, problem, &layout))
            return nullptr;
        return std::unique_ptr<CCompoundReader>(new CCompoundReader(std::move(layout)));
    }

    // The path split as the package's paths are: storages on the way, then the name.
    static CCompoundReader::EFound Find(CCompoundReader& reader, std::vector<std::wstring> path, DWORD& entry)
    {
        const std::wstring name = path.back();
        path.pop_back();
        return reader.FindStream(path, name, entry);
    }

    static Bytes Read(CCompoundReader& reader, const std::wstring& package, DWORD entry)
    {
        CFileImageReader image(package);
        Bytes bytes(static_cast<size_t>(reader.StreamSize(entry)));
        reader.ReadStream(image, entry, bytes.data(), static_cast<DWORD>(bytes.size()));
        return bytes;
    }

    // What the platform's own walk gives for the path: the bytes, or nothing.
    static bool PlatformReads(const std::wstring& package, const std::wstring& path, Bytes& bytes)
    {
        CCompFile file(package, false, Common::OLETools::kModeReadOnly);
        file.Open();
        DWORD size = 0;
        const HRESULT hr = ComErrorOf([&] {
            std::unique_ptr<BYTE[]> read = file.ReadStream(path, size);
            bytes.assign(read.get(), read.get() + size);
        });
        return SUCCEEDED(hr);
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(CompoundReaderTest, FindsWhatThePlatformsWalkFinds)
{
    struct SCase
    {
        std::vector<std::wstring> path;
        const wchar_t* file; // the file found, or null
    };
    const SCase cases[] = {
        {{L"setup.xml"}, L"setup.xml"},
        {{L"SETUP.XML"}, L"setup.xml"},
        {{L"big.bin"}, L"big.bin"},
        {{L"images", L"a.bin"}, L"images\\a.bin"},
        {{L"IMAGES", L"sub", L"Deep.Bin"}, L"images\\Sub\\deep.bin"},
        {{L"images"}, nullptr},                // a storage, not a stream
        {{L"setup.xml", L"a.bin"}, nullptr},   // a stream on the way
        {{L"missing.bin"}, nullptr},
        {{L"images", L"missing.bin"}, nullptr},
        {{L"missing", L"a.bin"}, nullptr},
        {{L"setup.xm"}, nullptr},
        {{L""}, nullptr},
    };
    const std::wstring package = MakePlain(Files());
    std::unique_ptr<CCompoundReader> reader = Load(package);
    ASSERT_TRUE(reader);
    for (const SCase& c : cases) {
        std::wstring joined;
        for (const std::wstring& part : c.path)
            joined += L"\\" + part;
        SCOPED_TRACE(std::string(joined.begin(), joined.end()));
        DWORD entry = 0;
        const CCompoundReader::EFound found = Find(*reader, c.path, entry);
        Bytes platform;
        const bool platformFound = PlatformReads(package, joined, platform);
        if (c.file == nullptr) {
            EXPECT_EQ(CCompoundReader::kNotFound, found);
            EXPECT_FALSE(platformFound);
            continue;
        }
        ASSERT_EQ(CCompoundReader::kFound, found);
        EXPECT_EQ(Files().at(c.file), Read(*reader, package, entry));
        EXPECT_TRUE(platformFound);
        EXPECT_EQ(Files().at(c.file), platform);
    }
}

TEST_F(CompoundReaderTest, AFolderOfNamesAddedInOrderIsFoundWhole)
{
    // Names added in order make the directory's tree one long branch.
    PackageFiles files;
    for (int i = 0; i < 300; ++i) {
        wchar_t name[32];
        swprintf(name, 32, L"files\\f%05d.bin", i);
        files[name] = Noise(static_cast<size_t>(i * 37 % 6000), static_cast<DWORD>(i));
    }
    const std::wstring package = MakePlain(files);
    std::unique_ptr<CCompoundReader> reader = Load(package);
    ASSERT_TRUE(reader);
    for (const auto& file : files) {
        const std::wstring name = file.first.substr(file.first.find(L'\\') + 1);
        DWORD entry = 0;
        ASSERT_EQ(CCompoundReader::kFound, Find(*reader, {L"files", name}, entry));
        EXPECT_EQ(file.second, Read(*reader, package, entry));
    }
}

TEST_F(CompoundReaderTest, StoragesItCannotSearchAsThePlatformDoesAreLeftToIt)
{
    struct SCase
    {
        const char* name;
        PackageFiles files;
        std::function<void(CCompoundImage&)> change;
    };
    PackageFiles accented = Files();
    accented[L"\u00e9t\u00e9.txt"] = ToBytes("summer");
    const SCase cases[] = {
        // "big.bin" grows longer than "setup.xml": the tree is no longer in order.
        {"tree out of order", Files(),
         [](CCompoundImage& i) { i.SetEntryName(i.FindEntry(L"big.bin", 2), L"big-and-long-name.bin"); }},
        {"a name beyond ASCII", accented, [](CCompoundImage&) {}},
    };
    int index = 0;
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring original = MakePlain(c.files, L"original" + std::to_wstring(index) + L".cfs");
        CCompoundImage image(TestSupport::ReadFileBytes(original));
        c.change(image);
        const std::wstring package = m_temp / (L"changed" + std::to_wstring(index++) + L".cfs");
        TestSupport::WriteFileBytes(package, image.Data());
        std::unique_ptr<CCompoundReader> reader = Load(package);
        ASSERT_TRUE(reader);
        DWORD entry = 0;
        EXPECT_EQ(CCompoundReader::kAskPlatform, Find(*reader, {L"setup.xml"}, entry));
        EXPECT_EQ(CCompoundReader::kAskPlatform, Find(*reader, {L"images", L"a.bin"}, entry));

        // Whichever way it is found, a package's stream reads as the platform reads it.
        CCompFile file(package, false, Common::OLETools::kModeReadOnly);
        file.Open();
        for (const wchar_t* path : {L"\\setup.xml", L"\\images\\a.bin", L"\\big-and-long-name.bin", L"\\big.bin"}) {
            Bytes platform;
            const bool platformFound = PlatformReads(package, path, platform);
            IStreamPtr stream = file.OpenStream(path);
            EXPECT_EQ(platformFound, static_cast<bool>(stream));
            EXPECT_EQ(platform, stream ? StreamContent(stream) : Bytes());
        }
    }
}

TEST_F(CompoundReaderTest, AStreamLongerThanItsChainFailsToRead)
{
    const std::wstring original = MakePlain(Files(), L"original.cfs");
    for (const wchar_t* name : {L"big.bin", L"a.bin"}) {
        SCOPED_TRACE(std::string(name, name + wcslen(name)));
        CCompoundImage image(TestSupport::ReadFileBytes(original));
        const size_t size = image.FindEntry(name, 2) + CCompoundImage::kEntrySize;
        // Still on the same side of the mini stream cutoff.
        image.SetDword(size, image.Dword(size) + 600);
        const std::wstring package = m_temp / (std::wstring(name) + L".cfs");
        TestSupport::WriteFileBytes(package, image.Data());
        std::unique_ptr<CCompoundReader> reader = Load(package);
        ASSERT_TRUE(reader);
        DWORD entry = 0;
        const std::vector<std::wstring> path =
            name == std::wstring(L"a.bin") ? std::vector<std::wstring>{L"images", name} : std::vector<std::wstring>{name};
        ASSERT_EQ(CCompoundReader::kFound, Find(*reader, path, entry));
        EXPECT_EQ(STG_E_READFAULT, ComErrorOf([&] { Read(*reader, package, entry); }));
    }
}

} // namespace
