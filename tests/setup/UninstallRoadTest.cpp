// Tests of the uninstall road.
#include "tests/setup/EngineFixture.h"

#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "setup/engine/ExitCodes.h"
#include "tests/setup/RegistrySupport.h"
#include "tests/setup/RemovalSupport.h"
#include "tests/support/GuiDriver.h"

#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

using TestSupport::Bytes;
using TestSupport::ToBytes;
using TestSupport::TraceOf;
using TestSupport::WriteFileBytes;
using namespace RemovalTest;

namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kOtherProduct[] = L"{9E2B7C14-5A3D-4F60-B8E1-2C7D9A4F6B30}";
const wchar_t kExt[] = L".uninstroadtest";
const wchar_t kAlias[] = L"UninstRoadTest.Update";

std::wstring RecordKey(const std::wstring& product)
{
    return kUninstallKey + product;
}

bool KeyExists(HKEY root, const std::wstring& path)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

void DeleteTree(HKEY root, const std::wstring& path)
{
    ::RegDeleteTreeW(root, path.c_str());
    ::RegDeleteKeyW(root, path.c_str());
}

// A record with these string values and a subkey of its own.
void WriteRecord(const std::wstring& product, const std::map<std::wstring, std::wstring>& values)
{
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, (RecordKey(product) + L"\\Extra").c_str(), 0, nullptr,
                                               0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ::RegCloseKey(key);
    ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, RecordKey(product).c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const auto& value : values)
        ::RegSetValueExW(key, value.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                         static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

void WriteAssociation()
{
    for (const std::wstring& key : {std::wstring(kExt), std::wstring(kAlias) + L"\\shell\\open\\command"}) {
        HKEY created = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, ::RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                                   nullptr, &created, nullptr));
        ::RegCloseKey(created);
    }
}

struct SDocument
{
    std::wstring product;
    std::string setupFiles = ">";  // attributes, ">" and groups of SetupFiles
    std::string preFinish = "<SetCond condition='PreFinishRan'/>";
    std::string postFinish = "<SetCond condition='PostFinishRan'/>";
    std::string extra;       // more elements under the root (UninstallScript)
    std::string localize;    // more elements under Localize (pages)
    bool question = true;
};

class UninstallRoadTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        ASSERT_TRUE(m_pending.Succeeded());
        CString self = ::PathFindFileNameW(GetModulePath());
        RemovePathExtension(self);
        m_strSelf = self.Str();
        m_strUninst = m_temp / L"uninst";
        m_strTarget = m_temp / L"Program";
        ::CreateDirectoryW(m_strUninst.c_str(), nullptr);
        GetPathVariables().Define(L"%TestUninstallDir%", m_strUninst.c_str());
    }

    void TearDown() override
    {
        for (const std::wstring& product : {m_strSelf, std::wstring(kOtherProduct)})
            DeleteTree(HKEY_LOCAL_MACHINE, RecordKey(product));
        DeleteTree(HKEY_CLASSES_ROOT, kExt);
        DeleteTree(HKEY_CLASSES_ROOT, kAlias);
        CEngineTest::TearDown();
    }

    // The document of a product whose registered copy is this test program: its
    // base name is the product code.
    SDocument Product() const
    {
        SDocument d;
        d.product = m_strSelf;
        d.extra = "<UninstallScript TargetDir='" + N(m_strTarget) + "'/>";
        return d;
    }

    void Load(const SDocument& d)
    {
        std::string text = "<Interface><InstallInfo ProductID='" + N(d.product) +
                           "' UninstallPath='%TestUninstallDir%' DisplayName='Road Product' UpdateExt='" + N(kExt) +
                           "' UpdateAlias='" + N(kAlias) + "'/>"
                           "<SetupFiles " + d.setupFiles + "</SetupFiles><Localize><Messages>";
        if (d.question)
            text += "<UninstallApp Caption='Remove Road Product?'/>";
        text += "<UninstallFailed Caption='Uninstall failed.'/></Messages>" + d.localize + "</Localize>"
                "<Uninstall><PreFinish>" + d.preFinish + "</PreFinish><PostFinish>" + d.postFinish +
                "</PostFinish></Uninstall>" + d.extra + "</Interface>";
        ASSERT_TRUE(LoadDocument(text));
        g_CmdLine.m_strProductCode = d.product.c_str();
        g_CmdLine.m_nAction = CCmdLineHelper::ActionUninstall;
        g_CmdLine.m_bQuiet = true;
        g_CmdLine.m_nRestartMode = CCmdLineHelper::RestartNever;
        Manager().m_Seams.exitWindows = [this](UINT, DWORD) {
            ++m_nRestarts;
            return TRUE;
        };
        Manager().m_Seams.startUninstaller = [this](const wchar_t* command) { m_started.push_back(command); };
        Manager().m_Seams.isAdmin = [this] {
            ++m_nAdminChecks;
            return m_bAdmin;
        };
    }

    void WriteInstalledRecord(const std::wstring& location)
    {
        WriteRecord(m_strSelf, {{L"InstallLocation", location},
                                {L"UninstallString", m_strUninst + L"\\" + m_strSelf + L".exe /X" + m_strSelf}});
    }

    bool Condition(const wchar_t* name) const
    {
        const auto& conditions = m_pManager->m_SetupOptions.m_Conditions;
        const auto found = conditions.find(name);
        return found != conditions.end() && found->second;
    }

    std::wstring Marker() const { return m_strUninst + L"\\" + m_strSelf; }

    // The defined value (an empty value leaves the text unexpanded).
    std::string TargetDir() const
    {
        const auto& table = GetPathVariables().Table();
        const auto found = table.find(L"%TargetDir%");
        return found == table.end() ? "(undefined)" : N(found->second.m_strValue.Str());
    }

    CPendingScope m_pending;
    std::wstring m_strSelf;
    std::wstring m_strUninst;
    std::wstring m_strTarget;
    std::vector<std::wstring> m_started;
    int m_nRestarts = 0;
    int m_nAdminChecks = 0;
    bool m_bAdmin = true;
};

TEST(HandOverTest, TheRegisteredProgramGetsThisRunsArguments)
{
    struct SCase
    {
        const wchar_t* registered;
        const wchar_t* arguments;
        const wchar_t* command;
    };
    const SCase cases[] = {
        {L"\"C:\\Program Data\\Un\\{A}.exe\" /X{A}", L" /x{A} /qn", L"\"C:\\Program Data\\Un\\{A}.exe\" /x{A} /qn"},
        {L"C:\\Un\\{A}.exe /X{A}", L" /uninstall{A} /qn /norestart", L"C:\\Un\\{A}.exe /uninstall{A} /qn /norestart"},
        {L"C:\\Un\\{A}.exe", L" /x{A}", L"C:\\Un\\{A}.exe /x{A}"},
    };
    for (const SCase& c : cases)
        EXPECT_EQ(CString(c.command), HandOverCommand(c.registered, c.arguments)) << N(c.registered);
    // Too long for the platform's edit: no command rather than a cut one.
    EXPECT_EQ(CString(), HandOverCommand(CString(L'x', MAX_PATH + 5), L" /x{A}"));
}

TEST(HandOverTest, TheRegisteredCopyIsKnownByItsNameInAnyCase)
{
    const wchar_t product[] = L"{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}";
    EXPECT_TRUE(IsRegisteredCopy(L"C:\\Un\\{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}.exe", product));
    EXPECT_TRUE(IsRegisteredCopy(L"C:\\Un\\{6b1d2c4e-0f3a-4b5c-9d8e-7a6b5c4d3e21}.EXE", product));
    EXPECT_TRUE(IsRegisteredCopy(L"C:\\Un\\{6B1D2C4E-0F3A-4B5C-9D8E-7A6B5C4D3E21}", product));
    EXPECT_FALSE(IsRegisteredCopy(L"C:\\Downloads\\setup.exe", product));
    EXPECT_FALSE(IsRegisteredCopy(L"C:\\Un\\{00000000-0000-0000-0000-000000000000}.exe", product));
    EXPECT_FALSE(IsRegisteredCopy(L"", L""));
}

TEST_F(UninstallRoadTest, AnotherSetupHandsTheJobOverAndEndsAtOnce)
{
    SDocument d = Product();
    d.product = kOtherProduct;
    Load(d);
    WriteRecord(kOtherProduct, {{L"UninstallString", L"\"C:\\Un Path\\x.exe\" /X" + std::wstring(kOtherProduct)},
                                {L"InstallLocation", m_strTarget}});
    g_CmdLine.m_strCmdLine = L" /x" + CString(kOtherProduct) + L" /qn";
    EXPECT_EQ(SetupExitDone, Manager().Uninstall());
    ASSERT_EQ(1u, m_started.size());
    EXPECT_EQ(L"\"C:\\Un Path\\x.exe\" /x" + std::wstring(kOtherProduct) + L" /qn", m_started[0]);
    // Nothing of the road ran here.
    EXPECT_EQ(0, m_nAdminChecks);
    EXPECT_FALSE(Condition(L"PreFinishRan"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(kOtherProduct)));
}

TEST_F(UninstallRoadTest, AProductWithoutRecordFailsTheHandOver)
{
    SDocument d = Product();
    d.product = kOtherProduct;
    Load(d);
    const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().Uninstall()); });
    EXPECT_TRUE(HasLine(lines, "No uninstaller registered for product " + N(kOtherProduct))) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Installation failed: 0x80004005")) << Joined(lines);
    EXPECT_TRUE(m_started.empty());
    EXPECT_EQ(0, m_nAdminChecks);
}

TEST_F(UninstallRoadTest, TheRegisteredCopyRemovesTheProduct)
{
    SDocument d = Product();
    d.setupFiles = "><G DestPath='%TargetDir%'><F FileName='\\app.exe'/><F FileName='\\lib.dll'/></G>";
    d.preFinish = "<Files Install='false'/><SetCond condition='PreFinishRan'/>";
    WriteFileBytes(m_strTarget + L"\\app.exe", ToBytes("app"));
    WriteFileBytes(m_strTarget + L"\\lib.dll", ToBytes("lib"));
    // The components chosen at the install decide which nodes run.
    WriteFileBytes(m_strUninst + L"\\" + m_strSelf + L".cfg",
                   ToBytes("<Components><item Name='Chosen' Value='true'/><item Name='Dropped' Value='false'/>"
                           "</Components>"));
    d.postFinish = "<SetCond condition='PostFinishRan'/><SetCond condition='Dropped' Value='true'/>";
    Load(d);
    WriteInstalledRecord(L"C:\\elsewhere");
    WriteAssociation();

    const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().Uninstall()); });
    EXPECT_TRUE(HasLine(lines, "Install : CInstallManager::Uninstall >")) << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Clear application install info - successful")) << Joined(lines);
    EXPECT_TRUE(m_started.empty());
    EXPECT_EQ(1, m_nAdminChecks);
    // The uninstall package's folder wins over the record's.
    EXPECT_EQ(N(m_strTarget), TargetDir());
    EXPECT_FALSE(Exists(m_strTarget));
    EXPECT_TRUE(Condition(L"PreFinishRan"));
    EXPECT_TRUE(Condition(L"PostFinishRan"));
    EXPECT_TRUE(Condition(L"Chosen")) << "the stored components were loaded";
    EXPECT_FALSE(Condition(L"Dropped")) << "a stored false keeps its node from running";
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExt));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAlias));
    // Nothing waits for a restart: no marker, no restart.
    EXPECT_FALSE(Exists(Marker()));
    EXPECT_TRUE(PendingDeletions().empty());
    EXPECT_EQ(0, m_nRestarts);
}

TEST_F(UninstallRoadTest, AComponentsFileThatDoesNotReadIsTracedAndTheRoadGoesOn)
{
    const std::wstring components = m_strUninst + L"\\" + m_strSelf + L".cfg";
    const struct {
        const char* name;
        const char* content; // null: no file
    } cases[] = {
        {"no file", nullptr},
        {"not XML", "<Components><item Name='Chosen'"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::DeleteFileW(components.c_str());
        if (c.content != nullptr)
            WriteFileBytes(components, ToBytes(c.content));
        Load(Product());
        WriteInstalledRecord(m_strTarget);
        const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().Uninstall()); });
        EXPECT_TRUE(HasLine(lines, "Components file could not be read: " + N(components))) << Joined(lines);
        EXPECT_TRUE(Condition(L"PreFinishRan"));
        EXPECT_TRUE(Condition(L"PostFinishRan"));
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    }
    ::DeleteFileW(components.c_str());
}

TEST_F(UninstallRoadTest, DelayedFilesLeaveTheMarkerAndTheNextInstallWaitsForTheRestart)
{
    for (int mode : {CCmdLineHelper::RestartNever, CCmdLineHelper::RestartDefault}) {
        SCOPED_TRACE(mode);
        SDocument d = Product();
        d.setupFiles = "ForcedDelayCopy='true'><G DestPath='%TargetDir%'><F FileName='app.exe'/></G>";
        d.preFinish = "<Files Install='false'/>";
        WriteFileBytes(m_strTarget + L"\\app.exe", ToBytes("app"));
        Load(d);
        g_CmdLine.m_nRestartMode = mode;
        WriteInstalledRecord(m_strTarget);
        m_nRestarts = 0;
        EXPECT_EQ(SetupExitDone, Manager().Uninstall());
        EXPECT_TRUE(Exists(m_strTarget + L"\\app.exe"));
        ASSERT_TRUE(Exists(Marker()));
        EXPECT_TRUE(TestSupport::ReadFileBytes(Marker()).empty());
        EXPECT_GT(PendingIndex(Marker()), PendingIndex(m_strTarget + L"\\app.exe")) << "the marker goes at the restart";
        EXPECT_EQ(mode == CCmdLineHelper::RestartNever ? 0 : 1, m_nRestarts);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    }

    // The same product's install package now waits for the restart.
    SDocument install = Product();
    install.extra.clear();
    Load(install);
    const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitStopped, Manager().Install()); });
    EXPECT_TRUE(HasLine(lines, "Reboot required before install: yes")) << Joined(lines);
}

TEST_F(UninstallRoadTest, TheMarkerIsWrittenOnlyWhenFilesWaitForTheRestart)
{
    struct SCase
    {
        bool byFiles;
        bool delayed;
    };
    for (const SCase& c : {SCase{false, false}, SCase{true, false}, SCase{false, true}, SCase{true, true}}) {
        SCOPED_TRACE(std::to_string(c.byFiles) + std::to_string(c.delayed));
        Load(Product());
        Manager().m_bNeedRestartByFiles = c.byFiles;
        Manager().m_bDelayedMode = c.delayed;
        const auto lines = TraceOf([&] { Manager().AddRebootRequiredMarker(); });
        const bool expected = c.byFiles || c.delayed;
        EXPECT_EQ(expected, Exists(Marker()));
        EXPECT_EQ(expected, IsPending(Marker()));
        EXPECT_EQ(expected, HasLine(lines, "Delay remove: '" + N(Marker()) + "'")) << Joined(lines);
        EXPECT_EQ(c.byFiles, Manager().m_bNeedRestartByFiles) << "the marker asks for no restart of its own";
        ::DeleteFileW(Marker().c_str());
    }

    // A folder that is gone: reported, not made.
    Load(Product());
    Manager().m_bDelayedMode = true;
    ::RemoveDirectoryW(m_strUninst.c_str());
    const auto lines = TraceOf([&] { Manager().AddRebootRequiredMarker(); });
    EXPECT_TRUE(HasLine(lines, "AddRebootRequiredMarker - failed")) << Joined(lines);
    EXPECT_FALSE(Exists(m_strUninst));
}

// An uninstall folder that the current drive or a drive's current folder would
// complete gets no marker: the next install would not look for it there.
TEST_F(UninstallRoadTest, AMarkerFolderThatIsNotAFullPathGetsNoMarker)
{
    // Both spellings name the uninstall folder once the drive's root is current.
    const std::wstring drive = m_strUninst.substr(0, 2);
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW((drive + L"\\").c_str()));
    for (const std::wstring& folder : {m_strUninst.substr(2), drive + m_strUninst.substr(3)}) {
        SCOPED_TRACE(N(folder));
        ASSERT_TRUE(GetPathVariables().Define(L"%TestUninstallDir%", folder.c_str()));
        Load(Product());
        Manager().m_bDelayedMode = true;
        const auto lines = TraceOf([&] { Manager().AddRebootRequiredMarker(); });
        EXPECT_TRUE(HasLine(lines, "AddRebootRequiredMarker - failed")) << Joined(lines);
        EXPECT_FALSE(Exists(Marker()));
        EXPECT_FALSE(IsPending(Marker()));
    }
    ::SetCurrentDirectoryW(before);
}

TEST_F(UninstallRoadTest, OnlyANoToTheQuestionKeepsTheProduct)
{
    struct SCase
    {
        const char* name;
        bool question;
        int answer; // 0: no box is expected
        int exitCode;
        bool removed;
    };
    const SCase cases[] = {
        {"No", true, IDNO, SetupExitStopped, false},
        {"Yes", true, IDYES, SetupExitDone, true},
        // A package without the question has nothing to ask: the uninstall goes on.
        {"no question in the package", false, 0, SetupExitDone, true},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SDocument d = Product();
        d.question = c.question;
        d.localize = "<DlgFinish Enable='false'/>"; // the road's last page would wait for a click
        Load(d);
        WriteInstalledRecord(m_strTarget);
        g_CmdLine.m_bQuiet = false;
        TestSupport::SWindowInfo seen;
        bool answered = false;
        std::thread user([&] {
            if (c.answer == 0)
                return;
            TestSupport::CGuiDriver driver(::GetCurrentProcessId(), 20000);
            answered = driver.AnswerMessageBox(c.answer, &seen);
        });
        int code = -1;
        const auto lines = TraceOf([&] { code = Manager().Uninstall(); });
        user.join();
        EXPECT_EQ(c.answer != 0, answered);
        EXPECT_EQ(c.exitCode, code) << Joined(lines);
        EXPECT_EQ(c.answer != 0, std::find(seen.childTexts.begin(), seen.childTexts.end(), L"Remove Road Product?") !=
                                     seen.childTexts.end());
        EXPECT_EQ(c.removed, Condition(L"PreFinishRan"));
        EXPECT_EQ(c.removed, !KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
        EXPECT_EQ(!c.removed, HasLineStarting(lines, "Uninstall declined")) << Joined(lines);
    }
}

TEST_F(UninstallRoadTest, RefusalsAndStopsLeaveTheProductInstalled)
{
    struct SCase
    {
        const char* name;
        bool admin;
        std::string preFinish;
        int exitCode;
    };
    const SCase cases[] = {
        {"not an administrator", false, "<SetCond condition='PreFinishRan'/>", SetupExitRefused},
        {"Break in the script", true, "<Break/><SetCond condition='PreFinishRan'/>", SetupExitStopped},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SDocument d = Product();
        d.preFinish = c.preFinish;
        Load(d);
        WriteInstalledRecord(m_strTarget);
        m_bAdmin = c.admin;
        EXPECT_EQ(c.exitCode, Manager().Uninstall());
        EXPECT_FALSE(Condition(L"PreFinishRan"));
        EXPECT_FALSE(Condition(L"PostFinishRan"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    }
}

TEST_F(UninstallRoadTest, TheInstallFolderComesFromThePackageOrTheRecord)
{
    const std::wstring windows = [] {
        wchar_t path[MAX_PATH] = {};
        ::GetWindowsDirectoryW(path, MAX_PATH);
        return std::wstring(path);
    }();
    const std::wstring fromRecord = m_temp / L"Recorded";
    struct SCase
    {
        const char* name;
        std::string script;    // the UninstallScript element, if any
        std::wstring location; // the record's InstallLocation; empty: none
        bool ok;
        std::wstring dir;
    };
    const SCase cases[] = {
        {"package", "<UninstallScript TargetDir='" + N(m_strTarget) + "'/>", fromRecord, true, m_strTarget},
        {"no element", "", fromRecord, true, fromRecord},
        {"no attribute", "<UninstallScript/>", fromRecord, true, fromRecord},
        {"neither", "<UninstallScript/>", L"", false, L""},
        {"record names a root", "", L"C:\\", false, L""},
        {"record names the Windows folder", "", windows, false, L""},
        {"relative", "<UninstallScript TargetDir='..\\Program'/>", L"", false, L""},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        SDocument d = Product();
        d.extra = c.script;
        Load(d);
        if (!c.location.empty())
            WriteInstalledRecord(c.location);
        GetPathVariables().Define(L"%TargetDir%", L"C:\\before");
        std::vector<std::string> lines;
        lines = TraceOf([&] { EXPECT_EQ(c.ok, Manager().ResolveUninstallTargetDir()); });
        EXPECT_EQ(N(c.dir), TargetDir());
        EXPECT_EQ(c.script.empty(), HasLine(lines, "No target directory specified in uninstall script")) << Joined(lines);
        EXPECT_EQ(!c.ok, HasLine(lines, "Can't locate directory where product is installed.")) << Joined(lines);
        DeleteTree(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf));
    }

    // The road stops before any script.
    SDocument d = Product();
    d.extra = "<UninstallScript/>";
    Load(d);
    EXPECT_EQ(SetupExitDone, Manager().Uninstall());
    EXPECT_FALSE(Condition(L"PreFinishRan"));
}

TEST_F(UninstallRoadTest, ClearInstallInfoRemovesTheRecordOnce)
{
    Load(Product());
    WriteInstalledRecord(m_strTarget);
    WriteAssociation();
    auto lines = TraceOf([&] { EXPECT_TRUE(Manager().ClearInstallInfo()); });
    EXPECT_TRUE(HasLine(lines, "Clear application install info - successful")) << Joined(lines);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExt));
    EXPECT_TRUE(Manager().m_bUninstallerRegistered);

    // The second call of the run does nothing, even for a record written meanwhile.
    WriteInstalledRecord(m_strTarget);
    lines = TraceOf([&] { EXPECT_TRUE(Manager().ClearInstallInfo()); });
    EXPECT_TRUE(lines.empty()) << Joined(lines);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));

    // A record without an install folder is none of this product's.
    Load(Product());
    DeleteTree(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf));
    WriteRecord(m_strSelf, {{L"DisplayName", L"Road Product"}});
    lines = TraceOf([&] { EXPECT_TRUE(Manager().ClearInstallInfo()); });
    EXPECT_TRUE(lines.empty()) << Joined(lines);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    EXPECT_FALSE(Manager().m_bUninstallerRegistered);

    // A product id that is no key name never reaches the Uninstall key.
    SDocument d = Product();
    d.product = L"a\\b";
    Load(d);
    lines = TraceOf([&] { EXPECT_TRUE(Manager().ClearInstallInfo()); });
    EXPECT_TRUE(HasLine(lines, "Product ID 'a\\b' names no uninstall record")) << Joined(lines);
}

TEST_F(UninstallRoadTest, ClearInstallInfoLeavesTheSharedKeysAndTellsAStopPartWay)
{
    const std::wstring uninstall(kUninstallKey, std::size(kUninstallKey) - 2);
    const std::wstring other = RecordKey(kOtherProduct);
    // Product ids that would name the Uninstall key itself or a key above or
    // beside a record.
    for (const wchar_t* product : {L"", L" ", L"\\", L"\\\\", L"..\\Run", L"{9E2B7C14}\\..\\.."}) {
        SDocument d = Product();
        d.product = product;
        Load(d);
        // The machine root of this process is a scratch key while the record is
        // cleared: a refusal that failed would only reach a copy of the Uninstall key.
        TestSupport::CRootOverride machine(HKEY_LOCAL_MACHINE, L"Software\\QuorvantTests\\MachineScratch");
        ASSERT_TRUE(machine.Active()) << "HKEY_LOCAL_MACHINE could not be pointed at the scratch key";
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, uninstall, L"InstallLocation",
                                                   TestSupport::OwnRegistryView(), m_strTarget));
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, other, L"InstallLocation",
                                                   TestSupport::OwnRegistryView(), m_strTarget));
        const auto lines = TraceOf([&] { EXPECT_TRUE(Manager().ClearInstallInfo()); });
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, other)) << N(product) << "\n" << Joined(lines);
        EXPECT_FALSE(HasLineStarting(lines, "Clear application install info")) << N(product) << "\n" << Joined(lines);
        EXPECT_FALSE(Manager().m_bUninstallerRegistered);
    }

    // A record whose removal stops part-way says so, and the run counts it as failed.
    Load(Product());
    WriteAssociation();
    TestSupport::CRootOverride machine(HKEY_LOCAL_MACHINE, L"Software\\QuorvantTests\\MachineScratch");
    ASSERT_TRUE(machine.Active()) << "HKEY_LOCAL_MACHINE could not be pointed at the scratch key";
    // "0first" comes before "a" and goes; the link below "a" stops the removal.
    TestSupport::CTreeStoppedByLink record(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf), {L"\\0first", L"\\a"});
    ASSERT_TRUE(record.Usable()) << "the registry link that stops the removal could not be made";
    ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf), L"InstallLocation",
                                               TestSupport::OwnRegistryView(), m_strTarget));
    const auto lines = TraceOf([&] { EXPECT_FALSE(Manager().ClearInstallInfo()); });
    EXPECT_TRUE(HasLineStarting(lines, "Removal of 'HKLM\\" + N(RecordKey(m_strSelf)) + "' stopped part-way (error "))
        << Joined(lines);
    EXPECT_TRUE(HasLine(lines, "Clear application install info - failed")) << Joined(lines);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf) + L"\\0first"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf) + L"\\a"));
    EXPECT_FALSE(Manager().m_bUninstallerRegistered);
    // The association goes only with the record.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExt));
}

TEST_F(UninstallRoadTest, TheClearUninstallNodeRunsItsThreeSteps)
{
    WriteInstalledRecord(m_strTarget);
    ASSERT_TRUE(LoadDocument("<Interface><InstallInfo ProductID='" + N(m_strSelf) +
                             "' UninstallPath='%TestUninstallDir%'/><SetupFiles ForcedDelayCopy='1'/>"
                             "<S><ClearUninstall/></S></Interface>"));
    g_CmdLine.m_bQuiet = true;
    Manager().RunScriptAt(L"//Interface/S");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf)));
    EXPECT_TRUE(Exists(Marker()));
    EXPECT_TRUE(IsPending(Marker()));
}

} // namespace

TEST_F(UninstallRoadTest, TheComponentsComeFromBesideTheRegisteredCopy)
{
    // The start-up folder holds another product state: it must not be read.
    const Bytes decoy = ToBytes("<Components><item Name='LocatedChosen' Value='false'/>"
                                "<item Name='LocatedDecoy' Value='true'/></Components>");
    const Bytes stored = ToBytes("<Components><item Name='LocatedChosen' Value='true'/></Components>");
    CString beside = GetModulePath();
    ASSERT_TRUE(RenamePathExtension(beside, L".cfg"));
    struct SCase
    {
        const char* name;
        std::wstring folder;     // where the copy lives; empty: this program is the copy
        bool quoted;
    };
    const SCase cases[] = {
        {"the copy the record names", m_temp / L"Moved", false},
        {"a quoted copy with a blank in its folder", m_temp / L"Moved Here", true},
        {"no record: this program", L"", false},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        Load(Product());
        WriteFileBytes(m_strUninst + L"\\" + m_strSelf + L".cfg", decoy);
        std::wstring components = beside.Str();
        if (!c.folder.empty()) {
            std::wstring copy = c.folder + L"\\" + m_strSelf + L".exe";
            components = c.folder + L"\\" + m_strSelf + L".cfg";
            WriteRecord(m_strSelf, {{L"UninstallString", (c.quoted ? L"\"" + copy + L"\"" : copy) + L" /X" + m_strSelf}});
        }
        WriteFileBytes(components, stored);
        const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().Uninstall()); });
        ::DeleteFileW(beside);
        EXPECT_TRUE(HasLine(lines, "Components file: " + N(components))) << Joined(lines);
        EXPECT_TRUE(Condition(L"LocatedChosen")) << Joined(lines);
        EXPECT_FALSE(Condition(L"LocatedDecoy"));
        DeleteTree(HKEY_LOCAL_MACHINE, RecordKey(m_strSelf));
    }
}
