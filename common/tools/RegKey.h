// Owns an open registry key.
#pragma once

#include <windows.h>

namespace Common {
namespace Tools {

// Owns an open registry key. Only a key that really opened is held, so a failed
// open or create never leads to a close of whatever the out slot held.
class CRegKey
{
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    // Creates the key when missing (non-volatile, default security).
    LONG Create(HKEY root, const wchar_t* path, REGSAM access)
    {
        Close();
        HKEY key = nullptr;
        const LONG result = ::RegCreateKeyExW(root, path != nullptr ? path : L"", 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              access, nullptr, &key, nullptr);
        if (result == ERROR_SUCCESS)
            m_hKey = key;
        return result;
    }

    LONG Open(HKEY root, const wchar_t* path, REGSAM access)
    {
        Close();
        HKEY key = nullptr;
        const LONG result = ::RegOpenKeyExW(root, path != nullptr ? path : L"", 0, access, &key);
        if (result == ERROR_SUCCESS)
            m_hKey = key;
        return result;
    }

    void Close()
    {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

    HKEY Get() const { return m_hKey; }
    bool IsOpen() const { return m_hKey != nullptr; }

private:
    HKEY m_hKey = nullptr;
};

} // namespace Tools
} // namespace Common
