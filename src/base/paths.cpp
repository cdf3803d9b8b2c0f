// Path text: a folder and a name joined with one backslash, and the name taken back out.
#include "base/paths.h"

#include <cstdio>
#include <cstring>

int JoinPath(char* pszOut, size_t cb, const char* pszDir, const char* pszName)
{
    size_t nDir = strlen(pszDir);
    const char* pszSep = (nDir && pszDir[nDir - 1] == '\\') ? "" : "\\";
    int n = snprintf(pszOut, cb, "%s%s%s", pszDir, pszSep, pszName);
    return n >= 0 && (size_t)n < cb;
}

void PathFileName(const char* pszPath, char* pszName)
{
    const char* pszStart = strrchr(pszPath, '\\');
    pszStart = pszStart ? pszStart + 1 : pszPath;
    size_t n = strlen(pszStart);
    if (n > 127)
        pszStart += n - 127;
    strcpy(pszName, pszStart);
}
