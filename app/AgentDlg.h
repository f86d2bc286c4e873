// The agent window: a dialog that is never shown restored. It owns all of the
// agent's state and receives every event: timer, time change, notification-icon
// clicks and menu commands.
#pragma once
#include "../framework/Dialog.h"
#include "../framework/Menu.h"
#include "../framework/OleDateTime.h"
#include "../framework/String.h"
#include <shellapi.h>

// Fixed numbers of the agent.
constexpr UINT_PTR kScheduleTimerId = 300;   // the one schedule timer
constexpr UINT kTrayIconId = 303;            // the notification icon on the agent window
constexpr UINT kTrayCallbackMessage = 100;   // what the shell sends for icon clicks
constexpr int kPathBufferSize = 260;         // path and name buffers
constexpr char kMarkerName[] = "Tesvo";      // class and title of the marker window

class CAgentDlg : public CDialog {
public:
    explicit CAgentDlg(CWnd* parent = nullptr);

    // Catalog file beside the program; FALSE when there is no complete path.
    BOOL GetCatalogPath(char* buffer);
    // Refreshes the catalog through the update library and registers its names.
    void ImportCatalog();

    // Schedule timer.
    COleDateTime EarliestScheduledTime();
    void ArmTimer(COleDateTime when);
    void Reschedule();

    // Commands.
    BOOL ScheduleProduct(UINT id);

    // Due-update run.
    void RunDueUpdates();
    BOOL CheckProductDue(const char* name, char* jobA, char* jobB);
    void AdvanceDefaultSchedule();

    // Status text and notification icon.
    void ShowStatus(COleDateTime when);
    void ShowTrayIcon(WORD iconId, CString text);
    void RemoveTrayIcon();

    // System-menu mode.
    void RebuildSystemMenu();
    void PresentSuspended(const char* text);
    void PresentActive();

    char m_szEngineBuf[kPathBufferSize];
    BOOL m_bActive;
    BOOL m_bDefaultFlag;
    BOOL m_bSysMenuMode;
    CMenu m_menu;
    HWND m_hMarkerWnd;
    HICON m_hIcon;

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;

    // The one place the agent talks to the notification area.
    virtual BOOL NotifyShell(DWORD message, NOTIFYICONDATAA* record);

    LRESULT OnTrayNotify(WPARAM wParam, LPARAM lParam);
    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnTimer(UINT_PTR nIDEvent);
    void OnDestroy();
    void OnTimeChange();

    BEGIN_MSG_MAP(CDialog)
        ON_MSG(kTrayCallbackMessage, OnTrayNotify(wParam, lParam))       // LRESULT OnTrayNotify(WPARAM id, LPARAM mouse)
        ON_MSG_VOID(WM_SYSCOMMAND, OnSysCommand(UINT(wParam), lParam))   // void OnSysCommand(UINT nID, LPARAM)
        ON_MSG_VOID(WM_PAINT, OnPaint())                                 // void OnPaint()
        ON_MSG(WM_QUERYDRAGICON, OnQueryDragIcon())                      // HCURSOR OnQueryDragIcon()
        ON_MSG_VOID(WM_TIMER, OnTimer(wParam))                           // void OnTimer(UINT_PTR id)
        ON_MSG_VOID(WM_DESTROY, OnDestroy())                             // void OnDestroy()
        ON_MSG_VOID(WM_TIMECHANGE, OnTimeChange())                       // void OnTimeChange()
    END_MSG_MAP()
};

// The hidden marker window that lets a second copy, or another program, find the agent.
HWND CreateMarkerWindow(CAgentDlg* agent);
