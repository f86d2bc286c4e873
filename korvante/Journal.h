// The call journal: when the environment variable KORVANTE_JOURNAL names a
// file, every call appends one line to it before doing its work, e.g.
//   SetNextTime "Alpha" 2026-12-06 14:05:00
// The file is opened and closed per line, so a killed agent leaves whole lines.
#pragma once
#include <cstddef>

class JournalLine {
public:
    explicit JournalLine(const char* operation);

    // " \"name\"", or " null"; a long name is cut to 255 characters.
    JournalLine& Name(const char* name);
    // " label=\"contents\"" as the buffer holds them now, at most its 260 bytes; label=null for none.
    JournalLine& Buffer(const char* label, const char* buffer);
    JournalLine& Number(int value);
    // " YYYY-MM-DD HH:MM:SS", " none" for 0.0, " invalid" for what has no text.
    JournalLine& Time(double time, bool valid);

    // Appends the line to the journal file, if there is one.
    void Write() const;

private:
    void Append(const char* text, size_t length);
    void Quoted(const char* text, size_t limit);

    char m_line[1024];
    size_t m_length = 0;
};
