// The condition store: components and conditions, and the components file.
#include "setup/engine/SetupOptions.h"

#include "common/config/DocumentPaths.h"
#include "common/config/SetupConfig.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/VariableExpansion.h"

#include <vector>

using Common::Config::CXMLElement;
using Common::Config::CXMLNodeList;
using Common::Config::CXMLNodeListIterator;
using Common::Tools::ThrowComError;

namespace {

const wchar_t kFreshComponentsFile[] = L"<?xml version=\"1.0\" encoding=\"UTF-8\"?><Components/>";
// Only a document whose root is the components element is ours to rewrite.
const wchar_t kComponentsRoot[] = L"/Components";
const wchar_t kComponentsList[] = L"//Components";
const wchar_t kAddList[] = L"//C/AddComponents";
const wchar_t kRemoveList[] = L"//C/RemoveComponents";

CString Text(const _variant_t& value)
{
    _variant_t text(value);
    if (V_VT(&text) != VT_BSTR)
        text.ChangeType(VT_BSTR);
    return CString(V_BSTR(&text), static_cast<int>(SysStringLen(V_BSTR(&text))));
}

// The OLE Automation reading: true or false in any case, or a number. A text that
// does not convert raises the conversion's _com_error.
bool Boolean(const _variant_t& value)
{
    _variant_t converted(value);
    if (V_VT(&converted) != VT_BOOL)
        converted.ChangeType(VT_BOOL);
    return V_BOOL(&converted) != VARIANT_FALSE;
}

std::vector<CString> SplitAtBlanks(const CString& text)
{
    std::vector<CString> tokens;
    const std::wstring& chars = text.Str();
    size_t start = 0;
    while (start < chars.size()) {
        const size_t end = chars.find(L' ', start);
        const size_t stop = end == std::wstring::npos ? chars.size() : end;
        if (stop > start)
            tokens.emplace_back(chars.substr(start, stop - start));
        start = stop + 1;
    }
    return tokens;
}

void TraceFailure(const wchar_t* operation, const CString& path, const _com_error& error)
{
    SetupTrace(L"CSetupOptions::%s() - \"%s\" failed: 0x%08X", operation, path.GetString(),
               static_cast<unsigned>(error.Error()));
}

} // namespace

bool CConditionNameLess::operator()(const CString& first, const CString& second) const
{
    const int order = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, first, first.GetLength(), second,
                                     second.GetLength());
    if (order == 0)
        return _wcsicmp(first, second) < 0;
    return order == CSTR_LESS_THAN;
}

bool CSetupOptions::EvaluateCondition(const CString& text, bool emptyIsFalseInConfig) const
{
    if (text.IsEmpty())
        return !(emptyIsFalseInConfig && m_bConfigMode);

    bool result = true;
    const std::vector<CString> tokens = SplitAtBlanks(text);
    for (size_t i = 0; i < tokens.size(); ++i) {
        bool isOr = false;
        if (tokens[i] == L"|" || tokens[i] == L"&") {
            isOr = tokens[i] == L"|";
            if (++i == tokens.size())
                break; // a trailing joiner joins nothing
        }
        CString term = tokens[i];
        term.MakeLower();
        bool negate = false;
        if (term.Left(2) == L"no") {
            negate = true;
            term = term.Mid(2);
        } else if (term.Left(1) == L"!") {
            negate = true;
            term = term.Mid(1);
        }
        const ConditionMap::const_iterator found = m_Conditions.find(term);
        if (found == m_Conditions.end())
            continue;
        const bool value = found->second != negate;
        result = isOr ? (result || value) : (result && value);
    }
    return result;
}

void CSetupOptions::SetCondition(const CString& name, bool value)
{
    if (!name.IsEmpty())
        m_Conditions[name] = value;
}

void CSetupOptions::InitPath()
{
    try {
        Common::Config::IXMLSettings* settings = Common::Config::GetSetupConfig().GetSettings();
        if (settings == nullptr)
            ThrowComError(E_POINTER);
        CXMLElement info;
        settings->GetElement(Common::Config::kInstallInfoPath, info);
        CString product = Text(info.GetAttribute(L"ProductID", _variant_t(L"")));
        CString folder = Text(info.GetAttribute(L"UninstallPath", _variant_t(L"")));
        ExpandVariables(product);
        ExpandVariables(folder);
        CString name;
        name.Format(L"\\%s.cfg", product.GetString());
        m_strPath = folder + name;
    } catch (const _com_error&) {
        // No install information: no components file.
    }
}

bool CSetupOptions::Load()
{
    SETUP_TRACE_ENTRY("SetupOptions", "CSetupOptions::Load");
    try {
        ReadList(m_strPath, kComponentsList, m_Conditions);
        return true;
    } catch (const _com_error& error) {
        TraceFailure(L"Load", m_strPath, error);
        return false;
    }
}

bool CSetupOptions::Save()
{
    SETUP_TRACE_ENTRY("SetupOptions", "CSetupOptions::Save");
    try {
        if (m_strPath.IsEmpty())
            ThrowComError(E_INVALIDARG);
        Common::Config::CXMLWritableSettings document;
        try {
            document.Load(m_strPath.GetString(), true);
        } catch (const _com_error&) {
            // No file yet, or one that is not XML at all: start afresh.
            document.Load(kFreshComponentsFile, false);
        }
        // An XML file of someone else's fails here, before anything changes.
        CXMLElement components;
        document.GetElement(kComponentsRoot, components);
        components.RemoveChildren();
        for (const ConditionMap::value_type& entry : m_Conditions) {
            CXMLElement item = components.AppendElement(L"item");
            item.SetAttribute(L"Name", _variant_t(entry.first.GetString()));
            item.SetAttribute(L"Value", _variant_t(entry.second));
        }
        document.SaveAs(m_strPath.GetString());
        return true;
    } catch (const _com_error& error) {
        TraceFailure(L"Save", m_strPath, error);
        return false;
    }
}

bool CSetupOptions::LoadConfigList(const CString& path, bool add)
{
    SETUP_TRACE_ENTRY("SetupOptions", "CSetupOptions::LoadConfigList");
    try {
        ConditionMap& list = add ? m_AddList : m_RemoveList;
        ReadList(path, add ? kAddList : kRemoveList, list);
        m_Conditions = list;
        return true;
    } catch (const _com_error& error) {
        TraceFailure(L"LoadConfigList", path, error);
        return false;
    }
}

void CSetupOptions::ApplyList(bool add)
{
    const ConditionMap& list = add ? m_AddList : m_RemoveList;
    for (const ConditionMap::value_type& entry : list) {
        if (!entry.second)
            continue;
        // The Add script may have vetoed the addition through the store.
        m_Selection[entry.first] = add ? m_Conditions[entry.first] : false;
    }
}

void CSetupOptions::ReadList(const CString& path, const CString& xpath, ConditionMap& target)
{
    if (path.IsEmpty())
        ThrowComError(E_INVALIDARG);
    Common::Config::CXMLSettings document;
    document.Load(path.GetString(), true);
    CXMLNodeList items;
    document.SelectNodes((xpath + L"/*").GetString(), items);

    m_Conditions.clear();
    for (CXMLNodeListIterator it = items.Begin(); it != items.End(); ++it) {
        const CString name = Text(it.GetAttribute(L"Name", _variant_t(L"0")));
        target[name] = Boolean(it.GetAttribute(L"Value", _variant_t(false)));
    }
}
