// Deletes a registry key tree, refusing the keys every product shares.
#pragma once

#include <windows.h>

namespace Common {
namespace Tools {

// Keys that every product shares: a root and its first-level keys; the keys near
// the top of the system's places (Software\Microsoft and its two CurrentVersion
// keys, the control sets, the policies) and every key above them; the system's
// classes with their handler lists and standard verbs. Their Wow6432Node twins
// too. Deleting one of them would take other products or the system with it. A
// product's own key, its uninstall record, App Paths entry, service, class id,
// extension and class stay removable. The path is compared ignoring case and
// repeated, leading or trailing backslashes; HKEY_CLASSES_ROOT paths count as
// Software\Classes paths.
bool IsSharedRegistryKey(HKEY root, const wchar_t* path);

// Deletes every subkey of the open key, depth first, opening each with the given
// access. The first subkey that cannot be opened or deleted ends it with that
// error: enumerating index 0 again would find the same subkey for ever.
// 'deletedAny' is set once any key below was deleted.
LONG DeleteSubkeys(HKEY key, REGSAM access, bool& deletedAny);

enum class EKeyTreeResult
{
    Deleted,   // the key and its subtree are gone
    Refused,   // a shared key: nothing was touched
    NotOpened, // the key could not be opened: nothing was touched
    Failed,    // nothing was deleted
    Stopped,   // part of the subtree was deleted before an error stopped it
};

struct SKeyTreeDeletion
{
    EKeyTreeResult result;
    LONG error;
};

// Deletes root\path with its whole subtree, unless the key is shared.
SKeyTreeDeletion DeleteKeyTree(HKEY root, const wchar_t* path, REGSAM access);

} // namespace Tools
} // namespace Common
