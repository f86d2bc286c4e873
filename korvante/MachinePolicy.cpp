// Reading the machine policies, each value checked before it is obeyed.
#include "korvante/MachinePolicy.h"
#include "korvante/Journal.h"
#include "korvante/PolicyKey.h"
#include <cstring>

namespace {

// Bit i: value i of the table was reported as ignored (the catalog source is
// the last bit), so that a bad value is journalled once, not at every read.
volatile LONG g_reported = 0;
IgnoredPolicyReport g_report = nullptr;
constexpr int kCatalogSourceBit = kDwordPolicyCount;

// Journals an ignored value the first time; a value read right clears its bit.
void NoteValue(int bit, const char* name, bool bad)
{
    const LONG mask = 1L << bit;
    for (;;) {
        const LONG before = g_reported;
        const LONG after = bad ? before | mask : before & ~mask;
        if (before == after)
            return;
        if (::InterlockedCompareExchange(const_cast<LONG*>(&g_reported), after, before) != before)
            continue;
        if (bad) {
            JournalLine("policy ignored").Name(name).Write();
            if (g_report)
                g_report(name);
        }
        return;
    }
}

enum class Read { Absent, Good, Bad };

Read ReadDword(HKEY key, const DwordPolicy& policy, DWORD& data)
{
    DWORD type = 0, size = sizeof data;
    const LONG status = ::RegQueryValueExA(key, policy.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return Read::Absent;
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return Read::Bad;
    return data >= policy.least && data <= policy.most ? Read::Good : Read::Bad;
}

Read ReadText(HKEY key, const char* name, char* text, DWORD capacity)
{
    DWORD type = 0, size = capacity;
    const LONG status = ::RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size);
    if (status == ERROR_FILE_NOT_FOUND)
        return Read::Absent;
    // The stored text, with or without its terminator, must fit with ours.
    if (status == ERROR_SUCCESS && type == REG_SZ && size > 0 && text[size - 1] == '\0')
        --size;
    if (status != ERROR_SUCCESS || type != REG_SZ || size >= capacity) {
        text[0] = '\0';
        return Read::Bad;
    }
    text[size] = '\0';
    return size ? Read::Good : Read::Absent;
}

} // namespace

IgnoredPolicyReport& IgnoredPolicyReportInForce()
{
    return g_report;
}

MachinePolicy ReadMachinePolicy()
{
    MachinePolicy policy;
    const HKEY key = OpenPolicyKey(nullptr);
    DWORD values[kDwordPolicyCount];
    bool present[kDwordPolicyCount] = {}, bad[kDwordPolicyCount] = {};
    for (int i = 0; i < kDwordPolicyCount; ++i) {
        const Read read = key ? ReadDword(key, kDwordPolicies[i], values[i]) : Read::Absent;
        present[i] = read == Read::Good;
        bad[i] = read == Read::Bad;
    }
    // A window needs both its start and its length: half of one is no window.
    if (present[kMaintenanceStart] != present[kMaintenanceDuration]) {
        const int half = present[kMaintenanceStart] ? kMaintenanceStart : kMaintenanceDuration;
        present[half] = false;
        bad[half] = true;
    }
    for (int i = 0; i < kDwordPolicyCount; ++i)
        NoteValue(i, kDwordPolicies[i].name, bad[i]);
    const Read source = key ? ReadText(key, kCatalogSourcePolicy, policy.catalogSource, sizeof policy.catalogSource)
                            : Read::Absent;
    NoteValue(kCatalogSourceBit, kCatalogSourcePolicy, source == Read::Bad);
    if (key)
        ::RegCloseKey(key);

    policy.updatesOff = present[kUpdateDefault] && values[kUpdateDefault] == 0;
    policy.lockSchedules = present[kLockSchedules] && values[kLockSchedules] == 1;
    policy.deferOnBattery = present[kDeferOnBattery] && values[kDeferOnBattery] == 1;
    if (present[kRandomDelayMinutes])
        policy.randomDelayMinutes = values[kRandomDelayMinutes];
    if (present[kMaintenanceDays] && values[kMaintenanceDays] != 0)
        policy.days = values[kMaintenanceDays];
    policy.window = present[kMaintenanceStart] && present[kMaintenanceDuration];
    if (policy.window) {
        policy.windowStart = values[kMaintenanceStart];
        policy.windowMinutes = values[kMaintenanceDuration];
    }
    return policy;
}

bool IsProductDisabled(const char* name)
{
    const HKEY key = OpenPolicyKey(kDisabledProductsKey);
    if (!key || !name)
        return false;
    bool named = false;
    for (DWORD index = 0; !named; ++index) {
        char valueName[256], data[256];
        DWORD nameSize = sizeof valueName, dataSize = sizeof data - 1, type = 0;
        const LONG status = ::RegEnumValueA(key, index, valueName, &nameSize, nullptr, &type,
                                            reinterpret_cast<BYTE*>(data), &dataSize);
        if (status == ERROR_NO_MORE_ITEMS)
            break;
        if (status != ERROR_SUCCESS || type != REG_SZ)
            continue;
        data[dataSize] = '\0';
        named = ::lstrcmpiA(data, name) == 0;
    }
    ::RegCloseKey(key);
    return named;
}
