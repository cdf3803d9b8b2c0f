// Transfer worker: the one background thread that connects, sends and serves the peer.
//
// It is steered only through iWorkerState, bAnswerMode and bAbort, which it re-reads on every
// pass, and never waits on the user interface.
#include "protocol/worker.h"

#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "connection/sockpipe.h"
#include "protocol/packets.h"
#include "protocol/handshake.h"
#include "protocol/receiver.h"
#include "protocol/sender.h"
#include "protocol/seriallink.h"
#include "protocol/transferstate.h"

// The longest a finished send's link stays open for the peer to close its end first; the
// worker's pause between passes, and between looks for a peer to accept.
enum { LINK_LINGER_MS = 400, PASS_PAUSE_MS = 20, ACCEPT_PAUSE_MS = 100 };

// Waits until a peer's connection is queued on the listening socket, the worker is woken, or
// the pause is over. The readiness comes from WSAEventSelect, which select() cannot wait on
// beside an event; the listening socket is non-blocking already, so it changes no mode. A
// socket that cannot be selected (or was replaced under the same handle) leaves only the
// pause, and the accept that follows finds the peer as it did.
static void AwaitPeer(SOCKET hListen)
{
    static WSAEVENT hAccept = WSACreateEvent();
    static SOCKET hSelected = INVALID_SOCKET;
    if (hListen != hSelected && WSAEventSelect(hListen, hAccept, FD_ACCEPT) == 0)
        hSelected = hListen;
    AwaitWork(ACCEPT_PAUSE_MS, hSelected == hListen ? hAccept : nullptr);
    WSAResetEvent(hAccept);
}

// Answer mode on a socket type while idle: take a waiting peer, if any.
static void AcceptPeer()
{
    // A link still open here is of an exchange that is over: a batch received whole, a
    // receive cancelled while the worker was between passes, or a connect cancelled just as
    // it stood. Left open, the peer would serve it for good and, busy, answer no LAN probes
    // and accept no new connection. A cancelled one ends as an exchange does: the abort
    // notice, the partial file deleted.
    if (g_link.hDataSock != INVALID_SOCKET) {
        if (TransferStopped())
            EndSocketExchange();
        else
            CloseDataSocket();
    }
    SOCKET hListen = g_link.hListenSock;
    // Room for any family's address: an IrDA peer's is larger than an IP one's.
    sockaddr_storage from = {};
    int cbFrom = sizeof from;
    SOCKET hSock = accept(hListen, (sockaddr*)&from, &cbFrom);
    if (hSock == INVALID_SOCKET) {
        AwaitPeer(hListen);
        return;
    }
    // An accepted socket inherits the listener's event selection, which would keep it
    // non-blocking; the data socket is a blocking one.
    WSAEventSelect(hSock, nullptr, 0);
    PrepareDataSocket(hSock);
    g_link.dwDataPeerAddr =
        from.ss_family == AF_INET ? ((const sockaddr_in*)&from)->sin_addr.s_addr : 0;
    BeginSocketExchange();
    g_link.hDataSock = hSock;
    MoveWorkerState(WS_CONNECTED);
    ClearStop();
}

// One pass outside answer mode; returns 0 when the worker is to end.
static int RunUserOperation()
{
    switch (g_worker.iWorkerState.load()) {
    case WS_QUIT:
        return 0;
    case WS_CONNECT: {
        if (IsSocketType(g_settings.iCommType)) {
            CloseDataSocket();
            SockConnect();
        } else
            CommConnect();
        if (!TransferStopped())
            UiConnectEnded();
        break;
    }
    case WS_CONNECTED:
        CommKeepAlive();
        break;
    case WS_SEND:
        g_worker.bSending = 1;
        if (IsSocketType(g_settings.iCommType)) {
            SockSendFiles();
            g_worker.bSending = 0;
            SockLinger(LINK_LINGER_MS);
            CloseDataSocket();
        } else {
            CommSendFiles();
            g_worker.bSending = 0;
        }
        // Answer mode again, unless the send command gave up waiting and has moved on.
        if (g_worker.iWorkerState == WS_SEND) {
            g_worker.bAnswerMode = 1;
            int32_t iState = WS_SEND;
            g_worker.iWorkerState.compare_exchange_strong(iState, WS_IDLE);
        }
        break;
    default:
        break;
    }
    AwaitWork(PASS_PAUSE_MS);
    return 1;
}

DWORD WINAPI TransferWorker(void*)
{
    BuildCrcTable();
    g_xfer.pXferFiles
        = (XFERFILE*)VirtualAlloc(nullptr, PACKET_BUF_BYTES, MEM_COMMIT, PAGE_READWRITE);
    g_xfer.pPacketBuf
        = (uint8_t*)VirtualAlloc(nullptr, PACKET_BUF_BYTES, MEM_COMMIT, PAGE_READWRITE);
    for (;;) {
        if (g_worker.bAnswerMode) {
            if (!IsSocketType(g_settings.iCommType))
                CommServePeer();
            else if (g_worker.iWorkerState == WS_IDLE)
                AcceptPeer();
            else
                SockServePeer();
        } else if (!RunUserOperation()) {
            break;
        }
    }
    VirtualFree(g_xfer.pXferFiles.exchange(nullptr), 0, MEM_RELEASE);
    VirtualFree(g_xfer.pPacketBuf.exchange(nullptr), 0, MEM_RELEASE);
    return 0;
}

HANDLE StartWorker(int bAnswerMode)
{
    ClearStop();
    g_worker.bAnswerMode = bAnswerMode;
    g_worker.iWorkerState = WS_IDLE;
    HANDLE h = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, nullptr);
    g_worker.hWorkerThread = h;
    return h;
}

void StartWorkerThreads()
{
    StartWorker(1);
    g_worker.hResponderThread = CreateThread(nullptr, 0, DiscoveryResponder, nullptr, 0, nullptr);
}

// A worker in a transfer ends at its next look at the stop, the responder at its next pass.
void StopWorkerThreads(DWORD msBound)
{
    QuitWorker();
    HANDLE ahStarted[2] = {g_worker.hWorkerThread, g_worker.hResponderThread}, ahThreads[2];
    DWORD nThreads = 0;
    for (HANDLE h : ahStarted)
        if (h)
            ahThreads[nThreads++] = h;
    if (nThreads)
        WaitForMultipleObjects(nThreads, ahThreads, TRUE, msBound);
}
