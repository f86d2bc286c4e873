// Reads menus, and plays the user's part in a menu that this thread tracks.
//
// A menu's modal loop (TrackPopupMenu, or the system menu opened with
// SC_KEYMENU) dispatches timer messages and takes keys from the whole thread
// queue. So a thread timer finds the open popup window (class "#32768"), asks
// it for its menu with MN_GETHMENU, records what it shows, and then presses
// keys, clicks an item with the right button, or ends the menu with EndMenu.
// Keys go to the thread, not to a popup: a popup that closes takes the
// messages still waiting for it along.
// Header only: the test programs list their support sources one by one.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// One item as the user sees it.
struct MenuEntry {
    UINT id = 0;                 // 0 for a separator, (UINT)-1 for a submenu
    std::string text;
    bool grayed = false;
    bool checked = false;
    bool separator = false;
    std::vector<MenuEntry> sub;  // the submenu's items
};

inline std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> items;
    const int count = ::GetMenuItemCount(menu);
    for (int pos = 0; pos < count; ++pos) {
        MenuEntry item;
        item.id = ::GetMenuItemID(menu, pos);
        char text[256] = "";
        ::GetMenuStringA(menu, pos, text, sizeof text, MF_BYPOSITION);
        item.text = text;
        const UINT state = ::GetMenuState(menu, pos, MF_BYPOSITION);
        if (HMENU sub = ::GetSubMenu(menu, pos))
            item.sub = ReadMenu(sub);
        else
            item.separator = (state & MF_SEPARATOR) != 0;
        // A separator reads as grayed too; only items that can be chosen count.
        item.grayed = !item.separator && (state & (MF_GRAYED | MF_DISABLED)) != 0;
        item.checked = (state & MF_CHECKED) != 0;
        items.push_back(item);
    }
    return items;
}

// "Alpha 448", "Schedule Update >", "---": what a row shows and what it sends.
inline std::string Label(const MenuEntry& item)
{
    if (item.separator)
        return "---";
    if (item.id == static_cast<UINT>(-1))
        return item.text + " >";
    return item.text + " " + std::to_string(item.id);
}

inline std::vector<std::string> Labels(const std::vector<MenuEntry>& items)
{
    std::vector<std::string> labels;
    for (const MenuEntry& item : items)
        labels.push_back(Label(item));
    return labels;
}

// The labels of the items that are grayed, or checked.
inline std::vector<std::string> Grayed(const std::vector<MenuEntry>& items)
{
    std::vector<std::string> labels;
    for (const MenuEntry& item : items)
        if (item.grayed)
            labels.push_back(Label(item));
    return labels;
}

inline std::vector<std::string> Checked(const std::vector<MenuEntry>& items)
{
    std::vector<std::string> labels;
    for (const MenuEntry& item : items)
        if (item.checked)
            labels.push_back(Label(item));
    return labels;
}

// The first item with this text; an empty item when there is none.
inline MenuEntry FindEntry(const std::vector<MenuEntry>& items, const std::string& text)
{
    for (const MenuEntry& item : items)
        if (item.text == text)
            return item;
    return MenuEntry{};
}

// Drives the next menu this thread opens. Create it before the call that opens
// the menu; it acts on the first popup it sees and keeps watching until it goes.
class MenuDriver {
public:
    // Enter is pressed as the character '\r'; an empty list closes the menu
    // without a choice (EndMenu).
    static MenuDriver Keys(std::vector<UINT> keys) { return MenuDriver(std::move(keys), -1); }
    static MenuDriver Cancel() { return MenuDriver({}, -1); }
    // Presses and releases the right button over the item at this position of the
    // top popup, as a user who right-clicked the icon and let go over an item.
    static MenuDriver RightClick(int position) { return MenuDriver({}, position); }

    // Made in place (the factories return it as a temporary), never copied or moved:
    // the timer finds it by its address.
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;
    ~MenuDriver()
    {
        if (m_timer)
            ::KillTimer(nullptr, m_timer);
        if (Active() == this)
            Active() = nullptr;
        // Keys the menu did not need any more.
        MSG msg;
        while (::PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
    }

    bool opened = false;         // a popup of this thread was seen
    bool stuck = false;          // it did not close after the keys or click, and was ended
    HMENU menu = nullptr;        // the top popup's menu
    HWND popup = nullptr;        // its window
    RECT rect{};                 // where it was, in screen coordinates
    HWND foreground = nullptr;   // the foreground window while it was open
    std::vector<MenuEntry> items;

private:
    MenuDriver(std::vector<UINT> keys, int clickPosition) : m_keys(std::move(keys)), m_clickPosition(clickPosition)
    {
        Active() = this;
        m_timer = ::SetTimer(nullptr, 0, 50, &MenuDriver::Tick);
    }

    static MenuDriver*& Active()
    {
        static MenuDriver* active = nullptr;
        return active;
    }

    static BOOL CALLBACK FindPopup(HWND window, LPARAM found)
    {
        char className[16] = "";
        ::GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32768") == 0 && ::IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        MenuDriver* self = Active();
        if (!self)
            return;
        HWND open = nullptr;
        ::EnumThreadWindows(::GetCurrentThreadId(), &MenuDriver::FindPopup, reinterpret_cast<LPARAM>(&open));
        if (!self->opened) {
            if (open)
                self->Act(open);
            return;
        }
        // Still in the menu loop, a popup shown or not (a system menu whose popup
        // was closed with Esc waits at its top level).
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &gui);
        if (!open && !(gui.flags & GUI_INMENUMODE))
            return;
        if (++self->m_ticksSinceAct > 200) {  // about ten seconds
            self->stuck = true;
            // EndMenu needs a popup on screen; the loop also ends on a cancel-mode message.
            ::EndMenu();
            ::PostThreadMessageA(::GetCurrentThreadId(), WM_CANCELMODE, 0, 0);
        }
    }

    void Act(HWND open)
    {
        opened = true;
        popup = open;
        menu = reinterpret_cast<HMENU>(::SendMessageA(open, MN_GETHMENU, 0, 0));
        ::GetWindowRect(open, &rect);
        foreground = ::GetForegroundWindow();
        items = ReadMenu(menu);
        if (m_clickPosition >= 0) {
            RECT item{};
            ::GetMenuItemRect(nullptr, menu, m_clickPosition, &item);
            ::SetCursorPos((item.left + item.right) / 2, (item.top + item.bottom) / 2);
            INPUT input[2]{};
            input[0].type = input[1].type = INPUT_MOUSE;
            input[0].mi.dwFlags = MOUSEEVENTF_RIGHTDOWN;
            input[1].mi.dwFlags = MOUSEEVENTF_RIGHTUP;
            ::SendInput(2, input, sizeof input[0]);
        } else if (m_keys.empty()) {
            ::EndMenu();
        } else {
            for (UINT key : m_keys) {
                if (key == VK_RETURN)
                    ::PostThreadMessageA(::GetCurrentThreadId(), WM_CHAR, '\r', 0);
                else
                    ::PostThreadMessageA(::GetCurrentThreadId(), WM_KEYDOWN, key, 0);
            }
        }
    }

    std::vector<UINT> m_keys;
    int m_clickPosition = -1;
    UINT_PTR m_timer = 0;
    int m_ticksSinceAct = 0;
};

// What a closed menu left in the queue for a window, in order: its commands
// ("WM_COMMAND 448", "WM_SYSCOMMAND 3200") and the WM_USER the agent posts after
// a popup. Every waiting message of the window is dispatched on the way; a quit
// request is left in the queue for the test to find.
inline std::vector<std::string> DispatchPosted(HWND window)
{
    std::vector<std::string> posted;
    MSG msg;
    while (::PeekMessageA(&msg, window, 0, 0, PM_REMOVE)) {
        // Wine hands out the quit request even to a peek for one window.
        if (msg.message == WM_QUIT) {
            ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        const char* name = msg.message == WM_COMMAND      ? "WM_COMMAND"
                           : msg.message == WM_SYSCOMMAND ? "WM_SYSCOMMAND"
                           : msg.message == WM_USER       ? "WM_USER"
                                                          : nullptr;
        if (name)
            posted.push_back(std::string(name) + " " + std::to_string(msg.wParam));
        ::DispatchMessageA(&msg);
    }
    return posted;
}
