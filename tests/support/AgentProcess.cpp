// A copy of the agent in a folder of its own, run as a process.
#include "tests/support/AgentProcess.h"
#include <shellapi.h>

AgentCopy::AgentCopy()
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    m_path = std::string(temp) + "tesvo-e2e-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(++counter) + "\\";
    ::CreateDirectoryA(m_path.c_str(), nullptr);
    for (const char* file : {"Tesvo.exe", "korvante.dll"})
        CopyIn(file, file);
}

AgentCopy::~AgentCopy()
{
    if (m_process.hProcess) {
        if (Running()) {
            ::TerminateProcess(m_process.hProcess, 1);
            ::WaitForSingleObject(m_process.hProcess, 5000);
        }
        ::CloseHandle(m_process.hProcess);
        ::CloseHandle(m_process.hThread);
    }
    std::string doubleZero = m_path;
    doubleZero.back() = '\0';
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = doubleZero.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ::SHFileOperationA(&op);
}

bool AgentCopy::CopyIn(const std::string& file, const char* as) const
{
    return ::CopyFileA((ProgramDir() + file).c_str(), (m_path + as).c_str(), FALSE) != FALSE;
}

bool AgentCopy::Start()
{
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", Journal().c_str());
    std::string command = "\"" + m_path + "Tesvo.exe\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, m_path.c_str(), &startup,
                            &m_process) != FALSE;
}

bool AgentCopy::Running() const
{
    return m_process.hProcess && ::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD AgentCopy::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

HWND AgentCopy::WaitForMarker(DWORD ms) const
{
    HWND marker = nullptr;
    WaitUntil([&] { return (marker = FindProcessWindow(m_process.dwProcessId, "Tesvo")) != nullptr || !Running(); },
              ms);
    return marker;
}
