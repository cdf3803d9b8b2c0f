// Destination names: whatever a peer announces, a received file lands in the destination
// folder itself, under a name that the file system takes literally.
#include "protocol/destname.h"

#include "base/pathjoin.h"
#include "protocol/packets.h"

#include <cctype>
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
