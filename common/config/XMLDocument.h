// The XML document and the settings read from it.
#pragma once

#include "common/tools/ComSupport.h"

#include <vector>

namespace Common {
namespace Config {

class CXMLElement;
class CXMLNodeList;
class IFileLoader;

// Failures of everything below travel as _com_error: E_FAIL for a query that
// finds nothing, a document that does not load or parse and a null stream; the
// DOM's own HRESULT (with its error description where it keeps one) for a failing
// DOM call, a malformed query included.

class IXMLDocument
{
public:
    // Parses the text, or loads the file it names when isFile is set.
    virtual void Load(const _bstr_t& source, bool isFile) = 0;

protected:
    // Owners delete through the settings interfaces, never through this one.
    ~IXMLDocument() = default;
};

// One DOM document (MSXML 3.0) answering XPath queries.
class CXMLDocument : public IXMLDocument
{
public:
    CXMLDocument();
    CXMLDocument(const CXMLDocument&) = delete;
    CXMLDocument& operator=(const CXMLDocument&) = delete;

    void Load(const _bstr_t& source, bool isFile) override;
    virtual ~CXMLDocument();
    // Reads the whole stream from its start.
    virtual void LoadStream(IStream* stream);

    // Appends a deep copy of the element as a child of the document.
    void ImportNode(const CXMLElement& element);
    void Save(const _bstr_t& path);
    // Replaces the stream's content with the document.
    void SaveStream(IStream* stream);
    void GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node);
    // The attribute of the first match as a string, or a copy of the default when
    // the element or the attribute is missing or the query fails. Never raises
    // _com_error.
    _variant_t GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue);
    void SetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& value);
    // No match gives an empty list.
    void SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes);
    // The first match, which must be an element.
    void GetElement(const _bstr_t& xpath, CXMLElement& element);
    // A new element of the document, not attached anywhere yet.
    void CreateElement(const _bstr_t& name, CXMLElement& element);
    _bstr_t GetXML();

protected:
    IXMLDOMDocumentPtr m_pDocument;

private:
    // Checks the bytes for a document type and has the DOM parse those bytes.
    void LoadBytes(const std::vector<BYTE>& bytes);
};

// Read access to one XML document.
class IXMLSettings
{
public:
    virtual _variant_t GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue) = 0;
    virtual void GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node) = 0;
    virtual void SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes) = 0;
    virtual void GetElement(const _bstr_t& xpath, CXMLElement& element) = 0;
    virtual ~IXMLSettings() = default;
};

// Read and write access to one XML document kept in a file.
class IXMLWritableSettings : public IXMLDocument
{
public:
    void Load(const _bstr_t& source, bool isFile) override = 0;
    virtual _variant_t GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue) = 0;
    virtual void GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node) = 0;
    virtual void SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes) = 0;
    virtual void GetElement(const _bstr_t& xpath, CXMLElement& element) = 0;
    virtual void SetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& value) = 0;
    // Writes the document back to the file it came from.
    virtual void Save() = 0;
    virtual void CreateElement(const _bstr_t& name, CXMLElement& element) = 0;
    virtual ~IXMLWritableSettings() = default;
};

class CXMLSettings : public CXMLDocument, public IXMLSettings
{
public:
    ~CXMLSettings() override;
    // Loads the file at diskPath; when that fails, or always with packageOnly,
    // first writes the package stream to diskPath. True when the package copy was
    // used.
    virtual bool LoadFrom(const _bstr_t& diskPath, const _bstr_t& streamName, IFileLoader* loader, bool packageOnly);
    // The document element; an empty element for an empty document.
    virtual void GetRoot(CXMLElement& element);

    _variant_t GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue) override;
    void GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node) override;
    void SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes) override;
    void GetElement(const _bstr_t& xpath, CXMLElement& element) override;
};

// Settings that remember the file they were loaded from, for Save.
class CXMLWritableSettings : public CXMLSettings, public IXMLWritableSettings
{
public:
    // A file that loads becomes the remembered path; text leaves it as it was.
    void Load(const _bstr_t& source, bool isFile) override;
    ~CXMLWritableSettings() override;
    // The path is remembered even when the save fails.
    virtual void SaveAs(const _bstr_t& path);
    virtual void SaveStream(IStream* stream);
    virtual _bstr_t GetXML();

    _variant_t GetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& defaultValue) override;
    void GetNode(const _bstr_t& xpath, IXMLDOMNodePtr& node) override;
    void SelectNodes(const _bstr_t& xpath, CXMLNodeList& nodes) override;
    void GetElement(const _bstr_t& xpath, CXMLElement& element) override;
    void SetValue(const _bstr_t& attribute, const _bstr_t& xpath, const _variant_t& value) override;
    void Save() override;
    using CXMLDocument::Save;
    void CreateElement(const _bstr_t& name, CXMLElement& element) override;

    const _bstr_t& GetPath() const { return m_strPath; }

private:
    _bstr_t m_strPath;
};

// A new memory stream holding the text parsed and serialised again, at its start;
// null when the text does not parse or anything else fails.
IStreamPtr CreateXMLStream(const _bstr_t& text);

} // namespace Config
} // namespace Common
