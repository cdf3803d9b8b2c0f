// The path menu of a folder's levels and the navigation it offers, shared by the Select
// Directory dialog and the main window's path button.
#include "browser/pathlevels.h"

#include "base/paths.h"

#include <cstdio>
#include <cstring>

static int CountBackslashes(const char* psz)
{
    int n = 0;
    for (; *psz; psz++)
        n += *psz == '\\';
    return n;
}

int PathDepth(const char* pszPath)
{
    size_t n = strlen(pszPath);
    if (n <= 3)
        return 0;
    return CountBackslashes(pszPath) - (pszPath[n - 1] == '\\' ? 1 : 0);
}

HMENU BuildPathMenu(const char* pszPath, UINT idBase)
{
    HMENU hMenu = CreatePopupMenu();
    char szP[256];
    snprintf(szP, sizeof szP, "%s", pszPath);
    int n = (int)strlen(szP);
    int D = n > 3 ? 1 + CountBackslashes(szP) : 1;
    UINT k = 1;
    char szItem[300];
    if (D > 1 && n > 2) {
        for (int j = n - 1; j >= 2; j--) {
            if (szP[j] != '\\')
                continue;
            if (!szP[j + 1]) {
                snprintf(szItem, sizeof szItem, "%s", szP);
            } else {
                int nIndent = 2 * (D - (int)k);
                if (nIndent < 2)
                    nIndent = 2;
                memset(szItem, ' ', nIndent);
                if (k == 1)
                    memcpy(szItem + nIndent - 2, "* ", 2);
                snprintf(szItem + nIndent, sizeof szItem - nIndent, "%s", szP + j + 1);
            }
            InsertMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, idBase + k, szItem);
            k++;
            szP[j] = 0;
        }
    }
    if (pszPath[0]) {
        if (strlen(pszPath) == 3)
            snprintf(szItem, sizeof szItem, "* %c:\\", pszPath[0]);
        else
            snprintf(szItem, sizeof szItem, "%s\\", szP);
        InsertMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, idBase + k, szItem);
        k++;
    }
    InsertMenuA(hMenu, 0, MF_BYPOSITION | MF_STRING, idBase + k,
                pszPath[0] ? "My Computer" : "* My Computer");
    return hMenu;
}

// Item k of the menu: k = 1 the folder itself, 2..d its parents, d + 1 the drive root and
// d + 2 the drives level, for a path d folders below its root. Every level is reachable,
// however deep the path is.
int PathOfLevel(char* pszPath, int k)
{
    if (!pszPath[0] || k < 2)
        return 0;
    int d = PathDepth(pszPath);
    if (k > d + 2)
        return 0;
    if (k == d + 2) {
        pszPath[0] = 0;
        return 1;
    }
    if (k == d + 1) {
        pszPath[3] = 0;
        return 1;
    }
    // Keep the first d - k + 1 folder levels: cut at the backslash that follows them.
    int nKeep = d - k + 1;
    for (char* p = pszPath + 3; *p; p++)
        if (*p == '\\' && --nKeep == 0) {
            *p = 0;
            break;
        }
    return 1;
}

void PathButtonText(const char* pszPath, int bMenuOpen, char* pszText)
{
    if (!pszPath[0])
        strcpy(pszText, "My Computer");
    else if (bMenuOpen)
        strcpy(pszText, "Show");
    else if (strlen(pszPath) == 3)
        strcpy(pszText, pszPath);
    else
        PathFileName(pszPath, pszText);
}
