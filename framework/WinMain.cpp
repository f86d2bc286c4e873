// Program entry: hands control to the one application object. The agent does all
// of its work inside InitInstance, so there is no message loop here.
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return 1;
    app->m_hInstance = instance;
    app->InitInstance();
    return app->ExitInstance();
}
