// The socket side of the link: the listening socket, the connect step (LAN probe, fixed peer
// address, IrDA discovery) and the responder that answers LAN probes.
#include "connection/sockets.h"
#include "connection/sockpipe.h"

#include "connection/control.h"
#include "connection/irda.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"

#include <cstring>

enum {
    PROBE_WAIT_MS = 500,
    CONNECT_WAIT_MS = 500,
    CONNECT_FRESH_MS = 3000,
    IRDA_RETRY_MS = 500,
    IRDA_RESTART_MS = 50,
    RESPONDER_SELECT_MS = 250,
    RESPONDER_NAP_MS = 10,
    RESPONDER_IDLE_MS = 50,
    LISTEN_BACKLOG = 5
};

static void SetNonBlocking(SOCKET s)
{
    u_long bOn = 1;
    ioctlsocket(s, FIONBIO, &bOn);
}

// The UDP socket with which a LAN sender probes for its peer; 0 when it cannot be made.
static SOCKET OpenProbeSocket()
{
    SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET)
        return 0;
    SetNonBlocking(s);
    BOOL bBroadcast = TRUE;
    setsockopt(s, SOL_SOCKET, SO_BROADCAST, (const char*)&bBroadcast, sizeof bBroadcast);
    return s;
}

static SOCKET OpenIrdaListener()
{
    SOCKET s = IrdaSocket();
    if (s == INVALID_SOCKET)
        return 0;
    SetNonBlocking(s);
    if (!IrdaBindService(s)) {
        closesocket(s);
        return 0;
    }
    return s;
}

static SOCKET OpenTcpListener()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET)
        return 0;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(TALMOX_TCP_PORT);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(s, (sockaddr*)&addr, sizeof addr) != 0) {
        closesocket(s);
        return 0;
    }
    g_link.hUdpSock = OpenProbeSocket();
    return s;
}

SOCKET OpenListenSocket()
{
    int iType = g_settings.iCommType;
    SOCKET s = 0;
    if (iType == CT_IRDA)
        s = OpenIrdaListener();
    else if (iType == CT_LAN || iType == CT_WAN)
        s = OpenTcpListener();
    if (!s)
        return 0;
    SetNonBlocking(s);
    if (listen(s, LISTEN_BACKLOG) != 0) {
        closesocket(s);
        return 0;
    }
    return s;
}

// Sleeps ms milliseconds in short steps, ending early when the connect is called off.
static void ConnectPause(int ms)
{
    for (int i = 0; i < ms && !TransferStopped() && !g_worker.bAnswerMode; i += 10)
        Sleep(10);
}

// Broadcasts the probe and returns the address (network order) of whoever answered, or 0.
// Replies left over from an earlier search are dropped first, so that the answer is to
// this probe.
static uint32_t ProbeForPeer()
{
    SOCKET hUdp = g_link.hUdpSock;
    if (!hUdp || hUdp == INVALID_SOCKET)
        return 0;
    char abReply[4];
    while (recv(hUdp, abReply, sizeof abReply, 0) != SOCKET_ERROR
           || WSAGetLastError() == WSAEMSGSIZE)
        ;
    const char abProbe[4] = {DISCOVERY_PROBE, 0, 0, 0};
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(TALMOX_UDP_PORT);
    to.sin_addr.s_addr = htonl(INADDR_BROADCAST);
    sendto(hUdp, abProbe, sizeof abProbe, 0, (sockaddr*)&to, sizeof to);
    // The first answer is taken as soon as it is queued, the one a read at the end of the
    // wait would take first; without one the whole wait paces the next probe.
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(hUdp, &rd);
    timeval tv = {0, PROBE_WAIT_MS * 1000};
    if (select(0, &rd, nullptr, nullptr, &tv) == SOCKET_ERROR)
        Sleep(PROBE_WAIT_MS);
    sockaddr_in from = {};
    int cbFrom = sizeof from;
    recvfrom(hUdp, abReply, sizeof abReply, 0, (sockaddr*)&from, &cbFrom);
    return from.sin_addr.s_addr;
}

// Waits up to CONNECT_WAIT_MS for a connect in progress: 1 once the socket is connected,
// 0 while the attempt is still going on, -1 when it failed. A failure that comes sooner
// (the peer refused) still takes the whole bound, so that a missing peer is not hammered.
static int AwaitConnect(SOCKET hSock)
{
    DWORD dwStart = GetTickCount();
    fd_set wr, ex;
    FD_ZERO(&wr);
    FD_SET(hSock, &wr);
    FD_ZERO(&ex);
    FD_SET(hSock, &ex);
    timeval tv = {0, CONNECT_WAIT_MS * 1000};
    int nReady = select(0, nullptr, &wr, &ex, &tv);
    if (nReady == 0)
        return 0;
    if (nReady > 0 && FD_ISSET(hSock, &wr) && !FD_ISSET(hSock, &ex)) {
        int iErr = 0, cb = sizeof iErr;
        getsockopt(hSock, SOL_SOCKET, SO_ERROR, (char*)&iErr, &cb);
        if (iErr == 0)
            return 1;
    }
    int msLeft = CONNECT_WAIT_MS - (int)(GetTickCount() - dwStart);
    if (msLeft > 0)
        ConnectPause(msLeft);
    return -1;
}

// A fresh TCP data socket for a connect attempt: non-blocking, so that an attempt is bounded,
// with its buffers set before the connect so that the window scaling of the connection
// reflects them.
static SOCKET NewTcpDataSocket()
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s != INVALID_SOCKET) {
        SetSocketBuffers(s);
        SetNonBlocking(s);
    }
    return s;
}

static void LinkEstablished(SOCKET hSock)
{
    PrepareDataSocket(hSock);
    MoveWorkerState(WS_CONNECTED);
    UiPlaySound("infbeg");
}

static void SockConnectTcp(int iType)
{
    SOCKET hSock = NewTcpDataSocket();
    g_link.hDataSock = hSock;
    if (hSock == INVALID_SOCKET) {
        StopTransfer(STOP_LINK_LOST);
        return;
    }
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(TALMOX_TCP_PORT);
    DWORD dwSocketStart = GetTickCount();
    while (!TransferStopped() && !g_worker.bAnswerMode) {
        uint32_t dwAddr = iType == CT_LAN ? ProbeForPeer() : htonl(g_settings.dwPeerIP);
        if (TransferStopped() || g_worker.bAnswerMode)
            break;
        // No peer address: connecting to 0.0.0.0 would reach this very machine's listener
        // on some stacks, so the attempt is skipped (Windows refuses it anyway).
        if (dwAddr == 0) {
            if (iType != CT_LAN)
                ConnectPause(CONNECT_WAIT_MS);
            continue;
        }
        to.sin_addr.s_addr = dwAddr;
        int iResult = -1;
        if (connect(hSock, (sockaddr*)&to, sizeof to) == 0) {
            iResult = 1;
        } else {
            int iErr = WSAGetLastError();
            if (iErr == WSAEWOULDBLOCK || iErr == WSAEINVAL || iErr == WSAEISCONN
                || iErr == WSAEALREADY || iErr == 0)
                iResult = AwaitConnect(hSock);
            else if (iType != CT_LAN)
                ConnectPause(CONNECT_WAIT_MS);
        }
        if (iResult > 0) {
            g_link.dwDataPeerAddr = dwAddr;
            LinkEstablished(hSock);
            return;
        }
        // A failed connect leaves the socket unfit for another attempt on some stacks. One
        // still in progress after a few seconds lost its SYN or the answer, and the kernel's
        // back-off would space the SYNs out to minutes. Either way the next attempt starts
        // on a fresh socket.
        if (iResult < 0 || GetTickCount() - dwSocketStart >= CONNECT_FRESH_MS) {
            closesocket(hSock);
            hSock = NewTcpDataSocket();
            g_link.hDataSock = hSock;
            if (hSock == INVALID_SOCKET) {
                StopTransfer(STOP_LINK_LOST);
                return;
            }
            dwSocketStart = GetTickCount();
        }
    }
    CloseDataSocket();
}

// Asks for the devices in range until some are found or the search is called off;
// returns their count.
static uint32_t DiscoverIrdaDevices(SOCKET hSock, uint8_t* pList)
{
    while (!TransferStopped() && !g_worker.bAnswerMode) {
        memset(pList, 0, IRDA_DEVICELIST_BYTES);
        uint32_t nDevices = 0;
        if (IrdaEnumDevices(hSock, pList))
            memcpy(&nDevices, pList, 4);
        if (nDevices > 0)
            return nDevices < (uint32_t)IRDA_MAX_DEVICES ? nDevices : (uint32_t)IRDA_MAX_DEVICES;
        Sleep(IRDA_RETRY_MS);
    }
    return 0;
}

static void SockConnectIrda()
{
    for (;;) {
        SOCKET hSock = IrdaSocket();
        g_link.hDataSock = hSock;
        if (hSock == INVALID_SOCKET) {
            StopTransfer(STOP_LINK_LOST);
            return;
        }
        uint8_t abList[IRDA_DEVICELIST_BYTES];
        uint32_t nDevices = DiscoverIrdaDevices(hSock, abList);
        for (uint32_t i = 0; i < nDevices && !TransferStopped(); i++) {
            if (IrdaConnect(hSock, abList + 4 + i * IRDA_DEVICE_INFO_BYTES)) {
                g_link.dwDataPeerAddr = 0;
                LinkEstablished(hSock);
                return;
            }
        }
        CloseDataSocket();
        // The search also ends when this machine is to answer instead of sending.
        if (g_worker.bAnswerMode && !nDevices)
            return;
        Sleep(IRDA_RESTART_MS);
        if (TransferStopped())
            return;
    }
}

void SockConnect()
{
    if (TransferStopped())
        return;
    int iType = g_settings.iCommType;
    if (iType == CT_LAN || iType == CT_WAN)
        SockConnectTcp(iType);
    else if (iType == CT_IRDA)
        SockConnectIrda();
}

// Answers one waiting probe, unless this machine has meanwhile started looking for a peer
// itself: then the datagram (possibly its own broadcast) is read and dropped.
static void AnswerProbe(SOCKET hSock)
{
    char abProbe[4];
    sockaddr_in from = {};
    int cbFrom = sizeof from;
    int n = recvfrom(hSock, abProbe, sizeof abProbe, 0, (sockaddr*)&from, &cbFrom);
    if (g_worker.iWorkerState == WS_CONNECT)
        return;
    if (n == 4 && abProbe[0] == DISCOVERY_PROBE)
        sendto(hSock, abProbe, 4, 0, (sockaddr*)&from, cbFrom);
}

static int IsReadable(SOCKET hSock, int ms)
{
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(hSock, &rd);
    timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &rd, nullptr, nullptr, &tv) > 0;
}

DWORD WINAPI DiscoveryResponder(void*)
{
    SOCKET hSock = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (hSock != INVALID_SOCKET) {
        sockaddr_in addr = {};
        addr.sin_family = AF_INET;
        addr.sin_port = htons(TALMOX_UDP_PORT);
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        if (bind(hSock, (sockaddr*)&addr, sizeof addr) == 0) {
            SetNonBlocking(hSock);
        } else {
            closesocket(hSock);     // the port is taken: this copy answers no probes
            hSock = INVALID_SOCKET;
        }
    }
    while (g_worker.iWorkerState != WS_QUIT) {
        int iType = g_settings.iCommType;
        if (g_worker.iWorkerState == WS_CONNECT || hSock == INVALID_SOCKET
            || (iType != CT_LAN && iType != CT_WAN)) {
            Sleep(RESPONDER_IDLE_MS);
            continue;
        }
        Sleep(RESPONDER_NAP_MS);
        if (IsReadable(hSock, RESPONDER_SELECT_MS))
            AnswerProbe(hSock);
    }
    if (hSock != INVALID_SOCKET) {
        shutdown(hSock, SD_RECEIVE);
        closesocket(hSock);
    }
    return 0;
}
