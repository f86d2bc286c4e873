// Filling strings from text and string resources, and putting an argument in
// place of "%1".
#include "framework/String.h"
#include "framework/WinApp.h"

void CString::Assign(const char* text)
{
    ::lstrcpynA(m_text, text ? text : "", kCapacity);
}

BOOL CString::LoadString(UINT id)
{
    const int length = ::LoadStringA(AfxGetResourceHandle(), id, m_text, kCapacity);
    if (length <= 0)
        m_text[0] = '\0';
    return length > 0;
}

CString& CString::operator+=(const char* text)
{
    const int length = GetLength();
    ::lstrcpynA(m_text + length, text ? text : "", kCapacity - length);
    return *this;
}

void CString::ReplaceArgument(const char* argument)
{
    CString result;
    for (const char* p = m_text; *p;) {
        if (p[0] == '%' && p[1] == '1') {
            result += argument;
            p += 2;
            continue;
        }
        const char single[2] = {*p++, '\0'};
        result += single;
    }
    *this = result;
}

void AfxFormatString1(CString& result, UINT id, const char* text)
{
    result.LoadString(id);
    result.ReplaceArgument(text);
}
