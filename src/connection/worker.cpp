// Transfer worker: the one background thread that connects, sends and serves the peer.
//
// It is steered only through iWorkerState, bAnswerMode and bAbort, which it re-reads on every
// pass, and never waits on the user interface.
#include "connection/worker.h"

#include "connection/linkui.h"
#include "connection/session.h"
#include "connection/sockets.h"
#include "protocol/packets.h"
#include "protocol/seriallink.h"
#include "protocol/transfer.h"

// The longest a finished send's link stays open for the peer to close its end first; the
// worker's pause between passes, and between looks for a peer to accept.
enum { LINK_LINGER_MS = 400, PASS_PAUSE_MS = 20, ACCEPT_PAUSE_MS = 100 };

// Set when the worker is given something to do, so that it starts at once instead of at the
// end of its pause: a send waits for no pass, and neither does a quit.
static HANDLE s_hWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);

static void WakeWorker()
{
    SetEvent(s_hWake);
}

void StartConnect()
{
    SessionState& s = g_state;
    s.bAnswerMode = 0;
    s.bAbort = 0;
    s.iWorkerState = WS_CONNECT;
    WakeWorker();
}

void StartSend()
{
    SessionState& s = g_state;
    s.bAnswerMode = 0;
    s.iWorkerState = WS_SEND;
    WakeWorker();
}

void CancelTransfer()
{
    SessionState& s = g_state;
    s.bAbort = 1;
    s.iWorkerState = WS_IDLE;
    s.bAnswerMode = 1;
}

void ReturnToAnswerMode()
{
    SessionState& s = g_state;
    s.iWorkerState = WS_IDLE;
    s.bAnswerMode = 1;
}

void QuitWorker()
{
    SessionState& s = g_state;
    s.bAnswerMode = 0;
    s.iWorkerState = WS_QUIT;
    s.bAbort = 1;
    WakeWorker();
}

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
    HANDLE ah[2] = {s_hWake, hAccept};
    WaitForMultipleObjects(hSelected == hListen ? 2 : 1, ah, FALSE, ACCEPT_PAUSE_MS);
    WSAResetEvent(hAccept);
}

// Answer mode on a socket type while idle: take a waiting peer, if any.
static void AcceptPeer()
{
    SessionState& s = g_state;
    // A link still open here is of an exchange that is over: a batch received whole, a
    // receive cancelled while the worker was between passes, or a connect cancelled just as
    // it stood. Left open, the peer would serve it for good and, busy, answer no LAN probes
    // and accept no new connection. A cancelled one ends as an exchange does: the abort
    // notice, the partial file deleted.
    if (s.hDataSock != INVALID_SOCKET) {
        if (s.bAbort)
            EndSocketExchange();
        else
            CloseDataSocket();
    }
    SOCKET hListen = s.hListenSock;
    SOCKET hSock = accept(hListen, nullptr, nullptr);
    if (hSock == INVALID_SOCKET) {
        AwaitPeer(hListen);
        return;
    }
    // An accepted socket inherits the listener's event selection, which would keep it
    // non-blocking; the data socket is a blocking one.
    WSAEventSelect(hSock, nullptr, 0);
    PrepareDataSocket(hSock);
    s.hDataSock = hSock;
    MoveWorkerState(WS_CONNECTED);
    s.bAbort = 0;
}

// One pass outside answer mode; returns 0 when the worker is to end.
static int RunUserOperation()
{
    SessionState& s = g_state;
    switch (s.iWorkerState.load()) {
    case WS_QUIT:
        return 0;
    case WS_CONNECT: {
        if (IsSocketType(s.iCommType)) {
            CloseDataSocket();
            SockConnect();
        } else
            CommConnect();
        if (!s.bAbort)
            UiConnectEnded();
        break;
    }
    case WS_CONNECTED:
        CommKeepAlive();
        break;
    case WS_SEND:
        s.bSending = 1;
        if (IsSocketType(s.iCommType)) {
            SockSendFiles();
            s.bSending = 0;
            SockLinger(LINK_LINGER_MS);
            CloseDataSocket();
        } else {
            CommSendFiles();
            s.bSending = 0;
        }
        // Answer mode again, unless the send command gave up waiting and has moved on.
        if (s.iWorkerState == WS_SEND) {
            s.bAnswerMode = 1;
            int32_t iState = WS_SEND;
            s.iWorkerState.compare_exchange_strong(iState, WS_IDLE);
        }
        break;
    default:
        break;
    }
    WaitForSingleObject(s_hWake, PASS_PAUSE_MS);
    return 1;
}

DWORD WINAPI TransferWorker(void*)
{
    SessionState& s = g_state;
    BuildCrcTable();
    s.pXferFiles = (XFERFILE*)VirtualAlloc(nullptr, PACKET_BUF_BYTES, MEM_COMMIT, PAGE_READWRITE);
    s.pPacketBuf = (uint8_t*)VirtualAlloc(nullptr, PACKET_BUF_BYTES, MEM_COMMIT, PAGE_READWRITE);
    for (;;) {
        if (s.bAnswerMode) {
            if (!IsSocketType(s.iCommType))
                CommServePeer();
            else if (s.iWorkerState == WS_IDLE)
                AcceptPeer();
            else
                SockServePeer();
        } else if (!RunUserOperation()) {
            break;
        }
    }
    VirtualFree(s.pXferFiles.exchange(nullptr), 0, MEM_RELEASE);
    VirtualFree(s.pPacketBuf.exchange(nullptr), 0, MEM_RELEASE);
    return 0;
}
