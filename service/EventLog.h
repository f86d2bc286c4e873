// The update outcomes in the Windows event log, where administrators and their
// log collectors look: Application log, source "Tesvo", failures as warnings.
#pragma once

void ReportUpdateOutcome(const char* name, const char* outcome, bool succeeded);
