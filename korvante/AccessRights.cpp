// Building a security descriptor from well-known accounts with the calls every
// NT version has, NT 3.51 included. They are bound at run time: 95, 98 and Me
// have no rights to set, and the library must load there all the same.
#include "korvante/AccessRights.h"
#include "korvante/SystemCalls.h"

namespace {

struct SecurityCalls {
    BOOL(WINAPI* initializeAcl)(ACL*, DWORD, DWORD);
    BOOL(WINAPI* initializeSecurityDescriptor)(PSECURITY_DESCRIPTOR, DWORD);
    BOOL(WINAPI* allocateAndInitializeSid)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                           DWORD, DWORD, PSID*);
    BOOL(WINAPI* addAccessAllowedAce)(ACL*, DWORD, DWORD, PSID);
    BOOL(WINAPI* addAccessDeniedAce)(ACL*, DWORD, DWORD, PSID);
    PVOID(WINAPI* freeSid)(PSID);
    BOOL(WINAPI* setSecurityDescriptorDacl)(PSECURITY_DESCRIPTOR, BOOL, ACL*, BOOL);
    BOOL(WINAPI* setSecurityDescriptorOwner)(PSECURITY_DESCRIPTOR, PSID, BOOL);
};

// The calls, or false where the system lacks any of them.
bool BindSecurityCalls(SecurityCalls& calls)
{
    const HMODULE advapi = ::LoadLibraryA("advapi32.dll");
    return BindCall(calls.initializeAcl, advapi, "InitializeAcl") &&
           BindCall(calls.initializeSecurityDescriptor, advapi, "InitializeSecurityDescriptor") &&
           BindCall(calls.allocateAndInitializeSid, advapi, "AllocateAndInitializeSid") &&
           BindCall(calls.addAccessAllowedAce, advapi, "AddAccessAllowedAce") &&
           BindCall(calls.addAccessDeniedAce, advapi, "AddAccessDeniedAce") && BindCall(calls.freeSid, advapi, "FreeSid") &&
           BindCall(calls.setSecurityDescriptorDacl, advapi, "SetSecurityDescriptorDacl") &&
           BindCall(calls.setSecurityDescriptorOwner, advapi, "SetSecurityDescriptorOwner");
}

} // namespace

AccessRights::AccessRights(std::initializer_list<AccessEntry> entries)
    : m_attributes{sizeof m_attributes, &m_descriptor, FALSE}
{
    SecurityCalls calls{};
    ACL* acl = reinterpret_cast<ACL*>(m_acl);
    m_built = BindSecurityCalls(calls) && calls.initializeAcl(acl, sizeof m_acl, ACL_REVISION) &&
              calls.initializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
    for (const AccessEntry& entry : entries) {
        if (!m_built)
            return;
        SID_IDENTIFIER_AUTHORITY authority{{0, 0, 0, 0, 0, entry.authority}};
        PSID sid = nullptr;
        if (!calls.allocateAndInitializeSid(&authority, entry.rid1 ? 2 : 1, entry.rid0, entry.rid1, 0, 0, 0, 0, 0, 0,
                                            &sid)) {
            m_built = false;
            return;
        }
        // The list keeps its own copy of the account.
        m_built = entry.allow ? calls.addAccessAllowedAce(acl, ACL_REVISION, entry.mask, sid)
                              : calls.addAccessDeniedAce(acl, ACL_REVISION, entry.mask, sid);
        calls.freeSid(sid);
    }
    m_built = m_built && calls.setSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE);
}

bool AccessRights::OwnedByAdministrators()
{
    // S-1-5-32-544, written out: revision, two parts, the NT authority, 32, 544.
    const BYTE administrators[16] = {1, 2, 0, 0, 0, 0, 0, 5, 32, 0, 0, 0, 0x20, 0x02, 0, 0};
    ::CopyMemory(m_owner, administrators, sizeof m_owner);
    SecurityCalls calls{};
    m_built = m_built && BindSecurityCalls(calls) && calls.setSecurityDescriptorOwner(&m_descriptor, m_owner, FALSE);
    return m_built;
}
