// The machine policies: what is read and what is ignored, and when a held
// update may start (window, days, clock changes, random delay, battery).
#include "framework/OleDateTime.h"
#include "korvante/PolicyHold.h"
#include "tests/support/WineHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstring>

namespace {

struct Value {
    const char* name;
    DWORD type;       // REG_DWORD or REG_SZ
    DWORD number;
    const char* text;
};

void SetPolicies(std::initializer_list<Value> values)
{
    DeletePolicies();
    for (const Value& v : values)
        v.type == REG_DWORD ? SetPolicyValue(v.name, v.number) : SetPolicyValue(v.name, std::string(v.text));
}

// The policy in force, in one line.
std::string Describe(const MachinePolicy& p)
{
    char line[512];
    ::wsprintfA(line, "%s%s window=%lu+%lu days=%lx delay=%lu battery=%d source=%s", p.updatesOff ? "off" : "on",
                p.lockSchedules ? " locked" : "", p.window ? p.windowStart : 0, p.window ? p.windowMinutes : 0,
                p.days, p.randomDelayMinutes, p.deferOnBattery, p.catalogSource);
    return line;
}

std::string g_ignored;
void NoteIgnored(const char* value)
{
    g_ignored += std::string(" ") + value;
}

class MachinePolicyTest : public ::testing::Test {
protected:
    void TearDown() override { DeletePolicies(); }
};

std::string Text(double time)
{
    return time == kHeldOff ? "held off" : std::string(COleDateTime(time).Format("%Y-%m-%d %H:%M:%S"));
}

double At(int month, int day, int hour, int minute)
{
    return COleDateTime(2027, month, day, hour, minute, 0).m_dt;
}

} // namespace

TEST_F(MachinePolicyTest, EachValueIsObeyedInItsRangeAndIgnoredOnceOtherwise)
{
    const std::string defaults = "on window=0+0 days=7f delay=0 battery=0 source=";
    struct Case {
        std::initializer_list<Value> values;
        const char* policy;   // null: the defaults
        const char* ignored;
    } cases[] = {
        {{}, nullptr, ""},
        {{{"UpdateDefault", REG_DWORD, 0, ""}}, "off window=0+0 days=7f delay=0 battery=0 source=", ""},
        {{{"UpdateDefault", REG_DWORD, 1, ""}}, nullptr, ""},
        {{{"UpdateDefault", REG_DWORD, 2, ""}}, nullptr, " UpdateDefault"},
        {{{"UpdateDefault", REG_SZ, 0, "0"}}, nullptr, " UpdateDefault"},
        {{{"LockSchedules", REG_DWORD, 1, ""}}, "on locked window=0+0 days=7f delay=0 battery=0 source=", ""},
        {{{"MaintenanceStart", REG_DWORD, 1320, ""}, {"MaintenanceDuration", REG_DWORD, 240, ""}},
         "on window=1320+240 days=7f delay=0 battery=0 source=", ""},
        {{{"MaintenanceStart", REG_DWORD, 1320, ""}}, nullptr, " MaintenanceStart"},
        {{{"MaintenanceStart", REG_DWORD, 1440, ""}, {"MaintenanceDuration", REG_DWORD, 60, ""}}, nullptr,
         " MaintenanceStart MaintenanceDuration"},
        {{{"MaintenanceStart", REG_DWORD, 0, ""}, {"MaintenanceDuration", REG_DWORD, 0, ""}}, nullptr,
         " MaintenanceStart MaintenanceDuration"},
        {{{"MaintenanceDays", REG_DWORD, 0, ""}}, nullptr, ""},
        {{{"MaintenanceDays", REG_DWORD, 0x41, ""}}, "on window=0+0 days=41 delay=0 battery=0 source=", ""},
        {{{"MaintenanceDays", REG_DWORD, 0x80, ""}}, nullptr, " MaintenanceDays"},
        {{{"RandomDelayMinutes", REG_DWORD, 240, ""}}, "on window=0+0 days=7f delay=240 battery=0 source=", ""},
        {{{"RandomDelayMinutes", REG_DWORD, 241, ""}}, nullptr, " RandomDelayMinutes"},
        {{{"DeferOnBattery", REG_DWORD, 1, ""}}, "on window=0+0 days=7f delay=0 battery=1 source=", ""},
        {{{"CatalogSource", REG_SZ, 0, "\\\\server\\share\\Tesvo.cfg"}},
         "on window=0+0 days=7f delay=0 battery=0 source=\\\\server\\share\\Tesvo.cfg", ""},
        {{{"CatalogSource", REG_DWORD, 1, ""}}, nullptr, " CatalogSource"},
    };
    IgnoredPolicyReportInForce() = NoteIgnored;
    for (const Case& c : cases) {
        SetPolicies(c.values);
        g_ignored.clear();
        const std::string read = Describe(ReadMachinePolicy());
        const std::string what = c.values.size() ? c.values.begin()->name : "nothing";
        EXPECT_EQ(read, c.policy ? c.policy : defaults) << what;
        EXPECT_EQ(g_ignored, c.ignored) << what;
        // Reported once, not at every read.
        g_ignored.clear();
        ReadMachinePolicy();
        EXPECT_EQ(g_ignored, "") << what;
        // Set right, and then wrong again, it is reported again.
        SetPolicies({});
        ReadMachinePolicy();
    }
    IgnoredPolicyReportInForce() = nullptr;
}

TEST_F(MachinePolicyTest, OnlyTheProductsTheListNamesAreDisabled)
{
    SetPolicyValue("1", "Beta", kDisabledProductsKey);
    SetPolicyValue("2", "Gamma Suite", kDisabledProductsKey);
    EXPECT_EQ(std::to_string(IsProductDisabled("Alpha")) + std::to_string(IsProductDisabled("beta")) +
                  std::to_string(IsProductDisabled("Gamma Suite")) + std::to_string(IsProductDisabled("Gamma")),
              "0110");
}

TEST_F(MachinePolicyTest, AHeldUpdateStartsAtTheFirstMomentThePolicyAllows)
{
    // Europe's rule: the last Sunday of March at 02:00 the clock goes to 03:00
    // (28 March 2027), back on the last Sunday of October.
    PolicyWorld europe;
    europe.zoneKnown = true;
    europe.zone.StandardBias = 0;
    europe.zone.DaylightBias = -60;
    europe.zone.DaylightDate = {0, 3, 0, 5, 2, 0, 0, 0};
    europe.zone.StandardDate = {0, 10, 0, 5, 3, 0, 0, 0};
    MachinePolicy night;   // 22:00 for four hours, across midnight
    night.window = true;
    night.windowStart = 22 * 60;
    night.windowMinutes = 240;
    MachinePolicy twoAm = night;   // 02:00 for an hour, on Sundays (bit 0) and Tuesdays (bit 2)
    twoAm.windowStart = 120;
    twoAm.windowMinutes = 60;
    twoAm.days = 0x05;
    MachinePolicy saturdays;   // whole days only
    saturdays.days = 0x40;
    MachinePolicy off;
    off.updatesOff = true;
    MachinePolicy battery;
    battery.deferOnBattery = true;
    MachinePolicy batteryAtNight = night;
    batteryAtNight.deferOnBattery = true;
    PolicyWorld unplugged = europe;
    unplugged.onBattery = true;
    const MachinePolicy none;

    // Each seen a minute after it fell due, or as many minutes as given.
    struct Case {
        const char* what;
        const MachinePolicy& policy;
        bool disabled;
        double due;
        int seenAfter;
        const PolicyWorld& world;
        const char* runs;
    } cases[] = {
        {"no policy", none, false, At(3, 1, 12, 0), 1, europe, "2027-03-01 12:00:00"},
        {"updates off", off, false, At(3, 1, 12, 0), 1, europe, "held off"},
        {"a disabled product", none, true, At(3, 1, 12, 0), 1, europe, "held off"},
        {"before the window", night, false, At(3, 1, 12, 0), 1, europe, "2027-03-01 22:00:00"},
        {"inside it, before midnight", night, false, At(3, 1, 23, 30), 1, europe, "2027-03-01 23:30:00"},
        {"inside it, after midnight", night, false, At(3, 2, 1, 30), 1, europe, "2027-03-02 01:30:00"},
        {"at its close", night, false, At(3, 2, 2, 0), 1, europe, "2027-03-02 22:00:00"},
        {"a Monday, for Tuesday's window", twoAm, false, At(3, 22, 12, 0), 1, europe, "2027-03-23 02:00:00"},
        {"the night the clock skips 02:00", twoAm, false, At(3, 28, 1, 0), 1, europe, "2027-03-28 03:00:00"},
        {"that night, still open an hour", twoAm, false, At(3, 28, 3, 30), 1, europe, "2027-03-28 03:30:00"},
        {"the night the clock goes back", twoAm, false, At(10, 31, 1, 0), 1, europe, "2027-10-31 02:00:00"},
        {"a Thursday, for Saturdays", saturdays, false, At(3, 4, 9, 0), 1, europe, "2027-03-06 00:00:00"},
        {"on a Saturday", saturdays, false, At(3, 6, 9, 0), 1, europe, "2027-03-06 09:00:00"},
        {"on battery", battery, false, At(3, 1, 12, 0), 60, unplugged, "2027-03-02 12:00:00"},
        {"on battery a day", battery, false, At(3, 1, 12, 0), 24 * 60 + 1, unplugged, "2027-03-01 12:00:00"},
        {"on the mains", battery, false, At(3, 1, 12, 0), 60, europe, "2027-03-01 12:00:00"},
        {"a day on battery, then the window", batteryAtNight, false, At(3, 1, 12, 0), 60, unplugged,
         "2027-03-02 22:00:00"},
    };
    for (const Case& c : cases) {
        const double now = c.due + c.seenAfter / 1440.0;
        EXPECT_EQ(Text(PolicyRunTime(c.policy, c.disabled, c.due, now, c.world)), c.runs) << c.what;
    }
}

TEST_F(MachinePolicyTest, TheRandomDelayIsWithinItsBoundAndTheSameForOneMachineAndOneDueTime)
{
    MachinePolicy delayed;
    delayed.randomDelayMinutes = 240;
    const double due = At(5, 4, 3, 0), now = due;
    PolicyWorld machine;
    double least = 1.0, most = 0.0;
    for (unsigned long seed = 1; seed <= 50; ++seed) {
        machine.machineSeed = seed * 2654435761u;
        const double runs = PolicyRunTime(delayed, false, due, now, machine);
        EXPECT_EQ(runs, PolicyRunTime(delayed, false, due, now, machine)) << "the same draw again";
        EXPECT_GE(runs, due);
        EXPECT_LE(runs, due + 240.0 / 1440.0 + 1e-9);
        least = std::min(least, runs - due);
        most = std::max(most, runs - due);
    }
    // Fifty machines spread over the four hours, not into one minute.
    EXPECT_GT((most - least) * 1440.0, 120.0);
}
