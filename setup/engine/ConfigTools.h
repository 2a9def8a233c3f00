#pragma once

#include "framework/WinString.h"

#include <windows.h>

namespace Common {
namespace Config {
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
