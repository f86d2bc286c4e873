// The machine policies an administrator sets, through Group Policy or with
// `reg add` on a machine outside a domain. Group Policy writes them under
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies, in the 64-bit view on 64-bit Windows.
// The administrative templates in policy/ offer exactly the values of the table
// below (scripts/check-templates compares them).
#pragma once
#include <windows.h>

constexpr char kPolicyKeyPath[] = "SOFTWARE\\Policies\\Morvane\\Tesvo";
// A subkey whose values' data are the names of products not to update.
constexpr char kDisabledProductsKey[] = "DisabledProducts";
// REG_SZ: the catalog file a refresh reads, in place of the product key's CatalogSource.
constexpr char kCatalogSourcePolicy[] = "CatalogSource";

// A REG_DWORD policy and the values it may take.
struct DwordPolicy {
    const char* name;
    DWORD least, most;
};

enum DwordPolicyIndex {
    kUpdateDefault,        // 0: no updates on this machine; 1 (or absent): as scheduled
    kLockSchedules,        // 1: only administrators change a schedule
    kMaintenanceStart,     // minutes after local midnight the daily window opens
    kMaintenanceDuration,  // minutes it stays open
    kMaintenanceDays,      // bit 0 Sunday .. bit 6 Saturday; 0: every day
    kRandomDelayMinutes,   // each due update waits up to this long
    kDeferOnBattery,       // 1: a due update waits while on battery, a day at most
    kDwordPolicyCount
};

constexpr DwordPolicy kDwordPolicies[kDwordPolicyCount] = {
    {"UpdateDefault", 0, 1},
    {"LockSchedules", 0, 1},
    {"MaintenanceStart", 0, 1439},
    {"MaintenanceDuration", 1, 1440},
    {"MaintenanceDays", 0, 127},
    {"RandomDelayMinutes", 0, 240},
    {"DeferOnBattery", 0, 1},
};

constexpr DWORD kEveryDay = 0x7F;

// The policies in force. A value that is missing, of another type or out of its
// range counts as absent; so does a window with only one of its two values.
struct MachinePolicy {
    bool updatesOff = false;
    bool lockSchedules = false;
    bool window = false;         // a maintenance window is set
    DWORD windowStart = 0;       // minutes after midnight
    DWORD windowMinutes = 0;
    DWORD days = kEveryDay;      // the days the window opens, never 0
    DWORD randomDelayMinutes = 0;
    bool deferOnBattery = false;
    char catalogSource[MAX_PATH] = "";   // "" when the policy does not name one
};

// Where an ignored value is reported besides the journal: the service writes it
// to the event log. Null: the journal only.
using IgnoredPolicyReport = void (*)(const char* value);
IgnoredPolicyReport& IgnoredPolicyReportInForce();

// The policies as they stand now. Each value ignored is journalled once per
// process ("policy ignored" with its name) and reported; a value set right again
// counts anew.
MachinePolicy ReadMachinePolicy();

// True when the DisabledProducts list names the product.
bool IsProductDisabled(const char* name);
