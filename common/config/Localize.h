// Texts of windows and message boxes looked up in the interface document.
#pragma once

#include "common/tools/ComSupport.h"
#include "framework/WinString.h"

#include <map>

namespace Common {
namespace Config {

// One target of a window whose text comes from the interface document.
class CLocalizeItem
{
public:
    enum EKind
    {
        KindControl = 1, // a control of the dialog
        KindWindow = 2,
        KindText = 3,    // a text variable
        KindBstr = 4,    // a COM string
    };

    explicit CLocalizeItem(CString* text) : m_pText(text), m_nKind(KindText) {}
    explicit CLocalizeItem(int controlId) : m_nControlId(controlId), m_nKind(KindControl) {}
    CLocalizeItem(bool common, int controlId) : m_bCommon(common), m_nControlId(controlId), m_nKind(KindControl) {}

    bool m_bCommon = false; // under "//Interface/Localize/Common", not the window's path
    CString* m_pText = nullptr;
    _bstr_t* m_pBstr = nullptr;
    HWND m_hWnd = nullptr;
    int m_nControlId = 0;
    int m_nKind = 0;
    CString m_strPath; // when set, used instead of the window's path
};

// A window's items by the name of the element that holds each text.
typedef std::map<CString, CLocalizeItem> LocalizeItems;

// Gives every item its "Caption" ("%NL%" a line break). False when an item has no
// path to read or its target is gone; the items after it are left as they were.
bool LocalizeControls(const LocalizeItems& items, const wchar_t* windowPath, HWND dialog);

// The message of that id: "#..." names an element anywhere by its GlobalID, any
// other id an element under "//Interface/Localize/Messages". Empty when not found.
CString LoadMessage(const wchar_t* id);

// A box titled with the document's caption; an empty text shows nothing and
// answers IDCANCEL.
int ShowMessageBox(HWND owner, const CString& text, UINT flags);
int MessageBoxById(const wchar_t* id, HWND owner, UINT flags);

// The message with every occurrence of one text replaced by another.
CString LoadMessageReplace(const wchar_t* id, const wchar_t* oldText, const wchar_t* newText);

} // namespace Config
} // namespace Common
