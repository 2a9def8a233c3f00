// The engine's message boxes and its readers of document values.
#include "setup/engine/ConfigTools.h"

#include "common/config/Localize.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "setup/engine/CmdLineHelper.h"
#include "setup/engine/VariableExpansion.h"

#include <shlwapi.h>

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

CString GetNodeAttribute(const Common::Config::CXMLElement& node, const wchar_t* name, const wchar_t* defaultValue)
{
    CString value = GetRawAttribute(node, name, defaultValue);
    ExpandVariables(value);
    return value;
}

CString GetRawAttribute(const Common::Config::CXMLElement& node, const wchar_t* name, const wchar_t* defaultValue)
{
    return Text(node.GetAttribute(name, _variant_t(defaultValue != nullptr ? defaultValue : L"")));
}

bool HasAttribute(const Common::Config::CXMLElement& node, const wchar_t* name)
{
    const _variant_t value = node.GetAttribute(name, _variant_t());
    return V_VT(&value) != VT_EMPTY;
}

CString GetEntryTargetName(const Common::Config::CXMLElement& file)
{
    const CString target = GetNodeAttribute(file, L"TargetFileName", L"");
    return !target.IsEmpty() ? target : CString(::PathFindFileNameW(GetNodeAttribute(file, L"FileName", L"")));
}

namespace {

_variant_t Converted(const _variant_t& value, VARTYPE type)
{
    _variant_t converted(value);
    if (V_VT(&converted) != type)
        converted.ChangeType(type);
    return converted;
}

_variant_t ConfigValue(const wchar_t* attribute, const wchar_t* xpath, const _variant_t& defaultValue)
{
    Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
    if (settings == nullptr)
        Common::Tools::ThrowComError(E_FAIL);
    return settings->GetValue(attribute, xpath, defaultValue);
}

} // namespace

bool VariantToBool(const _variant_t& value)
{
    const _variant_t converted = Converted(value, VT_BOOL);
    return V_BOOL(&converted) != VARIANT_FALSE;
}

long VariantToLong(const _variant_t& value)
{
    const _variant_t converted = Converted(value, VT_I4);
    return V_I4(&converted);
}

DWORD VariantToDword(const _variant_t& value)
{
    const _variant_t converted = Converted(value, VT_UI4);
    return V_UI4(&converted);
}

double VariantToDouble(const _variant_t& value)
{
    const _variant_t converted = Converted(value, VT_R8);
    return V_R8(&converted);
}

bool GetNodeBool(const Common::Config::CXMLElement& node, const wchar_t* name, bool defaultValue)
{
    return VariantToBool(node.GetAttribute(name, _variant_t(defaultValue)));
}

long GetNodeLong(const Common::Config::CXMLElement& node, const wchar_t* name, long defaultValue)
{
    return VariantToLong(node.GetAttribute(name, _variant_t(defaultValue)));
}

bool GetConfigBool(const wchar_t* attribute, const wchar_t* xpath, bool defaultValue)
{
    return VariantToBool(ConfigValue(attribute, xpath, _variant_t(defaultValue)));
}

double GetConfigDouble(const wchar_t* attribute, const wchar_t* xpath, double defaultValue)
{
    return VariantToDouble(ConfigValue(attribute, xpath, _variant_t(defaultValue)));
}
