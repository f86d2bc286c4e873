// Waiting for a process while the calling program's windows stay responsive.
#pragma once
#include <windows.h>

// What WaitDispatchingMessages returns when a quit message ended the wait.
constexpr DWORD kWaitEndedByQuit = WAIT_OBJECT_0 + 1;

// Waits up to timeoutMs for the handle, dispatching this thread's messages
// meanwhile: the calling program answers its menus, repaints and WM_CLOSE during
// a long update. WAIT_OBJECT_0 when the handle was signalled, WAIT_TIMEOUT when
// the time ran out (a menu or other modal loop still open then is closed, so
// that the time counts as the clock does), kWaitEndedByQuit when a WM_QUIT came: it is posted again, so
// the caller's own message loop sees it too.
DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs);

// A quit message waits in this thread's queue: the program is ending. It stays there.
bool QuitPending();
