// Access lists of the files and folders setup installs.
#include "setup/engine/AccessControl.h"

#include "common/tools/ScopedHandle.h"
#include "framework/WinString.h"

#include <windows.h>

#include <aclapi.h>

bool GrantEveryoneAccess(const wchar_t* path)
{
    if (path == nullptr || *path == L'\0')
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    Common::Tools::CAllocatedSid everyone;
    if (!AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, everyone.Receive()))
        return false;

    EXPLICIT_ACCESSW access = {};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.Get());
    Common::Tools::CLocalMemory<PACL> acl;
    if (SetEntriesInAclW(1, &access, nullptr, acl.Receive()) != ERROR_SUCCESS)
        return false;

    CString name(path);
    return SetNamedSecurityInfoW(name.GetBuffer(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                 acl.Get(), nullptr) == ERROR_SUCCESS;
}
