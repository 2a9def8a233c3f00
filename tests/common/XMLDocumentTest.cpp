// Tests of the XML document and settings.
#include "common/config/XMLDocument.h"

#include "common/config/XMLElement.h"
#include "common/storage/PackedStorage.h"
#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"
#include "tests/common/XMLTestSupport.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

using Common::Config::CreateXMLStream;
using Common::Config::CXMLDocument;
using Common::Config::CXMLElement;
using Common::Config::CXMLNodeList;
using Common::Config::CXMLSettings;
using Common::Config::CXMLWritableSettings;
using Common::Config::IFileLoader;
using Common::Config::IXMLSettings;
using Common::Config::IXMLWritableSettings;
using Common::Storage::CPackedStorage;
using TestSupport::Bytes;
using TestSupport::ComErrorOf;
using TestSupport::PackageFiles;
using TestSupport::ReadFileBytes;
using TestSupport::StreamContent;
using TestSupport::ToBytes;
using TestSupport::WriteFileBytes;
using XMLTest::MalformedQueries;
using XMLTest::Narrow;
using XMLTest::SameVariant;
using XMLTest::SameXML;
using XMLTest::Wide;

namespace {

const wchar_t kInterface[] = L"<Interface>"
                             L"<Preferences Theme=\"Blue\" Empty=\"\"/>"
                             L"<Preferences Theme=\"Second\"/>"
                             L"<Localize><Common Caption=\"Hello\"/></Localize>"
                             L"<Messages><Message GlobalID=\"x\" Text=\"found\"/><Message GlobalID=\"y\" Text=\"other\"/></Messages>"
                             L"loose text"
                             L"</Interface>";

const char kDiskDocument[] = "<Interface><InstallInfo Name=\"disk\"/></Interface>";
const char kPackageDocument[] = "<Interface><InstallInfo Name=\"package\"/></Interface>";

std::string Text(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

IStreamPtr MemoryStream(const std::string& bytes)
{
    IStream* raw = nullptr;
    EXPECT_EQ(S_OK, CreateStreamOnHGlobal(nullptr, TRUE, &raw));
    IStreamPtr stream(raw, false);
    ULONG written = 0;
    if (!bytes.empty()) {
        EXPECT_EQ(S_OK, stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written));
    }
    return stream;
}

void Rewind(IStream* stream)
{
    LARGE_INTEGER start = {};
    ASSERT_EQ(S_OK, stream->Seek(start, STREAM_SEEK_SET, nullptr));
}

std::wstring Name(const wchar_t* attribute, IXMLSettings& settings)
{
    return Wide(_bstr_t(settings.GetValue(attribute, L"//Interface/InstallInfo", _variant_t(L"(none)"))));
}

// A file loader around a real package that counts the streams opened.
class CCountingLoader : public IFileLoader
{
public:
    explicit CCountingLoader(IFileLoader& inner) : m_inner(inner) {}

    std::unique_ptr<BYTE[]> LoadFile(const std::wstring& name, DWORD& size) override
    {
        return m_inner.LoadFile(name, size);
    }
    IStreamPtr OpenStream(const std::wstring& name) override
    {
        ++m_nOpened;
        return m_inner.OpenStream(name);
    }
    void SaveStream(const std::wstring& name, IStream* stream) override { m_inner.SaveStream(name, stream); }

    int m_nOpened = 0;

private:
    IFileLoader& m_inner;
};

class XMLDocumentTest : public ::testing::Test
{
protected:
    // A real install package (enciphered and packed, as setup reads them).
    std::wstring Package(const PackageFiles& files)
    {
        PackageTools::SBuildOptions options;
        options.pack = true;
        return TestSupport::MakePackage(m_temp, files, options);
    }

    TestSupport::CComScope m_com;
    TestSupport::CTempFolder m_temp;
};

TEST_F(XMLDocumentTest, LoadsTextAndFiles)
{
    CXMLSettings fromText;
    fromText.Load(kInterface, false);
    EXPECT_EQ(L"Hello", Wide(_bstr_t(fromText.GetValue(L"Caption", L"//Interface/Localize/Common", _variant_t(L"")))));

    const std::wstring path = m_temp / L"doc.xml";
    WriteFileBytes(path, ToBytes(kDiskDocument));
    CXMLSettings fromFile;
    fromFile.Load(path.c_str(), true);
    EXPECT_EQ(L"disk", Name(L"Name", fromFile));
    EXPECT_TRUE(SameXML(_bstr_t(kDiskDocument), fromFile.GetXML()));
}

TEST_F(XMLDocumentTest, LoadFailuresRaiseComErrors)
{
    struct Case
    {
        const wchar_t* source;
        bool isFile;
    };
    const std::wstring missing = m_temp / L"no such file.xml";
    const Case unparsable[] = {
        {L"<a><b></a>", false}, {L"", false}, {L"not xml at all", false}, {L"<a>", false}, {L"<a/><b/>", false},
    };
    for (const Case& item : unparsable) {
        CXMLDocument document;
        EXPECT_EQ(E_FAIL, ComErrorOf([&] { document.Load(item.source, item.isFile); })) << Narrow(item.source);
    }
    CXMLDocument document;
    EXPECT_TRUE(FAILED(ComErrorOf([&] { document.Load(missing.c_str(), true); })));
    WriteFileBytes(m_temp / L"broken.xml", ToBytes("<Interface><Unclosed></Interface>"));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { document.Load((m_temp / L"broken.xml").c_str(), true); }));
}

TEST_F(XMLDocumentTest, GetValueGivesTheAttributeOrTheDefault)
{
    CXMLDocument document;
    document.Load(kInterface, false);
    const _variant_t fallback(-1L);
    struct Case
    {
        const wchar_t* attribute;
        const wchar_t* xpath;
        _variant_t expected;
    };
    const Case cases[] = {
        {L"Unit", L"//Interface/Preferences", fallback},      // absent attribute
        {L"Empty", L"//Interface/Preferences", _variant_t(L"")}, // present but empty
        {L"Theme", L"//Interface/Preferences", _variant_t(L"Blue")}, // first match
        {L"Caption", L"//Interface/Localize/Common", _variant_t(L"Hello")},
        {L"Text", L"//*[@GlobalID=\"y\"]", _variant_t(L"other")},
        {L"Text", L"//Interface/text()", fallback},            // a text node
        {L"Theme", L"//Interface/Preferences/@Theme", fallback}, // an attribute node
        {L"Theme", L"//Interface/Missing", fallback},          // nothing
        {L"", L"//Interface/Preferences", fallback},
    };
    for (const Case& item : cases)
        EXPECT_TRUE(SameVariant(item.expected, document.GetValue(item.attribute, item.xpath, fallback)))
            << Narrow(item.attribute) << " at " << Narrow(item.xpath);
    for (const _bstr_t& query : MalformedQueries())
        EXPECT_TRUE(SameVariant(fallback, document.GetValue(L"Theme", query, fallback))) << Narrow(query);
    EXPECT_TRUE(SameVariant(fallback, document.GetValue(_bstr_t(), L"//Interface/Preferences", fallback)));

    CXMLDocument unit;
    unit.Load(L"<Interface><Preferences Unit=\"\"/></Interface>", false);
    EXPECT_TRUE(SameVariant(_variant_t(L""), unit.GetValue(L"Unit", L"//Interface/Preferences", fallback)));
}

TEST_F(XMLDocumentTest, QueriesThatDoNotParseRaiseFromEveryOperation)
{
    CXMLWritableSettings settings;
    settings.Load(kInterface, false);
    for (const _bstr_t& query : MalformedQueries()) {
        SCOPED_TRACE(Narrow(query));
        IXMLDOMNodePtr node;
        EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.GetNode(query, node); })));
        CXMLNodeList nodes;
        EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.SelectNodes(query, nodes); })));
        CXMLElement element;
        EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.GetElement(query, element); })));
        EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.SetValue(L"A", query, _variant_t(L"v")); })));
    }
    // The document is still usable.
    EXPECT_EQ(L"Blue", Wide(_bstr_t(settings.GetValue(L"Theme", L"//Interface/Preferences", _variant_t(L"")))));
}

TEST_F(XMLDocumentTest, NodeQueries)
{
    CXMLSettings settings;
    settings.Load(kInterface, false);
    IXMLSettings& read = settings;

    IXMLDOMNodePtr node;
    read.GetNode(L"//Interface/Localize/Common", node);
    EXPECT_EQ(L"Common", XMLTest::NodeName(node));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { read.GetNode(L"//Interface/Nothing", node); }));

    CXMLNodeList nodes;
    read.SelectNodes(L"//Interface/Preferences", nodes);
    EXPECT_EQ(2, nodes.GetLength());
    read.SelectNodes(L"//Interface/Messages/*", nodes);
    EXPECT_EQ(2, nodes.GetLength());
    read.SelectNodes(L"//Interface/Nothing", nodes);
    EXPECT_EQ(0, nodes.GetLength());

    CXMLElement element;
    read.GetElement(L"//*[@GlobalID=\"x\"]", element);
    EXPECT_EQ(L"Message", Wide(element.GetName()));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { read.GetElement(L"//Interface/Nothing", element); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { read.GetElement(L"//Interface/text()", element); }));

    CXMLElement root;
    settings.GetRoot(root);
    EXPECT_EQ(L"Interface", Wide(root.GetName()));
}

TEST_F(XMLDocumentTest, GetRootOfAnEmptyDocumentIsAnEmptyElement)
{
    CXMLSettings settings;
    CXMLElement root;
    EXPECT_EQ(S_OK, ComErrorOf([&] { settings.GetRoot(root); }));
    EXPECT_TRUE(root.IsEmpty());
}

TEST_F(XMLDocumentTest, SetValueWritesTheAttributeText)
{
    CXMLWritableSettings settings;
    settings.Load(kInterface, false);
    IXMLWritableSettings& write = settings;
    write.SetValue(L"Unit", L"//Interface/Preferences", _variant_t(5L));
    write.SetValue(L"Theme", L"//Interface/Preferences", _variant_t(L"Red"));
    EXPECT_TRUE(SameVariant(_variant_t(L"5"), write.GetValue(L"Unit", L"//Interface/Preferences", _variant_t())));
    EXPECT_TRUE(SameVariant(_variant_t(L"Red"), write.GetValue(L"Theme", L"//Interface/Preferences", _variant_t())));
    // Only the first match changes.
    CXMLNodeList nodes;
    write.SelectNodes(L"//Interface/Preferences", nodes);
    EXPECT_TRUE(SameVariant(_variant_t(L"Second"), (++nodes.Begin()).GetAttribute(L"Theme", _variant_t())));

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { write.SetValue(L"A", L"//Interface/Nothing", _variant_t(L"v")); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { write.SetValue(L"A", L"//Interface/text()", _variant_t(L"v")); }));
}

TEST_F(XMLDocumentTest, CreateElementGivesADetachedElement)
{
    CXMLWritableSettings settings;
    settings.Load(L"<Components/>", false);
    CXMLElement item;
    static_cast<IXMLWritableSettings&>(settings).CreateElement(L"item", item);
    ASSERT_FALSE(item.IsEmpty());
    EXPECT_EQ(L"item", Wide(item.GetName()));
    CXMLNodeList nodes;
    settings.SelectNodes(L"//item", nodes);
    EXPECT_EQ(0, nodes.GetLength());
}

TEST_F(XMLDocumentTest, ImportNodeAppendsADeepCopy)
{
    CXMLDocument source;
    source.Load(L"<Interface><Resources Path=\"theme\"><Fonts><Font Id=\"1\"/></Fonts></Resources></Interface>", false);
    CXMLElement resources;
    source.GetElement(L"//Interface/Resources", resources);

    CXMLSettings target;
    target.ImportNode(resources);
    EXPECT_TRUE(SameXML(L"<Resources Path=\"theme\"><Fonts><Font Id=\"1\"/></Fonts></Resources>", target.GetXML()));
    EXPECT_EQ(L"1", Wide(_bstr_t(target.GetValue(L"Id", L"//Resources/Fonts/Font", _variant_t(L"")))));

    // A copy: changing it leaves the source alone.
    target.SetValue(L"Path", L"/Resources", _variant_t(L"changed"));
    EXPECT_EQ(L"theme", Wide(_bstr_t(source.GetValue(L"Path", L"//Interface/Resources", _variant_t(L"")))));

    EXPECT_EQ(E_POINTER, ComErrorOf([&] { target.ImportNode(CXMLElement()); }));
}

TEST_F(XMLDocumentTest, SaveWritesAFileThatLoadsBack)
{
    CXMLDocument document;
    document.Load(kInterface, false);
    const std::wstring path = m_temp / L"saved.xml";
    document.Save(path.c_str());
    CXMLDocument again;
    again.Load(path.c_str(), true);
    EXPECT_TRUE(SameXML(kInterface, again.GetXML()));

    EXPECT_TRUE(FAILED(ComErrorOf([&] { document.Save(L""); })));
    EXPECT_TRUE(FAILED(ComErrorOf([&] { document.Save((m_temp / L"no folder\\saved.xml").c_str()); })));
}

TEST_F(XMLDocumentTest, LoadStreamReadsFromTheStartWhereverTheStreamStands)
{
    IStreamPtr stream = MemoryStream("<Interface><InstallInfo Name=\"stream\"/></Interface>");
    // Written, so at its end.
    CXMLSettings settings;
    settings.LoadStream(stream);
    EXPECT_EQ(L"stream", Name(L"Name", settings));

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadStream(nullptr); }));
    IStreamPtr broken = MemoryStream("<Interface><InstallInfo></Interface>");
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadStream(broken); }));
    IStreamPtr empty = MemoryStream("");
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadStream(empty); }));
}

TEST_F(XMLDocumentTest, SaveStreamReplacesALongerOlderContent)
{
    CXMLDocument document;
    document.Load(L"<a><b c=\"1\"/></a>", false);

    IStreamPtr fresh = MemoryStream("");
    document.SaveStream(fresh);
    Rewind(fresh);
    const Bytes expected = StreamContent(fresh);
    ASSERT_FALSE(expected.empty());

    const std::string older = "<older><document with=\"many\"/><bytes/>" + std::string(4000, ' ') + "</older>";
    IStreamPtr reused = MemoryStream(older);
    Rewind(reused);
    document.SaveStream(reused);
    Rewind(reused);
    EXPECT_EQ(expected, StreamContent(reused));
    STATSTG stat = {};
    ASSERT_EQ(S_OK, reused->Stat(&stat, STATFLAG_NONAME));
    EXPECT_EQ(expected.size(), stat.cbSize.QuadPart);

    CXMLDocument again;
    again.LoadStream(reused);
    EXPECT_TRUE(SameXML(L"<a><b c=\"1\"/></a>", again.GetXML()));

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { document.SaveStream(nullptr); }));
}

TEST_F(XMLDocumentTest, CreateXMLStreamHoldsTheDocumentsOwnSerialisation)
{
    IStreamPtr stream = CreateXMLStream(L"<Interface>  <Uninstall   Path=\"x\" /></Interface>");
    ASSERT_TRUE(stream);
    const Bytes bytes = StreamContent(stream); // at its start
    ASSERT_FALSE(bytes.empty());
    CXMLDocument document;
    document.LoadStream(stream);
    EXPECT_TRUE(SameXML(L"<Interface><Uninstall Path=\"x\"/></Interface>", document.GetXML()));

    // The bytes are the DOM's, the same as SaveStream writes.
    CXMLDocument parsed;
    parsed.Load(L"<Interface>  <Uninstall   Path=\"x\" /></Interface>", false);
    IStreamPtr saved = MemoryStream("");
    parsed.SaveStream(saved);
    Rewind(saved);
    EXPECT_EQ(StreamContent(saved), bytes);
}

TEST_F(XMLDocumentTest, CreateXMLStreamOfBadTextIsNull)
{
    const wchar_t* const texts[] = {L"", L"<a>", L"<a></b>", L"plain words", L"<a/><b/>"};
    for (const wchar_t* text : texts) {
        IStreamPtr stream;
        EXPECT_EQ(S_OK, ComErrorOf([&] { stream = CreateXMLStream(text); })) << Narrow(text);
        EXPECT_FALSE(stream) << Narrow(text);
    }
    EXPECT_FALSE(CreateXMLStream(_bstr_t()));
}

TEST_F(XMLDocumentTest, LoadFromPrefersAReadableDiskFile)
{
    const std::wstring package = Package({{L"setup.xml", ToBytes(kPackageDocument)}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    CCountingLoader loader(storage);

    const std::wstring disk = m_temp / L"setup.xml";
    WriteFileBytes(disk, ToBytes(kDiskDocument));
    CXMLSettings settings;
    EXPECT_FALSE(settings.LoadFrom(disk.c_str(), L"\\setup.xml", &loader, false));
    EXPECT_EQ(0, loader.m_nOpened);
    EXPECT_EQ(L"disk", Name(L"Name", settings));
    EXPECT_EQ(kDiskDocument, Text(ReadFileBytes(disk)));
}

TEST_F(XMLDocumentTest, LoadFromTakesThePackageCopyWhenTheDiskFileIsMissingOrBroken)
{
    const std::wstring package = Package({{L"setup.xml", ToBytes(kPackageDocument)}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));

    const char* const diskContents[] = {nullptr, "<Interface><broken></Interface>"};
    for (const char* content : diskContents) {
        SCOPED_TRACE(content != nullptr ? content : "(no disk file)");
        const std::wstring disk = m_temp / L"copy.xml";
        DeleteFileW(disk.c_str());
        if (content != nullptr)
            WriteFileBytes(disk, ToBytes(content));
        CCountingLoader loader(storage);
        CXMLSettings settings;
        EXPECT_TRUE(settings.LoadFrom(disk.c_str(), L"\\setup.xml", &loader, false));
        EXPECT_EQ(1, loader.m_nOpened);
        EXPECT_EQ(L"package", Name(L"Name", settings));
        EXPECT_EQ(kPackageDocument, Text(ReadFileBytes(disk)));
    }
}

TEST_F(XMLDocumentTest, LoadFromPackageOnlyOverwritesTheDiskFile)
{
    const std::wstring package = Package({{L"setup.xml", ToBytes(kPackageDocument)}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    const std::wstring disk = m_temp / L"setup.xml";
    WriteFileBytes(disk, ToBytes(std::string(kDiskDocument) + std::string(3000, ' ')));

    CXMLWritableSettings settings;
    EXPECT_TRUE(settings.LoadFrom(disk.c_str(), L"\\setup.xml", &storage, true));
    EXPECT_EQ(L"package", Name(L"Name", settings));
    EXPECT_EQ(kPackageDocument, Text(ReadFileBytes(disk)));
    // The disk copy is the document: a later Save goes there.
    EXPECT_EQ(disk, Wide(settings.GetPath()));
}

TEST_F(XMLDocumentTest, LoadFromFailures)
{
    std::string blowUp = "<!DOCTYPE Interface [<!ENTITY e \"" + std::string(100000, 'a') +
                         "\">]><Interface><InstallInfo Name=\"";
    for (int use = 0; use < 20000; ++use)
        blowUp += "&e;";
    blowUp += "\"/></Interface>";
    const std::wstring package = Package({{L"setup.xml", ToBytes(kPackageDocument)},
                                          {L"broken.xml", ToBytes("<Interface>")},
                                          {L"doctype.xml", ToBytes(blowUp)}});
    CPackedStorage storage;
    ASSERT_TRUE(storage.Open(package, true, false));
    const std::wstring disk = m_temp / L"missing.xml";

    struct Case
    {
        const char* what;
        std::wstring diskPath;
        const wchar_t* stream;
        IFileLoader* loader;
    };
    const Case cases[] = {
        {"no loader", disk, L"\\setup.xml", nullptr},
        {"no such package stream", disk, L"\\nothing.xml", &storage},
        {"package stream does not parse", disk, L"\\broken.xml", &storage},
        {"disk folder missing", m_temp / L"no folder\\setup.xml", L"\\setup.xml", &storage},
    };
    for (const Case& item : cases) {
        CXMLSettings settings;
        EXPECT_TRUE(FAILED(ComErrorOf([&] {
            settings.LoadFrom(item.diskPath.c_str(), item.stream, item.loader, false);
        }))) << item.what;
    }
    CXMLSettings settings;
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadFrom(disk.c_str(), L"\\setup.xml", nullptr, false); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadFrom(disk.c_str(), L"\\broken.xml", &storage, false); }));
    // A document type never reaches the parser, which would expand it for good.
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { settings.LoadFrom(disk.c_str(), L"\\doctype.xml", &storage, false); }));
}

TEST_F(XMLDocumentTest, WritableSettingsRememberTheFileTheyCameFrom)
{
    const std::wstring first = m_temp / L"first.xml";
    WriteFileBytes(first, ToBytes(kDiskDocument));

    CXMLWritableSettings settings;
    EXPECT_EQ(L"", Wide(settings.GetPath()));
    settings.Load(kInterface, false);
    EXPECT_EQ(L"", Wide(settings.GetPath()));
    // No path: the DOM refuses the empty destination.
    EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.Save(); })));

    settings.Load(first.c_str(), true);
    EXPECT_EQ(first, Wide(settings.GetPath()));
    settings.SetValue(L"Name", L"//Interface/InstallInfo", _variant_t(L"changed"));
    settings.Save();
    {
        CXMLSettings check;
        check.Load(first.c_str(), true);
        EXPECT_EQ(L"changed", Name(L"Name", check));
    }

    // Text, a stream or a failed load leave the path alone.
    settings.Load(kInterface, false);
    settings.LoadStream(MemoryStream(kDiskDocument));
    EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.Load((m_temp / L"missing.xml").c_str(), true); })));
    EXPECT_EQ(first, Wide(settings.GetPath()));
}

TEST_F(XMLDocumentTest, SaveAsThenSaveWriteToTheSamePath)
{
    const std::wstring target = m_temp / L"components.cfg";
    CXMLWritableSettings settings;
    settings.Load(L"<Components><item Name=\"a\" Value=\"1\"/></Components>", false);
    settings.SaveAs(target.c_str());
    ASSERT_TRUE(FileExists(target));
    EXPECT_EQ(target, Wide(settings.GetPath()));

    DeleteFileW(target.c_str());
    settings.SetValue(L"Value", L"//Components/item", _variant_t(L"0"));
    static_cast<IXMLWritableSettings&>(settings).Save();
    ASSERT_TRUE(FileExists(target));
    CXMLSettings check;
    check.Load(target.c_str(), true);
    EXPECT_EQ(L"0", Wide(_bstr_t(check.GetValue(L"Value", L"//Components/item", _variant_t(L"")))));

    // The path is taken even when that save fails.
    const std::wstring unreachable = m_temp / L"no folder\\components.cfg";
    EXPECT_TRUE(FAILED(ComErrorOf([&] { settings.SaveAs(unreachable.c_str()); })));
    EXPECT_EQ(unreachable, Wide(settings.GetPath()));
}

TEST_F(XMLDocumentTest, WritableSettingsStreamOperations)
{
    CXMLWritableSettings settings;
    settings.Load(L"<Components><item Name=\"a\"/></Components>", false);
    IStreamPtr stream = MemoryStream(std::string(500, 'x'));
    settings.SaveStream(stream);
    CXMLWritableSettings again;
    again.LoadStream(stream);
    EXPECT_TRUE(SameXML(settings.GetXML(), again.GetXML()));
    EXPECT_EQ(L"", Wide(again.GetPath()));
}

TEST_F(XMLDocumentTest, OwnersDeleteThroughTheInterfaces)
{
    std::unique_ptr<IXMLSettings> settings(new CXMLSettings);
    std::unique_ptr<IXMLWritableSettings> writable(new CXMLWritableSettings);
    writable->Load(L"<Interface><InstallInfo Name=\"w\"/></Interface>", false);
    EXPECT_EQ(L"w", Wide(_bstr_t(writable->GetValue(L"Name", L"//Interface/InstallInfo", _variant_t(L"")))));
    std::unique_ptr<IXMLSettings> writableAsSettings(new CXMLWritableSettings);
    EXPECT_TRUE(SameVariant(_variant_t(7L), writableAsSettings->GetValue(L"Name", L"//Interface", _variant_t(7L))));
}

// Setup runs elevated over package XML: a document must never pull in a file
// through an external entity or DTD.
TEST_F(XMLDocumentTest, ExternalEntitiesAndDTDsAreNeverFetched)
{
    const std::wstring secret = m_temp / L"entity-target.txt";
    WriteFileBytes(secret, ToBytes("TOPSECRET"));
    const std::wstring dtd = m_temp / L"external.dtd";
    WriteFileBytes(dtd, ToBytes("<!ENTITY fromdtd \"DTDSECRET\">"));
    auto url = [](std::wstring path) {
        for (wchar_t& c : path)
            if (c == L'\\')
                c = L'/';
        return L"file:///" + path;
    };
    const std::wstring secretUrl = url(secret);
    const std::wstring dtdUrl = url(dtd);
    const std::wstring documents[] = {
        L"<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e SYSTEM \"" + secretUrl + L"\">]><r a=\"1\">&e;</r>",
        L"<?xml version=\"1.0\"?><!DOCTYPE r SYSTEM \"" + dtdUrl + L"\"><r>&fromdtd;</r>",
        L"<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY % p SYSTEM \"" + dtdUrl + L"\"> %p;]><r>&fromdtd;</r>",
        L"<?xml version=\"1.0\"?><!DOCTYPE r [<!ENTITY e SYSTEM \"entity-target.txt\">]><r>&e;</r>",
    };
    auto leaks = [](CXMLDocument& document) {
        IXMLDOMNodePtr root;
        document.GetNode(L"/*", root);
        const std::wstring text = XMLTest::NodeText(root) + Wide(document.GetXML());
        return text.find(L"TOPSECRET") != std::wstring::npos || text.find(L"DTDSECRET") != std::wstring::npos;
    };
    for (const std::wstring& text : documents) {
        SCOPED_TRACE(Narrow(text.c_str()));
        const std::wstring file = m_temp / L"external.xml";
        WriteFileBytes(file, ToBytes(std::string(Narrow(text.c_str()))));
        for (int source = 0; source < 3; ++source) {
            CXMLDocument document;
            const HRESULT hr = ComErrorOf([&] {
                if (source == 0)
                    document.Load(text.c_str(), false);
                else if (source == 1)
                    document.Load(file.c_str(), true);
                else
                    document.LoadStream(MemoryStream(Narrow(text.c_str())));
            });
            // Either the document is refused or it loads without the file.
            if (SUCCEEDED(hr)) {
                EXPECT_FALSE(leaks(document)) << "source " << source;
            }
        }
    }
}

// A document whose DOM can be asked whether it was ever given text to parse.
class CWatchedDocument : public CXMLDocument
{
public:
    // The DOM's parse error code: 0 unless it failed to parse something.
    long ParseErrorCode()
    {
        IXMLDOMParseError* error = nullptr;
        if (FAILED(m_pDocument->get_parseError(&error)) || error == nullptr)
            return -1;
        long code = -1;
        error->get_errorCode(&code);
        error->Release();
        return code;
    }
};

// The encodings of the tests: UTF-8 with and without its byte-order mark, UTF-16
// and UTF-32 in both byte orders, with their marks and without.
enum EEncoding
{
    kUtf8,
    kUtf8Mark,
    kUtf16LeMark,
    kUtf16BeMark,
    kUtf16Le,
    kUtf16Be,
    kUtf32LeMark,
    kUtf32BeMark,
    kUtf32Le,
    kUtf32Be,
    kEncodings
};

Bytes Encoded(const std::wstring& text, int encoding)
{
    Bytes bytes;
    size_t unit = 1;
    bool bigEndian = false;
    switch (encoding) {
    case kUtf8Mark:
        bytes = {0xEF, 0xBB, 0xBF};
        break;
    case kUtf16LeMark:
        bytes = {0xFF, 0xFE};
        unit = 2;
        break;
    case kUtf16BeMark:
        bytes = {0xFE, 0xFF};
        unit = 2;
        bigEndian = true;
        break;
    case kUtf16Le:
        unit = 2;
        break;
    case kUtf16Be:
        unit = 2;
        bigEndian = true;
        break;
    case kUtf32LeMark:
        bytes = {0xFF, 0xFE, 0x00, 0x00};
        unit = 4;
        break;
    case kUtf32BeMark:
        bytes = {0x00, 0x00, 0xFE, 0xFF};
        unit = 4;
        bigEndian = true;
        break;
    case kUtf32Le:
        unit = 4;
        break;
    case kUtf32Be:
        unit = 4;
        bigEndian = true;
        break;
    default:
        break;
    }
    if (unit == 1) {
        const std::string narrow = Narrow(text.c_str());
        bytes.insert(bytes.end(), narrow.begin(), narrow.end());
        return bytes;
    }
    for (wchar_t c : text) {
        for (size_t b = 0; b < unit; ++b) {
            const size_t shift = 8 * (bigEndian ? unit - 1 - b : b);
            bytes.push_back(shift < 16 ? static_cast<BYTE>((c >> shift) & 0xFF) : 0);
        }
    }
    return bytes;
}

// The DOM expands entities however it is set up: a document that declares a
// document type is refused before it is parsed (the DOM never sees it), from
// text, file and stream, in each encoding a parser reads, and quickly.
TEST_F(XMLDocumentTest, DocumentsThatDeclareADocumentTypeAreRefusedQuickly)
{
    std::wstring laughs = L"<!DOCTYPE r [<!ENTITY l0 \"lol\">";
    for (int level = 1; level < 10; ++level) {
        laughs += L"<!ENTITY l" + std::to_wstring(level) + L" \"";
        for (int copy = 0; copy < 10; ++copy)
            laughs += L"&l" + std::to_wstring(level - 1) + L";";
        laughs += L"\">";
    }
    laughs += L"]><r>&l9;</r>";
    std::wstring blowUp = L"<!DOCTYPE Interface [<!ENTITY e \"" + std::wstring(100000, L'a') +
                          L"\">]><Interface><InstallInfo Name=\"";
    for (int use = 0; use < 5000; ++use)
        blowUp += L"&e;";
    blowUp += L"\"/></Interface>";

    struct Case
    {
        const char* what;
        std::wstring text;
    };
    const Case refused[] = {
        {"billion laughs", laughs},
        {"quadratic blow-up in an attribute", L"<?xml version=\"1.0\"?>" + blowUp},
        {"external entity naming a local file",
         L"<!DOCTYPE r [<!ENTITY e SYSTEM \"file:///c:/windows/win.ini\">]><r>&e;</r>"},
        {"document type without entities", L"<!DOCTYPE Interface><Interface/>"},
        {"after a declaration, a comment and an instruction",
         L"<?xml version=\"1.0\"?>\r\n<!-- x --><?pi y?>\n <!DOCTYPE Interface [<!ENTITY e \"x\">]><Interface/>"},
        // In UTF-7 "+AC0ALQA+-" ends the comment and "+ADw-" opens the declaration.
        {"UTF-7, whose letters hide the markup",
         L"<?xml version=\"1.0\" encoding=\"UTF-7\"?><!-- +AC0ALQA+- +ADw-!DOCTYPE Interface+AD4- --><Interface/>"},
    };
    const Case loaded[] = {
        {"declaration", L"<?xml version=\"1.0\"?><Interface><InstallInfo Name=\"plain\"/></Interface>"},
        {"DOCTYPE in a comment and an attribute",
         L"<?xml version=\"1.0\"?><!-- <!DOCTYPE r [<!ENTITY e \"x\">]> --><?pi <!DOCTYPE?>"
         L"<Interface><InstallInfo Name=\"&lt;!DOCTYPE r&gt;\"/></Interface>"},
        {"no declaration", L"\r\n<Interface><InstallInfo Name=\"bare\"/></Interface>"},
    };
    const auto withoutMark = [](int encoding) {
        return encoding == kUtf16Le || encoding == kUtf16Be || encoding == kUtf32Le || encoding == kUtf32Be;
    };
    const auto isUtf32 = [](int encoding) { return encoding >= kUtf32LeMark && encoding <= kUtf32Be; };
    const std::wstring file = m_temp / L"doctype.xml";
    auto load = [&](CXMLDocument& document, const std::wstring& text, int source, int encoding) {
        if (source == 0) {
            document.Load(text.c_str(), false);
        } else if (source == 1) {
            WriteFileBytes(file, Encoded(text, encoding));
            document.Load(file.c_str(), true);
        } else {
            const Bytes bytes = Encoded(text, encoding);
            document.LoadStream(MemoryStream(std::string(bytes.begin(), bytes.end())));
        }
    };
    for (int source = 0; source < 3; ++source) {
        for (int encoding = 0; encoding < (source == 0 ? 1 : kEncodings); ++encoding) {
            SCOPED_TRACE("source " + std::to_string(source) + ", encoding " + std::to_string(encoding));
            for (const Case& item : refused) {
                CWatchedDocument document;
                const ULONGLONG start = GetTickCount64();
                EXPECT_EQ(E_FAIL, ComErrorOf([&] { load(document, item.text, source, encoding); })) << item.what;
                EXPECT_LT(GetTickCount64() - start, 1000u) << item.what;
                EXPECT_EQ(0, document.ParseErrorCode()) << item.what << ": the DOM was given the document";
            }
            // Each loads; in a form a parser need not read (UTF-32, which the one here
            // does not, or no mark and no declaration) it at least reaches the parser.
            for (const Case& item : loaded) {
                const bool told = !isUtf32(encoding) && (!withoutMark(encoding) || item.text.compare(0, 5, L"<?xml") == 0);
                CWatchedDocument document;
                const HRESULT hr = ComErrorOf([&] {
                    load(document, item.text, source, encoding);
                    IXMLDOMNodePtr root;
                    document.GetNode(L"/Interface/InstallInfo", root);
                });
                EXPECT_TRUE(hr == S_OK || (!told && document.ParseErrorCode() != 0))
                    << item.what << ": " << std::hex << hr << " " << document.ParseErrorCode();
            }
        }
    }
}

// The file is read once, by setup, and the DOM parses those bytes: a file that
// setup cannot read does not load, and never reaches the DOM by its path.
TEST_F(XMLDocumentTest, AFileThatCannotBeReadWholeDoesNotLoad)
{
    const std::wstring held = m_temp / L"held.xml";
    const std::wstring missing = m_temp / L"missing.xml";
    const struct {
        const char* what;
        std::wstring path;
        const char* content; // null: no file
    } cases[] = {
        {"a missing file", missing, nullptr},
        {"a document type in a file held open for writing", held, "<!DOCTYPE Interface><Interface/>"},
        {"a plain document in a file held open for writing", held, "<Interface><InstallInfo/></Interface>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Common::Tools::CScopedHandle writer;
        if (c.content != nullptr) {
            WriteFileBytes(c.path, ToBytes(c.content));
            // Another program writing the file, sharing it with readers and writers.
            writer.Reset(CreateFileW(c.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                     OPEN_EXISTING, 0, nullptr));
            ASSERT_TRUE(writer.IsValid());
        }
        CWatchedDocument document;
        EXPECT_EQ(E_FAIL, ComErrorOf([&] { document.Load(c.path.c_str(), true); }));
        EXPECT_EQ(0, document.ParseErrorCode()) << "the DOM was given the file";
    }
    // Once no one writes it, it loads.
    CXMLDocument document;
    EXPECT_EQ(S_OK, ComErrorOf([&] { document.Load(held.c_str(), true); }));
}

// The COM support the XML layer stands on: mingw has no comsupp library.
class CErrorSource : public ISupportErrorInfo
{
public:
    explicit CErrorSource(bool supports) : m_bSupports(supports) {}
    virtual ~CErrorSource() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (object == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_ISupportErrorInfo)) {
            *object = static_cast<ISupportErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_nReferences; }
    ULONG STDMETHODCALLTYPE Release() override { return --m_nReferences; } // lives on the stack
    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override
    {
        return m_bSupports && IsEqualIID(iid, IID_IXMLDOMDocument) ? S_OK : S_FALSE;
    }

    ULONG m_nReferences = 1;

private:
    bool m_bSupports;
};

void PostErrorInfo(const wchar_t* description)
{
    ICreateErrorInfo* create = nullptr;
    ASSERT_EQ(S_OK, CreateErrorInfo(&create));
    create->SetDescription(const_cast<LPOLESTR>(description));
    IErrorInfo* info = nullptr;
    ASSERT_EQ(S_OK, create->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)));
    create->Release();
    ASSERT_EQ(S_OK, SetErrorInfo(0, info));
    info->Release();
}

// The two ways a failure is raised with the object's error description: the
// compiler's support routine, and ThrowIfFailed, which the XML code calls.
using Raiser = void (*)(HRESULT, IUnknown*, REFIID);

void IssueErrorEx(HRESULT hr, IUnknown* object, REFIID iid)
{
    _com_issue_errorex(hr, object, iid);
}

void ThrowIfFailedOn(HRESULT hr, IUnknown* object, REFIID iid)
{
    Common::Tools::ThrowIfFailed(hr, object, iid);
}

_com_error Raised(Raiser raise, IUnknown* object, REFIID iid)
{
    try {
        raise(E_ACCESSDENIED, object, iid);
    } catch (const _com_error& error) {
        return error;
    }
    return _com_error(S_OK);
}

TEST(XMLComSupportTest, RaisingAttachesTheObjectsErrorInfo)
{
    TestSupport::CComScope com;
    for (const Raiser raise : {&IssueErrorEx, &ThrowIfFailedOn}) {
        SCOPED_TRACE(raise == &IssueErrorEx ? "_com_issue_errorex" : "ThrowIfFailed");
        CErrorSource supporting(true);
        PostErrorInfo(L"described failure");
        const _com_error described = Raised(raise, &supporting, IID_IXMLDOMDocument);
        EXPECT_EQ(E_ACCESSDENIED, described.Error());
        ASSERT_NE(nullptr, described.ErrorInfo());
        described.ErrorInfo()->Release();
        EXPECT_EQ(L"described failure", Wide(described.Description()));

        // Another interface, an object that keeps no error info, or no object: the code alone.
        struct Case
        {
            IUnknown* object;
            const IID* iid;
        };
        CErrorSource silent(false);
        const Case cases[] = {
            {&supporting, &IID_IXMLDOMNode}, {&silent, &IID_IXMLDOMDocument}, {nullptr, &IID_IXMLDOMDocument}};
        for (const Case& item : cases) {
            PostErrorInfo(L"stale");
            const _com_error plain = Raised(raise, item.object, *item.iid);
            EXPECT_EQ(E_ACCESSDENIED, plain.Error());
            EXPECT_EQ(nullptr, plain.ErrorInfo());
            SetErrorInfo(0, nullptr);
        }
        EXPECT_EQ(1u, supporting.m_nReferences);
        EXPECT_EQ(1u, silent.m_nReferences);
    }
    // A success code raises nothing and leaves the object alone.
    CErrorSource untouched(true);
    EXPECT_NO_THROW(Common::Tools::ThrowIfFailed(S_FALSE, &untouched, IID_IXMLDOMDocument));
    EXPECT_EQ(1u, untouched.m_nReferences);
}

TEST(XMLComSupportTest, NarrowStringConversions)
{
    EXPECT_EQ(L"plain text", Wide(_bstr_t("plain text")));
    EXPECT_EQ(L"", Wide(_bstr_t("")));
    EXPECT_EQ(nullptr, static_cast<const wchar_t*>(_bstr_t(static_cast<const char*>(nullptr))));
    EXPECT_STREQ("wide text", static_cast<const char*>(_bstr_t(L"wide text")));
    EXPECT_STREQ("", static_cast<const char*>(_bstr_t(L"")));
    EXPECT_EQ(nullptr, static_cast<const char*>(_bstr_t()));
    // Text with an embedded null keeps its whole length.
    const BSTR embedded = SysAllocStringLen(L"a\0b", 3);
    char* narrow = _com_util::ConvertBSTRToString(embedded);
    ASSERT_NE(nullptr, narrow);
    EXPECT_EQ(0, memcmp(narrow, "a\0b", 4));
    delete[] narrow;
    SysFreeString(embedded);
    const _variant_t fromNarrow("narrow");
    EXPECT_EQ(VT_BSTR, V_VT(&fromNarrow));
    EXPECT_EQ(L"narrow", Wide(_bstr_t(V_BSTR(&fromNarrow))));
}

} // namespace
