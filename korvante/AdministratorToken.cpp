// An administrator's token, checked the same way by the service for its callers
// and by the library for its own user.
#include "korvante/AdministratorToken.h"
#include "korvante/SystemCalls.h"
#include <initializer_list>

namespace {

// Before 2000: an enabled group of the token that is Administrators, not one
// kept for deny only.
bool HasEnabledGroup(HANDLE token, PSID group)
{
    DWORD size = 0;
    ::GetTokenInformation(token, TokenGroups, nullptr, 0, &size);
    auto* groups = size ? static_cast<TOKEN_GROUPS*>(::LocalAlloc(LPTR, size)) : nullptr;
    bool member = false;
    if (groups && ::GetTokenInformation(token, TokenGroups, groups, size, &size))
        for (DWORD i = 0; i < groups->GroupCount && !member; ++i) {
            const DWORD attributes = groups->Groups[i].Attributes;
            member = ::EqualSid(groups->Groups[i].Sid, group) && (attributes & SE_GROUP_ENABLED) &&
                     !(attributes & SE_GROUP_USE_FOR_DENY_ONLY);
        }
    if (groups)
        ::LocalFree(groups);
    return member;
}

} // namespace

bool IsAdministratorToken(HANDLE token, TokenMembershipCheck check)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &administrators))
        return false;
    BOOL member = FALSE;
    const bool admin = check ? check(token, administrators, &member) && member : HasEnabledGroup(token, administrators);
    ::FreeSid(administrators);
    return admin;
}

bool RunsAsAdministrator()
{
    // 9x has no accounts: whoever runs the program may do all.
    if (System().platform != VER_PLATFORM_WIN32_NT)
        return true;
    TokenMembershipCheck check;
    const HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
    BindCall(check, advapi32, "CheckTokenMembership");
    // The thread's own token when it impersonates; the membership check wants an
    // impersonation token, which DuplicateToken makes of the process's.
    BOOL(WINAPI * openThreadToken)(HANDLE, DWORD, BOOL, HANDLE*);
    HANDLE token = nullptr, copy = nullptr;
    if (!(BindCall(openThreadToken, advapi32, "OpenThreadToken") &&
          openThreadToken(::GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token)) &&
        !::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return false;
    const bool admin = ::DuplicateToken(token, SecurityIdentification, &copy) && IsAdministratorToken(copy, check);
    for (HANDLE handle : {copy, token})
        if (handle)
            ::CloseHandle(handle);
    return admin;
}
