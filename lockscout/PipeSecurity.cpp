// The security of lockscout's pipe.
#include "lockscout/PipeSecurity.h"

#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"

using Common::Tools::CScopedHandle;
using Common::Tools::ThrowComError;

namespace {

[[noreturn]] void ThrowLastError()
{
    ThrowComError(HRESULT_FROM_WIN32(::GetLastError()));
}

} // namespace

CPipeSecurity::CPipeSecurity()
{
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
        ThrowLastError();
    CScopedHandle tokenHolder(token);
    DWORD needed = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &needed);
    if (needed == 0)
        ThrowLastError();
    m_user.resize(needed);
    if (!::GetTokenInformation(token, TokenUser, m_user.data(), needed, &needed))
        ThrowLastError();
    PSID user = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;

    DWORD adminsSize = SECURITY_MAX_SID_SIZE;
    m_admins.resize(adminsSize);
    if (!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_admins.data(), &adminsSize))
        ThrowLastError();
    PSID admins = m_admins.data();

    const DWORD aclSize = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(user) +
                          ::GetLengthSid(admins);
    m_acl.resize(aclSize);
    PACL acl = reinterpret_cast<PACL>(m_acl.data());
    if (!::InitializeAcl(acl, aclSize, ACL_REVISION) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
        !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, admins))
        ThrowLastError();
    if (!::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE))
        ThrowLastError();
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}
