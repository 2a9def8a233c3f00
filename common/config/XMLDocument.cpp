// The XML document and the settings read from it.
#include "common/config/XMLDocument.h"

#include "common/config/XMLElement.h"
#include "common/config/XMLSupport.h"
#include "common/tools/ComError.h"
#include "common/storage/IFileLoader.h"
#include "common/tools/FileTools.h"

#include <string>
#include <vector>

namespace Common {
namespace Config {

using XMLSupport::NonNull;
using Tools::ThrowComError;
using Tools::ThrowIfFailed;

namespace {

std::wstring ToWide(const _bstr_t& text)
{
    const wchar_t* chars = text;
    return chars != nullptr ? std::wstring(chars, text.length()) : std::wstring();
}

void Rewind(IStream* stream)
{
    LARGE_INTEGER start = {};
    const HRESULT hr = stream->Seek(start, STREAM_SEEK_SET, nullptr);
    if (FAILED(hr))
        ThrowComError(hr);
}

// The prolog up to the root element: whitespace, the XML declaration, comments
// and processing instructions. Any other markup there ("<!DOCTYPE") declares a
// document type.
bool DeclaresDocumentType(const std::wstring& content)
{
    const std::wstring::size_type end = content.size();
    std::wstring::size_type at = 0;
    for (;;) {
        at = content.find(L'<', at);
        if (at == std::wstring::npos || at + 1 >= end)
            return false;
        if (content.compare(at, 4, L"<!--") == 0) {
            at = content.find(L"-->", at + 4);
            if (at == std::wstring::npos)
                return false;
            at += 3;
        } else if (content[at + 1] == L'?') {
            at = content.find(L"?>", at + 2);
            if (at == std::wstring::npos)
                return false;
            at += 2;
        } else {
            return content[at + 1] == L'!';
        }
    }
}

// The markup of the bytes as wide text: UTF-16 by its byte-order mark or by the
// zero bytes around its first character, otherwise one character a byte, which
// keeps the ASCII of the prolog of UTF-8 and the 8-bit encodings.
std::wstring MarkupText(const std::vector<BYTE>& bytes)
{
    const size_t size = bytes.size();
    bool utf16 = false;
    bool bigEndian = false;
    size_t start = 0;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        utf16 = true;
        start = 2;
    } else if (size >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) {
        utf16 = bigEndian = true;
        start = 2;
    } else if (size >= 2 && bytes[0] != 0 && bytes[1] == 0) {
        utf16 = true;
    } else if (size >= 2 && bytes[0] == 0 && bytes[1] != 0) {
        utf16 = bigEndian = true;
    }
    std::wstring text;
    if (utf16) {
        text.reserve((size - start) / 2);
        for (size_t i = start; i + 1 < size; i += 2)
            text += static_cast<wchar_t>(bigEndian ? (bytes[i] << 8) | bytes[i + 1] : bytes[i] | (bytes[i + 1] << 8));
    } else {
        text.reserve(size);
        for (size_t i = 0; i < size; ++i)
            text += static_cast<wchar_t>(bytes[i]);
    }
    return text;
}

std::vector<BYTE> ReadAll(IStream* stream)
{
    Rewind(stream);
    std::vector<BYTE> bytes;
    BYTE chunk[16384];
    for (;;) {
        ULONG read = 0;
        const HRESULT hr = stream->Read(chunk, sizeof(chunk), &read);
        if (FAILED(hr))
            ThrowComError(hr);
        bytes.insert(bytes.end(), chunk, chunk + read);
        if (hr != S_OK || read == 0)
            break;
    }
    Rewind(stream);
    return bytes;
}

// The DOM expands entities whatever it is told (a few kilobytes of entities
// grow past any memory or time) and no document of ours needs a document type:
// refuse one before the parser sees it.
void RefuseDocumentType(const std::wstring& markup)
{
    if (DeclaresDocumentType(markup))
        ThrowComError(E_FAIL);
}

} // namespace

CXMLDocument::CXMLDocument()
{
    IUnknown* created = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_DOMDocument30, nullptr, CLSCTX_ALL, IID_IUnknown,
                                  reinterpret_cast<void**>(&created));
    if (FAILED(hr))
        ThrowComError(hr);
    IUnknownPtr object(created, false);
    hr = OleRun(object);
    if (FAILED(hr))
        ThrowComError(hr);
    IXMLDOMDocument* document = nullptr;
    hr = object->QueryInterface(IID_IXMLDOMDocument, reinterpret_cast<void**>(&document));
    if (FAILED(hr))
        ThrowComError(hr);
    m_pDocument.Attach(document);

    IXMLDOMDocument2* document2 = nullptr;
    hr = object->QueryInterface(IID_IXMLDOMDocument2, reinterpret_cast<void**>(&document2));
    if (FAILED(hr))
        ThrowComError(hr);
    IXMLDOMDocument2Ptr properties(document2, false);
    // XPath, not the old default pattern language: Wine's pattern compiler crashes
    // on a malformed query instead of failing.
    ThrowIfFailed(properties->setProperty(_bstr_t(L"SelectionLanguage"), _variant_t(L"XPath")), properties,
                  IID_IXMLDOMDocument2);
    // Setup runs elevated over package XML: nothing outside the document is fetched.
    ThrowIfFailed(m_pDocument->put_resolveExternals(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    ThrowIfFailed(m_pDocument->put_validateOnParse(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    // Older DOMs do not know this property; the two settings above still hold.
    properties->setProperty(_bstr_t(L"ProhibitDTD"), _variant_t(true));
    ThrowIfFailed(m_pDocument->put_async(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
}

CXMLDocument::~CXMLDocument() = default;

void CXMLDocument::Load(const _bstr_t& source, bool isFile)
{
    if (isFile) {
        // An unreadable file is left to the DOM, which reports it.
        const IStreamPtr content = ::LoadFileToStream(NonNull(source));
        if (content)
            RefuseDocumentType(MarkupText(ReadAll(content)));
    } else {
        RefuseDocumentType(ToWide(source));
    }
    ThrowIfFailed(m_pDocument->put_async(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = isFile ? m_pDocument->load(_variant_t(NonNull(source)), &loaded)
                              : m_pDocument->loadXML(NonNull(source), &loaded);
    ThrowIfFailed(hr, m_pDocument, IID_IXMLDOMDocument);
    if (loaded != VARIANT_TRUE)
        ThrowComError(E_FAIL);
}

void CXMLDocument::LoadStream(IStream* stream)
{
    if (stream == nullptr)
        ThrowComError(E_FAIL);
    RefuseDocumentType(MarkupText(ReadAll(stream)));
    ThrowIfFailed(m_pDocument->put_async(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ThrowIfFailed(m_pDocument->load(_variant_t(static_cast<IUnknown*>(stream)), &loaded), m_pDocument,
                  IID_IXMLDOMDocument);
    if (loaded != VARIANT_TRUE)
        ThrowComError(E_FAIL);
}

void CXMLDocument::ImportNode(const CXMLElement& element)
{
    if (element.IsEmpty())
        ThrowComError(E_POINTER);
    IXMLDOMNode* clone = nullptr;
    ThrowIfFailed(element.GetInterface()->cloneNode(VARIANT_TRUE, &clone), element.GetInterface(), IID_IXMLDOMElement);
    IXMLDOMNodePtr copy(clone, false);
    if (!copy)
        ThrowComError(E_POINTER);
    IXMLDOMNode* appended = nullptr;
    ThrowIfFailed(m_pDocument->appendChild(copy, &appended), m_pDocument, IID_IXMLDOMDocument);
    IXMLDOMNodePtr release(appended, false);
}

void CXMLDocument::Save(const _bstr_t& path)
{
    ThrowIfFailed(m_pDocument->save(_variant_t(NonNull(path))), m_pDocument, IID_IXMLDOMDocument);
}

void CXMLDocument::SaveStream(IStream* stream)
{
    if (stream == nullptr)
        ThrowComError(E_FAIL);
    ULARGE_INTEGER empty = {};
    const HRESULT hr = stream->SetSize(empty);
    if (FAILED(hr))
        ThrowComError(hr);
    Rewind(stream);
    ThrowIfFailed(m_pDocument->save(_variant_t(static_cast<IUnknown*>(stream))), m_pDocument, IID_IXMLDOMDocument);
}

void CXMLDocument::GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node)
{
    IXMLDOMNode* found = nullptr;
    ThrowIfFailed(m_pDocument->selectSingleNode(NonNull(xpath), &found), m_pDocument, IID_IXMLDOMDocument);
    if (found == nullptr)
        ThrowComError(E_FAIL);
    node.Attach(found);
}

_variant_t CXMLDocument::GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue)
{
    _variant_t result;
    try {
        IXMLDOMNodePtr node;
        GetNode(xpath, node);
        IXMLDOMElementPtr element = XMLSupport::AsElement(node);
        if (!element)
            ThrowComError(E_FAIL);
        _variant_t value;
        ThrowIfFailed(element->getAttribute(NonNull(attribute), &value), element, IID_IXMLDOMElement);
        if (V_VT(&value) == VT_NULL)
            ThrowComError(E_FAIL);
        if (V_VT(&value) != VT_BSTR)
            value.ChangeType(VT_BSTR);
        result = value;
    } catch (const _com_error&) {
        result = defaultValue;
    }
    return result;
}

void CXMLDocument::SetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& value)
{
    IXMLDOMNodePtr node;
    GetNode(xpath, node);
    IXMLDOMElementPtr element = XMLSupport::AsElement(node);
    if (!element)
        ThrowComError(E_FAIL);
    ThrowIfFailed(element->setAttribute(NonNull(attribute), value), element, IID_IXMLDOMElement);
}

void CXMLDocument::SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes)
{
    IXMLDOMNodeList* found = nullptr;
    ThrowIfFailed(m_pDocument->selectNodes(NonNull(xpath), &found), m_pDocument, IID_IXMLDOMDocument);
    IXMLDOMNodeListPtr list(found, false);
    if (!list)
        ThrowComError(E_FAIL);
    nodes = CXMLNodeList(list);
}

void CXMLDocument::GetElement(const _bstr_t& xpath, CXMLElement& element)
{
    IXMLDOMNodePtr node;
    GetNode(xpath, node);
    IXMLDOMElementPtr found = XMLSupport::AsElement(node);
    if (!found)
        ThrowComError(E_FAIL);
    element = CXMLElement(found);
}

void CXMLDocument::CreateElement(const _bstr_t& name, CXMLElement& element)
{
    IXMLDOMElement* created = nullptr;
    ThrowIfFailed(m_pDocument->createElement(NonNull(name), &created), m_pDocument, IID_IXMLDOMDocument);
    IXMLDOMElementPtr result(created, false);
    if (!result)
        ThrowComError(E_FAIL);
    element = CXMLElement(result);
}

_bstr_t CXMLDocument::GetXML()
{
    BSTR text = nullptr;
    ThrowIfFailed(m_pDocument->get_xml(&text), m_pDocument, IID_IXMLDOMDocument);
    return _bstr_t(text, false);
}

CXMLSettings::~CXMLSettings() = default;

bool CXMLSettings::LoadFrom(const _bstr_t& diskPath, const _bstr_t& streamName, IFileLoader* loader, bool packageOnly)
{
    if (!packageOnly) {
        try {
            Load(diskPath, true);
            return false;
        } catch (const _com_error&) {
            // Not on disk (or not readable there): take the package's copy.
        }
    }
    if (loader == nullptr)
        ThrowComError(E_FAIL);
    IStreamPtr stream = loader->OpenStream(ToWide(streamName));
    if (!::SaveStreamToFile(stream, ToWide(diskPath).c_str()))
        ThrowComError(E_FAIL);
    Load(diskPath, true);
    return true;
}

void CXMLSettings::GetRoot(CXMLElement& element)
{
    IXMLDOMElement* root = nullptr;
    ThrowIfFailed(m_pDocument->get_documentElement(&root), m_pDocument, IID_IXMLDOMDocument);
    element = CXMLElement(IXMLDOMElementPtr(root, false));
}

_variant_t CXMLSettings::GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue)
{
    return CXMLDocument::GetValue(attribute, xpath, defaultValue);
}

void CXMLSettings::GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node)
{
    CXMLDocument::GetNode(xpath, node);
}

void CXMLSettings::SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes)
{
    CXMLDocument::SelectNodes(xpath, nodes);
}

void CXMLSettings::GetElement(const _bstr_t& xpath, CXMLElement& element)
{
    CXMLDocument::GetElement(xpath, element);
}

void CXMLWritableSettings::Load(const _bstr_t& source, bool isFile)
{
    CXMLDocument::Load(source, isFile);
    if (isFile)
        m_strPath = source;
}

CXMLWritableSettings::~CXMLWritableSettings() = default;

void CXMLWritableSettings::SaveAs(const _bstr_t& path)
{
    m_strPath = path;
    Save();
}

void CXMLWritableSettings::SaveStream(IStream* stream)
{
    CXMLDocument::SaveStream(stream);
}

_bstr_t CXMLWritableSettings::GetXML()
{
    return CXMLDocument::GetXML();
}

_variant_t CXMLWritableSettings::GetValue(const _bstr_t& attribute, const _bstr_t& xpath,
                                          const _variant_t& defaultValue)
{
    return CXMLDocument::GetValue(attribute, xpath, defaultValue);
}

void CXMLWritableSettings::GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node)
{
    CXMLDocument::GetNode(xpath, node);
}

void CXMLWritableSettings::SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes)
{
    CXMLDocument::SelectNodes(xpath, nodes);
}

void CXMLWritableSettings::GetElement(const _bstr_t& xpath, CXMLElement& element)
{
    CXMLDocument::GetElement(xpath, element);
}

void CXMLWritableSettings::SetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& value)
{
    CXMLDocument::SetValue(attribute, xpath, value);
}

void CXMLWritableSettings::Save()
{
    CXMLDocument::Save(m_strPath);
}

void CXMLWritableSettings::CreateElement(const _bstr_t& name, CXMLElement& element)
{
    CXMLDocument::CreateElement(name, element);
}

IStreamPtr CreateXMLStream(const _bstr_t& text)
{
    try {
        CXMLDocument document;
        document.Load(text, false);
        IStream* created = nullptr;
        const HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, &created);
        if (FAILED(hr))
            ThrowComError(hr);
        IStreamPtr stream(created, false);
        document.SaveStream(stream);
        Rewind(stream);
        return stream;
    } catch (const _com_error&) {
        return IStreamPtr();
    }
}

} // namespace Config
} // namespace Common
