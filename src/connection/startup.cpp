// Start-up and shut-down: the fixed order in which the session is prepared before the main
// window exists, started once it does, and taken down after the message loop.
#include "connection/startup.h"

#include "browser/listing.h"
#include "browser/sendlist.h"
#include "connection/progress.h"
#include "connection/serialport.h"
#include "connection/session.h"
#include "connection/sockets.h"
#include "connection/worker.h"

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
    SessionState& s = g_state;
    WSADATA wsa;
    WSAStartup(0x0101, &wsa);
    CoInitialize(nullptr);
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&icc);
    s.bLandscape = GetSystemMetrics(SM_CYSCREEN) < GetSystemMetrics(SM_CXSCREEN);
    s.DriveMask = GetLogicalDrives();
    LoadSettings();
    FindUsbSerialPort();
    s.FileRows = (FILEROW*)VirtualAlloc(nullptr, FILEROWS_INITIAL * sizeof(FILEROW), MEM_COMMIT,
                                        PAGE_READWRITE);
    s.szOwnerName[0] = 0;
    s.nKeepAliveLimit = 10;
    s.nXferBlocks = 0;
    s.dwSendListBytes = 0;
    s.bAnswerMode = 1;
    ReadOwnerName(s.szOwnerName, sizeof s.szOwnerName);
}

void StartSession(const char* lpCmdLine)
{
    SessionState& s = g_state;
    if (lpCmdLine[0])
        AddCommandLineToSendList(lpCmdLine);
    DragAcceptFiles(s.hwndMain, TRUE);
    s.iWorkerState = WS_IDLE;
    s.hWorkerThread = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, nullptr);
    s.hResponderThread = CreateThread(nullptr, 0, DiscoveryResponder, nullptr, 0, nullptr);
    UpdateSendListStatus();
    s.hHelpLib = LoadLibraryA("HHCTRL.OCX");
}

void EndSession()
{
    SessionState& s = g_state;
    if (s.hHelpLib)
        FreeLibrary(s.hHelpLib);
    // Both threads are asked to stop and waited for, within a bound, before the port and the
    // sockets they use are closed under them: a worker in a transfer ends at its next look at
    // bAbort, the responder at its next pass.
    QuitWorker();
    HANDLE ahStarted[2] = {s.hWorkerThread, s.hResponderThread}, ahThreads[2];
    DWORD nThreads = 0;
    for (HANDLE h : ahStarted)
        if (h)
            ahThreads[nThreads++] = h;
    if (nThreads)
        WaitForMultipleObjects(nThreads, ahThreads, TRUE, THREAD_STOP_MS);
    DestroyMenu(s.hContextMenu1);
    DestroyMenu(s.hContextMenu2);
    SaveSettings();
    DeleteObject(s.hPopupFont);
    if (IsSocketType(s.iCommType)) {
        closesocket(s.hListenSock);
        closesocket(s.hUdpSock);
    } else if (s.hComm) {
        CloseHandle(s.hComm);
    }
    WSACleanup();
}
