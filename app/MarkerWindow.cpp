// The marker window: hidden, found by class and title. A second copy of the
// program looks for it, and another program closes it to end the agent.
#include "app/AgentDlg.h"
#include "framework/WinApp.h"

namespace {

LRESULT CALLBACK MarkerWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE || message == WM_DESTROY) {
        // The agent ends; the window itself goes when the agent window does, which
        // first takes the agent away from it, so a late message touches nothing.
        auto agent = reinterpret_cast<CAgentDlg*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (agent) {
            if (message == WM_DESTROY) {
                ::SetWindowLongPtrA(window, GWLP_USERDATA, 0);
                agent->m_hMarkerWnd = nullptr;
            }
            agent->EndFromMarker();
        }
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

HWND CreateMarkerWindow(CAgentDlg* agent)
{
    HINSTANCE instance = AfxGetResourceHandle();
    WNDCLASSA markerClass{};
    markerClass.lpfnWndProc = MarkerWndProc;
    markerClass.hInstance = instance;
    markerClass.lpszClassName = kMarkerName;
    // A class left registered by an earlier window is just as good.
    ::RegisterClassA(&markerClass);

    HWND marker = ::CreateWindowExA(0, kMarkerName, kMarkerName, 0, 10, 10, 400, 200, nullptr, nullptr, instance,
                                    nullptr);
    if (!marker)
        return nullptr;
    ::SetWindowLongPtrA(marker, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(agent));
    ::ShowWindow(marker, SW_HIDE);
    ::UpdateWindow(marker);
    return marker;
}
