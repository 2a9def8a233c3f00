// The security of lockscout's pipe.
#include "lockscout/PipeSecurity.h"

#include "common/tools/ComError.h"
#include "common/tools/ScopedHandle.h"

using Common::Tools::CScopedHandle;
using Common::Tools::ThrowLastErrorIf;

CPipeSecurity::CPipeSecurity()
{
    CScopedHandle token;
    ThrowLastErrorIf(!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.Receive()));
    DWORD needed = 0;
    ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &needed);
    ThrowLastErrorIf(needed == 0);
    m_user.resize(needed);
    ThrowLastErrorIf(!::GetTokenInformation(token.Get(), TokenUser, m_user.data(), needed, &needed));
    PSID user = reinterpret_cast<TOKEN_USER*>(m_user.data())->User.Sid;

    DWORD adminsSize = SECURITY_MAX_SID_SIZE;
    m_admins.resize(adminsSize);
    ThrowLastErrorIf(!::CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, m_admins.data(), &adminsSize));
    PSID admins = m_admins.data();

    const DWORD aclSize = sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) - sizeof(DWORD)) + ::GetLengthSid(user) +
                          ::GetLengthSid(admins);
    m_acl.resize(aclSize);
    PACL acl = reinterpret_cast<PACL>(m_acl.data());
    ThrowLastErrorIf(!::InitializeAcl(acl, aclSize, ACL_REVISION) ||
                     !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, user) ||
                     !::AddAccessAllowedAce(acl, ACL_REVISION, GENERIC_ALL, admins));
    ThrowLastErrorIf(!::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION) ||
                     !::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE));
    m_attributes.nLength = sizeof(m_attributes);
    m_attributes.lpSecurityDescriptor = &m_descriptor;
    m_attributes.bInheritHandle = FALSE;
}
