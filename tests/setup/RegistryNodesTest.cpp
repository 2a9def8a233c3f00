// Tests of the script's registry nodes.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/PathVariables.h"
#include "common/tools/RegKeyTree.h"
#include "common/tools/SetupTrace.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/Narrow.h"
#include "tests/setup/RegistrySupport.h"
#include "tests/support/RegistryScope.h"

#include <shlwapi.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

using TestSupport::Joined;
using TestSupport::CTreeStoppedByLink;

using TestSupport::Bytes;
using TestSupport::Narrow;

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

using TestSupport::TraceOf;

bool Contains(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Removes the key tree before and after the test (in the view setup writes).
class CKeyTreeScope
{
public:
    CKeyTreeScope(HKEY root, const std::wstring& path) : m_root(root), m_path(path) { Delete(); }
    ~CKeyTreeScope() { Delete(); }
    CKeyTreeScope(const CKeyTreeScope&) = delete;
    CKeyTreeScope& operator=(const CKeyTreeScope&) = delete;

private:
    void Delete() { SHDeleteKeyW(m_root, m_path.c_str()); }

    HKEY m_root;
    std::wstring m_path;
};

bool KeyExists(HKEY root, const std::wstring& path, REGSAM view = 0)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

struct SValue
{
    bool found = false;
    DWORD type = 0;
    Bytes data;
};

SValue ReadValue(HKEY root, const std::wstring& path, const wchar_t* name, REGSAM view = 0)
{
    SValue value;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0;
    if (RegQueryValueExW(key, name, nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        value.found = RegQueryValueExW(key, name, nullptr, &value.type, value.data.empty() ? nullptr : &value.data[0],
                                       &size) == ERROR_SUCCESS;
        value.data.resize(size);
    }
    RegCloseKey(key);
    return value;
}

Bytes DwordBytes(DWORD number)
{
    Bytes bytes(sizeof(number));
    std::memcpy(&bytes[0], &number, sizeof(number));
    return bytes;
}

// The text with its terminating NUL, as the registry should hold it.
Bytes TextBytes(const std::wstring& text)
{
    const BYTE* begin = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

std::wstring ReadText(HKEY root, const std::wstring& path, const wchar_t* name)
{
    const SValue value = ReadValue(root, path, name);
    if (!value.found || value.type != REG_SZ || value.data.size() < sizeof(wchar_t))
        return L"<none>";
    return std::wstring(reinterpret_cast<const wchar_t*>(&value.data[0]), value.data.size() / sizeof(wchar_t) - 1);
}

std::string Ascii(const std::wstring& text)
{
    return Narrow(text);
}

class RegistryNodesTest : public TestSupport::CEngineTest
{
protected:
    void Load(const std::string& children)
    {
        ASSERT_TRUE(LoadDocument("<Interface>" + children + "</Interface>"));
    }

    // Runs the children of the element at the path as a script.
    void Run(const wchar_t* xpath)
    {
        Common::Config::CXMLNodeList nodes;
        Manager().m_pSettings->SelectNodes(_bstr_t(xpath) + L"/*", nodes);
        Manager().RunScript(nodes, false);
    }

    bool Has(const wchar_t* condition) const
    {
        return m_pManager->m_SetupOptions.m_Conditions.count(condition) != 0;
    }
};

const wchar_t kUserKey[] = L"Software\\QuorvantTests\\RegistryNodes";
const char kUserKeyA[] = "Software\\QuorvantTests\\RegistryNodes";

TEST_F(RegistryNodesTest, AddWritesOneValueOfTheAttributesType)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    ASSERT_TRUE(GetPathVariables().Define(L"%RegistryNodesText%", L"expanded"));
    const struct {
        const char* attributes; // KeyName is added
        const wchar_t* valueName;
        DWORD type;
        Bytes data;
    } cases[] = {
        {"ValueName='hex' HexValue='0x1F'", L"hex", REG_DWORD, DwordBytes(31)},
        {"ValueName='big' HexValue='0xFFFFFFFF'", L"big", REG_DWORD, DwordBytes(0xFFFFFFFF)},
        {"ValueName='noPrefix' HexValue='1F'", L"noPrefix", REG_DWORD, DwordBytes(0)},
        {"ValueName='upperPrefix' HexValue='0X1F'", L"upperPrefix", REG_DWORD, DwordBytes(0)},
        {"ValueName='emptyHex' HexValue=''", L"emptyHex", REG_DWORD, DwordBytes(0)},
        {"ValueName='notHex' HexValue='0xZZ'", L"notHex", REG_DWORD, DwordBytes(0)},
        // HexValue wins over TextValue.
        {"ValueName='both' HexValue='0x10' TextValue='text'", L"both", REG_DWORD, DwordBytes(16)},
        {"ValueName='text' TextValue='hello world'", L"text", REG_SZ, TextBytes(L"hello world")},
        {"ValueName='emptyText'", L"emptyText", REG_SZ, TextBytes(L"")},
        {"ValueName='expanded' TextValue='[%RegistryNodesText%]'", L"expanded", REG_SZ, TextBytes(L"[expanded]")},
        {"TextValue='default'", L"", REG_SZ, TextBytes(L"default")},
    };
    std::string script;
    for (const auto& c : cases)
        script += std::string("<HKCU KeyName='") + kUserKeyA + "' " + c.attributes + "/>";
    Load("<S>" + script + "</S>");
    Run(L"//Interface/S");
    for (const auto& c : cases) {
        const SValue value = ReadValue(HKEY_CURRENT_USER, kUserKey, c.valueName);
        ASSERT_TRUE(value.found) << c.attributes;
        EXPECT_EQ(c.type, value.type) << c.attributes;
        // The raw size: text values carry their terminating NUL.
        EXPECT_EQ(c.data, value.data) << c.attributes;
    }
}

TEST_F(RegistryNodesTest, AddTracesWhatItWrote)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    Load(std::string("<S><hkcu KeyName='") + kUserKeyA + "' ValueName='n' HexValue='0x2a'/>" + "<HKCU KeyName='" +
         kUserKeyA + "' ValueName='t' TextValue='x'/></S>");
    const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
    EXPECT_TRUE(Contains(lines, std::string("Setup: AddRegEntry: successful, Add 'n=2A' to node 'hkcu\\") + kUserKeyA +
                                    "'"))
        << Joined(lines);
    EXPECT_TRUE(Contains(lines, std::string("Setup: AddRegEntry: successful, Add 't=x' to node 'HKCU\\") + kUserKeyA +
                                    "'"))
        << Joined(lines);
}

TEST_F(RegistryNodesTest, MachineValuesGoToThe32BitView)
{
    const std::wstring path = L"SOFTWARE\\QuorvantTests\\RegistryNodesView";
    CKeyTreeScope scope(HKEY_LOCAL_MACHINE, path);
    Load("<S><HKLM KeyName='SOFTWARE\\QuorvantTests\\RegistryNodesView' ValueName='v' TextValue='x'/></S>");
    Run(L"//Interface/S");
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path, L"v", KEY_WOW64_32KEY).found);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, KEY_WOW64_64KEY));
}

TEST_F(RegistryNodesTest, RemoveTakesAValueOrTheWholeKey)
{
    const std::wstring path = L"SOFTWARE\\QuorvantTests\\RegistryNodesRemove";
    CKeyTreeScope scope(HKEY_LOCAL_MACHINE, path);
    const auto prepare = [&] {
        for (const wchar_t* sub : {L"\\Keep", L"\\Tree\\a\\b\\c", L"\\Tree\\d", L"\\Tree\\a\\e"})
            ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, path + sub, L"v",
                                                       TestSupport::OwnRegistryView(), L"x"));
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"",
                                                   TestSupport::OwnRegistryView(), L"default"));
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"other",
                                                   TestSupport::OwnRegistryView(), L"y"));
    };
    const std::string base = "SOFTWARE\\QuorvantTests\\RegistryNodesRemove";

    // No ValueName: the key and everything below it.
    prepare();
    Load("<S><HKLM Remove='true' KeyName='" + base + "\\Tree'/></S>");
    Run(L"//Interface/S");
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path + L"\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path + L"\\Keep"));

    // An empty ValueName: the default value only.
    Load("<S><HKLM Remove='1' KeyName='" + base + "\\Keep' ValueName=''/></S>");
    Run(L"//Interface/S");
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"").found);
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"other").found);
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"v").found);

    // A named value.
    Load("<S><HKLM Remove='TRUE' KeyName='" + base + "\\Keep' ValueName='other'/></S>");
    Run(L"//Interface/S");
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"other").found);
    EXPECT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path + L"\\Keep", L"v").found);
}

TEST_F(RegistryNodesTest, RemovingAMissingKeyIsTracedAndTheScriptGoesOn)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    Load(std::string("<S><HKCU Remove='true' KeyName='") + kUserKeyA +
         "\\Missing'/><SetCond condition='after'/></S>");
    const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
    EXPECT_TRUE(Contains(lines, std::string("Setup: RemoveRegEntry: Can't open key 'HKCU\\") + kUserKeyA +
                                    "\\Missing'"))
        << Joined(lines);
    EXPECT_TRUE(Has(L"after"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, std::wstring(kUserKey) + L"\\Missing"));
}

TEST_F(RegistryNodesTest, RemoveRefusesAnEmptyKeyPath)
{
    // A value planted at the root of the hive: only an empty key path reaches it.
    TestSupport::CRegistryValueScope planted(HKEY_CURRENT_USER, L"", L"QuorvantTestsRootValue",
                                             TestSupport::OwnRegistryView(), REG_SZ, L"x", 4);
    ASSERT_TRUE(planted.Succeeded());
    for (const char* keyName : {"", "\\", " "}) {
        Load(std::string("<S><HKCU Remove='true' KeyName='") + keyName +
             "' ValueName='QuorvantTestsRootValue'/><SetCond condition='after'/></S>");
        const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
        EXPECT_TRUE(ReadValue(HKEY_CURRENT_USER, L"", L"QuorvantTestsRootValue").found) << "'" << keyName << "'";
        EXPECT_TRUE(Contains(lines, std::string("Setup: RemoveRegEntry: Refused to remove from the root 'HKCU\\") +
                                        keyName + "'"))
            << Joined(lines);
        EXPECT_TRUE(Has(L"after"));
    }
}

TEST_F(RegistryNodesTest, RegistryNodeFailuresNeverStopTheScript)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    Load(std::string("<S>") + "<HKCU Remove='maybe' KeyName='" + kUserKeyA + "' ValueName='v' TextValue='x'/>" +
         "<HKCU KeyName='" + kUserKeyA + "\\bad\\\\name' ValueName='v' TextValue='x'/>" +
         "<SetCond condition='after'/></S>");
    EXPECT_EQ(S_OK, TestSupport::ComErrorOf([&] { Run(L"//Interface/S"); }));
    EXPECT_TRUE(Has(L"after"));
    // A Remove that is no boolean neither adds nor removes.
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER, kUserKey, L"v").found);
}

const char kRemoveTreeScript[] = "\\Tree'/><SetCond condition='after'/></S>";

TEST_F(RegistryNodesTest, TreeRemovalStopsAtASubkeyItCannotDelete)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    CTreeStoppedByLink tree(HKEY_CURRENT_USER, std::wstring(kUserKey) + L"\\Tree", {L"\\a"});
    ASSERT_TRUE(tree.Usable()) << "the registry link that stops the removal could not be made";
    Load(std::string("<S><HKCU Remove='true' KeyName='") + kUserKeyA + kRemoveTreeScript);
    const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
    EXPECT_TRUE(Contains(lines, std::string("Setup: RemoveRegEntry: failed, Remove entire node 'HKCU\\") +
                                    kUserKeyA + "\\Tree'"))
        << Joined(lines);
    EXPECT_TRUE(Has(L"after"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree.Tree()));
}

TEST_F(RegistryNodesTest, TreeRemovalThatStopsPartWayIsTracedAsSuch)
{
    CKeyTreeScope scope(HKEY_CURRENT_USER, kUserKey);
    // "0first" comes before "a" and goes; the link below "a" stops the removal.
    CTreeStoppedByLink tree(HKEY_CURRENT_USER, std::wstring(kUserKey) + L"\\Tree", {L"\\0first", L"\\a"});
    ASSERT_TRUE(tree.Usable()) << "the registry link that stops the removal could not be made";
    Load(std::string("<S><HKCU Remove='true' KeyName='") + kUserKeyA + kRemoveTreeScript);
    const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree.Tree() + L"\\0first"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, tree.Tree() + L"\\a"));
    const std::string node = std::string("'HKCU\\") + kUserKeyA + "\\Tree'";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find("Setup: RemoveRegEntry: stopped part-way") == 0 && line.find(node) != std::string::npos;
    })) << Joined(lines);
    EXPECT_FALSE(Contains(lines, "Setup: RemoveRegEntry: failed, Remove entire node " + node)) << Joined(lines);
    EXPECT_FALSE(Contains(lines, "Setup: RemoveRegEntry: successful, Remove entire node " + node)) << Joined(lines);
    EXPECT_TRUE(Has(L"after"));
}

TEST(SharedRegistryKeyTest, KeysThatEveryProductSharesAreTold)
{
    const struct {
        HKEY root;
        const wchar_t* path;
        bool shared;
    } cases[] = {
        // Roots and their first level.
        {HKEY_CURRENT_USER, L"", true},
        {HKEY_LOCAL_MACHINE, L"\\", true},
        {HKEY_CLASSES_ROOT, L"", true},
        {HKEY_CURRENT_USER, L"Software", true},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE", true},
        {HKEY_LOCAL_MACHINE, L"System", true},
        {HKEY_CURRENT_USER, L"Environment", true},
        {HKEY_CURRENT_USER, L"software\\", true},
        {HKEY_CURRENT_USER, L"\\Software", true},
        {HKEY_CURRENT_USER, L"\\\\Software\\\\", true},
        {HKEY_USERS, L"S-1-5-21-1", true},
        {HKEY_USERS, L"S-1-5-21-1\\Software", true},
        // Shared places under Software.
        {HKEY_LOCAL_MACHINE, L"Software\\Classes", true},
        {HKEY_CURRENT_USER, L"software\\classes\\", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft", true},
        {HKEY_LOCAL_MACHINE, L"Software\\\\Microsoft", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Policies", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Clients", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
        {HKEY_LOCAL_MACHINE, L"SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\UNINSTALL\\", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Microsoft", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Classes", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\CLSID", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node", true},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services", true},
        // The shared places of the classes root.
        {HKEY_CLASSES_ROOT, L".", true},
        {HKEY_CLASSES_ROOT, L"CLSID", true},
        {HKEY_CLASSES_ROOT, L"clsid\\", true},
        {HKEY_CLASSES_ROOT, L"*", true},
        {HKEY_CLASSES_ROOT, L"Directory", true},
        {HKEY_CLASSES_ROOT, L"Interface", true},
        {HKEY_CLASSES_ROOT, L"Wow6432Node", true},
        {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID", true},
        // The control sets CurrentControlSet stands for, and the keys near their top.
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet001", true},
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet002", true},
        {HKEY_LOCAL_MACHINE, L"system\\controlset003\\services", true},
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet001\\Control", true},
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet001\\Enum", true},
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet001\\Control\\Session Manager", true},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", true},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Print\\Monitors", true},
        {HKEY_LOCAL_MACHINE, L"System\\Select", true},
        {HKEY_CURRENT_USER, L"Control Panel\\Desktop", true},
        // Below Software\Microsoft and its two CurrentVersion keys.
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Cryptography", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\.NETFramework", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\Shell", true},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Main", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions", true},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths", true},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Policies\\System", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Shell Extensions\\Approved", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Installer\\UserData", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\S-1-5-18", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", true},
        // The system's classes, their handler lists and their standard verbs.
        {HKEY_CLASSES_ROOT, L"TypeLib", true},
        {HKEY_CLASSES_ROOT, L"AppID", true},
        {HKEY_CLASSES_ROOT, L"Folder", true},
        {HKEY_CLASSES_ROOT, L"Drive", true},
        {HKEY_CLASSES_ROOT, L"exefile", true},
        {HKEY_CLASSES_ROOT, L".exe", true},
        {HKEY_CLASSES_ROOT, L"lnkfile", true},
        {HKEY_CLASSES_ROOT, L".LNK", true},
        {HKEY_CLASSES_ROOT, L"batfile", true},
        {HKEY_CLASSES_ROOT, L".bat", true},
        {HKEY_CLASSES_ROOT, L"cmdfile", true},
        {HKEY_CLASSES_ROOT, L".cmd", true},
        {HKEY_CLASSES_ROOT, L"comfile", true},
        {HKEY_CLASSES_ROOT, L".com", true},
        {HKEY_CLASSES_ROOT, L"dllfile", true},
        {HKEY_CLASSES_ROOT, L".dll", true},
        {HKEY_CLASSES_ROOT, L"txtfile", true},
        {HKEY_CLASSES_ROOT, L".txt", true},
        {HKEY_CLASSES_ROOT, L"regfile", true},
        {HKEY_CLASSES_ROOT, L".reg", true},
        {HKEY_CLASSES_ROOT, L".msi", true},
        {HKEY_CLASSES_ROOT, L"Msi.Package", true},
        {HKEY_CLASSES_ROOT, L"htmlfile", true},
        {HKEY_CLASSES_ROOT, L".htm", true},
        {HKEY_CLASSES_ROOT, L".html", true},
        {HKEY_CLASSES_ROOT, L"http", true},
        {HKEY_CLASSES_ROOT, L"https", true},
        {HKEY_CLASSES_ROOT, L"ftp", true},
        {HKEY_CLASSES_ROOT, L"mailto", true},
        {HKEY_CLASSES_ROOT, L"file", true},
        {HKEY_CLASSES_ROOT, L"EXEFILE\\shell\\open\\command", true},
        {HKEY_CLASSES_ROOT, L"http\\shell\\open", true},
        {HKEY_CLASSES_ROOT, L"*\\shellex", true},
        {HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers", true},
        {HKEY_CLASSES_ROOT, L"Directory\\shell", true},
        {HKEY_CLASSES_ROOT, L"Directory\\Background\\shellex\\ContextMenuHandlers", true},
        {HKEY_CLASSES_ROOT, L"SystemFileAssociations\\.txt\\shell", true},
        {HKEY_CLASSES_ROOT, L"Installer\\Products", true},
        {HKEY_CLASSES_ROOT, L"MIME\\Database\\Content Type", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\exefile", true},
        {HKEY_CURRENT_USER, L"Software\\Classes\\.exe", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\Wow6432Node\\CLSID", true},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Classes\\lnkfile\\shellex", true},
        {HKEY_USERS, L"S-1-5-21-1_Classes\\exefile\\shell", true},
        // One product's own keys.
        {HKEY_CURRENT_USER, L"Software\\Vendor", false},
        {HKEY_CURRENT_USER, L"Software\\Vendor\\Product", false},
        {HKEY_LOCAL_MACHINE, L"\\software\\vendor\\product\\", false},
        {HKEY_LOCAL_MACHINE, L"Software\\Wow6432Node\\Vendor\\Product", false},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{12345678-ABCD}", false},
        {HKEY_LOCAL_MACHINE,
         L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{12345678-ABCD}", false},
        {HKEY_LOCAL_MACHINE, L"Software\\Classes\\Vendor.Update", false},
        {HKEY_CLASSES_ROOT, L".qvtupd", false},
        {HKEY_CLASSES_ROOT, L"Vendor.Update", false},
        {HKEY_CLASSES_ROOT, L"CLSID\\{12345678-ABCD}", false},
        {HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleEditor.exe", false},
        {HKEY_LOCAL_MACHINE,
         L"Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\SampleEditor.exe", false},
        {HKEY_LOCAL_MACHINE,
         L"Software\\Microsoft\\Windows NT\\CurrentVersion\\Image File Execution Options\\SampleEditor.exe", false},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\FileExts\\.qdoc", false},
        {HKEY_CURRENT_USER, L"Software\\Microsoft\\Internet Explorer\\Extensions\\{12345678-ABCD}", false},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Services\\QuorvantPrint", false},
        {HKEY_LOCAL_MACHINE, L"System\\ControlSet001\\Services\\QuorvantPrint", false},
        {HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Print\\Monitors\\Quorvant Port", false},
        {HKEY_CLASSES_ROOT, L".qdoc", false},
        {HKEY_CLASSES_ROOT, L"Quorvant.Document", false},
        {HKEY_CLASSES_ROOT, L"Quorvant.Document\\shell\\open", false},
        {HKEY_CLASSES_ROOT, L"Interface\\{12345678-ABCD}", false},
        {HKEY_CLASSES_ROOT, L"TypeLib\\{12345678-ABCD}", false},
        {HKEY_CLASSES_ROOT, L"AppID\\SampleEditor.exe", false},
        {HKEY_CLASSES_ROOT, L"Applications\\SampleEditor.exe", false},
        {HKEY_CLASSES_ROOT, L"*\\shellex\\ContextMenuHandlers\\QuorvantMenu", false},
        {HKEY_CLASSES_ROOT, L"Directory\\shell\\QuorvantOpen", false},
        {HKEY_CLASSES_ROOT, L"Directory\\Background\\shell\\QuorvantHere", false},
        {HKEY_CLASSES_ROOT, L"exefile\\shell\\QuorvantVerb", false},
        {HKEY_CLASSES_ROOT, L"SystemFileAssociations\\.txt\\shell\\QuorvantEdit", false},
        {HKEY_CLASSES_ROOT, L"MIME\\Database\\Content Type\\application/x-qdoc", false},
        {HKEY_CLASSES_ROOT, L"Wow6432Node\\CLSID\\{12345678-ABCD}", false},
        {HKEY_USERS, L"S-1-5-21-1_Classes\\.qdoc", false},
        {HKEY_USERS, L"S-1-5-21-1\\Software\\Vendor\\Product", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.shared, Common::Tools::IsSharedRegistryKey(c.root, c.path)) << Narrow(c.path);
}

TEST_F(RegistryNodesTest, SharedKeysAreRefusedAndAProductsOwnKeysRemoved)
{
    TestSupport::CRootOverride scratch(HKEY_CURRENT_USER, L"Software\\QuorvantTests\\SharedKeysScratch");
    ASSERT_TRUE(scratch.Active()) << "HKEY_CURRENT_USER could not be pointed at the scratch key";
    const std::wstring uninstall = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    for (const std::wstring& sub : {std::wstring(L"Software\\Wow6432Node\\Keep"), std::wstring(L"System\\Keep"),
                                    uninstall + L"\\{QVT-RECORD}", std::wstring(L"Software\\Vendor\\Product\\Sub"),
                                    std::wstring(L"Software\\Other\\Keep")})
        ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CURRENT_USER, sub, L"v", 0, L"x")) << Narrow(sub);

    const struct {
        const char* keyName;
        const wchar_t* stillThere;
    } refused[] = {
        {"Software", L"Software"},
        {"software\\", L"Software"},
        {"\\Software", L"Software"},
        {"System", L"System\\Keep"},
        // Wine keeps Classes and Policies of the current user out of an
        // overridden root: their refusal is seen in the trace alone.
        {"Software\\Classes", L"Software\\Other\\Keep"},
        {"SOFTWARE\\\\Microsoft", L"Software\\Microsoft"},
        {"Software\\Policies\\", L"Software\\Other\\Keep"},
        {"Software\\Wow6432Node", L"Software\\Wow6432Node\\Keep"},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
         L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{QVT-RECORD}"},
    };
    for (const auto& c : refused) {
        Load(std::string("<S><HKCU Remove='true' KeyName='") + c.keyName + "'/><SetCond condition='after'/></S>");
        const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
        EXPECT_TRUE(Contains(lines, std::string("Setup: RemoveRegEntry: Refused to remove the shared key 'HKCU\\") +
                                        c.keyName + "'"))
            << Joined(lines);
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, c.stillThere)) << c.keyName;
        EXPECT_TRUE(Has(L"after"));
    }
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Other\\Keep"));

    // A product's own key and its uninstall record go.
    Load("<S><HKCU Remove='true' KeyName='Software\\Vendor'/>"
         "<HKCU Remove='true' KeyName='" + Narrow(uninstall) + "\\{QVT-RECORD}'/></S>");
    const std::vector<std::string> lines = TraceOf([&] { Run(L"//Interface/S"); });
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Vendor")) << Joined(lines);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, uninstall + L"\\{QVT-RECORD}")) << Joined(lines);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, uninstall));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software\\Other\\Keep"));
}

class AssociationTest : public RegistryNodesTest
{
protected:
    void LoadInfo(const std::string& ext, const std::string& alias)
    {
        Load("<InstallInfo UpdateExt='" + ext + "' UpdateAlias='" + alias +
             "' CaptionUpdDsc='Quorvant test update'/>");
    }
};

const wchar_t kAlias[] = L"QuorvantTests.RegistryNodes.Update";
const char kAliasA[] = "QuorvantTests.RegistryNodes.Update";
const wchar_t kExt[] = L".qvtregupd";

TEST_F(AssociationTest, AddWritesTheClassAndTheExtensionWithOrWithoutItsDot)
{
    CKeyTreeScope aliasScope(HKEY_CLASSES_ROOT, kAlias);
    CKeyTreeScope extScope(HKEY_CLASSES_ROOT, kExt);
    const struct {
        const char* ext;
        const wchar_t* program;
        const wchar_t* exe;
    } cases[] = {
        {"qvtregupd", L"C:\\Program Files\\Quorvant\\uninst.exe", L"\"C:\\Program Files\\Quorvant\\uninst.exe\""},
        {".qvtregupd", L"C:\\Quorvant\\uninst.exe", L"C:\\Quorvant\\uninst.exe"},
    };
    for (const auto& c : cases) {
        LoadInfo(c.ext, kAliasA);
        Manager().AssociateUpdatePackages(true, c.program);
        EXPECT_EQ(std::wstring(kAlias), ReadText(HKEY_CLASSES_ROOT, kExt, L"")) << c.ext;
        EXPECT_EQ(L"Quorvant test update", ReadText(HKEY_CLASSES_ROOT, kAlias, L""));
        EXPECT_EQ(std::wstring(c.exe) + L" /i \"%1\"",
                  ReadText(HKEY_CLASSES_ROOT, std::wstring(kAlias) + L"\\shell\\open\\command", L""))
            << Ascii(c.program);
        EXPECT_EQ(std::wstring(c.exe) + L",0", ReadText(HKEY_CLASSES_ROOT, std::wstring(kAlias) + L"\\DefaultIcon", L""))
            << Ascii(c.program);
        EXPECT_EQ(TextBytes(kAlias), ReadValue(HKEY_CLASSES_ROOT, kExt, L"").data);
        EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, L"qvtregupd"));
    }

    // Removal takes both keys with their subtrees.
    Manager().AssociateUpdatePackages(false, CString());
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAlias));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExt));
}

TEST_F(AssociationTest, NothingHappensWithoutAnAliasOrAnExtension)
{
    CKeyTreeScope aliasScope(HKEY_CLASSES_ROOT, kAlias);
    CKeyTreeScope extScope(HKEY_CLASSES_ROOT, kExt);

    LoadInfo(".qvtregupd", "");
    Manager().AssociateUpdatePackages(true, L"C:\\x.exe");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kExt));

    LoadInfo("", kAliasA);
    Manager().AssociateUpdatePackages(true, L"C:\\x.exe");
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kAlias));

    // Nor is anything removed.
    ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CLASSES_ROOT, kExt, L"", 0, kAlias));
    LoadInfo(".qvtregupd", "");
    Manager().AssociateUpdatePackages(false, CString());
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExt));
}

TEST_F(AssociationTest, RemovalWithoutTheClassKeyKeepsTheExtensionAndIsTraced)
{
    CKeyTreeScope aliasScope(HKEY_CLASSES_ROOT, kAlias);
    CKeyTreeScope extScope(HKEY_CLASSES_ROOT, kExt);
    ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CLASSES_ROOT, kExt, L"", 0, kAlias));
    LoadInfo("qvtregupd", kAliasA);
    const std::vector<std::string> lines =
        TraceOf([&] { Manager().AssociateUpdatePackages(false, CString()); });
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExt));
    EXPECT_TRUE(Contains(lines, "Setup: Can't associate update packages with extension '.qvtregupd'. Module: ''"))
        << Joined(lines);
}

TEST_F(AssociationTest, RemovalRefusesTheSystemsClasses)
{
    const struct {
        const char* ext;
        const char* alias;
        const wchar_t* refused; // the key the trace names
        std::vector<std::wstring> kept;
        std::vector<std::wstring> removed;
    } cases[] = {
        {".exe", "exefile", L"exefile", {L"exefile\\shell\\open\\command", L".exe"}, {}},
        {"lnk", kAliasA, L".lnk", {L".lnk"}, {kAlias}},
        {".qvtregupd", "CLSID", L"CLSID", {L"CLSID\\{QVT-CLASS}", kExt}, {}},
        {".qvtregupd", "*", L"*", {L"*\\shellex\\ContextMenuHandlers", kExt}, {}},
        {".qvtregupd", "Directory\\shell", L"Directory\\shell", {L"Directory\\shell\\open", kExt}, {}},
        {".html", "http", L"http", {L"http\\shell\\open\\command", L".html"}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alias);
        LoadInfo(c.ext, c.alias);
        // The classes root of this process is a scratch key while the removal runs:
        // a refusal that failed would only reach copies of the shared classes.
        TestSupport::CRootOverride classes(HKEY_CLASSES_ROOT, L"Software\\QuorvantTests\\ClassesScratch");
        ASSERT_TRUE(classes.Active()) << "HKEY_CLASSES_ROOT could not be pointed at the scratch key";
        for (const std::wstring& key : c.kept)
            ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CLASSES_ROOT, key, L"", 0, L"x")) << Ascii(key);
        for (const std::wstring& key : c.removed)
            ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CLASSES_ROOT, key, L"", 0, L"x")) << Ascii(key);
        const std::vector<std::string> lines =
            TraceOf([&] { Manager().AssociateUpdatePackages(false, CString()); });
        EXPECT_TRUE(Contains(lines, "Setup: Refused to remove the shared key 'HKCR\\" + Ascii(c.refused) + "'"))
            << Joined(lines);
        EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
            return line.find("Setup: Can't associate update packages with extension ") == 0;
        })) << Joined(lines);
        for (const std::wstring& key : c.kept)
            EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, key)) << Ascii(key);
        for (const std::wstring& key : c.removed)
            EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, key)) << Ascii(key);
    }
}

TEST_F(AssociationTest, RemovalThatStopsPartWayIsTracedAsSuch)
{
    LoadInfo(".qvtregupd", kAliasA);
    TestSupport::CRootOverride classes(HKEY_CLASSES_ROOT, L"Software\\QuorvantTests\\ClassesScratch");
    ASSERT_TRUE(classes.Active()) << "HKEY_CLASSES_ROOT could not be pointed at the scratch key";
    ASSERT_TRUE(TestSupport::SetRegistryString(HKEY_CLASSES_ROOT, kExt, L"", 0, kAlias));
    // "0first" comes before "a" and goes; the link below "a" stops the removal.
    CTreeStoppedByLink tree(HKEY_CLASSES_ROOT, kAlias, {L"\\0first", L"\\a"});
    ASSERT_TRUE(tree.Usable()) << "the registry link that stops the removal could not be made";
    const std::vector<std::string> lines = TraceOf([&] { Manager().AssociateUpdatePackages(false, CString()); });
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kAlias) + L"\\0first"));
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, std::wstring(kAlias) + L"\\a"));
    const std::string start = std::string("Setup: Removal of 'HKCR\\") + kAliasA + "' stopped part-way (error ";
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [&](const std::string& line) { return line.compare(0, start.size(), start) == 0; }))
        << Joined(lines);
    EXPECT_TRUE(Contains(lines, "Setup: Can't associate update packages with extension '.qvtregupd'. Module: ''"))
        << Joined(lines);
    // The extension stays with its class.
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kExt));
}

class VersionInfoTest : public RegistryNodesTest
{
protected:
    std::wstring ProductKey() const { return std::wstring(kUninstallKey) + L"\\QuorvantTests.RegistryNodes"; }
};

TEST_F(VersionInfoTest, WrittenOnlyInUpdateMode)
{
    CKeyTreeScope scope(HKEY_LOCAL_MACHINE, ProductKey());
    const std::string info = "<InstallInfo ProductID='QuorvantTests.RegistryNodes' VersionMinor='7' "
                             "VersionMajor='3' DisplayVersion='3.7.1'/>";

    Load("<SetupFiles/>" + info);
    ASSERT_FALSE(Manager().m_bUpdateMode);
    Manager().UpdateVersionInfo();
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, ProductKey()));

    Load("<SetupFiles Update='true'/>" + info);
    ASSERT_TRUE(Manager().m_bUpdateMode);
    Manager().UpdateVersionInfo();
    const REGSAM view = TestSupport::OwnRegistryView();
    EXPECT_EQ(DwordBytes(7), ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"VersionMinor", view).data);
    EXPECT_EQ(DwordBytes(3), ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"VersionMajor", view).data);
    const SValue display = ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"DisplayVersion", view);
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), display.type);
    EXPECT_EQ(TextBytes(L"3.7.1"), display.data);
}

TEST_F(VersionInfoTest, ABadNumberKeepsWhatWasWrittenBeforeIt)
{
    CKeyTreeScope scope(HKEY_LOCAL_MACHINE, ProductKey());
    Load("<SetupFiles Update='1'/><InstallInfo ProductID='QuorvantTests.RegistryNodes' VersionMinor='7' "
         "VersionMajor='three' DisplayVersion='3.7.1'/>");
    const std::vector<std::string> lines = TraceOf([&] { Manager().UpdateVersionInfo(); });
    EXPECT_TRUE(Contains(lines, "Setup: UpdateVersionInfo: failed")) << Joined(lines);
    EXPECT_EQ(DwordBytes(7), ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"VersionMinor").data);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"VersionMajor").found);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, ProductKey(), L"DisplayVersion").found);
}

TEST_F(VersionInfoTest, AnEmptyProductWritesNothing)
{
    TestSupport::CRegistryValueScope minor(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor",
                                           TestSupport::OwnRegistryView());
    Load("<SetupFiles Update='true'/><InstallInfo ProductID='' VersionMinor='7'/>");
    const std::vector<std::string> lines = TraceOf([&] { Manager().UpdateVersionInfo(); });
    EXPECT_TRUE(Contains(lines, "Setup: UpdateVersionInfo: failed")) << Joined(lines);
    EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, kUninstallKey, L"VersionMinor").found);
}

} // namespace
