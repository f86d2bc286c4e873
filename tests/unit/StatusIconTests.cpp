// The notification icon as the shell sees it: one icon, replaced on every
// refresh, with the status text as its tip and the state as its picture.
#include "tests/support/AgentFixture.h"
#include "app/resource.h"

namespace {

const std::string kAt = "Update At: 12/06/30 14:05:00";

// The one icon shown: its tip, and whether it has the suspended picture.
std::pair<std::string, bool> OnlyIcon(const TestAgent& agent)
{
    EXPECT_EQ(1u, agent.shownIcons.size());
    auto it = agent.shownIcons.find(kTrayIconId);
    if (it == agent.shownIcons.end())
        return {"(none)", false};
    return {it->second.tip, it->second.icon == AgentIcon(IDI_SUSPENDED)};
}

} // namespace

TEST_F(AgentTest, EveryChangeOfStateOrTimeOrShellKeepsExactlyOneIcon)
{
    // The earliest time wins, a product's over the default entry's.
    RegisterProducts({"Alpha", "Beta"});
    g_fakeEngine.entries[""].nextTime = COleDateTime(2031, 1, 2, 3, 4, 5).m_dt;
    g_fakeEngine.entries["Alpha"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
    g_fakeEngine.entries["Beta"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 1).m_dt;
    ASSERT_TRUE(agent.Start());
    const UINT taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    using Shown = std::pair<std::string, bool>;
    EXPECT_EQ(Shown(kAt, false), OnlyIcon(agent));
    // What every shell from the first one reads: the size of its record, this window and message.
    const IconCall& icon = agent.shownIcons[kTrayIconId];
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), icon.size);
    EXPECT_EQ(agent.m_hWnd, icon.window);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), icon.flags);
    EXPECT_EQ(kTrayCallbackMessage, icon.callback);
    agent.Command(ID_SUSPEND_AGENT);
    EXPECT_EQ(Shown("Tesvo: Suspended", true), OnlyIcon(agent));
    // A restarted shell knows no icon: it gets it back as it was.
    agent.shownIcons.clear();
    agent.SendMessage(taskbarCreated);
    EXPECT_EQ(Shown("Tesvo: Suspended", true), OnlyIcon(agent));
    // A time change while suspended still shows the suspended state.
    agent.SendMessage(WM_TIMECHANGE);
    EXPECT_EQ(Shown("Tesvo: Suspended", true), OnlyIcon(agent));
    agent.Command(ID_SUSPEND_AGENT);
    agent.Command(ID_ACTIVATE_AGENT);
    agent.Command(ID_ACTIVATE_AGENT);
    EXPECT_EQ(Shown(kAt, false), OnlyIcon(agent));

    // Close removes it for good and ends every message loop.
    agent.Command(ID_CLOSE_AGENT);
    EXPECT_TRUE(agent.shownIcons.empty());
    MSG msg;
    EXPECT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    agent.SendMessage(taskbarCreated);
    EXPECT_TRUE(agent.shownIcons.empty());
}

TEST_F(AgentTest, TheTipShowsAnyTimeWhateverItsStatusCutAtTheShellsField)
{
    ASSERT_TRUE(agent.Start());
    COleDateTime marked(2030, 12, 6, 14, 5, 0);
    marked.m_status = COleDateTime::invalid;
    agent.ShowStatus(marked);
    EXPECT_EQ(kAt, OnlyIcon(agent).first);
    // Zero of either sign is no time; neither is a date outside the calendar.
    for (double none : {-0.0, 1e9}) {
        agent.ShowStatus(COleDateTime(none));
        EXPECT_EQ("No Update.", OnlyIcon(agent).first) << none;
    }
    agent.ShowTrayIcon(IDI_ACTIVE, CString(std::string(200, 'x').c_str()));
    EXPECT_EQ(std::string(63, 'x'), OnlyIcon(agent).first);
    EXPECT_TRUE(agent.shownIcons[kTrayIconId].tipBounded);
    // The icon goes with the window, however it ends.
    agent.Destroy();
    EXPECT_TRUE(agent.shownIcons.empty());
}
