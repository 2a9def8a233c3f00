// Registry nodes of the scripts, the update-package association and the version
// values of an update.
#include "setup/engine/InstallManager.h"

#include "common/config/DocumentPaths.h"
#include "common/config/XMLDocument.h"
#include "common/config/XMLElement.h"
#include "common/tools/ComError.h"
#include "common/tools/PathTools.h"
#include "common/tools/RegKey.h"
#include "common/tools/RegKeyTree.h"
#include "common/tools/SetupTrace.h"
#include "setup/engine/ConfigTools.h"
#include "setup/engine/UninstallKeys.h"

#include <shlobj.h>

#include <cwchar>

namespace {

using Common::Config::CXMLElement;
using Common::Tools::CRegKey;
using Common::Tools::EKeyTreeResult;

// No view flag: a 32-bit setup writes the 32-bit view as Windows redirects it.
const REGSAM kAccess = KEY_READ | KEY_WRITE;


CString NodeName(const CXMLElement& node)
{
    return CString(static_cast<const wchar_t*>(node.GetName()));
}

// A key path that names no key below the root ("", "\", blanks): acting on it
// would act on the whole root.
bool NamesNoKey(const CString& path)
{
    CString rest(path);
    rest.Trim(L" \\");
    return rest.IsEmpty();
}

// "0x" followed by hexadecimal digits; anything else gives 0.
DWORD ParseHexValue(const CString& text)
{
    unsigned int value = 0;
    if (::swscanf(text.GetString(), L"0x%x", &value) != 1)
        return 0;
    return value;
}

LONG SetString(HKEY key, const wchar_t* name, const CString& text)
{
    // The terminating NUL is part of the stored size, as readers expect.
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.GetString()),
                            static_cast<DWORD>((text.GetLength() + 1) * sizeof(wchar_t)));
}

LONG SetDword(HKEY key, const wchar_t* name, DWORD value)
{
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

void DeleteClassesRootTree(const CString& path)
{
    if (NamesNoKey(path))
        Common::Tools::ThrowComError(E_FAIL);
    const Common::Tools::SKeyTreeDeletion deletion = Common::Tools::DeleteKeyTree(HKEY_CLASSES_ROOT, path, kAccess);
    if (deletion.result == EKeyTreeResult::Refused)
        SetupTrace(L"Refused to remove the shared key 'HKCR\\%s'", path.GetString());
    else if (deletion.result == EKeyTreeResult::Stopped)
        SetupTrace(L"Removal of 'HKCR\\%s' stopped part-way (error %ld)", path.GetString(), deletion.error);
    if (deletion.result != EKeyTreeResult::Deleted)
        Common::Tools::ThrowComError(E_FAIL);
}

} // namespace

HKEY RootKeyFromName(const CString& name)
{
    const struct {
        const wchar_t* name;
        HKEY root;
    } roots[] = {
        {L"HKCR", HKEY_CLASSES_ROOT},
        {L"HKCU", HKEY_CURRENT_USER},
        {L"HKLM", HKEY_LOCAL_MACHINE},
    };
    for (const auto& entry : roots) {
        if (::CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, name, name.GetLength(), entry.name, -1) ==
            CSTR_EQUAL)
            return entry.root;
    }
    return nullptr;
}

void AddRegEntry(const CXMLElement& node)
{
    try {
        const CString rootName = NodeName(node);
        const CString keyName = GetNodeAttribute(node, L"KeyName", L"");
        const CString valueName = GetNodeAttribute(node, L"ValueName", L"");
        const bool isDword = HasAttribute(node, L"HexValue");
        const DWORD number = isDword ? ParseHexValue(GetNodeAttribute(node, L"HexValue", L"")) : 0;
        const CString text = GetNodeAttribute(node, L"TextValue", L"");
        const CString display = rootName + L"\\" + keyName;

        const HKEY root = RootKeyFromName(rootName);
        if (root == nullptr) {
            SetupTrace(L"AddRegEntry: Unknown root of '%s'", display.GetString());
            return;
        }
        CRegKey key;
        if (key.Create(root, keyName, kAccess) != ERROR_SUCCESS) {
            SetupTrace(L"AddRegEntry: Can't create\\open key '%s'", display.GetString());
            return;
        }
        if (isDword) {
            const LONG result = SetDword(key.Get(), valueName, number);
            SetupTrace(L"AddRegEntry: %s, Add '%s=%X' to node '%s'", SucceededText(result == ERROR_SUCCESS).GetString(),
                       valueName.GetString(), number, display.GetString());
        } else {
            const LONG result = SetString(key.Get(), valueName, text);
            SetupTrace(L"AddRegEntry: %s, Add '%s=%s' to node '%s'", SucceededText(result == ERROR_SUCCESS).GetString(),
                       valueName.GetString(), text.GetString(), display.GetString());
        }
    } catch (const _com_error& e) {
        SetupTrace(L"AddRegEntry: failed %#010x", static_cast<unsigned>(e.Error()));
    }
}

void RemoveRegEntry(const CXMLElement& node)
{
    try {
        const CString rootName = NodeName(node);
        const CString keyName = GetNodeAttribute(node, L"KeyName", L"");
        const bool wholeKey = !HasAttribute(node, L"ValueName");
        const CString display = rootName + L"\\" + keyName;

        const HKEY root = RootKeyFromName(rootName);
        if (root == nullptr) {
            SetupTrace(L"RemoveRegEntry: Unknown root of '%s'", display.GetString());
            return;
        }
        // An empty path opens the root itself: a removal there would take a
        // value or a whole hive that no package owns.
        if (NamesNoKey(keyName)) {
            SetupTrace(L"RemoveRegEntry: Refused to remove from the root '%s'", display.GetString());
            return;
        }
        if (wholeKey) {
            // Opens, refuses a shared key and deletes in one place.
            const Common::Tools::SKeyTreeDeletion deletion = Common::Tools::DeleteKeyTree(root, keyName, kAccess);
            switch (deletion.result) {
            case EKeyTreeResult::Refused:
                SetupTrace(L"RemoveRegEntry: Refused to remove the shared key '%s'", display.GetString());
                break;
            case EKeyTreeResult::NotOpened:
                SetupTrace(L"RemoveRegEntry: Can't open key '%s'", display.GetString());
                break;
            case EKeyTreeResult::Stopped:
                SetupTrace(L"RemoveRegEntry: stopped part-way (error %ld), Remove entire node '%s' is incomplete",
                           deletion.error, display.GetString());
                break;
            default:
                SetupTrace(L"RemoveRegEntry: %s, Remove entire node '%s'",
                           SucceededText(deletion.result == EKeyTreeResult::Deleted).GetString(), display.GetString());
                break;
            }
            return;
        }
        CRegKey key;
        if (key.Open(root, keyName, kAccess) != ERROR_SUCCESS) {
            SetupTrace(L"RemoveRegEntry: Can't open key '%s'", display.GetString());
            return;
        }
        const CString valueName = GetNodeAttribute(node, L"ValueName", L"");
        const LONG result = ::RegDeleteValueW(key.Get(), valueName);
        SetupTrace(L"RemoveRegEntry: %s, Remove value '%s' from node '%s'",
                   SucceededText(result == ERROR_SUCCESS).GetString(), valueName.GetString(), display.GetString());
    } catch (const _com_error& e) {
        SetupTrace(L"RemoveRegEntry: failed %#010x", static_cast<unsigned>(e.Error()));
    }
}

void SetClassesRootValue(const CString& subKey, const CString& text)
{
    if (NamesNoKey(subKey))
        Common::Tools::ThrowComError(E_FAIL);
    CRegKey key;
    if (key.Create(HKEY_CLASSES_ROOT, subKey, kAccess) != ERROR_SUCCESS)
        Common::Tools::ThrowComError(E_FAIL);
    if (SetString(key.Get(), nullptr, text) != ERROR_SUCCESS)
        Common::Tools::ThrowComError(E_FAIL);
}

void CInstallManager::AssociateUpdatePackages(bool add, const CString& programPath)
{
    CString ext;
    try {
        ext = GetConfigValue(L"UpdateExt", Common::Config::kInstallInfoPath);
        const CString alias = GetConfigValue(L"UpdateAlias", Common::Config::kInstallInfoPath);
        if (NamesNoKey(ext) || NamesNoKey(alias))
            return;
        if (ext[0] != L'.')
            ext.Insert(0, L'.');
        if (add) {
            CString exe(programPath);
            QuotePath(exe);
            SetClassesRootValue(alias, GetConfigValue(L"CaptionUpdDsc", Common::Config::kInstallInfoPath));
            SetClassesRootValue(alias + L"\\shell\\open\\command", exe + L" /i \"%1\"");
            SetClassesRootValue(alias + L"\\DefaultIcon", exe + L",0");
            SetClassesRootValue(ext, alias);
            ::SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
        } else {
            DeleteClassesRootTree(alias);
            DeleteClassesRootTree(ext);
        }
    } catch (const _com_error&) {
        SetupTrace(L"Can't associate update packages with extension '%s'. Module: '%s'", ext.GetString(),
                   programPath.GetString());
    }
}

void CInstallManager::UpdateVersionInfo()
{
    if (!m_bUpdateMode)
        return;
    SETUP_TRACE_ENTRY("InstallManager", "CInstallManager::UpdateVersionInfo");
    try {
        if (m_pSettings == nullptr)
            Common::Tools::ThrowComError(E_FAIL);
        CXMLElement info;
        m_pSettings->GetElement(Common::Config::kInstallInfoPath, info);
        const CString product = GetNodeAttribute(info, L"ProductID", L"");
        // Without a product the values would land in the Uninstall key itself.
        if (NamesNoKey(product))
            Common::Tools::ThrowComError(E_INVALIDARG);
        CRegKey key;
        if (key.Create(HKEY_LOCAL_MACHINE, CString(kUninstallKey) + L"\\" + product, kAccess) != ERROR_SUCCESS)
            return;
        SetDword(key.Get(), kVersionMinorValue, static_cast<DWORD>(GetNodeLong(info, L"VersionMinor", 0)));
        SetDword(key.Get(), kVersionMajorValue, static_cast<DWORD>(GetNodeLong(info, L"VersionMajor", 0)));
        SetString(key.Get(), kDisplayVersionValue, GetNodeAttribute(info, L"DisplayVersion", L""));
    } catch (const _com_error&) {
        SetupTrace(L"UpdateVersionInfo: failed");
    }
}
