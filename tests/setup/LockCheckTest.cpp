// The lock check: the package's program files, the locked-module test, and the
// applications-to-close page driven for real from a thread of its own.
#include "tests/setup/EngineFixture.h"

#include "setup/engine/InstallAbort.h"
#include "setup/engine/LockCheck.h"
#include "setup/wizard/DlgLockCheck.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/LockerProcess.h"

#include "resource.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using TestSupport::CGuiDriver;
using TestSupport::CLockerProcess;
using TestSupport::SWindowMatch;
using TestSupport::TraceOf;

namespace {

const char kLocalize[] =
    "<Localize Caption=\"Lock Setup\">"
    "<Common><Cancel Caption=\"Stop\"/></Common>"
    "<DlgLockCheck><btnRetry Caption=\"Try again\"/><btnIgnore Caption=\"Go on\"/>"
    "<stcCloseApp Caption=\"Close these programs.%NL%Then press Try again.\"/>"
    "<Columns><Name Caption=\"Application\" Width=\"150\"/><!-- between --><File Caption=\"File\"/></Columns>"
    "</DlgLockCheck>"
    "<Messages><CancelInstall Caption=\"Stop setup?\"/></Messages>"
    "</Localize>";

std::string Escape(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        if (c == L'&')
            out += "&amp;";
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::wstring ChildProgram()
{
    return TestSupport::ModuleFolder() + L"childprog.exe";
}

std::wstring FolderOf(const std::wstring& path)
{
    return path.substr(0, path.find_last_of(L'\\'));
}

std::wstring FileOf(const std::wstring& path)
{
    return path.substr(path.find_last_of(L'\\') + 1);
}

size_t CountContaining(const std::vector<std::string>& lines, const std::string& text)
{
    size_t count = 0;
    for (const auto& line : lines)
        count += line.find(text) != std::string::npos ? 1 : 0;
    return count;
}

bool EndProcess(DWORD id)
{
    HANDLE process = ::OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return false;
    const bool ended = ::TerminateProcess(process, 1) && ::WaitForSingleObject(process, 10000) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

bool IsRunning(DWORD id)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return false;
    const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    ::CloseHandle(process);
    return running;
}

// True when the process is gone, or goes within the time.
bool HasEnded(DWORD id, DWORD timeoutMs)
{
    HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, id);
    if (process == nullptr)
        return true;
    const bool ended = ::WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    ::CloseHandle(process);
    return ended;
}

// The rows of the page's list: column 0 and column 1 joined by "|". Sent from the
// driver's thread, so it waits until the page's thread is free again.
std::vector<std::wstring> ListRows(HWND page)
{
    std::vector<std::wstring> rows;
    HWND list = ::GetDlgItem(page, IDC_LOCK_LIST);
    DWORD_PTR count = 0;
    if (list == nullptr || !::SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 60000, &count))
        return rows;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        std::wstring row;
        for (int column = 0; column < 2; ++column) {
            wchar_t buffer[520] = {};
            LVITEMW item = {};
            item.iSubItem = column;
            item.pszText = buffer;
            item.cchTextMax = 520;
            ::SendMessageW(list, LVM_GETITEMTEXTW, i, reinterpret_cast<LPARAM>(&item));
            row += (column == 0 ? L"" : L"|") + std::wstring(buffer);
        }
        rows.push_back(row);
    }
    return rows;
}

std::vector<std::wstring> ColumnHeadings(HWND page)
{
    std::vector<std::wstring> headings;
    HWND list = ::GetDlgItem(page, IDC_LOCK_LIST);
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int count = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i) {
        wchar_t buffer[260] = {};
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT;
        column.pszText = buffer;
        column.cchTextMax = 260;
        ::SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
        headings.push_back(buffer);
    }
    return headings;
}

// Runs 'act' on a thread of its own once the lock page shows; a page still open
// long after is ended with 77, so that a page that will not close fails the test.
class CLockPageDriver
{
public:
    explicit CLockPageDriver(std::function<void(const CGuiDriver&, HWND)> act)
    {
        m_thread = std::thread([this, act] {
            // The finder may first wait for lockscout's pipe.
            CGuiDriver driver(::GetCurrentProcessId(), 40000);
            HWND page = driver.WaitFor(SWindowMatch::Dialog(IDC_LOCK_LIST));
            if (page == nullptr)
                return;
            m_bFound = true;
            act(driver, page);
            driver.SetTimeout(40000);
            if (!driver.WaitGone(page)) {
                while (HWND box = driver.Find(SWindowMatch::Dialog(TestSupport::kMessageBoxTextId).OwnedBy(page)))
                    ::EndDialog(box, IDNO);
                ::EndDialog(page, 77);
            }
        });
    }
    ~CLockPageDriver() { Join(); }
    bool Found()
    {
        Join();
        return m_bFound;
    }

private:
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    bool m_bFound = false;
    std::thread m_thread;
};

class LockCheckTest : public TestSupport::CEngineTest
{
protected:
    std::set<std::wstring> Executables(bool fullPathsOnly)
    {
        Common::Win32::WatchSet files;
        GetPackageExecutables(Manager(), files, fullPathsOnly);
        return std::set<std::wstring>(files.begin(), files.end());
    }

    // A package whose BusyCheck watches the given paths, with the page's texts.
    bool LoadWatching(const std::vector<std::wstring>& paths, const std::string& more = "")
    {
        std::string busy = "<BusyCheck>";
        for (const auto& path : paths)
            busy += "<File FileName=\"" + Escape(path) + "\"/>";
        busy += "</BusyCheck>";
        return LoadDocument("<Interface><SetupFiles/>" + busy + kLocalize + more +
                            "<Script><LockCheck/></Script></Interface>");
    }
};

TEST_F(LockCheckTest, PackageExecutablesComeFromFileGroupsFoldersAndBusyCheck)
{
    ASSERT_TRUE(LoadPackage({{L"setup.xml", TestSupport::ToBytes(
                                  "<Interface><SetupFiles>"
                                  "<Group SrcPath=\"bin\" DestPath=\"C:\\App\"/>"
                                  "<Group DestPath=\"C:\\Dest\">"
                                  "<File FileName=\"x\\One.exe\"/>"
                                  "<File FileName=\"y\\other\" TargetFileName=\"ONE.EXE\"/>"
                                  "<File FileName=\"a\" TargetFileName=\"lib.DLL\"/>"
                                  "<File FileName=\"b\" TargetFileName=\"x64true.dll\" x64=\"true\"/>"
                                  "<File FileName=\"c\" TargetFileName=\"x64false.dll\" x64=\"false\"/>"
                                  "<File FileName=\"d\" TargetFileName=\"skip.exe\" Skip=\"true\"/>"
                                  "<File FileName=\"e\" TargetFileName=\"short.exe\" short=\"true\"/>"
                                  "<File FileName=\"f\" TargetFileName=\"data.txt\"/>"
                                  "</Group></SetupFiles>"
                                  "<BusyCheck><Busy FileName=\"C:\\Busy\\data.bin\"/></BusyCheck>"
                                  "</Interface>")},
                             {L"bin\\a.exe", {'1'}},
                             {L"bin\\sub\\b.Dll", {'2'}},
                             {L"bin\\readme.txt", {'3'}},
                             {L"other\\c.exe", {'4'}}}));
    const bool is64 = Manager().m_bIs64BitOS;
    const std::wstring wrongBitness = is64 ? L"C:\\Dest\\x64false.dll" : L"C:\\Dest\\x64true.dll";
    const std::wstring rightBitness = is64 ? L"C:\\Dest\\x64true.dll" : L"C:\\Dest\\x64false.dll";
    const std::set<std::wstring> common = {L"C:\\App\\a.exe", L"C:\\App\\sub\\b.Dll", L"C:\\Dest\\One.exe",
                                           L"C:\\Dest\\lib.DLL", rightBitness, L"C:\\Busy\\data.bin"};

    struct SCase
    {
        bool fullPathsOnly;
        std::wstring shortEntry;
    };
    for (const SCase& c : {SCase{false, L"short.exe"}, SCase{true, L"C:\\Dest\\short.exe"}}) {
        std::set<std::wstring> expected = common;
        expected.insert(c.shortEntry);
        const std::set<std::wstring> found = Executables(c.fullPathsOnly);
        EXPECT_EQ(expected, found) << "full paths only: " << c.fullPathsOnly;
        EXPECT_EQ(0u, found.count(wrongBitness));
    }
}

TEST_F(LockCheckTest, TrailingBackslashOfDestPathGivesTheSamePaths)
{
    const std::set<std::wstring> expected = {L"C:\\App\\a.exe", L"C:\\App\\sub\\b.dll", L"C:\\Dest\\One.exe"};
    for (const char* slash : {"", "\\"}) {
        SCOPED_TRACE(std::string("DestPath ending: '") + slash + "'");
        ASSERT_TRUE(LoadPackage({{L"setup.xml", TestSupport::ToBytes(
                                      "<Interface><SetupFiles>"
                                      "<Group SrcPath=\"bin\" DestPath=\"C:\\App" + std::string(slash) + "\"/>"
                                      "<Group DestPath=\"C:\\Dest" + std::string(slash) + "\">"
                                      "<File FileName=\"x\\One.exe\"/>"
                                      "</Group></SetupFiles></Interface>")},
                                 {L"bin\\a.exe", {'1'}},
                                 {L"bin\\sub\\b.dll", {'2'}}}));
        for (bool fullPathsOnly : {false, true})
            EXPECT_EQ(expected, Executables(fullPathsOnly)) << "full paths only: " << fullPathsOnly;
    }
}

TEST_F(LockCheckTest, MissingSetupFilesIsTracedAndStopsTheCollection)
{
    ASSERT_TRUE(LoadDocument("<Interface><BusyCheck><Busy FileName=\"C:\\Busy\\data.bin\"/></BusyCheck></Interface>"));
    std::set<std::wstring> found;
    const auto lines = TraceOf([&] { found = Executables(false); });
    EXPECT_TRUE(found.empty());
    EXPECT_EQ(1u, CountContaining(lines, "GetPackageExecutables: Unexpected error"));
}

TEST_F(LockCheckTest, HasLockedModulesOnlyForAFileHeldOpen)
{
    CLockerProcess locker(ChildProgram(), L"LockCheckHolder.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    const std::wstring held = FolderOf(locker.Path()) + L"\\held.dat";
    TestSupport::CTempFolder folder;
    const std::wstring free = folder / L"free.dat";
    TestSupport::WriteFileBytes(free, TestSupport::Bytes{'y'});
    // A file nobody has open, one that does not exist and a folder are no locks.
    ASSERT_TRUE(LoadWatching({free, folder / L"missing.exe", folder.Path()}));
    EXPECT_FALSE(Manager().HasLockedModules());

    ASSERT_TRUE(LoadWatching({free, held}));
    bool locked = false;
    const auto lines = TraceOf([&] { locked = Manager().HasLockedModules(); });
    EXPECT_TRUE(locked);
    EXPECT_EQ(1u, CountContaining(lines, "First locked module: '" + Escape(held) + "'"));
    EXPECT_EQ(1u, CountContaining(lines, "Some of modules are locked further operations with them will be in delay-mode"));

    ASSERT_TRUE(EndProcess(locker.Id()));
    EXPECT_FALSE(Manager().HasLockedModules());
}

TEST_F(LockCheckTest, QuietRunFindsTheProgramButShowsNothingAndGoesOn)
{
    CLockerProcess locker(ChildProgram(), L"LockCheckQuiet.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    ASSERT_TRUE(LoadWatching({locker.Path()}));
    g_CmdLine.m_bQuiet = true;
    CGuiDriver driver;
    const auto lines = TraceOf([&] { Manager().RunScriptAt(L"//Interface/Script"); });
    EXPECT_EQ(1u, CountContaining(lines, "CInstallManager::LockCheck"));
    EXPECT_EQ(1u, CountContaining(lines, "Need to close 1 applications"));
    EXPECT_EQ(nullptr, driver.Find(SWindowMatch::Dialog(IDC_LOCK_LIST)));
    EXPECT_TRUE(IsRunning(locker.Id())) << "nothing is closed in quiet mode";
}

TEST_F(LockCheckTest, HeldProgramIsListedAndRetryEndsThePageOnceItIsGone)
{
    CLockerProcess locker(ChildProgram(), L"LockCheckListed.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    ASSERT_TRUE(LoadWatching({locker.Path()}));

    Common::Win32::WatchSet files;
    files.insert(locker.Path());
    DlgPopup::CDlgLockCheck page(&files, DlgPopup::SilentKillMap(), nullptr);
    EXPECT_EQ(DlgPopup::PageLockCheck, page.GetPageType());

    std::vector<std::wstring> first, afterRetry, columns;
    std::wstring text, retry, ignore, cancel;
    bool openAfterRetry = false, ended = false;
    INT_PTR result = -1;
    const auto lines = TraceOf([&] {
        CLockPageDriver driver([&](const CGuiDriver& d, HWND p) {
            first = ListRows(p);
            columns = ColumnHeadings(p);
            text = d.ControlText(p, IDC_LOCK_TEXT);
            retry = d.ControlText(p, IDC_LOCK_RETRY);
            ignore = d.ControlText(p, IDC_LOCK_IGNORE);
            cancel = d.ControlText(p, IDCANCEL);
            // The locker must still run when this retry looks again.
            EXPECT_TRUE(d.ClickAndWait(p, IDC_LOCK_RETRY));
            afterRetry = ListRows(p);
            openAfterRetry = ::IsWindow(p) != FALSE;
            ended = EndProcess(locker.Id());
            d.Click(p, IDC_LOCK_RETRY);
        });
        result = page.DoModal();
        EXPECT_TRUE(driver.Found());
    });
    EXPECT_EQ(DlgPopup::PageResultNext, result);
    ASSERT_EQ(1u, first.size());
    // No window and no version text: the row shows the full path.
    EXPECT_EQ(locker.Path() + L"|" + FileOf(locker.Path()), first[0]);
    EXPECT_EQ(first, afterRetry);
    EXPECT_EQ((std::vector<std::wstring>{L"Application", L"File"}), columns);
    EXPECT_TRUE(openAfterRetry);
    EXPECT_TRUE(ended);
    EXPECT_EQ(L"Close these programs.\nThen press Try again.", text);
    EXPECT_EQ(L"Try again", retry);
    EXPECT_EQ(L"Go on", ignore);
    EXPECT_EQ(L"Stop", cancel);
    EXPECT_EQ(1u, CountContaining(lines, "Need to close 1 applications"));
    EXPECT_EQ(2u, CountContaining(lines, "There are 1 applications that must be closed before installations continues:"));
    EXPECT_EQ(2u, CountContaining(lines, "1: Caption: '', path: '" + Escape(locker.Path()) + "'"));
}

TEST_F(LockCheckTest, SilentKillProgramsAreClosedWithoutThePageUnlessIgnored)
{
    // Only a silent-kill program: never shown, closed.
    {
        CLockerProcess silent(ChildProgram(), L"LockCheckSilent.exe");
        ASSERT_TRUE(silent.IsReady()) << silent.Failure();
        ASSERT_TRUE(LoadWatching({silent.Path()}, "<SilentKill><A Name=\"lockchecksilent.EXE\"/></SilentKill>"));
        CGuiDriver driver;
        const auto lines = TraceOf([&] { EXPECT_TRUE(Manager().LockCheck()); });
        EXPECT_FALSE(IsRunning(silent.Id()));
        EXPECT_EQ(0u, CountContaining(lines, "Need to close"));
        EXPECT_EQ(1u, CountContaining(lines, "Terminate process: '" + Escape(silent.Path()) + "', successful"));
    }
    // With a listed program beside it, Ignore closes nothing.
    CLockerProcess silent(ChildProgram(), L"LockCheckSilent2.exe");
    CLockerProcess listed(ChildProgram(), L"LockCheckShown.exe");
    ASSERT_TRUE(silent.IsReady()) << silent.Failure();
    ASSERT_TRUE(listed.IsReady()) << listed.Failure();
    Common::Win32::WatchSet files;
    files.insert(FileOf(silent.Path()));
    files.insert(listed.Path());
    DlgPopup::SilentKillMap map;
    map[FileOf(silent.Path())] = L"";
    ASSERT_TRUE(LoadWatching({}));
    DlgPopup::CDlgLockCheck page(&files, map, nullptr);
    std::vector<std::wstring> rows;
    CLockPageDriver driver([&](const CGuiDriver& d, HWND p) {
        rows = ListRows(p);
        d.Click(p, IDC_LOCK_IGNORE);
    });
    EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal());
    ASSERT_TRUE(driver.Found());
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(FileOf(listed.Path()), rows[0].substr(rows[0].find(L'|') + 1));
    EXPECT_TRUE(IsRunning(silent.Id()));
    EXPECT_TRUE(IsRunning(listed.Id()));
}

// The list may come from another process, and an identifier may have passed to
// another program since: only a process that still runs the listed executable ends.
TEST_F(LockCheckTest, SilentKillEndsOnlyAProcessStillRunningTheListedProgram)
{
    ASSERT_TRUE(LoadWatching({}));
    // A 64-bit program is what lockscout reports; a 32-bit one what the local scan does.
    CLockerProcess running32(ChildProgram(), L"LockCheckRunning.exe");
    CLockerProcess running64(std::wstring(COMPANION_BIN_DIR_W) + L"\\childprog.exe", L"LockCheckRunning64.exe");
    ASSERT_TRUE(running32.IsReady()) << running32.Failure();
    ASSERT_TRUE(running64.IsReady()) << running64.Failure();
    TestSupport::CTempFolder elsewhere;
    // Each locker's cases end with the one that ends it.
    const struct
    {
        const char* what;
        const CLockerProcess* process;
        std::wstring listedPath;
        bool ends;
    } cases[] = {
        {"another program now has the identifier", &running32, FolderOf(running32.Path()) + L"\\LockCheckGone.exe",
         false},
        {"the same name in another folder", &running32, elsewhere / FileOf(running32.Path()), false},
        {"the listed program in other letter case", &running32, FolderOf(running32.Path()) + L"\\LOCKCHECKRUNNING.EXE",
         true},
        {"a 64-bit program under another name", &running64, FolderOf(running64.Path()) + L"\\LockCheckGone64.exe",
         false},
        {"the listed 64-bit program", &running64, running64.Path(), true},
    };
    for (const auto& item : cases) {
        SCOPED_TRACE(item.what);
        Common::Win32::WatchSet files;
        DlgPopup::SilentKillMap map;
        map[FileOf(item.listedPath)] = L"";
        DlgPopup::CDlgLockCheck page(&files, map, nullptr);
        Common::Win32::ProcInfo listed;
        listed.strPath = item.listedPath;
        listed.dwPid = item.process->Id();
        page.m_ProcessInfo.push_back(listed);
        page.m_SilentIndexes = {0};
        const auto lines = TraceOf([&] { page.KillSilent(); });
        // TerminateProcess returns before the process is gone.
        EXPECT_EQ(item.ends, HasEnded(item.process->Id(), item.ends ? 10000 : 0));
        const std::string kept = "Process " + std::to_string(item.process->Id()) + " is no longer '" +
                                 Escape(item.listedPath) + "': left running";
        EXPECT_EQ(item.ends ? 0u : 1u, CountContaining(lines, kept));
        EXPECT_EQ(item.ends ? 1u : 0u, CountContaining(lines, "Terminate process: '" + Escape(item.listedPath) +
                                                                  "', successful"));
    }
}

TEST_F(LockCheckTest, SetupItselfIsNeitherListedNorEnded)
{
    wchar_t self[MAX_PATH] = {};
    ASSERT_NE(0u, ::GetModuleFileNameW(nullptr, self, MAX_PATH));
    ASSERT_TRUE(LoadWatching({}));
    Common::Win32::WatchSet files;
    files.insert(self);
    DlgPopup::SilentKillMap map;
    map[FileOf(self)] = L"";
    INT_PTR result = -1;
    HWND shown = nullptr;
    const auto lines = TraceOf([&] {
        DlgPopup::CDlgLockCheck page(&files, map, nullptr);
        result = page.DoModal();
        shown = page.m_hWnd;
    });
    // The tests carry no lockscout resource: the page goes on with the local scan.
    EXPECT_EQ(1u, CountContaining(lines, "Failed to run lockscout"));
    EXPECT_EQ(DlgPopup::PageResultNext, result);
    EXPECT_EQ(1u, CountContaining(lines, "Setup itself uses a watched file"));
    EXPECT_EQ(0u, CountContaining(lines, "Terminate process"));
    EXPECT_EQ(nullptr, shown);
}

TEST_F(LockCheckTest, SixtyFourBitProgramIsListedThroughLockscout)
{
    CLockerProcess locker(std::wstring(COMPANION_BIN_DIR_W) + L"\\childprog.exe", L"LockCheck64.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    TestSupport::CStartedProcess scout;
    ASSERT_TRUE(scout.Start(std::wstring(COMPANION_BIN_DIR_W) + L"\\lockscout.exe", {}));
    ASSERT_TRUE(LoadWatching({}));
    Common::Win32::WatchSet files;
    files.insert(locker.Path());
    DlgPopup::CDlgLockCheck page(&files, DlgPopup::SilentKillMap(), nullptr);
    // The tests carry no lockscout resource: the page takes the test's server.
    page.m_ProcessInfo.SetServer(scout.Id());
    std::vector<std::wstring> rows;
    CLockPageDriver driver([&](const CGuiDriver& d, HWND p) {
        rows = ListRows(p);
        d.Click(p, IDC_LOCK_IGNORE);
    });
    EXPECT_EQ(DlgPopup::PageResultNext, page.DoModal());
    ASSERT_TRUE(driver.Found());
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(FileOf(locker.Path()), rows[0].substr(rows[0].find(L'|') + 1));
    EXPECT_TRUE(IsRunning(locker.Id())) << "Ignore closes nothing";
}

TEST_F(LockCheckTest, CancelOnThePageStopsTheScriptAsTheUsersStop)
{
    CLockerProcess locker(ChildProgram(), L"LockCheckCancel.exe");
    ASSERT_TRUE(locker.IsReady()) << locker.Failure();
    ASSERT_TRUE(LoadWatching({locker.Path()}));
    bool answered = false;
    CLockPageDriver driver([&](const CGuiDriver& d, HWND p) {
        d.Click(p, IDCANCEL);
        answered = d.AnswerMessageBox(IDYES);
    });
    EXPECT_THROW(Manager().RunScriptAt(L"//Interface/Script"), CInstallAbort);
    EXPECT_TRUE(driver.Found());
    EXPECT_TRUE(answered);
    EXPECT_TRUE(IsRunning(locker.Id()));
}

} // namespace
