#include "support/E2EFixture.h"
#include "catalog/ProductList.h"
#include "framework/OleDateTime.h"

namespace {

std::string EntryPath(const std::string& name)
{
    return name.empty() ? kProductKeyPath : std::string(kProductKeyPath) + "\\" + name;
}

void SetString(HKEY key, const char* value, const std::string& text)
{
    ::RegSetValueExA(key, value, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                     static_cast<DWORD>(text.size() + 1));
}

void SetDword(HKEY key, const char* value, DWORD data)
{
    ::RegSetValueExA(key, value, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
}

} // namespace

void SetEntrySchedule(const std::string& name, const EntrySchedule& schedule)
{
    HKEY key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, EntryPath(name).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return;
    SetDword(key, "ScheduleKind", schedule.kind);
    SetDword(key, "ScheduleA", schedule.a);
    SetDword(key, "ScheduleB", schedule.b);
    if (schedule.nextTime != 0.0)
        SetString(key, "NextTime", TimeText(schedule.nextTime));
    else
        ::RegDeleteValueA(key, "NextTime");
    if (schedule.command)
        SetString(key, "UpdateCommand", schedule.command);
    ::RegCloseKey(key);
}

void SetCatalogSource(const std::string& path)
{
    HKEY key;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                          nullptr) != ERROR_SUCCESS)
        return;
    SetString(key, "CatalogSource", path);
    ::RegCloseKey(key);
}

std::string ReadEntryString(const std::string& name, const char* value)
{
    char text[512] = "";
    DWORD size = sizeof text - 1;
    HKEY key;
    if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, EntryPath(name).c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return "";
    if (::RegQueryValueExA(key, value, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS)
        text[0] = 0;
    ::RegCloseKey(key);
    return text;
}

std::string TimeText(double when)
{
    return std::string(COleDateTime(when).Format("%Y-%m-%d %H:%M:%S"));
}

double SecondsFromNow(double seconds)
{
    return COleDateTime::GetCurrentTime().m_dt + seconds / 86400.0;
}
