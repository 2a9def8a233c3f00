// Switches on one privilege of the process's token.
#include "common/win32/Privilege.h"

#include "common/tools/ScopedHandle.h"

#include <windows.h>

namespace Common {
namespace Win32 {

void EnablePrivilege(const wchar_t* name)
{
    Common::Tools::CScopedHandle token;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Receive()))
        return;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    if (::LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid))
        ::AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
}

} // namespace Win32
} // namespace Common
