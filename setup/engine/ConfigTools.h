// The engine's message boxes and its readers of document values.
#pragma once

#include "framework/WinString.h"

#include <windows.h>

#include <comdef.h>

namespace Common {
namespace Config {
class CXMLElement;
class CXMLNodeListIterator;
}
}

// Message boxes of the engine. In quiet mode nothing is loaded or shown, and the
// answer is IDYES when the flags ask a question (any button set but OK alone),
// else IDOK.
int ShowMessageById(HWND owner, const wchar_t* key, UINT flags);
int ShowMessageByIdWith(HWND owner, const wchar_t* key, const wchar_t* placeholder, const wchar_t* replacement,
                        UINT flags);
int ShowMessageText(HWND owner, const CString& text, UINT flags);

// The attribute of the node at the query in the interface document, with its
// path variables expanded; empty when the node or the attribute is missing.
CString GetConfigValue(const wchar_t* attribute, const wchar_t* xpath);

// The attribute of the iterator's current node (the default when it is missing),
// with its path variables expanded.
CString GetNodeAttribute(const Common::Config::CXMLNodeListIterator& node, const wchar_t* name,
                         const wchar_t* defaultValue);

// The same for an element.
CString GetNodeAttribute(const Common::Config::CXMLElement& node, const wchar_t* name, const wchar_t* defaultValue);
// The attribute's text as it stands (no expansion); the default when missing.
CString GetRawAttribute(const Common::Config::CXMLElement& node, const wchar_t* name,
                        const wchar_t* defaultValue = L"");
// Whether the element carries the attribute at all.
bool HasAttribute(const Common::Config::CXMLElement& node, const wchar_t* name);
// The name a file entry of a files group stands under in its folder: its
// TargetFileName, or else the file part of its FileName.
CString GetEntryTargetName(const Common::Config::CXMLElement& file);

// Values by the platform's variant conversion: true or false in any case, or a
// number. A text that does not convert raises the conversion's _com_error.
bool VariantToBool(const _variant_t& value);
long VariantToLong(const _variant_t& value);
DWORD VariantToDword(const _variant_t& value);
double VariantToDouble(const _variant_t& value);
bool GetNodeBool(const Common::Config::CXMLElement& node, const wchar_t* name, bool defaultValue);
long GetNodeLong(const Common::Config::CXMLElement& node, const wchar_t* name, long defaultValue);
// An attribute of the node at the query in the interface document, converted; the
// default when the node or attribute is missing. Raises _com_error for a text that
// does not convert, and E_FAIL when there is no document.
bool GetConfigBool(const wchar_t* attribute, const wchar_t* xpath, bool defaultValue);
double GetConfigDouble(const wchar_t* attribute, const wchar_t* xpath, double defaultValue);
