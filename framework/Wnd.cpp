// Window objects: tying an object to its window as the window is created, and
// passing each message through the object's message map.
#include "framework/Wnd.h"

namespace {
const char kWndProperty[] = "CWnd";
// The object waiting for the window created next, and that window's class; the
// program has one thread.
CWnd* t_wndInit = nullptr;
const char* t_wndInitClass = nullptr;
HHOOK t_creationHook = nullptr;

bool HasClass(HWND window, const char* className)
{
    char name[64] = "";
    ::GetClassNameA(window, name, sizeof name);
    return ::lstrcmpiA(name, className) == 0;
}
}

BOOL CWnd::DestroyWindow()
{
    return m_hWnd ? ::DestroyWindow(m_hWnd) : FALSE;
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND && OnCommand(wParam, lParam)) {
        *result = 0;
        return true;
    }
    return false;
}

LRESULT CWnd::Default()
{
    return ::CallWindowProcA(m_pfnSuper, m_hWnd, m_currentMsg.message, m_currentMsg.wParam, m_currentMsg.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    // A handler may run a message loop that dispatches to this window again, so
    // the message that Default() refers to is kept per call.
    const MSG outer = m_currentMsg;
    m_currentMsg.message = message;
    m_currentMsg.wParam = wParam;
    m_currentMsg.lParam = lParam;
    LRESULT result = 0;
    if (!OnWndMsg(message, wParam, lParam, &result))
        result = Default();
    m_currentMsg = outer;
    return result;
}

void CWnd::Attach(HWND window)
{
    m_hWnd = window;
    ::SetPropA(window, kWndProperty, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::StandardWndProc)));
}

LRESULT CALLBACK CWnd::StandardWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = static_cast<CWnd*>(::GetPropA(window, kWndProperty));
    if (!wnd)
        return ::DefWindowProcA(window, message, wParam, lParam);
    if (message != WM_NCDESTROY)
        return wnd->WindowProc(message, wParam, lParam);

    // The last message: give the window back its own procedure and let go of it.
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    ::SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(wnd->m_pfnSuper));
    ::RemovePropA(window, kWndProperty);
    wnd->m_hWnd = nullptr;
    return result;
}

LRESULT CALLBACK CWnd::CreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_wndInit && HasClass(reinterpret_cast<HWND>(wParam), t_wndInitClass)) {
        CWnd* wnd = t_wndInit;
        t_wndInit = nullptr;
        wnd->Attach(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(t_creationHook, code, wParam, lParam);
}

void CWnd::HookWindowCreate(CWnd* wnd, const char* className)
{
    t_wndInitClass = className;
    if (!t_creationHook)
        t_creationHook = ::SetWindowsHookExA(WH_CBT, &CWnd::CreationHook, nullptr, ::GetCurrentThreadId());
    t_wndInit = wnd;
}

void CWnd::UnhookWindowCreate()
{
    if (t_creationHook)
        ::UnhookWindowsHookEx(t_creationHook);
    t_creationHook = nullptr;
    t_wndInit = nullptr;
}
