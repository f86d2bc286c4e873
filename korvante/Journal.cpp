#include "korvante/Journal.h"
#include "engine/Korvante.h"
#include "korvante/SystemCalls.h"
#include "korvante/TimeText.h"
#include <windows.h>
#include <cstring>

JournalLine::JournalLine(const char* operation)
{
    m_line[0] = '\0';
    Append(operation, std::strlen(operation));
}

void JournalLine::Append(const char* text, size_t length)
{
    // Room stays for the line end.
    const size_t room = sizeof m_line - 2 - m_length;
    if (length > room)
        length = room;
    std::memcpy(m_line + m_length, text, length);
    m_length += length;
}

void JournalLine::Quoted(const char* text, size_t limit)
{
    if (!text) {
        Append("null", 4);
        return;
    }
    Append("\"", 1);
    for (size_t i = 0; i < limit && text[i]; ++i) {
        // Control characters would break the line.
        const char c = static_cast<unsigned char>(text[i]) < 0x20 ? '?' : text[i];
        Append(&c, 1);
    }
    Append("\"", 1);
}

JournalLine& JournalLine::Name(const char* name)
{
    Append(" ", 1);
    Quoted(name, 255);
    return *this;
}

JournalLine& JournalLine::Buffer(const char* label, const char* buffer)
{
    Append(" ", 1);
    Append(label, std::strlen(label));
    Append("=", 1);
    Quoted(buffer, kKorvanteBufferSize);
    return *this;
}

JournalLine& JournalLine::Number(int value)
{
    char text[16];
    Append(text, ::wsprintfA(text, " %d", value));
    return *this;
}

JournalLine& JournalLine::Time(double time, bool valid)
{
    char text[kTimeTextSize];
    const char* word = !valid ? "invalid" : time == 0.0 ? "none" : TimeToText(time, text) ? text : "invalid";
    Append(" ", 1);
    Append(word, std::strlen(word));
    return *this;
}

void JournalLine::Write() const
{
    char path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("KORVANTE_JOURNAL", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    // NT appends each line whole even with several writers; 95, 98 and Me know only
    // GENERIC_WRITE, and there the line goes after the end as it is found.
    const bool nt = IsNtFrom(3);
    const HANDLE file = ::CreateFileA(path, nt ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    if (!nt)
        ::SetFilePointer(file, 0, nullptr, FILE_END);
    char line[sizeof m_line];
    std::memcpy(line, m_line, m_length);
    std::memcpy(line + m_length, "\r\n", 2);
    DWORD written;
    ::WriteFile(file, line, static_cast<DWORD>(m_length + 2), &written, nullptr);
    ::CloseHandle(file);
}
