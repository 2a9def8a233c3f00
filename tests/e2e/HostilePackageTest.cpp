// Quiet installs of packages that try to harm the machine, with the real setup.exe,
// each case in a prefix of its own: removals (by script node and by the file list)
// aimed at the system's folders and shared registry keys, and setup documents that
// declare a document type. What was there before the run is still there after it,
// and nothing waits for the restart.
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

const wchar_t kMarkerName[] = L"e2e-marker.txt";
const char kNotLoaded[] = "Setup: Failed to load setup cfs. File is missing or corrupted.";

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::wstring Environment(const wchar_t* name)
{
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

std::wstring WindowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    const UINT length = GetWindowsDirectoryW(path, MAX_PATH);
    return std::wstring(path, length);
}

// The path is the folder or lies below it.
bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder)
{
    const std::wstring lowerPath = E2E::Lower(path);
    const std::wstring lowerFolder = E2E::Lower(folder);
    return lowerPath == lowerFolder || lowerPath.compare(0, lowerFolder.size() + 1, lowerFolder + L"\\") == 0;
}

// A package of its own for every run.
std::wstring MakePackage(CTempFolder& temp, const TestSupport::PackageFiles& files)
{
    static int count = 0;
    return TestSupport::MakePackage(temp, files, PackageTools::SBuildOptions(),
                                    L"package" + std::to_wstring(++count) + L".cfs");
}

SProcessRun InstallQuietly(CTempFolder& temp, const std::string& body)
{
    return E2E::RunSetup({L"/i", MakePackage(temp, {{L"setup.xml", ToBytes(E2E::InstallDocument(body))}}), L"/qn",
                          L"/norestart"});
}

class HostilePackage : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        E2E::RemoveTree(E2E::kInstallRoot);
    }

    CTempFolder m_temp;
};

// ---- removal of the system's folders ----

TEST_F(HostilePackage, SystemFoldersSurviveRemovalNowAndAtTheRestart)
{
    const std::wstring windows = WindowsFolder();
    const std::wstring programFiles64 = Environment(L"ProgramW6432");
    const std::wstring commonFiles64 = Environment(L"CommonProgramW6432");
    ASSERT_FALSE(programFiles64.empty());
    ASSERT_FALSE(commonFiles64.empty());
    // The places setup is asked to remove, as the package names them; each holds
    // a marker file put there before the run.
    const std::vector<std::wstring> folders = {
        L"C:\\Program Files",
        L"C:\\Program Files\\Common Files",
        L"C:\\Program Files (x86)",
        programFiles64,
        commonFiles64,
        L"C:\\windows\\system32",
        windows + L"\\Sysnative",
        windows,
    };
    std::string script;
    // The uninstall's file list names each folder, in lower case, as a group's
    // destination.
    std::string groups;
    for (const std::wstring& folder : folders) {
        script += "    <RemoveFolder FolderName=\"" + Narrow(folder) + "\"/>\n";
        script += "    <RemoveFolder FolderName=\"" + Narrow(folder) + "\\\" IfEmpty=\"true\"/>\n";
        script += "    <RemoveFile FileName=\"" + Narrow(folder) + "\"/>\n";
        groups += "<G DestPath=\"" + Narrow(E2E::Lower(folder)) + "\"><F FileName=\"e2e-listed.txt\"/></G>";
    }
    script += "    <Files Install=\"false\"/>\n";

    for (bool delayed : {false, true}) {
        SCOPED_TRACE(delayed ? "delayed deletion" : "deletion at once");
        E2E::DeleteRegTree(HKEY_CURRENT_USER, L"Software\\E2E");
        for (const std::wstring& folder : folders)
            TestSupport::WriteFileBytes(folder + L"\\" + kMarkerName, ToBytes(Narrow(folder)));

        // ForcedDelayCopy puts every removal off to the restart.
        const SProcessRun run = InstallQuietly(
            m_temp, std::string("  <SetupFiles ForcedDelayCopy=\"") + (delayed ? "true" : "false") + "\">" + groups +
                        "</SetupFiles>\n" +
                        E2E::PreFinish(script +
                                       "    <HKCU KeyName=\"Software\\E2E\" ValueName=\"Done\" HexValue=\"0x1\"/>\n"));
        ASSERT_TRUE(run.finished) << "setup did not end";
        EXPECT_EQ(0u, run.exitCode);
        const std::vector<std::string> lines = run.TraceLines();
        EXPECT_EQ(delayed, HasLine(lines, "Setup: All files will be copied at delayed mode.")) << Joined(lines);
        // The script ran to its end.
        EXPECT_TRUE(E2E::ReadRegValue(HKEY_CURRENT_USER, L"Software\\E2E", L"Done").found) << Joined(lines);

        for (const std::wstring& folder : folders) {
            SCOPED_TRACE(Narrow(folder));
            EXPECT_EQ(ToBytes(Narrow(folder)), E2E::BytesOf(folder + L"\\" + kMarkerName));
            for (const std::string& name : {Narrow(folder), Narrow(folder) + "\\", Narrow(E2E::Lower(folder))})
                EXPECT_TRUE(HasLine(lines, "Setup: Refused to remove '" + name + "': a system folder")) << Joined(lines);
        }
        EXPECT_TRUE(HasLine(lines, "Setup: Try to remove folder with content: 'C:\\Program Files'")) << Joined(lines);

        // Read while this prefix's server lives: a new session would carry them out.
        for (const std::wstring& pending : TestSupport::PendingFilePaths()) {
            for (const std::wstring& folder : folders)
                EXPECT_FALSE(IsAtOrBelow(pending, folder)) << "waits for the restart: " << Narrow(pending);
        }
    }
}

// ---- removal of shared registry keys ----

TEST_F(HostilePackage, SharedRegistryKeysSurviveRemoval)
{
    const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    const struct {
        HKEY root;
        const char* rootName;
        std::wstring key;
    } shared[] = {
        {HKEY_CURRENT_USER, "HKCU", L"Software"},
        {HKEY_LOCAL_MACHINE, "HKLM", L"Software"},
        {HKEY_CURRENT_USER, "HKCU", L"Software\\Classes"},
        {HKEY_LOCAL_MACHINE, "HKLM", L"Software\\Classes"},
        {HKEY_LOCAL_MACHINE, "HKLM", L"Software\\Wow6432Node"},
        {HKEY_CURRENT_USER, "HKCU", uninstall},
        {HKEY_LOCAL_MACHINE, "HKLM", uninstall},
    };
    // The product's own keys, written and then removed by the same script.
    const struct {
        HKEY root;
        const char* rootName;
        std::wstring key;
    } own[] = {
        {HKEY_CURRENT_USER, "HKCU", L"Software\\E2E\\Product"},
        {HKEY_LOCAL_MACHINE, "HKLM", L"Software\\E2E\\Product"},
        {HKEY_LOCAL_MACHINE, "HKLM", uninstall + L"\\{7B1E4C92-3D5A-4F68-9E07-2A8C6B4D1F35}"},
    };
    std::string script;
    for (const auto& key : own)
        script += std::string("    <") + key.rootName + " KeyName=\"" + Narrow(key.key) +
                  "\" ValueName=\"Installed\" HexValue=\"0x1\"/>\n";
    for (const auto& key : shared)
        script += std::string("    <") + key.rootName + " KeyName=\"" + Narrow(key.key) + "\" Remove=\"true\"/>\n";
    for (const auto& key : own)
        script += std::string("    <") + key.rootName + " KeyName=\"" + Narrow(key.key) + "\" Remove=\"true\"/>\n";

    // Markers below each shared key, in the view setup writes.
    for (const auto& key : shared)
        ASSERT_TRUE(TestSupport::SetRegistryDword(key.root, key.key + L"\\E2EMarker", L"Marker", KEY_WOW64_32KEY, 1))
            << Narrow(key.key);

    const SProcessRun run = InstallQuietly(m_temp, E2E::PreFinish(script));
    ASSERT_TRUE(run.finished) << "setup did not end";
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();

    for (const auto& key : shared) {
        const std::string display = std::string(key.rootName) + "\\" + Narrow(key.key);
        SCOPED_TRACE(display);
        EXPECT_TRUE(E2E::ReadRegValue(key.root, key.key + L"\\E2EMarker", L"Marker").found);
        EXPECT_TRUE(HasLine(lines, "Setup: RemoveRegEntry: Refused to remove the shared key '" + display + "'"))
            << Joined(lines);
    }
    for (const auto& key : own) {
        const std::string display = std::string(key.rootName) + "\\" + Narrow(key.key);
        SCOPED_TRACE(display);
        EXPECT_FALSE(E2E::RegKeyExists(key.root, key.key));
        EXPECT_TRUE(HasLine(lines, "Setup: RemoveRegEntry: successful, Remove entire node '" + display + "'"))
            << Joined(lines);
    }
    // The parent the script created stays: only the named key was the product's.
    EXPECT_TRUE(E2E::RegKeyExists(HKEY_CURRENT_USER, L"Software\\E2E"));
}

// ---- documents that declare a document type ----

// A normal quiet install here takes a few seconds; a document that expands
// would run for minutes or exhaust the memory.
const DWORD kRefusalBoundMs = 60000;

TEST_F(HostilePackage, DocumentTypeDeclarationsAreRefusedBeforeTheyExpand)
{
    const std::wstring secret = m_temp / L"secret.txt";
    TestSupport::WriteFileBytes(secret, ToBytes("secret content"));

    std::string laughs = "<!ENTITY l0 \"lol\">";
    for (int level = 1; level <= 10; ++level)
        laughs += "<!ENTITY l" + std::to_string(level) + " \"" +
                  [&] {
                      std::string refs;
                      for (int i = 0; i < 10; ++i)
                          refs += "&l" + std::to_string(level - 1) + ";";
                      return refs;
                  }() +
                  "\">";
    std::string manyRefs;
    for (int i = 0; i < 20000; ++i)
        manyRefs += "&big;";

    // The body every document carries: it would copy a file and write a value.
    // The entities are referenced in an attribute setup reads while it loads the
    // document, where an expansion would be built.
    const auto document = [](const std::string& declarations, const std::string& forcedDelay,
                             const std::string& caption) {
        return "<?xml version=\"1.0\"?>\n<!DOCTYPE Interface [" + declarations + "]>\n<Interface Caption=\"" +
               caption + "\">\n"
               "  <SetupMacroses><TargetDir Pattern=\"%TargetDir%\" Value=\"C:\\e2e\\target\"/></SetupMacroses>\n"
               "  <SetupFiles ForcedDelayCopy=\"" + forcedDelay + "\">"
               "<G DestPath=\"%TargetDir%\"><F FileName=\"\\files\\plain.txt\"/></G></SetupFiles>\n" +
               E2E::PreFinish("    <Files/>\n"
                              "    <HKCU KeyName=\"Software\\E2E\" ValueName=\"Done\" HexValue=\"0x1\"/>\n") +
               "</Interface>\n";
    };
    const struct {
        const char* name;
        std::string document;
    } cases[] = {
        {"billion laughs", document(laughs, "&l10;", "laughs")},
        {"a large entity many times in one attribute",
         document("<!ENTITY big \"" + std::string(100 * 1024, 'x') + "\">", manyRefs, "big")},
        {"an external entity naming a local file",
         document("<!ENTITY secret SYSTEM \"file:///" + Narrow(secret) + "\">", "false", "&secret;")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring package =
            MakePackage(m_temp, {{L"setup.xml", ToBytes(c.document)}, {L"files\\plain.txt", ToBytes("plain text")}});
        TestSupport::SProcessOptions options;
        options.timeoutMs = kRefusalBoundMs;
        const DWORD start = GetTickCount();
        const SProcessRun run = E2E::RunSetup({L"/i", package, L"/qn", L"/norestart"}, options);
        const DWORD elapsed = GetTickCount() - start;
        ASSERT_TRUE(run.started);
        ASSERT_TRUE(run.finished) << "setup still ran after " << kRefusalBoundMs << " ms";
        EXPECT_LT(elapsed, kRefusalBoundMs);
        EXPECT_EQ(0u, run.exitCode);
        const std::vector<std::string> lines = run.TraceLines();
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(kNotLoaded, lines.back()) << Joined(lines);
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(E2E::kInstallRoot)) << "something was written";
        EXPECT_FALSE(E2E::RegKeyExists(HKEY_CURRENT_USER, L"Software\\E2E")) << "something was written";
    }
}

} // namespace
