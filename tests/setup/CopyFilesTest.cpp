// Tests of the file copy.
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/StreamReadAhead.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/VariableExpansion.h"
#include "setup/wizard/MainWindow.h"
#include "tests/support/PendingOperations.h"
#include "tests/setup/EngineFixture.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/FakeStream.h"
#include "tests/support/Narrow.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/RecordingTaskbar.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CTempFolder;
using TestSupport::Narrow;
using TestSupport::PackageFiles;
using TestSupport::ReadFileBytes;
using TestSupport::ToBytes;
using TestSupport::WriteFileBytes;

namespace {

using TestSupport::Joined;

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

std::string N(const std::wstring& text)
{
    return Narrow(text);
}

bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in a folder (files and folders, without "." and "..").
std::vector<std::wstring> Names(const std::wstring& folder, const std::wstring& pattern = L"*")
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..")
            names.push_back(name);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

// The copies staged beside their targets ("~" and four hex digits).
std::vector<std::wstring> StagedNames(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    for (const std::wstring& name : Names(folder, L"~*"))
        if (name.size() == 5 && std::all_of(name.begin() + 1, name.end(), [](wchar_t c) { return std::iswxdigit(c) != 0; }))
            names.push_back(name);
    return names;
}

// A folder below 'base' whose full path is 'length' characters long.
std::wstring DeepFolder(const std::wstring& base, size_t length)
{
    std::wstring folder = base;
    wchar_t letter = L'a';
    while (folder.size() < length) {
        const size_t left = length - folder.size() - 1;
        size_t part = std::min<size_t>(left, 100);
        // Never leave room for a separator alone.
        if (left - part == 1)
            --part;
        folder += L"\\" + std::wstring(part, letter++);
    }
    return folder;
}

// The pending renames as (source, destination) pairs, "\??\" and the
// replace mark left off.
std::vector<std::pair<std::wstring, std::wstring>> PendingRenames()
{
    std::vector<std::pair<std::wstring, std::wstring>> pairs;
    const std::vector<std::wstring> texts = TestSupport::PendingFileOperationTexts();
    auto plain = [](std::wstring text) {
        if (!text.empty() && text[0] == L'!')
            text.erase(0, 1);
        if (text.compare(0, 4, L"\\??\\") == 0)
            text.erase(0, 4);
        return text;
    };
    for (size_t i = 0; i + 1 < texts.size(); i += 2)
        if (!texts[i].empty())
            pairs.emplace_back(plain(texts[i]), plain(texts[i + 1]));
    return pairs;
}

std::wstring TempPath()
{
    wchar_t path[MAX_PATH + 1] = {};
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, path);
    std::wstring text(path, length);
    while (!text.empty() && text.back() == L'\\')
        text.pop_back();
    return text;
}

bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

using TestSupport::TraceOf;

bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), "Setup: " + line) != lines.end();
}

// A program file whose version resource's ProductVersion text is replaced by
// one of the same length: 'version' with zeros added to its last part.
Bytes WithProductVersion(const std::wstring& program, const std::wstring& version)
{
    const CString current = GetFileVersionString(program.c_str(), L"ProductVersion");
    if (current.GetLength() < static_cast<int>(version.size())) {
        ADD_FAILURE() << "version text too short in " << N(program);
        return Bytes();
    }
    const std::wstring wanted = version + std::wstring(current.GetLength() - version.size(), L'0');
    Bytes bytes = ReadFileBytes(program);
    auto find = [&bytes](const std::wstring& text, size_t from) {
        const BYTE* first = reinterpret_cast<const BYTE*>(text.data());
        auto at = std::search(bytes.begin() + from, bytes.end(), first, first + text.size() * sizeof(wchar_t));
        return at == bytes.end() ? std::string::npos : static_cast<size_t>(at - bytes.begin());
    };
    const size_t block = find(L"VS_VERSION_INFO", 0);
    const size_t key = block == std::string::npos ? block : find(L"ProductVersion", block);
    const size_t value = key == std::string::npos ? key : find(current.Str(), key);
    if (value == std::string::npos) {
        ADD_FAILURE() << "no ProductVersion in " << N(program);
        return Bytes();
    }
    std::copy(reinterpret_cast<const BYTE*>(wanted.data()),
              reinterpret_cast<const BYTE*>(wanted.data() + wanted.size()), bytes.begin() + value);
    return bytes;
}

class FailingStream : public TestSupport::CFakeStream
{
public:
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER* position) override
    {
        if (position != nullptr)
            position->QuadPart = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return STG_E_READFAULT; }
};

// Holds a file open without sharing, as a running program holds its module.
class CHeldFile
{
public:
    explicit CHeldFile(const std::wstring& path)
        : m_hFile(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~CHeldFile() { Close(); }
    bool IsHeld() const { return m_hFile != INVALID_HANDLE_VALUE; }
    void Close()
    {
        if (m_hFile != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_hFile);
        m_hFile = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_hFile;
};

class CopyFilesTest : public TestSupport::CEngineTest
{
protected:
    // Builds the package with the document's body and the files, quiet (no
    // message box may wait for an answer).
    void Load(const std::string& body, PackageFiles files = PackageFiles(),
              const PackageTools::SBuildOptions& options = PackageTools::SBuildOptions())
    {
        files[L"setup.xml"] = ToBytes("<Interface>" + body + "</Interface>");
        ASSERT_TRUE(LoadPackage(files, options));
        g_CmdLine.m_bQuiet = true;
    }

    // A group of entries copied to the folder.
    static std::string Group(const std::wstring& dest, const std::string& entries)
    {
        return "<SetupFiles><Group DestPath=\"" + N(dest) + "\">" + entries + "</Group></SetupFiles>";
    }

    std::wstring Out(const std::wstring& relative = std::wstring()) const
    {
        return relative.empty() ? m_out.Path() : m_out / relative;
    }

    CTempFolder m_out;
    // The taskbar list every install manager of the test gets; it outlives them.
    TestSupport::CTaskbarClassScope m_taskbar{TestSupport::CTaskbarClassScope::kRecording};
};

TEST_F(CopyFilesTest, PackedAndPlainStreamsLandByteExact)
{
    const Bytes noise = TestSupport::Noise(300000, 7);
    const Bytes pattern = TestSupport::Pattern(70000, 3);
    for (bool pack : {false, true}) {
        SCOPED_TRACE(pack ? "packed" : "plain");
        const std::wstring dest = Out(pack ? L"packed" : L"plain");
        PackageTools::SBuildOptions options;
        options.pack = pack;
        Load(Group(dest, "<F FileName=\"\\bin\\a.dll\"/>"
                         "<F FileName=\"\\b.txt\" TargetFileName=\"renamed.txt\"/>"
                         "<F FileName=\"bin\\a.dll\" TargetFileName=\"sub\\c.dll\"/>"
                         "<F FileName=\"\\empty.dat\"/>"),
             {{L"bin\\a.dll", noise}, {L"b.txt", pattern}, {L"empty.dat", Bytes()}}, options);
        EXPECT_TRUE(Manager().CopyFiles());
        EXPECT_EQ(noise, ReadFileBytes(dest + L"\\a.dll"));
        EXPECT_EQ(pattern, ReadFileBytes(dest + L"\\renamed.txt"));
        EXPECT_EQ(noise, ReadFileBytes(dest + L"\\sub\\c.dll"));
        EXPECT_TRUE(Exists(dest + L"\\empty.dat"));
        EXPECT_TRUE(ReadFileBytes(dest + L"\\empty.dat").empty());
        EXPECT_EQ((std::vector<std::wstring>{L"a.dll", L"empty.dat", L"renamed.txt", L"sub"}), Names(dest));
        EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
    }
}

TEST_F(CopyFilesTest, StorageFolderIsCopiedWholeWhateverItsSeparators)
{
    const Bytes x = TestSupport::Noise(1000, 1);
    const Bytes y = TestSupport::Noise(2000, 2);
    const struct {
        const char* src;
        const wchar_t* destSuffix;
    } cases[] = {
        {"\\data", L""}, {"\\data\\", L""}, {"\\data", L"\\"}, {"\\data\\", L"\\\\"}, {"data", L"\\"},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::wstring dest = Out(L"v" + std::to_wstring(++index));
        SCOPED_TRACE(std::string(c.src) + " -> " + N(dest + c.destSuffix));
        Load("<SetupFiles><Group SrcPath=\"" + std::string(c.src) + "\" DestPath=\"" + N(dest + c.destSuffix) +
                 "\"/></SetupFiles>",
             {{L"data\\x.bin", x}, {L"data\\sub\\deeper\\y.bin", y}, {L"other.bin", x}});
        EXPECT_TRUE(Manager().CopyFiles());
        EXPECT_EQ(x, ReadFileBytes(dest + L"\\x.bin"));
        EXPECT_EQ(y, ReadFileBytes(dest + L"\\sub\\deeper\\y.bin"));
        EXPECT_EQ((std::vector<std::wstring>{L"sub", L"x.bin"}), Names(dest));
        // Nothing beside the folder: no "v1x.bin" from a missing separator.
        EXPECT_EQ(static_cast<size_t>(index), Names(Out()).size());
    }
}

TEST_F(CopyFilesTest, StorageFolderThatCannotBeListedIsAFailure)
{
    Load("<SetupFiles/>", {{L"data\\x.bin", ToBytes("x")}});
    Common::Storage::CStreamReadAhead readAhead(Common::Config::GetSetupConfig().GetPackage());
    EXPECT_EQ(E_FAIL, TestSupport::ComErrorOf(
                          [&] { Manager().CopyStorageFolder(L"\\missing", Out().c_str(), readAhead); }));
    EXPECT_TRUE(Names(Out()).empty());
}

TEST_F(CopyFilesTest, TargetsOutsideTheFolderAreRefused)
{
    const std::wstring dest = Out(L"in");
    const struct {
        std::string attributes;
    } cases[] = {
        {"FileName=\"\\a.txt\" TargetFileName=\"..\\evil.txt\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"sub\\..\\..\\evil.txt\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"sub/../../evil.txt\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"" + N(Out(L"evil.txt")) + "\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"\\evil.txt\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"a.txt:hidden\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"nul\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"evil.txt.\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"sub\\evil.txt \""},
        {"FileName=\"\\a.txt\" TargetFileName=\"sub.\\evil.txt\""},
        {"FileName=\"\\a.txt\" TargetFileName=\"Com1.log\""},
        {"FileName=\"\\..\"" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.attributes);
        Load(Group(dest, "<F " + c.attributes + "/>"), {{L"a.txt", ToBytes("payload")}});
        std::vector<std::string> lines;
        bool result = true;
        lines = TraceOf([&] { result = Manager().CopyFiles(); });
        EXPECT_FALSE(result);
        EXPECT_TRUE(HasLine(lines, "File extraction\\copy error. (Total files: 1)")) << Joined(lines);
        EXPECT_FALSE(Exists(Out(L"evil.txt")));
        EXPECT_FALSE(Exists(dest));
    }

    // A folder that did not expand is no place to write to.
    Load("<SetupFiles><G DestPath=\"%CopyTestUndefined%\\app\"><F FileName=\"\\a.txt\"/></G></SetupFiles>",
         {{L"a.txt", ToBytes("payload")}});
    EXPECT_FALSE(Manager().CopyFiles());
}

// Windows drops a trailing dot or space: such a stream would land on its
// neighbour without them. No file system holds those names, so the package's
// directory is patched.
TEST_F(CopyFilesTest, StreamNamesEndingInADotOrASpaceNeverOverwriteTheirNeighbour)
{
    const Bytes good = ToBytes("good");
    for (const wchar_t* twin : {L"good.txt.", L"good.txt "}) {
        SCOPED_TRACE(N(twin));
        const std::wstring dest = Out(twin[wcslen(twin) - 1] == L'.' ? L"dot" : L"space");
        // Same length as the twin, so the directory's order still holds.
        ASSERT_TRUE(LoadPackage(
            {{L"setup.xml", ToBytes("<Interface><SetupFiles><Group SrcPath=\"\\data\" DestPath=\"" + N(dest) +
                                    "\"/></SetupFiles></Interface>")},
             {L"data\\good.txt", good},
             {L"data\\good.txtZ", ToBytes("twin")}},
            PackageTools::SBuildOptions(), [&](const std::wstring& package) {
                TestSupport::CCompoundImage image(ReadFileBytes(package));
                image.SetEntryName(image.FindEntry(L"good.txtZ", 2), twin);
                WriteFileBytes(package, image.Data());
            }));
        g_CmdLine.m_bQuiet = true;
        Manager().CopyFiles();
        EXPECT_EQ(good, ReadFileBytes(dest + L"\\good.txt"));
        EXPECT_EQ((std::vector<std::wstring>{L"good.txt"}), Names(dest));
    }
}

TEST_F(CopyFilesTest, LocalFilesAreReadBesideSetup)
{
    CTempFolder source;
    const Bytes tool = TestSupport::Noise(5000, 9);
    WriteFileBytes(source / L"tools\\x.dll", tool);
    WriteFileBytes(source / L"abs.bin", ToBytes("absolute"));
    const std::wstring dest = Out(L"app");
    Load(Group(dest, "<F LocalFile=\"tools\\x.dll\"/>"
                     "<F LocalFile=\"" + N(source / L"abs.bin") + "\" TargetFileName=\"copy.bin\"/>"
                     "<F LocalFile=\"tools\\missing.dll\"/>"
                     "<F LocalFile=\"%SourceDir%\\tools\\x.dll\" TargetFileName=\"y.dll\"/>"));
    ASSERT_TRUE(GetPathVariables().Define(L"%SourceDir%", source.Path().c_str()));
    EXPECT_TRUE(Manager().CopyFiles());
    EXPECT_EQ(tool, ReadFileBytes(dest + L"\\x.dll"));
    EXPECT_EQ(tool, ReadFileBytes(dest + L"\\y.dll"));
    EXPECT_EQ(ToBytes("absolute"), ReadFileBytes(dest + L"\\copy.bin"));
    EXPECT_EQ((std::vector<std::wstring>{L"copy.bin", L"x.dll", L"y.dll"}), Names(dest));
}

// A local file that the current drive or a drive's current folder would complete
// is refused: setup's current folder moves during a run.
TEST_F(CopyFilesTest, LocalFilesThatTheCurrentFolderWouldCompleteAreRefused)
{
    CTempFolder source;
    WriteFileBytes(source / L"tools\\x.dll", ToBytes("tool"));
    const std::wstring drive = source.Path().substr(0, 2);
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    // Each spelling names the tool from where the current folder stands.
    const struct {
        std::wstring local;
        std::wstring current;
    } cases[] = {
        {source.Path().substr(2) + L"\\tools\\x.dll", drive + L"\\"},
        {drive + L"tools\\x.dll", source.Path()},
    };
    const std::wstring dest = Out(L"app");
    for (const auto& c : cases) {
        SCOPED_TRACE(N(c.local));
        Load(Group(dest, "<F LocalFile=\"" + N(c.local) + "\"/>"));
        ASSERT_TRUE(::SetCurrentDirectoryW(c.current.c_str()));
        bool result = true;
        const auto lines = TraceOf([&] { result = Manager().CopyFiles(); });
        ::SetCurrentDirectoryW(before);
        EXPECT_FALSE(result);
        EXPECT_TRUE(HasLine(lines, "CopyFile: Local file path refused, '" + N(c.local) + "'")) << Joined(lines);
        EXPECT_FALSE(Exists(dest));
    }
}

// Copying and removing judge a target by one rule: what the copy writes, the
// uninstall may remove, and a folder the removal refuses gets no file at all.
TEST_F(CopyFilesTest, DestPathsTheRemovalRefusesAreRefusedByTheCopy)
{
    const struct {
        std::wstring dest;
        const char* refusal; // null: copied
    } cases[] = {
        {Out(L"app."), "trailing dot or space in a name"},
        {Out(L"app "), "trailing dot or space in a name"},
        {Out(L"app.\\sub"), "trailing dot or space in a name"},
        {Out(L"aux\\app"), "device name in the path"},
        {L"\\\\?\\" + Out(L"app"), "device path"},
        {Out(L"app"), nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(N(c.dest));
        for (bool storageFolder : {false, true}) {
            SCOPED_TRACE(storageFolder ? "package folder" : "file entry");
            Load(storageFolder ? "<SetupFiles><G SrcPath=\"\\data\" DestPath=\"" + N(c.dest) + "\"/></SetupFiles>"
                               : Group(c.dest, "<F FileName=\"\\data\\a.txt\"/>"),
                 {{L"data\\a.txt", ToBytes("payload")}});
            bool result = false;
            const auto lines = TraceOf([&] { result = Manager().CopyFiles(); });
            const std::wstring target = c.dest + L"\\a.txt";
            EXPECT_EQ(c.refusal == nullptr, result) << Joined(lines);
            EXPECT_EQ(c.refusal == nullptr, IsRemovableFile(target.c_str()));
            if (c.refusal != nullptr) {
                EXPECT_TRUE(HasLine(lines, "CopyFile: Target refused, '" + N(target) + "': " + c.refusal))
                    << Joined(lines);
                EXPECT_TRUE(HasLine(lines, "File extraction\\copy error. (Total files: 1)")) << Joined(lines);
                EXPECT_TRUE(Names(Out()).empty()) << "nothing written anywhere";
            } else {
                EXPECT_EQ(ToBytes("payload"), ReadFileBytes(Out(L"app\\a.txt")));
            }
        }
    }
}

TEST_F(CopyFilesTest, EntriesFollowTheBitnessOfWindows)
{
    const struct {
        bool is64;
        const char* x64;
        bool copied;
    } cases[] = {
        {false, nullptr, true}, {true, nullptr, true},  {false, "false", true}, {false, "true", false},
        {true, "true", true},   {true, "false", false}, {true, "1", true},      {false, "0", true},
    };
    int index = 0;
    for (const auto& c : cases) {
        const std::wstring dest = Out(L"b" + std::to_wstring(++index));
        SCOPED_TRACE(std::string(c.is64 ? "64-bit, x64=" : "32-bit, x64=") + (c.x64 ? c.x64 : "(none)"));
        const std::string x64 = c.x64 != nullptr ? std::string(" x64=\"") + c.x64 + "\"" : std::string();
        Load(Group(dest, "<F FileName=\"\\a.txt\"" + x64 + "/><F FileName=\"\\b.txt\"/>"),
             {{L"a.txt", ToBytes("a")}, {L"b.txt", ToBytes("b")}});
        Manager().m_bIs64BitOS = c.is64;
        EXPECT_TRUE(Manager().CopyFiles());
        EXPECT_EQ(c.copied, Exists(dest + L"\\a.txt"));
        EXPECT_TRUE(Exists(dest + L"\\b.txt"));
    }

    // A value that is no boolean stops the step.
    Load(Group(Out(L"bad"), "<F FileName=\"\\a.txt\" x64=\"sometimes\"/>"), {{L"a.txt", ToBytes("a")}});
    EXPECT_FALSE(Manager().CopyFiles());
    EXPECT_FALSE(Exists(Out(L"bad")));
}

TEST_F(CopyFilesTest, EntryWithFalseConditionIsSkipped)
{
    const std::wstring dest = Out(L"cond");
    Load(Group(dest, "<F FileName=\"\\a.txt\" condition=\"CopyTestOff\"/><F FileName=\"\\b.txt\"/>"),
         {{L"a.txt", ToBytes("a")}, {L"b.txt", ToBytes("b")}});
    Manager().m_SetupOptions.SetCondition(L"CopyTestOff", false);
    Common::Config::CXMLElement probe;
    m_pManager->m_pSettings->GetElement(L"//Interface/SetupFiles/Group/F", probe);
    ASSERT_FALSE(Manager().CheckCondition(probe, false));
    EXPECT_TRUE(Manager().CopyFiles());
    EXPECT_EQ((std::vector<std::wstring>{L"b.txt"}), Names(dest));
}

TEST_F(CopyFilesTest, VersionCheckCopiesOnlyNewerProducts)
{
    const std::wstring program = std::wstring(COMPANION_BIN_DIR_W) + L"\\callbridge.exe";
    const std::wstring unversioned = TestSupport::ModuleFolder() + L"childprog.exe";
    ASSERT_FALSE(GetFileVersionString(program.c_str(), L"ProductVersion").IsEmpty());
    ASSERT_TRUE(GetFileVersionString(unversioned.c_str(), L"ProductVersion").IsEmpty());
    const Bytes v1 = WithProductVersion(program, L"1.0.0.0");
    const Bytes v2 = WithProductVersion(program, L"2.0.0.0");
    const Bytes v1_300 = WithProductVersion(program, L"1.300.0");
    const Bytes v1_2 = WithProductVersion(program, L"1.2.0.0");
    const Bytes none = ReadFileBytes(unversioned);
    const Bytes noneOther = TestSupport::Noise(4000, 5);
    ASSERT_FALSE(v1.empty());
    ASSERT_NE(v1, v2);

    const struct {
        const char* name;
        const Bytes* installed; // null: no file there
        const Bytes* packaged;
        bool copied;
    } cases[] = {
        {"no target", nullptr, &v1, true},
        {"older target", &v1, &v2, true},
        {"equal", &v2, &v2, false},
        {"newer target", &v2, &v1, false},
        {"1.300 against 1.2", &v1_300, &v1_2, false},
        {"neither has a version", &none, &noneOther, false},
        {"target without version", &none, &v1, true},
    };
    const std::vector<std::wstring> probesBefore = Names(TempPath(), L"set*.tmp");
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring dest = Out(L"c" + std::to_wstring(++index));
        const std::wstring target = dest + L"\\app.exe";
        if (c.installed != nullptr)
            WriteFileBytes(target, *c.installed);
        Load(Group(dest, "<F FileName=\"\\app.exe\" Check=\"2\"/>"), {{L"app.exe", *c.packaged}});
        const std::vector<std::string> lines = TraceOf([&] { EXPECT_TRUE(Manager().CopyFiles()); });
        EXPECT_EQ(c.copied ? *c.packaged : *c.installed, ReadFileBytes(target));
        EXPECT_EQ(!c.copied, HasLine(lines, "CopyFile: File skipped due version check, '" + N(target) + "'"))
            << Joined(lines);
    }
    // No probe stays in the temporary folder.
    EXPECT_EQ(probesBefore, Names(TempPath(), L"set*.tmp"));
}

class DelayedCopyTest : public CopyFilesTest
{
protected:
    void SetUp() override
    {
        CopyFilesTest::SetUp();
        ASSERT_TRUE(m_pending.Succeeded());
    }

    // The renames of this test alone: the value is put back as it was.
    TestSupport::CRegistryValueScope m_pending{HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames,
                                               TestSupport::OwnRegistryView()};
};

TEST_F(DelayedCopyTest, ForcedDelayStagesEveryFileBesideItsTarget)
{
    const Bytes content = TestSupport::Noise(10000, 4);
    const std::wstring dest = Out(L"app");
    WriteFileBytes(dest + L"\\old.dll", ToBytes("old"));
    Load("<SetupFiles ForcedDelayCopy=\"true\"><G DestPath=\"" + N(dest) +
             "\"><F FileName=\"\\old.dll\"/><F FileName=\"\\new.dll\"/></G></SetupFiles>",
         {{L"old.dll", content}, {L"new.dll", content}});
    ASSERT_TRUE(Manager().m_bDelayedMode);
    const std::vector<std::string> lines = TraceOf([&] { EXPECT_TRUE(Manager().CopyFiles()); });

    EXPECT_TRUE(HasLine(lines, "CopyFile: Copy delayed, file '" + N(dest) + "\\old.dll'")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "CopyFile: Copy delayed, file '" + N(dest) + "\\new.dll'")) << Joined(lines);
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    // Nothing replaced now.
    EXPECT_EQ(ToBytes("old"), ReadFileBytes(dest + L"\\old.dll"));
    EXPECT_FALSE(Exists(dest + L"\\new.dll"));

    const std::vector<std::wstring> staged = StagedNames(dest);
    ASSERT_EQ(2u, staged.size());
    const auto renames = PendingRenames();
    for (const std::wstring& target : {dest + L"\\old.dll", dest + L"\\new.dll"}) {
        SCOPED_TRACE(N(target));
        auto rename = std::find_if(renames.begin(), renames.end(),
                                   [&](const std::pair<std::wstring, std::wstring>& r) { return SamePath(r.second, target); });
        ASSERT_NE(renames.end(), rename);
        EXPECT_TRUE(SamePath(dest, rename->first.substr(0, rename->first.find_last_of(L'\\'))));
        EXPECT_EQ(content, ReadFileBytes(rename->first));
    }
}

TEST_F(DelayedCopyTest, TargetInUseIsReplacedAtTheRestart)
{
    const Bytes content = TestSupport::Noise(10000, 6);
    const std::wstring dest = Out(L"app");
    const std::wstring target = dest + L"\\busy.dll";
    WriteFileBytes(target, ToBytes("running"));
    Load(Group(dest, "<F FileName=\"\\busy.dll\"/><F FileName=\"\\free.dll\"/>"),
         {{L"busy.dll", content}, {L"free.dll", content}});
    ASSERT_FALSE(Manager().m_bDelayedMode);
    {
        CHeldFile held(target);
        ASSERT_TRUE(held.IsHeld());
        EXPECT_TRUE(Manager().CopyFiles());
    }
    EXPECT_EQ(ToBytes("running"), ReadFileBytes(target));
    EXPECT_EQ(content, ReadFileBytes(dest + L"\\free.dll"));
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    EXPECT_FALSE(Manager().m_bDelayedMode);

    const std::vector<std::wstring> staged = StagedNames(dest);
    ASSERT_EQ(1u, staged.size());
    EXPECT_EQ(content, ReadFileBytes(dest + L"\\" + staged[0]));
    const auto renames = PendingRenames();
    ASSERT_EQ(1u, renames.size());
    EXPECT_TRUE(SamePath(dest + L"\\" + staged[0], renames[0].first)) << N(renames[0].first);
    EXPECT_TRUE(SamePath(target, renames[0].second)) << N(renames[0].second);
}

TEST_F(DelayedCopyTest, TargetsDeepInTheTreeAreStaged)
{
    const Bytes content = TestSupport::Noise(20000, 8);
    const struct {
        const char* name;
        size_t length; // of the target's full path
        const wchar_t* file;
        bool delayedMode;
    } cases[] = {
        {"250 characters", 250, L"app.dll", false},
        {"250 characters, delayed", 250, L"app.dll", true},
        {"259 characters, one-letter name", MAX_PATH - 1, L"a", false},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring dest = DeepFolder(Out(L"d" + std::to_wstring(++index)), c.length - 1 - wcslen(c.file));
        const std::wstring target = dest + L"\\" + c.file;
        ASSERT_EQ(c.length, target.size());
        Load(Group(dest, "<F FileName=\"\\" + N(c.file) + "\"/>"), {{c.file, content}});
        Manager().m_bDelayedMode = c.delayedMode;
        const std::vector<std::string> lines = TraceOf([&] { EXPECT_TRUE(Manager().CopyFiles()); });
        EXPECT_FALSE(HasLine(lines, "File extraction\\copy error. (Total files: 1)")) << Joined(lines);
        if (c.delayedMode) {
            const std::vector<std::wstring> staged = StagedNames(dest);
            ASSERT_EQ(1u, staged.size());
            EXPECT_EQ(content, ReadFileBytes(dest + L"\\" + staged[0]));
            const auto renames = PendingRenames();
            ASSERT_EQ(1u, renames.size());
            EXPECT_TRUE(SamePath(dest + L"\\" + staged[0], renames[0].first)) << N(renames[0].first);
            EXPECT_TRUE(SamePath(target, renames[0].second)) << N(renames[0].second);
            EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
        } else {
            EXPECT_EQ(content, ReadFileBytes(target));
            EXPECT_EQ(std::vector<std::wstring>{c.file}, Names(dest));
            EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
        }
    }
}

// A file that is not there yet is written under its own name; only a file that
// replaces another goes through a staging name.
TEST_F(DelayedCopyTest, NewTargetsAreWrittenInPlace)
{
    const Bytes content = TestSupport::Noise(10000, 9);
    const std::wstring dest = Out(L"app");
    const std::wstring busy = dest + L"\\busy.dll";
    WriteFileBytes(busy, ToBytes("running"));
    Load(Group(dest, "<F FileName=\"\\a.dll\"/><F FileName=\"\\b.dll\"/><F FileName=\"\\busy.dll\"/>"),
         {{L"a.dll", content}, {L"b.dll", content}, {L"busy.dll", content}});
    std::vector<std::string> lines;
    {
        CHeldFile held(busy);
        ASSERT_TRUE(held.IsHeld());
        lines = TraceOf([&] { EXPECT_TRUE(Manager().CopyFiles()); });
    }
    for (const std::wstring name : {L"a.dll", L"b.dll"}) {
        EXPECT_TRUE(HasLine(lines, "CopyFile: File copied - '" + N(dest + L"\\" + name) + "'")) << Joined(lines);
        EXPECT_EQ(content, ReadFileBytes(dest + L"\\" + name));
    }
    EXPECT_TRUE(HasLine(lines, "CopyFile: Copy delayed, file '" + N(busy) + "'")) << Joined(lines);
    // The first staging name went to the one file that had to be staged.
    EXPECT_EQ((std::vector<std::wstring>{L"a.dll", L"b.dll", L"busy.dll", L"~0000"}), Names(dest));
    const auto renames = PendingRenames();
    ASSERT_EQ(1u, renames.size());
    EXPECT_TRUE(SamePath(dest + L"\\~0000", renames[0].first)) << N(renames[0].first);
    EXPECT_TRUE(SamePath(busy, renames[0].second)) << N(renames[0].second);
}

// Files that happen to hold a staging name are passed over and kept as they are.
TEST_F(DelayedCopyTest, StagingNamesTakenByOtherFilesAreKept)
{
    const Bytes content = TestSupport::Noise(5000, 2);
    for (bool delayedMode : {false, true}) {
        SCOPED_TRACE(delayedMode ? "delayed mode" : "at once");
        const std::wstring dest = Out(delayedMode ? L"delayed" : L"now");
        WriteFileBytes(dest + L"\\~0000", ToBytes("someone else's"));
        ASSERT_TRUE(::CreateDirectoryW((dest + L"\\~0001").c_str(), nullptr));
        WriteFileBytes(dest + L"\\~0001\\inside.txt", ToBytes("inside"));
        Load(Group(dest, "<F FileName=\"\\a.dll\"/>"), {{L"a.dll", content}});
        Manager().m_bDelayedMode = delayedMode;
        EXPECT_TRUE(Manager().CopyFiles());
        EXPECT_EQ(ToBytes("someone else's"), ReadFileBytes(dest + L"\\~0000"));
        EXPECT_EQ(ToBytes("inside"), ReadFileBytes(dest + L"\\~0001\\inside.txt"));
        const auto renames = PendingRenames();
        if (delayedMode) {
            EXPECT_FALSE(Exists(dest + L"\\a.dll"));
            EXPECT_EQ(content, ReadFileBytes(dest + L"\\~0002"));
            ASSERT_EQ(1u, renames.size());
            EXPECT_TRUE(SamePath(dest + L"\\~0002", renames[0].first)) << N(renames[0].first);
            EXPECT_TRUE(SamePath(dest + L"\\a.dll", renames[0].second)) << N(renames[0].second);
        } else {
            EXPECT_EQ(content, ReadFileBytes(dest + L"\\a.dll"));
            EXPECT_EQ((std::vector<std::wstring>{L"a.dll", L"~0000", L"~0001"}), Names(dest));
            EXPECT_TRUE(renames.empty());
        }
    }
}

TEST_F(DelayedCopyTest, CopyThatCannotBeWrittenIsAFailure)
{
    Load(Group(Out(L"app"), "<F FileName=\"\\a.dll\"/>"), {{L"a.dll", ToBytes("a")}});
    const std::wstring target = Out(L"app\\a.dll");
    const std::wstring fresh = Out(L"app\\new.dll");
    WriteFileBytes(target, ToBytes("old"));
    for (bool delayedMode : {false, true}) {
        for (const std::wstring& path : {target, fresh}) {
            SCOPED_TRACE(std::string(delayedMode ? "delayed mode, " : "at once, ") + N(path));
            Manager().m_bDelayedMode = delayedMode;
            IStreamPtr stream(new FailingStream(), false);
            bool delayed = false;
            EXPECT_EQ(E_FAIL, TestSupport::ComErrorOf([&] { Manager().CopyFile(stream, path.c_str(), &delayed); }));
            EXPECT_FALSE(delayed);
            EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
            // The old file is whole, no cut new one, nothing left behind or scheduled.
            EXPECT_EQ(ToBytes("old"), ReadFileBytes(target));
            EXPECT_EQ((std::vector<std::wstring>{L"a.dll"}), Names(Out(L"app")));
            EXPECT_TRUE(PendingRenames().empty());
        }
    }
}

TEST_F(CopyFilesTest, MissingStreamFailsTheStepWithTheCountedTotal)
{
    const std::wstring dest = Out(L"app");
    Load(Group(dest, "<F FileName=\"\\a.txt\"/><!-- counted --><F FileName=\"\\missing.txt\"/><F FileName=\"\\b.txt\"/>"),
         {{L"a.txt", ToBytes("a")}, {L"b.txt", ToBytes("b")}});
    ASSERT_EQ(S_OK, m_taskbar.Registered());
    // As the main window binds it when it is shown.
    ASSERT_NE(nullptr, Manager().m_pDlgMain.get());
    const HWND window = Manager().m_pDlgMain->m_hWnd;
    ASSERT_TRUE(Manager().m_TaskbarProgress.Init(window));
    bool result = true;
    const std::vector<std::string> lines = TraceOf([&] { result = Manager().CopyFiles(); });
    EXPECT_FALSE(result);
    EXPECT_TRUE(HasLine(lines, "File extraction\\copy error. (Total files: 4)")) << Joined(lines);
    // The button showed a full bar with the error, then no progress.
    using TestSupport::State;
    using TestSupport::Value;
    const std::vector<TestSupport::SCall> expected = {
        State(window, UI::CTaskbarProgress::kNormal), Value(window, 0, 4), Value(window, 1, 4), Value(window, 4, 4),
        State(window, UI::CTaskbarProgress::kError),  State(window, UI::CTaskbarProgress::kNoProgress),
    };
    EXPECT_EQ(expected, m_taskbar.Calls());
    EXPECT_EQ(4u, Manager().m_TaskbarProgress.GetCompleted());
    EXPECT_EQ(UI::CTaskbarProgress::kNoProgress, Manager().m_TaskbarProgress.GetState());
    // What was copied before the failure stays.
    EXPECT_EQ((std::vector<std::wstring>{L"a.txt"}), Names(dest));
}

// Each file's stream is read while the file before it is written: a stream
// that cannot be read still fails in its own turn, after the files before it are
// copied, with its traces once and in their place.
TEST_F(CopyFilesTest, AStreamThatCannotBeReadFailsInItsTurn)
{
    const Bytes notZlib = TestSupport::WithPackedTrailer(ToBytes("this was never deflated"), 23);
    struct SCase
    {
        const char* name;
        std::string failing;           // the second entry
        std::string packageTrace;      // the trace of the package read, or empty
    };
    const SCase cases[] = {
        {"missing", "\\missing.txt", "Package stream \"\\missing.txt\" cannot be opened: 0x80030002"},
        {"damaged", "\\bad.bin", ""},
    };
    for (const SCase& test : cases) {
        SCOPED_TRACE(test.name);
        const std::wstring dest = Out(std::wstring(test.name, test.name + strlen(test.name)));
        Load(Group(dest, "<F FileName=\"\\a.txt\"/><F FileName=\"" + test.failing + "\"/><F FileName=\"\\c.txt\"/>"),
             {{L"a.txt", ToBytes("a")}, {L"bad.bin", notZlib}, {L"c.txt", ToBytes("c")}});
        bool result = true;
        const std::vector<std::string> lines = TraceOf([&] { result = Manager().CopyFiles(); });
        EXPECT_FALSE(result);
        const auto at = [&](const std::string& line) {
            return std::find(lines.begin(), lines.end(), "Setup: " + line) - lines.begin();
        };
        const auto copied = at("CopyFile: File copied - '" + N(dest) + "\\a.txt'");
        const auto failed = at("File extraction\\copy error. (Total files: 3)");
        ASSERT_LT(copied, failed) << Joined(lines);
        ASSERT_LT(failed, static_cast<std::ptrdiff_t>(lines.size())) << Joined(lines);
        const auto packageLines = std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
            return line.compare(0, 15, "Setup: Package ") == 0;
        });
        if (test.packageTrace.empty()) {
            EXPECT_EQ(0, packageLines) << Joined(lines);
        } else {
            EXPECT_EQ(1, packageLines) << Joined(lines);
            const auto traced = at(test.packageTrace);
            EXPECT_LT(copied, traced) << Joined(lines);
            EXPECT_LT(traced, failed) << Joined(lines);
        }
        EXPECT_EQ((std::vector<std::wstring>{L"a.txt"}), Names(dest));
    }
}

TEST_F(CopyFilesTest, FileListEdges)
{
    // No list at all: a failure before anything was counted.
    Load("<Other/>");
    bool result = true;
    std::vector<std::string> lines = TraceOf([&] { result = Manager().CopyFiles(); });
    EXPECT_FALSE(result);
    EXPECT_TRUE(HasLine(lines, "File extraction\\copy error. (Total files: 0)")) << Joined(lines);

    // An empty list: nothing to do.
    Load("<SetupFiles ForcedDelayCopy=\"false\"/>");
    lines = TraceOf([&] { result = Manager().CopyFiles(); });
    EXPECT_TRUE(result);
    EXPECT_FALSE(HasLine(lines, "File extraction\\copy error. (Total files: 0)")) << Joined(lines);
}

TEST_F(CopyFilesTest, ProgressEndsHiddenOnTheWindowlessMainWindow)
{
    const std::wstring dest = Out(L"app");
    Load(Group(dest, "<F FileName=\"\\a.txt\"/><F FileName=\"\\b.txt\"/><!-- c --><F FileName=\"\\c.txt\"/>"),
         {{L"a.txt", ToBytes("a")}, {L"b.txt", ToBytes("b")}, {L"c.txt", ToBytes("c")}});
    DlgPopup::CDlgMain* main = Manager().m_pDlgMain.get();
    ASSERT_NE(nullptr, main);
    ASSERT_EQ(S_OK, m_taskbar.Registered());
    const HWND window = main->m_hWnd;
    ASSERT_TRUE(Manager().m_TaskbarProgress.Init(window));
    EXPECT_TRUE(Manager().CopyFiles());
    // One step per entry; the comment is counted but not stepped.
    using TestSupport::State;
    using TestSupport::Value;
    const std::vector<TestSupport::SCall> expected = {
        State(window, UI::CTaskbarProgress::kNormal), Value(window, 0, 4), Value(window, 1, 4),
        Value(window, 2, 4), Value(window, 3, 4), State(window, UI::CTaskbarProgress::kNoProgress),
    };
    EXPECT_EQ(expected, m_taskbar.Calls());
    EXPECT_EQ(4u, Manager().m_TaskbarProgress.m_ullTotal);
    EXPECT_EQ(3u, Manager().m_TaskbarProgress.GetCompleted());
    EXPECT_EQ(UI::CTaskbarProgress::kNoProgress, Manager().m_TaskbarProgress.GetState());
    EXPECT_DOUBLE_EQ(0.25, main->m_dStep);
    EXPECT_DOUBLE_EQ(0.75, main->m_dProgress);
    EXPECT_FALSE(main->m_bShowProgress);
    EXPECT_FALSE(main->m_bShowWait);

    // Without any main window the step runs all the same.
    Load(Group(Out(L"bare"), "<F FileName=\"\\a.txt\"/>"), {{L"a.txt", ToBytes("a")}});
    Manager().m_pDlgMain.reset();
    g_CmdLine.m_bQuiet = false;
    EXPECT_TRUE(Manager().CopyFiles());
    EXPECT_TRUE(Exists(Out(L"bare\\a.txt")));
}

TEST_F(CopyFilesTest, StepCaptionShowsOnlyInVisibleRuns)
{
    Load("<Localize><InstallSteps><CopyFiles Caption=\"Copying files\"/><Bare/></InstallSteps></Localize>");
    DlgPopup::CDlgMain* main = Manager().m_pDlgMain.get();
    ASSERT_NE(nullptr, main);

    main->m_bShowWait = false;
    Manager().SetStepCaption(L"//Interface/Localize/InstallSteps/CopyFiles");
    EXPECT_FALSE(main->m_bShowWait); // quiet: nothing happens

    g_CmdLine.m_bQuiet = false;
    Manager().SetStepCaption(L"//Interface/Localize/InstallSteps/CopyFiles");
    EXPECT_TRUE(main->m_bShowWait);
    Manager().SetStepCaption(L"//Interface/Localize/InstallSteps/Bare");
    EXPECT_FALSE(main->m_bShowWait);
    Manager().SetStepCaption(L"//Interface/Localize/InstallSteps/CopyFiles");
    Manager().SetStepCaption(nullptr);
    EXPECT_FALSE(main->m_bShowWait);

    Manager().m_pDlgMain.reset();
    Manager().SetStepCaption(L"//Interface/Localize/InstallSteps/CopyFiles");
}

TEST_F(CopyFilesTest, MacrosDefinePathVariablesAndSourceDirIsSetupsFolder)
{
    Load("<SetupMacroses>"
         "<M Pattern=\"%CopyTestBase%\" Value=\"C:\\Base\"/>"
         "<M Pattern=\"%CopyTestApp%\" Value=\"%CopyTestBase%\\App\"/>"
         "<M Pattern=\"%CopyTestLater%\" Value=\"%CopyTestDefinedAfter%\\x\"/>"
         "<M Pattern=\"%CopyTestDefinedAfter%\" Value=\"D:\"/>"
         "<M Pattern=\"%CopyTestCaption%\" Caption=\"Localised\"/>"
         "<M Pattern=\"%CopyTestTwice%\" Value=\"first\"/>"
         "<M Pattern=\"%CopyTestTwice%\" Value=\"second\"/>"
         "<M Pattern=\"CopyTestNoPercent\" Value=\"v\"/>"
         "<M Pattern=\"%SourceDir%\" Value=\"C:\\Elsewhere\"/>"
         "<!-- comment --></SetupMacroses>");
    const struct {
        const wchar_t* text;
        std::wstring expected;
    } cases[] = {
        {L"%CopyTestApp%", L"C:\\Base\\App"},
        {L"%CopyTestLater%", L"D:\\x"},
        {L"%CopyTestCaption%", L"Localised"},
        {L"%CopyTestTwice%", L"second"},
        {L"CopyTestNoPercent", L"CopyTestNoPercent"},
        {L"%SourceDir%", TestSupport::ModuleFolder().substr(0, TestSupport::ModuleFolder().size() - 1)},
    };
    for (const auto& c : cases) {
        CString text(c.text);
        ExpandVariables(text);
        EXPECT_TRUE(SamePath(c.expected, text.Str())) << N(c.text) << " -> " << N(text.Str());
    }
    EXPECT_EQ(0u, GetPathVariables().Table().count(L"CopyTestNoPercent"));
}

TEST_F(CopyFilesTest, NodeExistsAsksTheDocument)
{
    Load("<SetupFiles><G/></SetupFiles>");
    EXPECT_TRUE(Manager().NodeExists(L"//Interface/SetupFiles/G"));
    EXPECT_FALSE(Manager().NodeExists(L"//Interface/SetupFiles/H"));
    EXPECT_FALSE(Manager().NodeExists(L"//Interface/[["));
}

TEST_F(CopyFilesTest, TargetDataDirIsMadeOnlyForAFullPath)
{
    Load("<Other/>");
    const std::wstring data = Out(L"shared\\data");
    ASSERT_TRUE(GetPathVariables().Define(L"%TargetDataDir%", data.c_str()));
    EXPECT_TRUE(Manager().CreateTargetDataDir());
    EXPECT_TRUE(::PathIsDirectoryW(data.c_str()));

    // Not a full path: nothing made beside the current folder.
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    ASSERT_TRUE(::SetCurrentDirectoryW(Out().c_str()));
    ASSERT_TRUE(GetPathVariables().Define(L"%TargetDataDir%", L"relative\\data"));
    EXPECT_TRUE(Manager().CreateTargetDataDir());
    ::SetCurrentDirectoryW(current);
    EXPECT_FALSE(Exists(Out(L"relative")));
}

TEST(PackVersion, PacksOneByteAPart)
{
    const struct {
        const wchar_t* text;
        DWORD packed;
    } cases[] = {
        {L"1.2.3.4", 0x01020304}, {L"2.5", 0x02050000},     {L"1.256", 0x01000000},    {L"7.1.2.3.4", 0x07010203},
        {L"", 0},                 {L"1..2", 0x01020000},    {L"..3", 0x03000000},      {L"1.300", 0x012C0000},
        {L"4b.x.9", 0x04000900},  {L"255.255.255.255", 0xFFFFFFFF}, {L"-1", 0xFF000000}, {L"10.0.19041.1", 0x0A006101},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.packed, PackVersion(c.text)) << N(c.text);
}

} // namespace
