// The agent's life as other programs see it: one copy at a time, presented by
// Windows version, and ended by closing its hidden marker window.
#include "tests/support/E2EFixture.h"

TEST_F(E2ETest, ASecondCopyEndsAtOnceAndLeavesTheFirstAlone)
{
    ASSERT_TRUE(StartAgent());
    const HWND marker = FindMarker();
    AgentCopy second;
    ASSERT_TRUE(second.Start());
    ASSERT_TRUE(second.WaitForExit(kStartMs));
    EXPECT_EQ(0u, second.ExitCode());
    // The second copy never got as far as the update library.
    EXPECT_TRUE(second.JournalLines().empty());
    EXPECT_TRUE(agent.Running());
    EXPECT_EQ(marker, FindMarker());
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
