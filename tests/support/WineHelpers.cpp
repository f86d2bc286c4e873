// The support layer shared by the test programs and bench/ (see the header).
#include "tests/support/WineHelpers.h"
#include "engine/ProductKey.h"
#include <sddl.h>
#include <shlwapi.h>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string EntryPath(const std::string& entry)
{
    return entry.empty() ? kProductKeyPath : std::string(kProductKeyPath) + "\\" + entry;
}

bool SetValue(HKEY root, const std::string& path, const char* value, DWORD type, const void* data, DWORD size)
{
    return ::SHSetValueA(root, path.c_str(), value, type, data, size) == ERROR_SUCCESS;
}

} // namespace

void DeleteProductKey()
{
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane");
}

namespace {

std::string PolicyPath(const char* subkey)
{
    return std::string("SOFTWARE\\Policies\\Morvane\\Tesvo") + (subkey ? std::string("\\") + subkey : "");
}

} // namespace

bool SetPolicyValue(const char* value, DWORD number, const char* subkey)
{
    return SetValue(HKEY_LOCAL_MACHINE, PolicyPath(subkey), value, REG_DWORD, &number, sizeof number);
}

bool SetPolicyValue(const char* value, const std::string& text, const char* subkey)
{
    return SetValue(HKEY_LOCAL_MACHINE, PolicyPath(subkey), value, REG_SZ, text.c_str(), text.size() + 1);
}

void DeletePolicies()
{
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Policies\\Morvane");
}

void RegisterProducts(const std::vector<std::string>& names)
{
    HKEY key;
    for (const std::string& name : names)
        if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, EntryPath(name).c_str(), 0, nullptr, 0, KEY_READ, nullptr, &key,
                              nullptr) == ERROR_SUCCESS)
            ::RegCloseKey(key);
}

std::vector<std::string> RegisteredProducts()
{
    std::vector<std::string> names;
    HKEY productKey;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, KEY_READ, &productKey) != ERROR_SUCCESS)
        return names;
    char name[260];
    for (DWORD index = 0;; ++index) {
        DWORD length = sizeof name;
        if (::RegEnumKeyExA(productKey, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    ::RegCloseKey(productKey);
    return names;
}

bool SetEntryValue(const std::string& entry, const char* value, const std::string& text)
{
    return SetValue(HKEY_LOCAL_MACHINE, EntryPath(entry), value, REG_SZ, text.c_str(), text.size() + 1);
}

bool SetEntryValue(const std::string& entry, const char* value, DWORD number)
{
    return SetValue(HKEY_LOCAL_MACHINE, EntryPath(entry), value, REG_DWORD, &number, sizeof number);
}

std::string ReadEntryString(const std::string& entry, const char* value)
{
    char text[512] = "";
    DWORD size = sizeof text - 1;
    if (::SHGetValueA(HKEY_LOCAL_MACHINE, EntryPath(entry).c_str(), value, nullptr, text, &size) != ERROR_SUCCESS)
        return "";
    return text;
}

bool SetUserValue(const std::string& path, const char* value, const std::string& text)
{
    return SetValue(HKEY_CURRENT_USER, path, value, REG_SZ, text.c_str(), text.size() + 1);
}

bool ProductKeyAccess::Set(const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key;
    bool applied = false;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, EntryPath(m_entry).c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        applied = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    ::LocalFree(descriptor);
    return applied;
}

std::string LocalTimeText(double secondsFromNow)
{
    FILETIME now, local;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks{{now.dwLowDateTime, now.dwHighDateTime}};
    ticks.QuadPart += static_cast<ULONGLONG>(static_cast<LONGLONG>(secondsFromNow * 10000000.0));
    const FILETIME later{ticks.LowPart, ticks.HighPart};
    SYSTEMTIME st;
    ::FileTimeToLocalFileTime(&later, &local);
    ::FileTimeToSystemTime(&local, &st);
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", st.wYear, st.wMonth, st.wDay, st.wHour,
                  st.wMinute, st.wSecond);
    return text;
}

std::string ProgramDir()
{
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string ReadFileText(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

void WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::vector<std::string> ReadLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::istringstream text(ReadFileText(path));
    for (std::string line; std::getline(text, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

size_t CountLines(const std::string& path, const std::string& prefix)
{
    size_t count = 0;
    for (const std::string& line : ReadLines(path))
        count += line.rfind(prefix, 0) == 0;
    return count;
}

HWND FindProcessWindow(DWORD processId, const char* className, bool visibleOnly)
{
    for (HWND window = nullptr; (window = ::FindWindowExA(nullptr, window, className, nullptr)) != nullptr;) {
        DWORD owner = 0;
        ::GetWindowThreadProcessId(window, &owner);
        if (owner == processId && (!visibleOnly || ::IsWindowVisible(window)))
            return window;
    }
    return nullptr;
}

void PumpMessages(DWORD ms)
{
    WaitUntil([] { return false; }, ms);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = ::GetTickCount();
    for (;;) {
        // A handler may post a message for every one it handles, so the queue is
        // never drained in one go: done() and the clock are asked after each.
        MSG msg;
        if (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        } else {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
        }
        if (done())
            return true;
        if (::GetTickCount() - start >= timeoutMs)
            return false;
    }
}

// The token Windows gives a standard user's programs, or an administrator's
// under UAC: the administrators group present for deny only.
HANDLE StandardUserToken()
{
    HANDLE token = nullptr, restricted = nullptr;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID admins = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_DUPLICATE | TOKEN_QUERY | TOKEN_ASSIGN_PRIMARY, &token) &&
        ::AllocateAndInitializeSid(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                   &admins)) {
        SID_AND_ATTRIBUTES disabled{admins, 0};
        ::CreateRestrictedToken(token, 0, 1, &disabled, 0, nullptr, 0, nullptr, &restricted);
    }
    if (admins)
        ::FreeSid(admins);
    if (token)
        ::CloseHandle(token);
    return restricted;
}
