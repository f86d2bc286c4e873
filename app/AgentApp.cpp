// The application object: runs the agent window modally and ends with it.
#include "app/AgentDlg.h"
#include "framework/WinApp.h"

class CAgentApp : public CWinApp {
public:
    CAgentApp() : CWinApp(nullptr) {}
    BOOL InitInstance() override;
};

CAgentApp theApp;

BOOL CAgentApp::InitInstance()
{
    Enable3dControls();
    CAgentDlg agent;
    m_pMainWnd = &agent;
    agent.DoModal();
    m_pMainWnd = nullptr;
    // FALSE: the program ends when the agent window's modal loop ends.
    return FALSE;
}
