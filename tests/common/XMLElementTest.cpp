// Tests of the XML element.
#include "common/config/XMLElement.h"

#include "common/config/XMLDocument.h"
#include "tests/common/XMLTestSupport.h"
#include "tests/support/PackageFixture.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <type_traits>
#include <vector>

using Common::Config::CXMLChildWalk;
using Common::Config::CXMLDocument;
using Common::Config::CXMLElement;
using Common::Config::CXMLNodeList;
using Common::Config::CXMLNodeListIterator;
using TestSupport::ComErrorOf;
using XMLTest::MalformedQueries;
using XMLTest::Narrow;
using XMLTest::SameVariant;
using XMLTest::SameXML;
using XMLTest::Wide;

static_assert(std::is_same<std::iterator_traits<CXMLNodeListIterator>::iterator_category,
                           std::random_access_iterator_tag>::value,
              "a random-access iterator");
static_assert(std::is_same<std::iterator_traits<CXMLNodeListIterator>::value_type, IXMLDOMNode*>::value,
              "over DOM nodes");

namespace {

const wchar_t kTheme[] = L"<Theme>"
                         L"<Resources Version=\"2\">"
                         L"<Images Path=\"a\"/><Fonts Face=\"Tahoma\"/><Images Path=\"b\"/>"
                         L"</Resources>"
                         L"<Mixed>x<a/><b><c/></b>y<!--note--></Mixed>"
                         L"<Values/>"
                         L"</Theme>";

class XMLElementTest : public ::testing::Test
{
protected:
    void SetUp() override { m_document.Load(kTheme, false); }

    CXMLElement Element(const wchar_t* xpath)
    {
        CXMLElement element;
        m_document.GetElement(xpath, element);
        return element;
    }

    // An element carrying one attribute "v" with the text, or none for null.
    CXMLElement WithValue(const wchar_t* text)
    {
        CXMLElement element;
        m_document.CreateElement(L"Value", element);
        if (text != nullptr)
            element.SetAttribute(L"v", _variant_t(text));
        return element;
    }

    TestSupport::CComScope m_com;
    CXMLDocument m_document;
};

TEST_F(XMLElementTest, GetColorReadsHashRgbAsLittleEndianWithOpaqueAlpha)
{
    const DWORD fallback = 0x12345678;
    struct Case
    {
        const wchar_t* text;
        DWORD expected;
    };
    const Case cases[] = {
        {L"#FF0000", 0xFF0000FF},   {L"#00FF00", 0xFF00FF00}, {L"#0000FF", 0xFFFF0000},
        {L"#80123456", 0xFF563412}, {L"#ffffff", 0xFFFFFFFF}, {L"#000000", 0xFF000000},
        {L"#abc", 0xFFBC0A00},      {nullptr, fallback},      {L"", fallback},
        {L"red", fallback},         {L"FF0000", fallback},    {L"#", fallback},
        {L"#zz", fallback},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(item.expected, WithValue(item.text).GetColor(L"v", fallback))
            << (item.text != nullptr ? Narrow(item.text) : "(absent)");
    }
    EXPECT_EQ(fallback, CXMLElement().GetColor(L"v", fallback));
}

TEST_F(XMLElementTest, GetHexReadsZeroXNumbers)
{
    const DWORD fallback = 77;
    struct Case
    {
        const wchar_t* text;
        DWORD expected;
    };
    const Case cases[] = {
        {L"0x1F", 31},        {L"0x0", 0},         {L"0xFFFFFFFF", 0xFFFFFFFF}, {L"0x10 and more", 16},
        {L"1F", fallback},    {L"0x", fallback},   {L"", fallback},             {nullptr, fallback},
        {L"0xZ", fallback},   {L"x1F", fallback},
    };
    for (const Case& item : cases) {
        EXPECT_EQ(item.expected, WithValue(item.text).GetHex(L"v", fallback))
            << (item.text != nullptr ? Narrow(item.text) : "(absent)");
    }
    EXPECT_EQ(fallback, CXMLElement().GetHex(L"v", fallback));
}

TEST_F(XMLElementTest, GetDoubleReadsTheLeadingNumberAndDefaultsOnlyWhenAbsent)
{
    const double fallback = -7.5;
    struct Case
    {
        const wchar_t* text;
        double expected;
    };
    const Case cases[] = {
        {L"2.5", 2.5},  {L"", 0.0},      {L"abc", 0.0},      {L"  1e3x", 1000.0},
        {L"-0.25", -0.25}, {L"42", 42.0}, {L"3.5 px", 3.5}, {nullptr, fallback},
    };
    for (const Case& item : cases) {
        EXPECT_DOUBLE_EQ(item.expected, WithValue(item.text).GetDouble(L"v", fallback))
            << (item.text != nullptr ? Narrow(item.text) : "(absent)");
    }
    EXPECT_DOUBLE_EQ(fallback, CXMLElement().GetDouble(L"v", fallback));
}

TEST_F(XMLElementTest, GetAttributeGivesTextOrTheDefault)
{
    const _variant_t fallback(L"fallback");
    const CXMLElement resources = Element(L"//Theme/Resources");
    EXPECT_TRUE(SameVariant(_variant_t(L"2"), resources.GetAttribute(L"Version", fallback)));
    EXPECT_TRUE(SameVariant(fallback, resources.GetAttribute(L"Missing", fallback)));
    EXPECT_TRUE(SameVariant(_variant_t(L""), WithValue(L"").GetAttribute(L"v", fallback)));
    EXPECT_TRUE(SameVariant(fallback, CXMLElement().GetAttribute(L"v", fallback)));
    EXPECT_TRUE(SameVariant(fallback, resources.GetAttribute(L"", fallback)));
}

TEST_F(XMLElementTest, SelectNodeUsesTheElementAsContext)
{
    const CXMLElement resources = Element(L"//Theme/Resources");
    EXPECT_EQ(L"Fonts", XMLTest::NodeName(resources.SelectNode(L"./Fonts")));
    EXPECT_EQ(L"b", XMLTest::NodeText(resources.SelectNode(L"./Images[2]/@Path")));
    // A leading "//" still searches the whole document.
    EXPECT_EQ(L"Mixed", XMLTest::NodeName(resources.SelectNode(L"//Mixed")));

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { resources.SelectNode(L"./Nothing"); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { CXMLElement().SelectNode(L"."); }));
    for (const _bstr_t& query : MalformedQueries())
        EXPECT_TRUE(FAILED(ComErrorOf([&] { resources.SelectNode(query); }))) << Narrow(query);
}

TEST_F(XMLElementTest, GetElementOfANonElementIsEmpty)
{
    const CXMLElement mixed = Element(L"//Theme/Mixed");
    const CXMLElement text = mixed.GetElement(L"./text()");
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_TRUE(SameVariant(_variant_t(3L), text.GetAttribute(L"v", _variant_t(3L))));

    const CXMLElement b = mixed.GetElement(L"./b");
    ASSERT_FALSE(b.IsEmpty());
    EXPECT_EQ(L"b", Wide(b.GetName()));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { mixed.GetElement(L"./zzz"); }));
}

TEST_F(XMLElementTest, SelectNodesTakesARelativePath)
{
    const CXMLElement resources = Element(L"//Theme/Resources");
    struct Case
    {
        const wchar_t* path;
        LONG count;
    };
    const Case cases[] = {{L"/Images", 2}, {L"/*", 3}, {L"/Fonts", 1}, {L"/Nothing", 0}, {L"", 1}, {L"//Images", 2}};
    for (const Case& item : cases)
        EXPECT_EQ(item.count, resources.SelectNodes(item.path).GetLength()) << Narrow(item.path);

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { CXMLElement().SelectNodes(L"/*"); }));
    const wchar_t* const malformed[] = {L"/", L"/[", L"][", L"/Images[@Path=\"a]", L"/("};
    for (const wchar_t* path : malformed)
        EXPECT_TRUE(FAILED(ComErrorOf([&] { resources.SelectNodes(path); }))) << Narrow(path);
}

TEST_F(XMLElementTest, SetAttributeWritesTheElementOrARelativeTarget)
{
    CXMLElement resources = Element(L"//Theme/Resources");
    resources.SetAttribute(L"Version", _variant_t(3L));
    EXPECT_TRUE(SameVariant(_variant_t(L"3"), resources.GetAttribute(L"Version", _variant_t())));
    resources.SetAttributeAt(L"Path", L"/Images", _variant_t(L"first"));
    resources.SetAttributeAt(L"Size", L"/Fonts", _variant_t(L"9"));
    EXPECT_TRUE(SameXML(L"<Resources Version=\"3\"><Images Path=\"first\"/><Fonts Face=\"Tahoma\" Size=\"9\"/>"
                        L"<Images Path=\"b\"/></Resources>",
                        resources.GetXML()));

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { resources.SetAttributeAt(L"A", L"/Nothing", _variant_t(L"v")); }));
    CXMLElement mixed = Element(L"//Theme/Mixed");
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { mixed.SetAttributeAt(L"A", L"/text()", _variant_t(L"v")); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { CXMLElement().SetAttribute(L"A", _variant_t(L"v")); }));
    EXPECT_TRUE(FAILED(ComErrorOf([&] { resources.SetAttributeAt(L"A", L"/[", _variant_t(L"v")); })));
}

TEST_F(XMLElementTest, RemoveChildrenKeepsTextAndComments)
{
    CXMLElement mixed = Element(L"//Theme/Mixed");
    mixed.RemoveChildren();
    EXPECT_EQ(0, mixed.SelectNodes(L"/*").GetLength());

    CXMLNodeList children;
    m_document.SelectNodes(L"//Theme/Mixed", children);
    const CXMLNodeList nodes = children.Begin().GetChildNodes();
    std::vector<std::wstring> kept;
    for (CXMLNodeListIterator it = nodes.Begin(); it != nodes.End(); ++it) {
        EXPECT_FALSE(it.IsElement());
        kept.push_back(XMLTest::NodeText(it.GetNode()));
    }
    EXPECT_EQ((std::vector<std::wstring>{L"x", L"y", L"note"}), kept);
    // Nothing left to remove is no error.
    EXPECT_EQ(S_OK, ComErrorOf([&] { mixed.RemoveChildren(); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { CXMLElement().RemoveChildren(); }));
}

TEST_F(XMLElementTest, AppendElementAddsLastChildrenInOrder)
{
    CXMLElement values = Element(L"//Theme/Values");
    CXMLElement first = values.AppendElement(L"item");
    first.SetAttribute(L"n", _variant_t(L"1"));
    CXMLElement second = values.AppendElement(L"item");
    second.SetAttribute(L"n", _variant_t(L"2"));
    EXPECT_EQ(L"item", Wide(second.GetName()));

    EXPECT_TRUE(SameXML(L"<Values><item n=\"1\"/><item n=\"2\"/></Values>", values.GetXML()));
    const CXMLNodeList items = values.SelectNodes(L"/item");
    ASSERT_EQ(2, items.GetLength());
    std::vector<std::wstring> order;
    for (CXMLNodeListIterator it = items.Begin(); it != items.End(); ++it)
        order.push_back(Wide(_bstr_t(it.GetAttribute(L"n", _variant_t(L"")))));
    EXPECT_EQ((std::vector<std::wstring>{L"1", L"2"}), order);

    EXPECT_EQ(E_FAIL, ComErrorOf([&] { CXMLElement().AppendElement(L"item"); }));
}

TEST_F(XMLElementTest, NameAndXML)
{
    const CXMLElement fonts = Element(L"//Theme/Resources/Fonts");
    EXPECT_EQ(L"Fonts", Wide(fonts.GetName()));
    EXPECT_TRUE(SameXML(L"<Fonts Face=\"Tahoma\"/>", fonts.GetXML()));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { CXMLElement().GetName(); }));
    EXPECT_EQ(L"", Wide(CXMLElement().GetXML()));
}

TEST_F(XMLElementTest, LoopsRunOncePerItem)
{
    struct Case
    {
        const wchar_t* xpath;
        int expected;
    };
    const Case cases[] = {{L"//Theme/Resources/*", 3}, {L"//Theme/Nothing", 0}, {L"//Theme/Resources/Fonts", 1}};
    for (const Case& item : cases) {
        CXMLNodeList nodes;
        m_document.SelectNodes(item.xpath, nodes);
        int runs = 0;
        for (CXMLNodeListIterator it = nodes.Begin(); it != nodes.End(); ++it) {
            EXPECT_TRUE(it.IsElement());
            ++runs;
        }
        EXPECT_EQ(item.expected, runs) << Narrow(item.xpath);
        EXPECT_EQ(item.expected, nodes.GetLength());
    }
}

TEST_F(XMLElementTest, IteratorOverMixedChildNodes)
{
    CXMLNodeList mixedList;
    m_document.SelectNodes(L"//Theme/Mixed", mixedList);
    const CXMLNodeList children = mixedList.Begin().GetChildNodes();
    ASSERT_EQ(5, children.GetLength()); // x, a, b, y, the comment

    struct Expected
    {
        bool element;
        const wchar_t* name;
    };
    const Expected expected[] = {{false, nullptr}, {true, L"a"}, {true, L"b"}, {false, nullptr}, {false, nullptr}};
    size_t index = 0;
    for (CXMLNodeListIterator it = children.Begin(); it != children.End(); it++, ++index) {
        ASSERT_LT(index, std::size(expected));
        SCOPED_TRACE(index);
        EXPECT_EQ(expected[index].element, it.IsElement());
        if (expected[index].element) {
            EXPECT_EQ(expected[index].name, Wide(it.GetNodeName()));
            EXPECT_EQ(expected[index].name, Wide((*it).GetName()));
        } else {
            EXPECT_EQ(E_FAIL, ComErrorOf([&] { (void)*it; }));
            EXPECT_EQ(E_FAIL, ComErrorOf([&] { it.GetNodeName(); }));
            EXPECT_TRUE(SameVariant(_variant_t(L"d"), it.GetAttribute(L"n", _variant_t(L"d"))));
        }
    }
    EXPECT_EQ(std::size(expected), index);

    // The b element's own children, through the iterator.
    CXMLNodeListIterator b = children.Begin();
    ++b;
    ++b;
    EXPECT_EQ(1, b.GetChildNodes().GetLength());
}

TEST_F(XMLElementTest, ChildWalkGivesTheChildNodesTheListGives)
{
    struct SCase
    {
        const wchar_t* xpath;
        std::vector<const wchar_t*> children; // element names; null for other nodes
    };
    const SCase cases[] = {
        {L"//Theme/Mixed", {nullptr, L"a", L"b", nullptr, nullptr}},
        {L"//Theme/Resources", {L"Images", L"Fonts", L"Images"}},
        {L"//Theme/Values", {}},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(Narrow(c.xpath));
        const CXMLElement parent = Element(c.xpath);
        size_t index = 0;
        for (CXMLChildWalk walk(parent.GetInterface()); !walk.AtEnd(); walk.Next(), ++index) {
            ASSERT_LT(index, c.children.size());
            SCOPED_TRACE(index);
            const wchar_t* name = c.children[index];
            EXPECT_EQ(name != nullptr, walk.IsElement());
            if (name != nullptr)
                EXPECT_EQ(name, Wide((*walk).GetName()));
            else
                EXPECT_EQ(E_FAIL, ComErrorOf([&] { (void)*walk; }));
        }
        EXPECT_EQ(c.children.size(), index);
    }

    // Without a parent the walk is over before it starts; at the end it stays there.
    CXMLChildWalk none(nullptr);
    EXPECT_TRUE(none.AtEnd());
    none.Next();
    EXPECT_TRUE(none.AtEnd());
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { none.IsElement(); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { (void)*none; }));
}

TEST_F(XMLElementTest, IteratorAtTheEnd)
{
    CXMLNodeList nodes;
    m_document.SelectNodes(L"//Theme/Resources/*", nodes);
    const CXMLNodeListIterator end = nodes.End();
    EXPECT_EQ(-1, end.GetPosition());
    EXPECT_FALSE(end.GetNode());
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { end.IsElement(); }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { (void)*end; }));
    EXPECT_EQ(E_FAIL, ComErrorOf([&] { end.GetNodeName(); }));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { end.GetChildNodes(); }));
    EXPECT_TRUE(SameVariant(_variant_t(1L), end.GetAttribute(L"Path", _variant_t(1L))));

    // Any position without an item compares equal to the end.
    CXMLNodeListIterator past = nodes.Begin();
    EXPECT_TRUE(past != end);
    for (int i = 0; i < 3; ++i)
        ++past;
    EXPECT_FALSE(past != end);
    EXPECT_TRUE(past == end);
    EXPECT_TRUE(SameVariant(_variant_t(L"a"), nodes.Begin().GetAttribute(L"Path", _variant_t())));
}

TEST_F(XMLElementTest, NodeListItemsAndLength)
{
    CXMLNodeList nodes;
    m_document.SelectNodes(L"//Theme/Resources/Images", nodes);
    EXPECT_EQ(2, nodes.GetLength());
    EXPECT_TRUE(nodes.GetItem(0));
    EXPECT_TRUE(nodes.GetItem(1));
    EXPECT_FALSE(nodes.GetItem(2));
    EXPECT_FALSE(nodes.GetItem(-1));
    EXPECT_FALSE(nodes.GetItem(-5));

    const CXMLNodeList none;
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { none.GetLength(); }));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { none.GetItem(0); }));
    EXPECT_EQ(E_POINTER, ComErrorOf([&] { (void)(none.Begin() != none.End()); }));
}

} // namespace
