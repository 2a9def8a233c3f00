// Registry values set for a test and restored after.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace TestSupport {

// Registry views named from the point of view of the running test program.
REGSAM OwnRegistryView();
REGSAM OtherRegistryView();

// Sets (or removes) one registry value for the lifetime of the object and puts
// back what was there before: tests in a shared prefix leave no trace.
class CRegistryValueScope
{
public:
    // Removes the value.
    CRegistryValueScope(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view);
    CRegistryValueScope(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view,
                        DWORD type, const void* data, DWORD size);
    ~CRegistryValueScope();
    CRegistryValueScope(const CRegistryValueScope&) = delete;
    CRegistryValueScope& operator=(const CRegistryValueScope&) = delete;

    static CRegistryValueScope Dword(HKEY root, const std::wstring& keyPath, const std::wstring& name,
                                     REGSAM view, DWORD value);

    bool Succeeded() const { return m_bSucceeded; }

private:
    void Save();

    HKEY m_root;
    std::wstring m_keyPath;
    std::wstring m_name;
    REGSAM m_view;
    bool m_bHadValue = false;
    DWORD m_nOldType = 0;
    std::vector<BYTE> m_oldData;
    bool m_bSucceeded = false;
};

// Writes a value for good (end-to-end tests in their own prefix).
bool SetRegistryValue(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view, DWORD type,
                      const void* data, DWORD size);
bool SetRegistryDword(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view, DWORD value);
bool SetRegistryString(HKEY root, const std::wstring& keyPath, const std::wstring& name, REGSAM view,
                       const std::wstring& value);

} // namespace TestSupport
