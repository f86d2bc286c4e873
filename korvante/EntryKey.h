// An entry's values in the registry. The default entry "" lives in the product
// key itself, every product in its own subkey of it.
#pragma once
#include "engine/ProductKey.h"
#include <windows.h>

// Value names.
constexpr char kScheduleKind[] = "ScheduleKind";      // REG_DWORD
constexpr char kScheduleA[] = "ScheduleA";            // REG_DWORD
constexpr char kScheduleB[] = "ScheduleB";            // REG_DWORD
constexpr char kNextTime[] = "NextTime";              // REG_SZ time, missing or empty: none
constexpr char kUpdateCommand[] = "UpdateCommand";    // REG_SZ command line
constexpr char kWorkingDirectory[] = "WorkingDirectory"; // REG_SZ, optional
constexpr char kUpdateTimeout[] = "UpdateTimeoutSeconds"; // REG_DWORD, optional
constexpr char kLastOutcome[] = "LastOutcome";        // REG_SZ, written by RunUpdate
constexpr char kLastRun[] = "LastRun";                // REG_SZ time, written by RunUpdate
constexpr char kFailedTries[] = "FailedTries";        // REG_DWORD, while a failed update waits for its retry
constexpr char kCatalogSource[] = "CatalogSource";    // REG_SZ file, product key only
constexpr char kLastBatch[] = "LastBatch";            // REG_SZ time, product key only

// Names are subkey names: not null, at most 255 characters, no backslash.
bool IsValidEntryName(const char* name);

// A name checked once, where it comes in (the library's exported calls, the
// service's request), and carried from there without being checked again.
class EntryName {
public:
    explicit EntryName(const char* text) : m_text(IsValidEntryName(text) ? text : nullptr) {}
    // False for a name IsValidEntryName refuses: it opens no key.
    bool Valid() const { return m_text != nullptr; }
    // The name; "" for an invalid one.
    const char* Text() const { return m_text ? m_text : ""; }
    bool IsDefault() const { return m_text && !*m_text; }

private:
    const char* m_text;
};

class EntryKey {
public:
    // Write opens an existing key for writing too; Create also creates it.
    enum Access { Read, Write, Create };

    // Open() is false for an invalid name or a key that is missing (or denied).
    EntryKey(const EntryName& name, Access access);
    EntryKey(const char* name, Access access) : EntryKey(EntryName(name), access) {}
    ~EntryKey();
    EntryKey(const EntryKey&) = delete;
    EntryKey& operator=(const EntryKey&) = delete;

    bool Open() const { return m_key != nullptr; }

    // A REG_DWORD value, or fallback when it is missing or of another type.
    DWORD ReadDword(const char* value, DWORD fallback) const;
    // A REG_SZ value that fits capacity with its terminator; text is "" and the
    // result false otherwise.
    bool ReadString(const char* value, char* text, DWORD capacity) const;
    // A stored time; 0.0 when missing, empty or not a time.
    double ReadTime(const char* value) const;

    bool WriteDword(const char* value, DWORD data);
    bool WriteString(const char* value, const char* text);
    // Stores a time as text; 0.0 removes the value.
    bool WriteTime(const char* value, double time);
    // True when the value is gone, or was not there.
    bool DeleteValue(const char* value);

private:
    HKEY m_key = nullptr;
};
