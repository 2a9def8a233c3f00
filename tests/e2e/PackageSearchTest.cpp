// Where setup finds its install package: "/i", the ".cfs" beside the program, the
// package embedded as resource 150. Each case in a prefix of its own.
#include "tests/e2e/SetupRun.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::SProcessRun;
using TestSupport::ToBytes;

namespace {

const char kLoaded[] = "Setup: Install package load status: successful";
const char kNotFound[] = "Setup: Install package load status: failed";
const char kNotLoaded[] = "Setup: Failed to load setup cfs. File is missing or corrupted.";

bool Has(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

class PackageSearch : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        m_strProgramFolder = m_temp / L"program";
        m_strElsewhere = m_temp / L"elsewhere";
        CreateDirectoryW(m_strProgramFolder.c_str(), nullptr);
        CreateDirectoryW(m_strElsewhere.c_str(), nullptr);
    }

    std::wstring Package(const std::wstring& name, bool withDocument = true)
    {
        TestSupport::PackageFiles files = {{L"images\\logo.bin", TestSupport::Pattern(3000, 1)}};
        if (withDocument)
            files[L"setup.xml"] = ToBytes("<Interface><InstallInfo ProductName=\"Search\"/></Interface>");
        PackageTools::SBuildOptions options;
        options.pack = true;
        return TestSupport::MakePackage(m_temp, files, options, name);
    }

    // A copy of setup.exe under another name in the program folder.
    std::wstring CopySetup(const std::wstring& name)
    {
        const std::wstring copy = m_strProgramFolder + L"\\" + name;
        EXPECT_TRUE(CopyFileW(E2E::SetupExe().c_str(), copy.c_str(), FALSE));
        return copy;
    }

    static void Move(const std::wstring& from, const std::wstring& to)
    {
        ASSERT_TRUE(MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) << GetLastError();
    }

    SProcessRun Run(const std::wstring& program, const std::vector<std::wstring>& arguments)
    {
        TestSupport::SProcessOptions options;
        options.workingFolder = m_strElsewhere;
        const SProcessRun run = TestSupport::RunProcess(program, arguments, options);
        EXPECT_TRUE(run.finished);
        EXPECT_EQ(0u, run.exitCode);
        return run;
    }

    CTempFolder m_temp;
    std::wstring m_strProgramFolder;
    std::wstring m_strElsewhere;
};

TEST_F(PackageSearch, AnAbsolutePathAfterTheInstallSwitch)
{
    const std::wstring package = Package(L"abs.cfs");
    const SProcessRun run = Run(CopySetup(L"setup.exe"), {L"/i", package, L"/qn"});
    EXPECT_TRUE(Has(run.TraceLines(), kLoaded));
    EXPECT_FALSE(Has(run.TraceLines(), kNotLoaded));
}

TEST_F(PackageSearch, ABareNameBelongsToTheProgramFolderNotTheCurrentOne)
{
    const std::wstring setup = CopySetup(L"setup.exe");
    // Only a broken file of that name where setup is started from.
    TestSupport::WriteFileBytes(m_strElsewhere + L"\\bare.cfs", ToBytes("not a package"));
    SProcessRun run = Run(setup, {L"/i", L"bare.cfs", L"/qn"});
    EXPECT_TRUE(Has(run.TraceLines(), kNotFound));
    EXPECT_TRUE(Has(run.TraceLines(), kNotLoaded));

    Move(Package(L"bare.cfs"), m_strProgramFolder + L"\\bare.cfs");
    run = Run(setup, {L"/i", L"bare.cfs", L"/qn"});
    EXPECT_TRUE(Has(run.TraceLines(), kLoaded));
}

TEST_F(PackageSearch, ThePackageBesideTheProgramTakesItsName)
{
    const std::wstring setup = CopySetup(L"MyProduct Setup.exe");
    Move(Package(L"beside.cfs"), m_strProgramFolder + L"\\MyProduct Setup.cfs");
    // Also when "/i" names nothing that opens.
    for (const std::vector<std::wstring>& args :
         std::vector<std::vector<std::wstring>>{{L"/qn"}, {L"/i", L"C:\\nowhere\\x.cfs", L"/qn"}}) {
        const SProcessRun run = Run(setup, args);
        EXPECT_TRUE(Has(run.TraceLines(), kLoaded)) << args.size();
    }
}

TEST_F(PackageSearch, ThePackageEmbeddedInTheProgram)
{
    const std::wstring setup = CopySetup(L"embedded.exe");
    const Bytes package = TestSupport::ReadFileBytes(Package(L"embedded.cfs"));
    HANDLE update = BeginUpdateResourceW(setup.c_str(), FALSE);
    ASSERT_NE(nullptr, update);
    ASSERT_TRUE(UpdateResourceW(update, MAKEINTRESOURCEW(10), MAKEINTRESOURCEW(150), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                const_cast<BYTE*>(package.data()), static_cast<DWORD>(package.size())));
    ASSERT_TRUE(EndUpdateResourceW(update, FALSE));

    const SProcessRun run = Run(setup, {L"/qn"});
    EXPECT_TRUE(Has(run.TraceLines(), kLoaded));
    EXPECT_FALSE(Has(run.TraceLines(), kNotLoaded));
}

TEST_F(PackageSearch, APackageWithoutItsDocumentStillOpens)
{
    const SProcessRun run = Run(CopySetup(L"setup.exe"), {L"/i", Package(L"nodoc.cfs", false), L"/qn"});
    EXPECT_TRUE(Has(run.TraceLines(), kLoaded));
}

TEST_F(PackageSearch, DamagedOrMissingPackagesEndQuietly)
{
    const std::wstring setup = CopySetup(L"setup.exe");
    Bytes damaged = TestSupport::ReadFileBytes(Package(L"damaged.cfs"));
    damaged.resize(damaged.size() / 2);
    TestSupport::WriteFileBytes(m_temp / L"damaged.cfs", damaged);
    for (const std::wstring& package : {m_temp / L"damaged.cfs", m_temp / L"missing.cfs", m_strElsewhere}) {
        const SProcessRun run = Run(setup, {L"/i", package, L"/qn"});
        const std::vector<std::string> lines = run.TraceLines();
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(kNotFound, lines[lines.size() - 2]);
        EXPECT_EQ(kNotLoaded, lines.back());
    }
}

} // namespace
