// Tests of the child programs.

#include "common/tools/FileTools.h"
#include "common/tools/ScopedHandle.h"
#include "common/tools/SetupTrace.h"
#include "common/tools/TempFiles.h"
#include "setup/engine/ChildProgram.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/PackageFixture.h"
#include "tests/support/ProcessRunner.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using Common::Tools::CScopedHandle;
using Common::Tools::CTempFiles;
using TestSupport::Bytes;
using TestSupport::ComErrorOf;

namespace {

const UINT kPostedMessage = WM_APP + 1;

std::wstring ChildProgram()
{
    return TestSupport::ModuleFolder() + L"childprog.exe";
}

std::wstring ChildLine(const std::vector<std::wstring>& arguments)
{
    return TestSupport::JoinCommandLine(ChildProgram(), arguments);
}

DWORD HandleCount()
{
    DWORD count = 0;
    EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &count));
    return count;
}

// A top-level window of the test's own thread that counts the messages the child
// posts, and signals the named event once it has seen the expected number.
class CCountingWindow
{
public:
    CCountingWindow()
    {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = &CCountingWindow::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ChildProgramTestWindow";
        RegisterClassW(&windowClass);
        m_hWnd = CreateWindowExW(0, windowClass.lpszClassName, L"counting", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                                 nullptr, windowClass.hInstance, this);
        m_strEvent = L"ChildProgramTestDone" + std::to_wstring(GetCurrentProcessId());
        m_done.Reset(CreateEventW(nullptr, TRUE, FALSE, m_strEvent.c_str()));
    }
    ~CCountingWindow()
    {
        if (m_hWnd != nullptr)
            DestroyWindow(m_hWnd);
    }
    CCountingWindow(const CCountingWindow&) = delete;
    CCountingWindow& operator=(const CCountingWindow&) = delete;

    HWND Handle() const { return m_hWnd; }
    const std::wstring& EventName() const { return m_strEvent; }
    bool IsReady() const { return m_hWnd != nullptr && m_done.IsValid(); }
    void Expect(int count) { m_nExpected = count; }
    const std::vector<WPARAM>& Seen() const { return m_seen; }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const CREATESTRUCTW* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        }
        CCountingWindow* self = reinterpret_cast<CCountingWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (message == kPostedMessage && self != nullptr) {
            self->m_seen.push_back(wParam);
            if (static_cast<int>(self->m_seen.size()) == self->m_nExpected)
                SetEvent(self->m_done.Get());
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND m_hWnd = nullptr;
    std::wstring m_strEvent;
    CScopedHandle m_done;
    int m_nExpected = -1;
    std::vector<WPARAM> m_seen;
};

TEST(RunProcess, WaitingReturnsTheChildsExitCode)
{
    CCountingWindow window;
    ASSERT_TRUE(window.IsReady());
    const struct {
        const wchar_t* code;
        int expected;
    } cases[] = {
        {L"0", 0}, {L"1", 1}, {L"7", 7}, {L"259", 259}, {L"0x12345678", 0x12345678}, {L"0xC0000005", static_cast<int>(0xC0000005)},
    };
    for (const auto& c : cases) {
        for (HWND hWnd : {static_cast<HWND>(nullptr), window.Handle()}) {
            HANDLE process = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x1234));
            EXPECT_EQ(c.expected, RunProcess(&process, hWnd, ChildLine({L"exit", c.code}).c_str(), true))
                << c.expected << (hWnd != nullptr ? " with a window" : "");
            // A waited-for child hands out no handle.
            EXPECT_EQ(INVALID_HANDLE_VALUE, process);
            EXPECT_EQ(c.expected, RunProcess(nullptr, hWnd, ChildLine({L"sleep", L"50", c.code}).c_str(), true));
        }
    }
    wchar_t system[MAX_PATH] = {};
    ASSERT_NE(0u, GetSystemDirectoryW(system, MAX_PATH));
    const std::wstring cmd = std::wstring(L"\"") + system + L"\\cmd.exe\" /c exit 7";
    EXPECT_EQ(7, RunProcess(nullptr, nullptr, cmd.c_str(), true));
}

TEST(RunProcess, WithoutWaitingTheCallerGetsTheHandleOrNone)
{
    HANDLE process = nullptr;
    EXPECT_EQ(0, RunProcess(&process, nullptr, ChildLine({L"sleep", L"200", L"42"}).c_str(), false));
    ASSERT_NE(INVALID_HANDLE_VALUE, process);
    ASSERT_NE(nullptr, process);
    CScopedHandle owned(process);
    EXPECT_NE(GetCurrentProcessId(), GetProcessId(process));
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 20000));
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeProcess(process, &code));
    EXPECT_EQ(42u, code);
    owned.Reset();

    // Without an out handle nothing stays open.
    RunProcess(nullptr, nullptr, ChildLine({L"exit", L"0"}).c_str(), false);
    const DWORD before = HandleCount();
    EXPECT_EQ(0, RunProcess(nullptr, nullptr, ChildLine({L"exit", L"3"}).c_str(), false));
    EXPECT_EQ(before, HandleCount());
}

TEST(RunProcess, ManyRunsLeaveNoHandleOpen)
{
    CCountingWindow window;
    ASSERT_TRUE(window.IsReady());
    const std::wstring line = ChildLine({L"exit", L"5"});
    // The first run loads what the process keeps for later ones.
    RunProcess(nullptr, window.Handle(), line.c_str(), true);
    RunProcess(nullptr, nullptr, line.c_str(), false);
    const DWORD before = HandleCount();
    for (int run = 0; run < 20; ++run) {
        EXPECT_EQ(5, RunProcess(nullptr, nullptr, line.c_str(), true));
        EXPECT_EQ(5, RunProcess(nullptr, window.Handle(), line.c_str(), true));
        EXPECT_EQ(0, RunProcess(nullptr, nullptr, line.c_str(), false));
        HANDLE process = INVALID_HANDLE_VALUE;
        EXPECT_EQ(0, RunProcess(&process, nullptr, line.c_str(), false));
        CloseHandle(process);
        EXPECT_EQ(E_FAIL, ComErrorOf([] { RunProcess(nullptr, nullptr, L"Z:\\no\\such\\program.exe", true); }));
    }
    EXPECT_EQ(before, HandleCount());
}

TEST(RunProcess, TheWindowIsServedWhileTheChildRuns)
{
    CCountingWindow window;
    ASSERT_TRUE(window.IsReady());
    // Three messages wait in the queue before the wait starts, three more come from
    // the child; the child ends with 0 only when the window saw all six while it
    // ran, with 1 after 8 s without.
    window.Expect(6);
    for (WPARAM i = 100; i < 103; ++i)
        ASSERT_TRUE(PostMessageW(window.Handle(), kPostedMessage, i, 0));
    const DWORD start = GetTickCount();
    const int code = RunProcess(
        nullptr, window.Handle(),
        ChildLine({L"post", std::to_wstring(reinterpret_cast<UINT_PTR>(window.Handle())), L"3", window.EventName(), L"8000"})
            .c_str(),
        true);
    EXPECT_EQ(0, code);
    EXPECT_LT(GetTickCount() - start, 8000u);
    const std::vector<WPARAM> expected = {100, 101, 102, 0, 1, 2};
    EXPECT_EQ(expected, window.Seen());
}

TEST(RunProcess, AQuitMessageThatArrivesWhileWaitingIsKept)
{
    CCountingWindow window;
    ASSERT_TRUE(window.IsReady());
    window.Expect(1);
    PostQuitMessage(17);
    ASSERT_TRUE(PostMessageW(window.Handle(), kPostedMessage, 9, 0));
    EXPECT_EQ(4, RunProcess(nullptr, window.Handle(), ChildLine({L"sleep", L"300", L"4"}).c_str(), true));
    EXPECT_EQ(std::vector<WPARAM>{9}, window.Seen());
    MSG msg = {};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(17u, msg.wParam);
}

TEST(RunProcess, AProgramThatCannotStartRaisesEFail)
{
    const wchar_t* lines[] = {L"Z:\\no\\such\\program.exe", L"", L"\"\"", nullptr};
    for (const wchar_t* line : lines) {
        for (bool bWait : {true, false}) {
            HANDLE process = nullptr;
            EXPECT_EQ(E_FAIL, ComErrorOf([&] { RunProcess(&process, nullptr, line, bWait); }));
            EXPECT_EQ(INVALID_HANDLE_VALUE, process);
        }
    }
}

TEST(RunProcess, AFailedWaitIsAnErrorNotAnExitCode)
{
    CCountingWindow window;
    ASSERT_TRUE(window.IsReady());
    // Setup's own pseudo-handle and null are refused before any wait; a handle
    // value far beyond any the process holds makes the wait itself fail.
    HANDLE stale = reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x7FFF0000));
    const struct {
        HANDLE handle;
        HRESULT expected;
    } cases[] = {
        {INVALID_HANDLE_VALUE, E_HANDLE},
        {GetCurrentProcess(), E_HANDLE},
        {nullptr, E_HANDLE},
        {stale, HRESULT_FROM_WIN32(ERROR_INVALID_HANDLE)},
    };
    for (const auto& c : cases) {
        for (HWND hWnd : {static_cast<HWND>(nullptr), window.Handle()}) {
            EXPECT_EQ(c.expected, ComErrorOf([&] { WaitForChildProcess(c.handle, hWnd); }))
                << c.handle << (hWnd != nullptr ? " with a window" : "");
        }
    }
}

TEST(ChildProcess, AnEmptyHolderNeverActsOnSetupItself)
{
    CChildProcess child;
    EXPECT_FALSE(child.IsValid());
    EXPECT_EQ(INVALID_HANDLE_VALUE, child.Get());
    EXPECT_FALSE(child.IsRunning());
    EXPECT_FALSE(child.Terminate(1)); // INVALID_HANDLE_VALUE is this very process
    // A start that fails leaves it empty too.
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { RunProcess(child.Receive(), nullptr, L"Z:\\no\\such.exe", false); }));
    EXPECT_FALSE(child.IsValid());
    EXPECT_FALSE(child.Terminate(1));
    child.Reset();
    EXPECT_FALSE(child.IsValid());
}

TEST(ChildProcess, HoldsARunningChildAndEndsIt)
{
    const DWORD before = HandleCount();
    {
        CChildProcess child;
        RunProcess(child.Receive(), nullptr, ChildLine({L"sleep", L"60000", L"0"}).c_str(), false);
        ASSERT_TRUE(child.IsValid());
        EXPECT_TRUE(child.IsRunning());
        EXPECT_TRUE(child.Terminate(9));
        WaitForChildProcess(child.Get(), nullptr);
        EXPECT_FALSE(child.IsRunning());
        DWORD code = 0;
        EXPECT_TRUE(GetExitCodeProcess(child.Get(), &code));
        EXPECT_EQ(9u, code);

        // Receiving again closes the handle held before.
        RunProcess(child.Receive(), nullptr, ChildLine({L"exit", L"0"}).c_str(), false);
        EXPECT_TRUE(child.IsValid());
    }
    EXPECT_EQ(before, HandleCount());
}

// ExtractExecutable on setup.exe loaded as data: its RCDATA 134 is callbridge.exe.
class ExtractExecutableTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_setup.Reset(LoadLibraryExW((TestSupport::ModuleFolder() + L"setup.exe").c_str(), nullptr,
                                     LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(m_setup.IsValid());
    }

    TestSupport::CComScope m_com;
    CModuleHolder m_setup;
};

TEST_F(ExtractExecutableTest, WritesTheResourceByteForByteAndRemovesItWithTheSet)
{
    const Bytes expected = TestSupport::ReadFileBytes(std::wstring(COMPANION_BIN_DIR_W) + L"\\callbridge.exe");
    ASSERT_FALSE(expected.empty());
    std::wstring path, folder;
    std::vector<std::string> trace;
    {
        CTempFiles files;
        TestSupport::CRegistryValueScope level = TestSupport::CRegistryValueScope::Dword(
            HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant\\Setup", L"LogLevel", TestSupport::OwnRegistryView(), 1);
        Common::Tools::ResetSetupTraceLevel();
        trace = TestSupport::CaptureOwnOutput([&] { path = ExtractExecutable(L"callbridge.exe", 134, files, m_setup.Get()).Str(); });
        Common::Tools::ResetSetupTraceLevel();

        folder = files.GetTempFolder().Str();
        ASSERT_EQ(std::wstring::npos, folder.find(L' ')) << "the temporary path holds a space";
        EXPECT_EQ(folder + L"\\callbridge.exe", path);
        EXPECT_EQ(1u, files.GetFiles().count(path.c_str()));
        EXPECT_TRUE(expected == TestSupport::ReadFileBytes(path));
        EXPECT_TRUE(files.IsHeld(path.c_str()));
    }
    const std::vector<std::string> lines = TestSupport::SetupTraceLines(trace);
    std::string narrowPath;
    for (wchar_t c : path)
        narrowPath += static_cast<char>(c);
    const std::vector<std::string> expectedLines = {
        "Setup: tools : ExtractExecutable >",
        "Setup: File callbridge.exe successfully extracted to " + narrowPath,
    };
    EXPECT_EQ(expectedLines, lines);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path.c_str()));
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));
}

TEST_F(ExtractExecutableTest, TheWrittenProgramCannotBeReplacedYetStillStarts)
{
    CTempFiles files;
    const std::wstring path = ExtractExecutable(L"callbridge.exe", 134, files, m_setup.Get()).Str();
    const std::wstring other = files.GetFilePath(L"other.bin").Str();
    TestSupport::WriteFileBytes(other, TestSupport::Pattern(64, 1));

    // Nobody can write, replace, rename or delete it while it is held.
    CScopedHandle writer(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    EXPECT_FALSE(writer.IsValid());
    EXPECT_FALSE(CopyFileW(other.c_str(), path.c_str(), FALSE));
    EXPECT_FALSE(MoveFileExW(other.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING));
    EXPECT_FALSE(DeleteFileW(path.c_str()));

    // It can still be started from there (the 64-bit helper ends at once).
    HANDLE process = INVALID_HANDLE_VALUE;
    EXPECT_NO_THROW(RunProcess(&process, nullptr, path.c_str(), false));
    CScopedHandle owned(process);
    EXPECT_TRUE(owned.IsValid());
    if (owned.IsValid())
        WaitForSingleObject(process, 20000);

    // A second extraction of the same name writes it again and holds it again.
    const std::wstring again = ExtractExecutable(L"callbridge.exe", 134, files, m_setup.Get()).Str();
    EXPECT_EQ(path, again);
    EXPECT_TRUE(files.IsHeld(path.c_str()));
    EXPECT_EQ(2u, files.GetFiles().size());

    files.ReleaseFile(path.c_str());
    EXPECT_TRUE(CopyFileW(other.c_str(), path.c_str(), FALSE));
}

TEST_F(ExtractExecutableTest, AMissingResourceRaisesEFail)
{
    CTempFiles files;
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { ExtractExecutable(L"missing.exe", 999, files, m_setup.Get()); }));
    // The test program itself carries no programs.
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { ExtractExecutable(L"callbridge.exe", 134, files); }));
    for (const CString& path : files.GetFiles())
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(path)) << "nothing is written";
}

TEST_F(ExtractExecutableTest, APathWithASpaceIsQuotedAndStarts)
{
    TestSupport::CTempFolder base;
    const std::wstring spaced = base / L"with space";
    ASSERT_TRUE(CreateDirectoryW(spaced.c_str(), nullptr));
    wchar_t oldTemp[MAX_PATH] = {};
    const DWORD oldLength = GetEnvironmentVariableW(L"TMP", oldTemp, MAX_PATH);
    ASSERT_TRUE(SetEnvironmentVariableW(L"TMP", spaced.c_str()));
    std::wstring quoted, folder;
    {
        CTempFiles files;
        folder = files.GetTempFolder().Str();
        quoted = ExtractExecutable(L"callbridge.exe", 134, files, m_setup.Get()).Str();
        EXPECT_EQ(L"\"" + folder + L"\\callbridge.exe\"", quoted);
        EXPECT_EQ(0u, folder.find(spaced));
        // The quoted path is a command line that starts the program.
        HANDLE process = INVALID_HANDLE_VALUE;
        EXPECT_NO_THROW(RunProcess(&process, nullptr, quoted.c_str(), false));
        CScopedHandle owned(process);
        EXPECT_TRUE(owned.IsValid());
        if (owned.IsValid())
            WaitForSingleObject(process, 20000);
    }
    SetEnvironmentVariableW(L"TMP", oldLength > 0 && oldLength < MAX_PATH ? oldTemp : nullptr);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(folder.c_str()));
}

} // namespace
