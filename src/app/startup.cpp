// Start-up and shut-down: the fixed order in which the session is prepared before the main
// window exists, started once it does, and taken down after the message loop.
#include "app/startup.h"

#include "base/folderpath.h"
#include "browser/listing.h"
#include "browser/sendlist.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "protocol/partfile.h"
#include "protocol/worker.h"
#include "resource.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>
#include <cstdio>
#include <cstring>

// How long shut-down waits for the worker and the discovery responder to end.
enum { THREAD_STOP_MS = 2000 };

void ReadOwnerName(char* pszName, int cbName)
{
    pszName[0] = 0;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "ControlPanel\\Owner", 0, KEY_QUERY_VALUE, &hKey) ==
        ERROR_SUCCESS) {
        DWORD cb = (DWORD)cbName;
        if (RegQueryValueExA(hKey, "Owner", nullptr, nullptr, (BYTE*)pszName, &cb) !=
            ERROR_SUCCESS)
            pszName[0] = 0;
        pszName[cbName - 1] = 0;
        RegCloseKey(hKey);
    }
    if (!pszName[0])
        strcpy(pszName, "No Name");
}

// The destination folder as the registry gave it, and the string that tells why it was
// replaced (0 while it was kept), for the message once the main window is up.
static char s_szDestGiven[256];
static UINT s_idDestReplaced;

// Where received files go when the registry names no usable folder: the user's documents
// folder, which every user has and may write to, else the folder of the program itself.
static void DefaultDestination(char* pszDir, size_t cb)
{
    char szDir[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, szDir))
        && IsExistingFullFolder(szDir) && strlen(szDir) < cb) {
        snprintf(pszDir, cb, "%s", szDir);
        return;
    }
    DWORD n = GetModuleFileNameA(nullptr, szDir, sizeof szDir);
    char* pszSlash = n > 0 && n < sizeof szDir ? strrchr(szDir, '\\') : nullptr;
    if (pszSlash)
        pszSlash[pszSlash == szDir + 2 ? 1 : 0] = 0;     // "C:\" keeps its backslash
    snprintf(pszDir, cb, "%s", pszSlash ? szDir : "C:\\");
}

void ReplaceUnusableDestination()
{
    char* pszDest = g_settings.szDestDir;
    s_idDestReplaced = 0;
    if (IsExistingFullFolder(pszDest))
        return;
    // An empty folder would put received files in the root of the current drive, a relative
    // one in whatever folder the program runs in, and a missing one fails every batch.
    s_idDestReplaced = !pszDest[0] ? IDS_DEST_NONE
                       : !IsFullPathForm(pszDest) ? IDS_DEST_RELATIVE : IDS_DEST_MISSING;
    snprintf(s_szDestGiven, sizeof s_szDestGiven, "%s", pszDest);
    DefaultDestination(pszDest, sizeof g_settings.szDestDir);
}

void TellReplacedDestination()
{
    if (!s_idDestReplaced)
        return;
    UINT id = s_idDestReplaced;
    s_idDestReplaced = 0;
    if (id == IDS_DEST_NONE)
        StringBox(g_wnd.hInst, g_wnd.hwndMain, id, IDS_APPNAME, MB_ICONEXCLAMATION,
                  g_settings.szDestDir);
    else
        StringBox(g_wnd.hInst, g_wnd.hwndMain, id, IDS_APPNAME, MB_ICONEXCLAMATION,
                  s_szDestGiven, g_settings.szDestDir);
}

void PrepareSession()
{
    // A drive without its medium (an empty card reader, a floppy drive) that the file pane
    // lists or opens fails quietly, as a folder that cannot be listed does, instead of
    // bringing up the system's box; what was set before is kept.
    UINT uMode = SetErrorMode(0);
    SetErrorMode(uMode | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    WSADATA wsa;
    WSAStartup(0x0101, &wsa);
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&icc);
    g_wnd.bLandscape = GetSystemMetrics(SM_CYSCREEN) < GetSystemMetrics(SM_CXSCREEN);
    g_wnd.DriveMask = GetLogicalDrives();
    LoadSettings();
    ReplaceUnusableDestination();
    FindUsbSerialPort();
    g_wnd.FileRows = (FILEROW*)VirtualAlloc(nullptr, FILEROWS_INITIAL * sizeof(FILEROW), MEM_COMMIT,
                                        PAGE_READWRITE);
    g_settings.szOwnerName[0] = 0;
    g_wnd.qwSendListBytes = 0;
    ReadOwnerName(g_settings.szOwnerName, sizeof g_settings.szOwnerName);
}

void StartSession(const char* lpCmdLine)
{
    DragAcceptFiles(g_wnd.hwndMain, TRUE);
    RemoveStaleReceiveFiles(g_settings.szDestDir);     // left by a receive cut short
    StartWorkerThreads();
    // After the worker has started, so that a path reported as naming no file does not hold
    // up answer mode while its message is shown.
    if (lpCmdLine[0])
        AddCommandLineToSendList(lpCmdLine);
    UpdateSendListStatus();
    TellReplacedDestination();
    g_wnd.hHelpLib = LoadLibraryA("HHCTRL.OCX");
}

void EndSession()
{
    if (g_wnd.hHelpLib)
        FreeLibrary(g_wnd.hHelpLib);
    // Both threads stop before the port and the sockets they use are closed.
    StopWorkerThreads(THREAD_STOP_MS);
    DestroyMenu(g_wnd.hContextMenu1);
    DestroyMenu(g_wnd.hContextMenu2);
    SaveSettings();
    DeleteObject(g_wnd.hPopupFont);
    CloseLink();
    WSACleanup();
}
