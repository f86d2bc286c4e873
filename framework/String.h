// A small text string that owns its characters: the agent's status and menu
// texts, all short. It holds up to 255 characters; longer text is cut there.
#pragma once
#include <windows.h>

class CString {
public:
    CString() = default;
    CString(const char* text) { Assign(text); }

    // Loads a string table entry of the program; an unknown entry gives "".
    BOOL LoadString(UINT id);
    // Replaces every "%1" with the argument.
    void ReplaceArgument(const char* argument);
    // Appends text.
    CString& operator+=(const char* text);

    operator const char*() const { return m_text; }
    int GetLength() const { return lstrlenA(m_text); }
    bool IsEmpty() const { return m_text[0] == '\0'; }

    static constexpr int kCapacity = 256;

private:
    void Assign(const char* text);

    char m_text[kCapacity] = "";
};

// Loads string resource id and fills its "%1" with text.
void AfxFormatString1(CString& result, UINT id, const char* text);
