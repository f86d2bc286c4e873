// Resource and command identifiers of the agent.
#pragma once

#define IDD_AGENT            102   // the hidden agent window's dialog template
#define IDC_PLACEHOLDER      1000  // static text in the template, never seen

#define IDS_UPDATE_AT        1     // "Update At: %1"
#define IDS_SUSPENDED        2     // "Tesvo: Suspended"
#define IDS_NO_UPDATE        4     // "No Update."
#define IDS_UPDATES_OFF      5     // "Updates turned off by the administrator."

#define IDI_ACTIVE           200   // notification icon while active
#define IDI_SUSPENDED        201   // notification icon while suspended

#define IDR_AGENT_MENU       350   // the agent menu: Update > Schedule Update, Suspend, Activate, Close

#define ID_SCHEDULE_DEFAULT  400   // schedule of the default entry; products follow at 400 + 16 k
#define ID_CLOSE_AGENT       1600
#define ID_SUSPEND_AGENT     3200
#define ID_ACTIVATE_AGENT    4800
