// What the menu tests share: an agent whose menus a MenuDriver plays, long
// product lists, and checks that the agent came through a choice unharmed.
#pragma once
#include "support/AgentFixture.h"
#include "support/MenuDriver.h"
#include "app/resource.h"
#include <cstdio>

// The keys a user presses in an open menu.
constexpr UINT Up = VK_UP, Down = VK_DOWN, Right = VK_RIGHT, Enter = VK_RETURN, Esc = VK_ESCAPE;

// n keys of one kind, to walk down a long menu.
inline std::vector<UINT> Repeat(UINT key, int n) { return std::vector<UINT>(n, key); }
inline std::vector<UINT> operator+(std::vector<UINT> a, const std::vector<UINT>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
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

    // Names that the registry enumerates in the order given: P0001, P0002, ...
    static std::vector<std::string> NumberedProducts(int count)
    {
        std::vector<std::string> names;
        for (int i = 1; i <= count; ++i) {
            char name[16];
            std::snprintf(name, sizeof name, "P%04d", i);
            names.push_back(name);
        }
        return names;
    }

    // The library edits asked for since the calls were last forgotten.
    std::vector<std::string> Edits() const { return g_fakeEngine.CallsStartingWith({"EditSchedule"}); }

    // The agent still runs, with its icon, in the given state: no Close, Suspend
    // or Activate got through.
    ::testing::AssertionResult CarriesOn(BOOL active)
    {
        MSG quit;
        if (::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
            return ::testing::AssertionFailure() << "the agent asked to end";
        if (!::IsWindow(agent.m_hWnd))
            return ::testing::AssertionFailure() << "the agent window is gone";
        if (!agent.m_bActive != !active)
            return ::testing::AssertionFailure() << (active ? "the agent was suspended" : "the agent was activated");
        if (!agent.shownIcons.count(kTrayIconId))
            return ::testing::AssertionFailure() << "the notification icon is gone";
        return ::testing::AssertionSuccess();
    }

    // The agent ended through Close: its icon is gone and it asked to end.
    ::testing::AssertionResult Closed()
    {
        MSG quit;
        if (!::PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE))
            return ::testing::AssertionFailure() << "the agent did not ask to end";
        if (!agent.shownIcons.empty())
            return ::testing::AssertionFailure() << "the notification icon is still shown";
        return ::testing::AssertionSuccess();
    }
};

// Product commands that a menu must never hand out: the agent's own commands and
// the system commands.
inline ::testing::AssertionResult ProductCommandsAreClear(const std::vector<MenuEntry>& items)
{
    for (const MenuEntry& item : items) {
        if (item.id == ID_CLOSE_AGENT || item.id == ID_SUSPEND_AGENT || item.id == ID_ACTIVATE_AGENT)
            return ::testing::AssertionFailure() << "\"" << item.text << "\" carries agent command " << item.id;
        if (item.id >= 0xF000)
            return ::testing::AssertionFailure() << "\"" << item.text << "\" carries system command " << item.id;
        if (item.id % 16 != 0)
            return ::testing::AssertionFailure() << "\"" << item.text << "\" carries " << item.id
                                                 << ", which the system menu would cut to " << (item.id & 0xFFF0);
    }
    return ::testing::AssertionSuccess();
}
