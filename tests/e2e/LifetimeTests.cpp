// The agent's life as other programs see it: one copy at a time, hidden, and
// ended by closing its marker window.
#include "support/E2EFixture.h"

TEST_F(E2ETest, RunsHiddenAndEndsWhenItsMarkerWindowIsClosed)
{
    AgentFolder folder;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(folder));
    HWND marker = agent.WaitForMarker(kStartMs);
    ASSERT_NE(nullptr, marker);
    // The start-up activation has asked the library for the default entry's time.
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));

    HWND window = agent.AgentWindow();
    ASSERT_NE(nullptr, window);
    EXPECT_FALSE(::IsWindowVisible(window));
    EXPECT_FALSE(::IsWindowVisible(marker));

    ::PostMessageA(marker, WM_CLOSE, 0, 0);
    ASSERT_TRUE(agent.WaitForExit(kStartMs));
    EXPECT_EQ(0u, agent.ExitCode());
    EXPECT_EQ(nullptr, FindMarker());
}

TEST_F(E2ETest, ASecondCopyEndsAtOnceAndLeavesTheFirstAlone)
{
    AgentFolder firstFolder, secondFolder;
    AgentProcess first, second;
    ASSERT_TRUE(first.Start(firstFolder));
    HWND marker = first.WaitForMarker(kStartMs);
    ASSERT_NE(nullptr, marker);

    ASSERT_TRUE(second.Start(secondFolder));
    ASSERT_TRUE(second.WaitForExit(kStartMs));
    EXPECT_EQ(0u, second.ExitCode());
    // The second copy never got as far as the update library.
    EXPECT_TRUE(secondFolder.JournalLines().empty());

    EXPECT_TRUE(first.Running());
    EXPECT_EQ(marker, FindMarker());
    ::PostMessageA(marker, WM_CLOSE, 0, 0);
    EXPECT_TRUE(first.WaitForExit(kStartMs));
}

TEST_F(E2ETest, StartsAndEndsCleanlyWithoutProductKeyOrCatalog)
{
    AgentFolder folder;
    ::DeleteFileA(folder.Catalog().c_str());
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(folder));
    HWND marker = agent.WaitForMarker(kStartMs);
    ASSERT_NE(nullptr, marker);
    EXPECT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));
    ::PostMessageA(marker, WM_CLOSE, 0, 0);
    ASSERT_TRUE(agent.WaitForExit(kStartMs));
    EXPECT_EQ(0u, agent.ExitCode());
}

namespace {

struct VersionCase {
    const char* version;
    bool systemMenuMode;
};

class WindowsVersionTest : public E2ETest, public ::testing::WithParamInterface<VersionCase> {};

} // namespace

// NT 3.x and Win32s get a minimized window whose caption is the status; the
// rest get only the notification icon and no visible window.
TEST_P(WindowsVersionTest, PicksThePresentationByVersion)
{
    SetAgentWindowsVersion(GetParam().version);
    AgentFolder folder;
    AgentProcess agent;
    ASSERT_TRUE(agent.Start(folder));
    HWND marker = agent.WaitForMarker(kStartMs);
    ASSERT_NE(nullptr, marker);
    ASSERT_TRUE(WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs));
    HWND window = agent.AgentWindow();
    ASSERT_NE(nullptr, window);

    if (GetParam().systemMenuMode) {
        EXPECT_TRUE(WaitUntil([&] { return ::IsWindowVisible(window) != FALSE; }, kStartMs));
        EXPECT_TRUE(::IsIconic(window));
        char caption[64] = "";
        ::GetWindowTextA(window, caption, sizeof caption);
        EXPECT_STREQ("No Update.", caption);
    } else {
        PumpMessages(1000);
        EXPECT_FALSE(::IsWindowVisible(window));
    }
    ::PostMessageA(marker, WM_CLOSE, 0, 0);
    EXPECT_TRUE(agent.WaitForExit(kStartMs));
}

INSTANTIATE_TEST_SUITE_P(Versions, WindowsVersionTest,
                         ::testing::Values(VersionCase{"nt351", true}, VersionCase{"win31", true},
                                           VersionCase{"win95", false}, VersionCase{"", false}),
                         [](const ::testing::TestParamInfo<VersionCase>& info) {
                             return std::string(*info.param.version ? info.param.version : "default");
                         });
