// Settings: loading and saving the user's choices in the registry.
//
// The settings live under HKEY_LOCAL_MACHINE, and under the same key in HKEY_CURRENT_USER for
// a user who may not write there. A load reads the per-user key when there is one, else the
// machine key. A save writes the machine key and removes the per-user key, or writes the
// per-user key when the machine key cannot be written: either way the next start loads what
// was saved last, whichever keys existed before.
#include "connection/settings.h"

#include <windows.h>

#include <cstring>

const char kProgramKey[] = "SOFTWARE\\Varndel\\Talmox";

Settings g_settings;

const int32_t BlockSizeByCommType[CT_COUNT] = {4096, 8192, 4096, 4096, 2048, 32768, 32768};

int IsSocketType(int iType)
{
    return iType == CT_IRDA || iType == CT_LAN || iType == CT_WAN;
}

enum { PREF_PATHMENU = 1, PREF_BIT1 = 2, PREF_PROMPTDELETE = 4, PREF_SHOWRESULTS = 8,
       PREF_OVERWRITE = 16 };

// Reads a 4-byte value; a value that is missing or of another size leaves *pField alone.
static int ReadDword(HKEY hKey, const char* pszName, uint32_t* pField)
{
    uint32_t dwValue = 0;
    DWORD cb = sizeof dwValue;
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, (BYTE*)&dwValue, &cb) != ERROR_SUCCESS
        || cb != sizeof dwValue)
        return 0;
    *pField = dwValue;
    return 1;
}

// Reads a text value of at most 256 bytes into a 256-byte field, always terminated.
static int ReadText(HKEY hKey, const char* pszName, char* pszField)
{
    char szValue[256];
    DWORD cb = sizeof szValue;
    if (RegQueryValueExA(hKey, pszName, nullptr, nullptr, (BYTE*)szValue, &cb) != ERROR_SUCCESS)
        return 0;
    if (cb >= sizeof szValue)
        cb = sizeof szValue - 1;
    szValue[cb] = 0;
    strcpy(pszField, szValue);
    return 1;
}

static void ReadAtomicDword(HKEY hKey, const char* pszName, std::atomic<int32_t>& field)
{
    uint32_t dw = (uint32_t)field.load();
    if (ReadDword(hKey, pszName, &dw))
        field = (int32_t)dw;
}

void LoadSettings()
{
    g_settings.bPrefBit1 = 1;
    g_settings.bPromptDelete = 1;
    g_settings.bPathMenuOpen = 0;
    g_settings.bShowResults = 1;
    g_settings.bOverwrite = 0;
    g_settings.bAskBeforeReceiving = 0;
    g_settings.bAllowReadBack = 1;
    strcpy(g_settings.szDestDir, "C:\\Temp");
    strcpy(g_settings.szCurDir, "C:\\Temp");
    g_settings.dwPeerIP = 0;
    g_settings.iSortOrder = 0;
    g_settings.iCommType = 0;

    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS
        && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_QUERY_VALUE, &hKey)
            != ERROR_SUCCESS) {
        g_settings.cbBlock = BlockSizeByCommType[0];
        return;
    }
    ReadAtomicDword(hKey, "Sort", g_settings.iSortOrder);
    uint32_t dwPeer = g_settings.dwPeerIP;
    if (ReadDword(hKey, "PeerIP", &dwPeer))
        g_settings.dwPeerIP = dwPeer;
    ReadAtomicDword(hKey, "CommType", g_settings.iCommType);
    ReadAtomicDword(hKey, "AskBeforeReceiving", g_settings.bAskBeforeReceiving);
    ReadAtomicDword(hKey, "AllowReadBack", g_settings.bAllowReadBack);
    uint32_t dwPrefs = 0;
    int bHavePrefs = ReadDword(hKey, "Preferences", &dwPrefs);
    ReadText(hKey, "DestDir", g_settings.szDestDir);
    ReadText(hKey, "CurDir", g_settings.szCurDir);
    RegCloseKey(hKey);

    if (bHavePrefs) {
        g_settings.bPathMenuOpen = (int32_t)(dwPrefs & PREF_PATHMENU);
        g_settings.bPrefBit1 = (int32_t)(dwPrefs & PREF_BIT1);
        g_settings.bPromptDelete = (int32_t)(dwPrefs & PREF_PROMPTDELETE);
        g_settings.bShowResults = (int32_t)(dwPrefs & PREF_SHOWRESULTS);
        g_settings.bOverwrite = (int32_t)(dwPrefs & PREF_OVERWRITE);
    }
    // A stored type outside the table would index past it; treat it as the default.
    if (g_settings.iCommType < 0 || g_settings.iCommType >= CT_COUNT)
        g_settings.iCommType = 0;
    g_settings.cbBlock = BlockSizeByCommType[g_settings.iCommType];
}

// Writes every setting under root; returns 1 when the key could be created, else 0.
static int SaveSettingsUnder(HKEY hRoot)
{
    uint32_t dwPrefs = 0;
    if (g_settings.bPathMenuOpen) dwPrefs |= PREF_PATHMENU;
    if (g_settings.bPrefBit1) dwPrefs |= PREF_BIT1;
    if (g_settings.bPromptDelete) dwPrefs |= PREF_PROMPTDELETE;
    if (g_settings.bShowResults) dwPrefs |= PREF_SHOWRESULTS;
    if (g_settings.bOverwrite) dwPrefs |= PREF_OVERWRITE;

    HKEY hKey;
    if (RegCreateKeyExA(hRoot, kProgramKey, 0, (char*)"", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return 0;
    uint32_t dwSort = (uint32_t)g_settings.iSortOrder.load(), dwPeer = g_settings.dwPeerIP.load(),
             dwType = (uint32_t)g_settings.iCommType.load(),
             dwAsk = g_settings.bAskBeforeReceiving ? 1 : 0,
             dwReadBack = g_settings.bAllowReadBack ? 1 : 0;
    RegSetValueExA(hKey, "Sort", 0, REG_DWORD, (const BYTE*)&dwSort, 4);
    RegSetValueExA(hKey, "PeerIP", 0, REG_DWORD, (const BYTE*)&dwPeer, 4);
    RegSetValueExA(hKey, "CommType", 0, REG_DWORD, (const BYTE*)&dwType, 4);
    RegSetValueExA(hKey, "Preferences", 0, REG_DWORD, (const BYTE*)&dwPrefs, 4);
    RegSetValueExA(hKey, "AskBeforeReceiving", 0, REG_DWORD, (const BYTE*)&dwAsk, 4);
    RegSetValueExA(hKey, "AllowReadBack", 0, REG_DWORD, (const BYTE*)&dwReadBack, 4);
    RegSetValueExA(hKey, "DestDir", 0, REG_SZ, (const BYTE*)g_settings.szDestDir,
                   (DWORD)strlen(g_settings.szDestDir) + 1);
    RegSetValueExA(hKey, "CurDir", 0, REG_SZ, (const BYTE*)g_settings.szCurDir,
                   (DWORD)strlen(g_settings.szCurDir) + 1);
    RegCloseKey(hKey);
    return 1;
}

void SaveSettings()
{
    if (!SaveSettingsUnder(HKEY_LOCAL_MACHINE)) {
        SaveSettingsUnder(HKEY_CURRENT_USER);
        return;
    }
    // A per-user key left from an earlier save would hide this one at the next load; one that
    // cannot be removed is made to agree instead.
    LONG lResult = RegDeleteKeyA(HKEY_CURRENT_USER, kProgramKey);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND)
        SaveSettingsUnder(HKEY_CURRENT_USER);
}
