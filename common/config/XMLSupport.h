// Helpers shared by the XML document and element code.
#pragma once

// Shared by the XML document and element code only.
#include "common/tools/ComSupport.h"

namespace Common {
namespace Config {
namespace XMLSupport {

// Raises the failure of a DOM call, with the object's error description.
[[noreturn]] inline void RaiseDomError(HRESULT hr, IUnknown* object, REFIID iid)
{
    _com_issue_errorex(hr, object, iid);
    throw _com_error(hr); // not reached: _com_issue_errorex always throws
}

inline void CheckDom(HRESULT hr, IUnknown* object, REFIID iid)
{
    if (FAILED(hr))
        RaiseDomError(hr, object, iid);
}

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
