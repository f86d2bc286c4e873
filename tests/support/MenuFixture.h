// What the menu tests share: menus read as the user sees them, a driver that
// plays the user in a menu this thread tracks, and an agent whose state after
// a choice can be checked.
#pragma once
#include "support/AgentFixture.h"
#include "support/SameSequence.h"
#include "app/resource.h"

// One item as the user sees it.
struct MenuEntry {
    UINT id = 0;                 // 0 for a separator, (UINT)-1 for a submenu
    std::string text;
    bool grayed = false;
    bool separator = false;
    std::vector<MenuEntry> sub;  // the submenu's items
};

inline std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> items;
    for (int pos = 0, count = ::GetMenuItemCount(menu); pos < count; ++pos) {
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
        items.push_back(item);
    }
    return items;
}

// "Alpha 448", "Schedule Update >", "---": what each row shows and sends.
inline std::vector<std::string> Labels(const std::vector<MenuEntry>& items, bool grayedOnly = false)
{
    std::vector<std::string> labels;
    for (const MenuEntry& item : items) {
        if (grayedOnly && !item.grayed)
            continue;
        labels.push_back(item.separator                         ? "---"
                         : item.id == static_cast<UINT>(-1)     ? item.text + " >"
                                                                : item.text + " " + std::to_string(item.id));
    }
    return labels;
}
inline std::vector<std::string> Grayed(const std::vector<MenuEntry>& items) { return Labels(items, true); }

// The rows of the agent menu, in the icon popup and on top of the system menu.
const std::vector<std::string> kAgentRows = {"Schedule Update >", "Suspend Agent 3200", "Activate Agent 4800", "---",
                                             "Close 1600"};

// The keys a user presses in an open menu.
constexpr UINT Up = VK_UP, Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN, Esc = VK_ESCAPE;

// Plays the user in the next menu this thread opens. A menu's modal loop
// dispatches timer messages, so a thread timer finds the popup (class
// "#32768"), records what it shows, and then presses the keys (Enter as the
// character '\r'), releases the right button over the item at clickPosition,
// or, given neither, closes the menu without a choice. Keys go to the thread,
// not to a popup: a popup that closes takes the messages waiting for it along.
// Made in place before the call that opens the menu; the timer finds it by address.
class MenuDriver {
public:
    explicit MenuDriver(std::vector<UINT> keys = {}, int clickPosition = -1)
        : m_keys(std::move(keys)), m_clickPosition(clickPosition)
    {
        Active() = this;
        m_timer = ::SetTimer(nullptr, 0, 50, &MenuDriver::Tick);
    }
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;
    ~MenuDriver()
    {
        ::KillTimer(nullptr, m_timer);
        Active() = nullptr;
        MSG msg;   // keys the menu did not need
        while (::PeekMessageA(&msg, reinterpret_cast<HWND>(-1), WM_KEYFIRST, WM_KEYLAST, PM_REMOVE)) {
        }
    }

    bool opened = false;         // a popup of this thread was seen
    bool stuck = false;          // it did not close after the keys or click, and was ended
    HMENU menu = nullptr;        // the top popup's menu
    RECT rect{};                 // where it was, in screen coordinates
    HWND foreground = nullptr;   // the foreground window while it was open
    std::vector<MenuEntry> items;

private:
    static MenuDriver*& Active()
    {
        static MenuDriver* active = nullptr;
        return active;
    }

    static BOOL CALLBACK FindPopup(HWND window, LPARAM found)
    {
        char className[16] = "";
        ::GetClassNameA(window, className, sizeof className);
        if (lstrcmpA(className, "#32768") != 0 || !::IsWindowVisible(window))
            return TRUE;
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
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
        // Still in the menu loop, a popup shown or not (a system menu whose
        // popup was closed with Esc waits at its top level)? End it in time.
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &gui);
        if ((open || (gui.flags & GUI_INMENUMODE)) && ++self->m_ticks > 200) {
            self->stuck = true;
            ::EndMenu();
            ::PostThreadMessageA(::GetCurrentThreadId(), WM_CANCELMODE, 0, 0);
        }
    }

    void Act(HWND open)
    {
        opened = true;
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
        }
        for (UINT key : m_keys)
            ::PostThreadMessageA(::GetCurrentThreadId(), key == Enter ? WM_CHAR : WM_KEYDOWN, key == Enter ? '\r' : key, 0);
    }

    std::vector<UINT> m_keys;
    int m_clickPosition;
    UINT_PTR m_timer = 0;
    int m_ticks = 0;
};

// What a closed menu left in the queue for a window, in order: its commands
// ("WM_COMMAND 448", "WM_SYSCOMMAND 3200") and the WM_USER the agent posts
// after a popup. Each is dispatched on the way; a quit request stays queued.
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
        const char* name = msg.message == WM_COMMAND      ? "WM_COMMAND "
                           : msg.message == WM_SYSCOMMAND ? "WM_SYSCOMMAND "
                           : msg.message == WM_USER       ? "WM_USER "
                                                          : nullptr;
        if (name)
            posted.push_back(name + std::to_string(msg.wParam));
        ::DispatchMessageA(&msg);
    }
    return posted;
}

class MenuTest : public AgentTest {
protected:
    void SetUp() override
    {
        AgentTest::SetUp();
        // Where a notification area would be: bottom right, clear of the popups
        // the tests open, so that no pointer movement changes their selection.
        ::SetCursorPos(::GetSystemMetrics(SM_CXSCREEN) - 8, ::GetSystemMetrics(SM_CYSCREEN) - 8);
    }

    // The library edits asked for since the calls were last forgotten.
    std::vector<std::string> Edits() const { return g_fakeEngine.CallsStartingWith({"EditSchedule"}); }

    // The agent still runs, with its icon, in the given state; or, when it was
    // told to close, it asked to end and took its icon away.
    ::testing::AssertionResult Outcome(BOOL active, bool closed = false)
    {
        MSG quit;
        const bool quitting = ::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE;
        if (quitting != closed)
            return ::testing::AssertionFailure() << (closed ? "the agent did not ask to end" : "the agent asked to end");
        if (closed)
            return agent.shownIcons.empty() ? ::testing::AssertionSuccess()
                                            : ::testing::AssertionFailure() << "the icon is still shown";
        if (!::IsWindow(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the agent window is gone";
        if (!agent.m_bActive != !active)
            return ::testing::AssertionFailure() << (active ? "the agent was suspended" : "the agent was activated");
        if (!agent.shownIcons.count(kTrayIconId))
            return ::testing::AssertionFailure() << "the notification icon is gone";
        return ::testing::AssertionSuccess();
    }
};

// Product commands that a menu must never hand out: the agent's own commands,
// the system commands, and numbers the system menu would cut to another.
inline ::testing::AssertionResult ProductCommandsAreClear(const std::vector<MenuEntry>& items)
{
    for (const MenuEntry& item : items) {
        if (item.id == ID_CLOSE_AGENT || item.id == ID_SUSPEND_AGENT || item.id == ID_ACTIVATE_AGENT ||
            item.id >= 0xF000 || item.id % 16 != 0)
            return ::testing::AssertionFailure() << "\"" << item.text << "\" carries " << item.id;
    }
    return ::testing::AssertionSuccess();
}
