// The install-script interpreter: walks the nodes of a script and runs each
// node's handler.
#include "setup/engine/InstallManager.h"

#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/InstallAbort.h"

#include <iterator>

namespace {

using Common::Config::CXMLElement;

typedef void (*NodeHandler)(CInstallManager& manager, const CXMLElement& node);

CString Text(const _bstr_t& text)
{
    return CString(static_cast<const wchar_t*>(text));
}

// A registry node never stops a script, not even for a Remove that is no
// boolean.
void RegistryNode(CInstallManager&, const CXMLElement& node)
{
    bool remove = false;
    try {
        remove = GetNodeBool(node, L"Remove", false);
    } catch (const _com_error& e) {
        SetupTrace(L"Registry node: Remove is not a boolean (%#010x): %s", static_cast<unsigned>(e.Error()),
                   Text(node.GetXML()).GetString());
        return;
    }
    if (remove)
        RemoveRegEntry(node);
    else
        AddRegEntry(node);
}

void FilesNode(CInstallManager& manager, const CXMLElement& node)
{
    if (GetNodeBool(node, L"Install", true)) {
        if (!manager.CopyFiles())
            Common::Tools::ThrowComError(E_FAIL);
    } else {
        manager.RemoveFiles();
    }
}

void ClearUninstallNode(CInstallManager& manager, const CXMLElement&)
{
    manager.ClearInstallInfo();
    manager.RemoveSelf();
    manager.AddRebootRequiredMarker();
}

// Keywords in the order they are tried; the first whose name matches runs.
const struct
{
    const wchar_t* keyword;
    NodeHandler handler;
} kKeywords[] = {
    {L"Exec", [](CInstallManager& manager, const CXMLElement& node) { manager.Exec(node); }},
    {L"HKLM", &RegistryNode},
    {L"HKCU", &RegistryNode},
    {L"HKCR", &RegistryNode},
    // Packages spell it so; "Shortcut" matches nothing.
    {L"Shorcut", [](CInstallManager& manager, const CXMLElement& node) { manager.CreateShortcut(node); }},
    {L"RemoveFolder", [](CInstallManager& manager, const CXMLElement& node) { manager.RemoveFolder(node); }},
    {L"RemoveFile", [](CInstallManager& manager, const CXMLElement& node) { manager.RemoveFile(node); }},
    {L"ChangeStatus", [](CInstallManager& manager, const CXMLElement& node) { manager.ChangeStatus(node); }},
    {L"Question", [](CInstallManager& manager, const CXMLElement& node) { manager.ShowMessageNode(node); }},
    {L"MessageBox", [](CInstallManager& manager, const CXMLElement& node) { manager.ShowMessageNode(node); }},
    {L"Printer",
     [](CInstallManager& manager, const CXMLElement& node) {
         GetNodeBool(node, L"Install", true) ? manager.InstallPrinter() : manager.UninstallPrinter();
     }},
    {L"Files", &FilesNode},
    {L"RegUninstaller", [](CInstallManager& manager, const CXMLElement&) { manager.RegisterUninstaller(); }},
    {L"ClearUninstall", &ClearUninstallNode},
    {L"Restart", [](CInstallManager& manager, const CXMLElement&) { manager.RestartSystem(); }},
    {L"Break", [](CInstallManager&, const CXMLElement&) { throw CInstallAbort(); }},
    {L"MoveFile", [](CInstallManager& manager, const CXMLElement& node) { manager.MoveFileW(node); }},
    {L"Call", [](CInstallManager& manager, const CXMLElement& node) { manager.Call(node); }},
    {L"RunDll", [](CInstallManager& manager, const CXMLElement& node) { manager.RunDll(node); }},
    {L"LockCheck", [](CInstallManager& manager, const CXMLElement&) { manager.LockCheck(); }},
    {L"SetCond", [](CInstallManager& manager, const CXMLElement& node) { manager.SetCond(node); }},
};

bool SameKeyword(const CString& name, const wchar_t* keyword)
{
    return ::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name, name.GetLength(), keyword, -1) ==
           CSTR_EQUAL;
}

// Counts the scripts running inside one another; one too many raises E_FAIL, so
// a script that calls itself ends instead of exhausting the stack.
class CScriptDepthGuard
{
public:
    explicit CScriptDepthGuard(int& depth) : m_nDepth(depth)
    {
        if (m_nDepth >= CInstallManager::kMaxScriptDepth) {
            SetupTrace(L"Scripts nested deeper than %d levels", CInstallManager::kMaxScriptDepth);
            Common::Tools::ThrowComError(CInstallManager::kScriptTooDeep);
        }
        ++m_nDepth;
    }
    ~CScriptDepthGuard() { --m_nDepth; }
    CScriptDepthGuard(const CScriptDepthGuard&) = delete;
    CScriptDepthGuard& operator=(const CScriptDepthGuard&) = delete;

private:
    int& m_nDepth;
};

} // namespace

const int CInstallManager::kMaxScriptDepth;
const HRESULT CInstallManager::kScriptTooDeep;

void CInstallManager::RunScriptAt(const wchar_t* xpath)
{
    if (xpath == nullptr || m_pSettings == nullptr || !NodeExists(xpath))
        return;
    Common::Config::CXMLNodeList nodes;
    m_pSettings->SelectNodes(_bstr_t(xpath) + L"/*", nodes);
    RunScript(nodes, true);
}

void CInstallManager::RunScript(const Common::Config::CXMLNodeList& nodes, bool resetCaption)
{
    CScriptDepthGuard depth(m_nScriptDepth);
    for (Common::Config::CXMLNodeListIterator it = nodes.Begin(); it != nodes.End(); ++it) {
        if (!it.IsElement())
            continue;
        const CString name = Text(it.GetNodeName());
        const CXMLElement node = *it;
        if (!CheckCondition(node, false))
            continue;
        for (const auto& entry : kKeywords) {
            if (!SameKeyword(name, entry.keyword))
                continue;
            entry.handler(*this, node);
            break;
        }
    }
    if (resetCaption)
        SetStepCaption(nullptr);
}

bool CInstallManager::CheckCondition(const Common::Config::CXMLElement& node, bool emptyIsFalseInConfig)
{
    m_SetupOptions.SetCondition(L"restart", m_bRestart);
    return m_SetupOptions.EvaluateCondition(GetRawAttribute(node, L"condition"), emptyIsFalseInConfig);
}

void CInstallManager::Call(const Common::Config::CXMLElement& node)
{
    try {
        const CString name = GetRawAttribute(node, L"Node");
        // Without a name the path would read "//Interface//*" and run every
        // element of the document as a node.
        if (name.IsEmpty())
            Common::Tools::ThrowComError(E_INVALIDARG);
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        Common::Config::CXMLNodeList nodes;
        m_pSettings->SelectNodes(_bstr_t(L"//Interface/") + _bstr_t(name.GetString()) + L"/*", nodes);
        RunScript(nodes, true);
    } catch (const _com_error&) {
        SetupTrace(L"Something wrong with node: %s", Text(node.GetXML()).GetString());
        throw;
    }
}

void CInstallManager::SetCond(const Common::Config::CXMLElement& node)
{
    const bool value = GetNodeBool(node, L"Value", true);
    m_SetupOptions.SetCondition(GetRawAttribute(node, L"condition"), value);
}
