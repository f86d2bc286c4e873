// A fresh agent per test: an empty registry, no catalog beside the program, and
// a scripted update library with nothing scheduled.
#pragma once
#include "tests/support/AgentHarness.h"
#include "tests/support/FakeEngine.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>

class AgentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_fakeEngine.Reset();
        DeleteProductKey();
        catalogPath = ProgramDir() + "Tesvo.cfg";
        ::DeleteFileA(catalogPath.c_str());
    }

    void TearDown() override
    {
        g_fakeEngine.onCall = nullptr;
        agent.Destroy();
        DeleteProductKey();
        ::DeleteFileA(catalogPath.c_str());
    }

    static double Now() { return COleDateTime::GetCurrentTime().m_dt; }
    static double SecondsFromNow(double seconds) { return Now() + seconds / 86400.0; }

    // The calls made from here on.
    void ForgetCalls() { g_fakeEngine.calls.clear(); }
    const std::vector<std::string>& Calls() const { return g_fakeEngine.calls; }
    bool Called(const std::string& line) const { return std::count(Calls().begin(), Calls().end(), line) > 0; }

    TestAgent agent;
    std::string catalogPath;
};
