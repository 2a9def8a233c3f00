// The security of lockscout's pipe.
#pragma once

#include <windows.h>

#include <vector>

// The security of lockscout's pipe: only the user lockscout runs as and the
// Administrators may open it, whatever the default security of the session says.
class CPipeSecurity
{
public:
    // Throws _com_error when the token or the access list cannot be read or built.
    CPipeSecurity();
    CPipeSecurity(const CPipeSecurity&) = delete;
    CPipeSecurity& operator=(const CPipeSecurity&) = delete;

    SECURITY_ATTRIBUTES* Attributes() { return &m_attributes; }

private:
    std::vector<BYTE> m_user;    // TOKEN_USER of the process
    std::vector<BYTE> m_admins;  // the Administrators' SID
    std::vector<BYTE> m_acl;
    SECURITY_DESCRIPTOR m_descriptor = {};
    SECURITY_ATTRIBUTES m_attributes = {};
};
