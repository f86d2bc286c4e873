// Ends with 0 when this program can create a window. Under emulated 32-bit Wine
// the desktop process that a session starts now and then crashes on its way up,
// and the first program to make a window then gets no display for its whole
// life; the scripts run this check first and start the session again if it fails.
#include <windows.h>

int main()
{
    const HWND window = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    return window && ::DestroyWindow(window) ? 0 : 1;
}
