// The application object: one per program, reached through AfxGetApp.
#pragma once
#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the program; returning FALSE ends it at once.
    virtual BOOL InitInstance() { return FALSE; }
    virtual int ExitInstance() { return 0; }

    // The 3-D control library is part of every system this runs on.
    BOOL Enable3dControls() { return TRUE; }

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
};

CWinApp* AfxGetApp();
// The module whose resources the program uses: the program file itself.
HINSTANCE AfxGetResourceHandle();
HINSTANCE AfxFindResourceHandle(const char* name, const char* type);
