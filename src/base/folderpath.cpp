// Whether a path names an existing folder in full, as a destination must.
#include "base/folderpath.h"

#include <windows.h>

static int IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// \\server\share: two backslashes, a server name, a backslash and a share name, each name at
// least one character without a backslash.
static int IsUncShare(const char* p)
{
    if (p[0] != '\\' || p[1] != '\\')
        return 0;
    const char* pServer = p + 2;
    const char* pSep = pServer;
    while (*pSep && *pSep != '\\')
        pSep++;
    return pSep > pServer && pSep[0] == '\\' && pSep[1] && pSep[1] != '\\';
}

int IsFullPathForm(const char* pszPath)
{
    int bDrive = IsLetter(pszPath[0]) && pszPath[1] == ':' && pszPath[2] == '\\';
    return bDrive || IsUncShare(pszPath);
}

int IsExistingFullFolder(const char* pszPath)
{
    if (!IsFullPathForm(pszPath))
        return 0;
    DWORD dwAttr = GetFileAttributesA(pszPath);
    return dwAttr != INVALID_FILE_ATTRIBUTES && (dwAttr & FILE_ATTRIBUTE_DIRECTORY);
}
