// Texts the windows show: string-table formats into a buffer or a message box, and sizes.
#include "winshared/strtable.h"

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
    // Room for a list of paths, one a line.
    char szText[4096], szCaption[128];
    va_list args;
    va_start(args, uType);
    FormatStringV(hInst, szText, sizeof szText, idText, args);
    va_end(args);
    if (!LoadStringA(hInst, idCaption, szCaption, sizeof szCaption))
        szCaption[0] = 0;
    return MessageBoxA(hwndOwner, szText, szCaption, uType);
}

void FormatSize(uint64_t n, char* pszBuf)
{
    // Megabytes from 1 MiB up, however large: a batch of many large files reads as thousands
    // of them rather than wrapping round.
    if (n == 0)
        snprintf(pszBuf, 32, "0");
    else if (n < 1024)
        snprintf(pszBuf, 32, "%uB", (unsigned)n);
    else if (n < 1048576) {
        unsigned tenths = (unsigned)(n % 1024) / 100;
        snprintf(pszBuf, 32, "%u.%01uK", (unsigned)(n / 1024), tenths > 9 ? 9 : tenths);
    } else {
        unsigned tenths = (unsigned)(n % 1048576) / 102400;
        snprintf(pszBuf, 32, "%llu.%01uM", (unsigned long long)(n / 1048576),
                 tenths > 9 ? 9 : tenths);
    }
}
