// Helpers of the removal and uninstall tests.
#pragma once
// What the removal and uninstall tests read back: files and folders, the deletions
// waiting for the restart, and trace lines.
#include "tests/support/PendingOperations.h"
#include "tests/support/Narrow.h"
#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace RemovalTest {

const wchar_t kSessionManager[] = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingRenames[] = L"PendingFileRenameOperations";

inline bool Exists(const std::wstring& path)
{
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

inline bool SamePath(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1) == CSTR_EQUAL;
}

// The paths waiting for deletion at the restart, in the order they were asked for.
inline std::vector<std::wstring> PendingDeletions()
{
    return TestSupport::PendingDeletionPaths();
}

inline bool IsPending(const std::wstring& path)
{
    const std::vector<std::wstring> pending = PendingDeletions();
    return std::any_of(pending.begin(), pending.end(), [&](const std::wstring& p) { return SamePath(p, path); });
}

// Position of the path among the pending deletions; -1 when it is not there.
inline int PendingIndex(const std::wstring& path)
{
    const std::vector<std::wstring> pending = PendingDeletions();
    for (size_t i = 0; i < pending.size(); ++i)
        if (SamePath(pending[i], path))
            return static_cast<int>(i);
    return -1;
}

// The pending deletions are exactly these, in this order.
inline ::testing::AssertionResult PendingAre(const std::vector<std::wstring>& expected)
{
    const std::vector<std::wstring> pending = PendingDeletions();
    bool same = pending.size() == expected.size();
    for (size_t i = 0; same && i < pending.size(); ++i)
        same = SamePath(pending[i], expected[i]);
    if (same)
        return ::testing::AssertionSuccess();
    std::string text = "pending:";
    for (const std::wstring& path : pending)
        text += " '" + TestSupport::Narrow(path) + "'";
    return ::testing::AssertionFailure() << text;
}

// Forgets every deletion waiting for the restart (inside a CPendingScope, which
// puts the value back).
inline void ForgetPendingDeletions()
{
    HKEY key = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE | TestSupport::OwnRegistryView(),
                        &key) != ERROR_SUCCESS)
        return;
    ::RegDeleteValueW(key, kPendingRenames);
    ::RegCloseKey(key);
}

// The deletions of one test alone: the value is put back as it was.
class CPendingScope
{
public:
    CPendingScope()
        : m_scope(HKEY_LOCAL_MACHINE, kSessionManager, kPendingRenames, TestSupport::OwnRegistryView())
    {
    }
    bool Succeeded() const { return m_scope.Succeeded(); }

private:
    TestSupport::CRegistryValueScope m_scope;
};

// Opens a file shared with nobody, so that it cannot be deleted meanwhile.
class CHeldFile
{
public:
    explicit CHeldFile(const std::wstring& path)
        : m_hFile(::CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr))
    {
    }
    ~CHeldFile()
    {
        if (m_hFile != INVALID_HANDLE_VALUE)
            ::CloseHandle(m_hFile);
    }
    CHeldFile(const CHeldFile&) = delete;
    CHeldFile& operator=(const CHeldFile&) = delete;
    bool IsHeld() const { return m_hFile != INVALID_HANDLE_VALUE; }

private:
    HANDLE m_hFile;
};

inline bool HasLine(const std::vector<std::string>& lines, const std::string& line)
{
    return std::find(lines.begin(), lines.end(), "Setup: " + line) != lines.end();
}

inline bool HasLineStarting(const std::vector<std::string>& lines, const std::string& start)
{
    return std::any_of(lines.begin(), lines.end(),
                       [&](const std::string& line) { return line.compare(0, start.size() + 7, "Setup: " + start) == 0; });
}

inline std::string Joined(const std::vector<std::string>& lines)
{
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

inline std::string N(const std::wstring& text)
{
    return TestSupport::Narrow(text);
}

} // namespace RemovalTest
