// When an update that has fallen due may start under the machine policies: a
// policy holds a due time back, never passes it.
#pragma once
#include "korvante/MachinePolicy.h"

// Updates are off, or the product is disabled: it runs once the policy goes.
constexpr double kHeldOff = -1.0;

// What a hold depends on besides the policy; the tests give their own.
struct PolicyWorld {
    bool onBattery = false;
    unsigned long machineSeed = 0;   // one machine's own: its name's hash
    bool zoneKnown = false;          // zone holds the rules of the clock's changes
    TIME_ZONE_INFORMATION zone{};
};

// The running machine's.
PolicyWorld CurrentPolicyWorld();

// The earliest local time at which an update due at `due` may start, seen at
// `now`: due itself when nothing holds it; kHeldOff while updates are off or the
// product is disabled. In order: the random delay (the same for one machine and
// one due time), the battery (held at most a day past due), then the window
// (the next opening on one of its days, the whole day on those days when only
// days are set). Local wall-clock times; a window that the spring change of the
// clock cuts into still opens, and stays open for its whole length.
double PolicyRunTime(const MachinePolicy& policy, bool productDisabled, double due, double now,
                     const PolicyWorld& world);

// The same for a product under the policies in force now, on this machine.
double HeldRunTime(const char* name, double due);
// What the agent is told of a product's stored time: when its update may start
// (the stored time itself when nothing holds it), or `none` while the policies
// hold it off; the default entry's and a missing time as they are.
double ReportedTime(const char* name, double stored, double none);
