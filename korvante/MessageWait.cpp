// Waiting on a handle while still dispatching the thread's window messages.
#include "korvante/MessageWait.h"
#include "korvante/SystemCalls.h"

namespace {

// QS_ALLINPUT as NT 4 and 95 define it. Today's headers add QS_RAWINPUT (XP), and
// a mask with a bit the system does not know makes the wait fail before XP.
constexpr DWORD kWakeMask = QS_KEY | QS_MOUSE | QS_POSTMESSAGE | QS_TIMER | QS_PAINT | QS_SENDMESSAGE | QS_HOTKEY;
// How long one wait lasts when the system refuses the message wait: messages
// are dispatched between such waits.
constexpr DWORD kPollMs = 50;

} // namespace

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
        DWORD woken = System().msgWaitForMultipleObjects(1, &handle, FALSE, left, kWakeMask);
        if (woken == WAIT_FAILED)
            woken = ::WaitForSingleObject(handle, left < kPollMs ? left : kPollMs);
        // A mutex left by a thread that ended is now ours all the same.
        if (woken == WAIT_OBJECT_0 || woken == WAIT_ABANDONED_0)
            return WAIT_OBJECT_0;
        if (woken == WAIT_FAILED)
            return WAIT_FAILED;
        if (woken == WAIT_TIMEOUT && left == 0)
            return WAIT_TIMEOUT;
    }
}

bool QuitPending()
{
    MSG msg;
    return ::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}
