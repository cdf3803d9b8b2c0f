// Texts of the string table used as printf formats: into a buffer, or as a message box.
#include "base/strtable.h"

#include <cstdarg>
#include <cstdio>

static void FormatStringV(HINSTANCE hInst, char* pszOut, size_t cb, UINT idFormat, va_list args)
{
    char szFormat[256];
    if (!LoadStringA(hInst, idFormat, szFormat, sizeof szFormat))
        szFormat[0] = 0;
    vsnprintf(pszOut, cb, szFormat, args);
}

void FormatString(HINSTANCE hInst, char* pszOut, size_t cb, UINT idFormat, ...)
{
    va_list args;
    va_start(args, idFormat);
    FormatStringV(hInst, pszOut, cb, idFormat, args);
    va_end(args);
}

int StringBox(HINSTANCE hInst, HWND hwndOwner, UINT idText, UINT idCaption, UINT uType, ...)
{
    char szText[512], szCaption[128];
    va_list args;
    va_start(args, uType);
    FormatStringV(hInst, szText, sizeof szText, idText, args);
    va_end(args);
    if (!LoadStringA(hInst, idCaption, szCaption, sizeof szCaption))
        szCaption[0] = 0;
    return MessageBoxA(hwndOwner, szText, szCaption, uType);
}
