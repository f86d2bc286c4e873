// Rights set on a key or folder and on everything already below it, for the
// product key and the program folder.
#pragma once
#include <windows.h>

// Makes every entry of the descriptor's access list pass on to new subkeys,
// subfolders and files, and keeps the parent's rights out of it.
void PassOnAndProtect(SECURITY_DESCRIPTOR* descriptor);

// Sets the rights on the key under HKEY_LOCAL_MACHINE (made if missing) and on
// every key below it: Wine gives a new key none of its parent's rights, and
// NT 4 and earlier never pass a change on to existing subkeys.
DWORD SecureKeyTree(const char* path, SECURITY_DESCRIPTOR* descriptor);

// Sets the owner and rights on the folder and on each file in it, for the same
// reasons; the folder is made with them if missing.
DWORD SecureFolder(const char* folder, SECURITY_DESCRIPTOR* descriptor);

// ERROR_SUCCESS when nobody but SYSTEM, Administrators and this program's own
// user (the installing administrator) owns the existing folder or may write it;
// ERROR_INVALID_OWNER otherwise, and the reason in why.
DWORD CheckFolderKeepers(const char* folder, const char*& why);
