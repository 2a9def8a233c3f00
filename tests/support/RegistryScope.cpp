// Registry values set for a test and restored after.
#include "tests/support/RegistryScope.h"

namespace TestSupport {

REGSAM OwnRegistryView()
{
    return sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

REGSAM OtherRegistryView()
{
    return sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool SetRegistryValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view, DWORD type,
                      const void* data, DWORD size)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(root, keyPath.c_str(), 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok =
        RegSetValueExW(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}

bool SetRegistryDword(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view, DWORD value)
{
    return SetRegistryValue(root, keyPath, name, view, REG_DWORD, &value, sizeof(value));
}

bool SetRegistryString(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view,
                       const std::wstring& value)
{
    return SetRegistryValue(root, keyPath, name, view, REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}

CRegistryValueScope::CRegistryValueScope(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                                         REGSAM view)
    : m_root(root), m_keyPath(keyPath), m_name(name), m_view(view)
{
    Save();
    HKEY key = nullptr;
    const LONG opened = RegOpenKeyExW(root, keyPath.c_str(), 0, KEY_SET_VALUE | view, &key);
    if (opened == ERROR_FILE_NOT_FOUND) {
        m_bSucceeded = true;
        return;
    }
    if (opened != ERROR_SUCCESS)
        return;
    const LONG deleted = RegDeleteValueW(key, name.c_str());
    m_bSucceeded = deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
    RegCloseKey(key);
}

CRegistryValueScope::CRegistryValueScope(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                                         REGSAM view, DWORD type, const void* data, DWORD size)
    : m_root(root), m_keyPath(keyPath), m_name(name), m_view(view)
{
    Save();
    m_bSucceeded = SetRegistryValue(root, keyPath, name, view, type, data, size);
}

CRegistryValueScope CRegistryValueScope::Dword(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                                               REGSAM view, DWORD value)
{
    return CRegistryValueScope(root, keyPath, name, view, REG_DWORD, &value, sizeof(value));
}

void CRegistryValueScope::Save()
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_root, m_keyPath.c_str(), 0, KEY_QUERY_VALUE | m_view, &key) != ERROR_SUCCESS)
        return;
    DWORD size = 0;
    if (RegQueryValueExW(key, m_name.c_str(), nullptr, &m_nOldType, nullptr, &size) == ERROR_SUCCESS) {
        m_oldData.resize(size);
        if (RegQueryValueExW(key, m_name.c_str(), nullptr, &m_nOldType, m_oldData.empty() ? nullptr : &m_oldData[0],
                             &size) == ERROR_SUCCESS)
            m_bHadValue = true;
    }
    RegCloseKey(key);
}

CRegistryValueScope::~CRegistryValueScope()
{
    if (m_bHadValue) {
        SetRegistryValue(m_root, m_keyPath, m_name, m_view, m_nOldType, m_oldData.empty() ? nullptr : &m_oldData[0],
                         static_cast<DWORD>(m_oldData.size()));
        return;
    }
    HKEY key = nullptr;
    if (RegOpenKeyExW(m_root, m_keyPath.c_str(), 0, KEY_SET_VALUE | m_view, &key) == ERROR_SUCCESS) {
        RegDeleteValueW(key, m_name.c_str());
        RegCloseKey(key);
    }
}

} // namespace TestSupport
