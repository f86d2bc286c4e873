// An administrator's token, checked the same way by the service for its callers
// and by the library for its own user. The security calls are bound by name:
// korvante.dll still loads on 95, 98 and Me, whose advapi32 has none of them.
#include "korvante/AdministratorToken.h"
#include "korvante/SystemCalls.h"
#include <initializer_list>

namespace {

struct TokenCalls {
    BOOL(WINAPI* allocateAndInitializeSid)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                                           DWORD, DWORD, PSID*);
    PVOID(WINAPI* freeSid)(PSID);
    BOOL(WINAPI* equalSid)(PSID, PSID);
    BOOL(WINAPI* getTokenInformation)(HANDLE, TOKEN_INFORMATION_CLASS, void*, DWORD, DWORD*);
    BOOL(WINAPI* openProcessToken)(HANDLE, DWORD, HANDLE*);
    BOOL(WINAPI* openThreadToken)(HANDLE, DWORD, BOOL, HANDLE*);
    BOOL(WINAPI* duplicateToken)(HANDLE, SECURITY_IMPERSONATION_LEVEL, HANDLE*);
    TokenMembershipCheck checkTokenMembership;   // 2000 and later
    bool bound;                                  // every call but the last is there: the NT family
};

TokenCalls g_calls;
bool g_filled = false;

// Filled on first use; no local static, whose guard would bring the C++
// runtime's thread machinery (and newer calls) into the library.
const TokenCalls& Calls()
{
    if (!g_filled) {
        const HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
        g_calls.bound = BindCall(g_calls.allocateAndInitializeSid, advapi32, "AllocateAndInitializeSid") &
                        BindCall(g_calls.freeSid, advapi32, "FreeSid") & BindCall(g_calls.equalSid, advapi32, "EqualSid") &
                        BindCall(g_calls.getTokenInformation, advapi32, "GetTokenInformation") &
                        BindCall(g_calls.openProcessToken, advapi32, "OpenProcessToken") &
                        BindCall(g_calls.openThreadToken, advapi32, "OpenThreadToken") &
                        BindCall(g_calls.duplicateToken, advapi32, "DuplicateToken");
        BindCall(g_calls.checkTokenMembership, advapi32, "CheckTokenMembership");
        g_filled = true;
    }
    return g_calls;
}

// Before 2000: an enabled group of the token that is Administrators, not one
// kept for deny only.
bool HasEnabledGroup(HANDLE token, PSID group)
{
    const TokenCalls& calls = Calls();
    DWORD size = 0;
    calls.getTokenInformation(token, TokenGroups, nullptr, 0, &size);
    auto* groups = size ? static_cast<TOKEN_GROUPS*>(::LocalAlloc(LPTR, size)) : nullptr;
    bool member = false;
    if (groups && calls.getTokenInformation(token, TokenGroups, groups, size, &size))
        for (DWORD i = 0; i < groups->GroupCount && !member; ++i) {
            const DWORD attributes = groups->Groups[i].Attributes;
            member = calls.equalSid(groups->Groups[i].Sid, group) && (attributes & SE_GROUP_ENABLED) &&
                     !(attributes & SE_GROUP_USE_FOR_DENY_ONLY);
        }
    if (groups)
        ::LocalFree(groups);
    return member;
}

} // namespace

bool IsAdministratorToken(HANDLE token, TokenMembershipCheck check)
{
    const TokenCalls& calls = Calls();
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!calls.bound || !calls.allocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS,
                                                        0, 0, 0, 0, 0, 0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool admin = check ? check(token, administrators, &member) && member : HasEnabledGroup(token, administrators);
    calls.freeSid(administrators);
    return admin;
}

bool RunsAsAdministrator()
{
    const TokenCalls& calls = Calls();
    // 9x has no accounts: whoever runs the program may do all.
    if (System().platform != VER_PLATFORM_WIN32_NT)
        return true;
    if (!calls.bound)
        return false;
    // The thread's own token when it impersonates; the membership check wants an
    // impersonation token, which DuplicateToken makes of the process's.
    HANDLE token = nullptr, copy = nullptr;
    if (!calls.openThreadToken(::GetCurrentThread(), TOKEN_QUERY | TOKEN_DUPLICATE, TRUE, &token) &&
        !calls.openProcessToken(::GetCurrentProcess(), TOKEN_QUERY | TOKEN_DUPLICATE, &token))
        return false;
    const bool admin = calls.duplicateToken(token, SecurityIdentification, &copy) &&
                       IsAdministratorToken(copy, calls.checkTokenMembership);
    for (HANDLE handle : {copy, token})
        if (handle)
            ::CloseHandle(handle);
    return admin;
}
