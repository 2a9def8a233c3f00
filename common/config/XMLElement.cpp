// One XML element, its attributes and node lists.
#include "common/config/XMLElement.h"

#include "common/config/XMLSupport.h"
#include "common/tools/ComError.h"

#include <cwchar>
#include <vector>

namespace Common {
namespace Config {

using XMLSupport::AsElement;
using XMLSupport::NonNull;
using Tools::ThrowComError;
using Tools::ThrowIfFailed;

namespace {

// The attribute's text as a string, or the default when it is absent or cannot
// be read.
_variant_t ReadAttribute(IXMLDOMElement* element, const _bstr_t& name, const _variant_t& defaultValue)
{
    try {
        if (element == nullptr)
            return defaultValue;
        _variant_t value;
        ThrowIfFailed(element->getAttribute(NonNull(name), &value), element, IID_IXMLDOMElement);
        if (V_VT(&value) == VT_NULL || V_VT(&value) == VT_EMPTY)
            return defaultValue;
        if (V_VT(&value) != VT_BSTR)
            value.ChangeType(VT_BSTR);
        return value;
    } catch (const _com_error&) {
        return defaultValue;
    }
}

// The text of a string variant that holds at least one character, else null.
const wchar_t* NonEmptyText(const _variant_t& value)
{
    if (V_VT(&value) != VT_BSTR || V_BSTR(&value) == nullptr || SysStringLen(V_BSTR(&value)) == 0)
        return nullptr;
    return V_BSTR(&value);
}

// Two interface pointers of one COM object.
bool SameObject(IUnknown* first, IUnknown* second)
{
    IUnknown* identity1 = nullptr;
    IUnknown* identity2 = nullptr;
    if (FAILED(first->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity1))))
        return false;
    IUnknownPtr hold1(identity1, false);
    if (FAILED(second->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity2))))
        return false;
    IUnknownPtr hold2(identity2, false);
    return identity1 == identity2;
}

} // namespace

IXMLDOMNodePtr CXMLElement::SelectNode(const _bstr_t& query) const
{
    if (!m_pElement)
        ThrowComError(E_FAIL);
    IXMLDOMNode* found = nullptr;
    ThrowIfFailed(m_pElement->selectSingleNode(NonNull(query), &found), m_pElement, IID_IXMLDOMElement);
    if (found == nullptr)
        ThrowComError(E_FAIL);
    return IXMLDOMNodePtr(found, false);
}

CXMLElement CXMLElement::GetElement(const _bstr_t& query) const
{
    const IXMLDOMNodePtr node = SelectNode(query);
    return CXMLElement(AsElement(node));
}

_variant_t CXMLElement::GetAttribute(const _bstr_t& name, const _variant_t& defaultValue) const
{
    return ReadAttribute(m_pElement, name, defaultValue);
}

bool CXMLElement::ScanHex(const _bstr_t& name, const wchar_t* format, unsigned int& number) const
{
    try {
        const _variant_t value = GetAttribute(name, _variant_t(L""));
        const wchar_t* text = NonEmptyText(value);
        return text != nullptr && swscanf(text, format, &number) == 1;
    } catch (...) {
        return false;
    }
}

DWORD CXMLElement::GetColor(const _bstr_t& name, DWORD defaultValue) const
{
    unsigned int color = 0;
    if (!ScanHex(name, L"#%x", color))
        return defaultValue;
    // #RRGGBB becomes 0xFFBBGGRR; an alpha byte in front is ignored.
    const DWORD red = (color >> 16) & 0xFF;
    const DWORD green = (color >> 8) & 0xFF;
    const DWORD blue = color & 0xFF;
    return 0xFF000000u + red + green * 256 + blue * 65536;
}

DWORD CXMLElement::GetHex(const _bstr_t& name, DWORD defaultValue) const
{
    unsigned int number = 0;
    return ScanHex(name, L"0x%x", number) ? number : defaultValue;
}

double CXMLElement::GetDouble(const _bstr_t& name, double defaultValue) const
{
    const _variant_t missing(static_cast<long>(DISP_E_PARAMNOTFOUND), VT_ERROR);
    const _variant_t value = GetAttribute(name, missing);
    if (V_VT(&value) == VT_ERROR && V_ERROR(&value) == DISP_E_PARAMNOTFOUND)
        return defaultValue;
    const _bstr_t text(value);
    const wchar_t* chars = text;
    return chars != nullptr ? wcstod(chars, nullptr) : 0.0;
}

void CXMLElement::SetAttributeAt(const _bstr_t& name, const _bstr_t& relativePath, const _variant_t& value)
{
    const IXMLDOMNodePtr node = SelectNode(_bstr_t(L".") + relativePath);
    const IXMLDOMElementPtr target = AsElement(node);
    if (!target)
        ThrowComError(E_FAIL);
    ThrowIfFailed(target->setAttribute(NonNull(name), value), target, IID_IXMLDOMElement);
}

void CXMLElement::SetAttribute(const _bstr_t& name, const _variant_t& value)
{
    SetAttributeAt(name, _bstr_t(L""), value);
}

CXMLNodeList CXMLElement::SelectNodes(const _bstr_t& relativePath) const
{
    if (!m_pElement)
        ThrowComError(E_FAIL);
    IXMLDOMNodeList* found = nullptr;
    ThrowIfFailed(m_pElement->selectNodes(_bstr_t(L".") + relativePath, &found), m_pElement, IID_IXMLDOMElement);
    IXMLDOMNodeListPtr list(found, false);
    if (!list)
        ThrowComError(E_FAIL);
    return CXMLNodeList(list);
}

void CXMLElement::RemoveChildren()
{
    const CXMLNodeList children = SelectNodes(L"/*");
    // Take them all first: a DOM may keep its selection live.
    std::vector<IXMLDOMNodePtr> nodes;
    const LONG count = children.GetLength();
    for (LONG i = 0; i < count; ++i) {
        IXMLDOMNodePtr node = children.GetItem(i);
        if (node)
            nodes.push_back(node);
    }
    for (const IXMLDOMNodePtr& node : nodes) {
        IXMLDOMNode* removed = nullptr;
        ThrowIfFailed(m_pElement->removeChild(node, &removed), m_pElement, IID_IXMLDOMElement);
        IXMLDOMNodePtr release(removed, false);
    }
}

CXMLElement CXMLElement::AppendElement(const _bstr_t& name)
{
    if (!m_pElement)
        ThrowComError(E_FAIL);
    IXMLDOMDocument* owner = nullptr;
    ThrowIfFailed(m_pElement->get_ownerDocument(&owner), m_pElement, IID_IXMLDOMElement);
    const IXMLDOMDocumentPtr document(owner, false);
    if (!document)
        ThrowComError(E_POINTER);
    IXMLDOMElement* created = nullptr;
    ThrowIfFailed(document->createElement(NonNull(name), &created), document, IID_IXMLDOMDocument);
    const IXMLDOMElementPtr element(created, false);
    if (!element)
        ThrowComError(E_FAIL);
    IXMLDOMNode* appended = nullptr;
    ThrowIfFailed(m_pElement->appendChild(element, &appended), m_pElement, IID_IXMLDOMElement);
    const IXMLDOMNodePtr appendedNode(appended, false);
    const IXMLDOMElementPtr result = AsElement(appendedNode);
    return CXMLElement(result ? result : element);
}

_bstr_t CXMLElement::GetName() const
{
    if (!m_pElement)
        ThrowComError(E_POINTER);
    BSTR name = nullptr;
    ThrowIfFailed(m_pElement->get_nodeName(&name), m_pElement, IID_IXMLDOMElement);
    return _bstr_t(name, false);
}

_bstr_t CXMLElement::GetXML() const
{
    try {
        if (!m_pElement)
            return _bstr_t(L"");
        BSTR text = nullptr;
        ThrowIfFailed(m_pElement->get_xml(&text), m_pElement, IID_IXMLDOMElement);
        return _bstr_t(text, false);
    } catch (const _com_error&) {
        return _bstr_t(L"");
    }
}

CXMLNodeListIterator CXMLNodeList::Begin() const
{
    return CXMLNodeListIterator(this, 0);
}

CXMLNodeListIterator CXMLNodeList::End() const
{
    return CXMLNodeListIterator(this, -1);
}

IXMLDOMNodePtr CXMLNodeList::GetItem(LONG position) const
{
    if (!m_pList)
        ThrowComError(E_POINTER);
    if (position < 0)
        return IXMLDOMNodePtr();
    IXMLDOMNode* item = nullptr;
    if (FAILED(m_pList->get_item(position, &item)))
        return IXMLDOMNodePtr();
    return IXMLDOMNodePtr(item, false);
}

LONG CXMLNodeList::GetLength() const
{
    if (!m_pList)
        ThrowComError(E_POINTER);
    LONG length = 0;
    if (FAILED(m_pList->get_length(&length)))
        return 0;
    return length;
}

IXMLDOMNodePtr CXMLNodeListIterator::GetNode() const
{
    if (m_pList == nullptr)
        return IXMLDOMNodePtr();
    return m_pList->GetItem(m_nPosition);
}

bool CXMLNodeListIterator::operator!=(const CXMLNodeListIterator& other) const
{
    const IXMLDOMNodePtr mine = GetNode();
    const IXMLDOMNodePtr theirs = other.GetNode();
    if (mine.GetInterfacePtr() == theirs.GetInterfacePtr())
        return false;
    if (!mine || !theirs)
        return true;
    return !SameObject(mine, theirs);
}

CXMLNodeListIterator& CXMLNodeListIterator::operator++()
{
    ++m_nPosition;
    return *this;
}

CXMLNodeListIterator CXMLNodeListIterator::operator++(int)
{
    CXMLNodeListIterator before(*this);
    ++m_nPosition;
    return before;
}

_variant_t CXMLNodeListIterator::GetAttribute(const _bstr_t& name, const _variant_t& defaultValue) const
{
    try {
        const IXMLDOMNodePtr node = GetNode();
        return ReadAttribute(AsElement(node), name, defaultValue);
    } catch (const _com_error&) {
        return defaultValue;
    }
}

_bstr_t CXMLNodeListIterator::GetNodeName() const
{
    const IXMLDOMNodePtr node = GetNode();
    if (!AsElement(node))
        ThrowComError(E_FAIL);
    BSTR name = nullptr;
    ThrowIfFailed(node->get_nodeName(&name), node, IID_IXMLDOMNode);
    return _bstr_t(name, false);
}

CXMLNodeList CXMLNodeListIterator::GetChildNodes() const
{
    const IXMLDOMNodePtr node = GetNode();
    if (!node)
        ThrowComError(E_POINTER);
    IXMLDOMNodeList* children = nullptr;
    ThrowIfFailed(node->get_childNodes(&children), node, IID_IXMLDOMNode);
    IXMLDOMNodeListPtr list(children, false);
    if (!list)
        ThrowComError(E_POINTER);
    return CXMLNodeList(list);
}

CXMLElement CXMLNodeListIterator::operator*() const
{
    const IXMLDOMNodePtr node = GetNode();
    const IXMLDOMElementPtr element = AsElement(node);
    if (!element)
        ThrowComError(E_FAIL);
    return CXMLElement(element);
}

bool CXMLNodeListIterator::IsElement() const
{
    const IXMLDOMNodePtr node = GetNode();
    if (!node)
        ThrowComError(E_FAIL);
    DOMNodeType type = NODE_INVALID;
    ThrowIfFailed(node->get_nodeType(&type), node, IID_IXMLDOMNode);
    return type == NODE_ELEMENT;
}

CXMLChildWalk::CXMLChildWalk(IXMLDOMNode* parent)
{
    if (parent == nullptr)
        return;
    IXMLDOMNode* first = nullptr;
    ThrowIfFailed(parent->get_firstChild(&first), parent, IID_IXMLDOMNode);
    m_pNode.Attach(first);
}

void CXMLChildWalk::Next()
{
    if (!m_pNode)
        return;
    IXMLDOMNode* next = nullptr;
    ThrowIfFailed(m_pNode->get_nextSibling(&next), m_pNode, IID_IXMLDOMNode);
    m_pNode.Attach(next);
}

bool CXMLChildWalk::IsElement() const
{
    if (!m_pNode)
        ThrowComError(E_FAIL);
    DOMNodeType type = NODE_INVALID;
    ThrowIfFailed(m_pNode->get_nodeType(&type), m_pNode, IID_IXMLDOMNode);
    return type == NODE_ELEMENT;
}

CXMLElement CXMLChildWalk::operator*() const
{
    const IXMLDOMElementPtr element = AsElement(m_pNode);
    if (!element)
        ThrowComError(E_FAIL);
    return CXMLElement(element);
}

} // namespace Config
} // namespace Common
