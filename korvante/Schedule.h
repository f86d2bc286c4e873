// Schedule kinds and the next time a schedule comes round.
#pragma once
#include "engine/Korvante.h"

// Kind 3 is the contract's kKindNotAdvanced: once, at the next a minutes after
// midnight; never moved on.
enum ScheduleKind {
    kKindNone = 0,     // no schedule
    kKindDaily = 1,    // every day at a minutes after midnight
    kKindWeekly = 2,   // every week on weekday b (0 = Sunday) at a minutes after midnight
    kKindHourly = 4,   // every a hours
};

constexpr int kMinutesPerDay = 24 * 60;
constexpr int kMaxHours = 24 * 366;

// Kinds whose time moves on to the next occurrence once it has passed.
bool IsRecurring(int kind);
// Kinds whose a is a time of day in minutes.
bool UsesTimeOfDay(int kind);
// The first time of the schedule strictly after now, in whole seconds; 0.0 for
// kind none, an unknown kind or an argument out of range.
double NextOccurrence(int kind, int a, int b, double now);
