// Tests of damaged packages being refused.
#include "common/storage/PackedStorage.h"

#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using Common::Storage::CPackedStorage;
using TestSupport::Bytes;
using TestSupport::CCompoundImage;
using TestSupport::PackageFiles;
using TestSupport::ComErrorOf;
using TestSupport::Noise;
using TestSupport::Pattern;
using TestSupport::StreamContent;
using TestSupport::ToBytes;

namespace {

const PackageFiles& Files()
{
    static const PackageFiles files = {
        {L"setup.xml", ToBytes("<Interface><InstallInfo ProductName=\"Damaged\"/></Interface>")},
        {L"big.bin", Noise(20000, 1)},
        {L"images\\a.bin", Noise(900, 2)},
        {L"images\\b.bin", Noise(7000, 3)},
    };
    return files;
}

// What reading every file of the package gave.
struct SOutcome
{
    bool opened = false;
    bool listed = false;
    int intact = 0; // files read back exactly
    int failed = 0; // files that gave null or a COM error
    std::string Describe() const
    {
        return std::string("opened=") + (opened ? "1" : "0") + " listed=" + (listed ? "1" : "0") +
               " intact=" + std::to_string(intact) + " failed=" + std::to_string(failed);
    }
};

SOutcome ReadAll(CPackedStorage& storage, bool opened)
{
    SOutcome outcome;
    outcome.opened = opened;
    if (!opened)
        return outcome;
    std::vector<std::wstring> listed;
    outcome.listed = storage.ListFiles(L"\\", listed);
    for (const auto& file : Files()) {
        const std::wstring name = L"\\" + file.first;
        DWORD size = 0;
        std::unique_ptr<BYTE[]> bytes = storage.LoadFile(name, size);
        try {
            IStreamPtr stream = storage.OpenStream(name);
            if (!bytes || !stream)
                ++outcome.failed;
            else if (StreamContent(stream) == file.second)
                ++outcome.intact;
        } catch (const _com_error&) {
            ++outcome.failed;
        }
    }
    return outcome;
}

struct SDamage
{
    const char* name;
    std::function<void(CCompoundImage&)> damage;
    bool opens;
    int intact; // files that still read back exactly; the others fail
};

class DamagedPackageTest : public ::testing::TestWithParam<bool> // packed streams or not
{
protected:
    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

size_t BigEntry(CCompoundImage& image)
{
    return image.FindEntry(L"big.bin", 2);
}

TEST_P(DamagedPackageTest, EachDamageIsRefusedOrConfinedToItsStream)
{
    const int all = static_cast<int>(Files().size());
    const SDamage damages[] = {
        {"nothing", [](CCompoundImage&) {}, true, all},
        {"empty file", [](CCompoundImage& i) { i.Data().clear(); }, false, 0},
        {"not a compound file", [](CCompoundImage& i) { i.Data() = ToBytes("<Interface/> is XML, not a package"); }, false, 0},
        {"cut inside the header", [](CCompoundImage& i) { i.Data().resize(300); }, false, 0},
        {"header alone", [](CCompoundImage& i) { i.Data().resize(512); }, false, 0},
        {"cut in half", [](CCompoundImage& i) { i.Data().resize(i.Data().size() / 2); }, false, 0},
        {"last sector cut", [](CCompoundImage& i) { i.Data().resize(i.Data().size() - 512); }, false, 0},
        {"signature flipped", [](CCompoundImage& i) { i.Data()[0] ^= 0xFF; }, false, 0},
        {"byte order mark wrong", [](CCompoundImage& i) { i.Data()[0x1C] = 0; }, false, 0},
        {"sector shift wrong", [](CCompoundImage& i) { i.Data()[0x1E] = 10; }, false, 0},
        {"directory beyond the end", [](CCompoundImage& i) { i.SetDword(0x30, 0x00FFFFFF); }, false, 0},
        {"FAT sector beyond the end", [](CCompoundImage& i) { i.SetDword(0x4C, 0x00FFFFFF); }, false, 0},
        {"more FAT sectors than the file", [](CCompoundImage& i) { i.SetDword(0x2C, 0x00FFFFFF); }, false, 0},
        {"root's child points at the root",
         [](CCompoundImage& i) { i.SetDword(i.RootEntry() + CCompoundImage::kEntryChild, 0); }, false, 0},
        {"sibling points at itself", [](CCompoundImage& i) {
             const size_t entry = BigEntry(i);
             i.SetDword(entry + CCompoundImage::kEntryLeft, static_cast<DWORD>((entry % i.SectorSize()) / 128));
         }, false, 0},
        {"entry name longer than its field", [](CCompoundImage& i) { i.Data()[BigEntry(i) + 0x40] = 200; }, false, 0},
        {"FAT chain loops on itself", [](CCompoundImage& i) {
             const DWORD start = i.Dword(BigEntry(i) + CCompoundImage::kEntryStart);
             i.SetDword(i.FatCell(start), start);
         }, false, 0},
        {"FAT chain leaves the file", [](CCompoundImage& i) {
             const DWORD start = i.Dword(BigEntry(i) + CCompoundImage::kEntryStart);
             i.SetDword(i.FatCell(start), 0x00FFFFF0);
         }, false, 0},
        {"stream start beyond the end",
         [](CCompoundImage& i) { i.SetDword(BigEntry(i) + CCompoundImage::kEntryStart, 0x00FFFFF0); }, false, 0},
        {"mini stream start beyond the end",
         [](CCompoundImage& i) { i.SetDword(i.RootEntry() + CCompoundImage::kEntryStart, 0x00FFFFF0); }, false, 0},
        {"stream longer than its chain", [](CCompoundImage& i) {
             const size_t size = BigEntry(i) + CCompoundImage::kEntrySize;
             i.SetDword(size, i.Dword(size) + 5000);
         }, true, all - 1},
        {"stream longer than memory",
         [](CCompoundImage& i) { i.SetDword(BigEntry(i) + CCompoundImage::kEntrySize, 0x7FFFFF00); }, true, all - 1},
    };

    PackageTools::SBuildOptions options;
    options.pack = GetParam();
    const std::wstring original = TestSupport::MakePackage(m_temp, Files(), options, L"original.cfs");
    const Bytes pristine = TestSupport::ReadFileBytes(original);
    int index = 0;
    for (const SDamage& d : damages) {
        SCOPED_TRACE(d.name);
        CCompoundImage image(pristine);
        d.damage(image);
        const std::wstring path = m_temp / (L"damaged" + std::to_wstring(index++) + L".cfs");
        TestSupport::WriteFileBytes(path, image.Data());

        CPackedStorage fromFile;
        const SOutcome onDisk = ReadAll(fromFile, fromFile.Open(path, true, false));
        EXPECT_EQ(d.opens, onDisk.opened);
        EXPECT_EQ(d.opens, onDisk.listed);
        EXPECT_EQ(d.intact, onDisk.intact) << onDisk.Describe();
        EXPECT_EQ(d.opens ? all - d.intact : 0, onDisk.failed) << onDisk.Describe();
        if (image.Data().empty())
            continue; // no memory block of nothing
        TestSupport::CGlobalBlock block(image.Data());
        CPackedStorage fromMemory;
        const SOutcome inMemory = ReadAll(fromMemory, fromMemory.OpenFromMemory(block.Get()));
        EXPECT_EQ(onDisk.Describe(), inMemory.Describe());
    }
}

TEST_F(DamagedPackageTest, DamageAfterOpeningIsFoundAtTheNextOperation)
{
    PackageTools::SBuildOptions options;
    const std::wstring package = TestSupport::MakePackage(m_temp, Files(), options);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    DWORD size = 0;
    ASSERT_TRUE(storage.LoadFile(L"\\big.bin", size));

    CCompoundImage image(TestSupport::ReadFileBytes(package));
    const DWORD start = image.Dword(BigEntry(image) + CCompoundImage::kEntryStart);
    image.SetDword(image.FatCell(start), start);
    Sleep(20); // a write time of its own
    TestSupport::WriteFileBytes(package, image.Data());

    EXPECT_EQ(nullptr, storage.LoadFile(L"\\big.bin", size));
    EXPECT_EQ(nullptr, storage.LoadFile(L"\\setup.xml", size));
    std::vector<std::wstring> listed;
    EXPECT_FALSE(storage.ListFiles(L"\\", listed));
}

TEST_F(DamagedPackageTest, LargePackagesWithAnExtendedFatListAreSound)
{
    // Over 7 MB in 512-byte sectors: the FAT list goes on beyond the header.
    PackageFiles files = Files();
    files[L"large.bin"] = Noise(9 << 20, 9);
    PackageTools::SBuildOptions options;
    const std::wstring package = TestSupport::MakePackage(m_temp, files, options);
    CCompoundImage image(TestSupport::ReadFileBytes(package));
    ASSERT_GT(image.Dword(0x2C), 109u);
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    EXPECT_EQ(files[L"large.bin"], StreamContent(storage.OpenStream(L"\\large.bin")));
}

INSTANTIATE_TEST_SUITE_P(Streams, DamagedPackageTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Packed" : "Plain"; });

} // namespace
