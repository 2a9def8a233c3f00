// Switches on one privilege of the process's token.
#pragma once

namespace Common {
namespace Win32 {

// Enables the named privilege ("SeShutdownPrivilege", "SeDebugPrivilege") in the
// process's token. Best effort: a token that does not hold it stays as it was.
void EnablePrivilege(const wchar_t* name);

} // namespace Win32
} // namespace Common
