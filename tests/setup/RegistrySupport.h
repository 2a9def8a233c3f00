// Registry set-ups of the removal tests: a tree whose removal stops part-way, and
// a predefined root pointed at a scratch key.
#pragma once

#include "tests/support/RegistryScope.h"

#include <gtest/gtest.h>
#include <shlwapi.h>
#include <windows.h>

#include <initializer_list>
#include <memory>
#include <string>

namespace TestSupport {

// A subkey that cannot be opened: a registry link to a key that does not exist.
class CDanglingLink
{
public:
    CDanglingLink(HKEY parent, const wchar_t* name) : m_parent(parent), m_name(name)
    {
        HKEY link = nullptr;
        if (RegCreateKeyExW(parent, name, 0, nullptr, REG_OPTION_VOLATILE | REG_OPTION_CREATE_LINK,
                            KEY_ALL_ACCESS | KEY_CREATE_LINK, nullptr, &link, nullptr) != ERROR_SUCCESS)
            return;
        const std::wstring target = L"\\Registry\\Machine\\Software\\QuorvantTestsNowhere\\Missing";
        m_bMade = RegSetValueExW(link, L"SymbolicLinkValue", 0, REG_LINK, reinterpret_cast<const BYTE*>(target.c_str()),
                                 static_cast<DWORD>(target.size() * sizeof(wchar_t))) == ERROR_SUCCESS;
        RegCloseKey(link);
    }
    ~CDanglingLink()
    {
        typedef LONG(WINAPI * NtDeleteKeyFn)(HANDLE);
        auto deleteKey = reinterpret_cast<NtDeleteKeyFn>(
            reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll"), "NtDeleteKey")));
        HKEY link = nullptr;
        if (deleteKey != nullptr &&
            RegOpenKeyExW(m_parent, m_name, REG_OPTION_OPEN_LINK, DELETE, &link) == ERROR_SUCCESS) {
            deleteKey(link);
            RegCloseKey(link);
        }
    }
    CDanglingLink(const CDanglingLink&) = delete;
    CDanglingLink& operator=(const CDanglingLink&) = delete;

    // Made, and cannot be opened.
    bool Usable() const
    {
        HKEY key = nullptr;
        if (!m_bMade || RegOpenKeyExW(m_parent, m_name, 0, KEY_READ, &key) != ERROR_FILE_NOT_FOUND) {
            if (key != nullptr)
                RegCloseKey(key);
            return false;
        }
        wchar_t name[256] = {};
        DWORD length = 256;
        return RegEnumKeyExW(m_parent, 0, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

private:
    HKEY m_parent;
    const wchar_t* m_name;
    bool m_bMade = false;
};

// The tree at root\tree with the given subkeys (each "\name"), and below "\a" a
// link that no removal can get past. No view flag, as setup opens its keys: a
// flag would take HKEY_CLASSES_ROOT past an override of it.
class CTreeStoppedByLink
{
public:
    CTreeStoppedByLink(HKEY root, const std::wstring& tree, std::initializer_list<const wchar_t*> subkeys)
        : m_tree(tree)
    {
        for (const wchar_t* sub : subkeys)
            EXPECT_TRUE(SetRegistryString(root, m_tree + sub, L"v", 0, L"x"));
        EXPECT_EQ(ERROR_SUCCESS, RegOpenKeyExW(root, (m_tree + L"\\a").c_str(), 0, KEY_ALL_ACCESS, &m_a));
        if (m_a != nullptr)
            m_link.reset(new CDanglingLink(m_a, L"dangling"));
    }
    ~CTreeStoppedByLink()
    {
        m_link.reset();
        if (m_a != nullptr)
            RegCloseKey(m_a);
    }
    CTreeStoppedByLink(const CTreeStoppedByLink&) = delete;
    CTreeStoppedByLink& operator=(const CTreeStoppedByLink&) = delete;

    bool Usable() const { return m_link && m_link->Usable(); }
    const std::wstring& Tree() const { return m_tree; }

private:
    std::wstring m_tree;
    HKEY m_a = nullptr;
    std::unique_ptr<CDanglingLink> m_link;
};

// Points a predefined root of this process at a scratch key below
// HKEY_CURRENT_USER, so that a removal that should be refused can only ever reach
// copies of the shared keys.
class CRootOverride
{
public:
    CRootOverride(HKEY root, const std::wstring& scratch) : m_root(root), m_scratch(scratch)
    {
        SHDeleteKeyW(HKEY_CURRENT_USER, m_scratch.c_str());
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, m_scratch.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) != ERROR_SUCCESS)
            return;
        // A marker seen through the root proves the override works.
        m_bActive = RegSetValueExW(key, L"QuorvantScratchMarker", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"x"), 4) ==
                        ERROR_SUCCESS &&
                    RegOverridePredefKey(m_root, key) == ERROR_SUCCESS &&
                    RegGetValueW(m_root, nullptr, L"QuorvantScratchMarker", RRF_RT_REG_SZ, nullptr, nullptr,
                                 nullptr) == ERROR_SUCCESS;
        RegCloseKey(key);
    }
    ~CRootOverride()
    {
        RegOverridePredefKey(m_root, nullptr);
        SHDeleteKeyW(HKEY_CURRENT_USER, m_scratch.c_str());
    }
    CRootOverride(const CRootOverride&) = delete;
    CRootOverride& operator=(const CRootOverride&) = delete;

    bool Active() const { return m_bActive; }

private:
    HKEY m_root;
    std::wstring m_scratch;
    bool m_bActive = false;
};

} // namespace TestSupport
