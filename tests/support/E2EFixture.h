// Each end-to-end test starts from an empty product key, Wine's default Windows
// version for the agent, and no copy of the agent running.
#pragma once
#include "support/AgentProcess.h"
#include "support/WineHelpers.h"
#include <gtest/gtest.h>

// How long a start of the agent may take; 32-bit Wine under emulation is slow.
constexpr DWORD kStartMs = 120000;

class E2ETest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteProductKey();
        SetAgentWindowsVersion("");
        for (int i = 0; i < 10 && FindMarker(); ++i) {
            ::PostMessageA(FindMarker(), WM_CLOSE, 0, 0);
            ::Sleep(500);
        }
        ASSERT_EQ(nullptr, FindMarker()) << "a copy of the agent is still running";
    }

    void TearDown() override
    {
        SetAgentWindowsVersion("");
        DeleteProductKey();
    }

    // Starts the agent with Wine reporting version ("" for the default) and waits
    // until its start-up activation has asked the library for a time; returns
    // the agent window, or null when the agent did not get that far.
    static HWND StartActivated(AgentProcess& agent, const AgentFolder& folder, const char* version)
    {
        SetAgentWindowsVersion(version);
        if (!agent.Start(folder) || !agent.WaitForMarker(kStartMs) ||
            !WaitUntil([&] { return Journaled(folder, "GetNextTime"); }, kStartMs))
            return nullptr;
        return agent.AgentWindow();
    }

    // True once some journal line starts with prefix.
    static bool Journaled(const AgentFolder& folder, const std::string& prefix)
    {
        for (const std::string& line : folder.JournalLines())
            if (line.rfind(prefix, 0) == 0)
                return true;
        return false;
    }
};

// The stand-in library's registry values for one entry ("" is the default entry).
struct EntrySchedule {
    DWORD kind;
    DWORD a;
    DWORD b;
    double nextTime;            // 0.0: none
    const char* command;        // null: none
};
void SetEntrySchedule(const std::string& name, const EntrySchedule& schedule);
void SetCatalogSource(const std::string& path);
std::string ReadEntryString(const std::string& name, const char* value);
// Local time as the library stores it.
std::string TimeText(double when);
double SecondsFromNow(double seconds);
