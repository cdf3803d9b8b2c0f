// Joining a folder and a name into one path with a single backslash between them.
#include "base/pathjoin.h"

#include <cstdio>
#include <cstring>

int JoinPath(char* pszOut, size_t cb, const char* pszDir, const char* pszName)
{
    size_t nDir = strlen(pszDir);
    const char* pszSep = (nDir && pszDir[nDir - 1] == '\\') ? "" : "\\";
    int n = snprintf(pszOut, cb, "%s%s%s", pszDir, pszSep, pszName);
    return n >= 0 && (size_t)n < cb;
}
