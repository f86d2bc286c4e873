// Identifiers of the schedule dialog, shared by its resource, its code and the tests.
#pragma once

#define IDD_SCHEDULE     100

#define IDC_ENTRY_NAME   1001  // static: which entry is edited
#define IDC_KIND         1002  // drop-down list: None, Daily, Weekly, Once, Every N hours
#define IDC_TIME         1003  // edit: time of day as HH:MM (Daily, Weekly, Once)
#define IDC_WEEKDAY      1004  // drop-down list: Sunday .. Saturday (Weekly)
#define IDC_HOURS        1005  // edit: the N of every N hours
#define IDC_NEXT_TIME    1006  // static: the entry's next time when the dialog opened
