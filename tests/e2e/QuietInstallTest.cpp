// Quiet installs of the real setup.exe, one package per scenario, each scenario in
// a prefix of its own: the files, registry values, uninstall folder and record it
// leaves, its exit code and its trace.
#include "tests/e2e/InstallFixture.h"

#include "common/storage/PackedStorage.h"
#include "common/storage/RootStateBits.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::PackageFiles;
using TestSupport::SProcessRun;
using TestSupport::ToBytes;

namespace {

const wchar_t kProduct[] = L"{3C8E5F21-9A4B-4D7E-8C16-0B2F7A9D4E58}";
const std::wstring kUninstallKey = E2E::RecordKey(kProduct);
const wchar_t kPendingKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";

// Keys the scenarios write, removed before each case (a run of the whole program
// in one prefix must not see an earlier case's values).
const std::vector<std::pair<HKEY, std::wstring>> kScenarioKeys = {
    {HKEY_LOCAL_MACHINE, L"SOFTWARE\\E2E"}, {HKEY_CURRENT_USER, L"Software\\E2E"},
    {HKEY_LOCAL_MACHINE, kUninstallKey},    {HKEY_CLASSES_ROOT, L".e2eu"},
    {HKEY_CLASSES_ROOT, L".e2eb"},          {HKEY_CLASSES_ROOT, L"E2E.Update"},
    {HKEY_CLASSES_ROOT, L"E2E.Blank"},      {HKEY_CLASSES_ROOT, L"E2E.Document"}};

const Bytes kText = ToBytes("plain text\r\nsecond line\r\n");
const Bytes kOld = ToBytes("the file before the install");

struct SFileExpect
{
    std::wstring path;
    bool present;
    Bytes bytes;
};

SFileExpect Has(const std::wstring& path, const Bytes& bytes)
{
    return SFileExpect{path, true, bytes};
}

SFileExpect Lacks(const std::wstring& path)
{
    return SFileExpect{path, false, Bytes()};
}

// A value (or, with 'keyOnly', a key) that must or must not be there.
struct SValueExpect
{
    HKEY root;
    std::wstring key;
    std::wstring name;
    bool present;
    DWORD type;
    Bytes data;
    bool keyOnly;
};

SValueExpect Str(HKEY root, const std::wstring& key, const std::wstring& name, const std::wstring& text)
{
    return SValueExpect{root, key, name, true, REG_SZ, E2E::StringData(text), false};
}

SValueExpect Dword(HKEY root, const std::wstring& key, const std::wstring& name, DWORD number)
{
    return SValueExpect{root, key, name, true, REG_DWORD, E2E::DwordData(number), false};
}

SValueExpect NoValue(HKEY root, const std::wstring& key, const std::wstring& name)
{
    return SValueExpect{root, key, name, false, REG_NONE, Bytes(), false};
}

SValueExpect KeyPresent(HKEY root, const std::wstring& key, bool present)
{
    return SValueExpect{root, key, L"", present, REG_NONE, Bytes(), true};
}

// What a case has to hand while it is arranged and checked.
struct SCase
{
    CTempFolder* temp = nullptr;
    PackageFiles files;                // the package's streams besides "setup.xml"
    std::wstring setupExe;             // the program that runs
    std::wstring package;
    SProcessRun run;
    std::map<std::wstring, Bytes> made; // bytes made while arranging, by name
    std::shared_ptr<E2E::CFileHolder> holder;
};

struct SScenario
{
    std::string name;
    std::string body;                   // elements under the root besides the standard ones
    PackageFiles files;
    std::vector<std::wstring> packOnly; // streams stored packed
    std::vector<std::wstring> args;     // after "/i <package> /qn /norestart"
    DWORD exitCode;
    std::vector<SFileExpect> expectFiles;
    std::vector<SValueExpect> expectValues;
    std::vector<std::string> traces;      // lines that must be there ("...*": a prefix)
    std::vector<std::string> absentTraces;
    std::function<void(SCase&)> arrange;  // before the package is built
    std::function<void(SCase&)> verify;   // after the run
};

void PrintTo(const SScenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

bool LineMatches(const std::string& line, const std::string& expected)
{
    if (!expected.empty() && expected.back() == '*')
        return line.compare(0, expected.size() - 1, expected, 0, expected.size() - 1) == 0;
    return line == expected;
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& expected)
{
    size_t count = 0;
    for (const std::string& line : lines)
        count += LineMatches(line, expected) ? 1 : 0;
    return count;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// ---- the document pieces the scenarios share ----

std::string Marker(const std::string& name, const std::string& condition = std::string())
{
    return "    <HKCU KeyName=\"Software\\E2E\\Markers\" ValueName=\"" + name + "\" HexValue=\"0x1\"" +
           (condition.empty() ? std::string() : " condition=\"" + condition + "\"") + "/>\n";
}

SValueExpect MarkerSet(const std::wstring& name, bool set)
{
    return set ? Dword(HKEY_CURRENT_USER, L"Software\\E2E\\Markers", name, 1)
               : NoValue(HKEY_CURRENT_USER, L"Software\\E2E\\Markers", name);
}

std::string InstallInfo(const std::string& uninstallPath, const std::string& ext, const std::string& alias,
                        const std::string& edition)
{
    return "  <InstallInfo ProductID=\"" + Narrow(kProduct) + "\" UninstallPath=\"" + uninstallPath +
           "\" VersionMajor=\"3\" VersionMinor=\"7\" Publisher=\"Quorvant Tests\""
           " DisplayIcon=\"%TargetDir%\\app.exe,0\" DisplayName=\"E2E Product\" DisplayVersion=\"3.7.1\""
           " URLInfoAbout=\"https://example.invalid/e2e\" Edition=\"" + edition + "\" UpdateExt=\"" + ext +
           "\" UpdateAlias=\"" + alias + "\" CaptionUpdDsc=\"E2E update package\"/>\n";
}

const std::string kOneFile = E2E::SetupFiles(R"(    <G DestPath="%TargetDir%"><F FileName="\files\plain.txt"/></G>
)");

std::wstring UninstallFile(const std::wstring& folder, const std::wstring& extension)
{
    return folder + L"\\" + kProduct + extension;
}

// The uninstall folder, its three files and the uninstall package's content.
void VerifyUninstallFolder(const SCase& c, const std::wstring& folder)
{
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes) << "no uninstall folder";
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_HIDDEN) << "a new uninstall folder is hidden";
    EXPECT_TRUE(E2E::BytesOf(UninstallFile(folder, L".exe")) == TestSupport::ReadFileBytes(c.setupExe))
        << "the uninstaller is a byte copy of setup";
    EXPECT_TRUE(E2E::FileExists(UninstallFile(folder, L".cfg"))) << "components file";

    const std::wstring package = UninstallFile(folder, L".cfs");
    DWORD bits = 0;
    ASSERT_TRUE(Common::OLETools::ReadRootStateBits(package, bits)) << "not a compound file";
    EXPECT_EQ(1u, bits & 1u) << "the stream cipher's bit on disk";

    TestSupport::CComScope com;
    Common::Storage::CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    const std::wstring xml = E2E::XmlText(TestSupport::StreamContent(storage.OpenStream(L"\\setup.xml")));
    EXPECT_NE(std::wstring::npos, xml.find(L"<UninstallScript")) << Narrow(xml);
    EXPECT_NE(std::wstring::npos, xml.find(L"TargetDir=\"C:\\e2e\\target\"")) << Narrow(xml);
    EXPECT_NE(std::wstring::npos, xml.find(L"E2E Product")) << "a copy of the install document";
    // The image was packed in the install package; the copy holds it unpacked.
    Common::Storage::CStorage raw;
    ASSERT_TRUE(raw.Open(package, true, false));
    EXPECT_TRUE(TestSupport::StreamContent(raw.OpenStream(L"\\images\\logo.bin")) == TestSupport::Pattern(5000, 9));
}

std::vector<SValueExpect> Record(const std::wstring& uninstallString, const std::wstring& edition)
{
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    std::vector<SValueExpect> values = {
        Dword(hklm, kUninstallKey, L"VersionMinor", 7),
        Dword(hklm, kUninstallKey, L"VersionMajor", 3),
        Str(hklm, kUninstallKey, L"UninstallString", uninstallString),
        Str(hklm, kUninstallKey, L"Publisher", L"Quorvant Tests"),
        Str(hklm, kUninstallKey, L"InstallLocation", E2E::kTargetDir),
        Str(hklm, kUninstallKey, L"DisplayIcon", L"C:\\e2e\\target\\app.exe,0"),
        Str(hklm, kUninstallKey, L"DisplayName", L"E2E Product"),
        Str(hklm, kUninstallKey, L"DisplayVersion", L"3.7.1"),
        Str(hklm, kUninstallKey, L"URLInfoAbout", L"https://example.invalid/e2e"),
        NoValue(hklm, kUninstallKey, L"LanguageID"),
    };
    values.push_back(edition.empty() ? NoValue(hklm, kUninstallKey, L"Edition")
                                     : Str(hklm, kUninstallKey, L"Edition", edition));
    return values;
}

std::vector<SValueExpect> Association(const std::wstring& ext, const std::wstring& alias, const std::wstring& exe)
{
    const HKEY hkcr = HKEY_CLASSES_ROOT;
    return {Str(hkcr, ext, L"", alias), Str(hkcr, alias, L"", L"E2E update package"),
            Str(hkcr, alias + L"\\shell\\open\\command", L"", exe + L" /i \"%1\""),
            Str(hkcr, alias + L"\\DefaultIcon", L"", exe + L",0")};
}

std::vector<SScenario> Scenarios()
{
    const HKEY hklm = HKEY_LOCAL_MACHINE;
    const HKEY hkcu = HKEY_CURRENT_USER;
    const std::wstring target = E2E::kTargetDir;
    std::vector<SScenario> table;

    table.push_back(SScenario{
        "PackedAndPlainFilesArriveByteForByte",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt"/>
      <F FileName="\files\pattern.bin"/>
      <F FileName="\files\noise.bin"/>
      <F FileName="\files\empty.txt"/>
    </G>
    <G DestPath="%TargetDir%\deep\er">
      <!-- a comment among the entries -->
      <F FileName="\files\plain.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("After")),
        {{L"files\\plain.txt", kText}, {L"files\\pattern.bin", TestSupport::Pattern(30000, 3)},
         {L"files\\noise.bin", TestSupport::Noise(7000, 5)}, {L"files\\empty.txt", Bytes()}},
        {L"files\\*.bin"},
        {},
        0,
        {Has(target + L"\\plain.txt", kText), Has(target + L"\\pattern.bin", TestSupport::Pattern(30000, 3)),
         Has(target + L"\\noise.bin", TestSupport::Noise(7000, 5)), Has(target + L"\\empty.txt", Bytes()),
         Has(target + L"\\deep\\er\\plain.txt", kText)},
        {MarkerSet(L"After", true)},
        {"Setup: CopyFile: File copied - 'C:\\e2e\\target\\plain.txt'",
         "Setup: CopyFile: File copied - 'C:\\e2e\\target\\pattern.bin'",
         "Setup: CopyFile: File copied - 'C:\\e2e\\target\\deep\\er\\plain.txt'"},
        {"Setup: File extraction\\copy error*"},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "AStorageFolderIsCopiedWithItsSubfolders",
        E2E::SetupFiles(R"(    <Tree DestPath="%TargetDir%\tree" SrcPath="\tree">
      <F FileName="\other.txt" TargetFileName="ignored.txt"/>
    </Tree>
)") + E2E::PreFinish("    <Files/>\n"),
        {{L"tree\\a.txt", ToBytes("a")}, {L"tree\\sub\\b.bin", TestSupport::Pattern(9000, 4)},
         {L"tree\\sub\\deeper\\c.txt", ToBytes("c")}, {L"other.txt", ToBytes("not in the tree")}},
        {L"tree\\sub\\b.bin"},
        {},
        0,
        {Has(target + L"\\tree\\a.txt", ToBytes("a")), Has(target + L"\\tree\\sub\\b.bin", TestSupport::Pattern(9000, 4)),
         Has(target + L"\\tree\\sub\\deeper\\c.txt", ToBytes("c")), Lacks(target + L"\\tree\\ignored.txt"),
         Lacks(target + L"\\tree\\other.txt"), Lacks(target + L"\\other.txt")},
        {},
        {"Setup: CopyFile: File copied - 'C:\\e2e\\target\\tree\\sub\\deeper\\c.txt'"},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "TargetFileNameRenamesTheCopy",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt" TargetFileName="renamed.txt"/>
      <F FileName="\files\plain.txt" TargetFileName="sub\again.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n"),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\renamed.txt", kText), Has(target + L"\\sub\\again.txt", kText), Lacks(target + L"\\plain.txt")},
        {},
        {},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "LocalFilesBesideSetupAreCopied",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%\local">
      <F LocalFile="local.txt"/>
      <F LocalFile="tools\tool.dat"/>
      <F LocalFile="C:\e2e\elsewhere\absolute.txt" TargetFileName="moved.txt"/>
      <F LocalFile="missing.txt"/>
      <F FileName="\files\plain.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("After")),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\local\\local.txt", ToBytes("beside setup")),
         Has(target + L"\\local\\tool.dat", TestSupport::Pattern(3000, 8)),
         Has(target + L"\\local\\moved.txt", ToBytes("absolute")), Lacks(target + L"\\local\\missing.txt"),
         Has(target + L"\\local\\plain.txt", kText)},
        {MarkerSet(L"After", true)},
        {},
        {},
        [](SCase& c) {
            // A copy of setup in a folder of its own, with the local files beside it.
            const std::wstring program = *c.temp / L"program";
            c.setupExe = program + L"\\setup.exe";
            TestSupport::WriteFileBytes(program + L"\\local.txt", ToBytes("beside setup"));
            TestSupport::WriteFileBytes(program + L"\\tools\\tool.dat", TestSupport::Pattern(3000, 8));
            ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), c.setupExe.c_str(), FALSE));
            TestSupport::WriteFileBytes(L"C:\\e2e\\elsewhere\\absolute.txt", ToBytes("absolute"));
        },
        nullptr});

    // setup is a 32-bit program in a 64-bit prefix: it runs under WOW64.
    table.push_back(SScenario{
        "X64EntriesFollowTheRunningWindows",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt" TargetFileName="x64-true.txt" x64="true"/>
      <F FileName="\files\plain.txt" TargetFileName="x64-one.txt" x64="1"/>
      <F FileName="\files\plain.txt" TargetFileName="x64-false.txt" x64="false"/>
      <F FileName="\files\plain.txt" TargetFileName="any.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n"),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\x64-true.txt", kText), Has(target + L"\\x64-one.txt", kText),
         Lacks(target + L"\\x64-false.txt"), Has(target + L"\\any.txt", kText)},
        {},
        {},
        {},
        nullptr,
        nullptr});

    // "UI" is false in a quiet run.
    table.push_back(SScenario{
        "FalseConditionsSkipEntriesAndNodes",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt" TargetFileName="ui.txt" condition="UI"/>
      <F FileName="\files\plain.txt" TargetFileName="no-ui.txt" condition="noUI"/>
      <F FileName="\files\plain.txt" TargetFileName="unknown.txt" condition="NeverSet"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("Ui", "UI") + Marker("NotUi", "!UI") + Marker("Restart", "restart")),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Lacks(target + L"\\ui.txt"), Has(target + L"\\no-ui.txt", kText), Has(target + L"\\unknown.txt", kText)},
        {MarkerSet(L"Ui", false), MarkerSet(L"NotUi", true), MarkerSet(L"Restart", false)},
        {},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "VersionCheckCopiesOnlyNewerPrograms",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\bin\tool.exe" TargetFileName="older.exe" Check="2"/>
      <F FileName="\bin\tool.exe" TargetFileName="equal.exe" Check="2"/>
      <F FileName="\bin\tool.exe" TargetFileName="newer.exe" Check="2"/>
      <F FileName="\bin\tool.exe" TargetFileName="unversioned.txt" Check="2"/>
      <F FileName="\bin\tool.exe" TargetFileName="fresh.exe" Check="2"/>
      <F FileName="\bin\tool.exe" TargetFileName="always.exe" Check="1"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n"),
        {},
        {L"bin\\*"},
        {},
        0,
        {},
        {},
        {"Setup: CopyFile: File skipped due version check, 'C:\\e2e\\target\\equal.exe'",
         "Setup: CopyFile: File skipped due version check, 'C:\\e2e\\target\\newer.exe'"},
        {"Setup: CopyFile: File skipped due version check, 'C:\\e2e\\target\\older.exe'",
         "Setup: CopyFile: File skipped due version check, 'C:\\e2e\\target\\fresh.exe'"},
        [](SCase& c) {
            // Every file already there ends with extra bytes: a skipped file keeps them.
            const std::wstring scratch = *c.temp / L"scratch.exe";
            for (const wchar_t* version : {L"2.4", L"2.5", L"2.6"}) {
                c.made[version] = E2E::VersionedProgram(version, scratch);
                ASSERT_FALSE(c.made[version].empty()) << "no program with version " << Narrow(version);
            }
            c.files[L"bin\\tool.exe"] = c.made[L"2.5"];
            const std::map<std::wstring, std::wstring> before = {
                {L"older.exe", L"2.4"}, {L"equal.exe", L"2.5"}, {L"newer.exe", L"2.6"}, {L"always.exe", L"2.6"}};
            for (const auto& file : before) {
                Bytes bytes = c.made[file.second];
                bytes.insert(bytes.end(), kOld.begin(), kOld.end());
                TestSupport::WriteFileBytes(std::wstring(E2E::kTargetDir) + L"\\" + file.first, bytes);
                ASSERT_EQ(file.second, E2E::ProductVersionOf(std::wstring(E2E::kTargetDir) + L"\\" + file.first));
            }
            TestSupport::WriteFileBytes(std::wstring(E2E::kTargetDir) + L"\\unversioned.txt", kOld);
        },
        [](SCase& c) {
            const std::wstring dir = E2E::kTargetDir;
            const Bytes packaged = c.made[L"2.5"];
            EXPECT_TRUE(E2E::BytesOf(dir + L"\\older.exe") == packaged) << "older: replaced";
            EXPECT_TRUE(E2E::BytesOf(dir + L"\\unversioned.txt") == packaged) << "no version: replaced";
            EXPECT_TRUE(E2E::BytesOf(dir + L"\\fresh.exe") == packaged) << "missing: copied";
            EXPECT_TRUE(E2E::BytesOf(dir + L"\\always.exe") == packaged) << "no check: replaced";
            EXPECT_EQ(L"2.5", E2E::ProductVersionOf(dir + L"\\older.exe"));
            for (const auto& kept : {std::make_pair(L"equal.exe", L"2.5"), std::make_pair(L"newer.exe", L"2.6")}) {
                Bytes expected = c.made[kept.second];
                expected.insert(expected.end(), kOld.begin(), kOld.end());
                EXPECT_TRUE(E2E::BytesOf(dir + L"\\" + kept.first) == expected)
                    << Narrow(kept.first) << ": kept";
            }
        }});

    table.push_back(SScenario{
        "ATargetHeldOpenIsReplacedAtTheNextRestart",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\locked.txt"/>
      <F FileName="\files\free.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("After")),
        {{L"files\\locked.txt", ToBytes("the new content")}, {L"files\\free.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\locked.txt", kOld), Has(target + L"\\free.txt", kText)},
        {MarkerSet(L"After", true)},
        {"Setup: CopyFile: Copy delayed, file 'C:\\e2e\\target\\locked.txt'",
         "Setup: CopyFile: File copied - 'C:\\e2e\\target\\free.txt'",
         // "/norestart" keeps the decision at no restart; the delayed file is recorded.
         "Setup: m_bRestart = 0, m_bNeedRestartByFiles = 1"},
        {},
        [](SCase& c) {
            const std::wstring locked = std::wstring(E2E::kTargetDir) + L"\\locked.txt";
            TestSupport::WriteFileBytes(locked, kOld);
            c.holder = std::make_shared<E2E::CFileHolder>(locked);
            ASSERT_TRUE(c.holder->IsHolding());
        },
        [](SCase&) {
            // Read while this prefix's server lives: a new session would carry them out.
            const E2E::SRegValue pending =
                E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kPendingKey, L"PendingFileRenameOperations");
            ASSERT_TRUE(pending.found) << "no PendingFileRenameOperations";
            EXPECT_EQ(static_cast<DWORD>(REG_MULTI_SZ), pending.type);
            const std::vector<std::wstring> entries = E2E::MultiStrings(pending.data);
            auto strip = [](std::wstring path) {
                if (!path.empty() && path[0] == L'!')
                    path.erase(0, 1);
                if (path.compare(0, 4, L"\\??\\") == 0)
                    path.erase(0, 4);
                return path;
            };
            bool found = false;
            for (size_t i = 0; i + 1 < entries.size(); i += 2) {
                if (E2E::Lower(strip(entries[i + 1])) != L"c:\\e2e\\target\\locked.txt")
                    continue;
                found = true;
                EXPECT_EQ(L'!', entries[i + 1][0]) << "replace the existing file";
                ASSERT_TRUE(E2E::FileExists(strip(entries[i]))) << "no waiting copy " << Narrow(entries[i]);
                EXPECT_TRUE(TestSupport::ReadFileBytes(strip(entries[i])) == ToBytes("the new content"))
                    << "the waiting copy " << Narrow(entries[i]);
            }
            EXPECT_TRUE(found) << "no rename onto the held file";
            RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, kPendingKey, L"PendingFileRenameOperations");
        }});

    table.push_back(SScenario{
        "AMissingStreamEndsTheScriptAndTheRoad",
        InstallInfo("C:\\e2e\\uninst", ".e2eu", "E2E.Update", "") +
            E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt"/>
      <F FileName="\files\nowhere.txt"/>
      <F FileName="\files\plain.txt" TargetFileName="after.txt"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("After") + "    <RegUninstaller/>\n"),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\plain.txt", kText), Lacks(target + L"\\after.txt"), Lacks(target + L"\\nowhere.txt")},
        {MarkerSet(L"After", false), KeyPresent(hklm, kUninstallKey, false)},
        {"Setup: File extraction\\copy error. (Total files: 3)"},
        {"Setup: Register uninstaller"},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "AnAttributeThatIsNoBooleanEndsTheCopy",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt" x64="maybe"/>
    </G>
)") + E2E::PreFinish("    <Files/>\n" + Marker("After")),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Lacks(target + L"\\plain.txt")},
        {MarkerSet(L"After", false)},
        {"Setup: File extraction\\copy error. (Total files: 1)"},
        {},
        nullptr,
        nullptr});

    // Bad input in one script: comments and text between nodes, a keyword in
    // another case, a name that is no keyword, an unknown condition, a HexValue that
    // is no number; then a group on a drive that does not exist. The first group's
    // file stays whole and nothing after the failed step runs.
    table.push_back(SScenario{
        "BadInputIsSkippedOrEndsTheRoadWithoutDamage",
        E2E::SetupFiles(R"(    <G DestPath="%TargetDir%">
      <F FileName="\files\plain.txt"/>
    </G>
    <G DestPath="Q:\nowhere">
      <F FileName="\files\plain.txt"/>
    </G>
)") + E2E::PreFinish("    <!-- a comment -->\n    some text\n" + Marker("Before") +
                           "    <HKCX KeyName=\"SOFTWARE\\E2E\\Values\" ValueName=\"Root\" TextValue=\"x\"/>\n"
                           "    <hklm KeyName=\"SOFTWARE\\E2E\\Values\" ValueName=\"NotHex\" HexValue=\"zz\"/>\n" +
                           Marker("Unknown", "neverSet") + "    <Files/>\n" + Marker("After")),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        0,
        {Has(target + L"\\plain.txt", kText)},
        {MarkerSet(L"Before", true), MarkerSet(L"Unknown", true), MarkerSet(L"After", false),
         Dword(hklm, L"SOFTWARE\\E2E\\Values", L"NotHex", 0)},
        {"Setup: File extraction\\copy error. (Total files: 2)"},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "BreakStopsTheRoadWithExitCodeOne",
        InstallInfo("C:\\e2e\\uninst", ".e2eu", "E2E.Update", "") + kOneFile +
            E2E::PreFinish(Marker("Before") + "    <bReAk/>\n" + Marker("After") + "    <Files/>\n"),
        {{L"files\\plain.txt", kText}},
        {},
        {},
        1,
        {Lacks(target + L"\\plain.txt")},
        {MarkerSet(L"Before", true), MarkerSet(L"After", false), KeyPresent(hklm, kUninstallKey, false)},
        {},
        {"Setup: Register uninstaller", "Setup: m_bRestart*"},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "CallRunsANamedScriptAndANameThatSelectsNothing",
        "  <Extra>\n" + Marker("InExtra") + "    <Call Node=\"Deeper\"/>\n  </Extra>\n  <Deeper>\n" +
            Marker("InDeeper") + "  </Deeper>\n" +
            E2E::PreFinish(Marker("Before") + "    <Call Node=\"Extra\"/>\n    <Call Node=\"Nowhere\"/>\n" +
                           Marker("After")),
        {},
        {},
        {},
        0,
        {},
        {MarkerSet(L"Before", true), MarkerSet(L"InExtra", true), MarkerSet(L"InDeeper", true),
         MarkerSet(L"After", true)},
        {},
        {"Setup: Something wrong with node*"},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "AMalformedCallEndsTheScript",
        E2E::PreFinish(Marker("Before") + "    <Call Node=\"Bad[\"/>\n" + Marker("After")),
        {},
        {},
        {},
        0,
        {},
        {MarkerSet(L"Before", true), MarkerSet(L"After", false)},
        {"Setup: Something wrong with node: *"},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "SetCondFalseCannotBeSetBack",
        E2E::PreFinish("    <SetCond condition=\"feature\" Value=\"false\"/>\n" + Marker("First", "feature") +
                       "    <SetCond condition=\"feature\" Value=\"true\"/>\n" + Marker("Second", "feature") +
                       Marker("Negated", "nofeature") + "    <SetCond condition=\"other\"/>\n" +
                       Marker("Other", "other &amp; !feature")),
        {},
        {},
        {},
        0,
        {},
        {MarkerSet(L"First", false), MarkerSet(L"Second", false), MarkerSet(L"Negated", true),
         MarkerSet(L"Other", true)},
        {},
        {},
        nullptr,
        nullptr});

    table.push_back(SScenario{
        "RegistryNodesWriteAndRemoveValuesAndKeys",
        E2E::PreFinish(R"(    <HKLM KeyName="SOFTWARE\E2E\Values" ValueName="Text" TextValue="%TargetDir%\data"/>
    <HKLM KeyName="SOFTWARE\E2E\Values" ValueName="Hex" HexValue="0x1F"/>
    <HKLM KeyName="SOFTWARE\E2E\Values" ValueName="NoPrefix" HexValue="1F"/>
    <HKLM KeyName="SOFTWARE\E2E\Values" ValueName="EmptyHex" HexValue=""/>
    <HKLM KeyName="SOFTWARE\E2E\Values" TextValue="default text"/>
    <hkcu KeyName="Software\E2E\Values" ValueName="AnyCase" TextValue="keyword in any case"/>
    <HKCR KeyName="E2E.Document" TextValue="E2E document"/>
    <HKLM KeyName="SOFTWARE\E2E\Gone\Sub\Deeper" ValueName="x" TextValue="y"/>
    <HKLM KeyName="SOFTWARE\E2E\Gone" Remove="true"/>
    <HKLM KeyName="SOFTWARE\E2E\Kept" TextValue="default"/>
    <HKLM KeyName="SOFTWARE\E2E\Kept" ValueName="Other" TextValue="stays"/>
    <HKLM KeyName="SOFTWARE\E2E\Kept" ValueName="" Remove="true"/>
    <HKLM KeyName="SOFTWARE\E2E\Missing" Remove="true"/>
    <Shortcut KeyName="SOFTWARE\E2E\Values" ValueName="Unknown" TextValue="no such keyword"/>
    <HKLM KeyName="SOFTWARE\E2E\Values" ValueName="After" TextValue="still runs"/>
)"),
        {},
        {},
        {},
        0,
        {},
        {Str(hklm, L"SOFTWARE\\E2E\\Values", L"Text", L"C:\\e2e\\target\\data"),
         Dword(hklm, L"SOFTWARE\\E2E\\Values", L"Hex", 31), Dword(hklm, L"SOFTWARE\\E2E\\Values", L"NoPrefix", 0),
         Dword(hklm, L"SOFTWARE\\E2E\\Values", L"EmptyHex", 0),
         Str(hklm, L"SOFTWARE\\E2E\\Values", L"", L"default text"),
         Str(hkcu, L"Software\\E2E\\Values", L"AnyCase", L"keyword in any case"),
         Str(HKEY_CLASSES_ROOT, L"E2E.Document", L"", L"E2E document"), KeyPresent(hklm, L"SOFTWARE\\E2E\\Gone", false),
         NoValue(hklm, L"SOFTWARE\\E2E\\Kept", L""), Str(hklm, L"SOFTWARE\\E2E\\Kept", L"Other", L"stays"),
         NoValue(hklm, L"SOFTWARE\\E2E\\Values", L"Unknown"),
         Str(hklm, L"SOFTWARE\\E2E\\Values", L"After", L"still runs")},
        {"Setup: AddRegEntry: successful, Add 'Hex=1F' to node 'HKLM\\SOFTWARE\\E2E\\Values'",
         "Setup: RemoveRegEntry: successful, Remove entire node 'HKLM\\SOFTWARE\\E2E\\Gone'",
         "Setup: RemoveRegEntry: Can't open key 'HKLM\\SOFTWARE\\E2E\\Missing'"},
        {},
        nullptr,
        nullptr});

    {
        const std::wstring exe = UninstallFile(L"C:\\e2e\\uninst", L".exe");
        SScenario s{"TheUninstallerIsRegisteredOnce",
                    InstallInfo("C:\\e2e\\uninst", ".e2eu", "E2E.Update", "Test") +
                        "  <Resources><Images><Logo Path=\"\\images\\logo.bin\"/></Images></Resources>\n" + kOneFile +
                        E2E::PreFinish("    <Files/>\n    <RegUninstaller/>\n" + Marker("After")),
                    {{L"files\\plain.txt", kText}, {L"images\\logo.bin", TestSupport::Pattern(5000, 9)}},
                    {L"images\\*"},
                    {},
                    0,
                    {Has(target + L"\\plain.txt", kText)},
                    Record(exe + L" /X" + kProduct, L"Test"),
                    {"Setup: Register uninstaller", "Setup: Save installed components info: 1"},
                    {},
                    nullptr,
                    [](SCase& c) {
                        VerifyUninstallFolder(c, L"C:\\e2e\\uninst");
                        EXPECT_EQ(1u, CountLines(c.run.TraceLines(), "Setup: Register uninstaller"))
                            << "the road's second call does nothing";
                    }};
        for (const SValueExpect& value : Association(L".e2eu", L"E2E.Update", exe))
            s.expectValues.push_back(value);
        s.expectValues.push_back(MarkerSet(L"After", true));
        table.push_back(s);
    }

    {
        // A folder name with a blank: the commands quote the program's path.
        const std::wstring exe = UninstallFile(L"C:\\e2e\\Uninstall Data", L".exe");
        const std::wstring quoted = L"\"" + exe + L"\"";
        SScenario s{"PathsWithBlanksAreQuotedInTheCommands",
                    InstallInfo("C:\\e2e\\Uninstall Data", "e2eb", "E2E.Blank", "") +
                        "  <Resources><Images><Logo Path=\"\\images\\logo.bin\"/></Images></Resources>\n" + kOneFile +
                        E2E::PreFinish("    <Files/>\n"),
                    {{L"files\\plain.txt", kText}, {L"images\\logo.bin", TestSupport::Pattern(5000, 9)}},
                    {L"images\\*"},
                    {},
                    0,
                    {},
                    Record(quoted + L" /X" + kProduct, L""),
                    {"Setup: Register uninstaller"},
                    {},
                    nullptr,
                    [](SCase& c) { VerifyUninstallFolder(c, L"C:\\e2e\\Uninstall Data"); }};
        for (const SValueExpect& value : Association(L".e2eb", L"E2E.Blank", quoted))
            s.expectValues.push_back(value);
        table.push_back(s);
    }

    {
        const std::wstring exe = UninstallFile(L"C:\\e2e\\uninst", L".exe");
        SScenario s{"SwitchPWritesEverythingButTheRecord",
                    InstallInfo("C:\\e2e\\uninst", ".e2eu", "E2E.Update", "") +
                        "  <Resources><Images><Logo Path=\"\\images\\logo.bin\"/></Images></Resources>\n" + kOneFile +
                        E2E::PreFinish("    <Files/>\n    <RegUninstaller/>\n"),
                    {{L"files\\plain.txt", kText}, {L"images\\logo.bin", TestSupport::Pattern(5000, 9)}},
                    {},
                    {L"/p"},
                    0,
                    {Has(target + L"\\plain.txt", kText)},
                    {KeyPresent(hklm, kUninstallKey, false)},
                    {"Setup: Register uninstaller"},
                    {},
                    nullptr,
                    [](SCase& c) { VerifyUninstallFolder(c, L"C:\\e2e\\uninst"); }};
        for (const SValueExpect& value : Association(L".e2eu", L"E2E.Update", exe))
            s.expectValues.push_back(value);
        table.push_back(s);
    }
    return table;
}

class QuietInstall : public ::testing::TestWithParam<SScenario>
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        E2E::RemoveTree(E2E::kInstallRoot);
        for (const auto& key : kScenarioKeys)
            E2E::DeleteRegTree(key.first, key.second);
    }

    void CheckFiles(const SScenario& s)
    {
        for (const SFileExpect& file : s.expectFiles) {
            if (!file.present) {
                EXPECT_FALSE(E2E::FileExists(file.path)) << Narrow(file.path);
                continue;
            }
            ASSERT_TRUE(E2E::FileExists(file.path)) << Narrow(file.path);
            const Bytes bytes = TestSupport::ReadFileBytes(file.path);
            EXPECT_EQ(file.bytes.size(), bytes.size()) << Narrow(file.path);
            EXPECT_TRUE(file.bytes == bytes) << Narrow(file.path);
        }
    }

    void CheckValues(const SScenario& s)
    {
        for (const SValueExpect& expected : s.expectValues) {
            const std::string where = Narrow(expected.key + L" : " + expected.name);
            if (expected.keyOnly) {
                EXPECT_EQ(expected.present, E2E::RegKeyExists(expected.root, expected.key)) << where;
                continue;
            }
            const E2E::SRegValue value = E2E::ReadRegValue(expected.root, expected.key, expected.name);
            EXPECT_EQ(expected.present, value.found) << where;
            if (!expected.present || !value.found)
                continue;
            EXPECT_EQ(expected.type, value.type) << where;
            if (expected.type == REG_SZ) {
                const std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()),
                                        value.data.size() / sizeof(wchar_t));
                EXPECT_EQ(Narrow(std::wstring(reinterpret_cast<const wchar_t*>(expected.data.data()),
                                              expected.data.size() / sizeof(wchar_t))),
                          Narrow(text))
                    << where << " (with its terminating NUL)";
            } else {
                EXPECT_TRUE(expected.data == value.data) << where;
            }
        }
    }

    static void CheckTraces(const SScenario& s, const std::vector<std::string>& lines)
    {
        std::string all;
        for (const std::string& line : lines)
            all += "\n  " + line;
        for (const std::string& expected : s.traces)
            EXPECT_NE(0u, CountLines(lines, expected)) << "missing: " << expected << "\ntrace:" << all;
        for (const std::string& unexpected : s.absentTraces)
            EXPECT_EQ(0u, CountLines(lines, unexpected)) << "unexpected: " << unexpected << "\ntrace:" << all;
    }

    CTempFolder m_temp;
};

TEST_P(QuietInstall, Scenario)
{
    const SScenario& s = GetParam();
    SCase c;
    c.temp = &m_temp;
    c.files = s.files;
    c.setupExe = E2E::SetupExe();
    if (s.arrange) {
        s.arrange(c);
        if (HasFatalFailure())
            return;
    }

    PackageFiles files = c.files;
    files[L"setup.xml"] = ToBytes(E2E::InstallDocument(s.body));
    PackageTools::SBuildOptions options;
    options.packOnly = s.packOnly;
    c.package = TestSupport::MakePackage(m_temp, files, options);

    std::vector<std::wstring> args = {L"/i", c.package, L"/qn", L"/norestart"};
    args.insert(args.end(), s.args.begin(), s.args.end());
    c.run = TestSupport::RunProcess(c.setupExe, args);
    ASSERT_TRUE(c.run.started);
    ASSERT_TRUE(c.run.finished) << "setup did not end";
    c.holder.reset(); // the files are read below
    EXPECT_EQ(s.exitCode, c.run.exitCode);

    CheckTraces(s, c.run.TraceLines());
    CheckFiles(s);
    CheckValues(s);
    if (s.verify)
        s.verify(c);
}

INSTANTIATE_TEST_SUITE_P(Scenarios, QuietInstall, ::testing::ValuesIn(Scenarios()),
                         [](const ::testing::TestParamInfo<SScenario>& info) { return info.param.name; });

} // namespace
