// Stands in for the notification area: a hidden window of the taskbar's class,
// "Shell_TrayWnd". Wine's Shell_NotifyIcon finds it by class and sends it
// WM_COPYDATA, with the NIM_ message in dwData and a record that starts with
// the icon's window (32 bits) and id. Create it before starting the programs to
// watch, and keep pumping messages: each icon call waits for our answer.
#pragma once
#include <windows.h>
#include <vector>

struct TrayEvent {
    LARGE_INTEGER when;   // QueryPerformanceCounter at arrival
    DWORD message;        // NIM_ADD, NIM_MODIFY, NIM_DELETE...
    HWND window;          // the icon's window
    UINT id;              // the icon's id
    DWORD processId;      // the process that owns window
};

class FakeTray {
public:
    FakeTray();
    ~FakeTray();
    bool Created() const { return m_window != nullptr; }
    // True when our window is the one Shell_NotifyIcon would find.
    bool IsTheTray() const;

    const std::vector<TrayEvent>& Events() const { return m_events; }
    // Index of the first NIM_ADD at or after from that came from processId; -1 if none.
    int FindAdd(DWORD processId, size_t from = 0) const;
    // How many events came from processId since index from.
    size_t CountFrom(DWORD processId, size_t from = 0) const;

private:
    static LRESULT CALLBACK WndProc(HWND, UINT, WPARAM, LPARAM);
    HWND m_window = nullptr;
    std::vector<TrayEvent> m_events;
};

inline double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to)
{
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}
