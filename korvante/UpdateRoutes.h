// The library's writes and update runs: through the update service whenever
// its pipe opens (it has the rights, and it sees every session's agent), in
// this process otherwise (9x, NT without the service). Reads stay local.
#pragma once
#include "korvante/EntryKey.h"

// RunUpdate: the product's update turn for the due time the caller saw (0.0:
// none); the outcome, or why nothing ran, goes to status. True for "exit 0".
// A product that could not be run (no service and no right to write its key, a
// service that is not trusted or does not answer, no lock, a close) stays due:
// the journal says why, and LastOutcome where this process may write it.
bool RouteRunUpdate(const EntryName& name, double due, char* status);
bool RouteSetNextTime(const EntryName& name, double time);
bool RouteStoreSchedule(const EntryName& name, int kind, int a, int b);
// EndBatch: the start of the run that ended, kept as the last-run mark.
void RouteEndRun(double start);
// RefreshCatalog: the service refreshes the catalog beside itself and registers
// its names; in-process the catalog at path is refreshed.
bool RouteRefreshCatalog(const char* path, char* status);
