#include "support/AgentProcess.h"
#include "support/WineHelpers.h"
#include <shellapi.h>
#include <shlwapi.h>
#include <sstream>

namespace {

const char kAppDefaults[] = "Software\\Wine\\AppDefaults\\Tesvo.exe";

struct WindowSearch {
    DWORD processId;
    const char* className;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    auto search = reinterpret_cast<WindowSearch*>(param);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    char className[64] = "";
    ::GetClassNameA(window, className, sizeof className);
    if (owner == search->processId && lstrcmpA(className, search->className) == 0) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

HWND FindProcessWindow(DWORD processId, const char* className)
{
    WindowSearch search{processId, className, nullptr};
    ::EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

} // namespace

AgentFolder::AgentFolder()
{
    char temp[MAX_PATH];
    ::GetTempPathA(sizeof temp, temp);
    static int counter = 0;
    std::ostringstream name;
    name << temp << "tesvo-e2e-" << ::GetCurrentProcessId() << "-" << ++counter << "\\";
    m_path = name.str();
    ::CreateDirectoryA(m_path.c_str(), nullptr);
    for (const char* file : {"Tesvo.exe", "korvante.dll"})
        ::CopyFileA((ProgramDir() + file).c_str(), (m_path + file).c_str(), FALSE);
}

AgentFolder::~AgentFolder()
{
    std::string doubleZero = m_path;
    doubleZero.pop_back();
    doubleZero.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = doubleZero.c_str();
    op.fFlags = FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    ::SHFileOperationA(&op);
}

void AgentFolder::UseLibrary(const char* file) const
{
    ::CopyFileA((ProgramDir() + file).c_str(), (m_path + "korvante.dll").c_str(), FALSE);
}

std::vector<std::string> AgentFolder::JournalLines() const
{
    std::vector<std::string> lines;
    std::istringstream text(ReadFileText(Journal()));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

AgentProcess::~AgentProcess()
{
    if (m_process.hProcess) {
        if (Running()) {
            ::TerminateProcess(m_process.hProcess, 1);
            ::WaitForSingleObject(m_process.hProcess, 5000);
        }
        ::CloseHandle(m_process.hProcess);
        ::CloseHandle(m_process.hThread);
    }
}

bool AgentProcess::Start(const AgentFolder& folder)
{
    ::SetEnvironmentVariableA("KORVANTE_JOURNAL", folder.Journal().c_str());
    std::string command = "\"" + folder.Path() + "Tesvo.exe\"";
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.Path().c_str(),
                            &startup, &m_process) != FALSE;
}

bool AgentProcess::WaitForExit(DWORD ms)
{
    return ::WaitForSingleObject(m_process.hProcess, ms) == WAIT_OBJECT_0;
}

bool AgentProcess::Running() const
{
    return m_process.hProcess && ::WaitForSingleObject(m_process.hProcess, 0) == WAIT_TIMEOUT;
}

DWORD AgentProcess::ExitCode() const
{
    DWORD code = STILL_ACTIVE;
    ::GetExitCodeProcess(m_process.hProcess, &code);
    return code;
}

HWND AgentProcess::AgentWindow() const
{
    return FindProcessWindow(m_process.dwProcessId, "#32770");
}

HWND AgentProcess::WaitForMarker(DWORD ms) const
{
    HWND marker = nullptr;
    WaitUntil([&] { return (marker = FindProcessWindow(m_process.dwProcessId, "Tesvo")) != nullptr || !Running(); },
              ms);
    return marker;
}

HWND FindMarker()
{
    return ::FindWindowA("Tesvo", "Tesvo");
}

void SetAgentWindowsVersion(const std::string& version)
{
    if (version.empty()) {
        ::SHDeleteKeyA(HKEY_CURRENT_USER, kAppDefaults);
        return;
    }
    HKEY key;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, kAppDefaults, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) ==
        ERROR_SUCCESS) {
        ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                         static_cast<DWORD>(version.size() + 1));
        ::RegCloseKey(key);
    }
}
