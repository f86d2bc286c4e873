// A small text string that owns its characters; the agent's status texts.
#pragma once
#include <windows.h>
#include <string>

class CString {
public:
    CString() = default;
    CString(const char* text) : m_text(text ? text : "") {}

    // Loads a string table entry of the program; an unknown entry gives "".
    BOOL LoadString(UINT id);
    // Replaces every "%1" with the argument.
    void ReplaceFirstArgument(const char* argument);

    operator const char*() const { return m_text.c_str(); }
    int GetLength() const { return static_cast<int>(m_text.size()); }
    bool IsEmpty() const { return m_text.empty(); }

private:
    std::string m_text;
};

// Loads string resource id and fills its "%1" with text.
void AfxFormatString1(CString& result, UINT id, const char* text);
