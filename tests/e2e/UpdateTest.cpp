// Update packages with the real setup.exe, each case in a prefix of its own: a
// quiet install first, then an update package of the same product, newer or not.
#include "tests/e2e/InstallFixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::SProcessRun;
using TestSupport::ToBytes;

namespace {

using TestSupport::HasLine;
using TestSupport::Joined;

const wchar_t kProduct[] = L"{8B4F2D61-3E7A-4C95-A1D8-5F0C9E2B7A36}";
const std::wstring kUninstallKey = E2E::RecordKey(kProduct);

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::string InstallInfo(const std::string& version)
{
    return "  <InstallInfo ProductID=\"" + Narrow(kProduct) +
           "\" UninstallPath=\"C:\\e2e\\uninst\" DisplayName=\"E2E Product\" DisplayVersion=\"" + version +
           "\" Edition=\"Pro\" UpdateExt=\".e2eu\" UpdateAlias=\"E2E.Update\" CaptionUpdDsc=\"E2E update package\"/>\n";
}

const std::string kFiles =
    E2E::SetupFiles("    <G DestPath=\"%TargetDir%\"><F FileName=\"\\files\\plain.txt\"/></G>\n");

// The update's own macros name another folder: the installed one must win.
std::string UpdateDocument(const std::string& version)
{
    return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
           "<Interface>\n"
           "  <SetupMacroses><TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\e2e\\elsewhere\"/></SetupMacroses>\n"
           "  <Localize><Messages><SetupFailed Caption=\"Setup failed.\"/></Messages></Localize>\n" +
           InstallInfo(version) +
           "  <SetupFiles Update=\"true\">\n"
           "    <G DestPath=\"%TargetDir%\"><F FileName=\"\\files\\plain.txt\"/></G>\n"
           "  </SetupFiles>\n" +
           E2E::PreFinish("    <Files/>\n") + "</Interface>\n";
}

class Update : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        E2E::RemoveTree(E2E::kInstallRoot);
        E2E::DeleteRegTree(HKEY_LOCAL_MACHINE, kUninstallKey);
        const std::wstring package = TestSupport::MakePackage(
            m_temp,
            {{L"setup.xml", ToBytes(E2E::InstallDocument(InstallInfo("1.2") + kFiles +
                                                         E2E::PreFinish("    <Files/>\n    <RegUninstaller/>\n")))},
             {L"files\\plain.txt", ToBytes("version 1.2")}},
            PackageTools::SBuildOptions(), L"product.cfs");
        const SProcessRun run = E2E::RunSetup({L"/i", package, L"/qn", L"/norestart"});
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(0u, run.exitCode);
        ASSERT_TRUE(E2E::BytesOf(Installed()) == ToBytes("version 1.2"));
        ASSERT_TRUE(DisplayVersion() == E2E::StringData(L"1.2"));
    }

    SProcessRun RunUpdate(const std::string& version, const std::string& content)
    {
        const std::wstring package = TestSupport::MakePackage(
            m_temp, {{L"setup.xml", ToBytes(UpdateDocument(version))}, {L"files\\plain.txt", ToBytes(content)}},
            PackageTools::SBuildOptions(), L"update-" + E2E::Widen(version) + L".cfs");
        return E2E::RunSetup({L"/i", package, L"/qn", L"/norestart"});
    }

    static std::wstring Installed() { return std::wstring(E2E::kTargetDir) + L"\\plain.txt"; }

    static Bytes DisplayVersion()
    {
        return E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"DisplayVersion").data;
    }

    CTempFolder m_temp;
};

TEST_F(Update, ANewerUpdateReplacesTheFilesInTheInstalledFolder)
{
    if (HasFatalFailure())
        return;
    const SProcessRun run = RunUpdate("1.2.1", "version 1.2.1");
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: Update mode")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Installing update to: C:\\e2e\\target")) << Joined(lines);
    EXPECT_TRUE(E2E::BytesOf(Installed()) == ToBytes("version 1.2.1"));
    EXPECT_FALSE(E2E::FileExists(L"C:\\e2e\\elsewhere\\plain.txt"));
    EXPECT_TRUE(DisplayVersion() == E2E::StringData(L"1.2.1"));
}

TEST_F(Update, AnOlderOrEqualUpdateIsRefusedWithTwo)
{
    if (HasFatalFailure())
        return;
    for (const std::string version : {"1.1.9", "1.2"}) {
        const SProcessRun run = RunUpdate(version, "not installed");
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(2u, run.exitCode) << version;
        const std::vector<std::string> lines = run.TraceLines();
        EXPECT_TRUE(HasLine(lines, "Setup: Already up to date. Installed version: 1.2, Update version: " + version))
            << Joined(lines);
        EXPECT_TRUE(E2E::BytesOf(Installed()) == ToBytes("version 1.2")) << version;
        EXPECT_TRUE(DisplayVersion() == E2E::StringData(L"1.2")) << version;
    }
}

} // namespace
