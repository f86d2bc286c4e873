// The helper of scripts/test-installer: answers one request per line on standard
// input, so that a whole installer check costs one process start (each start is
// slow under emulated 32-bit Wine). Fields are tab-separated UTF-8; keys are
// below HKEY_LOCAL_MACHINE in this program's own view. Requests and answers:
//   wait-marker MS          "yes PID" of the agent owning the marker window, or "no"
//   wait-gone MS, close MS  "yes" once the marker window is gone (close sends it WM_CLOSE first)
//   alive PID               "yes" or "no"
//   subkeys KEY             "subkeys" and the sorted names, or "missing"
//   value KEY NAME          "sz TEXT", "dword N" or "missing"
//   set-sz KEY NAME TEXT, set-dword KEY NAME N, del-key KEY, del-value KEY NAME: "ok" or "fail"
//   run MS COMMANDLINE      "exit N", "timeout" or "fail" (the line as given: /D= needs it unquoted)
//   as-user MS OUT COMMANDLINE  the same as a standard user: administrators disabled in the token,
//                           output to the file OUT; MS 0 does not wait and answers "started PID"
//   in-use PATH             "yes" while a running program holds the file, else "no"
// The boundary's requests: boundary_probe.cpp.
// "installer_probe.exe /schedule DLL NAME" is instead a user setting NAME's schedule to daily at 07:30
// in the library's dialog; it prints "stored" or "not stored" (exit code 0 also means killed by qemu).
//   broadcast AREA          WM_SETTINGCHANGE with that area ("Policy") to every top-level window: "ok"
#include "tests/installer/boundary_probe.h"
#include "tests/support/AgentProcess.h"
#include "korvante/ScheduleDialogIds.h"
#include <shlwapi.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');   // never more UTF-16 units than UTF-8 bytes
    wide.resize(::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                      static_cast<int>(wide.size())));
    return wide;
}

std::string Utf8(const wchar_t* wide, DWORD length)
{
    std::string text(length * 3, '\0');
    text.resize(::WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(length), &text[0],
                                      static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

std::string Subkeys(HKEY key)
{
    std::vector<std::string> names;
    wchar_t name[256];
    for (DWORD index = 0, length = 256;
         ::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
         ++index, length = 256)
        names.push_back(Utf8(name, length));
    std::sort(names.begin(), names.end());
    std::string answer = "subkeys";
    for (const std::string& n : names)
        answer += "\t" + n;
    return answer;
}

std::string Value(HKEY key, const std::wstring& name)
{
    std::vector<BYTE> data(4096);
    DWORD type = 0, size = static_cast<DWORD>(data.size()) - sizeof(wchar_t);
    if (::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size) != ERROR_SUCCESS)
        return "missing";
    if (type == REG_DWORD && size == 4)
        return "dword " + std::to_string(*reinterpret_cast<DWORD*>(data.data()));
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return "missing";
    std::wstring text(reinterpret_cast<wchar_t*>(data.data()), size / sizeof(wchar_t));
    text.erase(text.find_last_not_of(L'\0') + 1);
    return "sz " + Utf8(text.data(), static_cast<DWORD>(text.size()));
}

// Starts COMMAND, as a standard user if TOKEN is given, with its output in the
// file OUTPUT if named (a pipe would keep the script waiting for the child).
std::string Run(DWORD ms, std::wstring command, HANDLE token = nullptr, const std::wstring& output = L"")
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    HANDLE out = output.empty() ? INVALID_HANDLE_VALUE
                                : ::CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                                &inherited, CREATE_ALWAYS, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = out;
    }
    PROCESS_INFORMATION process{};
    const bool started =
        token ? ::CreateProcessAsUserW(token, nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                       &startup, &process)
              : ::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                 &process);
    if (out != INVALID_HANDLE_VALUE)
        ::CloseHandle(out);
    if (!started)
        return "fail";
    ::CloseHandle(process.hThread);
    std::string answer = ms ? "timeout" : "started " + std::to_string(process.dwProcessId);
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.hProcess, &code))
        answer = "exit " + std::to_string(code);
    ::CloseHandle(process.hProcess);
    return answer;
}

std::string Answer(const std::vector<std::string>& f)
{
    const std::string& command = f[0];
    std::string boundary;
    if (BoundaryAnswer(f, boundary))
        return boundary;
    auto arg8 = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
    auto arg = [&](size_t i) { return Wide(arg8(i)); };
    auto number = [&](size_t i) { return static_cast<DWORD>(std::strtoul(arg8(i).c_str(), nullptr, 10)); };
    auto okFail = [](bool ok) { return std::string(ok ? "ok" : "fail"); };

    if (command == "wait-marker") {
        WaitUntil([] { return FindMarker() != nullptr; }, number(1));
        DWORD pid = 0;
        HWND marker = FindMarker();
        return marker && ::GetWindowThreadProcessId(marker, &pid) ? "yes " + std::to_string(pid) : "no";
    }
    if (command == "close" || command == "wait-gone") {
        if (HWND marker = command == "close" ? FindMarker() : nullptr)
            ::PostMessageW(marker, WM_CLOSE, 0, 0);
        return WaitUntil([] { return FindMarker() == nullptr; }, number(1)) ? "yes" : "no";
    }
    if (command == "alive") {
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, number(1));
        const bool running = process && ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        if (process)
            ::CloseHandle(process);
        return running ? "yes" : "no";
    }
    if (command == "run")
        return Run(number(1), arg(2));
    if (command == "as-user") {
        HANDLE token = StandardUserToken();
        const std::string answer = token ? Run(number(1), arg(3), token, arg(2)) : "fail";
        if (token)
            ::CloseHandle(token);
        return answer;
    }
    if (command == "broadcast") {   // what Group Policy sends once it has written the policies
        DWORD_PTR result = 0;
        ::SendMessageTimeoutA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(arg8(1).c_str()),
                              SMTO_ABORTIFHUNG, 5000, &result);
        return "ok";
    }
    if (command == "in-use") {
        HANDLE file = ::CreateFileW(arg(1).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE)
            ::CloseHandle(file);
        return file == INVALID_HANDLE_VALUE && ::GetLastError() == ERROR_SHARING_VIOLATION ? "yes" : "no";
    }
    if (command == "del-key") {
        const DWORD status = ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, arg(1).c_str());
        return okFail(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }

    // The rest works on an open key, made first for the writes.
    const bool write = command.compare(0, 4, "set-") == 0 || command == "del-value";
    HKEY key;
    if ((write ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, arg(1).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr)
               : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, arg(1).c_str(), 0, KEY_READ, &key)) != ERROR_SUCCESS)
        return write ? "fail" : "missing";
    std::string answer = "error unknown request";
    const std::wstring name = arg(2), text = arg(3);
    if (command == "subkeys")
        answer = Subkeys(key);
    else if (command == "value")
        answer = Value(key, name);
    else if (command == "set-sz")
        answer = okFail(::RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                         static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS);
    else if (command == "set-dword") {
        const DWORD dword = number(3);
        answer = okFail(::RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dword),
                                         sizeof dword) == ERROR_SUCCESS);
    }
    else if (command == "del-value")
        answer = okFail(::RegDeleteValueW(key, name.c_str()) != ERROR_ACCESS_DENIED);
    ::RegCloseKey(key);
    return answer;
}

// The user's part, from a timer on the dialog's own thread (qemu now and then kills a second
// thread): once the dialog shows the product, picks daily at 07:30 and presses OK; when OK
// leaves the dialog open, gives up after 30 seconds.
HWND g_okPressedOn = nullptr;
int g_ticksSinceOk = 0;

void CALLBACK UserTick(HWND, UINT, UINT_PTR, DWORD)
{
    const HWND dialog = ::FindWindowA("#32770", "Update Schedule");
    char name[64] = "";
    if (!dialog || ::GetWindowThreadProcessId(dialog, nullptr) != ::GetCurrentThreadId() ||
        !::IsWindowVisible(dialog) || !::GetDlgItemTextA(dialog, IDC_ENTRY_NAME, name, sizeof name))
        return;
    if (dialog != g_okPressedOn) {
        ::SendDlgItemMessageA(dialog, IDC_KIND, CB_SETCURSEL, 1, 0);
        ::SetDlgItemTextA(dialog, IDC_TIME, "07:30");
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        g_okPressedOn = dialog;
        g_ticksSinceOk = 0;
    } else if (++g_ticksSinceOk == 300)
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
}

int SetScheduleInDialog(const char* library, const char* name)
{
    HMODULE korvante = ::LoadLibraryA(library);
    auto editSchedule = korvante ? reinterpret_cast<int (*)(const char*)>(
                                       reinterpret_cast<void*>(::GetProcAddress(korvante, MAKEINTRESOURCEA(3))))
                                 : nullptr;
    if (!editSchedule)
        return 2;
    const UINT_PTR timer = ::SetTimer(nullptr, 0, 100, UserTick);
    const bool stored = editSchedule(name) == 1;
    ::KillTimer(nullptr, timer);
    std::printf(stored ? "stored\n" : "not stored\n");
    std::fflush(stdout);
    return stored ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "/schedule")
        return SetScheduleInDialog(argv[2], argv[3]);
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line(buffer);
        line.erase(line.find_last_not_of("\r\n") + 1);
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');)
            fields.push_back(field);
        if (fields.empty())
            continue;
        if (fields[0] == "quit")
            break;
        std::printf("%s\n", Answer(fields).c_str());
        std::fflush(stdout);
    }
    return 0;
}
