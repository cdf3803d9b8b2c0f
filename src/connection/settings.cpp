// Settings: loading and saving the user's choices in the registry.
//
// The settings live under HKEY_LOCAL_MACHINE, and under the same key in HKEY_CURRENT_USER for
// a user who may not write there. A load reads the per-user key when there is one, else the
// machine key. A save writes the machine key and removes the per-user key, or writes the
// per-user key when the machine key cannot be written: either way the next start loads what
// was saved last, whichever keys existed before.
#include "connection/session.h"

#include <cstring>

static const char kSettingsKey[] = "SOFTWARE\\Varndel\\Talmox";

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
    SessionState& s = g_state;
    s.bPrefBit1 = 1;
    s.bPromptDelete = 1;
    s.bPathMenuOpen = 0;
    s.bShowResults = 1;
    s.bOverwrite = 0;
    strcpy(s.szDestDir, "C:\\Temp");
    strcpy(s.szCurDir, "C:\\Temp");
    s.dwPeerIP = 0;
    s.iSortOrder = 0;
    s.iCommType = 0;

    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS
        && RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS) {
        s.cbBlock = BlockSizeByCommType[0];
        return;
    }
    ReadAtomicDword(hKey, "Sort", s.iSortOrder);
    uint32_t dwPeer = s.dwPeerIP;
    if (ReadDword(hKey, "PeerIP", &dwPeer))
        s.dwPeerIP = dwPeer;
    ReadAtomicDword(hKey, "CommType", s.iCommType);
    uint32_t dwPrefs = 0;
    int bHavePrefs = ReadDword(hKey, "Preferences", &dwPrefs);
    ReadText(hKey, "DestDir", s.szDestDir);
    ReadText(hKey, "CurDir", s.szCurDir);
    RegCloseKey(hKey);

    if (bHavePrefs) {
        s.bPathMenuOpen = (int32_t)(dwPrefs & PREF_PATHMENU);
        s.bPrefBit1 = (int32_t)(dwPrefs & PREF_BIT1);
        s.bPromptDelete = (int32_t)(dwPrefs & PREF_PROMPTDELETE);
        s.bShowResults = (int32_t)(dwPrefs & PREF_SHOWRESULTS);
        s.bOverwrite = (int32_t)(dwPrefs & PREF_OVERWRITE);
    }
    // A stored type outside the table would index past it; treat it as the default.
    if (s.iCommType < 0 || s.iCommType >= CT_COUNT)
        s.iCommType = 0;
    s.cbBlock = BlockSizeByCommType[s.iCommType];
}

// Writes every setting under root; returns 1 when the key could be created, else 0.
static int SaveSettingsUnder(HKEY hRoot)
{
    SessionState& s = g_state;
    uint32_t dwPrefs = 0;
    if (s.bPathMenuOpen) dwPrefs |= PREF_PATHMENU;
    if (s.bPrefBit1) dwPrefs |= PREF_BIT1;
    if (s.bPromptDelete) dwPrefs |= PREF_PROMPTDELETE;
    if (s.bShowResults) dwPrefs |= PREF_SHOWRESULTS;
    if (s.bOverwrite) dwPrefs |= PREF_OVERWRITE;

    HKEY hKey;
    if (RegCreateKeyExA(hRoot, kSettingsKey, 0, (char*)"", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &hKey, nullptr) != ERROR_SUCCESS)
        return 0;
    uint32_t dwSort = (uint32_t)s.iSortOrder.load(), dwPeer = s.dwPeerIP.load(),
             dwType = (uint32_t)s.iCommType.load();
    RegSetValueExA(hKey, "Sort", 0, REG_DWORD, (const BYTE*)&dwSort, 4);
    RegSetValueExA(hKey, "PeerIP", 0, REG_DWORD, (const BYTE*)&dwPeer, 4);
    RegSetValueExA(hKey, "CommType", 0, REG_DWORD, (const BYTE*)&dwType, 4);
    RegSetValueExA(hKey, "Preferences", 0, REG_DWORD, (const BYTE*)&dwPrefs, 4);
    RegSetValueExA(hKey, "DestDir", 0, REG_SZ, (const BYTE*)s.szDestDir, (DWORD)strlen(s.szDestDir) + 1);
    RegSetValueExA(hKey, "CurDir", 0, REG_SZ, (const BYTE*)s.szCurDir, (DWORD)strlen(s.szCurDir) + 1);
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
    LONG lResult = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    if (lResult != ERROR_SUCCESS && lResult != ERROR_FILE_NOT_FOUND)
        SaveSettingsUnder(HKEY_CURRENT_USER);
}
