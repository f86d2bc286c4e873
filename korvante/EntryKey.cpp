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

EntryKey::EntryKey(const EntryName& entry, Access access)
{
    if (!entry.Valid())
        return;
    const char* name = entry.Text();
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
    DWORD type = 0, size = capacity;
    const bool read = m_key && ::RegQueryValueExA(m_key, value, nullptr, &type, reinterpret_cast<BYTE*>(text),
                                                  &size) == ERROR_SUCCESS && type == REG_SZ;
    // A stored string need not end in a terminator: the text is what comes before
    // one, and it must leave room for ours.
    if (read && size > 0 && text[size - 1] == '\0')
        --size;
    if (!read || size >= capacity) {
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
    if (time == 0.0)
        return DeleteValue(value);
    char text[kTimeTextSize];
    return TimeToText(time, text) && WriteString(value, text);
}

bool EntryKey::DeleteValue(const char* value)
{
    const LONG status = m_key ? ::RegDeleteValueA(m_key, value) : ERROR_INVALID_HANDLE;
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}
