// The stand-in notification area: records every icon call that reaches it.
#include "bench/startup/FakeTray.h"
#include <shellapi.h>

namespace {
const char kTrayClass[] = "Shell_TrayWnd";
}

FakeTray::FakeTray()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WndProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kTrayClass;
    ::RegisterClassA(&windowClass);
    // Topmost, so that a search by class meets ours before any other.
    m_window = ::CreateWindowExA(WS_EX_TOOLWINDOW | WS_EX_TOPMOST, kTrayClass, "", WS_POPUP, 0, 0, 0, 0, nullptr,
                                 nullptr, windowClass.hInstance, nullptr);
    if (m_window)
        ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

FakeTray::~FakeTray()
{
    if (m_window)
        ::DestroyWindow(m_window);
}

bool FakeTray::IsTheTray() const
{
    return m_window && ::FindWindowExA(nullptr, nullptr, kTrayClass, nullptr) == m_window;
}

int FakeTray::FindAdd(DWORD processId, size_t from) const
{
    for (size_t i = from; i < m_events.size(); ++i)
        if (m_events[i].message == NIM_ADD && m_events[i].processId == processId)
            return static_cast<int>(i);
    return -1;
}

size_t FakeTray::CountFrom(DWORD processId, size_t from) const
{
    size_t count = 0;
    for (size_t i = from; i < m_events.size(); ++i)
        count += m_events[i].processId == processId;
    return count;
}

LRESULT CALLBACK FakeTray::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COPYDATA) {
        TrayEvent event{};
        ::QueryPerformanceCounter(&event.when);
        auto tray = reinterpret_cast<FakeTray*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        auto data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        event.message = static_cast<DWORD>(data->dwData);
        if (data->cbData >= 8) {
            const auto* record = static_cast<const UINT*>(data->lpData);
            event.window = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(record[0]));
            event.id = record[1];
        } else {
            event.window = reinterpret_cast<HWND>(wParam);
        }
        ::GetWindowThreadProcessId(event.window, &event.processId);
        if (tray)
            tray->m_events.push_back(event);
        return TRUE;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}
