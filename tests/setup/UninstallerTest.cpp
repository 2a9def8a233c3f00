// Tests of the uninstaller registration.
#include "tests/setup/EngineFixture.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/storage/Storage.h"
#include "common/tools/PathSafety.h"
#include "common/tools/PathTools.h"
#include "common/tools/PathVariables.h"
#include "common/tools/RegKey.h"
#include "common/tools/SetupTrace.h"
#include "tests/common/XMLTestSupport.h"
#include "tests/support/CaptureOutput.h"
#include "tests/support/RegistryScope.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

using TestSupport::Bytes;
using TestSupport::ComErrorOf;
using TestSupport::ToBytes;
using XMLTest::Narrow;

namespace {

using TestSupport::Joined;

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

std::string Utf8(const std::wstring& text)
{
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(size > 0 ? size - 1 : 0, '\0');
    if (size > 1)
        WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, &result[0], size, nullptr, nullptr);
    return result;
}

bool Exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool Contains(const Bytes& haystack, const std::string& needle)
{
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// The trace lines written while the body runs, as one text.
std::string TraceOf(const std::function<void()>& body)
{
    return Joined(TestSupport::TraceOf(body));
}

std::wstring RecordKey(const std::wstring& product)
{
    return std::wstring(kUninstallKey) + L"\\" + product;
}

// One value of a record: its type and bytes as stored.
struct SValue
{
    DWORD type = REG_NONE;
    Bytes data;
};

// The record of a product as the 32-bit setup sees it; name -> value.
std::map<std::wstring, SValue> ReadRecord(const std::wstring& product)
{
    std::map<std::wstring, SValue> values;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, RecordKey(product).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return values;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256] = {};
        DWORD nameLength = 256;
        BYTE data[4096] = {};
        DWORD size = sizeof(data);
        SValue value;
        if (RegEnumValueW(key, index, name, &nameLength, nullptr, &value.type, data, &size) != ERROR_SUCCESS)
            break;
        value.data.assign(data, data + size);
        values[name] = value;
    }
    RegCloseKey(key);
    return values;
}

bool RecordExists(const std::wstring& product)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, RecordKey(product).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

SValue Text(const std::wstring& text)
{
    SValue value;
    value.type = REG_SZ;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    value.data.assign(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)); // with its NUL
    return value;
}

SValue Dword(DWORD number)
{
    SValue value;
    value.type = REG_DWORD;
    const BYTE* bytes = reinterpret_cast<const BYTE*>(&number);
    value.data.assign(bytes, bytes + sizeof(number));
    return value;
}

std::string Describe(const std::map<std::wstring, SValue>& values)
{
    std::string text;
    for (const auto& value : values) {
        text += Narrow(value.first.c_str()) + " type " + std::to_string(value.second.type) + " = ";
        if (value.second.type == REG_SZ)
            text += "\"" + Narrow(std::wstring(reinterpret_cast<const wchar_t*>(value.second.data.data()),
                                               value.second.data.size() / sizeof(wchar_t)).c_str()) + "\"";
        else if (value.second.type == REG_DWORD && value.second.data.size() == sizeof(DWORD))
            text += std::to_string(*reinterpret_cast<const DWORD*>(value.second.data.data()));
        text += " (" + std::to_string(value.second.data.size()) + " bytes)\n";
    }
    return text;
}

// Removes the record of the product (any the test made) on destruction: the
// tests share one prefix.
class CRecordScope
{
public:
    explicit CRecordScope(const std::wstring& product) : m_strProduct(product) {}
    ~CRecordScope()
    {
        if (!m_strProduct.empty())
            RegDeleteTreeW(HKEY_LOCAL_MACHINE, RecordKey(m_strProduct).c_str());
    }
    CRecordScope(const CRecordScope&) = delete;
    CRecordScope& operator=(const CRecordScope&) = delete;

private:
    std::wstring m_strProduct;
};

struct SDocument
{
    std::wstring product;
    std::wstring folder;
    // Further attributes of InstallInfo, as XML text.
    std::string attributes = " VersionMinor=\"3\" VersionMajor=\"7\" Publisher=\"Sample Works\""
                             " DisplayIcon=\"%TargetDir%\\app.exe\" DisplayName=\"Sample Writer\""
                             " DisplayVersion=\"7.3.1\" URLInfoAbout=\"http://example.com/about\""
                             " Edition=\"Home\"";
    std::string images = "<Logo Path=\"\\images\\logo.png\"/><Banner Path=\"\\banner.bmp\"/>";
    std::string extra;
    bool installInfo = true;
};

std::string DocumentText(const SDocument& d)
{
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Interface>";
    if (d.installInfo)
        text += "<InstallInfo ProductID=\"" + Utf8(d.product) + "\" UninstallPath=\"" + Utf8(d.folder) + "\"" +
                d.attributes + "/>";
    text += "<Resources><Images>" + d.images + "</Images></Resources>"
            "<Localize><InstallSteps><RegisterProgram Caption=\"Registering\"/></InstallSteps></Localize>" +
            d.extra + "</Interface>";
    return text;
}

class UninstallerTest : public TestSupport::CEngineTest
{
protected:
    void SetUp() override
    {
        CEngineTest::SetUp();
        m_strTarget = m_temp / L"Program";
        GetPathVariables().Define(L"%TargetDir%", m_strTarget.c_str());
        m_logo = TestSupport::Noise(3000, 7);
        m_banner = TestSupport::Pattern(5000, 3);
    }

    // A document for a new product whose uninstall folder is 'folder' under the
    // temporary folder.
    SDocument Document(const std::wstring& folder = L"Uninstall")
    {
        SDocument document;
        document.product = NewGuidString().Str();
        document.folder = m_temp / folder;
        return document;
    }

    bool Load(const SDocument& document, bool pack = false)
    {
        PackageTools::SBuildOptions options;
        options.pack = pack;
        return LoadPackage({{L"setup.xml", ToBytes(DocumentText(document))},
                            {L"images\\logo.png", m_logo},
                            {L"banner.bmp", m_banner}},
                           options);
    }

    HRESULT Register()
    {
        return ComErrorOf([&] { Manager().RegisterUninstaller(); });
    }

    static std::wstring FileOf(const SDocument& document, const wchar_t* extension)
    {
        return document.folder + L"\\" + document.product + extension;
    }

    std::wstring m_strTarget;
    Bytes m_logo;
    Bytes m_banner;
};

TEST_F(UninstallerTest, WritesTheCopyTheUninstallPackageAndTheComponentsFile)
{
    const SDocument document = Document();
    CRecordScope record(document.product);
    ASSERT_TRUE(Load(document, true)); // packed streams: the copies are stored unpacked
    Manager().m_SetupOptions.SetCondition(L"Extras", true);
    Manager().m_SetupOptions.SetCondition(L"Docs", false);

    HRESULT hr = E_UNEXPECTED;
    const std::string trace = TraceOf([&] { hr = Register(); });
    ASSERT_EQ(S_OK, hr) << trace;
    EXPECT_TRUE(Manager().m_bUninstallerRegistered);
    EXPECT_NE(std::string::npos, trace.find("Setup: Register uninstaller\n")) << trace;
    EXPECT_NE(std::string::npos, trace.find("Setup: Save installed components info: 1\n")) << trace;

    // The copy is the running program (here the test program).
    const Bytes program = TestSupport::ReadFileBytes(GetModulePath().Str());
    ASSERT_FALSE(program.empty());
    EXPECT_TRUE(program == TestSupport::ReadFileBytes(FileOf(document, L".exe")));

    // The package carries the cipher bit on disk, and its streams are enciphered.
    const std::wstring packagePath = FileOf(document, L".cfs");
    TestSupport::CCompoundImage image(TestSupport::ReadFileBytes(packagePath));
    ASSERT_FALSE(image.Data().empty());
    EXPECT_EQ(1u, image.Dword(image.RootEntry() + TestSupport::CCompoundImage::kEntryStateBits) & 1u);
    EXPECT_FALSE(Contains(image.Data(), "UninstallScript"));
    EXPECT_FALSE(Contains(image.Data(), "InstallInfo"));

    Common::Storage::CStorage package;
    ASSERT_TRUE(package.Open(packagePath, true, false));
    IStreamPtr xml = package.OpenStream(L"\\setup.xml");
    ASSERT_TRUE(xml != nullptr);
    Common::Config::CXMLDocument copy;
    copy.LoadStream(xml);
    EXPECT_EQ(m_strTarget, XMLTest::Wide(_bstr_t(copy.GetValue(L"TargetDir", L"/Interface/UninstallScript",
                                                               _variant_t(L"missing")))));
    // The rest of the document came along, and the script element is the last child.
    EXPECT_EQ(document.product,
              XMLTest::Wide(_bstr_t(copy.GetValue(L"ProductID", L"/Interface/InstallInfo", _variant_t(L"")))));
    Common::Config::CXMLNodeList children;
    copy.SelectNodes(L"/Interface/*", children);
    ASSERT_EQ(4, children.GetLength());
    EXPECT_EQ(L"UninstallScript", XMLTest::NodeName(children.GetItem(3)));

    DWORD size = 0;
    std::unique_ptr<BYTE[]> logo = package.LoadFile(L"\\images\\logo.png", size);
    ASSERT_TRUE(logo != nullptr);
    EXPECT_TRUE(m_logo == Bytes(logo.get(), logo.get() + size));
    std::unique_ptr<BYTE[]> banner = package.LoadFile(L"\\banner.bmp", size);
    ASSERT_TRUE(banner != nullptr);
    EXPECT_TRUE(m_banner == Bytes(banner.get(), banner.get() + size));
    std::vector<std::wstring> streams;
    ASSERT_TRUE(package.ListFiles(L"\\", streams));
    std::sort(streams.begin(), streams.end());
    EXPECT_EQ((std::vector<std::wstring>{L"\\banner.bmp", L"\\images\\logo.png", L"\\setup.xml"}), streams);

    // The components file holds the chosen components.
    CSetupOptions components;
    components.m_strPath = FileOf(document, L".cfg").c_str();
    ASSERT_TRUE(components.Load());
    EXPECT_TRUE(components.EvaluateCondition(L"Extras", false));
    EXPECT_FALSE(components.EvaluateCondition(L"Docs", false));
    EXPECT_EQ(2u, components.m_Conditions.size());
}

TEST_F(UninstallerTest, RecordValues)
{
    const struct {
        const wchar_t* folder;
        bool quoted;
    } cases[] = {
        {L"Uninstall", false},
        {L"Uninstall Info", true},
    };
    for (const auto& c : cases) {
        const SDocument document = Document(c.folder);
        CRecordScope record(document.product);
        ASSERT_TRUE(Load(document));
        ASSERT_EQ(S_OK, Register());

        std::wstring command = FileOf(document, L".exe");
        if (c.quoted)
            command = L"\"" + command + L"\"";
        command += L" /X" + document.product;
        const std::map<std::wstring, SValue> expected = {
            {L"VersionMinor", Dword(3)},
            {L"VersionMajor", Dword(7)},
            {L"UninstallString", Text(command)},
            {L"Publisher", Text(L"Sample Works")},
            {L"InstallLocation", Text(m_strTarget)},
            {L"DisplayIcon", Text(m_strTarget + L"\\app.exe")},
            {L"DisplayName", Text(L"Sample Writer")},
            {L"DisplayVersion", Text(L"7.3.1")},
            {L"URLInfoAbout", Text(L"http://example.com/about")},
            {L"Edition", Text(L"Home")},
        };
        const std::map<std::wstring, SValue> values = ReadRecord(document.product);
        EXPECT_EQ(Describe(expected), Describe(values)) << Narrow(c.folder);
        // The command names the copy that was written.
        EXPECT_TRUE(Exists(FileOf(document, L".exe")));
    }
}

TEST_F(UninstallerTest, OptionalRecordValues)
{
    const struct {
        const char* edition; // attribute text, or null for none
        bool languages;
        bool hasEdition;
    } cases[] = {
        {"", false, false},
        {nullptr, true, false},
        {"Pro", true, true},
    };
    for (const auto& c : cases) {
        SDocument document = Document();
        document.attributes = " DisplayName=\"Sample\"";
        if (c.edition != nullptr)
            document.attributes += std::string(" Edition=\"") + c.edition + "\"";
        CRecordScope record(document.product);
        ASSERT_TRUE(Load(document));
        if (c.languages) {
            Manager().m_MultiLang.m_bLoaded = true;
            Manager().m_MultiLang.m_strCurrent = L"1031";
        }
        ASSERT_EQ(S_OK, Register());
        const std::map<std::wstring, SValue> values = ReadRecord(document.product);
        EXPECT_EQ(c.hasEdition ? 1u : 0u, values.count(L"Edition")) << Describe(values);
        if (c.languages) {
            ASSERT_EQ(1u, values.count(L"LanguageID")) << Describe(values);
            EXPECT_EQ(Describe({{L"LanguageID", Text(L"1031")}}),
                      Describe({{L"LanguageID", values.at(L"LanguageID")}}));
        } else {
            EXPECT_EQ(0u, values.count(L"LanguageID")) << Describe(values);
        }
        // Absent attributes: empty texts and zero versions, still written.
        EXPECT_EQ(Describe({{L"VersionMinor", Dword(0)}, {L"Publisher", Text(L"")}}),
                  Describe({{L"VersionMinor", values.count(L"VersionMinor") ? values.at(L"VersionMinor") : SValue()},
                            {L"Publisher", values.count(L"Publisher") ? values.at(L"Publisher") : SValue()}}));
    }
}

TEST_F(UninstallerTest, NoRecordWithoutProductRegistration)
{
    g_CmdLine.m_bRegisterProduct = false; // "/p"
    const SDocument document = Document();
    CRecordScope record(document.product);
    ASSERT_TRUE(Load(document));
    ASSERT_EQ(S_OK, Register());
    EXPECT_TRUE(Manager().m_bUninstallerRegistered);
    EXPECT_TRUE(Exists(FileOf(document, L".exe")));
    EXPECT_TRUE(Exists(FileOf(document, L".cfs")));
    EXPECT_TRUE(Exists(FileOf(document, L".cfg")));
    EXPECT_FALSE(RecordExists(document.product));
}

TEST_F(UninstallerTest, EmptyProductWithoutProductRegistrationIsNoFailure)
{
    g_CmdLine.m_bRegisterProduct = false; // "/p"
    SDocument document = Document();
    document.product.clear();
    ASSERT_TRUE(Load(document));
    std::string trace;
    HRESULT hr = E_UNEXPECTED;
    trace = TraceOf([&] { hr = Register(); });
    EXPECT_EQ(S_OK, hr) << trace;
    EXPECT_TRUE(Manager().m_bUninstallerRegistered);
    // Files without a name would stand for no product: none are written.
    EXPECT_FALSE(Exists(document.folder)) << trace;
    EXPECT_NE(std::string::npos, trace.find("No product ID")) << trace;
}

TEST_F(UninstallerTest, ProductIdsThatAreNotOneFileNameAreRefused)
{
    const struct {
        const wchar_t* product;
        bool registerProduct;
    } cases[] = {
        {L"..\\Escaped", true},
        {L"..\\Escaped", false},
        {L"sub/Escaped", false},
        {L"C:Escaped", false},
        {L"..", false},
        {L"a..b", false},
        {L"", true}, // the record would be written into the list's own key
        {L"a*b", false},
    };
    for (const auto& c : cases) {
        g_CmdLine.m_bRegisterProduct = c.registerProduct;
        SDocument document = Document(L"deep\\Uninstall");
        document.product = c.product;
        ASSERT_TRUE(Load(document));
        HRESULT hr = S_OK;
        const std::string trace = TraceOf([&] { hr = Register(); });
        EXPECT_EQ(E_FAIL, hr) << Narrow(c.product);
        EXPECT_FALSE(Manager().m_bUninstallerRegistered);
        EXPECT_NE(std::string::npos, trace.find("is not a usable file name")) << trace;
        // Nothing written anywhere: not in the folder, not beside it.
        EXPECT_FALSE(Exists(m_temp / L"deep")) << Narrow(c.product);
        EXPECT_FALSE(Exists(m_temp / L"Escaped.exe"));
        EXPECT_FALSE(Exists(m_temp / L"Escaped.cfs"));
    }
}

TEST_F(UninstallerTest, UninstallPathMustBeAFullFolderPath)
{
    const struct {
        const char* name;
        std::wstring folder;
    } cases[] = {
        {"empty", L""},
        {"relative", L"Relative"},
        {"too long", m_temp / std::wstring(250, L'x')},
    };
    for (const auto& c : cases) {
        SDocument document = Document();
        document.folder = c.folder;
        CRecordScope record(document.product);
        ASSERT_TRUE(Load(document));
        HRESULT hr = S_OK;
        const std::string trace = TraceOf([&] { hr = Register(); });
        EXPECT_EQ(E_FAIL, hr) << c.name;
        EXPECT_NE(std::string::npos, trace.find("is not a usable folder")) << c.name << ": " << trace;
        EXPECT_FALSE(Manager().m_bUninstallerRegistered);
        EXPECT_FALSE(RecordExists(document.product)) << c.name;
        EXPECT_FALSE(Exists(document.product + L".exe")) << c.name;
    }
}

TEST(RegKeyHolder, HoldsOnlyKeysThatOpened)
{
    Common::Tools::CRegKey key;
    EXPECT_EQ(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE", KEY_READ));
    EXPECT_TRUE(key.IsOpen());
    // A failed open lets go of the key held before and holds nothing.
    EXPECT_NE(ERROR_SUCCESS, key.Open(HKEY_LOCAL_MACHINE, L"SOFTWARE\\{no such key at all}", KEY_READ));
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(nullptr, key.Get());
    EXPECT_NE(ERROR_SUCCESS, key.Create(nullptr, L"x", KEY_READ));
    EXPECT_FALSE(key.IsOpen());
}

TEST_F(UninstallerTest, ValueThatDoesNotConvertFailsBeforeAnythingIsWritten)
{
    SDocument document = Document();
    document.attributes = " VersionMinor=\"three\"";
    CRecordScope record(document.product);
    ASSERT_TRUE(Load(document));
    EXPECT_EQ(DISP_E_TYPEMISMATCH, Register());
    EXPECT_FALSE(Manager().m_bUninstallerRegistered);
    EXPECT_FALSE(Exists(document.folder));
    EXPECT_FALSE(RecordExists(document.product));
}

TEST_F(UninstallerTest, CasesThatDoNothing)
{
    const struct {
        const char* name;
        bool installInfo;
        const char* extra;
    } cases[] = {
        {"update package", true, "<SetupFiles Update=\"true\"/>"},
        {"no InstallInfo", false, ""},
    };
    for (const auto& c : cases) {
        SDocument document = Document();
        document.installInfo = c.installInfo;
        document.extra = c.extra;
        CRecordScope record(document.product);
        ASSERT_TRUE(Load(document));
        HRESULT hr = E_UNEXPECTED;
        const std::string trace = TraceOf([&] { hr = Register(); });
        EXPECT_EQ(S_OK, hr) << c.name;
        EXPECT_FALSE(Manager().m_bUninstallerRegistered) << c.name;
        EXPECT_FALSE(Exists(document.folder)) << c.name;
        EXPECT_FALSE(RecordExists(document.product)) << c.name;
        EXPECT_EQ(std::string::npos, trace.find("Register uninstaller")) << c.name << ": " << trace;
    }
}

TEST_F(UninstallerTest, SecondCallDoesNothing)
{
    const SDocument document = Document();
    CRecordScope record(document.product);
    ASSERT_TRUE(Load(document));
    ASSERT_EQ(S_OK, Register());
    ASSERT_TRUE(DeleteFileW(FileOf(document, L".exe").c_str()));
    ASSERT_TRUE(DeleteFileW(FileOf(document, L".cfs").c_str()));
    ASSERT_EQ(ERROR_SUCCESS, RegDeleteTreeW(HKEY_LOCAL_MACHINE, RecordKey(document.product).c_str()));
    HRESULT hr = E_UNEXPECTED;
    const std::string trace = TraceOf([&] { hr = Register(); });
    EXPECT_EQ(S_OK, hr);
    EXPECT_TRUE(trace.empty()) << trace;
    EXPECT_FALSE(Exists(FileOf(document, L".exe")));
    EXPECT_FALSE(Exists(FileOf(document, L".cfs")));
    EXPECT_FALSE(RecordExists(document.product));
}

TEST_F(UninstallerTest, NewFolderIsHiddenAndAnExistingOneKeepsItsAttributes)
{
    g_CmdLine.m_bRegisterProduct = false;
    const struct {
        bool exists;
        bool hidden;
    } cases[] = {
        {false, true},
        {true, false},
    };
    for (const auto& c : cases) {
        const SDocument document = Document(c.exists ? L"Existing" : L"Fresh");
        if (c.exists) {
            ASSERT_TRUE(CreateDirectoryW(document.folder.c_str(), nullptr));
        }
        ASSERT_TRUE(Load(document));
        ASSERT_EQ(S_OK, Register());
        const DWORD attributes = GetFileAttributesW(document.folder.c_str());
        ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
        EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
        EXPECT_EQ(c.hidden, (attributes & FILE_ATTRIBUTE_HIDDEN) != 0) << (c.exists ? "existing" : "new");
    }
}

TEST_F(UninstallerTest, EarlierFilesAreReplaced)
{
    g_CmdLine.m_bRegisterProduct = false;
    const SDocument document = Document();
    TestSupport::WriteFileBytes(FileOf(document, L".exe"), ToBytes("old copy"));
    TestSupport::WriteFileBytes(FileOf(document, L".cfs"), ToBytes("not a compound file at all"));
    ASSERT_TRUE(Load(document));
    ASSERT_EQ(S_OK, Register());
    EXPECT_TRUE(TestSupport::ReadFileBytes(GetModulePath().Str()) ==
                TestSupport::ReadFileBytes(FileOf(document, L".exe")));
    Common::Storage::CStorage package;
    ASSERT_TRUE(package.Open(FileOf(document, L".cfs"), true, false));
    IStreamPtr xml = package.OpenStream(L"\\setup.xml");
    ASSERT_TRUE(xml != nullptr);
    Common::Config::CXMLDocument copy;
    copy.LoadStream(xml);
    Common::Config::CXMLElement script;
    copy.GetElement(L"/Interface/UninstallScript", script);
}

TEST_F(UninstallerTest, AnImageNamedLikeTheScriptDoesNotReplaceIt)
{
    g_CmdLine.m_bRegisterProduct = false;
    SDocument document = Document();
    document.images = "<Logo Path=\"\\images\\logo.png\"/><Odd Path=\"\\SETUP.XML\"/>";
    ASSERT_TRUE(Load(document));
    ASSERT_EQ(S_OK, Register());
    Common::Storage::CStorage package;
    ASSERT_TRUE(package.Open(FileOf(document, L".cfs"), true, false));
    Common::Config::CXMLDocument copy;
    copy.LoadStream(package.OpenStream(L"\\setup.xml"));
    Common::Config::CXMLElement script;
    EXPECT_EQ(S_OK, ComErrorOf([&] { copy.GetElement(L"/Interface/UninstallScript", script); }));
}

TEST_F(UninstallerTest, MissingImageFailsAndKeepsWhatWasDone)
{
    g_CmdLine.m_bRegisterProduct = false;
    SDocument document = Document();
    document.images = "<Logo Path=\"\\images\\missing.png\"/>";
    ASSERT_TRUE(Load(document));
    EXPECT_TRUE(FAILED(Register()));
    EXPECT_FALSE(Manager().m_bUninstallerRegistered);
    EXPECT_TRUE(Exists(FileOf(document, L".exe")));
    EXPECT_FALSE(Exists(FileOf(document, L".cfg")));
}

TEST_F(UninstallerTest, AFailedCopyRegistersNothing)
{
    const struct {
        const char* name;
        bool folder; // the copy's name is taken by a folder; else by a file held open without sharing
    } cases[] = {
        {"a folder in the way", true},
        {"a file held open", false},
    };
    for (const auto& c : cases) {
        const SDocument document = Document(c.folder ? L"FolderInTheWay" : L"HeldOpen");
        CRecordScope record(document.product);
        const std::wstring copy = FileOf(document, L".exe");
        ASSERT_TRUE(CreateDirectoryW(document.folder.c_str(), nullptr));
        HANDLE held = INVALID_HANDLE_VALUE;
        if (c.folder) {
            ASSERT_TRUE(CreateDirectoryW(copy.c_str(), nullptr));
        } else {
            TestSupport::WriteFileBytes(copy, ToBytes("old copy"));
            held = CreateFileW(copy.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
            ASSERT_NE(INVALID_HANDLE_VALUE, held);
        }
        ASSERT_TRUE(Load(document));
        HRESULT hr = S_OK;
        const std::string trace = TraceOf([&] { hr = Register(); });
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        EXPECT_EQ(E_FAIL, hr) << c.name;
        EXPECT_FALSE(Manager().m_bUninstallerRegistered) << c.name;
        EXPECT_FALSE(RecordExists(document.product)) << c.name;
        EXPECT_FALSE(Exists(FileOf(document, L".cfs"))) << c.name;
        EXPECT_NE(std::string::npos, trace.find("Can't copy the uninstaller")) << c.name << ": " << trace;
    }
}

} // namespace

TEST_F(UninstallerTest, AnUninstallPathInTheSharedDataFolderIsRefused)
{
    // Everyone may write in the shared data folder.
    const std::wstring data = m_temp / L"Shared Data";
    ASSERT_TRUE(GetPathVariables().Define(L"%TargetDataDir%", data.c_str()));
    std::wstring upper = data;
    std::transform(upper.begin(), upper.end(), upper.begin(), ::towupper);
    std::wstring slashed = data;
    std::replace(slashed.begin(), slashed.end(), L'\\', L'/');
    // Spelled without a root of their own: the current drive ("\Folder") or the
    // drive's current folder ("C:Folder") completes them. The drive's root is made
    // the current folder, so that both name the shared folder.
    const std::wstring drive = data.substr(0, 2);
    const std::wstring rooted = data.substr(2);
    const std::wstring onDrive = drive + data.substr(3);
    wchar_t before[MAX_PATH] = {};
    ::GetCurrentDirectoryW(MAX_PATH, before);
    ASSERT_TRUE(::SetCurrentDirectoryW((drive + L"\\").c_str()));
    const char* const inShared = "lies in the shared data folder";
    const char* const notFull = "is not a usable folder";
    const struct {
        const char* name;
        std::wstring folder;
        const char* refusal; // the trace's reason; null when taken
    } cases[] = {
        {"the folder itself", data, inShared},
        {"the folder with a trailing backslash", data + L"\\", inShared},
        {"below it", data + L"\\Uninstall", inShared},
        {"below it in other letter case", upper + L"\\UNINSTALL", inShared},
        {"below it with forward slashes", slashed + L"/Uninstall", inShared},
        {"below it with a trailing backslash", data + L"\\Uninstall\\", inShared},
        {"below it through '..'", data + L"\\Other\\..\\Uninstall", notFull},
        {"below it from the current drive's root", rooted + L"\\Uninstall", notFull},
        {"below it from the drive's current folder", onDrive + L"\\Uninstall", notFull},
        {"the folder from the current drive's root", rooted, notFull},
        {"a sibling whose name starts alike", data + L"2", nullptr},
        {"a sibling below", data + L"2\\Uninstall", nullptr},
        {"elsewhere", m_temp / L"Uninstall", nullptr},
    };
    for (const auto& c : cases) {
        SDocument document = Document();
        document.folder = c.folder;
        CRecordScope record(document.product);
        ASSERT_TRUE(Load(document)) << c.name;
        HRESULT hr = E_UNEXPECTED;
        const std::string trace = TraceOf([&] { hr = Register(); });
        const std::wstring copy = CanonicalPath((c.folder + L"\\" + document.product + L".exe").c_str()).Str();
        const bool refused = c.refusal != nullptr;
        if (refused) {
            EXPECT_EQ(E_FAIL, hr) << c.name;
            EXPECT_NE(std::string::npos, trace.find(c.refusal)) << c.name << ": " << trace;
        } else {
            EXPECT_EQ(S_OK, hr) << c.name << ": " << trace;
        }
        EXPECT_EQ(!refused, Manager().m_bUninstallerRegistered) << c.name;
        EXPECT_EQ(!refused, RecordExists(document.product)) << c.name;
        EXPECT_EQ(!refused, Exists(copy)) << c.name;
        EXPECT_EQ(!refused, Exists(CanonicalPath((c.folder + L"\\" + document.product + L".cfg").c_str()).Str()))
            << c.name;
    }
    ::SetCurrentDirectoryW(before);
    // Nothing was made inside the shared folder, not even the uninstall folder.
    EXPECT_FALSE(Exists(data + L"\\Uninstall"));
}

TEST_F(UninstallerTest, TheComponentsFileGoesBesideTheCopyInTheFolderChosenAfterStartUp)
{
    g_CmdLine.m_bRegisterProduct = false;
    SDocument document = Document();
    document.folder = L"%TargetDir%\\Uninstall";
    ASSERT_TRUE(Load(document)); // start-up with the default install folder
    // The folder typed on the destination page.
    const std::wstring chosen = m_temp / L"Typed Folder";
    ASSERT_TRUE(GetPathVariables().Define(L"%TargetDir%", chosen.c_str()));
    Manager().m_SetupOptions.SetCondition(L"Extras", true);
    Manager().m_SetupOptions.SetCondition(L"Docs", false);

    HRESULT hr = E_UNEXPECTED;
    const std::string trace = TraceOf([&] { hr = Register(); });
    ASSERT_EQ(S_OK, hr) << trace;
    EXPECT_NE(std::string::npos, trace.find("Setup: Save installed components info: 1\n")) << trace;
    const std::wstring folder = chosen + L"\\Uninstall\\" + document.product;
    EXPECT_TRUE(Exists(folder + L".exe"));
    CSetupOptions components;
    components.m_strPath = (folder + L".cfg").c_str();
    ASSERT_TRUE(components.Load());
    EXPECT_TRUE(components.EvaluateCondition(L"Extras", false));
    EXPECT_FALSE(components.EvaluateCondition(L"Docs", false));
    EXPECT_FALSE(Exists(m_strTarget + L"\\Uninstall")) << "nothing goes to the folder of start-up";
}
