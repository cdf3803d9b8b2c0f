// The connecting side of a LAN link on a simulated machine: starts the discovery responder,
// finds the peer by the broadcast probe, connects to its port 1756 and says "hello" on the
// data socket, then stays in answer mode for a few seconds so that the peer can probe it.
// Prints "connected <address>" or "not connected"; the shell side checks the rest.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>

#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "connection/sockpipe.h"

// A thread routine is WINAPI (stdcall on 32-bit Windows), which a lambda cannot be.
static DWORD WINAPI AbortLater(void*)
{
    Sleep(20000);
    StopTransfer(STOP_USER);
    return 0;
}

int main()
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    g_settings.iCommType = CT_LAN;
    g_worker.iWorkerState = WS_IDLE;
    g_link.hListenSock = OpenListenSocket();
    HANDLE hResponder = CreateThread(nullptr, 0, DiscoveryResponder, nullptr, 0, nullptr);
    Sleep(500);
    // A time limit of its own, so that a peer that never answers ends the run.
    HANDLE hTimer = CreateThread(nullptr, 0, AbortLater, nullptr, 0, nullptr);
    StartConnect();     // as the send command does
    SockConnect();
    int bConnected = g_worker.iWorkerState == WS_CONNECTED && !TransferStopped();
    if (bConnected) {
        in_addr a;
        a.s_addr = g_link.dwDataPeerAddr;
        printf("connected %s\n", inet_ntoa(a));
        SockSendAll("hello", 5);
    } else {
        printf("not connected\n");
    }
    fflush(stdout);
    ReturnToAnswerMode();
    Sleep(8000);        // the peer probes the responder again, with malformed probes too
    g_worker.iWorkerState = WS_QUIT;
    WaitForSingleObject(hResponder, 2000);
    CloseHandle(hTimer);
    return bConnected ? 0 : 1;
}
