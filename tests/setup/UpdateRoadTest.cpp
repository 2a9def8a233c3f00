// The update check of an update package against the installed product's record,
// and the reconfiguration road over the components file and a "/config" list.
#include "tests/setup/EngineFixture.h"

#include "common/tools/PathVariables.h"
#include "setup/engine/ExitCodes.h"
#include "tests/setup/RemovalSupport.h"
#include "tests/support/GuiDriver.h"

#include <algorithm>
#include <map>
#include <string>
#include <thread>
#include <vector>

using TestSupport::Bytes;
using TestSupport::ToBytes;
using TestSupport::TraceOf;
using namespace RemovalTest;

namespace {

const wchar_t kProduct[] = L"{4E1B6A27-8C3D-4F59-9B70-2D6E8A1C5F93}";
const wchar_t kRecordKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{4E1B6A27-8C3D-4F59-9B70-2D6E8A1C5F93}";
const wchar_t kMarkerKey[] = L"Software\\UpdateRoadTest";

void DeleteTree(HKEY root, const wchar_t* path)
{
    ::RegDeleteTreeW(root, path);
    ::RegDeleteKeyW(root, path);
}

// The record holds these values only.
void WriteRecord(const std::map<std::wstring, std::wstring>& values)
{
    DeleteTree(HKEY_LOCAL_MACHINE, kRecordKey);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRecordKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr));
    for (const auto& value : values)
        ::RegSetValueExW(key, value.first.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second.c_str()),
                         static_cast<DWORD>((value.second.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
}

std::string TargetDir()
{
    const auto& table = GetPathVariables().Table();
    const auto found = table.find(L"%TargetDir%");
    return found == table.end() ? "(undefined)" : N(found->second.m_strValue.Str());
}

bool MarkerSet(const wchar_t* name)
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_CURRENT_USER, kMarkerKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    const bool found = ::RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    ::RegCloseKey(key);
    return found;
}

std::string Marker(const std::string& name, const std::string& condition)
{
    return "<HKCU KeyName='Software\\UpdateRoadTest' ValueName='" + name + "' HexValue='0x1' condition='" + condition +
           "'/>";
}

class UpdateRoadTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        DeleteTree(HKEY_LOCAL_MACHINE, kRecordKey);
        DeleteTree(HKEY_CURRENT_USER, kMarkerKey);
        m_strInstalled = m_temp / L"Installed";
        m_strUninst = m_temp / L"uninst";
        ::CreateDirectoryW(m_strInstalled.c_str(), nullptr);
        ::CreateDirectoryW(m_strUninst.c_str(), nullptr);
        GetPathVariables().Define(L"%TestUninstallDir%", m_strUninst.c_str());
        GetPathVariables().Define(L"%TargetDir%", L"C:\\from-the-package");
    }

    void TearDown() override
    {
        DeleteTree(HKEY_LOCAL_MACHINE, kRecordKey);
        DeleteTree(HKEY_CURRENT_USER, kMarkerKey);
        CEngineTest::TearDown();
    }

    // An update package of that edition and version; 'extra' goes under the root.
    void LoadUpdate(const std::string& edition, const std::string& version, const std::string& extra = "")
    {
        ASSERT_TRUE(LoadDocument(
            "<Interface><InstallInfo ProductID='" + N(kProduct) +
            "' UninstallPath='%TestUninstallDir%' DisplayName='Upd Product' Edition='" + edition +
            "' DisplayVersion='" + version + "'/><SetupFiles Update='true'/><Localize><Messages>"
            "<InfNothingUpdate Caption='%ProductName% is not installed.'/>"
            "<InfWrongEdition Caption='Another edition of %ProductName%.'/>"
            "<InfUptodate Caption='%ProductName% is up to date.'/>"
            "<QueInstallUpdate Caption='Update %ProductName% from %PV% to %UV%?'/>"
            "</Messages></Localize>" + extra + "</Interface>"));
        g_CmdLine.m_nAction = CCmdLineHelper::ActionInstall;
        g_CmdLine.m_bQuiet = true;
    }

    void WriteInstalled(const std::wstring& edition, const std::wstring& version,
                        const std::wstring& language = std::wstring())
    {
        std::map<std::wstring, std::wstring> values = {
            {L"UninstallString", m_strUninst + L"\\" + kProduct + L".exe /X" + kProduct},
            {L"DisplayVersion", version},
            {L"InstallLocation", m_strInstalled}};
        if (!edition.empty())
            values[L"Edition"] = edition;
        if (!language.empty())
            values[L"LanguageID"] = language;
        WriteRecord(values);
    }

    void UseLanguages(const std::vector<CString>& values, const CString& loaded)
    {
        Manager().m_MultiLang.m_vecValues = values;
        Manager().m_MultiLang.m_bLoaded = true;
        Manager().m_MultiLang.m_strCurrent = loaded;
        // The document of this language is the one loaded: choosing it again
        // loads nothing.
        Manager().m_strLanguage = loaded;
    }

    std::wstring m_strInstalled;
    std::wstring m_strUninst;
};

TEST_F(UpdateRoadTest, VersionsEditionsAndLanguagesDecide)
{
    struct SCase
    {
        const char* name;
        const wchar_t* installedVersion;
        const char* updateVersion;
        const wchar_t* installedEdition;
        const char* updateEdition;
        bool allowed;
        std::string trace;
    };
    const SCase cases[] = {
        {"a fourth part", L"1.2.3", "1.2.3.1", L"Pro", "Pro", true, "User accept update installation. Starting update."},
        {"by number, not text", L"1.10", "1.9", L"Pro", "Pro", false,
         "Already up to date. Installed version: 1.10, Update version: 1.9"},
        {"a part keeps its low byte", L"1.256", "1.1", L"Pro", "Pro", true,
         "User accept update installation. Starting update."},
        {"two digits in front", L"2.0", "10.0", L"Pro", "Pro", true, "User accept update installation. Starting update."},
        {"the same version", L"3.7.1", "3.7.1", L"Pro", "Pro", false,
         "Already up to date. Installed version: 3.7.1, Update version: 3.7.1"},
        {"an older update", L"3.7.1", "3.6", L"Pro", "Pro", false,
         "Already up to date. Installed version: 3.7.1, Update version: 3.6"},
        {"editions differ in case only", L"1.0", "1.1", L"PRO", "pro", true,
         "User accept update installation. Starting update."},
        {"another edition", L"1.0", "1.1", L"Home", "Pro", false, "Edition mismatch. Installed: Home, update to edition: Pro"},
        {"no edition either side", L"1.0", "1.1", L"", "", true, "User accept update installation. Starting update."},
    };
    for (const SCase& c : cases) {
        LoadUpdate(c.updateEdition, c.updateVersion);
        WriteInstalled(c.installedEdition, c.installedVersion);
        GetPathVariables().Define(L"%TargetDir%", L"C:\\from-the-package");
        bool allowed = !c.allowed;
        const auto lines = TraceOf([&] { allowed = Manager().ProductUpdateAllowed(); });
        EXPECT_EQ(c.allowed, allowed) << c.name;
        EXPECT_TRUE(HasLine(lines, c.trace)) << c.name << "\n" << Joined(lines);
        if (c.allowed) {
            EXPECT_TRUE(HasLine(lines, "Installing update to: " + N(m_strInstalled))) << c.name;
            EXPECT_EQ(N(m_strInstalled), TargetDir()) << c.name;
        } else {
            EXPECT_TRUE(HasLine(lines, "CInstallManager::ProductUpdateAllowed() - false")) << c.name;
            EXPECT_EQ("C:\\from-the-package", TargetDir()) << c.name;
        }
    }
}

TEST_F(UpdateRoadTest, TheInstalledLanguageMustBeInThePackage)
{
    struct SCase
    {
        const char* name;
        std::vector<CString> languages;  // none: a package without a language list
        const wchar_t* installed;        // the record's LanguageID; empty: none
        bool allowed;
    };
    const SCase cases[] = {
        {"listed", {L"en", L"de"}, L"de", true},
        {"missing from the list", {L"en", L"de"}, L"fr", false},
        {"compared exactly", {L"en", L"de"}, L"DE", false},
        {"a list, no language installed", {L"en"}, L"", false},
        {"no list, a language installed", {}, L"de", false},
        {"no list, no language installed", {}, L"", true},
    };
    for (const SCase& c : cases) {
        LoadUpdate("Pro", "2.0");
        WriteInstalled(L"Pro", L"1.0", c.installed);
        if (!c.languages.empty())
            UseLanguages(c.languages, c.installed);
        bool allowed = !c.allowed;
        const auto lines = TraceOf([&] { allowed = Manager().ProductUpdateAllowed(); });
        EXPECT_EQ(c.allowed, allowed) << c.name << "\n" << Joined(lines);
        if (c.allowed) {
            EXPECT_EQ(N(m_strInstalled), TargetDir()) << c.name;
        } else {
            EXPECT_TRUE(HasLine(lines, "Edition mismatch. Installed: Pro, update to edition: Pro")) << c.name;
        }
        if (c.allowed && !c.languages.empty()) {
            EXPECT_EQ(CString(c.installed), Manager().m_MultiLang.m_strCurrent) << c.name;
        }
    }
}

TEST_F(UpdateRoadTest, NothingInstalledOrNowhereToInstallRefuses)
{
    LoadUpdate("Pro", "2.0");
    auto lines = TraceOf([&] { EXPECT_FALSE(Manager().ProductUpdateAllowed()); });
    EXPECT_TRUE(HasLine(lines, "No version of Upd Product is installed")) << Joined(lines);
    EXPECT_FALSE(HasLineStarting(lines, "Edition mismatch")) << Joined(lines);

    // A record whose folder the install could not have chosen.
    for (const wchar_t* folder : {L"", L"C:\\", L"relative\\folder"}) {
        WriteRecord({{L"UninstallString", L"x.exe"}, {L"Edition", L"Pro"}, {L"DisplayVersion", L"1.0"},
                     {L"InstallLocation", folder}});
        lines = TraceOf([&] { EXPECT_FALSE(Manager().ProductUpdateAllowed()) << N(folder); });
        EXPECT_TRUE(HasLine(lines, "CInstallManager::ProductUpdateAllowed() - false")) << Joined(lines);
        EXPECT_EQ("C:\\from-the-package", TargetDir()) << N(folder);
    }

    // No install information at all: refused without a message.
    ASSERT_TRUE(LoadDocument("<Interface><SetupFiles Update='true'/></Interface>"));
    g_CmdLine.m_bQuiet = true;
    lines = TraceOf([&] { EXPECT_FALSE(Manager().ProductUpdateAllowed()); });
    EXPECT_TRUE(HasLine(lines, "CInstallManager::ProductUpdateAllowed() - false")) << Joined(lines);
}

TEST_F(UpdateRoadTest, TheQuestionNamesBothVersionsAndOnlyYesGoesOn)
{
    for (const int answer : {IDNO, IDYES}) {
        LoadUpdate("Pro", "2.0.%UV%");
        WriteInstalled(L"Pro", L"1.5");
        g_CmdLine.m_bQuiet = false;
        TestSupport::SWindowInfo seen;
        bool answered = false;
        std::thread user([&] {
            TestSupport::CGuiDriver driver(::GetCurrentProcessId(), 20000);
            answered = driver.AnswerMessageBox(answer, &seen);
        });
        const bool allowed = Manager().ProductUpdateAllowed();
        user.join();
        EXPECT_TRUE(answered);
        EXPECT_EQ(answer == IDYES, allowed);
        // A version that reads like a placeholder stays as it is.
        EXPECT_NE(seen.childTexts.end(), std::find(seen.childTexts.begin(), seen.childTexts.end(),
                                                   L"Update Upd Product from 1.5 to 2.0.%UV%?"));
        EXPECT_EQ(answer == IDYES ? N(m_strInstalled) : "C:\\from-the-package", TargetDir());
    }
}

TEST_F(UpdateRoadTest, ARefusedUpdateEndsTheInstallRoadWithTwoBeforeAnyScript)
{
    LoadUpdate("Pro", "1.0", "<Install><PreFinish>" + Marker("PreFinish", "") + "</PreFinish></Install>");
    Manager().m_Seams.isAdmin = [] { return true; };
    WriteInstalled(L"Pro", L"1.0");
    EXPECT_EQ(SetupExitRefused, Manager().Install());
    EXPECT_FALSE(MarkerSet(L"PreFinish"));
}

// ---- reconfiguration ----

class ConfigRoadTest : public UpdateRoadTest
{
protected:
    void LoadConfig(const std::string& remove, const std::string& add)
    {
        LoadUpdate("Pro", "1.0", "<Config><Remove>" + remove + "</Remove><Add>" + add + "</Add></Config>");
        g_CmdLine.m_nAction = CCmdLineHelper::ActionConfig;
        m_strList = m_temp / L"list.xml";
        g_CmdLine.m_strParam = m_strList.c_str();
        Manager().m_Seams.isAdmin = [this] { return m_bAdmin; };
        TestSupport::WriteFileBytes(ComponentsFile(), m_components);
        TestSupport::WriteFileBytes(m_strList, m_list);
    }

    std::wstring ComponentsFile() const { return m_strUninst + L"\\" + kProduct + L".cfg"; }

    std::map<CString, bool> SavedComponents() const
    {
        CSetupOptions saved;
        saved.m_strPath = ComponentsFile().c_str();
        EXPECT_TRUE(saved.Load());
        return std::map<CString, bool>(saved.m_Conditions.begin(), saved.m_Conditions.end());
    }

    Bytes m_components = ToBytes("<Components><item Name='A' Value='true'/><item Name='B' Value='true'/>"
                                 "<item Name='C' Value='false'/><item Name='D' Value='false'/></Components>");
    static Bytes DefaultList()
    {
        return ToBytes("<C><RemoveComponents><item Name='B' Value='true'/><item Name='A' Value='false'/>"
                           "</RemoveComponents><AddComponents><item Name='C' Value='true'/>"
                           "<item Name='D' Value='true'/></AddComponents></C>");
    }

    Bytes m_list = DefaultList();
    std::wstring m_strList;
    bool m_bAdmin = true;
};

TEST_F(ConfigRoadTest, TheScriptsRunAgainstTheListsAndTheSelectionIsSaved)
{
    // The Add script vetoes D: it is set false before its node is tested.
    LoadConfig(Marker("RemovedA", "A") + Marker("RemovedB", "B") + Marker("RemoveSawC", "C"),
               Marker("AddedC", "C") + "<SetCond condition='D' Value='false'/>" + Marker("AddedD", "D") +
                   Marker("AddSawB", "B"));
    const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().RunConfig()); });
    EXPECT_TRUE(HasLine(lines, "Install : CInstallManager::RunConfig >")) << Joined(lines);

    EXPECT_FALSE(MarkerSet(L"RemovedA"));
    EXPECT_TRUE(MarkerSet(L"RemovedB"));
    EXPECT_TRUE(MarkerSet(L"RemoveSawC")) << "unknown to the remove list: skipped, so true";
    EXPECT_TRUE(MarkerSet(L"AddedC"));
    EXPECT_FALSE(MarkerSet(L"AddedD"));
    EXPECT_TRUE(MarkerSet(L"AddSawB"));

    const std::map<CString, bool> expected = {{L"A", true}, {L"B", false}, {L"C", true}, {L"D", false}};
    EXPECT_EQ(expected, SavedComponents());
    EXPECT_FALSE(Exists(m_strList)) << "the list file is deleted";
    EXPECT_FALSE(Manager().m_SetupOptions.m_bConfigMode);
}

TEST_F(ConfigRoadTest, TheComponentsFileIsTheOneBesideTheRegisteredCopy)
{
    // The uninstall folder of the document names another place than the one the
    // install registered (it hung on the folder chosen then).
    const std::wstring startUp = m_temp / L"start-up";
    GetPathVariables().Define(L"%TestUninstallDir%", startUp.c_str());
    LoadConfig("", "");
    WriteInstalled(L"Pro", L"1.0");
    const auto lines = TraceOf([&] { EXPECT_EQ(SetupExitDone, Manager().RunConfig()); });
    EXPECT_TRUE(HasLine(lines, "Components file: " + N(ComponentsFile()))) << Joined(lines);
    const std::map<CString, bool> expected = {{L"A", true}, {L"B", false}, {L"C", true}, {L"D", true}};
    EXPECT_EQ(expected, SavedComponents());
    EXPECT_FALSE(Exists(startUp + L"\\" + kProduct + L".cfg"));
}

TEST_F(ConfigRoadTest, FailuresGiveTwoAndLeaveTheComponentsFile)
{
    struct SCase
    {
        const char* name;
        bool admin;
        std::string remove;
        std::string add;
        const char* list;        // null: the fixture's list
        bool writeComponents;
        int exitCode;
        bool listStays;
        bool removeRan;
    };
    const std::string ran = Marker("Ran", "");
    const SCase cases[] = {
        {"no administrator", false, ran, "", nullptr, true, SetupExitRefused, true, false},
        {"a failing Remove script", true, ran + "<Call/>", "", nullptr, true, SetupExitRefused, false, true},
        {"a failing Add script", true, ran, "<SetCond condition='x' Value='perhaps'/>", nullptr, true,
         SetupExitRefused, false, true},
        {"a list that is no XML", true, ran, "", "not a list", true, SetupExitRefused, true, false},
        {"a value that does not read", true, ran, "", "<C><RemoveComponents><i Name='A' Value='maybe'/>"
         "</RemoveComponents></C>", true, SetupExitRefused, true, false},
        {"no components file", true, ran, "", nullptr, false, SetupExitRefused, true, false},
        {"a Break in the Add script", true, ran, "<Break/>", nullptr, true, SetupExitStopped, false, true},
    };
    for (const SCase& c : cases) {
        DeleteTree(HKEY_CURRENT_USER, kMarkerKey);
        m_list = c.list != nullptr ? ToBytes(c.list) : DefaultList();
        LoadConfig(c.remove, c.add);
        if (!c.writeComponents)
            ::DeleteFileW(ComponentsFile().c_str());
        m_bAdmin = c.admin;
        const auto lines = TraceOf([&] { EXPECT_EQ(c.exitCode, Manager().RunConfig()) << c.name; });
        EXPECT_EQ(c.listStays, Exists(m_strList)) << c.name;
        EXPECT_EQ(c.removeRan, MarkerSet(L"Ran")) << c.name;
        if (c.writeComponents) {
            EXPECT_TRUE(TestSupport::ReadFileBytes(ComponentsFile()) == m_components) << c.name;
        } else {
            EXPECT_FALSE(Exists(ComponentsFile())) << c.name;
        }
        if (!c.admin) {
            EXPECT_TRUE(HasLine(lines, "Current user doesn't have administrator privileges.")) << c.name;
        } else if (c.exitCode == SetupExitRefused) {
            EXPECT_TRUE(HasLineStarting(lines, "Reconfiguration failed: ")) << c.name << "\n" << Joined(lines);
        }
    }
}

} // namespace
