// What the menu tests share: menus read as the user sees them, the agent menu
// expected in a state, a driver that plays the user in a popup of this thread,
// and the agent's state after a choice.
#pragma once
#include "tests/support/AgentFixture.h"
#include "tests/support/SameSequence.h"
#include "app/resource.h"
#include <algorithm>

// One item as the user sees it; its label tells what it shows and sends:
// "Alpha 448", "Schedule Update >", "---", "Activate Agent 4800 (grayed)".
struct MenuEntry {
    std::string label;
    UINT id = 0;
    std::vector<MenuEntry> sub;
};

inline std::vector<MenuEntry> ReadMenu(HMENU menu)
{
    std::vector<MenuEntry> items;
    for (int pos = 0, count = ::GetMenuItemCount(menu); pos < count; ++pos) {
        MenuEntry item;
        item.id = ::GetMenuItemID(menu, pos);
        char text[256] = "";
        ::GetMenuStringA(menu, pos, text, sizeof text, MF_BYPOSITION);
        const UINT state = ::GetMenuState(menu, pos, MF_BYPOSITION);
        HMENU sub = ::GetSubMenu(menu, pos);
        const bool separator = !sub && (state & MF_SEPARATOR) != 0;
        item.label = sub ? std::string(text) + " >" : separator ? "---" : text + (" " + std::to_string(item.id));
        // A separator reads as grayed too; only items that can be chosen count.
        if (!separator && (state & (MF_GRAYED | MF_DISABLED)) != 0)
            item.label += " (grayed)";
        if (sub)
            item.sub = ReadMenu(sub);
        items.push_back(item);
    }
    return items;
}

inline std::vector<std::string> Labels(const std::vector<MenuEntry>& items)
{
    std::vector<std::string> labels;
    for (const MenuEntry& item : items)
        labels.push_back(item.label);
    return labels;
}

// The agent menu's rows on top of items, its products in order, and the one
// item the state grays: Activate while active, Suspend while suspended.
inline ::testing::AssertionResult ShowsAgentMenu(const std::vector<MenuEntry>& items,
                                                 const std::vector<std::string>& products, bool active)
{
    std::vector<std::string> rows = {"Schedule Update >", "Suspend Agent 3200", "Activate Agent 4800", "---",
                                     "Close 1600"};
    rows[active ? 2 : 1] += " (grayed)";
    const std::vector<std::string> labels = Labels(items);
    ::testing::AssertionResult same =
        SameSequence(rows, {labels.begin(), labels.begin() + std::min(rows.size(), labels.size())});
    return same ? SameSequence(products, Labels(items[0].sub)) : same;
}

// The keys a user presses in an open menu.
constexpr UINT Up = VK_UP, Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN, Esc = VK_ESCAPE;

// Plays the user in the next menu this thread opens. A menu's modal loop
// dispatches timer messages, so a thread timer finds the popup (class
// "#32768"), records it, then presses the keys (Enter as the character '\r'),
// releases the right button over the item at clickPosition, or, given neither,
// closes the menu without a choice. Keys go to the thread, not to a popup: a
// popup that closes takes the messages waiting for it along.
class MenuDriver {
public:
    explicit MenuDriver(std::vector<UINT> keys = {}, int clickPosition = -1)
        : m_keys(std::move(keys)), m_clickPosition(clickPosition), m_timer(::SetTimer(nullptr, 0, 50, &Tick))
    {
        s_active = this;
    }
    MenuDriver(const MenuDriver&) = delete;
    MenuDriver& operator=(const MenuDriver&) = delete;
    ~MenuDriver()
    {
        ::KillTimer(nullptr, m_timer);
        s_active = nullptr;
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
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD)
    {
        const HWND open = FindProcessWindow(::GetCurrentProcessId(), "#32768", true);
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        ::GetGUIThreadInfo(::GetCurrentThreadId(), &gui);
        if (!s_active)
            return;
        if (!s_active->opened && open)
            s_active->Act(open);
        // Still in the menu loop, a popup shown or not? End it in time.
        else if (s_active->opened && (open || (gui.flags & GUI_INMENUMODE)) && ++s_active->m_ticks > 200) {
            s_active->stuck = true;
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
            ::PostThreadMessageA(::GetCurrentThreadId(), key == Enter ? WM_CHAR : WM_KEYDOWN, key == Enter ? '\r' : key,
                                 0);
    }

    inline static MenuDriver* s_active = nullptr;
    std::vector<UINT> m_keys;
    int m_clickPosition;
    UINT_PTR m_timer;
    int m_ticks = 0;
};

// What a closed menu left in the queue for a window, in order ("WM_COMMAND
// 448", "WM_USER 0"), each dispatched on the way; a quit request stays queued.
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
        if (msg.message == WM_COMMAND || msg.message == WM_USER)
            posted.push_back((msg.message == WM_USER ? "WM_USER " : "WM_COMMAND ") + std::to_string(msg.wParam));
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

    // The library edits asked for since the calls were last forgotten: the one named, or none.
    static ::testing::AssertionResult Edited(const char* edit)
    {
        return SameSequence(edit ? std::vector<std::string>{edit} : std::vector<std::string>{},
                            g_fakeEngine.CallsStartingWith({"EditSchedule"}));
    }

    // The agent still runs, with its icon, in the given state; or, when it was
    // told to close, it asked to end and took its icon away.
    ::testing::AssertionResult Outcome(bool active, bool closed)
    {
        MSG quit;
        if ((::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != FALSE) != closed)
            return ::testing::AssertionFailure() << "the agent " << (closed ? "did not ask" : "asked") << " to end";
        if (closed)
            return agent.shownIcons.empty() ? ::testing::AssertionSuccess()
                                            : ::testing::AssertionFailure() << "the icon is still shown";
        if (!::IsWindow(agent.m_hWnd) || !agent.shownIcons.count(kTrayIconId))
            return ::testing::AssertionFailure() << "the agent window or its icon is gone";
        if (!agent.m_bActive != !active)
            return ::testing::AssertionFailure() << (active ? "the agent was suspended" : "the agent was activated");
        return ::testing::AssertionSuccess();
    }
};
