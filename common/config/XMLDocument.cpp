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

using Tools::ThrowIfFailed;
using XMLSupport::NonNull;
using Tools::ThrowComError;

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

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n';
}

// A character that may begin the root element's name: a letter, '_', ':' or any
// character beyond ASCII (read a byte at a time, the lead byte of UTF-8).
bool BeginsName(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') || c == L'_' || c == L':' || c >= 0x80;
}

// The encoding the XML declaration names, lower case; empty without one.
std::wstring DeclaredEncoding(const std::wstring& declaration)
{
    const std::wstring::size_type name = declaration.find(L"encoding");
    if (name == std::wstring::npos)
        return std::wstring();
    std::wstring::size_type at = name + 8;
    while (at < declaration.size() && (IsBlank(declaration[at]) || declaration[at] == L'='))
        ++at;
    if (at >= declaration.size() || (declaration[at] != L'"' && declaration[at] != L'\''))
        return std::wstring();
    const std::wstring::size_type end = declaration.find(declaration[at], at + 1);
    if (end == std::wstring::npos)
        return std::wstring();
    std::wstring encoding = declaration.substr(at + 1, end - at - 1);
    for (wchar_t& c : encoding) {
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    }
    return encoding;
}

// UTF-7 spells markup characters in letters and digits ("+ADw-" for '<'): read a
// byte at a time its prolog shows a comment where the parser sees a declaration.
bool HidesMarkup(const std::wstring& encoding)
{
    return encoding.find(L"utf-7") != std::wstring::npos || encoding.find(L"utf7") != std::wstring::npos;
}

// Whether the prolog up to the root element may declare a document type: it does
// ("<!DOCTYPE"), or it holds what no prolog holds (text outside markup, a control
// character, a name that cannot begin an element), so that the parser may read
// it otherwise than this scan: in doubt, refuse. A prolog is blanks, the XML
// declaration, comments and processing instructions.
bool MayDeclareDocumentType(const std::wstring& content)
{
    const std::wstring::size_type end = content.size();
    std::wstring::size_type at = 0;
    // A byte-order mark read as a character.
    if (at < end && content[at] == 0xFEFF)
        ++at;
    for (;;) {
        while (at < end && IsBlank(content[at]))
            ++at;
        if (at >= end)
            return false;
        if (content[at] != L'<' || at + 1 >= end)
            return true;
        std::wstring::size_type close = std::wstring::npos;
        if (content.compare(at, 4, L"<!--") == 0) {
            close = content.find(L"-->", at + 4);
            if (close != std::wstring::npos)
                close += 3;
        } else if (content[at + 1] == L'?') {
            close = content.find(L"?>", at + 2);
            if (close != std::wstring::npos) {
                close += 2;
                if (HidesMarkup(DeclaredEncoding(content.substr(at, close - at))))
                    return true;
            }
        } else {
            return !BeginsName(content[at + 1]);
        }
        // Unclosed: the parser fails on it, unless it reads the bytes otherwise.
        if (close == std::wstring::npos)
            return true;
        for (std::wstring::size_type i = at; i < close; ++i) {
            if (content[i] < 0x20 && !IsBlank(content[i]))
                return true;
        }
        at = close;
    }
}

// The markup of the bytes as wide text, in the encoding the XML rules tell from
// the first bytes: UTF-32 and UTF-16 by their byte-order marks or by the zero
// bytes around the first character, otherwise one character a byte, which keeps
// the ASCII of the prolog of UTF-8 and the 8-bit encodings. Other encodings read
// as one of these show zero or control characters in the prolog, which the scan
// refuses.
std::wstring MarkupText(const std::vector<BYTE>& bytes)
{
    const size_t size = bytes.size();
    const auto at = [&](size_t i) -> unsigned { return i < size ? bytes[i] : 0x100u; };
    size_t unit = 1;
    bool bigEndian = false;
    size_t start = 0;
    if (at(0) == 0xFF && at(1) == 0xFE && at(2) == 0 && at(3) == 0) {
        unit = 4;
        start = 4;
    } else if (at(0) == 0 && at(1) == 0 && at(2) == 0xFE && at(3) == 0xFF) {
        unit = 4;
        bigEndian = true;
        start = 4;
    } else if (at(0) == 0xFF && at(1) == 0xFE) {
        unit = 2;
        start = 2;
    } else if (at(0) == 0xFE && at(1) == 0xFF) {
        unit = 2;
        bigEndian = true;
        start = 2;
    } else if (at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        start = 3;
    } else if (at(0) != 0 && at(1) == 0 && at(2) == 0 && at(3) == 0) {
        unit = 4;
    } else if (at(0) == 0 && at(1) == 0 && at(2) == 0 && at(3) != 0 && at(3) != 0x100u) {
        unit = 4;
        bigEndian = true;
    } else if (at(0) != 0 && at(1) == 0) {
        unit = 2;
    } else if (at(0) == 0 && at(1) != 0 && at(1) != 0x100u) {
        unit = 2;
        bigEndian = true;
    }
    std::wstring text;
    text.reserve((size - start) / unit);
    for (size_t i = start; i + unit <= size; i += unit) {
        unsigned long c = 0;
        for (size_t b = 0; b < unit; ++b)
            c |= static_cast<unsigned long>(bytes[i + b]) << (8 * (bigEndian ? unit - 1 - b : b));
        // Beyond the 16-bit range only the markup characters matter.
        text += c <= 0xFFFF ? static_cast<wchar_t>(c) : static_cast<wchar_t>(0xFFFD);
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
    if (MayDeclareDocumentType(markup))
        ThrowComError(E_FAIL);
}

// A stream of setup's own over the bytes: the parser reads what was checked.
IStreamPtr StreamOf(const std::vector<BYTE>& bytes)
{
    IStream* created = nullptr;
    HRESULT hr = ::CreateStreamOnHGlobal(nullptr, TRUE, &created);
    if (FAILED(hr))
        ThrowComError(hr);
    IStreamPtr stream(created, false);
    if (!bytes.empty()) {
        ULONG written = 0;
        hr = stream->Write(&bytes[0], static_cast<ULONG>(bytes.size()), &written);
        if (FAILED(hr))
            ThrowComError(hr);
        if (written != bytes.size())
            ThrowComError(E_FAIL);
    }
    Rewind(stream);
    return stream;
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
        // Read once: the parser is given the bytes that were checked, never the
        // file again. A file setup cannot read does not load.
        const IStreamPtr content = ::LoadFileToStream(NonNull(source));
        if (!content)
            ThrowComError(E_FAIL);
        LoadBytes(ReadAll(content));
        return;
    }
    RefuseDocumentType(ToWide(source));
    ThrowIfFailed(m_pDocument->put_async(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ThrowIfFailed(m_pDocument->loadXML(NonNull(source), &loaded), m_pDocument, IID_IXMLDOMDocument);
    if (loaded != VARIANT_TRUE)
        ThrowComError(E_FAIL);
}

void CXMLDocument::LoadStream(IStream* stream)
{
    if (stream == nullptr)
        ThrowComError(E_FAIL);
    LoadBytes(ReadAll(stream));
}

void CXMLDocument::LoadBytes(const std::vector<BYTE>& bytes)
{
    RefuseDocumentType(MarkupText(bytes));
    const IStreamPtr checked = StreamOf(bytes);
    ThrowIfFailed(m_pDocument->put_async(VARIANT_FALSE), m_pDocument, IID_IXMLDOMDocument);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ThrowIfFailed(m_pDocument->load(_variant_t(static_cast<IUnknown*>(checked)), &loaded), m_pDocument,
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
