#include "setup/engine/ConfigTools.h"

#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/tools.h"

namespace {

const UINT kButtonSetMask = 7;

// The answer a quiet run gives, or 0 when the box is to be shown.
int QuietAnswer(UINT flags)
{
    if (!g_CmdLine.m_bQuiet)
        return 0;
    return (flags & kButtonSetMask) != 0 ? IDYES : IDOK;
}

CString Text(const _variant_t& value)
{
    try {
        return static_cast<const wchar_t*>(_bstr_t(value));
    } catch (const _com_error&) {
        return CString();
    }
}

} // namespace

int ShowMessageById(HWND owner, const wchar_t* key, UINT flags)
{
    if (const int answer = QuietAnswer(flags))
        return answer;
    return Common::Config::MessageBoxById(key, owner, flags);
}

int ShowMessageByIdWith(HWND owner, const wchar_t* key, const wchar_t* placeholder, const wchar_t* replacement,
                        UINT flags)
{
    if (const int answer = QuietAnswer(flags))
        return answer;
    return Common::Config::ShowMessageBox(owner, Common::Config::LoadMessageReplace(key, placeholder, replacement),
                                          flags);
}

int ShowMessageText(HWND owner, const CString& text, UINT flags)
{
    if (const int answer = QuietAnswer(flags))
        return answer;
    return Common::Config::ShowMessageBox(owner, text, flags);
}

CString GetConfigValue(const wchar_t* attribute, const wchar_t* xpath)
{
    Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
    if (settings == nullptr || attribute == nullptr || xpath == nullptr)
        return CString();
    CString value = Text(settings->GetValue(attribute, xpath, _variant_t(L"")));
    ExpandVariables(value);
    return value;
}

CString GetNodeAttribute(const Common::Config::CXMLNodeListIterator& node, const wchar_t* name,
                         const wchar_t* defaultValue)
{
    CString value = Text(node.GetAttribute(name, _variant_t(defaultValue != nullptr ? defaultValue : L"")));
    ExpandVariables(value);
    return value;
}
