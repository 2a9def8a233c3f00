// Tests of setup's configuration object.
#include "common/config/SetupConfig.h"

#include "common/config/XMLDocument.h"
#include "common/tools/ResourceCache.h"
#include "common/tools/SetupTrace.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using Common::Config::CSetupConfig;
using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::ToBytes;

namespace {

// A package whose document says where it was made.
Bytes PackageSaying(const CTempFolder& temp, const std::string& where, const std::string& extra = "")
{
    const std::string document = "<Interface><InstallInfo Name=\"" + where + "\"/>" + extra + "</Interface>";
    PackageTools::SBuildOptions options;
    static int made = 0;
    return TestSupport::ReadFileBytes(TestSupport::MakePackage(temp, {{L"setup.xml", ToBytes(document)}}, options,
                                                               L"made" + std::to_wstring(++made) + L".cfs"));
}

std::string Said(CSetupConfig& config)
{
    if (config.GetSettings() == nullptr)
        return "(no document)";
    return static_cast<const char*>(
        _bstr_t(config.GetSettings()->GetValue(L"Name", L"//Interface/InstallInfo", _variant_t(L"?"))));
}

// A file put in place for one test and removed afterwards.
class CPlacedFile
{
public:
    CPlacedFile(const std::wstring& path, const Bytes& bytes) : m_strPath(path) { TestSupport::WriteFileBytes(path, bytes); }
    ~CPlacedFile() { DeleteFileW(m_strPath.c_str()); }
    CPlacedFile(const CPlacedFile&) = delete;
    CPlacedFile& operator=(const CPlacedFile&) = delete;

private:
    std::wstring m_strPath;
};

// The test program's own name with ".cfs": the package "beside setup".
std::wstring BesideProgram()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text(path);
    return text.substr(0, text.rfind(L'.')) + L".cfs";
}

class SetupConfigTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        GetCurrentDirectoryW(MAX_PATH, m_szOldDirectory);
        SetCurrentDirectoryW(m_temp.Path().c_str());
    }
    void TearDown() override { SetCurrentDirectoryW(m_szOldDirectory); }

    TestSupport::CComScope m_com;
    CTempFolder m_temp;
    wchar_t m_szOldDirectory[MAX_PATH] = {};
};

TEST(ResolvePackageArgument, RelativePathsBelongToTheProgramFolder)
{
    const CString folder = L"C:\\Program Files\\Setup\\";
    struct SCase
    {
        const wchar_t* argument;
        const wchar_t* expected;
    };
    const SCase cases[] = {
        {L"bare.cfs", L"C:\\Program Files\\Setup\\bare.cfs"},
        {L"sub\\in.cfs", L"C:\\Program Files\\Setup\\sub\\in.cfs"},
        {L"C:\\Packages\\abs.cfs", L"C:\\Packages\\abs.cfs"},
        {L"\\\\server\\share\\unc.cfs", L"\\\\server\\share\\unc.cfs"},
        {L"//server/share/unc.cfs", L"//server/share/unc.cfs"},
        // The caller's current drive and folder complete these, as given.
        {L"\\Packages\\rooted.cfs", L"\\Packages\\rooted.cfs"},
        {L"C:Packages\\drive.cfs", L"C:Packages\\drive.cfs"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CString(c.expected), CSetupConfig::ResolvePackageArgument(c.argument, folder)) << c.argument;

    // A join that does not fit a path is no path at all.
    EXPECT_TRUE(CSetupConfig::ResolvePackageArgument(CString(L'x', 250) + L".cfs", folder).IsEmpty());
}

TEST_F(SetupConfigTest, ABareNameOpensInTheProgramFolderNotTheCurrentOne)
{
    const std::wstring name = L"search-" + std::to_wstring(GetCurrentProcessId()) + L".cfs";
    CPlacedFile inProgramFolder(TestSupport::ModuleFolder() + name, PackageSaying(m_temp, "program folder"));
    CPlacedFile inCurrentFolder(m_temp / name, PackageSaying(m_temp, "current folder"));
    CSetupConfig config;
    config.SetPackageArgument(name.c_str());
    ASSERT_TRUE(config.Init());
    EXPECT_EQ("program folder", Said(config));
}

TEST_F(SetupConfigTest, SourcesAreTriedInOrder)
{
    const std::wstring absolute = m_temp / L"absolute.cfs";
    CPlacedFile named(absolute, PackageSaying(m_temp, "named by /i"));
    CPlacedFile beside(BesideProgram(), PackageSaying(m_temp, "beside the program"));
    {
        CSetupConfig config;
        config.SetPackageArgument(absolute.c_str());
        ASSERT_TRUE(config.Init());
        EXPECT_EQ("named by /i", Said(config));
    }
    {
        CSetupConfig config;
        config.SetPackageArgument((m_temp / L"missing.cfs").c_str());
        ASSERT_TRUE(config.Init());
        EXPECT_EQ("beside the program", Said(config));
    }
}

TEST_F(SetupConfigTest, NoPackageAnywhereFailsWithTheStatusTrace)
{
    TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
        HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OwnRegistryView(), 1);
    Common::Tools::ResetSetupTraceLevel();
    CSetupConfig config;
    config.SetPackageArgument((m_temp / L"missing.cfs").c_str());
    bool result = true;
    const std::vector<std::string> trace = TestSupport::CaptureOwnOutput([&] { result = config.Init(); });
    Common::Tools::ResetSetupTraceLevel();
    EXPECT_FALSE(result);
    EXPECT_EQ(nullptr, config.GetSettings());
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ("Setup: Install package load status: failed\n", trace.back());
    // A failed start may be tried again.
    CPlacedFile later(m_temp / L"missing.cfs", PackageSaying(m_temp, "later"));
    EXPECT_TRUE(config.Init());
    EXPECT_EQ("later", Said(config));
}

TEST_F(SetupConfigTest, ASecondInitKeepsWhatTheFirstLoaded)
{
    CPlacedFile package(m_temp / L"once.cfs", PackageSaying(m_temp, "once"));
    CSetupConfig config;
    config.SetPackageArgument((m_temp / L"once.cfs").c_str());
    ASSERT_TRUE(config.Init());
    DeleteFileW((m_temp / L"once.cfs").c_str());
    EXPECT_TRUE(config.Init());
    EXPECT_EQ("once", Said(config));
}

TEST_F(SetupConfigTest, APackageWithoutItsDocumentStillOpens)
{
    PackageTools::SBuildOptions options;
    const std::wstring package = TestSupport::MakePackage(m_temp, {{L"other.xml", ToBytes("<x/>")}}, options);
    CSetupConfig config;
    config.SetPackageArgument(package.c_str());
    EXPECT_TRUE(config.Init());
    EXPECT_EQ(nullptr, config.GetSettings());
    EXPECT_NE(nullptr, config.GetGraphRes());
}

TEST_F(SetupConfigTest, FoldersAreTheProgramFolder)
{
    CPlacedFile package(m_temp / L"p.cfs", PackageSaying(m_temp, "p"));
    CSetupConfig config;
    config.SetPackageArgument((m_temp / L"p.cfs").c_str());
    ASSERT_TRUE(config.Init());
    EXPECT_EQ(CString(TestSupport::ModuleFolder().c_str()), config.GetModuleFolder());
    EXPECT_EQ(config.GetModuleFolder(), config.GetDataPath());
    EXPECT_EQ(L'\\', config.GetDataPath()[config.GetDataPath().GetLength() - 1]);
    EXPECT_TRUE(config.GetSparePath1().IsEmpty());
    EXPECT_TRUE(config.GetSparePath2().IsEmpty());
    EXPECT_EQ(nullptr, config.GetWritableSettings());
}

TEST_F(SetupConfigTest, BackgroundColours)
{
    CPlacedFile package(m_temp / L"c.cfs",
                        PackageSaying(m_temp, "c",
                                      "<Preferences><Backgrounds Main=\"#FF0000\" White=\"#FFFFFF\" Bad=\"red\" "
                                      "Blue=\"#0000FF\"/></Preferences>"));
    CSetupConfig config;
    config.SetPackageArgument((m_temp / L"c.cfs").c_str());
    ASSERT_TRUE(config.Init());
    EXPECT_EQ(0xFF0000FFu, config.GetBackgroundColor(L"Main"));
    EXPECT_EQ(0xFFFF0000u, config.GetBackgroundColor(L"Blue"));
    EXPECT_EQ(0xFFFFFFFFu, config.GetBackgroundColor(L"White"));
    EXPECT_EQ(0xFFFFFFFFu, config.GetBackgroundColor(L"Bad"));
    EXPECT_EQ(0xFFFFFFFFu, config.GetBackgroundColor(L"Missing"));
}

TEST_F(SetupConfigTest, CloseForgetsTheDocumentButKeepsThePackage)
{
    CPlacedFile package(m_temp / L"k.cfs", PackageSaying(m_temp, "k"));
    CSetupConfig config;
    config.SetPackageArgument((m_temp / L"k.cfs").c_str());
    ASSERT_TRUE(config.Init());
    config.Close();
    EXPECT_EQ(nullptr, config.GetSettings());
    EXPECT_TRUE(config.LoadSettings(L"\\setup.xml"));
    EXPECT_EQ("k", Said(config));
    EXPECT_FALSE(config.LoadSettings(L"\\missing.xml"));
    EXPECT_EQ(nullptr, config.GetSettings());
}

TEST(SetupConfigSingleton, IsOneObject)
{
    EXPECT_EQ(&Common::Config::GetSetupConfig(), &Common::Config::GetSetupConfig());
}

TEST(ResourceCache, CopiesAResourceOnceAndKnowsMissingOnes)
{
    TestSupport::CComScope com;
    CTempFolder temp;
    const std::wstring module = temp / L"with-resource.exe";
    ASSERT_TRUE(CopyFileW((TestSupport::ModuleFolder() + L"setup.exe").c_str(), module.c_str(), FALSE));
    const Bytes payload = TestSupport::Pattern(5000, 3);
    HANDLE update = BeginUpdateResourceW(module.c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(150), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                const_cast<BYTE*>(payload.data()), static_cast<DWORD>(payload.size())));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));

    HMODULE loaded = LoadLibraryExW(module.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, loaded);
    {
        Common::Tools::CResourceCache cache;
        HGLOBAL block = Common::Tools::LoadResourceToGlobal(cache, loaded, 150);
        ASSERT_NE(nullptr, block);
        ASSERT_EQ(payload.size(), GlobalSize(block));
        const BYTE* data = static_cast<const BYTE*>(GlobalLock(block));
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), data));
        GlobalUnlock(block);
        EXPECT_EQ(block, Common::Tools::LoadResourceToGlobal(cache, loaded, 150));
        EXPECT_EQ(nullptr, Common::Tools::LoadResourceToGlobal(cache, loaded, 999));
        EXPECT_NE(nullptr, Common::Tools::LoadResourceToGlobal(cache, loaded, 134)); // callbridge.exe
    }
    FreeLibrary(loaded);
}

} // namespace
