// The arithmetic of held updates: delay, battery and window.
#include "korvante/PolicyHold.h"
#include "korvante/LocalDate.h"
#include "korvante/SystemCalls.h"
#include "korvante/TimeText.h"
#include <cmath>

namespace {

constexpr double kSecond = 1.0 / 86400.0;
constexpr double kMinute = 1.0 / 1440.0;

// Day 0 of the dates, 30 December 1899, was a Saturday.
int Weekday(double day)
{
    return static_cast<int>((static_cast<long long>(std::floor(day)) + 6) % 7);
}

// A well-mixed number from the machine and the due second: the same draw again
// after a restart, a different one on the next machine.
unsigned long Mix(unsigned long seed, long long second)
{
    unsigned long long x = (static_cast<unsigned long long>(seed) << 32) ^ static_cast<unsigned long long>(second);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<unsigned long>(x);
}

// The date of a change of the clock in that year: a fixed date, or the nth
// (5: last) weekday of the month, at the hour given in the time before the change.
double ChangeDate(const SYSTEMTIME& rule, int year)
{
    if (rule.wMonth == 0)
        return 0.0;
    if (rule.wYear != 0)
        return rule.wYear == year ? DateFromFields(year, rule.wMonth, rule.wDay, rule.wHour, rule.wMinute, 0) : 0.0;
    const double first = DateFromFields(year, rule.wMonth, 1, 0, 0, 0);
    if (first == 0.0)
        return 0.0;
    double day = first + (rule.wDayOfWeek - Weekday(first) + 7) % 7 + 7.0 * (rule.wDay - 1);
    // "The fifth" means the last: back a week while the day has left the month.
    SYSTEMTIME fields;
    while (FieldsFromDate(day, fields) && fields.wMonth != rule.wMonth)
        day -= 7.0;
    return day + rule.wHour / 24.0 + rule.wMinute * kMinute;
}

// The wall-clock hour the spring change skips on that day: [start, start + length).
bool SpringGap(const PolicyWorld& world, double day, double& start, double& length)
{
    if (!world.zoneKnown)
        return false;
    const long jump = world.zone.StandardBias - world.zone.DaylightBias;
    SYSTEMTIME fields;
    if (jump <= 0 || !FieldsFromDate(day, fields))
        return false;
    start = ChangeDate(world.zone.DaylightDate, fields.wYear);
    length = jump * kMinute;
    return start != 0.0 && std::floor(start) == std::floor(day);
}

// The first time from t on at which the window is open.
double NextOpenTime(const MachinePolicy& policy, const PolicyWorld& world, double t)
{
    const double startMinutes = policy.window ? policy.windowStart : 0;
    const double lengthMinutes = policy.window ? policy.windowMinutes : 1440;
    // A window opens at most a day before t and contains t, or opens within the week.
    for (int k = -1; k <= 8; ++k) {
        const double day = std::floor(t) + k;
        if (!(policy.days & (1u << Weekday(day))))
            continue;
        double open = day + startMinutes * kMinute, close = open + lengthMinutes * kMinute;
        double gap = 0.0, gapLength = 0.0;
        // The skipped hour may fall on the day the window opens or, across
        // midnight, the next.
        for (int d = 0; d <= 1; ++d) {
            if (SpringGap(world, day + d, gap, gapLength) && open < gap + gapLength && close > gap) {
                if (open >= gap)
                    open = gap + gapLength;
                close += gapLength;
            }
        }
        if (SecondsOf(t) >= SecondsOf(open) && SecondsOf(t) < SecondsOf(close))
            return t;
        if (SecondsOf(open) > SecondsOf(t))
            return WholeSeconds(open);
    }
    return t;   // no day in the mask: never reached, the mask is never 0
}

} // namespace

PolicyWorld CurrentPolicyWorld()
{
    PolicyWorld world;
    BOOL(WINAPI * getSystemPowerStatus)(SYSTEM_POWER_STATUS*);
    SYSTEM_POWER_STATUS power{};
    // NT 4 and earlier know no power status: such a machine counts as on the mains.
    if (BindCall(getSystemPowerStatus, ::GetModuleHandleA("kernel32.dll"), "GetSystemPowerStatus") &&
        getSystemPowerStatus(&power))
        world.onBattery = power.ACLineStatus == 0;
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof name;
    ::GetComputerNameA(name, &size);
    world.machineSeed = 2166136261u;
    for (const char* c = name; *c; ++c)
        world.machineSeed = (world.machineSeed ^ static_cast<unsigned char>(*c)) * 16777619u;
    world.zoneKnown = ::GetTimeZoneInformation(&world.zone) != TIME_ZONE_ID_INVALID;
    return world;
}

double PolicyRunTime(const MachinePolicy& policy, bool productDisabled, double due, double now,
                     const PolicyWorld& world)
{
    if (policy.updatesOff || productDisabled)
        return kHeldOff;
    double t = due;
    if (policy.randomDelayMinutes) {
        const unsigned long span = policy.randomDelayMinutes * 60 + 1;
        t = WholeSeconds(due + (Mix(world.machineSeed, SecondsOf(due)) % span) * kSecond);
    }
    // On battery the update waits for the mains, a day past due at the most.
    const double batteryLimit = due + 1.0;
    if (policy.deferOnBattery && world.onBattery && SecondsOf(now) < SecondsOf(batteryLimit) &&
        SecondsOf(t) < SecondsOf(batteryLimit))
        t = batteryLimit;
    if (policy.window || policy.days != kEveryDay)
        t = NextOpenTime(policy, world, t);
    return t;
}

double HeldRunTime(const char* name, double due)
{
    return PolicyRunTime(ReadMachinePolicy(), IsProductDisabled(name), due, Now(), CurrentPolicyWorld());
}

double ReportedTime(const char* name, double stored, double none)
{
    if (!name || !*name || stored == 0.0)
        return stored;
    const double allowed = HeldRunTime(name, stored);
    return allowed == kHeldOff ? none : allowed;
}
