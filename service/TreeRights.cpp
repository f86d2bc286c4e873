// Rights set on a key or folder and on everything already below it.
#include "service/TreeRights.h"
#include "korvante/SystemCalls.h"
#include <cstring>

void PassOnAndProtect(SECURITY_DESCRIPTOR* descriptor)
{
    BOOL present = FALSE, defaulted = FALSE;
    ACL* acl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) || !acl)
        return;
    // AddAccessAllowedAceEx is 2000's: the inheritance flags are set by hand.
    void* ace = nullptr;
    for (DWORD index = 0; index < acl->AceCount && ::GetAce(acl, index, &ace); ++index)
        static_cast<ACE_HEADER*>(ace)->AceFlags |= CONTAINER_INHERIT_ACE | OBJECT_INHERIT_ACE;
    // Windows 2000 and later would otherwise add the parent's inheritable rights
    // (everyone may write HKLM\SOFTWARE on an upgraded NT 4) at the next change
    // above; earlier systems know no such flag.
    if (System().major >= 5)
        descriptor->Control |= SE_DACL_PROTECTED;
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

DWORD SecureKeyTree(const char* path, SECURITY_DESCRIPTOR* descriptor)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    HKEY key;
    const DWORD status =
        ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ, &attributes, &key, nullptr);
    if (status != ERROR_SUCCESS)
        return status;
    ::RegCloseKey(key);
    return SecureKey(HKEY_LOCAL_MACHINE, path, descriptor);
}

DWORD SecureFolder(const char* folder, SECURITY_DESCRIPTOR* descriptor)
{
    // folder\name, for the search and for each file found.
    char path[MAX_PATH];
    const int folderLength = ::lstrlenA(folder);
    if (folderLength + 2 >= MAX_PATH)
        return ERROR_FILENAME_EXCED_RANGE;
    ::wsprintfA(path, "%s\\*", folder);
    // The owner too: a user who owns the folder or a file may change its rights.
    const SECURITY_INFORMATION what = OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    if (!::CreateDirectoryA(folder, &attributes) && ::GetLastError() != ERROR_ALREADY_EXISTS)
        return ::GetLastError();
    const SystemCalls& system = System();
    DWORD status = system.setFileSecurity(folder, what, descriptor) ? ERROR_SUCCESS : ::GetLastError();
    WIN32_FIND_DATAA found;
    HANDLE search = ::FindFirstFileA(path, &found);
    if (search == INVALID_HANDLE_VALUE)
        return status;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;   // the program folder holds files only
        if (folderLength + 1 + ::lstrlenA(found.cFileName) >= MAX_PATH)
            continue;
        ::lstrcpyA(path + folderLength + 1, found.cFileName);
        if (!system.setFileSecurity(path, what, descriptor) && status == ERROR_SUCCESS)
            status = ::GetLastError();
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return status;
}

namespace {

// SYSTEM, Administrators, or the user this program runs as (an administrator:
// only one may install).
class Keepers {
public:
    Keepers()
    {
        HANDLE token;
        DWORD size = 0;
        if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
            if (::GetTokenInformation(token, TokenUser, m_user, sizeof m_user, &size))
                m_userSid = reinterpret_cast<TOKEN_USER*>(m_user)->User.Sid;
            ::CloseHandle(token);
        }
    }
    bool Includes(PSID sid) const
    {
        return sid && (IsSystemOrAdministrators(sid) || (m_userSid && ::EqualSid(sid, m_userSid)));
    }

private:
    alignas(8) BYTE m_user[128];
    PSID m_userSid = nullptr;
};

} // namespace

DWORD CheckFolderKeepers(const char* folder, const char*& why)
{
    why = nullptr;
    alignas(8) BYTE buffer[4096];
    DWORD needed = 0;
    if (!System().getFileSecurity(folder, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, buffer,
                                  sizeof buffer, &needed))
        return ::GetLastError() == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : ::GetLastError();
    const Keepers keepers;
    PSID owner = nullptr;
    BOOL defaulted = FALSE, present = FALSE;
    ACL* acl = nullptr;
    if (!::GetSecurityDescriptorOwner(buffer, &owner, &defaulted) || !keepers.Includes(owner)) {
        why = "someone other than SYSTEM or an administrator owns it";
        return ERROR_INVALID_OWNER;
    }
    if (!::GetSecurityDescriptorDacl(buffer, &present, &acl, &defaulted) || !present || !acl) {
        why = "it has no access list: everyone may write it";
        return ERROR_INVALID_OWNER;
    }
    // Rights that let a user put a file in, take one out or change the rights.
    const DWORD writing = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | DELETE |
                          GENERIC_WRITE | GENERIC_ALL;
    void* ace = nullptr;
    for (DWORD index = 0; index < acl->AceCount && ::GetAce(acl, index, &ace); ++index) {
        const auto* header = static_cast<const ACE_HEADER*>(ace);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
        if ((allowed->Mask & writing) && !keepers.Includes(const_cast<DWORD*>(&allowed->SidStart))) {
            why = "someone other than SYSTEM or an administrator may write it";
            return ERROR_INVALID_OWNER;
        }
    }
    return ERROR_SUCCESS;
}
