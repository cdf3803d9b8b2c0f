// Destination names: whatever a peer announces, a received file lands in the destination
// folder itself, under a name that the file system takes literally.
#include "protocol/destname.h"

#include "base/paths.h"
#include "protocol/packets.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>

// Names the system resolves to devices in every folder, with or without an extension and
// whatever spaces end the part before it: CON, PRN, AUX, NUL, CONIN$, CONOUT$, and COM or LPT
// followed by a digit or by a superscript one, two or three (0xB9, 0xB2, 0xB3 in cp1252).
static int IsDeviceName(const char* pszName)
{
    static const char* const apszDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    size_t nBase = strcspn(pszName, ".");
    while (nBase > 0 && pszName[nBase - 1] == ' ')
        nBase--;
    char szBase[8];
    if (nBase >= sizeof szBase)
        return 0;
    for (size_t i = 0; i < nBase; i++)
        szBase[i] = (char)toupper((unsigned char)pszName[i]);
    szBase[nBase] = 0;
    for (const char* pszDevice : apszDevices)
        if (strcmp(szBase, pszDevice) == 0)
            return 1;
    if (nBase != 4 || (strncmp(szBase, "COM", 3) != 0 && strncmp(szBase, "LPT", 3) != 0))
        return 0;
    unsigned char cUnit = (unsigned char)szBase[3];
    return (cUnit >= '0' && cUnit <= '9') || cUnit == 0xB9 || cUnit == 0xB2 || cUnit == 0xB3;
}

int IsPlainFileName(const char* pszName)
{
    size_t n = strlen(pszName);
    if (n == 0 || strcmp(pszName, ".") == 0 || strcmp(pszName, "..") == 0)
        return 0;
    for (size_t i = 0; i < n; i++) {
        unsigned char c = (unsigned char)pszName[i];
        if (c < 0x20 || strchr("/\\:<>\"|?*", c))
            return 0;
    }
    // The system strips a trailing dot or space, so such a name would open another file.
    if (pszName[n - 1] == '.' || pszName[n - 1] == ' ')
        return 0;
    return !IsDeviceName(pszName);
}

int DestPathOfRecord(const XFERFILE* pRec, const char* pszDestDir, char* pszPath,
                     size_t cbPath, char* pszName)
{
    char szPeerPath[256];
    if (!XferPathToNarrow(pRec, szPeerPath))
        return 0;       // a unit above 255 has no byte of its own in our code page
    PathFileName(szPeerPath, pszName);
    if (!IsPlainFileName(pszName))
        return 0;
    return JoinPath(pszPath, cbPath, pszDestDir, pszName);
}

// The name as the file system keeps it (without trailing dots and spaces), in UTF-16.
static int FileSystemName(const char* pszName, wchar_t* pwsz, int cch)
{
    int n = MultiByteToWideChar(CP_ACP, 0, pszName, -1, pwsz, cch);
    if (n <= 0)
        return -1;
    n--;
    while (n > 0 && (pwsz[n - 1] == L'.' || pwsz[n - 1] == L' '))
        n--;
    return n;
}

int SameFileName(const char* pszA, const char* pszB)
{
    wchar_t wszA[MAX_PATH], wszB[MAX_PATH];
    int nA = FileSystemName(pszA, wszA, MAX_PATH), nB = FileSystemName(pszB, wszB, MAX_PATH);
    if (nA < 0 || nB < 0)
        return strcmp(pszA, pszB) == 0;
    // The ordinal comparison without case is the one the file system makes.
    return CompareStringOrdinal(wszA, nA, wszB, nB, TRUE) == CSTR_EQUAL;
}

int NumberedFileName(const char* pszName, int n, char* pszOut, size_t cbOut)
{
    if (n == 1) {
        size_t cb = strlen(pszName) + 1;
        if (cb > cbOut)
            return 0;
        memcpy(pszOut, pszName, cb);
        return 1;
    }
    // The extension is what follows the last dot, unless that dot starts the name.
    const char* pszDot = strrchr(pszName, '.');
    size_t nStem = pszDot && pszDot != pszName ? (size_t)(pszDot - pszName) : strlen(pszName);
    int cch = snprintf(pszOut, cbOut, "%.*s (%d)%s", (int)nStem, pszName, n, pszName + nStem);
    return cch > 0 && (size_t)cch < cbOut;
}

void AssignDestNames(const XFERFILE* pRecs, int nRecs, const char* pszDestDir, DestName* pNames)
{
    for (int i = 0; i < nRecs; i++) {
        DestName& d = pNames[i];
        d.szName[0] = 0;
        d.bExisted = 0;
        char szPath[MAX_PATH], szOwn[128];
        if (!DestPathOfRecord(&pRecs[i], pszDestDir, szPath, sizeof szPath, szOwn))
            continue;
        auto takenInBatch = [&](const char* pszName) {
            for (int j = 0; j < i; j++)
                if (SameFileName(pNames[j].szName, pszName))
                    return 1;
            return 0;
        };
        if (!takenInBatch(szOwn)) {
            strcpy(d.szName, szOwn);
            d.bExisted = GetFileAttributesA(szPath) != INVALID_FILE_ATTRIBUTES;
            continue;
        }
        for (int n = 2; n < 10000; n++) {
            char szName[sizeof d.szName];
            if (!NumberedFileName(szOwn, n, szName, sizeof szName) ||
                !JoinPath(szPath, sizeof szPath, pszDestDir, szName))
                break;      // no numbered name fits: the record is refused at its open
            if (!takenInBatch(szName) && GetFileAttributesA(szPath) == INVALID_FILE_ATTRIBUTES) {
                strcpy(d.szName, szName);
                break;
            }
        }
    }
}
