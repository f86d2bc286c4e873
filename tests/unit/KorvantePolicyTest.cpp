// The library under machine policies: what a policy holds back is not passed,
// the agent is told when it will run, and it runs once the policy allows.
#include "korvante/MachinePolicy.h"
#include "tests/unit/KorvanteFixture.h"
#include <cmath>
#include <cstring>

namespace {

class KorvantePolicyTest : public KorvanteTest {
protected:
    void TearDown() override
    {
        DeletePolicies();
        KorvanteTest::TearDown();
    }
    // The policy key holds exactly these values (and the products listed as disabled).
    static void Policies(std::initializer_list<std::pair<const char*, DWORD>> values,
                         std::initializer_list<const char*> disabled = {})
    {
        DeletePolicies();
        for (const auto& [name, data] : values)
            SetPolicyValue(name, data);
        int index = 0;
        for (const char* product : disabled)
            SetPolicyValue(std::to_string(++index).c_str(), product, kDisabledProductsKey);
    }
    // A daily product due a minute ago, with a command that succeeds.
    static void DueProduct(const char* name)
    {
        Schedule(name, 1, 600, 0, Now() - kMinute);
        SetEntryValue(name, "UpdateCommand", "cmd.exe /c exit 0");
    }
    // A program of the user's own asks for the update the agent was told of.
    std::string AskToRun(const char* name)
    {
        char engine[260] = "";
        COleDateTime due;
        GetDueTime(name, &due);
        RunUpdate(name, engine, nullptr, nullptr, 0);
        return engine;
    }
};

// Minutes after midnight, a given number of hours from now.
DWORD MinuteOfDayIn(double hours)
{
    const double then = COleDateTime::GetCurrentTime().m_dt + hours / 24.0;
    return static_cast<DWORD>((then - std::floor(then)) * 1440.0) % 1440;
}

} // namespace

TEST_F(KorvantePolicyTest, AHeldUpdateIsNotPassedAndRunsOnceThePolicyAllows)
{
    const DWORD inThreeHours = MinuteOfDayIn(3.0);
    const struct {
        const char* what;
        std::initializer_list<std::pair<const char*, DWORD>> values;
        std::initializer_list<const char*> disabled;
        const char* alphaShown;   // GetNextTime's time for Alpha, as text, or "later"
        const char* updated;
    } cases[] = {
        {"updates off", {{"UpdateDefault", 0}}, {}, "none", ""},
        {"Alpha disabled", {}, {"Alpha"}, "none", " Beta"},
        {"a window three hours away", {{"MaintenanceStart", inThreeHours}, {"MaintenanceDuration", 60}}, {}, "later", ""},
        {"updates on", {{"UpdateDefault", 1}}, {}, "due", " Alpha Beta"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        DeleteProductKey();
        RegisterProducts({"Alpha", "Beta"});
        DueProduct("Alpha");
        DueProduct("Beta");
        const std::string alphaDue = ReadEntryString("Alpha", "NextTime");
        Policies(c.values, c.disabled);
        const std::string shown = NextText("Alpha");
        const bool later = shown != "none" && shown > Text(Now() + 2.9 / 24);
        EXPECT_EQ(shown == alphaDue ? "due" : later ? "later" : shown, c.alphaShown);
        // Held is not run by the agent, nor by a program that asks all the same.
        if (std::string(c.alphaShown) != "due") {
            EXPECT_EQ(AskToRun("Alpha"), "held by policy");
        }
        EXPECT_EQ(RunDue({"Alpha", "Beta"}), c.updated);
        if (std::string(c.updated).find("Alpha") == std::string::npos) {
            // Not passed: the stored time stands, and once the policy goes the update runs.
            EXPECT_EQ(ReadEntryString("Alpha", "NextTime"), alphaDue);
            Policies({});
            EXPECT_EQ(NextText("Alpha"), alphaDue);
            EXPECT_EQ(RunDue({"Alpha"}), " Alpha");
        }
        EXPECT_EQ(ReadEntryString("Alpha", "LastOutcome"), "exit 0");
    }
}
