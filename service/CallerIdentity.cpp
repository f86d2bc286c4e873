// Identifying a pipe client from its token.
#include "service/CallerIdentity.h"
#include "korvante/SystemCalls.h"
#include <initializer_list>

namespace {

BOOL WINAPI RevertCall()
{
    return ::RevertToSelf();
}

IdentityCalls RunningSystem()
{
    IdentityCalls calls{::ImpersonateNamedPipeClient, nullptr, nullptr, RevertCall, nullptr};
    const HMODULE advapi32 = ::GetModuleHandleA("advapi32.dll");
    // advapi32's on every NT: the import libraries name kernel32, which has it only from Windows 7.
    BindCall(calls.openThreadToken, advapi32, "OpenThreadToken");
    BindCall(calls.checkTokenMembership, advapi32, "CheckTokenMembership");
    BindCall(calls.clientProcessId, ::GetModuleHandleA("kernel32.dll"), "GetNamedPipeClientProcessId");
    return calls;
}

IdentityCalls g_calls = RunningSystem();

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

bool IsAdministrator(HANDLE token)
{
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                    &administrators))
        return false;
    BOOL member = FALSE;
    const bool admin = g_calls.checkTokenMembership
                           ? g_calls.checkTokenMembership(token, administrators, &member) && member
                           : HasEnabledGroup(token, administrators);
    ::FreeSid(administrators);
    return admin;
}

// Where the system names the pipe's client process: whether its own token is an
// administrator's. Wine, for one, impersonates the server itself for any client.
bool ClientProcessIsAdministrator(HANDLE pipe)
{
    ULONG id = 0;
    if (!g_calls.clientProcessId(pipe, &id))
        return false;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, id);
    HANDLE token = nullptr, identification = nullptr;
    const bool admin = process && ::OpenProcessToken(process, TOKEN_QUERY | TOKEN_DUPLICATE, &token) &&
                       ::DuplicateToken(token, SecurityIdentification, &identification) &&
                       IsAdministrator(identification);
    for (HANDLE handle : {identification, token, process})
        if (handle)
            ::CloseHandle(handle);
    return admin;
}

void AccountOf(HANDLE token, Caller& caller)
{
    union {
        TOKEN_USER user;
        char bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } info;
    char user[256], domain[256];
    DWORD size = sizeof info, userSize = sizeof user, domainSize = sizeof domain;
    SID_NAME_USE use;
    if (::GetTokenInformation(token, TokenUser, &info, sizeof info, &size) &&
        ::LookupAccountSidA(nullptr, info.user.User.Sid, user, &userSize, domain, &domainSize, &use))
        ::wsprintfA(caller.account, "%s\\%s", domain, user);
}

} // namespace

IdentityCalls& Identity()
{
    return g_calls;
}

void ResetIdentityCalls()
{
    g_calls = RunningSystem();
}

Caller IdentifyCaller(HANDLE pipe)
{
    Caller caller;
    if (!g_calls.impersonateClient(pipe))
        return caller;
    // At identification level the token cannot open itself for the client: it is
    // opened as the service (openAsSelf), and only read.
    HANDLE token = nullptr;
    const bool opened = g_calls.openThreadToken && g_calls.openThreadToken(::GetCurrentThread(), TOKEN_QUERY, TRUE, &token);
    if (opened) {
        caller.admin = IsAdministrator(token);
        AccountOf(token, caller);
        ::CloseHandle(token);
    }
    // Still the client's token: its identification level lets this thread open
    // nothing, and the caller counts as no one.
    if (!g_calls.revertToSelf())
        return Caller();
    if (caller.admin && g_calls.clientProcessId)
        caller.admin = ClientProcessIsAdministrator(pipe);
    return caller;
}
