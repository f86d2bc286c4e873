// Security attributes whose access list names well-known accounts, for the
// objects that users of every session share with the update service.
#pragma once
#include <windows.h>
#include <initializer_list>

// One entry of the list: allow or deny mask to the account with that authority
// and one or two relative identifiers (rid1 0: one).
struct AccessEntry {
    bool allow;
    DWORD mask;
    BYTE authority;   // SECURITY_WORLD_SID_AUTHORITY's 1 or SECURITY_NT_AUTHORITY's 5
    DWORD rid0, rid1;
};

class AccessRights {
public:
    explicit AccessRights(std::initializer_list<AccessEntry> entries);
    AccessRights(const AccessRights&) = delete;
    AccessRights& operator=(const AccessRights&) = delete;

    // Null when the list could not be built (a system without rights, 9x).
    SECURITY_ATTRIBUTES* Attributes() { return m_built ? &m_attributes : nullptr; }
    // Names Administrators as the owner too (for an object an administrator
    // makes or takes over); false when it cannot be set.
    bool OwnedByAdministrators();

private:
    alignas(8) BYTE m_acl[256];
    alignas(4) BYTE m_owner[16];
    SECURITY_DESCRIPTOR m_descriptor;
    SECURITY_ATTRIBUTES m_attributes;
    bool m_built;
};

// The accounts used here.
constexpr AccessEntry Everyone(bool allow, DWORD mask) { return {allow, mask, 1, SECURITY_WORLD_RID, 0}; }
constexpr AccessEntry Network(bool allow, DWORD mask) { return {allow, mask, 5, SECURITY_NETWORK_RID, 0}; }
constexpr AccessEntry LocalSystem(bool allow, DWORD mask) { return {allow, mask, 5, SECURITY_LOCAL_SYSTEM_RID, 0}; }
constexpr AccessEntry Administrators(bool allow, DWORD mask)
{
    return {allow, mask, 5, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS};
}
constexpr AccessEntry AuthenticatedUsers(bool allow, DWORD mask)
{
    return {allow, mask, 5, SECURITY_AUTHENTICATED_USER_RID, 0};
}
