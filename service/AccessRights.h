// Explicit rights for the product key and the program folder, built with the
// calls NT 3.51 already has, so that the installer's commands work there too.
#pragma once
#include <windows.h>
#include <initializer_list>

enum class Principal { Administrators, System, Users, Everyone };

struct Grant {
    Principal who;
    DWORD access;
};

// A descriptor whose DACL holds exactly the given grants, each inherited by new
// subkeys, subfolders and files, and protected from the parent's rights.
class AccessRights {
public:
    explicit AccessRights(std::initializer_list<Grant> grants);
    AccessRights(const AccessRights&) = delete;
    AccessRights& operator=(const AccessRights&) = delete;

    // Null when the rights could not be built.
    SECURITY_DESCRIPTOR* Descriptor() { return built_ ? &descriptor_ : nullptr; }

private:
    SECURITY_DESCRIPTOR descriptor_{};
    alignas(DWORD) BYTE acl_[512]{};
    bool built_ = false;
};

// Sets the rights on the key under HKEY_LOCAL_MACHINE (made if missing) and on
// every key below it: Wine gives a new key none of its parent's rights, and
// NT 4 and earlier never pass a change on to existing subkeys.
DWORD SecureKeyTree(const char* path, AccessRights& rights);

// Sets the rights on the folder and on each file in it, for the same reasons.
DWORD SecureFolder(const char* folder, AccessRights& rights);
