// The library's writes and update runs: through the update service whenever
// its pipe opens (it has the rights, and it sees every session's agent), in
// this process otherwise (9x, NT without the service). Reads stay local.
#pragma once

// RunUpdate: the product's update with the due time GetDueTime last reported
// for it; the outcome goes to status. True for "exit 0".
bool RouteRunUpdate(const char* name, char* status);
bool RouteSetNextTime(const char* name, double time);
bool RouteStoreSchedule(const char* name, int kind, int a, int b);
// EndBatch: the start of the run that ended, kept as the last-run mark.
void RouteEndRun(double start);
// RefreshCatalog: the service refreshes the catalog beside itself and registers
// its names; in-process the catalog at path is refreshed.
bool RouteRefreshCatalog(const char* path, char* status);
