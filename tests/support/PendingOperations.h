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

// A stored path without the "\??\" prefix and the "!" replace mark.
inline std::wstring PendingPathOf(std::wstring text)
{
    if (!text.empty() && text[0] == L'!')
        text.erase(0, 1);
    if (text.compare(0, 4, L"\\??\\") == 0)
        text.erase(0, 4);
    return text;
}

// The paths waiting for deletion at the restart, in the order they were asked for.
inline std::vector<std::wstring> PendingDeletionPaths()
{
    std::vector<std::wstring> paths;
    const std::vector<std::wstring> texts = PendingFileOperationTexts();
    for (size_t i = 0; i + 1 < texts.size(); i += 2) {
        if (!texts[i].empty() && texts[i + 1].empty())
            paths.push_back(PendingPathOf(texts[i]));
    }
    return paths;
}

// Every path that waits for the restart: deletions, rename sources and targets.
inline std::vector<std::wstring> PendingFilePaths()
{
    std::vector<std::wstring> paths;
    for (const std::wstring& text : PendingFileOperationTexts())
        if (!text.empty())
            paths.push_back(PendingPathOf(text));
    return paths;
}

} // namespace TestSupport
