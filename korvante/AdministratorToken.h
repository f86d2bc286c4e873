// Whether a token belongs to an administrator: an enabled member of
// BUILTIN\Administrators, not one kept for deny only (as a standard user's, or
// an administrator's under UAC, is).
#pragma once
#include <windows.h>

using TokenMembershipCheck = BOOL(WINAPI*)(HANDLE token, PSID sid, BOOL* member);

// check: CheckTokenMembership where the system has it (2000 and later); null
// compares the token's groups by hand.
bool IsAdministratorToken(HANDLE token, TokenMembershipCheck check);
// The same for the calling thread: its impersonation token, or its process's.
bool RunsAsAdministrator();
