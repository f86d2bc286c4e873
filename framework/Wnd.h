// A thin C++ face on a window handle, with a declared message map.
//
// A class lists the messages it handles between BEGIN_MSG_MAP and END_MSG_MAP,
// one line per message naming the handler with its typed arguments. What the map
// does not name, and what a handler hands back with Default(), gets the window's
// default processing.
#pragma once
#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND GetSafeHwnd() const { return m_hWnd; }

    // Thin wrappers of the window calls the program makes.
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::PostMessageA(m_hWnd, message, wParam, lParam); }
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) { return ::SendMessageA(m_hWnd, message, wParam, lParam); }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
    BOOL FlashWindow(BOOL invert) { return ::FlashWindow(m_hWnd, invert); }
    HMENU GetSystemMenu(BOOL revert) { return ::GetSystemMenu(m_hWnd, revert); }
    void GetClientRect(RECT* rect) const { ::GetClientRect(m_hWnd, rect); }
    BOOL SetForegroundWindow() { return ::SetForegroundWindow(m_hWnd); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrA(m_hWnd, GWL_STYLE)); }
    virtual BOOL DestroyWindow();

    HWND m_hWnd = nullptr;

protected:
    // Routes one message; false means the map does not handle it.
    virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // WM_COMMAND; FALSE lets the command go on to default processing.
    virtual BOOL OnCommand(WPARAM, LPARAM) { return FALSE; }
    // Default processing of the message being handled.
    LRESULT Default();

    // Takes over a window that is being created, so that every message reaches the map.
    void Attach(HWND window);
    // Catches the next window of the given class that this thread creates and
    // attaches it to wnd; windows of other classes that the system creates on the
    // way (an input-method window, say) are left alone.
    static void HookWindowCreate(CWnd* wnd, const char* className);
    static void UnhookWindowCreate();

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK StandardWndProc(HWND, UINT, WPARAM, LPARAM);
    static LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam);

    WNDPROC m_pfnSuper = nullptr;
    MSG m_currentMsg{};
};

// Message map: one line per message. ON_MSG(message, handler call) yields the
// handler's result; ON_MSG_VOID for handlers that return nothing (result 0). A
// message may be a registered one, whose number is known only at run time.
#define BEGIN_MSG_MAP(theBase) \
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override \
    { \
        using MapBase = theBase; \
        (void)wParam; (void)lParam;
#define ON_MSG(msg, call) \
        if (message == (msg)) { *result = (LRESULT)(call); return true; }
#define ON_MSG_VOID(msg, call) \
        if (message == (msg)) { call; *result = 0; return true; }
#define END_MSG_MAP() \
        return MapBase::OnWndMsg(message, wParam, lParam, result); \
    }
