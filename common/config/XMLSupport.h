// Helpers shared by the XML document and element code.
#pragma once

// Shared by the XML document and element code only.
#include "common/tools/ComSupport.h"

namespace Common {
namespace Config {
namespace XMLSupport {

// A null BSTR is the empty text to COM, but not every DOM takes it as such.
inline _bstr_t NonNull(const _bstr_t& text)
{
    return static_cast<const wchar_t*>(text) != nullptr ? text : _bstr_t(L"");
}

// The node as an element, or null when it is not one.
inline IXMLDOMElementPtr AsElement(IXMLDOMNode* node)
{
    IXMLDOMElement* element = nullptr;
    if (node == nullptr || FAILED(node->QueryInterface(IID_IXMLDOMElement, reinterpret_cast<void**>(&element))))
        return IXMLDOMElementPtr();
    return IXMLDOMElementPtr(element, false);
}

} // namespace XMLSupport
} // namespace Config
} // namespace Common
