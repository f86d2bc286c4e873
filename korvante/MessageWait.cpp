// Waiting on a handle while still dispatching the thread's window messages.
#include "korvante/MessageWait.h"
#include "korvante/SystemCalls.h"

DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return kWaitEndedByQuit;
            }
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        const DWORD spent = ::GetTickCount() - start;
        const DWORD left = spent < timeoutMs ? timeoutMs - spent : 0;
        // Wakes for the handle or for a message that came after the queue was emptied.
        const DWORD woken = System().msgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        // A mutex left by a thread that ended is now ours all the same.
        if (woken == WAIT_OBJECT_0 || woken == WAIT_ABANDONED_0)
            return WAIT_OBJECT_0;
        if (woken != WAIT_OBJECT_0 + 1)
            return WAIT_TIMEOUT;
    }
}
