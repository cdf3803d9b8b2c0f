// Benchmark: ways of waiting on a TCP data socket, in the block exchange of a socket transfer.
//
// A sender sends 32 KiB blocks behind a 12-byte header and waits for an 8-byte reply to each,
// as the transfer does. Both ends wait for data by the mechanism under test:
//   select    non-blocking socket; after WSAEWOULDBLOCK, select() up to 10 ms
//   event     non-blocking socket; after WSAEWOULDBLOCK, WSAEventSelect's event up to 10 ms
//   rcvtimeo  blocking socket with SO_RCVTIMEO and SO_SNDTIMEO of 10 ms
//   pipe      the program's own SockSendAll/SockRecvAll on the sending end, rcvtimeo on the other
// All sockets get TCP_NODELAY and 1 MiB buffers. With BENCH_ACCEPTEX set, the listening end
// takes its connection through AcceptEx into a socket made by socket(), instead of accept().
//   bench_sockpipe MECH [MiB]                 both ends in this process, over 127.0.0.1
//   bench_sockpipe MECH MiB listen            the receiving end only, on port 1757
//   bench_sockpipe MECH MiB connect A.B.C.D   the sending end only, to port 1757 of that host
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mswsock.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "connection/control.h"
#include "connection/link.h"
#include "connection/sockpipe.h"

enum { BLOCK = 32768, HEADER = 12, REPLY = 8, BENCH_PORT = 1757, WAIT_MS = 10 };

static std::string g_mech;

static void SetCommonOptions(SOCKET s)
{
    BOOL bOn = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&bOn, sizeof bOn);
    int cb = 1 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&cb, sizeof cb);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char*)&cb, sizeof cb);
}

// One end's state: the socket and, for "event", its event.
struct End {
    SOCKET s = INVALID_SOCKET;
    WSAEVENT hEvent = WSA_INVALID_EVENT;
    long nEmpty = 0, nCalls = 0;
};

static void PrepareEnd(End* e, const std::string& mech)
{
    SetCommonOptions(e->s);
    u_long bNonBlocking = 1;
    if (mech == "select") {
        ioctlsocket(e->s, FIONBIO, &bNonBlocking);
    } else if (mech == "event") {
        e->hEvent = WSACreateEvent();
        WSAEventSelect(e->s, e->hEvent, FD_READ | FD_WRITE | FD_CLOSE);   // also non-blocking
    } else {
        DWORD ms = WAIT_MS;
        setsockopt(e->s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&ms, sizeof ms);
        setsockopt(e->s, SOL_SOCKET, SO_SNDTIMEO, (const char*)&ms, sizeof ms);
    }
}

static void WaitReady(End* e, int bWrite)
{
    if (g_mech == "select") {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(e->s, &set);
        timeval tv = {0, WAIT_MS * 1000};
        if (select(0, bWrite ? nullptr : &set, bWrite ? &set : nullptr, nullptr, &tv) <= 0)
            e->nEmpty++;
    } else {
        if (WSAWaitForMultipleEvents(1, &e->hEvent, FALSE, WAIT_MS, FALSE) == WSA_WAIT_TIMEOUT)
            e->nEmpty++;
        WSAResetEvent(e->hEvent);
    }
    e->nCalls++;
}

static int RecvExact(End* e, char* p, int len)
{
    int nGot = 0;
    while (nGot < len) {
        int n = recv(e->s, p + nGot, len - nGot, 0);
        e->nCalls++;
        if (n > 0) {
            nGot += n;
            continue;
        }
        if (n == 0)
            return 0;
        int iErr = WSAGetLastError();
        if (iErr == WSAEWOULDBLOCK)
            WaitReady(e, 0);
        else if (iErr == WSAETIMEDOUT)
            e->nEmpty++;
        else
            return 0;
    }
    return 1;
}

static int SendAll(End* e, const char* p, int len)
{
    while (len > 0) {
        int n = send(e->s, p, len, 0);
        e->nCalls++;
        if (n > 0) {
            p += n;
            len -= n;
            continue;
        }
        int iErr = WSAGetLastError();
        if (iErr == WSAEWOULDBLOCK)
            WaitReady(e, 1);
        else if (iErr != WSAETIMEDOUT)
            return 0;
    }
    return 1;
}

// The receiving end: reads each block and answers it with 8 bytes.
static void Receiver(End* e, long nBlocks)
{
    std::vector<char> buf(HEADER + BLOCK);
    char abReply[REPLY] = {'T', (char)0xFF, 'T', 0x11};
    for (long i = 0; i < nBlocks; i++) {
        if (!RecvExact(e, buf.data(), HEADER + BLOCK))
            return;
        memcpy(abReply + 4, buf.data() + 4, 4);
        if (!SendAll(e, abReply, REPLY))
            return;
    }
}

// The sending end: sends each block and waits for its reply. Returns the blocks acknowledged.
static long Sender(End* e, long nBlocks, int bPipe)
{
    std::vector<char> buf(HEADER + BLOCK, 'x');
    char abReply[REPLY];
    for (long i = 0; i < nBlocks; i++) {
        memcpy(buf.data() + 4, &i, 4);
        if (bPipe) {
            SockSendAll(buf.data(), HEADER + BLOCK);
            if (SockRecvAll(abReply, REPLY) != REPLY)
                return i;
        } else if (!SendAll(e, buf.data(), HEADER + BLOCK) || !RecvExact(e, abReply, REPLY)) {
            return i;
        }
        if (memcmp(abReply + 4, &i, 4) != 0)
            return i;
    }
    return nBlocks;
}

static SOCKET ListenOn(uint32_t dwAddr)
{
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL bOn = TRUE;
    setsockopt(l, SOL_SOCKET, SO_REUSEADDR, (const char*)&bOn, sizeof bOn);
    int cb = 1 << 20;
    setsockopt(l, SOL_SOCKET, SO_RCVBUF, (const char*)&cb, sizeof cb);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(BENCH_PORT);
    a.sin_addr.s_addr = dwAddr;
    if (bind(l, (sockaddr*)&a, sizeof a) != 0 || listen(l, 1) != 0) {
        printf("cannot listen on port %d\n", BENCH_PORT);
        exit(1);
    }
    return l;
}

// Takes the connection into a socket made by socket(), through AcceptEx, instead of one that
// accept() makes.
static SOCKET AcceptInto(SOCKET l)
{
    LPFN_ACCEPTEX pfnAcceptEx = nullptr;
    GUID id = WSAID_ACCEPTEX;
    DWORD cb = 0;
    WSAIoctl(l, SIO_GET_EXTENSION_FUNCTION_POINTER, &id, sizeof id, &pfnAcceptEx,
             sizeof pfnAcceptEx, &cb, nullptr, nullptr);
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    char abAddr[2 * (sizeof(sockaddr_in) + 16)];
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!pfnAcceptEx(l, s, abAddr, 0, sizeof(sockaddr_in) + 16, sizeof(sockaddr_in) + 16, &cb, &ov) &&
        WSAGetLastError() != ERROR_IO_PENDING) {
        printf("AcceptEx failed %d\n", WSAGetLastError());
        exit(1);
    }
    WaitForSingleObject(ov.hEvent, INFINITE);
    setsockopt(s, SOL_SOCKET, SO_UPDATE_ACCEPT_CONTEXT, (const char*)&l, sizeof l);
    CloseHandle(ov.hEvent);
    return s;
}

static SOCKET ConnectTo(uint32_t dwAddr)
{
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SetCommonOptions(s);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(BENCH_PORT);
    a.sin_addr.s_addr = dwAddr;
    for (int i = 0; i < 100; i++) {
        if (connect(s, (sockaddr*)&a, sizeof a) == 0)
            return s;
        Sleep(100);
    }
    printf("cannot connect\n");
    exit(1);
}

int main(int argc, char** argv)
{
    g_mech = argc > 1 ? argv[1] : "rcvtimeo";
    long nMiB = argc > 2 ? atol(argv[2]) : 128;
    std::string role = argc > 3 ? argv[3] : "both";
    long nBlocks = nMiB * (1 << 20) / BLOCK;
    int bPipe = g_mech == "pipe";
    std::string peerMech = bPipe ? "rcvtimeo" : g_mech;
    WSADATA wd;
    WSAStartup(MAKEWORD(2, 2), &wd);

    End tx, rx;
    std::thread receiver;
    SOCKET l = INVALID_SOCKET;
    if (role == "listen" || role == "both")
        l = ListenOn(role == "both" ? htonl(INADDR_LOOPBACK) : htonl(INADDR_ANY));
    if (role == "listen") {
        rx.s = getenv("BENCH_ACCEPTEX") ? AcceptInto(l) : accept(l, nullptr, nullptr);
        PrepareEnd(&rx, peerMech);
        std::string saved = g_mech;
        g_mech = peerMech;
        Receiver(&rx, nBlocks);
        printf("receiver done: %ld calls, %ld empty waits\n", rx.nCalls, rx.nEmpty);
        return 0;
    }
    tx.s = ConnectTo(role == "connect" ? inet_addr(argv[4]) : htonl(INADDR_LOOPBACK));
    if (role == "both") {
        rx.s = accept(l, nullptr, nullptr);
        PrepareEnd(&rx, peerMech);
        receiver = std::thread([&] { Receiver(&rx, nBlocks); });
    }
    if (bPipe) {
        PrepareDataSocket(tx.s);
        g_link.hDataSock = tx.s;
        ClearStop();
    } else {
        PrepareEnd(&tx, g_mech);
    }
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    long nDone = Sender(&tx, nBlocks, bPipe);
    QueryPerformanceCounter(&t1);
    if (receiver.joinable())
        receiver.join();
    double s = (double)(t1.QuadPart - t0.QuadPart) / (double)f.QuadPart;
    printf("%-8s %ld of %ld blocks, %.2f s, %.1f MB/s; sender %ld calls %ld empty waits, "
           "receiver %ld calls %ld empty waits\n",
           g_mech.c_str(), nDone, nBlocks, s, (double)nDone * (HEADER + BLOCK) / s / 1e6,
           tx.nCalls, tx.nEmpty, rx.nCalls, rx.nEmpty);
    closesocket(tx.s);
    return nDone == nBlocks ? 0 : 1;
}
