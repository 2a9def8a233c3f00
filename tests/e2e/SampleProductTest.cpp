// The sample product (sample/, staged at build time with its pictures and program)
// through the real setup.exe in a prefix of its own, quietly, the way a user's
// machine goes through it: install 1.0, update to 1.1, reconfigure through the
// registered copy, then the registered uninstall command; and once through the whole
// wizard as a user clicks it, in both languages. After the uninstall nothing of the
// product is left but the running copy's deletion at the restart.
#include "tests/e2e/InstallFixture.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/LockerProcess.h"
#include "tests/support/Narrow.h"
#include "common/win32/Wow64.h"
#include "setup/res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::CBackgroundRun;
using TestSupport::CGuiDriver;
using TestSupport::CStartedProcess;
using TestSupport::CTempFolder;
using TestSupport::SWindowInfo;
using TestSupport::SWindowMatch;
using TestSupport::SProcessRun;
using TestSupport::ToBytes;

namespace {

using TestSupport::HasLine;
using TestSupport::HasLineWith;
using TestSupport::Joined;
using TestSupport::Narrow;

const wchar_t kProduct[] = L"{6F1C2A4E-3B7D-4C59-9A0E-2D81B5C47F13}";
const std::wstring kRecordKey = E2E::RecordKey(kProduct);
const wchar_t kMachineKey[] = L"SOFTWARE\\Quorvant\\Sample Document Editor";
const wchar_t kComponentsKey[] = L"SOFTWARE\\Quorvant\\Sample Document Editor\\Components";
const wchar_t kUserKey[] = L"Software\\Quorvant\\Sample Document Editor";

std::wstring Backslashes(std::wstring path)
{
    for (wchar_t& c : path)
        if (c == L'/')
            c = L'\\';
    return path;
}

// The staged sample (sample/stage.py, run by the build).
std::wstring Staged(const std::wstring& relative)
{
    return Backslashes(SAMPLE_STAGE_DIR_W) + L"\\" + relative;
}

std::wstring KnownFolder(int csidl)
{
    wchar_t path[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring TargetDir()
{
    return KnownFolder(CSIDL_PROGRAM_FILES) + L"\\Sample Document Editor";
}

std::wstring UninstallFolder()
{
    // Not below %TargetDataDir%: every user may write there.
    return KnownFolder(CSIDL_PROGRAM_FILES_COMMON) + L"\\Quorvant\\Sample Document Editor";
}

// The data folder the install makes; the vendor's folder holds it.
std::wstring DataFolder()
{
    return KnownFolder(CSIDL_COMMON_APPDATA) + L"\\Quorvant\\Sample Document Editor";
}

std::wstring Shortcut()
{
    return KnownFolder(CSIDL_PROGRAMS) + L"\\Sample Document Editor.lnk";
}

bool FolderExists(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

E2E::SRegValue Record(const wchar_t* name)
{
    return E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kRecordKey, name);
}

// The record's text value without its terminating NUL.
std::wstring RecordText(const wchar_t* name)
{
    const E2E::SRegValue value = Record(name);
    std::wstring text(reinterpret_cast<const wchar_t*>(value.data.data()), value.data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return text;
}

// The names of the files in a folder.
std::vector<std::wstring> FilesIn(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            names.push_back(data.cFileName);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return names;
}

using E2E::PendingDeletions;

// What a registry key holds: its subkeys' names and the number of its values.
struct SKeyContent
{
    std::vector<std::wstring> subkeys;
    DWORD values = 0;
};

SKeyContent KeyContent(HKEY root, const wchar_t* key)
{
    SKeyContent content;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return content;
    DWORD subkeys = 0;
    RegQueryInfoKeyW(opened, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &content.values, nullptr,
                     nullptr, nullptr, nullptr);
    for (DWORD index = 0; index < subkeys; ++index) {
        wchar_t name[256] = {};
        DWORD length = 256;
        if (RegEnumKeyExW(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
            content.subkeys.push_back(name);
    }
    RegCloseKey(opened);
    return content;
}

// After the registered uninstall: nothing of the product is left but the running
// copy, renamed, and its folder, which go at the restart, and then the vendor's
// folder of uninstallers when it is empty.
void ExpectOnlyTheUninstallersDeletionLeft(const std::wstring& target, const std::vector<std::string>& lines)
{
    EXPECT_FALSE(FolderExists(target)) << "the install folder";
    EXPECT_FALSE(E2E::FileExists(Shortcut()));
    EXPECT_FALSE(FolderExists(DataFolder())) << "the data folder";
    EXPECT_FALSE(FolderExists(KnownFolder(CSIDL_COMMON_APPDATA) + L"\\Quorvant")) << "the vendor's data folder";
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_CURRENT_USER, kUserKey));
    // The vendor's keys stay: setup's trace switch (which the test set) in the
    // machine's, nothing in the user's.
    const SKeyContent machine = KeyContent(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Quorvant");
    EXPECT_EQ(std::vector<std::wstring>{L"Setup"}, machine.subkeys);
    EXPECT_EQ(0u, machine.values);
    const SKeyContent user = KeyContent(HKEY_CURRENT_USER, L"Software\\Quorvant");
    EXPECT_TRUE(user.subkeys.empty());
    EXPECT_EQ(0u, user.values);
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_LOCAL_MACHINE, kRecordKey));
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L".qsu"));
    EXPECT_FALSE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L"Quorvant.SampleUpdate"));
    const std::vector<std::wstring> left = FilesIn(UninstallFolder());
    ASSERT_EQ(1u, left.size());
    EXPECT_EQ(38u, left[0].size());
    EXPECT_NE(E2E::Lower(std::wstring(kProduct) + L".exe"), E2E::Lower(left[0]));
    const std::wstring vendorFolder = KnownFolder(CSIDL_PROGRAM_FILES_COMMON) + L"\\Quorvant";
    const std::vector<std::wstring> expected = {E2E::Lower(UninstallFolder() + L"\\" + left[0]),
                                                E2E::Lower(UninstallFolder()), E2E::Lower(vendorFolder)};
    EXPECT_EQ(expected, PendingDeletions()) << Joined(lines);
}

class SampleProduct : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(E2E::SetSetupTraceLevel(1));
        // The distribution as a user gets it: setup.exe, its package and the licence
        // texts side by side, and the update package.
        m_strDist = m_temp / L"dist";
        ASSERT_TRUE(CreateDirectoryW(m_strDist.c_str(), nullptr));
        m_strSetup = m_strDist + L"\\setup.exe";
        ASSERT_TRUE(CopyFileW(E2E::SetupExe().c_str(), m_strSetup.c_str(), FALSE));
        for (const wchar_t* file : {L"licence-en.txt", L"licence-de.txt", L"setup.png"})
            ASSERT_TRUE(CopyFileW(Staged(std::wstring(L"dist\\") + file).c_str(), (m_strDist + L"\\" + file).c_str(),
                                  FALSE));
        PackageTools::SBuildOptions options;
        options.packOnly = {L"files\\app\\manual.txt"};
        std::wstring error;
        m_strPackage = m_strDist + L"\\setup.cfs";
        ASSERT_TRUE(PackageTools::BuildPackage(Staged(L"package"), m_strPackage, options, error))
            << std::string(error.begin(), error.end());
        m_strUpdate = m_strDist + L"\\update-1.1.qsu";
        ASSERT_TRUE(PackageTools::BuildPackage(Staged(L"update"), m_strUpdate, PackageTools::SBuildOptions(), error))
            << std::string(error.begin(), error.end());
    }

    static SProcessRun Run(const std::wstring& program, const std::vector<std::wstring>& arguments)
    {
        TestSupport::SProcessOptions options;
        options.timeoutMs = 120000;
        return TestSupport::RunProcess(program, arguments, options);
    }

    // Setup with its windows, as a user runs it: 'drive' goes through the pages, and
    // the finished run comes back in 'run'.
    template <typename Drive>
    void RunWithWindows(SProcessRun& run, const std::vector<std::wstring>& arguments, Drive drive)
    {
        TestSupport::SProcessOptions options;
        options.timeoutMs = 180000;
        CBackgroundRun setup(m_strSetup, arguments, options);
        const DWORD processId = setup.ProcessId();
        ASSERT_NE(0u, processId);
        const CGuiDriver driver(processId, 60000);
        drive(driver);
        run = setup.Wait();
    }

    CTempFolder m_temp;
    std::wstring m_strDist;
    std::wstring m_strSetup;
    std::wstring m_strPackage;
    std::wstring m_strUpdate;
};

TEST_F(SampleProduct, InstallUpdateReconfigureAndUninstallQuietly)
{
    const std::wstring target = TargetDir();

    // ---- install 1.0 ----
    SProcessRun run = Run(m_strSetup, {L"/i", m_strPackage, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    ASSERT_EQ(0u, run.exitCode) << Joined(run.TraceLines());
    for (const wchar_t* file : {L"SampleEditor.exe", L"readme.txt", L"settings.ini", L"manual.txt",
                                L"Templates\\notes.txt", L"Templates\\letters\\letter.txt",
                                L"Templates\\letters\\memo.txt"})
        EXPECT_TRUE(E2E::FileExists(target + L"\\" + file)) << Narrow(file);
    EXPECT_TRUE(E2E::BytesOf(target + L"\\SampleEditor.exe") ==
                TestSupport::ReadFileBytes(Staged(L"package\\files\\app\\SampleEditor.exe")));
    EXPECT_TRUE(E2E::FileExists(Shortcut()));
    EXPECT_EQ(E2E::StringData(target), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"InstallDir").data);
    EXPECT_EQ(E2E::StringData(L"1.0.0"), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"Version").data);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"RestartPending").found) << "no restart decided";
    // The components as the tree starts them: the manual on, the spelling checker off.
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"Manual").data);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"SpellCheck").found);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"SpellCheck").found);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"ShowTips").data);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Toolbar").data)
        << "no toolbar page in a quiet run: the toolbar's condition is not known, so its node runs";
    EXPECT_EQ(E2E::StringData(target + L"\\Templates"),
              E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Templates").data);
    EXPECT_EQ(L"1.0.0", RecordText(L"DisplayVersion"));
    EXPECT_EQ(L"en", RecordText(L"LanguageID"));
    EXPECT_EQ(L"Standard", RecordText(L"Edition"));
    EXPECT_EQ(target, RecordText(L"InstallLocation"));
    const std::wstring copy = UninstallFolder() + L"\\" + kProduct + L".exe";
    const std::wstring command = RecordText(L"UninstallString");
    EXPECT_EQ(L"\"" + copy + L"\" /X" + kProduct, command);
    EXPECT_TRUE(E2E::FileExists(copy));
    EXPECT_TRUE(E2E::RegKeyExists(HKEY_CLASSES_ROOT, L".qsu"));

    // ---- update to 1.1 ----
    run = Run(m_strSetup, {L"/i", m_strUpdate, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    EXPECT_TRUE(HasLine(run.TraceLines(), "Setup: Installing update to: " + Narrow(target)))
        << Joined(run.TraceLines());
    EXPECT_EQ(L"1.1.0", RecordText(L"DisplayVersion"));
    EXPECT_EQ(E2E::DwordData(1), Record(L"VersionMinor").data);
    EXPECT_EQ(E2E::StringData(L"1.1.0"), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"Version").data);
    EXPECT_TRUE(E2E::BytesOf(target + L"\\readme.txt") ==
                TestSupport::ReadFileBytes(Staged(L"update\\files\\app\\readme.txt")));
    EXPECT_EQ(command, RecordText(L"UninstallString")) << "the update keeps the uninstaller of 1.0";

    // ---- "/config" through the registered copy: the manual out, the spelling checker in ----
    const std::wstring list = m_temp / L"components.xml";
    TestSupport::WriteFileBytes(
        list, ToBytes("<C><AddComponents><item Name=\"SpellCheck\" Value=\"true\"/><item Name=\"Manual\" Value=\"false\"/>"
                      "</AddComponents><RemoveComponents><item Name=\"Manual\" Value=\"true\"/>"
                      "<item Name=\"SpellCheck\" Value=\"false\"/></RemoveComponents></C>"));
    run = Run(copy, {L"/config", list, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode) << Joined(run.TraceLines());
    EXPECT_FALSE(E2E::FileExists(list)) << "the list file is used up";
    EXPECT_FALSE(E2E::FileExists(target + L"\\manual.txt"));
    EXPECT_TRUE(E2E::FileExists(target + L"\\readme.txt"));
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"Manual").found);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"SpellCheck").data);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"SpellCheck").data);

    // ---- the registered uninstall command, quietly ----
    ASSERT_EQ(L'"', command.front());
    const size_t quote = command.find(L'"', 1);
    ASSERT_NE(std::wstring::npos, quote);
    run = Run(command.substr(1, quote - 1), {command.substr(quote + 2), L"/qn"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: m_bRestart = 0, m_bNeedRestartByFiles = 0")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Clear application install info - successful")) << Joined(lines);

    ExpectOnlyTheUninstallersDeletionLeft(target, lines);
}

// The tree's items: Program, then Extras with Manual and SpellCheck below it.
HTREEITEM SpellCheckItem(HWND tree)
{
    auto next = [tree](HTREEITEM item, WPARAM how) {
        return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
    };
    HTREEITEM extras = next(next(nullptr, TVGN_ROOT), TVGN_NEXT);
    return next(next(extras, TVGN_CHILD), TVGN_NEXT);
}

int StateImage(HWND tree, HTREEITEM item)
{
    const LRESULT state =
        ::SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK);
    return static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12);
}

// Clicks the button and waits until the page has gone, so that the next wait finds
// the next page and not this one.
void Leave(const CGuiDriver& driver, HWND page, int button)
{
    EXPECT_TRUE(driver.Click(page, button)) << button;
    EXPECT_TRUE(driver.WaitGone(page)) << button;
}

TEST_F(SampleProduct, TheWizardInBothLanguagesInstallsToATypedFolderAndTheUninstallLeavesOnlyItsCopy)
{
    const std::wstring typed = L"C:\\Typed Editor";
    const std::wstring caption = L"Sample Document Editor Setup";
    int toolbarBefore = -1;
    SProcessRun install;
    RunWithWindows(install, {L"/i", m_strPackage, L"/norestart"}, [&](const CGuiDriver& driver) {
        // ---- the language page: German first, then back to English ----
        HWND page = driver.WaitFor(SWindowMatch::Dialog(IDC_LANG_0));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(caption, driver.Title(page));
        EXPECT_EQ(L"Choose the language of Sample Document Editor:", driver.ControlText(page, IDC_LANG_LABEL));
        EXPECT_EQ(L"English", driver.ControlText(page, IDC_LANG_0));
        EXPECT_EQ(L"Deutsch", driver.ControlText(page, IDC_LANG_1));
        EXPECT_EQ(BST_CHECKED, driver.CheckState(page, IDC_LANG_0));
        EXPECT_TRUE(driver.Click(page, IDC_LANG_1));
        Leave(driver, page, IDOK);

        page = driver.WaitFor(SWindowMatch::Dialog(IDC_LICENCE_ACCEPT));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"Setup von Sample Document Editor", driver.Title(page));
        EXPECT_EQ(L"Bitte lesen Sie den folgenden Lizenzvertrag sorgf\u00e4ltig durch.",
                  driver.ControlText(page, IDC_LICENCE_CAPTION));
        EXPECT_EQ(L"Ich &akzeptiere die Bedingungen des Lizenzvertrags", driver.ControlText(page, IDC_LICENCE_ACCEPT));
        EXPECT_NE(std::wstring::npos, driver.ControlText(page, IDC_LICENCE_TEXT).find(L"ENDBENUTZER-LIZENZVERTRAG"));
        EXPECT_EQ(L"< &Zur\u00fcck", driver.ControlText(page, IDC_BACK));
        Leave(driver, page, IDC_BACK);

        page = driver.WaitFor(SWindowMatch::Dialog(IDC_LANG_0));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"W\u00e4hlen Sie die Sprache von Sample Document Editor:", driver.ControlText(page, IDC_LANG_LABEL));
        EXPECT_EQ(BST_CHECKED, driver.CheckState(page, IDC_LANG_1));
        EXPECT_TRUE(driver.Click(page, IDC_LANG_0));
        Leave(driver, page, IDOK);

        // ---- licence, in English again ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_LICENCE_ACCEPT));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(caption, driver.Title(page));
        EXPECT_EQ(L"Please read the following licence agreement carefully.", driver.ControlText(page, IDC_LICENCE_CAPTION));
        EXPECT_NE(std::wstring::npos, driver.ControlText(page, IDC_LICENCE_TEXT).find(L"END-USER LICENCE AGREEMENT"));
        EXPECT_FALSE(driver.IsControlEnabled(page, IDOK)) << "not before the licence is accepted";
        EXPECT_TRUE(driver.Click(page, IDC_LICENCE_ACCEPT));
        // The page enables Next when it has taken the posted click.
        for (int wait = 0; wait < 200 && !driver.IsControlEnabled(page, IDOK); ++wait)
            Sleep(50);
        Leave(driver, page, IDOK);

        // ---- destination: a folder of the user's own ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_DEST_FOLDER));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"Destination folder", driver.ControlText(page, IDC_DEST_GROUP));
        EXPECT_EQ(TargetDir(), driver.ControlText(page, IDC_DEST_FOLDER));
        EXPECT_EQ(L"B&rowse...", driver.ControlText(page, IDC_DEST_BROWSE));
        EXPECT_TRUE(driver.Type(page, IDC_DEST_FOLDER, typed));
        Leave(driver, page, IDOK);

        // ---- components: the spelling checker ticked ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_COMPONENTS_TREE));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"Choose the components you want to install:", driver.ControlText(page, IDC_COMPONENTS_LABEL));
        HWND tree = ::GetDlgItem(page, IDC_COMPONENTS_TREE);
        HTREEITEM spellCheck = SpellCheckItem(tree);
        ASSERT_NE(nullptr, spellCheck);
        const int unticked = StateImage(tree, spellCheck);
        ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(spellCheck));
        ::PostMessageW(tree, WM_KEYDOWN, VK_SPACE, 0);
        ::PostMessageW(tree, WM_KEYUP, VK_SPACE, 0);
        for (int wait = 0; wait < 100 && StateImage(tree, spellCheck) == unticked; ++wait)
            Sleep(50);
        EXPECT_NE(unticked, StateImage(tree, spellCheck));
        Leave(driver, page, IDOK);

        // ---- toolbar: the box turned over ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_TOOLBAR_CHECK));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(L"Add the Sample Document Editor &toolbar", driver.ControlText(page, IDC_TOOLBAR_CHECK));
        toolbarBefore = driver.CheckState(page, IDC_TOOLBAR_CHECK);
        EXPECT_TRUE(driver.Click(page, IDC_TOOLBAR_CHECK));
        Leave(driver, page, IDOK);

        // ---- install ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_INSTALL_TEXT));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(0u, driver.ControlText(page, IDC_INSTALL_TEXT)
                          .find(L"Setup is ready to install Sample Document Editor on this computer."));
        EXPECT_EQ(L"&Install", driver.ControlText(page, IDOK));
        Leave(driver, page, IDOK);

        // ---- no applications to close: nothing of the package runs, so the lock
        // check goes on without showing its page ----
        // ---- finish ----
        page = driver.WaitFor(SWindowMatch::Dialog(IDC_FINISH_TEXT));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(nullptr, driver.Find(SWindowMatch::Dialog(IDC_LOCK_LIST)));
        EXPECT_EQ(L"Setup is complete", driver.ControlText(page, IDC_FINISH_GROUP));
        EXPECT_EQ(0u, driver.ControlText(page, IDC_FINISH_TEXT).find(L"Sample Document Editor has been installed."));
        EXPECT_EQ(L"&Finish", driver.ControlText(page, IDOK));
        EXPECT_FALSE(driver.IsControlVisible(page, IDC_FINISH_RESTART)) << "nothing waits for a restart";
        Leave(driver, page, IDOK);
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(install.finished);
    const std::vector<std::string> installLines = install.TraceLines();
    ASSERT_EQ(0u, install.exitCode) << Joined(installLines);
    EXPECT_TRUE(HasLine(installLines, "Setup: InstallManager : CInstallManager::LockCheck >")) << Joined(installLines);
    for (const std::string& line : installLines)
        EXPECT_EQ(std::string::npos, line.find("Need to close")) << line;

    // ---- the result on disk and in the registry ----
    for (const wchar_t* file : {L"SampleEditor.exe", L"readme.txt", L"settings.ini", L"manual.txt",
                                L"Templates\\notes.txt", L"Templates\\letters\\letter.txt"})
        EXPECT_TRUE(E2E::FileExists(typed + L"\\" + file)) << Narrow(file);
    EXPECT_FALSE(FolderExists(TargetDir())) << "nothing at the default folder";
    EXPECT_TRUE(E2E::FileExists(Shortcut()));
    EXPECT_EQ(E2E::StringData(typed), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"InstallDir").data);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"Manual").data);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"SpellCheck").data);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"SpellCheck").data);
    EXPECT_EQ(toolbarBefore != BST_CHECKED, E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Toolbar").found)
        << "the toolbar page's answer, box before: " << toolbarBefore;
    EXPECT_EQ(E2E::StringData(typed + L"\\Templates"), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Templates").data);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"RestartPending").found);
    EXPECT_EQ(L"en", RecordText(L"LanguageID")) << "the language chosen last";
    EXPECT_EQ(typed, RecordText(L"InstallLocation"));

    // ---- the registered uninstall command, quietly ----
    const std::wstring command = RecordText(L"UninstallString");
    EXPECT_EQ(L"\"" + UninstallFolder() + L"\\" + kProduct + L".exe\" /X" + kProduct, command);
    ASSERT_EQ(L'"', command.front());
    const size_t quote = command.find(L'"', 1);
    ASSERT_NE(std::wstring::npos, quote);
    const SProcessRun run = Run(command.substr(1, quote - 1), {command.substr(quote + 2), L"/qn"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ExpectOnlyTheUninstallersDeletionLeft(typed, run.TraceLines());
}

// Version 1.0 installed quietly, and its editor started from the install folder:
// the update that follows must replace a program in use.
class SampleProductInUse : public SampleProduct
{
protected:
    void InstallAndStartTheEditor()
    {
        const SProcessRun run = Run(m_strSetup, {L"/i", m_strPackage, L"/qn", L"/norestart"});
        ASSERT_TRUE(run.finished);
        ASSERT_EQ(0u, run.exitCode) << Joined(run.TraceLines());
        m_strEditor = TargetDir() + L"\\SampleEditor.exe";
        ASSERT_TRUE(m_editor.Start(m_strEditor, {}));
        ASSERT_EQ(0u, WaitForInputIdle(m_editor.Handle(), 30000));
    }

    std::wstring m_strEditor;
    CStartedProcess m_editor;
};

// Under WOW64 setup asks the 64-bit lockscout which programs hold its files. Wine's
// module snapshot of a 32-bit process, taken from a 64-bit one, fails (998,
// ERROR_NOACCESS; Windows lists the 32-bit modules), so lockscout never sees the
// 32-bit editor and the applications-to-close page does not come, although the
// editor's program is in use: the copy can only schedule it for the restart.
// On a 32-bit Windows setup scans itself and lists the editor (the case below).
TEST_F(SampleProductInUse, UnderWineWow64TheRunningEditorIsNotSeenAndTheUpdateDelaysItsProgram)
{
    ASSERT_TRUE(Common::Win32::IsWow64()) << "the 32-bit setup runs under WOW64 here";
    InstallAndStartTheEditor();
    const SProcessRun run = Run(m_strSetup, {L"/i", m_strUpdate, L"/qn", L"/norestart"});
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    const std::vector<std::string> lines = run.TraceLines();
    EXPECT_TRUE(HasLine(lines, "Setup: InstallManager : CInstallManager::LockCheck >")) << Joined(lines);
    EXPECT_TRUE(HasLineWith(lines, "File lockscout.exe successfully extracted")) << Joined(lines);
    EXPECT_FALSE(HasLineWith(lines, "Need to close")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: CopyFile: Copy delayed, file '" + Narrow(m_strEditor) + "'")) << Joined(lines);
}

// A 32-bit Windows (a 32-bit prefix): setup scans the processes itself, lists the
// running editor on the applications-to-close page, and once the editor is closed
// Retry lets the update replace its program at once.
class SampleProductOn32BitWindows : public SampleProductInUse
{
};

TEST_F(SampleProductOn32BitWindows, TheRunningEditorIsListedOnTheApplicationsPageOfTheUpdate)
{
    ASSERT_FALSE(Common::Win32::IsWow64()) << "runs in a 32-bit prefix";
    InstallAndStartTheEditor();
    SProcessRun update;
    RunWithWindows(update, {L"/i", m_strUpdate, L"/norestart"}, [&](const CGuiDriver& driver) {
        SWindowInfo question;
        ASSERT_TRUE(driver.AnswerMessageBox(IDYES, &question));

        HWND page = driver.WaitFor(SWindowMatch::Dialog(IDC_LOCK_LIST));
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(0u, driver.ControlText(page, IDC_LOCK_TEXT).find(L"The following programs use files that the update"));
        EXPECT_EQ(L"&Retry", driver.ControlText(page, IDC_LOCK_RETRY));
        EXPECT_EQ(L"&Ignore", driver.ControlText(page, IDC_LOCK_IGNORE));
        EXPECT_EQ(1, static_cast<int>(::SendMessageW(::GetDlgItem(page, IDC_LOCK_LIST), LVM_GETITEMCOUNT, 0, 0)));

        // The editor closed, Retry: nothing holds the files any more.
        ASSERT_TRUE(TerminateProcess(m_editor.Handle(), 0));
        ASSERT_EQ(WAIT_OBJECT_0, WaitForSingleObject(m_editor.Handle(), 10000));
        Leave(driver, page, IDC_LOCK_RETRY);

        page = driver.WaitFor(SWindowMatch::Dialog(IDC_FINISH_TEXT));
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(update.finished);
    const std::vector<std::string> lines = update.TraceLines();
    EXPECT_EQ(0u, update.exitCode) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: Need to close 1 applications")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Setup: 1: Caption: 'Untitled - Sample Document Editor', path: '" +
                                   Narrow(m_strEditor) + "'"))
        << Joined(lines);
    EXPECT_FALSE(HasLineWith(lines, "lockscout")) << "no WOW64, no lockscout";
    EXPECT_FALSE(HasLineWith(lines, "Copy delayed")) << Joined(lines);
    EXPECT_TRUE(E2E::BytesOf(TargetDir() + L"\\readme.txt") ==
                TestSupport::ReadFileBytes(Staged(L"update\\files\\app\\readme.txt")));
    EXPECT_EQ(E2E::StringData(L"1.1.0"), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"Version").data);
}

} // namespace
