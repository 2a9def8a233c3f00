// Quiet installs of a multilingual package by the real setup.exe: the package root
// holds only the language list and one interface document per language.
#include "tests/e2e/InstallFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using TestSupport::CTempFolder;
using TestSupport::SProcessRun;
using TestSupport::ToBytes;

namespace {

const wchar_t kLanguageKey[] = L"SOFTWARE\\E2E\\Language";

long OtherLanguage(int k)
{
    const long user = ::GetUserDefaultUILanguage() & 0x3FF;
    const long id = 0x200 + k;
    return id == user ? 0x300 + k : id;
}

// The language's document records which language ran the install scripts.
std::string LanguageDocument(const std::string& value)
{
    return E2E::InstallDocument("  <Resources/>\n" +
                                E2E::PreFinish("    <HKLM KeyName=\"SOFTWARE\\E2E\\Language\" ValueName=\"Chosen\" "
                                               "TextValue=\"" + value + "\"/>\n"));
}

std::string Item(const std::string& value, long langId)
{
    return "<Language Value=\"" + value + "\" LangID=\"" + std::to_string(langId) + "\" Caption=\"" + value + "\"/>";
}

SProcessRun QuietInstall(const CTempFolder& temp, const std::string& multilang)
{
    PackageTools::SBuildOptions options;
    options.pack = true;
    const std::wstring package = TestSupport::MakePackage(
        temp,
        {{L"multilang.xml", ToBytes(multilang)},
         {L"en\\setup.xml", ToBytes(LanguageDocument("en"))},
         {L"de\\setup.xml", ToBytes(LanguageDocument("de"))},
         {L"fr\\setup.xml", ToBytes(LanguageDocument("fr"))}},
        options, L"languages.cfs");
    TestSupport::SProcessOptions run;
    run.timeoutMs = 60000;
    return E2E::RunSetup({L"/i", package, L"/qn", L"/norestart"}, run);
}

TEST(LanguagesInstall, QuietInstallRunsTheUsersLanguageElseTheDefault)
{
    struct SCase
    {
        const char* name;
        std::string multilang;
        const wchar_t* chosen;
    };
    const long user = ::GetUserDefaultUILanguage() & 0x3FF;
    const SCase cases[] = {
        {"default", "<Languages Default=\"de\">" + Item("en", OtherLanguage(1)) + Item("de", OtherLanguage(2)) +
                        Item("fr", OtherLanguage(3)) + "</Languages>",
         L"de"},
        {"user's language", "<Languages Default=\"de\">" + Item("en", OtherLanguage(1)) + Item("de", OtherLanguage(2)) +
                                Item("fr", user) + "</Languages>",
         L"fr"},
    };
    for (const SCase& c : cases) {
        E2E::DeleteRegTree(HKEY_LOCAL_MACHINE, kLanguageKey);
        CTempFolder temp;
        const SProcessRun run = QuietInstall(temp, c.multilang);
        ASSERT_TRUE(run.finished) << c.name;
        EXPECT_EQ(0u, run.exitCode) << c.name;
        const E2E::SRegValue chosen = E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kLanguageKey, L"Chosen");
        EXPECT_TRUE(chosen.found) << c.name;
        EXPECT_EQ(E2E::StringData(c.chosen), chosen.data) << c.name;
    }
}

TEST(LanguagesInstall, DamagedLanguageListRunsNoScript)
{
    ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
    E2E::DeleteRegTree(HKEY_LOCAL_MACHINE, kLanguageKey);
    CTempFolder temp;
    const SProcessRun run = QuietInstall(temp, "<Languages Default=\"xx\">" + Item("en", OtherLanguage(1)) + "</Languages>");
    ASSERT_TRUE(run.finished);
    const std::vector<std::string> lines = run.TraceLines();
    auto has = [&lines](const std::string& line) { return std::find(lines.begin(), lines.end(), line) != lines.end(); };
    EXPECT_TRUE(has("Setup: multilang.xml in the root of cfs is damaged or missing"));
    EXPECT_TRUE(has("Setup: Failed to load setup cfs. File is missing or corrupted."));
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kLanguageKey));
}

} // namespace
