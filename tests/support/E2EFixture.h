// Each end-to-end test starts from an empty product key, Wine's default Windows
// version for the agent and no copy of it running, and drives one agent process.
#pragma once
#include "tests/support/AgentProcess.h"
#include <gtest/gtest.h>
#include <shlwapi.h>
#include <algorithm>

// How long a start of the agent may take; 32-bit Wine under emulation is slow.
constexpr DWORD kStartMs = 120000;
// The stand-in library's schedule kinds: never advanced, and every a hours.
constexpr DWORD kOnce = 3, kEveryHours = 4;
// Where Wine keeps the agent's own settings: its Windows version and DLL overrides.
constexpr char kAppDefaults[] = "Software\\Wine\\AppDefaults\\Tesvo.exe";

// One entry's schedule as the library keeps it ("" is the default entry).
inline void SetEntrySchedule(const std::string& name, DWORD kind, double dueSeconds, const char* command = nullptr)
{
    SetEntryValue(name, "ScheduleKind", kind);
    SetEntryValue(name, "ScheduleA", DWORD{kind == kEveryHours ? 24u : 0u});
    SetEntryValue(name, "ScheduleB", DWORD{0});
    SetEntryValue(name, "NextTime", LocalTimeText(dueSeconds));
    if (command)
        SetEntryValue(name, "UpdateCommand", command);
}

class E2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TearDown();
        for (int i = 0; i < 10 && FindMarker(); ++i) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            ::Sleep(500);
        }
        ASSERT_EQ(nullptr, FindMarker()) << "a copy of the agent is still running";
    }

    void TearDown() override
    {
        if (agent.Running()) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            agent.WaitForExit(kStartMs);
        }
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kAppDefaults);
        DeleteProductKey();
    }

    // Starts the agent with Wine reporting version ("" for the default) and waits
    // until its start-up activation has asked the library for a time; false when
    // the agent did not get that far.
    bool StartAgent(const char* version = "")
    {
        if (*version)
            SetUserValue(kAppDefaults, "Version", version);
        return agent.Start() && agent.WaitForMarker(kStartMs) && WaitForLine("GetNextTime") &&
               (window = agent.AgentWindow()) != nullptr;
    }

    // Journal lines whose operation is one of ops, in order.
    std::vector<std::string> Ops(const std::vector<std::string>& ops) const
    {
        std::vector<std::string> kept;
        for (const std::string& line : agent.JournalLines())
            if (std::find(ops.begin(), ops.end(), line.substr(0, line.find(' '))) != ops.end())
                kept.push_back(line);
        return kept;
    }

    // Waits until some journal line starts with prefix.
    bool WaitForLine(const std::string& prefix, DWORD ms = kStartMs) const
    {
        return WaitUntil([&] { return CountLines(agent.Journal(), prefix) > 0; }, ms);
    }

    // Ends the agent through its marker window; true when it ended cleanly and took the marker along.
    bool CloseAgent()
    {
        ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
        return agent.WaitForExit(kStartMs) && agent.ExitCode() == 0 && FindMarker() == nullptr;
    }

    std::string Caption() const
    {
        char text[128] = "";
        ::GetWindowTextA(window, text, sizeof text);
        return text;
    }

    AgentCopy agent;
    HWND window = nullptr;
};
