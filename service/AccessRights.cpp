// Explicit rights for the product key and the program folder.
#include "service/AccessRights.h"
#include "korvante/SystemCalls.h"
#include <string>

namespace {

// The ACE flags that pass a grant on to what is made below the key or folder.
const BYTE kInherited = CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;

PSID NewSid(Principal who)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY, world = SECURITY_WORLD_SID_AUTHORITY;
    PSID sid = nullptr;
    BOOL made = FALSE;
    switch (who) {
    case Principal::Administrators:
        made = ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                          0, 0, &sid);
        break;
    case Principal::Users:
        made = ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0,
                                          0, 0, &sid);
        break;
    case Principal::System:
        made = ::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
        break;
    case Principal::Everyone:
        made = ::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &sid);
        break;
    }
    return made ? sid : nullptr;
}

} // namespace

AccessRights::AccessRights(std::initializer_list<Grant> grants)
{
    PACL acl = reinterpret_cast<PACL>(acl_);
    if (!::InitializeAcl(acl, sizeof acl_, ACL_REVISION))
        return;
    DWORD index = 0;
    for (const Grant& grant : grants) {
        PSID sid = NewSid(grant.who);
        const bool added = sid && ::AddAccessAllowedAce(acl, ACL_REVISION, grant.access, sid);
        if (sid)
            ::FreeSid(sid);
        // AddAccessAllowedAceEx is 2000's: the inheritance flags are set by hand.
        void* ace = nullptr;
        if (!added || !::GetAce(acl, index++, &ace))
            return;
        static_cast<ACE_HEADER*>(ace)->AceFlags = kInherited;
    }
    if (!::InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) ||
        !::SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE))
        return;
    // Windows 2000 and later would otherwise add the parent's inheritable rights
    // (everyone may write HKLM\SOFTWARE on an upgraded NT 4) at the next change
    // above; earlier systems know no such flag.
    if (System().major >= 5)
        descriptor_.Control |= SE_DACL_PROTECTED;
    built_ = true;
}

namespace {

DWORD SecureKey(HKEY parent, const char* path, SECURITY_DESCRIPTOR* descriptor)
{
    HKEY key;
    DWORD status = ::RegOpenKeyExA(parent, path, 0, WRITE_DAC | KEY_ENUMERATE_SUB_KEYS, &key);
    if (status != ERROR_SUCCESS)
        return status;
    status = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    char name[256];
    for (DWORD index = 0, length = sizeof name;
         ::RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = sizeof name) {
        const DWORD below = SecureKey(key, name, descriptor);
        if (status == ERROR_SUCCESS)
            status = below;
    }
    ::RegCloseKey(key);
    return status;
}

} // namespace

DWORD SecureKeyTree(const char* path, AccessRights& rights)
{
    SECURITY_DESCRIPTOR* descriptor = rights.Descriptor();
    if (!descriptor)
        return ::GetLastError() ? ::GetLastError() : ERROR_INVALID_SECURITY_DESCR;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HKEY key;
    DWORD status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ, &attributes, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    ::RegCloseKey(key);
    return SecureKey(HKEY_LOCAL_MACHINE, path, descriptor);
}

DWORD SecureFolder(const char* folder, AccessRights& rights)
{
    SECURITY_DESCRIPTOR* descriptor = rights.Descriptor();
    if (!descriptor)
        return ::GetLastError() ? ::GetLastError() : ERROR_INVALID_SECURITY_DESCR;
    const std::string base = std::string(folder) + "\\";
    DWORD status = ::SetFileSecurityA(folder, DACL_SECURITY_INFORMATION, descriptor) ? ERROR_SUCCESS
                                                                                     : ::GetLastError();
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA((base + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return status;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;   // the program folder holds files only
        if (!::SetFileSecurityA((base + found.cFileName).c_str(), DACL_SECURITY_INFORMATION, descriptor) &&
            status == ERROR_SUCCESS)
            status = ::GetLastError();
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return status;
}
