// The key Group Policy writes machine policies to, opened where it writes them:
// a 32-bit program on 64-bit Windows reads the 64-bit view. Header-only, so that
// the agent reads it too without the library's code.
#pragma once
#include "korvante/MachinePolicy.h"
#include "korvante/SystemCalls.h"

// The view flag, asked for only under WOW64: 2000 refuses it.
inline REGSAM PolicyView()
{
    BOOL(WINAPI * isWow64Process)(HANDLE, BOOL*);
    BOOL wow64 = FALSE;
    if (BindCall(isWow64Process, ::GetModuleHandleA("kernel32.dll"), "IsWow64Process"))
        isWow64Process(::GetCurrentProcess(), &wow64);
    return wow64 ? KEY_WOW64_64KEY : 0;
}

// The policy key, or its subkey; null when there is none.
inline HKEY OpenPolicyKey(const char* subkey)
{
    char path[sizeof kPolicyKeyPath + sizeof kDisabledProductsKey + 1];
    ::lstrcpyA(path, kPolicyKeyPath);
    if (subkey) {
        ::lstrcatA(path, "\\");
        ::lstrcatA(path, subkey);
    }
    HKEY key = nullptr;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | PolicyView(), &key) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// The policy's DWORD, or fallback when it is missing, of another type or out of its range.
inline DWORD ReadDwordPolicy(HKEY key, const DwordPolicy& policy, DWORD fallback)
{
    DWORD type = 0, data = 0, size = sizeof data;
    if (!key || ::RegQueryValueExA(key, policy.name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                    ERROR_SUCCESS || type != REG_DWORD || size != sizeof data || data < policy.least || data > policy.most)
        return fallback;
    return data;
}
