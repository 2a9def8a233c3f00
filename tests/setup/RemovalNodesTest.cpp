// Tests of the script's removal nodes.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/PathTools.h"
#include "setup/engine/GuidName.h"
#include "tests/setup/RemovalSupport.h"

#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::ReadFileBytes;
using TestSupport::ToBytes;
using TestSupport::TraceOf;
using TestSupport::WriteFileBytes;
using namespace RemovalTest;

namespace {

std::wstring KnownFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring WindowsFolder()
{
    wchar_t path[MAX_PATH] = {};
    ::GetWindowsDirectoryW(path, MAX_PATH);
    return path;
}

std::wstring Parent(std::wstring path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

void MakeFolder(const std::wstring& path)
{
    ::SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

void MakeTree(const std::wstring& root)
{
    WriteFileBytes(root + L"\\a.txt", ToBytes("a"));
    WriteFileBytes(root + L"\\ro.txt", ToBytes("read-only"));
    ::SetFileAttributesW((root + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(root + L"\\hidden.sys", ToBytes("hidden"));
    ::SetFileAttributesW((root + L"\\hidden.sys").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    WriteFileBytes(root + L"\\sub\\deep\\b.txt", ToBytes("b"));
    ::SetFileAttributesW((root + L"\\sub").c_str(), FILE_ATTRIBUTE_READONLY);
    MakeFolder(root + L"\\empty");
}

class RemovalNodesTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        ASSERT_TRUE(m_pending.Succeeded());
    }

    // Loads a document whose script "S" holds the nodes (and whose root holds the
    // extra elements); quiet, so that nothing waits for an answer.
    void Load(const std::string& nodes, const std::string& extra = std::string())
    {
        ASSERT_TRUE(LoadDocument("<Interface><S>" + nodes + "</S>" + extra + "</Interface>"));
        g_CmdLine.m_bQuiet = true;
    }

    std::vector<std::string> Run()
    {
        return TraceOf([&] {
            Common::Config::CXMLNodeList nodes;
            Manager().m_pSettings->SelectNodes(L"//Interface/S/*", nodes);
            Manager().RunScript(nodes, false);
        });
    }

    std::wstring Out(const std::wstring& relative) const { return m_temp / relative; }

    CPendingScope m_pending;
};

TEST_F(RemovalNodesTest, OnlyPlacesAPackageCanOwnMayBeRemoved)
{
    const std::wstring windows = WindowsFolder();
    const std::wstring programFiles = KnownFolder(CSIDL_PROGRAM_FILES);
    const std::wstring profile = KnownFolder(CSIDL_PROFILE);
    ASSERT_FALSE(programFiles.empty());
    ASSERT_FALSE(profile.empty());
    struct SCase
    {
        std::wstring path;
        bool file;
        bool folder;
        bool installFolder;
    };
    const SCase cases[] = {
        {L"", false, false, false},
        {L"C:\\", false, false, false},
        {L"C:", false, false, false},
        {L"c:/", false, false, false},
        {L"relative\\app", false, false, false},
        {L"\\\\?\\" + Out(L"app"), false, false, false},
        {Out(L"app\\..\\..\\other"), false, false, false},
        {Out(L"a*"), false, false, false},
        {Out(L"app.txt:stream"), false, false, false},
        // Names the system reads as a device or as another file.
        {Out(L"app\\NUL"), false, false, false},
        {Out(L"app\\Com1.log"), false, false, false},
        {Out(L"aux\\app"), false, false, false},
        {Out(L"app\\x.txt."), false, false, false},
        {Out(L"app\\x.txt "), false, false, false},
        {Out(L"app.\\x.txt"), false, false, false},
        {windows, false, false, false},
        {windows + L"\\", false, false, false},
        {windows + L"\\system32", false, false, false},
        {windows + L"\\Temp\\product", true, false, false},
        {windows + L"\\system32\\product.dll", true, false, false},
        {programFiles, false, false, true},
        {programFiles + L"\\Vendor\\Product", true, true, true},
        {profile, false, false, true},
        {Parent(profile), false, false, true},
        {Out(L"app"), true, true, true},
        {Out(L"app\\"), true, true, true},
        {Out(L"app\\file.txt"), true, true, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(N(c.path));
        EXPECT_EQ(c.file, IsRemovableFile(c.path.c_str()));
        EXPECT_EQ(c.folder, IsRemovableFolder(c.path.c_str()));
        EXPECT_EQ(c.installFolder, IsUsableInstallFolder(c.path.c_str()));
    }
}

TEST_F(RemovalNodesTest, RemoveFolderRefusesSystemPlacesWithATrace)
{
    // A sentinel that a ".." path would reach.
    WriteFileBytes(Out(L"keep\\file.txt"), ToBytes("keep"));
    MakeFolder(Out(L"app"));
    const std::wstring windows = WindowsFolder();
    const std::wstring cases[] = {L"C:\\", windows, windows + L"\\system32", Out(L"app\\..\\keep"),
                                  KnownFolder(CSIDL_PROGRAM_FILES), Parent(KnownFolder(CSIDL_PROFILE))};
    for (const std::wstring& folder : cases) {
        for (const char* ifEmpty : {"false", "true"}) {
            SCOPED_TRACE(N(folder) + " IfEmpty " + ifEmpty);
            Load(std::string("<RemoveFolder IfEmpty='") + ifEmpty + "' FolderName='" + N(folder) + "'/>");
            // Delayed: even a failing guard would only schedule, never delete now.
            Manager().m_bDelayedMode = true;
            const auto lines = Run();
            EXPECT_TRUE(HasLineStarting(lines, "Refused to remove '" + N(folder) + "': ")) << Joined(lines);
            EXPECT_TRUE(PendingDeletions().empty());
            EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
        }
    }
    // And at once: the sentinel stays.
    Load("<RemoveFolder FolderName='" + N(Out(L"app\\..\\keep")) + "'/><RemoveFolder FolderName=''/>");
    const auto lines = Run();
    EXPECT_TRUE(HasLine(lines, "Refused to remove '': empty path")) << Joined(lines);
    EXPECT_TRUE(Exists(Out(L"keep\\file.txt")));
    EXPECT_TRUE(PendingDeletions().empty());
}

// A 32-bit process under WOW64 sees the x86 folders for every Program Files id;
// the 64-bit ones are named by these variables only.
std::wstring EnvironmentFolder(const wchar_t* name)
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = ::GetEnvironmentVariableW(name, path, MAX_PATH);
    return length != 0 && length < MAX_PATH ? std::wstring(path) : std::wstring();
}

std::wstring Upper(std::wstring text)
{
    ::CharUpperBuffW(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::wstring Slashes(std::wstring text)
{
    std::replace(text.begin(), text.end(), L'\\', L'/');
    return text;
}

// An environment variable of this process set for the time of the object.
class CEnvironmentScope
{
public:
    CEnvironmentScope(const wchar_t* name, const std::wstring& value) : m_name(name)
    {
        wchar_t old[MAX_PATH] = {};
        const DWORD length = ::GetEnvironmentVariableW(name, old, MAX_PATH);
        m_bHad = length != 0 && length < MAX_PATH;
        m_old = old;
        ::SetEnvironmentVariableW(name, value.c_str());
    }
    ~CEnvironmentScope() { ::SetEnvironmentVariableW(m_name, m_bHad ? m_old.c_str() : nullptr); }
    CEnvironmentScope(const CEnvironmentScope&) = delete;
    CEnvironmentScope& operator=(const CEnvironmentScope&) = delete;

private:
    const wchar_t* m_name;
    std::wstring m_old;
    bool m_bHad = false;
};

const wchar_t kCopyName[] = L"{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}.exe";

TEST_F(RemovalNodesTest, ProtectedPlacesSurviveEveryWayOfDeleting)
{
    // A protected folder that holds nothing, so that nothing but the guard keeps a
    // way of deleting from taking it: the temporary folder, pointed at a fresh one
    // before the protected folders are first read.
    const std::wstring emptyTemp = Out(L"protected temp");
    MakeFolder(emptyTemp);
    CEnvironmentScope tmp(L"TMP", emptyTemp);
    ASSERT_FALSE(IsRemovableFolder(emptyTemp.c_str())) << "the protected folders were read before TMP was set";

    const std::wstring programFiles64 = EnvironmentFolder(L"ProgramW6432");
    const std::wstring common64 = EnvironmentFolder(L"CommonProgramW6432");
    const std::wstring programFilesX86 = KnownFolder(CSIDL_PROGRAM_FILESX86);
    const std::wstring commonX86 = KnownFolder(CSIDL_PROGRAM_FILES_COMMONX86);
    const std::wstring profile = KnownFolder(CSIDL_PROFILE);
    const std::wstring windows = WindowsFolder();
    for (const std::wstring& folder : {programFiles64, common64, programFilesX86, commonX86, profile})
        ASSERT_FALSE(folder.empty());
    struct SPlace
    {
        std::wstring folder; // where the marker goes
        std::wstring path;   // how the script names it
        bool empty;          // no marker: the folder holds nothing
    };
    const SPlace places[] = {
        {programFiles64, programFiles64, false},
        {programFiles64, programFiles64 + L"\\", false},
        {programFiles64, Upper(programFiles64), false},
        {programFiles64, Slashes(programFiles64), false},
        {common64, common64, false},
        {common64, Slashes(Upper(common64)) + L"/", false},
        {programFilesX86, programFilesX86, false},
        {commonX86, commonX86 + L"\\", false},
        {Parent(profile), Parent(profile), false},
        {Parent(common64), Parent(common64) + L"\\", false},
        {windows + L"\\Sysnative", windows + L"\\Sysnative", false},
        {windows + L"\\System32", Upper(windows + L"\\System32"), false},
        {emptyTemp, emptyTemp, true},
        {emptyTemp, Upper(emptyTemp) + L"\\", true},
    };
    enum EKind
    {
        kNode,        // a script node: the path goes between the text and "'/>"
        kDelayRemove, // DelayRemove itself
        kFileList,    // the uninstall's file list, the path as a group's DestPath
        kRemoveSelf,  // the registered copy alone in the folder removes itself
    };
    struct SWay
    {
        const char* name;
        EKind kind;
        const char* node;
        bool delayed;
    };
    const SWay ways[] = {
        {"RemoveFolder", kNode, "<RemoveFolder FolderName='", false},
        {"RemoveFolder delayed", kNode, "<RemoveFolder FolderName='", true},
        {"RemoveFolder IfEmpty", kNode, "<RemoveFolder IfEmpty='true' FolderName='", false},
        {"RemoveFolder IfEmpty delayed", kNode, "<RemoveFolder IfEmpty='true' FolderName='", true},
        {"RemoveFile", kNode, "<RemoveFile FileName='", false},
        {"RemoveFile delayed", kNode, "<RemoveFile FileName='", true},
        {"DelayRemove", kDelayRemove, nullptr, false},
        {"Files", kFileList, nullptr, false},
        {"Files delayed", kFileList, nullptr, true},
        {"RemoveSelf", kRemoveSelf, nullptr, false},
    };
    for (const SPlace& place : places) {
        const std::wstring marker = place.folder + L"\\removal-marker.txt";
        if (!place.empty) {
            WriteFileBytes(marker, ToBytes("marker"));
            ASSERT_TRUE(Exists(marker)) << N(marker);
        }
        for (const SWay& way : ways) {
            // The copy's folder comes from its own path: one spelling is enough.
            if (way.kind == kRemoveSelf && place.path != place.folder)
                continue;
            SCOPED_TRACE(N(place.path) + " " + way.name);
            bool restart = false;
            std::vector<std::string> lines;
            // The folder whose refusal the trace names.
            std::wstring refused = way.kind == kRemoveSelf ? place.folder : place.path;
            const std::wstring copy = place.folder + L"\\" + kCopyName;
            switch (way.kind) {
            case kNode:
                Load(way.node + N(place.path) + "'/>");
                Manager().m_bDelayedMode = way.delayed;
                lines = Run();
                break;
            case kDelayRemove:
                lines = TraceOf([&] { DelayRemove(place.path.c_str(), &restart); });
                break;
            case kFileList: {
                CString listed = place.path.c_str();
                ASSERT_TRUE(AppendPath(listed, L"removal-listed.txt"));
                ASSERT_TRUE(RemovePathFileSpec(listed));
                refused = listed.Str();
                Load("<Files Install='false'/>",
                     "<SetupFiles><G DestPath='" + N(place.path) + "'><F FileName='removal-listed.txt'/></G></SetupFiles>");
                Manager().m_bDelayedMode = way.delayed;
                lines = Run();
                break;
            }
            case kRemoveSelf:
                WriteFileBytes(copy, ToBytes("program"));
                lines = TraceOf([&] { RemoveProgramCopy(copy.c_str()); });
                break;
            }
            EXPECT_TRUE(Exists(place.folder));
            EXPECT_EQ(!place.empty, Exists(marker));
            EXPECT_FALSE(restart);
            EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
            // The copy goes at the restart under a new name in the folder; the folder
            // is judged only when nothing else is left in it.
            const bool self = way.kind == kRemoveSelf;
            EXPECT_EQ(!self || place.empty, HasLineStarting(lines, "Refused to remove '" + N(refused) + "': "))
                << Joined(lines);
            EXPECT_EQ(self ? 1 : 0, std::count_if(lines.begin(), lines.end(), [](const std::string& line) {
                          return line.compare(0, 21, "Setup: Delay remove: ") == 0;
                      })) << Joined(lines);
            EXPECT_FALSE(Exists(copy));
            const std::vector<std::wstring> pending = PendingDeletions();
            EXPECT_EQ(self ? 1u : 0u, pending.size()) << Joined(lines);
            for (const std::wstring& path : pending) {
                EXPECT_TRUE(SamePath(Parent(path), place.folder)) << N(path);
                ::DeleteFileW(path.c_str());
            }
            ForgetPendingDeletions();
        }
        ::DeleteFileW(marker.c_str());
    }
}

TEST_F(RemovalNodesTest, AProductFolderBelowProgramFilesIsStillRemoved)
{
    const std::wstring roots[] = {EnvironmentFolder(L"ProgramW6432"), EnvironmentFolder(L"CommonProgramW6432"),
                                  KnownFolder(CSIDL_PROGRAM_FILESX86)};
    for (const std::wstring& root : roots) {
        SCOPED_TRACE(N(root));
        ASSERT_FALSE(root.empty());
        const std::wstring vendor = root + L"\\Removal Test Vendor";
        const std::wstring product = vendor + L"\\Product";
        MakeTree(product);
        Load("<RemoveFolder FolderName='" + N(product) + "'/>");
        const auto lines = Run();
        EXPECT_FALSE(Exists(product)) << Joined(lines);
        EXPECT_TRUE(Exists(vendor));
        EXPECT_TRUE(PendingAre({}));
        ::RemoveDirectoryW(vendor.c_str());
    }
}

TEST_F(RemovalNodesTest, RemoveFileDeletesNowOrAtTheRestart)
{
    struct SCase
    {
        const char* name;
        const wchar_t* file;
        bool readOnly;
        bool held;
        bool delayed;
        bool missing;
        bool deletedNow;
    };
    // A missing file is not scheduled: the restart would take a file reinstalled meanwhile.
    const SCase cases[] = {
        {"plain", L"app\\plain.dll", false, false, false, false, true},
        {"read-only", L"app\\read-only.dll", true, false, false, false, true},
        {"in use", L"app\\in use.dll", false, true, false, false, false},
        {"delayed mode", L"app\\delayed.dll", false, false, true, false, false},
        {"missing", L"app\\missing.dll", false, false, false, true, false},
        {"missing in delayed mode", L"app\\missing delayed.dll", false, false, true, true, false},
        {"missing folder", L"gone\\missing.dll", false, false, false, true, false},
        {"missing folder in delayed mode", L"gone\\delayed.dll", false, false, true, true, false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::wstring file = Out(c.file);
        if (!c.missing)
            WriteFileBytes(file, ToBytes("content"));
        if (c.readOnly)
            ::SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY);
        Load("<RemoveFile FileName='" + N(file) + "'/>");
        Manager().m_bDelayedMode = c.delayed;
        std::vector<std::string> lines;
        {
            CHeldFile held(c.held ? file : std::wstring());
            lines = Run();
        }
        const bool scheduled = !c.deletedNow && !c.missing;
        EXPECT_EQ(scheduled, Exists(file));
        EXPECT_EQ(c.deletedNow, HasLine(lines, "File Removed: " + N(file))) << Joined(lines);
        EXPECT_EQ(scheduled, HasLine(lines, "Delay remove: '" + N(file) + "'")) << Joined(lines);
        EXPECT_EQ(c.missing, HasLine(lines, "RemoveFile: no file '" + N(file) + "'")) << Joined(lines);
        EXPECT_EQ(scheduled, IsPending(file));
        // A single file left to the restart does not ask for the restart.
        EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
    }
}

TEST_F(RemovalNodesTest, RemoveFolderIfEmptyRemovesOnlyAnEmptyFolder)
{
    MakeFolder(Out(L"empty"));
    WriteFileBytes(Out(L"full\\file.txt"), ToBytes("x"));
    Load("<RemoveFolder IfEmpty='1' FolderName='" + N(Out(L"empty")) + "'/><RemoveFolder IfEmpty='TRUE' FolderName='" +
         N(Out(L"full")) + "'/>");
    Run();
    EXPECT_FALSE(Exists(Out(L"empty")));
    EXPECT_FALSE(IsPending(Out(L"empty")));
    EXPECT_TRUE(Exists(Out(L"full\\file.txt")));
    EXPECT_TRUE(IsPending(Out(L"full")));
    EXPECT_FALSE(IsPending(Out(L"full\\file.txt")));
    EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
}

TEST_F(RemovalNodesTest, RemoveFolderWithContentRemovesTheWholeTree)
{
    const std::wstring app = Out(L"app");
    MakeTree(app);
    Load("<RemoveFolder FolderName='" + N(app) + "'/>");
    const auto lines = Run();
    EXPECT_TRUE(HasLine(lines, "Try to remove folder with content: '" + N(app) + "'")) << Joined(lines);
    EXPECT_FALSE(Exists(app));
    EXPECT_TRUE(PendingDeletions().empty());
    EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
}

TEST_F(RemovalNodesTest, DelayedModeSchedulesEveryFileBeforeItsFolder)
{
    const std::wstring app = Out(L"app");
    MakeTree(app);
    Load("<RemoveFolder FolderName='" + N(app) + "'/>");
    Manager().m_bDelayedMode = true;
    Run();
    EXPECT_TRUE(Exists(app + L"\\sub\\deep\\b.txt"));
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    const std::wstring paths[] = {app + L"\\a.txt", app + L"\\ro.txt", app + L"\\hidden.sys",
                                  app + L"\\sub\\deep\\b.txt", app + L"\\sub\\deep", app + L"\\sub",
                                  app + L"\\empty", app};
    for (const std::wstring& path : paths)
        EXPECT_NE(-1, PendingIndex(path)) << N(path);
    EXPECT_LT(PendingIndex(app + L"\\sub\\deep\\b.txt"), PendingIndex(app + L"\\sub\\deep"));
    EXPECT_LT(PendingIndex(app + L"\\sub\\deep"), PendingIndex(app + L"\\sub"));
    EXPECT_EQ(static_cast<int>(std::size(paths)) - 1, PendingIndex(app)) << "the folder itself goes last";

    // Folders alone do not ask for the restart.
    MakeFolder(Out(L"bare\\inner"));
    Load("<RemoveFolder FolderName='" + N(Out(L"bare")) + "'/>");
    Manager().m_bDelayedMode = true;
    Run();
    EXPECT_TRUE(IsPending(Out(L"bare\\inner")));
    EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
}

TEST_F(RemovalNodesTest, AFileInUseInsideTheFolderWaitsForTheRestart)
{
    const std::wstring app = Out(L"app");
    WriteFileBytes(app + L"\\busy.dll", ToBytes("busy"));
    WriteFileBytes(app + L"\\free.dll", ToBytes("free"));
    Load("<RemoveFolder FolderName='" + N(app) + "'/>");
    {
        CHeldFile held(app + L"\\busy.dll");
        ASSERT_TRUE(held.IsHeld());
        Run();
    }
    EXPECT_FALSE(Exists(app + L"\\free.dll"));
    EXPECT_TRUE(Exists(app + L"\\busy.dll"));
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    EXPECT_LT(PendingIndex(app + L"\\busy.dll"), PendingIndex(app));
    EXPECT_NE(-1, PendingIndex(app + L"\\busy.dll"));
}

TEST_F(RemovalNodesTest, ALinkInsideTheFolderIsRemovedWithoutWhatItPointsTo)
{
    const std::wstring app = Out(L"app");
    WriteFileBytes(Out(L"elsewhere\\precious.txt"), ToBytes("precious"));
    WriteFileBytes(app + L"\\a.txt", ToBytes("a"));
    if (!::CreateSymbolicLinkW((app + L"\\link").c_str(), Out(L"elsewhere").c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY))
        GTEST_SKIP() << "no folder links here (error " << ::GetLastError() << ")";
    const DWORD attributes = ::GetFileAttributesW((app + L"\\link").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "links are not reported as reparse points here";
    Load("<RemoveFolder FolderName='" + N(app) + "'/>");
    Run();
    EXPECT_EQ(ToBytes("precious"), ReadFileBytes(Out(L"elsewhere\\precious.txt")));
    EXPECT_FALSE(Exists(app + L"\\a.txt"));
}

TEST_F(RemovalNodesTest, MoveFileReplacesTheTargetOnlyWhenTheSourceMoves)
{
    const std::wstring source = Out(L"new.dll");
    const std::wstring target = Out(L"app\\old.dll");
    WriteFileBytes(source, ToBytes("new"));
    WriteFileBytes(target, ToBytes("old"));
    Load("<MoveFile FileName='" + N(source) + "' TargetFileName='" + N(target) + "'/>");
    auto lines = Run();
    EXPECT_TRUE(HasLine(lines, "InstallManager : CInstallManager::MoveFileW >")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "source file: " + N(source) + ", target file: " + N(target))) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "MoveFile Succeeded")) << Joined(lines);
    EXPECT_FALSE(Exists(source));
    EXPECT_EQ(ToBytes("new"), ReadFileBytes(target));

    // A missing source fails and the target stays as it was.
    lines = Run();
    EXPECT_TRUE(HasLine(lines, "MoveFile Failed")) << Joined(lines);
    EXPECT_EQ(ToBytes("new"), ReadFileBytes(target));

    // Places that may not be touched, and a name that does not expand to a full path.
    WriteFileBytes(source, ToBytes("again"));
    Load("<MoveFile FileName='" + N(source) + "' TargetFileName='relative.dll'/>"
         "<MoveFile FileName='" + N(source) + "' TargetFileName='" + N(Out(L"app\\..\\..\\x.dll")) + "'/>"
         "<MoveFile FileName='%UNDEFINED' TargetFileName='" + N(target) + "'/>");
    lines = Run();
    EXPECT_EQ(3, std::count(lines.begin(), lines.end(), std::string("Setup: MoveFile Failed"))) << Joined(lines);
    EXPECT_TRUE(Exists(source));
    EXPECT_EQ(ToBytes("new"), ReadFileBytes(target));
}

TEST_F(RemovalNodesTest, TheUninstallerCopyRenamesItselfForTheRestartAndTakesItsFilesAlong)
{
    const std::wstring folder = Out(L"uninst");
    const std::wstring base = folder + L"\\{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}";
    WriteFileBytes(base + L".exe", ToBytes("program"));
    WriteFileBytes(base + L".cfg", ToBytes("components"));
    WriteFileBytes(base + L".cfs", ToBytes("package"));
    WriteFileBytes(folder + L"\\other.txt", ToBytes("other"));

    auto lines = TraceOf([&] { RemoveProgramCopy((base + L".exe").c_str()); });
    EXPECT_FALSE(Exists(base + L".exe"));
    EXPECT_FALSE(Exists(base + L".cfg"));
    EXPECT_FALSE(Exists(base + L".cfs"));
    EXPECT_TRUE(Exists(folder + L"\\other.txt"));
    EXPECT_TRUE(HasLine(lines, "Remove file: successful, '" + N(base) + ".cfs'")) << Joined(lines);
    // The program lives on under a new name that goes at the restart.
    std::vector<std::wstring> renamed;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((folder + L"\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        if (IsGuidName(data.cFileName))
            renamed.push_back(folder + L"\\" + data.cFileName);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
    ASSERT_EQ(1u, renamed.size());
    EXPECT_EQ(ToBytes("program"), ReadFileBytes(renamed[0]));
    EXPECT_TRUE(PendingAre({renamed[0]}));

    // Once moved, a second call of the run finds nothing to do.
    lines = TraceOf([&] { RemoveProgramCopy((base + L".exe").c_str()); });
    EXPECT_TRUE(lines.empty()) << Joined(lines);
    EXPECT_EQ(1u, PendingDeletions().size());

    // Alone in its folder, the copy takes the folder along after itself; the
    // folder above (shared with other files) stays.
    const std::wstring alone = Out(L"alone\\{D1A0B0C3-1111-4222-8333-944455556666}");
    WriteFileBytes(alone + L".exe", ToBytes("program"));
    WriteFileBytes(alone + L".cfs", ToBytes("package"));
    RemoveProgramCopy((alone + L".exe").c_str());
    const std::vector<std::wstring> pending = PendingDeletions();
    ASSERT_EQ(3u, pending.size());
    EXPECT_TRUE(SamePath(Parent(pending[1]), Out(L"alone"))) << N(pending[1]);
    EXPECT_TRUE(SamePath(pending[2], Out(L"alone"))) << N(pending[2]);

    // A program not named after a product is setup itself: it stays.
    WriteFileBytes(folder + L"\\setup.exe", ToBytes("setup"));
    WriteFileBytes(folder + L"\\setup.cfs", ToBytes("package"));
    lines = TraceOf([&] { RemoveProgramCopy((folder + L"\\setup.exe").c_str()); });
    EXPECT_TRUE(Exists(folder + L"\\setup.exe"));
    EXPECT_TRUE(Exists(folder + L"\\setup.cfs"));
    EXPECT_TRUE(lines.empty());
}

// ---- the removal of the listed files ----

std::string Group(const std::wstring& dest, const std::string& entries, const std::string& attributes = "")
{
    return "<G DestPath='" + N(dest) + "'" + attributes + ">" + entries + "</G>";
}

class RemoveFilesTest : public RemovalNodesTest
{
protected:
    void LoadFiles(const std::string& groups)
    {
        Load("<Files Install='false'/>", "<SetupFiles>" + groups + "</SetupFiles>");
    }

    std::vector<std::string> RemoveFiles()
    {
        return TraceOf([&] { EXPECT_TRUE(Manager().RemoveFiles()); });
    }
};

TEST_F(RemoveFilesTest, TheFilesNodeRemovesTheListedFilesAndTheirFolders)
{
    const std::wstring app = Out(L"app");
    WriteFileBytes(app + L"\\a.txt", ToBytes("a"));
    WriteFileBytes(app + L"\\renamed.txt", ToBytes("r"));
    WriteFileBytes(app + L"\\ro.txt", ToBytes("ro"));
    ::SetFileAttributesW((app + L"\\ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    LoadFiles(Group(app, "<F FileName='\\files\\a.txt' condition='off' x64='true'/>"
                         "<!-- comment --><F FileName='\\x\\y.bin' TargetFileName='renamed.txt'/>"
                         "<F FileName='ro.txt'/><F FileName='\\missing.txt'/>"));
    const auto lines = Run();
    EXPECT_TRUE(HasLine(lines, "File Removed: " + N(app) + "\\a.txt")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "File Removed: " + N(app) + "\\renamed.txt")) << Joined(lines);
    EXPECT_FALSE(Exists(app));
    EXPECT_TRUE(PendingDeletions().empty());
    EXPECT_FALSE(Manager().m_bNeedRestartByFiles);
}

TEST_F(RemoveFilesTest, AParentFolderIsTriedFirstAndLeftToTheRestart)
{
    const std::wstring a = Out(L"A");
    WriteFileBytes(a + L"\\1.txt", ToBytes("1"));
    WriteFileBytes(a + L"\\B\\2.txt", ToBytes("2"));
    LoadFiles(Group(a, "<F FileName='1.txt'/><F FileName='x' TargetFileName='B\\2.txt'/>"));
    RemoveFiles();
    EXPECT_FALSE(Exists(a + L"\\1.txt"));
    EXPECT_FALSE(Exists(a + L"\\B"));
    EXPECT_TRUE(Exists(a));
    EXPECT_TRUE(PendingAre({a}));
}

TEST_F(RemoveFilesTest, FoldersOfEarlierGroupsAreTriedAgainButAGoneOneIsNotScheduled)
{
    const std::wstring a = Out(L"A");
    const std::wstring d = Out(L"D");
    WriteFileBytes(a + L"\\1.txt", ToBytes("1"));
    WriteFileBytes(d + L"\\2.txt", ToBytes("2"));
    LoadFiles(Group(a, "<F FileName='1.txt'/>") + Group(d, "<F FileName='2.txt'/>"));
    const auto lines = RemoveFiles();
    EXPECT_FALSE(Exists(a));
    EXPECT_FALSE(Exists(d));
    // "A" went in the first pass; scheduling it again would take a reinstalled "A" at the restart.
    EXPECT_FALSE(HasLine(lines, "Delay remove: '" + N(a) + "'")) << Joined(lines);
    EXPECT_TRUE(PendingAre({}));
}

TEST_F(RemoveFilesTest, DelayedModeSchedulesEveryFileAndNoRemoveGroupsStay)
{
    const std::wstring app = Out(L"app");
    const std::wstring shared = Out(L"shared");
    WriteFileBytes(app + L"\\a.dll", ToBytes("a"));
    WriteFileBytes(shared + L"\\s.dll", ToBytes("s"));
    LoadFiles(Group(shared, "<F FileName='s.dll'/>", " NoRemove='TRUE'") + Group(app, "<F FileName='a.dll'/>"));
    Manager().m_bDelayedMode = true;
    const auto lines = RemoveFiles();
    EXPECT_TRUE(Exists(app + L"\\a.dll"));
    EXPECT_TRUE(HasLine(lines, "Delay remove: '" + N(app) + "\\a.dll'")) << Joined(lines);
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    EXPECT_LT(PendingIndex(app + L"\\a.dll"), PendingIndex(app));
    EXPECT_NE(-1, PendingIndex(app + L"\\a.dll"));
    EXPECT_TRUE(Exists(shared + L"\\s.dll"));
    EXPECT_FALSE(IsPending(shared + L"\\s.dll"));
    EXPECT_FALSE(IsPending(shared));
}

TEST_F(RemoveFilesTest, AFileInUseWaitsForTheRestart)
{
    const std::wstring app = Out(L"app");
    // Not program files: a held one of those would put the whole removal off.
    WriteFileBytes(app + L"\\busy.dat", ToBytes("busy"));
    WriteFileBytes(app + L"\\free.dat", ToBytes("free"));
    LoadFiles(Group(app, "<F FileName='busy.dat'/><F FileName='free.dat'/>"));
    {
        CHeldFile held(app + L"\\busy.dat");
        ASSERT_TRUE(held.IsHeld());
        RemoveFiles();
    }
    EXPECT_TRUE(Exists(app + L"\\busy.dat"));
    EXPECT_FALSE(Exists(app + L"\\free.dat"));
    EXPECT_TRUE(Manager().m_bNeedRestartByFiles);
    EXPECT_TRUE(PendingAre({app + L"\\busy.dat", app}));
}

TEST_F(RemoveFilesTest, AHeldProgramFilePutsTheWholeRemovalOff)
{
    const std::wstring app = Out(L"app");
    WriteFileBytes(app + L"\\busy.dll", ToBytes("busy"));
    WriteFileBytes(app + L"\\free.dll", ToBytes("free"));
    LoadFiles(Group(app, "<F FileName='busy.dll'/><F FileName='free.dll'/>"));
    std::vector<std::string> lines;
    {
        CHeldFile held(app + L"\\busy.dll");
        ASSERT_TRUE(held.IsHeld());
        lines = RemoveFiles();
    }
    EXPECT_TRUE(Manager().m_bDelayedMode);
    EXPECT_TRUE(HasLine(lines, "First locked module: '" + N(app) + "\\busy.dll'")) << Joined(lines);
    EXPECT_TRUE(Exists(app + L"\\free.dll"));
    EXPECT_TRUE(PendingAre({app + L"\\busy.dll", app + L"\\free.dll", app}));
}

TEST_F(RemoveFilesTest, NamesThatLeaveTheirFolderAreRefused)
{
    const std::wstring app = Out(L"app");
    WriteFileBytes(Out(L"outside.txt"), ToBytes("outside"));
    WriteFileBytes(app + L"\\in.txt", ToBytes("in"));
    WriteFileBytes(Out(L"relative\\in.txt"), ToBytes("in"));
    wchar_t current[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, current);
    // Relative names would reach these files through the current folder.
    ::SetCurrentDirectoryW(m_temp.Path().c_str());
    LoadFiles(Group(app, "<F FileName='x' TargetFileName='..\\outside.txt'/><F FileName='x' TargetFileName='\\in.txt'/>") +
              Group(L"", "<F FileName='outside.txt'/>") + Group(L"relative", "<F FileName='in.txt'/>"));
    const auto lines = RemoveFiles();
    ::SetCurrentDirectoryW(current);
    EXPECT_TRUE(HasLine(lines, "RemoveFiles: Entry refused, '..\\outside.txt' in '" + N(app) + "'")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "RemoveFiles: Entry refused, 'outside.txt' in ''")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "RemoveFiles: Entry refused, 'in.txt' in 'relative'")) << Joined(lines);
    EXPECT_TRUE(Exists(Out(L"outside.txt")));
    EXPECT_TRUE(Exists(app + L"\\in.txt"));
    EXPECT_TRUE(Exists(Out(L"relative\\in.txt")));
    EXPECT_TRUE(PendingDeletions().empty());
}

TEST_F(RemoveFilesTest, DeviceNamesAndNamesTheSystemWouldChangeAreRefused)
{
    const std::wstring app = Out(L"app");
    // "x.txt." and "x.txt " would reach this file; "NUL" would schedule the device.
    WriteFileBytes(app + L"\\x.txt", ToBytes("x"));
    const char* names[] = {"NUL", "com1.log", "sub\\aux.txt", "x.txt.", "x.txt ", "sub.\\x.txt"};
    std::string entries;
    for (const char* name : names)
        entries += std::string("<F FileName='x' TargetFileName='") + name + "'/>";
    LoadFiles(Group(app, entries));
    const auto lines = RemoveFiles();
    for (const char* name : names)
        EXPECT_TRUE(HasLine(lines, "RemoveFiles: Entry refused, '" + std::string(name) + "' in '" + N(app) + "'"))
            << name << "\n" << Joined(lines);
    EXPECT_TRUE(Exists(app + L"\\x.txt"));
    EXPECT_TRUE(PendingDeletions().empty());
}

TEST_F(RemoveFilesTest, ADocumentThatDoesNotReadEndsTheScript)
{
    const std::wstring first = Out(L"first");
    WriteFileBytes(first + L"\\1.txt", ToBytes("1"));
    WriteFileBytes(Out(L"second\\2.txt"), ToBytes("2"));
    LoadFiles(Group(first, "<F FileName='1.txt'/>") + Group(Out(L"second"), "<F FileName='2.txt'/>", " NoRemove='maybe'"));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, TestSupport::ComErrorOf([&] { Manager().RunScriptAt(L"//Interface/S"); }));
    EXPECT_FALSE(Exists(first + L"\\1.txt")) << "what went before stays removed";
    EXPECT_TRUE(Exists(Out(L"second\\2.txt")));

    Load("<Files Install='false'/>");
    EXPECT_EQ(E_FAIL, TestSupport::ComErrorOf([&] { Manager().RunScriptAt(L"//Interface/S"); }));
}

} // namespace
