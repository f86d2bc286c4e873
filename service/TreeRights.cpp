// Rights set on a key or folder and on everything already below it.
#include "service/TreeRights.h"
#include "korvante/SystemCalls.h"

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
    DWORD status = ::SetFileSecurityA(folder, DACL_SECURITY_INFORMATION, descriptor) ? ERROR_SUCCESS
                                                                                     : ::GetLastError();
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
        if (!::SetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor) && status == ERROR_SUCCESS)
            status = ::GetLastError();
    } while (::FindNextFileA(search, &found));
    ::FindClose(search);
    return status;
}
