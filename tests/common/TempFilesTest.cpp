// Tests of the temporary files.
#include "common/tools/TempFiles.h"

#include "common/tools/PathTools.h"
#include "common/tools/ScopedHandle.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/RegistryScope.h"
#include "tests/support/Narrow.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <string>
#include <vector>

using Common::Tools::CTempFiles;
using TestSupport::CRegistryValueScope;

namespace {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPending[] = L"PendingFileRenameOperations";

using TestSupport::Narrow;

std::wstring Lower(std::wstring text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](wchar_t c) { return static_cast<wchar_t>(std::towlower(c)); });
    return text;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsBracedGuid(const std::wstring& text)
{
    if (text.size() != 38 || text.front() != L'{' || text.back() != L'}')
        return false;
    for (size_t i = 1; i < 37; ++i) {
        const bool dash = i == 9 || i == 14 || i == 19 || i == 24;
        if (dash ? text[i] != L'-' : !std::iswxdigit(text[i]))
            return false;
    }
    return true;
}

// The pending operations as (source, target) pairs, "\??\" taken off the source.
std::vector<std::pair<std::wstring, std::wstring>> PendingOperations()
{
    std::vector<std::pair<std::wstring, std::wstring>> operations;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return operations;
    DWORD type = 0, size = 0;
    std::vector<wchar_t> data;
    if (RegQueryValueExW(key, kPending, nullptr, &type, nullptr, &size) == ERROR_SUCCESS && type == REG_MULTI_SZ) {
        data.resize(size / sizeof(wchar_t) + 2);
        RegQueryValueExW(key, kPending, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    }
    RegCloseKey(key);
    std::vector<std::wstring> texts;
    for (size_t at = 0; at + 1 < data.size();) {
        const std::wstring text(data.data() + at);
        texts.push_back(text);
        at += text.size() + 1;
        // Two terminators in a row end the list; an empty target is one entry.
        if (texts.size() % 2 == 0 && at < data.size() && data[at] == L'\0')
            break;
    }
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        std::wstring source = texts[i];
        if (source.compare(0, 4, L"\\??\\") == 0)
            source = source.substr(4);
        operations.push_back({source, texts[i + 1]});
    }
    return operations;
}

bool IsScheduledForDeletion(const std::wstring& path)
{
    for (const auto& operation : PendingOperations()) {
        if (Lower(operation.first) == Lower(path) && operation.second.empty())
            return true;
    }
    return false;
}

// Runs the test's child program; the handle is closed on destruction, the program
// ended first when it still runs.
class CChild
{
public:
    explicit CChild(const std::vector<std::wstring>& arguments)
    {
        const std::wstring program = TestSupport::ModuleFolder() + L"childprog.exe";
        std::wstring line = TestSupport::JoinCommandLine(program, arguments);
        STARTUPINFOW startup = {};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION started = {};
        if (CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &started)) {
            CloseHandle(started.hThread);
            m_hProcess = started.hProcess;
        }
    }
    ~CChild()
    {
        if (m_hProcess != nullptr) {
            End();
            CloseHandle(m_hProcess);
        }
    }
    CChild(const CChild&) = delete;
    CChild& operator=(const CChild&) = delete;

    HANDLE Process() const { return m_hProcess; }
    void End()
    {
        if (m_hProcess != nullptr && WaitForSingleObject(m_hProcess, 0) == WAIT_TIMEOUT) {
            TerminateProcess(m_hProcess, 0);
            WaitForSingleObject(m_hProcess, 10000);
        }
    }

private:
    HANDLE m_hProcess = nullptr;
};

// Sets the TMP variable of this process for the lifetime of the object: the system
// temporary path follows it.
class CTempVariableScope
{
public:
    explicit CTempVariableScope(const std::wstring& value)
    {
        wchar_t old[32767];
        const DWORD length = GetEnvironmentVariableW(L"TMP", old, 32767);
        m_bHad = length > 0 && length < 32767;
        if (m_bHad)
            m_strOld.assign(old, length);
        SetEnvironmentVariableW(L"TMP", value.c_str());
    }
    ~CTempVariableScope() { SetEnvironmentVariableW(L"TMP", m_bHad ? m_strOld.c_str() : nullptr); }
    CTempVariableScope(const CTempVariableScope&) = delete;
    CTempVariableScope& operator=(const CTempVariableScope&) = delete;

private:
    bool m_bHad = false;
    std::wstring m_strOld;
};

// Tests that look at the pending operations start from none and put back what was
// there.
class TempFilesTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(m_pending.Succeeded()); }

    CRegistryValueScope m_pending{HKEY_LOCAL_MACHINE, kSessionManager, kPending, TestSupport::OwnRegistryView()};
};

TEST_F(TempFilesTest, FolderIsAGuidUnderTheTempPathMadeOnFirstUseAndRemovedAtTheEnd)
{
    const std::wstring temp = Common::Tools::ReadTempPath().Str();
    ASSERT_FALSE(temp.empty());
    std::wstring folder, other;
    {
        CTempFiles files;
        CTempFiles second;
        folder = files.GetTempFolder().Str();
        other = second.GetTempFolder().Str();
        ASSERT_EQ(temp, folder.substr(0, temp.size()));
        EXPECT_TRUE(IsBracedGuid(folder.substr(temp.size()))) << Narrow(folder);
        EXPECT_TRUE(Exists(folder));
        EXPECT_EQ(folder, files.GetTempFolder().Str());
        EXPECT_NE(folder, other);
        EXPECT_TRUE(files.GetFiles().empty());
    }
    EXPECT_FALSE(Exists(folder));
    EXPECT_FALSE(Exists(other));
    EXPECT_TRUE(Exists(temp));
    EXPECT_TRUE(PendingOperations().empty());
}

TEST_F(TempFilesTest, FilePathsAreRegisteredOnceAndDeletedWithTheSet)
{
    std::wstring folder, path, unnamed, neverWritten;
    {
        CTempFiles files;
        path = files.GetFilePath(L"callbridge.exe").Str();
        folder = files.GetTempFolder().Str();
        EXPECT_EQ(folder + L"\\callbridge.exe", path);
        EXPECT_FALSE(Exists(path)); // the caller writes it
        EXPECT_EQ(path, files.GetFilePath(L"callbridge.exe").Str());
        unnamed = files.GetFilePath(L"").Str();
        ASSERT_EQ(folder + L"\\", unnamed.substr(0, folder.size() + 1));
        EXPECT_TRUE(IsBracedGuid(unnamed.substr(folder.size() + 1))) << Narrow(unnamed);
        EXPECT_NE(unnamed, files.GetFilePath(L"").Str());
        neverWritten = files.GetFilePath(L"never.txt").Str();
        // A different case is a different entry: the set compares exactly.
        files.GetFilePath(L"CALLBRIDGE.EXE");
        EXPECT_EQ(5u, files.GetFiles().size());

        TestSupport::WriteFileBytes(path, TestSupport::Pattern(1000, 1));
        TestSupport::WriteFileBytes(unnamed, TestSupport::Pattern(10, 2));
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(unnamed));
    EXPECT_FALSE(Exists(folder));
    // The file never written is skipped without a trace.
    EXPECT_TRUE(PendingOperations().empty());
}

TEST_F(TempFilesTest, FilesItDidNotRegisterStayAndTheFolderGoesAtTheNextRestart)
{
    std::wstring folder, stranger;
    {
        CTempFiles files;
        TestSupport::WriteFileBytes(files.GetFilePath(L"mine.bin").Str(), TestSupport::Pattern(10, 3));
        folder = files.GetTempFolder().Str();
        stranger = folder + L"\\stranger.bin";
        TestSupport::WriteFileBytes(stranger, TestSupport::Pattern(10, 4));
    }
    EXPECT_TRUE(Exists(stranger));
    EXPECT_FALSE(Exists(folder + L"\\mine.bin"));
    EXPECT_TRUE(IsScheduledForDeletion(folder));
    EXPECT_FALSE(IsScheduledForDeletion(stranger));
    EXPECT_EQ(1u, PendingOperations().size());
    DeleteFileW(stranger.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(TempFilesTest, AFileHeldOpenByAnotherProcessIsDeletedAtTheNextRestart)
{
    const std::wstring eventName = L"TempFilesTestReady" + std::to_wstring(GetCurrentProcessId());
    Common::Tools::CScopedHandle ready(CreateEventW(nullptr, TRUE, FALSE, eventName.c_str()));
    ASSERT_TRUE(ready.IsValid());
    std::wstring folder, held, free;
    std::unique_ptr<CChild> child;
    {
        CTempFiles files;
        held = files.GetFilePath(L"held.exe").Str();
        free = files.GetFilePath(L"free.exe").Str();
        folder = files.GetTempFolder().Str();
        TestSupport::WriteFileBytes(held, TestSupport::Pattern(100, 5));
        TestSupport::WriteFileBytes(free, TestSupport::Pattern(100, 6));

        child.reset(new CChild({L"hold", held, eventName}));
        ASSERT_NE(nullptr, child->Process());
        HANDLE waits[] = {ready.Get(), child->Process()};
        ASSERT_EQ(WAIT_OBJECT_0, WaitForMultipleObjects(2, waits, FALSE, 20000));
        // Under Wine the deletion fails with 5, on Windows with 32: both mean in use.
        ASSERT_FALSE(DeleteFileW(held.c_str()));
        const DWORD error = GetLastError();
        EXPECT_TRUE(error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) << error;
    }
    // Read while the server that keeps them lives.
    EXPECT_TRUE(IsScheduledForDeletion(held));
    EXPECT_TRUE(IsScheduledForDeletion(folder));
    EXPECT_FALSE(Exists(free));
    EXPECT_FALSE(IsScheduledForDeletion(free));
    EXPECT_EQ(2u, PendingOperations().size());
    // The file first, then the folder that holds it.
    const auto operations = PendingOperations();
    if (operations.size() == 2) {
        EXPECT_EQ(Lower(held), Lower(operations[0].first));
        EXPECT_EQ(Lower(folder), Lower(operations[1].first));
    }

    child->End();
    DeleteFileW(held.c_str());
    RemoveDirectoryW(folder.c_str());
}

TEST_F(TempFilesTest, AHeldFileCannotBeWrittenOrDeletedButCanBeRead)
{
    std::wstring path, folder;
    {
        CTempFiles files;
        path = files.GetFilePath(L"prog.exe").Str();
        folder = files.GetTempFolder().Str();
        EXPECT_FALSE(files.HoldFile(path)); // not written yet
        TestSupport::WriteFileBytes(path, TestSupport::Pattern(100, 7));
        EXPECT_FALSE(files.HoldFile(folder + L"\\other.exe")); // not registered
        ASSERT_TRUE(files.HoldFile(path));
        EXPECT_TRUE(files.IsHeld(path));

        const struct {
            const char* name;
            DWORD access;
            DWORD share;
            bool bOpens;
        } cases[] = {
            {"write", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
            {"delete", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, false},
            {"read, sharing read", GENERIC_READ, FILE_SHARE_READ, true},
            {"read, sharing nothing", GENERIC_READ, 0, false},
        };
        for (const auto& c : cases) {
            Common::Tools::CScopedHandle file(
                CreateFileW(path.c_str(), c.access, c.share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
            EXPECT_EQ(c.bOpens, file.IsValid()) << c.name;
        }
        EXPECT_FALSE(DeleteFileW(path.c_str()));
        EXPECT_FALSE(MoveFileW(path.c_str(), (folder + L"\\moved.exe").c_str()));

        files.ReleaseFile(path);
        EXPECT_FALSE(files.IsHeld(path));
        Common::Tools::CScopedHandle writer(
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        EXPECT_TRUE(writer.IsValid());
        writer.Reset();

        // A hold that lasts until the end does not keep the file from going.
        ASSERT_TRUE(files.HoldFile(path));
    }
    EXPECT_FALSE(Exists(path));
    EXPECT_FALSE(Exists(folder));
    EXPECT_TRUE(PendingOperations().empty());
}

// A temporary path reader that gives the text set here, and counts its calls;
// with s_nGrowth the text grows by that much after every call.
struct SFakeTempPath
{
    static std::wstring s_strPath;
    static size_t s_nGrowth;
    static std::vector<DWORD> s_rooms;

    static DWORD WINAPI Read(DWORD room, LPWSTR buffer)
    {
        s_rooms.push_back(room);
        const std::wstring path = s_strPath;
        s_strPath.append(s_nGrowth, L'g');
        if (path.size() + 1 > room)
            return static_cast<DWORD>(path.size() + 1);
        std::copy(path.begin(), path.end(), buffer);
        buffer[path.size()] = L'\0';
        return static_cast<DWORD>(path.size());
    }
};
std::wstring SFakeTempPath::s_strPath;
size_t SFakeTempPath::s_nGrowth = 0;
std::vector<DWORD> SFakeTempPath::s_rooms;

TEST(TempPath, ALongPathIsReadWholeOnTheSecondCall)
{
    const struct {
        size_t length;
        size_t growth;
        bool bRead;
        std::vector<DWORD> rooms;
    } cases[] = {
        {20, 0, true, {260}},
        {259, 0, true, {260}},
        {260, 0, true, {260, 262}},
        {1000, 0, true, {260, 1002}},
        {300, 5, false, {260, 302}}, // it grew between the two reads
        {0, 0, false, {260}},
    };
    for (const auto& c : cases) {
        std::wstring path = L"C:\\";
        while (path.size() + 1 < c.length)
            path += static_cast<wchar_t>(L'a' + path.size() % 26);
        if (c.length > 0)
            path += L'\\';
        else
            path.clear();
        SFakeTempPath::s_strPath = path;
        SFakeTempPath::s_nGrowth = c.growth;
        SFakeTempPath::s_rooms.clear();
        const std::wstring read = Common::Tools::ReadTempPath(&SFakeTempPath::Read).Str();
        EXPECT_EQ(c.bRead ? path : std::wstring(), read) << c.length;
        EXPECT_EQ(c.rooms, SFakeTempPath::s_rooms) << c.length;
    }
    // The real one gives what the platform says.
    wchar_t system[MAX_PATH + 1] = {};
    ASSERT_NE(0u, GetTempPathW(MAX_PATH + 1, system));
    EXPECT_EQ(std::wstring(system), Common::Tools::ReadTempPath().Str());
}

TEST_F(TempFilesTest, WithoutATempPathThereIsNoFolderAndNothingIsRegistered)
{
    // A relative, overlong variable the platform refuses.
    CTempVariableScope variable(std::wstring(32000, L'x'));
    wchar_t probe[MAX_PATH] = {};
    if (GetTempPathW(MAX_PATH, probe) != 0)
        GTEST_SKIP() << "the platform found a temporary path: " << Narrow(probe);
    {
        CTempFiles files;
        EXPECT_TRUE(files.GetTempFolder().IsEmpty());
        EXPECT_TRUE(files.GetFilePath(L"a.exe").IsEmpty());
        EXPECT_TRUE(files.GetFilePath(L"").IsEmpty());
        EXPECT_TRUE(files.GetFiles().empty());
    }
    EXPECT_TRUE(PendingOperations().empty());
}

} // namespace
