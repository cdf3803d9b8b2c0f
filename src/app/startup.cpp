// Start-up and shut-down: the fixed order in which the session is prepared before the main
// window exists, started once it does, and taken down after the message loop.
#include "app/startup.h"

#include "browser/listing.h"
#include "browser/sendlist.h"
#include "browser/uistate.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "protocol/transfer.h"
#include "protocol/worker.h"

#include <commctrl.h>
#include <objbase.h>
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
    FindUsbSerialPort();
    g_wnd.FileRows = (FILEROW*)VirtualAlloc(nullptr, FILEROWS_INITIAL * sizeof(FILEROW), MEM_COMMIT,
                                        PAGE_READWRITE);
    g_settings.szOwnerName[0] = 0;
    g_wnd.dwSendListBytes = 0;
    ReadOwnerName(g_settings.szOwnerName, sizeof g_settings.szOwnerName);
}

void StartSession(const char* lpCmdLine)
{
    DragAcceptFiles(g_wnd.hwndMain, TRUE);
    StartWorkerThreads();
    // After the worker has started, so that a path reported as naming no file does not hold
    // up answer mode while its message is shown.
    if (lpCmdLine[0])
        AddCommandLineToSendList(lpCmdLine);
    UpdateSendListStatus();
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
