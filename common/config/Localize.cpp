// Texts of windows and message boxes looked up in the interface document.
#include "common/config/Localize.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"

namespace Common {
namespace Config {

namespace {

// Backslashes become slashes; slashes at either end go.
CString NormalizePath(const CString& path)
{
    CString result(path);
    result.Replace(L'\\', L'/');
    result.Trim(L"/");
    return result;
}

CString CaptionOf(IXMLSettings* settings, const CString& query)
{
    CString text;
    if (settings == nullptr)
        return text;
    try {
        CXMLElement element;
        settings->GetElement(_bstr_t(query.GetString()), element);
        text = static_cast<const wchar_t*>(_bstr_t(element.GetAttribute(L"Caption", _variant_t(L""))));
    } catch (const _com_error&) {
        // A missing element leaves the text empty.
    }
    text.Replace(L"%NL%", L"\n");
    return text;
}

} // namespace

bool LocalizeControls(const LocalizeItems& items, const wchar_t* windowPath, HWND dialog)
{
    IXMLSettings* settings = GetSetupConfig().GetSettings();
    for (const auto& entry : items) {
        const CLocalizeItem& item = entry.second;
        CString base;
        if (item.m_bCommon)
            base = kLocalizeCommonPath;
        else if (!item.m_strPath.IsEmpty())
            base = item.m_strPath;
        else if (windowPath != nullptr)
            base = windowPath;
        else
            return false;

        CString query = L"//" + NormalizePath(base);
        const CString name = NormalizePath(entry.first);
        if (!name.IsEmpty())
            query += L"/" + name;
        const CString text = CaptionOf(settings, query);

        switch (item.m_nKind) {
        case CLocalizeItem::KindControl:
            if (!IsWindow(dialog))
                return false;
            if (HWND control = GetDlgItem(dialog, item.m_nControlId))
                SetWindowTextW(control, text.GetString());
            break;
        case CLocalizeItem::KindWindow:
            if (!IsWindow(item.m_hWnd))
                return false;
            SetWindowTextW(item.m_hWnd, text.GetString());
            break;
        case CLocalizeItem::KindText:
            if (item.m_pText == nullptr)
                return false;
            *item.m_pText = text;
            break;
        case CLocalizeItem::KindBstr:
            if (item.m_pBstr == nullptr)
                return false;
            *item.m_pBstr = text.GetString();
            break;
        default:
            break;
        }
    }
    return true;
}

CString LoadMessage(const wchar_t* id)
{
    CString text;
    IXMLSettings* settings = GetSetupConfig().GetSettings();
    if (settings == nullptr)
        return text;
    const CString name = id != nullptr ? id : L"";
    try {
        CString query;
        if (id != nullptr && id[0] == L'#')
            query = L"//*[@GlobalID=\"" + name + L"\"]";
        else
            query = kLocalizeMessagesPath + name;
        CXMLElement element;
        try {
            settings->GetElement(_bstr_t(query.GetString()), element);
        } catch (const _com_error&) {
            settings->GetElement(_bstr_t((kOldLocalizeMessagesPath + name).GetString()), element);
        }
        text = static_cast<const wchar_t*>(_bstr_t(element.GetAttribute(L"Caption", _variant_t(L""))));
        text.Replace(L"%NL%", L"\n");
    } catch (...) {
        // Whatever was read so far stands.
    }
    return text;
}

int ShowMessageBox(HWND owner, const CString& text, UINT flags)
{
    CString title;
    if (IXMLSettings* settings = GetSetupConfig().GetSettings())
        title = static_cast<const wchar_t*>(_bstr_t(settings->GetValue(L"Caption", kLocalizePath, _variant_t(L""))));
    if (text.IsEmpty())
        return IDCANCEL;
    return MessageBoxW(owner, text.GetString(), title.GetString(), flags);
}

int MessageBoxById(const wchar_t* id, HWND owner, UINT flags)
{
    return ShowMessageBox(owner, LoadMessage(id), flags);
}

CString LoadMessageReplace(const wchar_t* id, const wchar_t* oldText, const wchar_t* newText)
{
    CString text = LoadMessage(id);
    if (oldText != nullptr && newText != nullptr && oldText[0] != L'\0')
        text.Replace(oldText, newText);
    return text;
}

} // namespace Config
} // namespace Common
