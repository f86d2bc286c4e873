// Opening an entry's registry key and reading and writing its values.
#include "korvante/EntryKey.h"
#include "korvante/TimeText.h"
#include <cstring>

bool IsValidEntryName(const char* name)
{
    if (!name)
        return false;
    const size_t length = strnlen(name, 256);
    return length < 256 && !std::memchr(name, '\\', length);
}

EntryKey::EntryKey(const char* name, Access access)
{
    if (!IsValidEntryName(name))
        return;
    char path[sizeof kProductKeyPath + 1 + 256];
    ::lstrcpyA(path, kProductKeyPath);
    if (*name) {
        ::lstrcatA(path, "\\");
        ::lstrcatA(path, name);
    }
    const REGSAM rights = access == Read ? KEY_READ : KEY_READ | KEY_WRITE;
    LONG status;
    if (access == Create)
        status = ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, rights, nullptr, &m_key,
                                   nullptr);
    else
        status = ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, rights, &m_key);
    if (status != ERROR_SUCCESS)
        m_key = nullptr;
}

EntryKey::~EntryKey()
{
    if (m_key)
        ::RegCloseKey(m_key);
}

DWORD EntryKey::ReadDword(const char* value, DWORD fallback) const
{
    DWORD type = 0, data = 0, size = sizeof data;
    if (!m_key || ::RegQueryValueExA(m_key, value, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) !=
                      ERROR_SUCCESS || type != REG_DWORD || size != sizeof data)
        return fallback;
    return data;
}

bool EntryKey::ReadString(const char* value, char* text, DWORD capacity) const
{
    text[0] = '\0';
    // One byte is kept back: stored strings need not end in a terminator.
    DWORD type = 0, size = capacity - 1;
    if (!m_key || ::RegQueryValueExA(m_key, value, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) !=
                      ERROR_SUCCESS || type != REG_SZ) {
        text[0] = '\0';
        return false;
    }
    text[size] = '\0';
    return true;
}

double EntryKey::ReadTime(const char* value) const
{
    char text[64];
    return ReadString(value, text, sizeof text) ? TimeFromText(text) : 0.0;
}

bool EntryKey::WriteDword(const char* value, DWORD data)
{
    return m_key && ::RegSetValueExA(m_key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data),
                                     sizeof data) == ERROR_SUCCESS;
}

bool EntryKey::WriteString(const char* value, const char* text)
{
    return m_key && ::RegSetValueExA(m_key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                     static_cast<DWORD>(std::strlen(text) + 1)) == ERROR_SUCCESS;
}

bool EntryKey::WriteTime(const char* value, double time)
{
    if (!m_key)
        return false;
    if (time == 0.0) {
        const LONG status = ::RegDeleteValueA(m_key, value);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    char text[kTimeTextSize];
    return TimeToText(time, text) && WriteString(value, text);
}
