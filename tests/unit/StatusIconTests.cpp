// The notification icon as the shell sees it: one icon, replaced on every
// refresh, with the status text as its tip and the state as its picture.
#include "support/AgentFixture.h"
#include "app/resource.h"

namespace {

const IconCall& OnlyIcon(const TestAgent& agent)
{
    EXPECT_EQ(1u, agent.shownIcons.size());
    static const IconCall none{};
    auto it = agent.shownIcons.find(kTrayIconId);
    return it == agent.shownIcons.end() ? none : it->second;
}

} // namespace

TEST_F(AgentTest, StartUpShowsOneActiveIconWithNoUpdate)
{
    ASSERT_TRUE(agent.Start());
    const IconCall& icon = OnlyIcon(agent);
    EXPECT_EQ("No Update.", icon.tip);
    EXPECT_EQ(AgentIcon(IDI_ACTIVE), icon.icon);
    EXPECT_EQ(agent.m_hWnd, icon.window);
    EXPECT_EQ(static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP), icon.flags);
    EXPECT_EQ(kTrayCallbackMessage, icon.callback);
    EXPECT_EQ(static_cast<DWORD>(NOTIFYICONDATAA_V1_SIZE), icon.size);
    // Every add is preceded by a delete of the same icon.
    ASSERT_GE(agent.iconCalls.size(), 2u);
    EXPECT_EQ(static_cast<DWORD>(NIM_DELETE), agent.iconCalls[agent.iconCalls.size() - 2].message);
}

TEST_F(AgentTest, TipShowsTheEarliestTimeAProductTimeEarlierThanTheDefaultWins)
{
    RegisterProducts({"Alpha", "Beta"});
    g_fakeEngine.entries[""].nextTime = COleDateTime(2031, 1, 2, 3, 4, 5).m_dt;
    g_fakeEngine.entries["Alpha"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
    g_fakeEngine.entries["Beta"].nextTime = COleDateTime(2030, 12, 6, 14, 5, 1).m_dt;
    ASSERT_TRUE(agent.Start());
    EXPECT_EQ("Update At: 12/06/30 14:05:00", OnlyIcon(agent).tip);
}

TEST_F(AgentTest, SuspendActivateAndTimeChangesKeepExactlyOneIcon)
{
    g_fakeEngine.entries[""].nextTime = COleDateTime(2030, 12, 6, 14, 5, 0).m_dt;
    ASSERT_TRUE(agent.Start());

    agent.Command(ID_SUSPEND_AGENT);
    EXPECT_EQ("Tesvo: Suspended", OnlyIcon(agent).tip);
    EXPECT_EQ(AgentIcon(IDI_SUSPENDED), OnlyIcon(agent).icon);

    // A time change while suspended shows the time again, with the suspended picture.
    agent.SendMessage(WM_TIMECHANGE);
    EXPECT_EQ("Update At: 12/06/30 14:05:00", OnlyIcon(agent).tip);
    EXPECT_EQ(AgentIcon(IDI_SUSPENDED), OnlyIcon(agent).icon);

    agent.Command(ID_SUSPEND_AGENT);
    agent.Command(ID_ACTIVATE_AGENT);
    agent.Command(ID_ACTIVATE_AGENT);
    EXPECT_EQ("Update At: 12/06/30 14:05:00", OnlyIcon(agent).tip);
    EXPECT_EQ(AgentIcon(IDI_ACTIVE), OnlyIcon(agent).icon);

    agent.Command(ID_CLOSE_AGENT);
    EXPECT_TRUE(agent.shownIcons.empty());
    agent.Destroy();
    EXPECT_TRUE(agent.shownIcons.empty());
}

TEST_F(AgentTest, DestroyingTheWindowRemovesTheIcon)
{
    ASSERT_TRUE(agent.Start());
    agent.Destroy();
    EXPECT_TRUE(agent.shownIcons.empty());
}

TEST_F(AgentTest, TheTipShowsAnyTimeWhateverItsStatusAndNoUpdateForNone)
{
    ASSERT_TRUE(agent.Start());
    COleDateTime marked(2026, 12, 6, 14, 5, 0);
    marked.m_status = COleDateTime::invalid;
    agent.ShowStatus(marked);
    EXPECT_EQ("Update At: 12/06/26 14:05:00", OnlyIcon(agent).tip);
    // Zero of either sign is no time; neither is a date outside the calendar.
    for (double none : {-0.0, 1e9}) {
        agent.ShowStatus(COleDateTime(none));
        EXPECT_EQ("No Update.", OnlyIcon(agent).tip) << none;
    }
}

TEST_F(AgentTest, ARestartedShellGetsTheIconBackAsItWasUntilTheAgentCloses)
{
    const UINT taskbarCreated = ::RegisterWindowMessageA("TaskbarCreated");
    ASSERT_TRUE(agent.Start());
    agent.Command(ID_SUSPEND_AGENT);
    // The shell started again and knows no icon.
    agent.shownIcons.clear();
    agent.SendMessage(taskbarCreated);
    EXPECT_EQ("Tesvo: Suspended", OnlyIcon(agent).tip);
    EXPECT_EQ(AgentIcon(IDI_SUSPENDED), OnlyIcon(agent).icon);

    agent.Command(ID_CLOSE_AGENT);
    agent.SendMessage(taskbarCreated);
    EXPECT_TRUE(agent.shownIcons.empty());
}

TEST_F(AgentTest, ALongTipIsCutAtTheFieldNeverWrittenPastIt)
{
    ASSERT_TRUE(agent.Start());
    agent.ShowTrayIcon(IDI_ACTIVE, CString(std::string(200, 'x').c_str()));
    const IconCall& icon = OnlyIcon(agent);
    EXPECT_EQ(std::string(63, 'x'), icon.tip);
    EXPECT_TRUE(icon.tipBounded);
    agent.ShowTrayIcon(IDI_ACTIVE, CString(""));
    EXPECT_EQ("", OnlyIcon(agent).tip);
}
