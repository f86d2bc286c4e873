// A long-lived helper for scripts/test-installer: answers one request per line
// on standard input, so that a whole installer check costs one process start
// (each start is slow under emulated 32-bit Wine). Fields are separated by tabs;
// text is UTF-8; keys are below HKEY_LOCAL_MACHINE in this program's own view.
// Requests: wait-marker MS, wait-gone MS, close MS (WM_CLOSE to the agent's
// marker window, then wait-gone), alive PID, process-path PID, file PATH, dir
// PATH, file-has PATH TEXT, append-file PATH TEXT, key KEY, subkeys KEY, reg-sz
// KEY VALUE, reg-dword KEY VALUE, set-sz KEY VALUE TEXT, set-dword KEY VALUE N,
// del-key KEY, del-value KEY VALUE, run MS COMMANDLINE (as given, unquoted, as
// /D= needs it), quit. Answers: see Answer().
#include <windows.h>
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

std::string Utf8(const std::wstring& wide)
{
    std::string text(wide.size() * 3, '\0');
    text.resize(::WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0],
                                      static_cast<int>(text.size()), nullptr, nullptr));
    return text;
}

HWND Marker()
{
    return ::FindWindowW(L"Tesvo", L"Tesvo");
}

// "yes PID" of the agent that owns the marker window, or "no".
std::string MarkerAnswer()
{
    DWORD pid = 0;
    HWND marker = Marker();
    return marker && ::GetWindowThreadProcessId(marker, &pid) ? "yes " + std::to_string(pid) : "no";
}

// Polls every 100 ms until done() or ms have passed.
template <typename Done> bool WaitFor(Done done, DWORD ms)
{
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start >= ms)
            return false;
        ::Sleep(100);
    }
    return true;
}

std::string ProcessPath(DWORD pid)
{
    // QueryFullProcessImageNameW (Vista on) asks Wine's server; reading the
    // other process's memory fails under qemu.
    using QueryImageName = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);
    auto query = reinterpret_cast<QueryImageName>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    constexpr DWORD kQueryLimitedInformation = 0x1000;
    HANDLE process = query ? ::OpenProcess(kQueryLimitedInformation, FALSE, pid) : nullptr;
    wchar_t path[MAX_PATH * 2] = L"";
    DWORD length = MAX_PATH * 2;
    if (!process || !query(process, 0, path, &length))
        length = 0;
    if (process)
        ::CloseHandle(process);
    return length ? "path " + Utf8(std::wstring(path, length)) : "none";
}

std::string ReadWholeFile(const std::wstring& path, bool& found)
{
    found = false;
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return std::string();
    found = true;
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (::ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0)
        text.append(chunk, got);
    ::CloseHandle(file);
    return text;
}

bool AppendFile(const std::wstring& path, const std::string& text)
{
    HANDLE file = ::CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                    written == text.size();
    ::CloseHandle(file);
    return ok;
}

std::string Attributes(const std::wstring& path, bool wantDirectory)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return "no";
    return ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) == wantDirectory ? "yes" : "no";
}

std::string Subkeys(const std::wstring& path)
{
    HKEY key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "subkeys";
    std::vector<std::string> names;
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        if (::RegEnumKeyExW(key, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.push_back(Utf8(std::wstring(name, length)));
    }
    ::RegCloseKey(key);
    std::sort(names.begin(), names.end());
    std::string answer = "subkeys";
    for (const std::string& n : names)
        answer += "\t" + n;
    return answer;
}

std::string ReadValue(const std::wstring& path, const std::wstring& value, bool dword)
{
    HKEY key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "missing";
    std::vector<BYTE> data(4096);
    DWORD type = 0, size = static_cast<DWORD>(data.size()) - sizeof(wchar_t);
    const LONG status = ::RegQueryValueExW(key, value.c_str(), nullptr, &type, data.data(), &size);
    ::RegCloseKey(key);
    if (status != ERROR_SUCCESS)
        return "missing";
    if (dword)
        return type == REG_DWORD && size == 4 ? "dword " + std::to_string(*reinterpret_cast<DWORD*>(data.data()))
                                              : "missing";
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return "missing";
    std::wstring text(reinterpret_cast<wchar_t*>(data.data()), size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0')
        text.pop_back();
    return "sz " + Utf8(text);
}

bool WriteValue(const std::wstring& path, const std::wstring& value, DWORD type, const void* data, DWORD size)
{
    HKEY key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    const bool ok = ::RegSetValueExW(key, value.c_str(), 0, type, static_cast<const BYTE*>(data), size) ==
                    ERROR_SUCCESS;
    ::RegCloseKey(key);
    return ok;
}

std::string Run(DWORD ms, const std::wstring& commandLine)
{
    std::wstring command = commandLine;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return "fail";
    ::CloseHandle(process.hThread);
    std::string answer = "timeout";
    DWORD code = 0;
    if (::WaitForSingleObject(process.hProcess, ms) == WAIT_OBJECT_0 && ::GetExitCodeProcess(process.hProcess, &code))
        answer = "exit " + std::to_string(code);
    ::CloseHandle(process.hProcess);
    return answer;
}

std::string Answer(const std::vector<std::string>& f)
{
    const std::string& command = f[0];
    auto arg = [&](size_t i) { return i < f.size() ? f[i] : std::string(); };
    auto warg = [&](size_t i) { return Wide(arg(i)); };
    auto ms = [&](size_t i) { return static_cast<DWORD>(std::strtoul(arg(i).c_str(), nullptr, 10)); };
    auto okFail = [](bool ok) { return std::string(ok ? "ok" : "fail"); };

    if (command == "wait-marker") {
        WaitFor([] { return Marker() != nullptr; }, ms(1));
        return MarkerAnswer();
    }
    if (command == "wait-gone")
        return WaitFor([] { return Marker() == nullptr; }, ms(1)) ? "yes" : "no";
    if (command == "close") {
        if (HWND marker = Marker())
            ::PostMessageW(marker, WM_CLOSE, 0, 0);
        return WaitFor([] { return Marker() == nullptr; }, ms(1)) ? "yes" : "no";
    }
    if (command == "alive") {
        HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, ms(1));
        if (!process)
            return "no";
        const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
        ::CloseHandle(process);
        return running ? "yes" : "no";
    }
    if (command == "process-path")
        return ProcessPath(ms(1));
    if (command == "file")
        return Attributes(warg(1), false);
    if (command == "dir")
        return Attributes(warg(1), true);
    if (command == "file-has") {
        bool found;
        const std::string text = ReadWholeFile(warg(1), found);
        return found && text.find(arg(2)) != std::string::npos ? "yes" : "no";
    }
    if (command == "append-file")
        return okFail(AppendFile(warg(1), arg(2)));
    if (command == "key") {
        HKEY key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, warg(1).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return "no";
        ::RegCloseKey(key);
        return "yes";
    }
    if (command == "subkeys")
        return Subkeys(warg(1));
    if (command == "reg-sz")
        return ReadValue(warg(1), warg(2), false);
    if (command == "reg-dword")
        return ReadValue(warg(1), warg(2), true);
    if (command == "set-sz") {
        const std::wstring text = warg(3);
        return okFail(WriteValue(warg(1), warg(2), REG_SZ, text.c_str(),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))));
    }
    if (command == "set-dword") {
        const DWORD number = ms(3);
        return okFail(WriteValue(warg(1), warg(2), REG_DWORD, &number, sizeof number));
    }
    if (command == "del-key") {
        const DWORD status = ::SHDeleteKeyW(HKEY_LOCAL_MACHINE, warg(1).c_str());
        return okFail(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    if (command == "del-value") {
        HKEY key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, warg(1).c_str(), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
            return "ok";
        const LONG status = ::RegDeleteValueW(key, warg(2).c_str());
        ::RegCloseKey(key);
        return okFail(status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND);
    }
    if (command == "run")
        return Run(ms(1), warg(2));
    return "error unknown request";
}

} // namespace

int main()
{
    std::printf("ready\n");
    std::fflush(stdout);
    char buffer[8192];
    while (std::fgets(buffer, sizeof buffer, stdin)) {
        std::string line(buffer);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (line.empty())
            continue;
        std::vector<std::string> fields;
        std::istringstream in(line);
        for (std::string field; std::getline(in, field, '\t');)
            fields.push_back(field);
        if (fields[0] == "quit")
            break;
        std::printf("%s\n", Answer(fields).c_str());
        std::fflush(stdout);
    }
    return 0;
}
