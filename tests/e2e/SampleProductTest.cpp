// The sample product (sample/, staged at build time with its pictures and program)
// through the real setup.exe in a prefix of its own, quietly, the way a user's
// machine goes through it: install 1.0, update to 1.1, reconfigure through the
// registered copy, then the registered uninstall command; and through the whole
// wizard as a user clicks it, once in English (after a look at German) and once in
// German, each page checked against the texts of its language. After the uninstall
// nothing of the product is left but the running copy's deletion at the restart.
#include "tests/e2e/InstallFixture.h"
#include "tests/support/GuiDriver.h"
#include "tests/support/LockerProcess.h"
#include "tests/support/Narrow.h"
#include "common/tools/ScopedHandle.h"
#include "common/win32/Wow64.h"
#include "setup/res/resource.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <future>
#include <string>
#include <thread>
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

// ---- the wizard as a user sees it ----

// What the sample's wizard says in one language (sample/package/<language>/setup.xml).
struct SWizardTexts
{
    std::wstring title;
    std::wstring next, back, cancel;
    std::wstring languageLabel;
    std::wstring licenceCaption, licenceAccept, licenceHeading;
    std::wstring destinationGroup, destinationSummary, browse;
    std::wstring requiredSpace, freeSpace;  // the labels before the figures
    std::vector<std::wstring> units;        // what a figure ends in, smallest first
    std::wstring componentsLabel;
    std::vector<std::wstring> components;   // the tree's captions, from the top
    std::wstring toolbarText, toolbarCheck;
    std::wstring installText, installButton;
    std::wstring finishGroup, finishText, restartText, restartNow, restartLater, finishButton;
};

const SWizardTexts kEnglish = {
    L"Sample Document Editor Setup",
    L"&Next >", L"< &Back", L"Cancel",
    L"Choose the language of Sample Document Editor:",
    L"Please read the following licence agreement carefully.", L"I &accept the terms of the licence agreement",
    L"SAMPLE DOCUMENT EDITOR - END-USER LICENCE AGREEMENT",
    L"Destination folder",
    L"Setup will install Sample Document Editor in the following folder.%NL%%NL%To install in a different folder, "
    L"click Browse and select another folder.",
    L"B&rowse...",
    L"Space required: ", L"Space available: ",
    {L"bytes", L"KB", L"MB", L"GB", L"TB"},
    L"Choose the components you want to install:",
    {L"Sample Document Editor (required)", L"Extras", L"User manual", L"Spelling checker"},
    L"Sample Document Editor can add a toolbar to your word processor, so that documents open in the editor with "
    L"one click.%NL%%NL%The toolbar is optional: you can add or remove it later.",
    L"Add the Sample Document Editor &toolbar",
    L"Setup is ready to install Sample Document Editor on this computer.%NL%%NL%Click Install to begin, or Back to "
    L"change your choices.",
    L"&Install",
    L"Setup is complete",
    L"Sample Document Editor has been installed.%NL%%NL%You can start it from the Start menu.",
    L"Windows must restart to finish the setup. Save your work in other programs before restarting.",
    L"&Restart Windows now", L"Restart &later",
    L"&Finish",
};

const SWizardTexts kGerman = {
    L"Setup von Sample Document Editor",
    L"&Weiter >", L"< &Zur\u00fcck", L"Abbrechen",
    L"W\u00e4hlen Sie die Sprache von Sample Document Editor:",
    L"Bitte lesen Sie den folgenden Lizenzvertrag sorgf\u00e4ltig durch.",
    L"Ich &akzeptiere die Bedingungen des Lizenzvertrags",
    L"SAMPLE DOCUMENT EDITOR - ENDBENUTZER-LIZENZVERTRAG",
    L"Zielordner",
    L"Sample Document Editor wird in den folgenden Ordner installiert.%NL%%NL%Um in einen anderen Ordner zu "
    L"installieren, klicken Sie auf Durchsuchen und w\u00e4hlen einen anderen Ordner.",
    L"&Durchsuchen...",
    L"Ben\u00f6tigter Speicherplatz: ", L"Verf\u00fcgbarer Speicherplatz: ",
    {L"Byte", L"KB", L"MB", L"GB", L"TB"},
    L"W\u00e4hlen Sie die Komponenten, die installiert werden sollen:",
    {L"Sample Document Editor (erforderlich)", L"Zus\u00e4tze", L"Benutzerhandbuch", L"Rechtschreibpr\u00fcfung"},
    L"Sample Document Editor kann Ihrem Textverarbeitungsprogramm eine Symbolleiste hinzuf\u00fcgen, damit sich "
    L"Dokumente mit einem Klick im Editor \u00f6ffnen.%NL%%NL%Die Symbolleiste ist optional: Sie k\u00f6nnen sie "
    L"sp\u00e4ter hinzuf\u00fcgen oder entfernen.",
    L"&Symbolleiste von Sample Document Editor hinzuf\u00fcgen",
    L"Sample Document Editor kann jetzt auf diesem Computer installiert werden.%NL%%NL%Klicken Sie auf "
    L"Installieren, um zu beginnen, oder auf Zur\u00fcck, um Ihre Auswahl zu \u00e4ndern.",
    L"&Installieren",
    L"Setup ist abgeschlossen",
    L"Sample Document Editor wurde installiert.%NL%%NL%Sie k\u00f6nnen es \u00fcber das Startmen\u00fc starten.",
    L"Windows muss neu gestartet werden, um das Setup abzuschlie\u00dfen. Speichern Sie vorher Ihre Arbeit in "
    L"anderen Programmen.",
    L"Windows jetzt &neu starten", L"&Sp\u00e4ter neu starten",
    L"&Fertig stellen",
};

// The package's InstallSize, 2.5 MB. The decimal separator is read once in a run,
// from the document of the language setup starts in, and kept: here that is English
// (the prefix's user language), so a run switched to German still shows the point.
const wchar_t kRequiredFigure[] = L"2.5 MB";

// A caption as the page shows it, "%NL%" a line break, and a page's text: both
// with the line feeds of their breaks only (under Wine the carriage returns that
// setup puts after them do not come back from the control).
std::wstring Shown(std::wstring caption)
{
    for (size_t at = caption.find(L"%NL%"); at != std::wstring::npos; at = caption.find(L"%NL%", at + 1))
        caption.replace(at, 4, L"\n");
    return caption;
}

std::wstring TextOf(const CGuiDriver& driver, HWND page, int control)
{
    std::wstring text = driver.ControlText(page, control);
    text.erase(std::remove(text.begin(), text.end(), L'\r'), text.end());
    return text;
}

// A size as the destination page writes it: a whole number of the smallest unit,
// or one decimal after the point of a larger one.
::testing::AssertionResult IsFigure(const std::wstring& figure, const std::vector<std::wstring>& units)
{
    const size_t blank = figure.rfind(L' ');
    if (blank == std::wstring::npos || blank == 0)
        return ::testing::AssertionFailure() << "no figure with a unit: '" << Narrow(figure) << "'";
    const std::wstring number = figure.substr(0, blank);
    const auto unit = std::find(units.begin(), units.end(), figure.substr(blank + 1));
    if (unit == units.end())
        return ::testing::AssertionFailure() << "not a unit of the language: '" << Narrow(figure) << "'";
    const size_t point = number.find(L'.');
    const std::wstring whole = number.substr(0, point);
    const std::wstring fraction = point == std::wstring::npos ? std::wstring() : number.substr(point + 1);
    const auto digits = [](const std::wstring& part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; });
    };
    const bool decimal = unit != units.begin();
    if (!digits(whole) || (decimal ? fraction.size() != 1 || !digits(fraction) : point != std::wstring::npos))
        return ::testing::AssertionFailure() << "not a figure: '" << Narrow(figure) << "'";
    return ::testing::AssertionSuccess();
}

// A block of memory in setup's process, for the tree messages whose argument
// points to a structure: the tree reads and writes it in its own address space.
class CRemoteBlock
{
public:
    CRemoteBlock(DWORD processId, SIZE_T size)
        : m_process(::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId))
    {
        if (m_process.IsValid())
            m_pAddress = ::VirtualAllocEx(m_process.Get(), nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~CRemoteBlock()
    {
        if (m_pAddress != nullptr)
            ::VirtualFreeEx(m_process.Get(), m_pAddress, 0, MEM_RELEASE);
    }
    CRemoteBlock(const CRemoteBlock&) = delete;
    CRemoteBlock& operator=(const CRemoteBlock&) = delete;

    BYTE* Address() const { return static_cast<BYTE*>(m_pAddress); }
    bool Write(const void* data, SIZE_T size, SIZE_T offset = 0) const
    {
        return m_pAddress != nullptr && ::WriteProcessMemory(m_process.Get(), Address() + offset, data, size, nullptr);
    }
    bool Read(void* data, SIZE_T size, SIZE_T offset = 0) const
    {
        return m_pAddress != nullptr && ::ReadProcessMemory(m_process.Get(), Address() + offset, data, size, nullptr);
    }

private:
    Common::Tools::CScopedHandle m_process;
    void* m_pAddress = nullptr;
};

// The components tree of setup's page, read and clicked from the test.
class CTreeProbe
{
public:
    CTreeProbe(DWORD processId, HWND tree) : m_tree(tree), m_block(processId, 4096) {}

    HWND Window() const { return m_tree; }

    // Every item, parents before their children, as the tree shows them.
    std::vector<HTREEITEM> Items() const
    {
        std::vector<HTREEITEM> items;
        AddFrom(Next(nullptr, TVGN_ROOT), items);
        return items;
    }

    std::wstring Caption(HTREEITEM item) const
    {
        wchar_t text[256] = {};
        TVITEMW query = {};
        query.mask = TVIF_TEXT | TVIF_HANDLE;
        query.hItem = item;
        query.pszText = reinterpret_cast<wchar_t*>(m_block.Address() + sizeof(query));
        query.cchTextMax = 255;
        if (!m_block.Write(&query, sizeof(query)) || !m_block.Write(text, sizeof(text), sizeof(query)) ||
            !Send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(m_block.Address())) ||
            !m_block.Read(text, sizeof(text) - sizeof(wchar_t), sizeof(query)))
            return std::wstring();
        return text;
    }

    // 0 no box; 1 unchecked, 2 checked, 3 mixed; 4 more when disabled.
    int StateImage(HTREEITEM item) const
    {
        DWORD_PTR state = 0;
        Send(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item), TVIS_STATEIMAGEMASK, &state);
        return static_cast<int>((state & TVIS_STATEIMAGEMASK) >> 12);
    }

    HTREEITEM Selected() const { return Next(nullptr, TVGN_CARET); }

    // The middle of the item's check box, in the tree's client area: it stands
    // left of the caption. Null point when the tree does not place it there.
    POINT StateImageCentre(HTREEITEM item) const
    {
        // The message takes the item in the place of the rectangle it fills.
        RECT rect = {};
        POINT centre = {};
        if (!m_block.Write(&item, sizeof(item)) ||
            !Send(TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(m_block.Address())) ||
            !m_block.Read(&rect, sizeof(rect)))
            return centre;
        const POINT guess = {rect.left - 8, (rect.top + rect.bottom) / 2};
        TVHITTESTINFO hit = {};
        hit.pt = guess;
        if (!m_block.Write(&hit, sizeof(hit)) ||
            !Send(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(m_block.Address())) || !m_block.Read(&hit, sizeof(hit)))
            return centre;
        if (hit.hItem == item && (hit.flags & TVHT_ONITEMSTATEICON) != 0)
            centre = guess;
        return centre;
    }

    // Posts the user's input, then a selection of 'marker' (another item than the
    // selected one) behind it, and waits until the tree has taken the marker: the
    // input before it has been handled by then.
    template <typename Input>
    bool Handle(Input input, HTREEITEM marker) const
    {
        if (Selected() == marker)
            return false;
        input();
        ::PostMessageW(m_tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(marker));
        for (int wait = 0; wait < 200; ++wait) {
            if (Selected() == marker)
                return true;
            Sleep(50);
        }
        return false;
    }

    bool WaitForImage(HTREEITEM item, int image) const
    {
        for (int wait = 0; wait < 200 && StateImage(item) != image; ++wait)
            Sleep(50);
        return StateImage(item) == image;
    }

    void PressSpace() const
    {
        ::PostMessageW(m_tree, WM_KEYDOWN, VK_SPACE, 0);
        ::PostMessageW(m_tree, WM_KEYUP, VK_SPACE, 0);
    }

    void Click(POINT point) const
    {
        ::PostMessageW(m_tree, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(point.x, point.y));
        ::PostMessageW(m_tree, WM_LBUTTONUP, 0, MAKELPARAM(point.x, point.y));
    }

    void Select(HTREEITEM item) const { Send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)); }

private:
    bool Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr) const
    {
        DWORD_PTR ignored = 0;
        return SendMessageTimeoutW(m_tree, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000,
                                   result != nullptr ? result : &ignored) != 0;
    }

    HTREEITEM Next(HTREEITEM item, WPARAM how) const
    {
        DWORD_PTR next = 0;
        Send(TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item), &next);
        return reinterpret_cast<HTREEITEM>(next);
    }

    void AddFrom(HTREEITEM item, std::vector<HTREEITEM>& items) const
    {
        for (; item != nullptr; item = Next(item, TVGN_NEXT)) {
            items.push_back(item);
            AddFrom(Next(item, TVGN_CHILD), items);
        }
    }

    HWND m_tree;
    CRemoteBlock m_block;
};

// The state images of the sample's tree: checked and disabled (the program), and
// those of an enabled item.
const int kImageUnchecked = 1;
const int kImageChecked = 2;
const int kImageMixed = 3;
const int kImageCheckedDisabled = 6;

// Watches for the end of the session a restart begins: Wine's restart asks every
// top-level window of the prefix (WM_QUERYENDSESSION) and then ends its process.
// The window declines, so a restart that comes by mistake stops at it.
class CEndSessionWitness
{
public:
    CEndSessionWitness()
    {
        std::promise<HWND> made;
        std::future<HWND> window = made.get_future();
        m_thread = std::thread([this, &made]() {
            WNDCLASSW type = {};
            type.lpfnWndProc = &CEndSessionWitness::Procedure;
            type.hInstance = ::GetModuleHandleW(nullptr);
            type.lpszClassName = L"SampleProductEndSessionWitness";
            ::RegisterClassW(&type);
            HWND window = ::CreateWindowExW(0, type.lpszClassName, L"", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                                            type.hInstance, nullptr);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
            made.set_value(window);
            MSG message;
            while (window != nullptr && ::GetMessageW(&message, nullptr, 0, 0) > 0)
                ::DispatchMessageW(&message);
        });
        m_window = window.get();
    }
    ~CEndSessionWitness()
    {
        if (m_window != nullptr)
            ::PostMessageW(m_window, WM_CLOSE, 0, 0);
        m_thread.join();
    }
    CEndSessionWitness(const CEndSessionWitness&) = delete;
    CEndSessionWitness& operator=(const CEndSessionWitness&) = delete;

    bool Watching() const { return m_window != nullptr; }
    int Requests() const { return m_nRequests.load(); }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        auto* self = reinterpret_cast<CEndSessionWitness*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
        switch (message) {
        case WM_QUERYENDSESSION:
            if (self != nullptr)
                ++self->m_nRequests;
            return FALSE;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            return ::DefWindowProcW(window, message, wParam, lParam);
        }
    }

    std::thread m_thread;
    HWND m_window = nullptr;
    std::atomic<int> m_nRequests{0};
};

// Clicks the button and waits until the page has gone, so that the next wait finds
// the next page and not this one.
void Leave(const CGuiDriver& driver, HWND page, int button)
{
    EXPECT_TRUE(driver.Click(page, button)) << button;
    EXPECT_TRUE(driver.WaitGone(page)) << button;
}

// The page's title and the buttons at its foot: Next (or another caption of the
// default button), Back unless it is the first page (which has none), and Cancel.
void ExpectButtons(const CGuiDriver& driver, HWND page, const SWizardTexts& texts, const std::wstring& next,
                   bool back = true)
{
    EXPECT_EQ(texts.title, driver.Title(page));
    EXPECT_EQ(next, driver.ControlText(page, IDOK));
    EXPECT_EQ(back, driver.IsControlVisible(page, IDC_BACK));
    EXPECT_EQ(back ? texts.back : std::wstring(), driver.ControlText(page, IDC_BACK));
    EXPECT_EQ(texts.cancel, driver.ControlText(page, IDCANCEL));
}

// The page that holds the control, once it is shown, with its title and buttons
// checked; null when it never comes.
HWND ShownPage(const CGuiDriver& driver, int control, const SWizardTexts& texts, const std::wstring& next,
               bool back = true)
{
    HWND page = driver.WaitFor(SWindowMatch::Dialog(control));
    if (page != nullptr)
        ExpectButtons(driver, page, texts, next, back);
    return page;
}

// Each page of the sample's wizard: waited for, then its texts in the language.
HWND LanguagePage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_LANG_0, texts, texts.next, false);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(texts.languageLabel, driver.ControlText(page, IDC_LANG_LABEL));
    EXPECT_EQ(L"English", driver.ControlText(page, IDC_LANG_0));
    EXPECT_EQ(L"Deutsch", driver.ControlText(page, IDC_LANG_1));
    EXPECT_FALSE(driver.IsControlVisible(page, IDC_LANG_2));
    return page;
}

HWND LicencePage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_LICENCE_ACCEPT, texts, texts.next);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(texts.licenceCaption, driver.ControlText(page, IDC_LICENCE_CAPTION));
    EXPECT_EQ(texts.licenceAccept, driver.ControlText(page, IDC_LICENCE_ACCEPT));
    EXPECT_NE(std::wstring::npos, driver.ControlText(page, IDC_LICENCE_TEXT).find(texts.licenceHeading));
    EXPECT_FALSE(driver.IsControlEnabled(page, IDOK)) << "not before the licence is accepted";
    return page;
}

void AcceptLicence(const CGuiDriver& driver, HWND page)
{
    EXPECT_TRUE(driver.Click(page, IDC_LICENCE_ACCEPT));
    // The page enables Next when it has taken the posted click.
    for (int wait = 0; wait < 200 && !driver.IsControlEnabled(page, IDOK); ++wait)
        Sleep(50);
    Leave(driver, page, IDOK);
}

HWND DestinationPage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_DEST_FOLDER, texts, texts.next);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(texts.destinationGroup, driver.ControlText(page, IDC_DEST_GROUP));
    EXPECT_EQ(Shown(texts.destinationSummary), TextOf(driver, page, IDC_DEST_SUMMARY));
    EXPECT_EQ(texts.browse, driver.ControlText(page, IDC_DEST_BROWSE));
    EXPECT_EQ(TargetDir(), driver.ControlText(page, IDC_DEST_FOLDER));
    const std::wstring required = driver.ControlText(page, IDC_DEST_REQUIRED);
    EXPECT_EQ(texts.requiredSpace + kRequiredFigure, required);
    EXPECT_TRUE(IsFigure(required.substr(std::min(required.size(), texts.requiredSpace.size())), texts.units));
    const std::wstring free = driver.ControlText(page, IDC_DEST_FREE);
    EXPECT_EQ(0u, free.find(texts.freeSpace)) << Narrow(free);
    EXPECT_TRUE(IsFigure(free.substr(std::min(free.size(), texts.freeSpace.size())), texts.units));
    return page;
}

HWND ComponentsPage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_COMPONENTS_TREE, texts, texts.next);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(texts.componentsLabel, driver.ControlText(page, IDC_COMPONENTS_LABEL));
    const CTreeProbe tree(driver.ProcessId(), ::GetDlgItem(page, IDC_COMPONENTS_TREE));
    std::vector<std::wstring> captions;
    for (HTREEITEM item : tree.Items())
        captions.push_back(tree.Caption(item));
    EXPECT_EQ(texts.components, captions);
    return page;
}

HWND ToolbarPage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_TOOLBAR_CHECK, texts, texts.next);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(Shown(texts.toolbarText), TextOf(driver, page, IDC_TOOLBAR_TEXT));
    EXPECT_EQ(texts.toolbarCheck, driver.ControlText(page, IDC_TOOLBAR_CHECK));
    EXPECT_EQ(BST_CHECKED, driver.CheckState(page, IDC_TOOLBAR_CHECK)) << "the offer starts ticked";
    return page;
}

HWND InstallPage(const CGuiDriver& driver, const SWizardTexts& texts)
{
    HWND page = ShownPage(driver, IDC_INSTALL_TEXT, texts, texts.installButton);
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(Shown(texts.installText), TextOf(driver, page, IDC_INSTALL_TEXT));
    return page;
}

// The finish page; with a restart due it offers it, checked, and says why.
HWND FinishPage(const CGuiDriver& driver, const SWizardTexts& texts, bool restartDue)
{
    HWND page = driver.WaitFor(SWindowMatch::Dialog(IDC_FINISH_TEXT));
    if (page == nullptr)
        return nullptr;
    EXPECT_EQ(texts.title, driver.Title(page));
    EXPECT_EQ(texts.finishButton, driver.ControlText(page, IDOK));
    EXPECT_FALSE(driver.IsControlVisible(page, IDC_BACK));
    EXPECT_FALSE(driver.IsControlVisible(page, IDCANCEL));
    EXPECT_EQ(Shown(texts.finishText), TextOf(driver, page, IDC_FINISH_TEXT));
    EXPECT_EQ(texts.finishGroup, driver.ControlText(page, IDC_FINISH_GROUP));
    EXPECT_EQ(texts.restartNow, driver.ControlText(page, IDC_FINISH_RESTART));
    EXPECT_EQ(texts.restartLater, driver.ControlText(page, IDC_FINISH_NORESTART));
    EXPECT_EQ(restartDue ? texts.restartText : std::wstring(), driver.ControlText(page, IDC_FINISH_RESTART_TEXT));
    for (int control : {IDC_FINISH_GROUP, IDC_FINISH_RESTART_TEXT, IDC_FINISH_RESTART, IDC_FINISH_NORESTART})
        EXPECT_EQ(restartDue, driver.IsControlVisible(page, control)) << control;
    EXPECT_EQ(restartDue ? BST_CHECKED : BST_UNCHECKED, driver.CheckState(page, IDC_FINISH_RESTART));
    EXPECT_EQ(BST_UNCHECKED, driver.CheckState(page, IDC_FINISH_NORESTART));
    return page;
}

// The registered uninstall command, run quietly as Programs and Features runs it.
SProcessRun RunTheRegisteredUninstall()
{
    const std::wstring command = RecordText(L"UninstallString");
    EXPECT_EQ(L"\"" + UninstallFolder() + L"\\" + kProduct + L".exe\" /X" + kProduct, command);
    const size_t quote = command.find(L'"', 1);
    if (command.empty() || command.front() != L'"' || quote == std::wstring::npos || quote + 2 > command.size()) {
        ADD_FAILURE() << "no uninstall command: " << Narrow(command);
        return SProcessRun();
    }
    TestSupport::SProcessOptions options;
    options.timeoutMs = 120000;
    return TestSupport::RunProcess(command.substr(1, quote - 1), {command.substr(quote + 2), L"/qn"}, options);
}

// The English walk: German picked once and left with Back, then English to the
// end, a typed folder, the mandatory program tried in vain, the spelling checker
// ticked, the toolbar declined. "/forcerestart" makes the finish page offer the
// restart; the user takes "later".
TEST_F(SampleProduct, TheWizardInBothLanguagesInstallsToATypedFolderAndTheUninstallLeavesOnlyItsCopy)
{
    const std::wstring typed = L"C:\\Typed Editor";
    const CEndSessionWitness witness;
    ASSERT_TRUE(witness.Watching());
    SProcessRun install;
    RunWithWindows(install, {L"/i", m_strPackage, L"/forcerestart"}, [&](const CGuiDriver& driver) {
        // ---- the language page: German first, then back to English ----
        HWND page = LanguagePage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(BST_CHECKED, driver.CheckState(page, IDC_LANG_0));
        EXPECT_TRUE(driver.Click(page, IDC_LANG_1));
        Leave(driver, page, IDOK);

        page = LicencePage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDC_BACK);

        page = LanguagePage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(BST_CHECKED, driver.CheckState(page, IDC_LANG_1));
        EXPECT_TRUE(driver.Click(page, IDC_LANG_0));
        Leave(driver, page, IDOK);

        // ---- licence, in English again ----
        page = LicencePage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        AcceptLicence(driver, page);

        // ---- destination: a folder of the user's own ----
        page = DestinationPage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        EXPECT_TRUE(driver.Type(page, IDC_DEST_FOLDER, typed));
        Leave(driver, page, IDOK);

        // ---- components: the program stays, the spelling checker ticked ----
        page = ComponentsPage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        const CTreeProbe tree(driver.ProcessId(), ::GetDlgItem(page, IDC_COMPONENTS_TREE));
        const std::vector<HTREEITEM> items = tree.Items();
        ASSERT_EQ(4u, items.size());
        const HTREEITEM program = items[0], extras = items[1], manual = items[2], spellCheck = items[3];
        EXPECT_EQ((std::vector<int>{kImageCheckedDisabled, kImageMixed, kImageChecked, kImageUnchecked}),
                  (std::vector<int>{tree.StateImage(program), tree.StateImage(extras), tree.StateImage(manual),
                                    tree.StateImage(spellCheck)}));
        // Space on the selected program, then a click on its box: it is required.
        tree.Select(program);
        EXPECT_TRUE(tree.Handle([&]() { tree.PressSpace(); }, extras));
        EXPECT_EQ(kImageCheckedDisabled, tree.StateImage(program)) << "after space";
        const POINT box = tree.StateImageCentre(program);
        EXPECT_NE(0, box.x) << "the program's box is not left of its caption";
        EXPECT_TRUE(tree.Handle([&]() { tree.Click(box); }, spellCheck));
        EXPECT_EQ(kImageCheckedDisabled, tree.StateImage(program)) << "after a click on its box";
        // Space on the selected spelling checker ticks it.
        tree.PressSpace();
        EXPECT_TRUE(tree.WaitForImage(spellCheck, kImageChecked));
        EXPECT_EQ(kImageChecked, tree.StateImage(extras)) << "all of its items ticked";
        Leave(driver, page, IDOK);

        // ---- toolbar: the offer declined ----
        page = ToolbarPage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        EXPECT_TRUE(driver.Click(page, IDC_TOOLBAR_CHECK));
        Leave(driver, page, IDOK);

        // ---- install ----
        page = InstallPage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);

        // ---- no applications to close: nothing of the package runs, so the lock
        // check goes on without showing its page ----
        // ---- finish: the restart offered, and put off ----
        page = FinishPage(driver, kEnglish, true);
        ASSERT_NE(nullptr, page);
        EXPECT_EQ(nullptr, driver.Find(SWindowMatch::Dialog(IDC_LOCK_LIST)));
        EXPECT_TRUE(driver.Click(page, IDC_FINISH_NORESTART));
        for (int wait = 0; wait < 200 && driver.CheckState(page, IDC_FINISH_RESTART) != BST_UNCHECKED; ++wait)
            Sleep(50);
        // Finish only once the restart is off: a restart would end the prefix's programs.
        ASSERT_EQ(BST_UNCHECKED, driver.CheckState(page, IDC_FINISH_RESTART));
        ASSERT_EQ(BST_CHECKED, driver.CheckState(page, IDC_FINISH_NORESTART));
        Leave(driver, page, IDOK);
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(install.finished);
    const std::vector<std::string> installLines = install.TraceLines();
    ASSERT_EQ(0u, install.exitCode) << Joined(installLines);
    EXPECT_TRUE(HasLine(installLines, "Setup: InstallManager : CInstallManager::LockCheck >")) << Joined(installLines);
    for (const std::string& line : installLines)
        EXPECT_EQ(std::string::npos, line.find("Need to close")) << line;
    EXPECT_TRUE(HasLine(installLines, "Setup: m_bRestart = 1, m_bNeedRestartByFiles = 0")) << Joined(installLines);

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
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Toolbar").found) << "the toolbar declined";
    EXPECT_EQ(E2E::StringData(typed + L"\\Templates"), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Templates").data);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"RestartPending").found)
        << "PostFinish saw the restart put off";
    EXPECT_EQ(L"en", RecordText(L"LanguageID")) << "the language chosen last";
    EXPECT_EQ(typed, RecordText(L"InstallLocation"));

    // ---- the registered uninstall command, quietly ----
    const SProcessRun run = RunTheRegisteredUninstall();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ExpectOnlyTheUninstallersDeletionLeft(typed, run.TraceLines());
    // By now a restart asked for at the finish would have reached this window.
    EXPECT_EQ(0, witness.Requests()) << "no restart";
}

// The German walk: every page in German, the offered folder and components taken.
// Nothing is due for a restart, so the finish page offers none.
TEST_F(SampleProduct, TheWizardInGermanShowsEveryPageInGermanAndInstallsWhatItOffers)
{
    SProcessRun install;
    RunWithWindows(install, {L"/i", m_strPackage, L"/norestart"}, [&](const CGuiDriver& driver) {
        HWND page = LanguagePage(driver, kEnglish);
        ASSERT_NE(nullptr, page);
        EXPECT_TRUE(driver.Click(page, IDC_LANG_1));
        Leave(driver, page, IDOK);

        page = LicencePage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        AcceptLicence(driver, page);

        page = DestinationPage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);

        page = ComponentsPage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);

        page = ToolbarPage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);

        page = InstallPage(driver, kGerman);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);

        page = FinishPage(driver, kGerman, false);
        ASSERT_NE(nullptr, page);
        Leave(driver, page, IDOK);
    });
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(install.finished);
    const std::vector<std::string> installLines = install.TraceLines();
    ASSERT_EQ(0u, install.exitCode) << Joined(installLines);
    EXPECT_TRUE(HasLine(installLines, "Setup: m_bRestart = 0, m_bNeedRestartByFiles = 0")) << Joined(installLines);

    const std::wstring target = TargetDir();
    for (const wchar_t* file : {L"SampleEditor.exe", L"readme.txt", L"settings.ini", L"manual.txt"})
        EXPECT_TRUE(E2E::FileExists(target + L"\\" + file)) << Narrow(file);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"Manual").data);
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kComponentsKey, L"SpellCheck").found);
    EXPECT_EQ(E2E::DwordData(1), E2E::ReadRegValue(HKEY_CURRENT_USER, kUserKey, L"Toolbar").data)
        << "the toolbar taken as offered";
    EXPECT_FALSE(E2E::ReadRegValue(HKEY_LOCAL_MACHINE, kMachineKey, L"RestartPending").found);
    EXPECT_EQ(L"de", RecordText(L"LanguageID"));

    const SProcessRun run = RunTheRegisteredUninstall();
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(0u, run.exitCode);
    ExpectOnlyTheUninstallersDeletionLeft(target, run.TraceLines());
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
