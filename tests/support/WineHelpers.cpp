#include "support/WineHelpers.h"
#include "catalog/ProductList.h"
#include <sddl.h>
#include <shlwapi.h>
#include <fstream>
#include <sstream>

void DeleteProductKey()
{
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Morvane");
}

void RegisterProducts(const std::vector<std::string>& names)
{
    HKEY productKey;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                          &productKey, nullptr) != ERROR_SUCCESS)
        return;
    for (const std::string& name : names) {
        HKEY subkey;
        if (::RegCreateKeyExA(productKey, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &subkey,
                              nullptr) == ERROR_SUCCESS)
            ::RegCloseKey(subkey);
    }
    ::RegCloseKey(productKey);
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

bool ProductKeyAccess::Set(const char* sddl)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl, SDDL_REVISION_1, &descriptor, nullptr))
        return false;
    HKEY key;
    bool applied = false;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, WRITE_DAC, &key) == ERROR_SUCCESS) {
        applied = ::RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    ::LocalFree(descriptor);
    return applied;
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
