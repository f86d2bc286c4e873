#include "String.h"
#include "WinApp.h"

BOOL CString::LoadString(UINT id)
{
    char buffer[256];
    int length = ::LoadStringA(AfxGetResourceHandle(), id, buffer, sizeof buffer);
    m_text.assign(buffer, length > 0 ? length : 0);
    return length > 0;
}

void CString::ReplaceFirstArgument(const char* argument)
{
    const std::string value = argument ? argument : "";
    for (size_t at = m_text.find("%1"); at != std::string::npos; at = m_text.find("%1", at + value.size()))
        m_text.replace(at, 2, value);
}

void AfxFormatString1(CString& result, UINT id, const char* text)
{
    result.LoadString(id);
    result.ReplaceFirstArgument(text);
}
