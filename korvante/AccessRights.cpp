// Building a security descriptor from well-known accounts with the calls every
// NT version has, NT 3.51 included.
#include "korvante/AccessRights.h"

AccessRights::AccessRights(std::initializer_list<AccessEntry> entries)
    : m_attributes{sizeof m_attributes, &m_descriptor, FALSE}
{
    ACL* acl = reinterpret_cast<ACL*>(m_acl);
    m_built = ::InitializeAcl(acl, sizeof m_acl, ACL_REVISION) &&
              ::InitializeSecurityDescriptor(&m_descriptor, SECURITY_DESCRIPTOR_REVISION);
    for (const AccessEntry& entry : entries) {
        if (!m_built)
            return;
        SID_IDENTIFIER_AUTHORITY authority{{0, 0, 0, 0, 0, entry.authority}};
        PSID sid = nullptr;
        if (!::AllocateAndInitializeSid(&authority, entry.rid1 ? 2 : 1, entry.rid0, entry.rid1, 0, 0, 0, 0, 0, 0,
                                        &sid)) {
            m_built = false;
            return;
        }
        // The list keeps its own copy of the account.
        m_built = entry.allow ? ::AddAccessAllowedAce(acl, ACL_REVISION, entry.mask, sid)
                              : ::AddAccessDeniedAce(acl, ACL_REVISION, entry.mask, sid);
        ::FreeSid(sid);
    }
    m_built = m_built && ::SetSecurityDescriptorDacl(&m_descriptor, TRUE, acl, FALSE);
}
