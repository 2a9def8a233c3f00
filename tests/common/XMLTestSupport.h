// Helpers of the XML tests.
#pragma once

// Helpers of the XML tests: structural comparison (DOMs format their text
// differently) and readable messages.
#include "common/config/XMLDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace XMLTest {

inline std::string Narrow(const wchar_t* text)
{
    std::string result;
    for (; text != nullptr && *text != 0; ++text)
        result += *text < 0x80 ? static_cast<char>(*text) : '?';
    return result;
}

inline std::string Narrow(const _bstr_t& text)
{
    return Narrow(static_cast<const wchar_t*>(text));
}

inline std::wstring Wide(const _bstr_t& text)
{
    const wchar_t* chars = text;
    return chars != nullptr ? std::wstring(chars) : std::wstring();
}

inline std::wstring Trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos)
        return std::wstring();
    return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

inline std::wstring NodeText(IXMLDOMNode* node)
{
    BSTR text = nullptr;
    if (node == nullptr || FAILED(node->get_text(&text)))
        return std::wstring();
    return Wide(_bstr_t(text, false));
}

inline std::wstring NodeName(IXMLDOMNode* node)
{
    BSTR name = nullptr;
    if (node == nullptr || FAILED(node->get_nodeName(&name)))
        return std::wstring();
    return Wide(_bstr_t(name, false));
}

// Elements with sorted attributes, trimmed non-empty texts and comments; the
// declaration, processing instructions and the document type are left out.
inline void Describe(IXMLDOMNode* node, std::wstring& out)
{
    DOMNodeType type = NODE_INVALID;
    node->get_nodeType(&type);
    switch (type) {
    case NODE_ELEMENT: {
        const std::wstring name = NodeName(node);
        out += L"<" + name;
        IXMLDOMNamedNodeMap* rawAttributes = nullptr;
        node->get_attributes(&rawAttributes);
        IXMLDOMNamedNodeMapPtr attributes(rawAttributes, false);
        std::vector<std::wstring> pairs;
        LONG count = 0;
        if (attributes)
            attributes->get_length(&count);
        for (LONG i = 0; i < count; ++i) {
            IXMLDOMNode* rawAttribute = nullptr;
            attributes->get_item(i, &rawAttribute);
            IXMLDOMNodePtr attribute(rawAttribute, false);
            pairs.push_back(NodeName(attribute) + L"=\"" + NodeText(attribute) + L"\"");
        }
        std::sort(pairs.begin(), pairs.end());
        for (const std::wstring& pair : pairs)
            out += L" " + pair;
        out += L">";
        break;
    }
    case NODE_TEXT:
    case NODE_CDATA_SECTION: {
        const std::wstring text = Trimmed(NodeText(node));
        if (!text.empty())
            out += L"[" + text + L"]";
        return;
    }
    case NODE_COMMENT:
        out += L"<!--" + NodeText(node) + L"-->";
        return;
    case NODE_DOCUMENT:
        break;
    default:
        return;
    }
    IXMLDOMNode* child = nullptr;
    node->get_firstChild(&child);
    while (child != nullptr) {
        IXMLDOMNodePtr current(child, false);
        Describe(current, out);
        child = nullptr;
        current->get_nextSibling(&child);
    }
    if (type == NODE_ELEMENT)
        out += L"</" + NodeName(node) + L">";
}

// The structure of the XML text, or a marker when it does not parse.
inline std::wstring Structure(const _bstr_t& xml)
{
    try {
        Common::Config::CXMLDocument document;
        document.Load(xml, false);
        IXMLDOMNodePtr root;
        document.GetNode(L"/", root);
        std::wstring out;
        Describe(root, out);
        return out;
    } catch (const _com_error& error) {
        return L"(does not parse: " + std::to_wstring(static_cast<unsigned long>(error.Error())) + L")";
    }
}

inline ::testing::AssertionResult SameXML(const _bstr_t& expected, const _bstr_t& actual)
{
    const std::wstring want = Structure(expected);
    const std::wstring got = Structure(actual);
    if (want == got)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "expected " << Narrow(want.c_str()) << "\n     got " << Narrow(got.c_str());
}

// Same type and same value.
inline ::testing::AssertionResult SameVariant(const _variant_t& expected, const _variant_t& actual)
{
    if (V_VT(&expected) == V_VT(&actual)) {
        if (V_VT(&expected) == VT_BSTR) {
            if (Wide(_bstr_t(V_BSTR(&expected))) == Wide(_bstr_t(V_BSTR(&actual))))
                return ::testing::AssertionSuccess();
        } else if (expected == actual) {
            return ::testing::AssertionSuccess();
        }
    }
    auto describe = [](const _variant_t& value) {
        std::string text = "vt " + std::to_string(V_VT(&value));
        try {
            _variant_t copy(value);
            if (V_VT(&copy) != VT_NULL && V_VT(&copy) != VT_EMPTY) {
                copy.ChangeType(VT_BSTR);
                text += " \"" + Narrow(_bstr_t(V_BSTR(&copy))) + "\"";
            }
        } catch (const _com_error&) {
        }
        return text;
    };
    return ::testing::AssertionFailure() << "expected " << describe(expected) << ", got " << describe(actual);
}

// Queries that do not parse: each must give an error (or the default), never a crash.
inline const std::vector<_bstr_t>& MalformedQueries()
{
    static const std::vector<_bstr_t> queries = {
        _bstr_t(L"//Interface/"), _bstr_t(L""),       _bstr_t(L"]["),    _bstr_t(L"//*[@GlobalID=\"x]"),
        _bstr_t(L"//"),           _bstr_t(L"("),      _bstr_t(L"foo("),  _bstr_t(L"//Interface["),
        _bstr_t(L"***"),          _bstr_t(L"'"),      _bstr_t(L"//*]"),  _bstr_t(),
    };
    return queries;
}

} // namespace XMLTest
