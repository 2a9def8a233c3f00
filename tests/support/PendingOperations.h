// Reads the file operations that wait for the next restart.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

// The texts of the file operations that wait for the next restart, in their
// order: source and destination alternate ("\??\" prefix and the "!" replace
// mark as stored; an empty destination means deletion).
inline std::vector<std::wstring> PendingFileOperationTexts()
{
    std::vector<std::wstring> texts;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                        KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return texts;
    DWORD size = 0;
    std::vector<wchar_t> data;
    if (::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS &&
        size > 0) {
        data.resize(size / sizeof(wchar_t) + 2);
        ::RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                           &size);
    }
    ::RegCloseKey(key);
    for (size_t at = 0; at < data.size();) {
        const std::wstring text(&data[at]);
        texts.push_back(text);
        at += text.size() + 1;
    }
    return texts;
}

} // namespace TestSupport
