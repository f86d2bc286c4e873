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

// A message this wait dispatches can run a modal loop of its own (the tray
// menu, a message box) for as long as the user keeps it open, and the wait's
// time is not looked at meanwhile. A thread timer reaches its procedure from
// any loop: at the deadline it ends the modal state, so the wait can end.
void CALLBACK EndModalLoop(HWND, UINT, UINT_PTR, DWORD)
{
    if (const HWND capture = ::GetCapture())
        ::SendMessageA(capture, WM_CANCELMODE, 0, 0);
}

// The deadline's timer for as long as the wait lasts; none for a wait without end.
class Deadline {
public:
    explicit Deadline(DWORD ms) : m_timer(ms != INFINITE ? ::SetTimer(nullptr, 0, ms ? ms : 1, EndModalLoop) : 0) {}
    ~Deadline()
    {
        if (m_timer)
            ::KillTimer(nullptr, m_timer);
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    UINT_PTR m_timer;
};

} // namespace

DWORD WaitDispatchingMessages(HANDLE handle, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    const Deadline deadline(timeoutMs);
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
