// The agent's life as other programs see it: one copy at a time, presented by
// Windows version, and ended by closing its hidden marker window.
#include "tests/support/E2EFixture.h"

// Two starts leave one copy, whether the first is up or was started a few
// milliseconds before: the other ends at once, before the update library.
TEST_F(E2ETest, OfTwoStartsOneCopyStaysAndTheOtherEndsAtOnce)
{
    for (bool firstIsUp : {true, false}) {
        AgentCopy first, second;
        ASSERT_TRUE(first.Start());
        if (firstIsUp)
            ASSERT_TRUE(first.WaitForMarker(kStartMs));
        else
            ::Sleep(5);
        ASSERT_TRUE(second.Start());
        ASSERT_TRUE(WaitUntil([&] { return !first.Running() || !second.Running(); }, kStartMs)) << firstIsUp;
        PumpMessages(1000);
        const AgentCopy& stays = first.Running() ? first : second;
        const AgentCopy& ended = first.Running() ? second : first;
        EXPECT_TRUE(stays.Running() && !ended.Running()) << firstIsUp;
        EXPECT_TRUE(!firstIsUp || &stays == &first);
        EXPECT_EQ(0u, ended.ExitCode());
        EXPECT_TRUE(ended.JournalLines().empty());
        EXPECT_EQ(stays.WaitForMarker(kStartMs), FindMarker());
        ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
        EXPECT_TRUE(stays.WaitForExit(kStartMs));
    }
}

namespace {

struct VersionCase {
    const char* version;
    bool systemMenuMode;
};

class WindowsVersionTest : public E2ETest, public ::testing::WithParamInterface<VersionCase> {};

} // namespace

// NT 3.x and Win32s get a minimized window whose caption is the status; the
// rest get only the notification icon and no visible window. Either way the
// marker stays hidden, and closing it ends the agent cleanly.
TEST_P(WindowsVersionTest, PicksThePresentationByVersionAndEndsWhenTheMarkerCloses)
{
    ASSERT_TRUE(StartAgent(GetParam().version));
    if (GetParam().systemMenuMode) {
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, kStartMs));
        EXPECT_TRUE(::IsIconic(window));
        EXPECT_EQ("No Update.", Caption());
    } else {
        PumpMessages(1000);
        EXPECT_FALSE(::IsWindowVisible(window));
    }
    EXPECT_FALSE(::IsWindowVisible(FindMarker()));
    EXPECT_TRUE(CloseAgent());
}

INSTANTIATE_TEST_SUITE_P(Versions, WindowsVersionTest,
                         ::testing::Values(VersionCase{"win31", true}, VersionCase{"nt40", false}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) { return std::string(info.param.version); });
