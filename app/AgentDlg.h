// The agent window: a dialog that is never shown restored. It owns all of the
// agent's state and receives every event: timer, time change, notification-icon
// clicks and menu commands.
#pragma once
#include "framework/Dialog.h"
#include "framework/Menu.h"
#include "framework/OleDateTime.h"
#include "framework/String.h"
#include <shellapi.h>

// Fixed numbers of the agent.
constexpr UINT_PTR kScheduleTimerId = 300;   // the one schedule timer
constexpr UINT kTrayIconId = 303;            // the notification icon on the agent window
constexpr UINT kTrayCallbackMessage = 100;   // what the shell sends for icon clicks
constexpr int kPathBufferSize = 260;         // path and name buffers
constexpr char kMarkerName[] = "Tesvo";      // class and title of the marker window
constexpr char kSessionMutexName[] = "Tesvo agent";  // one per session on Terminal Services

class CAgentDlg : public CDialog {
public:
    // Active, nothing scheduled yet; the window comes with DoModal.
    explicit CAgentDlg(CWnd* parent = nullptr);

    // Catalog file beside the program; FALSE when there is no complete path.
    BOOL GetCatalogPath(char* buffer);
    // Refreshes the catalog through the update library and registers its names.
    void ImportCatalog();

    // Schedule timer.
    // The earliest time over the default entry and every product; sets m_bDefaultFlag.
    COleDateTime EarliestScheduledTime();
    // Sets the timer for a time, posts a run for a time already past, or spaces runs out;
    // nothing while suspended.
    void ArmTimer(COleDateTime when);
    // Finds the earliest time again, arms the timer for it and shows it.
    void Reschedule();

    // Commands.
    // Edits the schedule of product k for command 400 + 16 k; FALSE when nothing was edited.
    BOOL ScheduleProduct(UINT id);
    // Ends the agent from its marker window: the modal loop and any loop a library call runs.
    void EndFromMarker();

    // Due-update run.
    // One run: every due product updated, schedules advanced, catalog refreshed.
    void RunDueUpdates();
    // Due test and schedule advance for one product; TRUE when it is to be updated.
    BOOL CheckProductDue(const char* name, char* jobA, char* jobB);
    // Due test and schedule advance for the default entry.
    void AdvanceDefaultSchedule();

    // Status text and notification icon.
    // Shows "Update At: ..." or "No Update." with the icon of the agent's state.
    void ShowStatus(COleDateTime when);
    // Replaces the notification icon with this picture and tip.
    void ShowTrayIcon(WORD iconId, CString text);
    // Removes the notification icon.
    void RemoveTrayIcon();

    // System-menu mode.
    // Puts the agent menu into the system menu, starting from the standard one.
    void RebuildSystemMenu();
    // Caption, system menu and icon of a suspended agent.
    void PresentSuspended(const char* text);
    // Shows the window minimized with the active icon.
    void PresentActive();

    char m_szEngineBuf[kPathBufferSize];   // handed to the update library; never read here
    BOOL m_bActive;                        // 1 Active, 0 Suspended
    BOOL m_bDefaultFlag;                   // the default entry's time query answered nonzero
    BOOL m_bSysMenuMode;                   // minimized window with the system menu (NT 3.x, Win32s)
    CMenu m_menu;                          // agent menu kept for the system menu
    HWND m_hMarkerWnd;                     // the marker window, null when there is none
    HICON m_hIcon;                         // drawn while the window is minimized
    BOOL m_bInRun;                         // a due-update run is in progress
    BOOL m_bRunAgain;                      // a timer arrived during the run: run once more after it
    UINT m_deferredCommands[8];            // commands that arrived during the run, in order
    int m_nDeferredCommands;               // how many of them
    BOOL m_bClosing;                       // the agent is ending: no more runs, timers or icons
    UINT m_nRetryMs;                       // spacing of runs while the earliest time stays past; 0 none
    WORD m_wShownIcon;                     // the icon picture shown now, 0 when no icon is shown
    CString m_shownTip;                    // the tip shown with it
    UINT m_uTaskbarCreated;                // the shell's message that it has (re)started
    HANDLE m_hSessionMutex;                // held while this copy is the session's agent; null on Win32s

protected:
    // Ends a second copy at once; otherwise takes the session's mutex, makes the marker,
    // picks the presentation, posts Activate.
    BOOL OnInitDialog() override;
    // Carries out a menu command, or keeps it for after the run in progress.
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The one place the agent talks to the notification area.
    virtual BOOL NotifyShell(DWORD message, NOTIFYICONDATAA* record);
    // The one clock the schedule reads: local time to the millisecond.
    virtual SYSTEMTIME LocalTime();
    // The one place the schedule timer is set.
    virtual void SetScheduleTimer(UINT delayMs);
    // The present local time in whole seconds, as the library's times count.
    COleDateTime Now() { return COleDateTime::FromSystemTime(LocalTime()); }

    // Edits the default entry's schedule, then finds the earliest time again.
    void ScheduleDefault();
    // Removes the icon and ends the modal loop, and any loop a library call runs.
    void CloseAgent();
    // Stops the timer and shows the suspended icon and text.
    void Suspend();
    // Imports the catalog when the default entry asks for it, arms the timer, shows the status.
    void Activate();
    // Keeps a command that arrived during a run, once.
    void DeferCommand(UINT command);
    // Posts the kept commands again once the run is over.
    void PostDeferredCommands();
    // Recomputes the schedule after the clock moved (time change, resume), running nothing.
    void RecomputeSchedule();

    // A right-button press on the icon opens the agent menu.
    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    // The agent's items of the system menu become its commands (system-menu mode).
    void OnSysCommand(UINT nID, LPARAM lParam);
    // Draws the icon of the minimized window.
    void OnPaint();
    // The icon shown while the minimized window is dragged.
    HCURSOR OnQueryDragIcon();
    // The timer has come: one due-update run, then the timer for the next time; a
    // wake-up before the earliest time, or while suspended, runs nothing.
    void OnTimer(UINT_PTR nIDEvent);
    // Kills the timer, lets the marker and the mutex go, removes the icon and ends the program.
    void OnDestroy();
    // The clock was set: the schedule is recomputed, nothing is run.
    void OnTimeChange();
    // Back from sleep, or on the mains again: as a time change.
    LRESULT OnPowerBroadcast(WPARAM event);
    // A Group Policy refresh ("Policy"): as a time change, since a policy may now
    // hold an update back or let it go.
    void OnSettingChange(const char* area);
    // The shell started again: the icon comes back.
    void OnTaskbarCreated();

    BEGIN_MSG_MAP(CDialog)
        ON_MSG(kTrayCallbackMessage, OnTrayNotify(wParam, lParam))       // LRESULT OnTrayNotify(WPARAM id, LPARAM mouse)
        ON_MSG_VOID(WM_SYSCOMMAND, OnSysCommand(UINT(wParam), lParam))   // void OnSysCommand(UINT nID, LPARAM)
        ON_MSG_VOID(WM_PAINT, OnPaint())                                 // void OnPaint()
        ON_MSG(WM_QUERYDRAGICON, OnQueryDragIcon())                      // HCURSOR OnQueryDragIcon()
        ON_MSG_VOID(WM_TIMER, OnTimer(wParam))                           // void OnTimer(UINT_PTR id)
        ON_MSG_VOID(WM_DESTROY, OnDestroy())                             // void OnDestroy()
        ON_MSG_VOID(WM_TIMECHANGE, OnTimeChange())                       // void OnTimeChange()
        ON_MSG(WM_POWERBROADCAST, OnPowerBroadcast(wParam))              // LRESULT OnPowerBroadcast(WPARAM event)
        ON_MSG_VOID(WM_SETTINGCHANGE, OnSettingChange(reinterpret_cast<const char*>(lParam)))   // void OnSettingChange(const char* area)
        ON_MSG_VOID(m_uTaskbarCreated, OnTaskbarCreated())               // void OnTaskbarCreated()
    END_MSG_MAP()
};

// The hidden marker window that lets a second copy, or another program, find the agent.
HWND CreateMarkerWindow(CAgentDlg* agent);
