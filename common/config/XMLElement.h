// One XML element, its attributes and node lists.
#pragma once

#include "common/tools/ComSupport.h"

#include <cstddef>
#include <iterator>

namespace Common {
namespace Config {

class CXMLNodeList;
class CXMLNodeListIterator;

// One DOM element (or none). Failures travel as _com_error: E_FAIL for an empty
// element or a query without a match, the DOM's HRESULT for a failing DOM call;
// reads with a default never raise it.
class CXMLElement
{
public:
    CXMLElement() = default;
    // Takes a reference of its own.
    explicit CXMLElement(IXMLDOMElement* element) : m_pElement(element) {}
    virtual ~CXMLElement() = default;

    bool IsEmpty() const { return !m_pElement; }
    IXMLDOMElement* GetInterface() const { return m_pElement; }

    // First match with this element as context; the query is used as given.
    IXMLDOMNodePtr SelectNode(const _bstr_t& query) const;
    // SelectNode as an element; a match that is not one gives an empty element.
    CXMLElement GetElement(const _bstr_t& query) const;
    // The attribute's text, or a copy of the default.
    _variant_t GetAttribute(const _bstr_t& name, const _variant_t& defaultValue) const;
    // "#RRGGBB" (or "#AARRGGBB") as 0xFFBBGGRR; the default when it does not read.
    DWORD GetColor(const _bstr_t& name, DWORD defaultValue) const;
    // "0x..." as a number; the default when it does not read.
    DWORD GetHex(const _bstr_t& name, DWORD defaultValue) const;
    // The leading decimal number of the text (0.0 when there is none); the default
    // only when the attribute is missing.
    double GetDouble(const _bstr_t& name, double defaultValue) const;
    // Sets the attribute of the element at "." followed by the relative path.
    void SetAttributeAt(const _bstr_t& name, const _bstr_t& relativePath, const _variant_t& value);
    void SetAttribute(const _bstr_t& name, const _variant_t& value);
    // The matches of "." followed by the relative path ("/Images", "/*").
    CXMLNodeList SelectNodes(const _bstr_t& relativePath) const;
    // Removes the child elements; text and other child nodes stay.
    void RemoveChildren();
    // A new last child element of that name.
    CXMLElement AppendElement(const _bstr_t& name);
    _bstr_t GetName() const;
    // The element and its subtree as text; empty on any failure.
    _bstr_t GetXML() const;

private:
    // Reads the attribute as a number with the swscanf format; false on any failure.
    bool ScanHex(const _bstr_t& name, const wchar_t* format, unsigned int& number) const;

    IXMLDOMElementPtr m_pElement;
};

// The result of a multi-node query (or none).
class CXMLNodeList
{
public:
    CXMLNodeList() = default;
    // Takes a reference of its own.
    explicit CXMLNodeList(IXMLDOMNodeList* list) : m_pList(list) {}
    virtual ~CXMLNodeList() = default;

    // The list must outlive its iterators.
    CXMLNodeListIterator Begin() const;
    CXMLNodeListIterator End() const;
    // Null outside the list or when the item cannot be read; E_POINTER without a
    // list.
    IXMLDOMNodePtr GetItem(LONG position) const;
    // 0 when the length cannot be read; E_POINTER without a list.
    LONG GetLength() const;

    IXMLDOMNodeList* GetInterface() const { return m_pList; }

private:
    IXMLDOMNodeListPtr m_pList;
};

// A position in a node list; every access asks the list again. The end position
// is -1, and so any position without an item compares equal to the end:
//     for (CXMLNodeListIterator it = list.Begin(); it != list.End(); ++it) ...
class CXMLNodeListIterator
{
public:
    // What std::iterator would give (it is deprecated in C++17).
    typedef std::random_access_iterator_tag iterator_category;
    typedef IXMLDOMNode* value_type;
    typedef std::ptrdiff_t difference_type;
    typedef IXMLDOMNode** pointer;
    typedef IXMLDOMNode*& reference;

    CXMLNodeListIterator() = default;
    CXMLNodeListIterator(const CXMLNodeList* list, LONG position) : m_pList(list), m_nPosition(position) {}
    virtual ~CXMLNodeListIterator() = default;

    // The current node; null at the end.
    IXMLDOMNodePtr GetNode() const;
    // Equal when both current nodes are the same object, or both are missing.
    bool operator!=(const CXMLNodeListIterator& other) const;
    bool operator==(const CXMLNodeListIterator& other) const { return !(*this != other); }
    CXMLNodeListIterator& operator++();
    CXMLNodeListIterator operator++(int);

    // The current element's attribute text, or a copy of the default.
    _variant_t GetAttribute(const _bstr_t& name, const _variant_t& defaultValue) const;
    // E_FAIL unless the current node is an element.
    _bstr_t GetNodeName() const;
    // Every child node (text included); E_POINTER without a current node.
    CXMLNodeList GetChildNodes() const;
    // E_FAIL unless the current node is an element.
    CXMLElement operator*() const;
    // E_FAIL without a current node.
    bool IsElement() const;

    LONG GetPosition() const { return m_nPosition; }

private:
    const CXMLNodeList* m_pList = nullptr;
    LONG m_nPosition = -1;
};

// The child nodes of a node, first to last, each reached from the one before.
// MSXML's child lists find an item by counting from the first child, so a loop
// over a list by position costs the square of its length; this walk costs the
// length. The document must not change during the walk.
class CXMLChildWalk
{
public:
    // At the first child; at the end at once without a node or children.
    explicit CXMLChildWalk(IXMLDOMNode* parent);

    bool AtEnd() const { return !m_pNode; }
    void Next();
    // E_FAIL at the end.
    bool IsElement() const;
    // E_FAIL unless the current node is an element.
    CXMLElement operator*() const;

private:
    IXMLDOMNodePtr m_pNode;
};

} // namespace Config
} // namespace Common
