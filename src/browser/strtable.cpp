// Texts the windows show: string-table formats into a buffer or a message box, and sizes.
#include "browser/strtable.h"

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

void FormatSize(int32_t n, char* pszBuf)
{
    // Counts of 2 GB and more arrive here negative; they are shown by their unsigned value so
    // that a large batch never reads as a negative size.
    uint32_t u = (uint32_t)n;
    if (u == 0)
        snprintf(pszBuf, 32, "0");
    else if (u < 1024)
        snprintf(pszBuf, 32, "%uB", u);
    else if (u < 1048576) {
        uint32_t tenths = (u % 1024) / 100;
        snprintf(pszBuf, 32, "%u.%01uK", u / 1024, tenths > 9 ? 9 : tenths);
    } else {
        uint32_t tenths = (u % 1048576) / 102400;
        snprintf(pszBuf, 32, "%u.%01uM", u / 1048576, tenths > 9 ? 9 : tenths);
    }
}
