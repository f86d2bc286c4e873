// Who sent a request: the pipe's client, identified by impersonating it at
// identification level (the agent opens the pipe so: the service may look at
// its token, never act with it). Where the system names the client's process
// (Vista and later), that process's token must say administrator too: the
// stricter of the two answers counts.
#pragma once
#include <windows.h>

struct Caller {
    bool admin = false;            // an enabled member of BUILTIN\Administrators
    char account[2 * 256 + 2] = "unknown";   // "DOMAIN\user"
};

// The calls the identification makes, behind a table so that the in-process
// tests can play the rules Wine does not model (impersonation levels, systems
// without CheckTokenMembership).
struct IdentityCalls {
    BOOL(WINAPI* impersonateClient)(HANDLE pipe);
    BOOL(WINAPI* openThreadToken)(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE* token);   // advapi32's
    // 2000 and later; null where the system has none: then the token's groups are compared by hand.
    BOOL(WINAPI* checkTokenMembership)(HANDLE token, PSID sid, BOOL* member);
    BOOL(WINAPI* revertToSelf)();
    // GetNamedPipeClientProcessId, Vista and later; null where the system has none.
    BOOL(WINAPI* clientProcessId)(HANDLE pipe, ULONG* id);
};

// The table in force, and the running system's again.
IdentityCalls& Identity();
void ResetIdentityCalls();

// Identifies the pipe's client. Anything that fails makes a caller who is no
// administrator: the service then grants only what every user may ask.
Caller IdentifyCaller(HANDLE pipe);
