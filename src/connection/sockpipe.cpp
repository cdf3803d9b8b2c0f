// The byte pipe on the connected data socket: whole sends, exact receives, a read-ahead.
//
// A connected socket is blocking, with a receive time-out of 10 ms. A receive that
// finds data waiting returns it at once; one that finds none waits for it inside the same
// call, so a poll costs one socket call and counts as empty only when nothing arrived within
// its 10 ms. 200 empty polls (about two seconds) end the receive. Under Wine every socket call
// is a round trip to the wineserver, and this was measured the fastest way of waiting there
// (a non-blocking socket with select() or WSAEventSelect waits takes three calls where data
// is late, and ran at half the speed).
//
// Small reads are served from a read-ahead buffer that one receive fills with whatever is
// waiting, so that a block's frame, header and data, or a reply's frame and block number,
// cost one socket call instead of one each.
#include "connection/sockpipe.h"

#include "connection/control.h"
#include "connection/link.h"

#include <cstring>

enum {
    EMPTY_POLL_LIMIT = 200, POLL_MS = 10, SOCKET_BUFFER_BYTES = 1 << 20,
    // A remainder this large is received straight into the caller's buffer: it is block
    // data, and copying it through the read-ahead buffer would gain no call.
    DIRECT_RECV_BYTES = 4096
};

// Bytes received ahead of the reader, from the socket hSock: ab[off, end) is still unread.
// Owner: the worker, the pipe's one reader.
static struct {
    SOCKET hSock = INVALID_SOCKET;
    int32_t off = 0, end = 0;
    uint8_t ab[PIPE_READ_AHEAD_BYTES];
} s_ahead;

// Read-ahead bytes belong to one connection; a new data socket starts with none.
static void ForgetReadAhead(SOCKET hSock)
{
    s_ahead.hSock = hSock;
    s_ahead.off = s_ahead.end = 0;
}

// Copies up to n read-ahead bytes of socket hSock to p; returns how many.
static int32_t TakeReadAhead(SOCKET hSock, uint8_t* p, int32_t n)
{
    if (s_ahead.hSock != hSock) {
        ForgetReadAhead(hSock);
        return 0;
    }
    int32_t cb = s_ahead.end - s_ahead.off;
    if (cb > n)
        cb = n;
    if (cb > 0) {
        memcpy(p, s_ahead.ab + s_ahead.off, cb);
        s_ahead.off += cb;
    }
    return cb;
}

// A reset, shut-down or otherwise dead connection: retrying would never succeed.
static int IsBrokenConnection(int iErr)
{
    switch (iErr) {
    case WSAENOTCONN: case WSAECONNABORTED: case WSAECONNRESET: case WSAESHUTDOWN:
    case WSAENETRESET: case WSAENOTSOCK: case WSAENETDOWN: case WSAEHOSTUNREACH:
    case WSAENETUNREACH: case WSAEBADF: case WSAEINVAL:
        return 1;
    }
    return 0;
}

// The wait of one poll ended without data (the socket's time-out).
static int IsEmptyPoll(int iErr)
{
    return iErr == WSAETIMEDOUT || iErr == WSAEWOULDBLOCK;
}

void SetSocketBuffers(SOCKET s)
{
    int cbBuf = SOCKET_BUFFER_BYTES;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&cbBuf, sizeof cbBuf);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char*)&cbBuf, sizeof cbBuf);
}

void PrepareDataSocket(SOCKET s)
{
    u_long bNonBlocking = 0;
    ioctlsocket(s, FIONBIO, &bNonBlocking);
    // One request, one small reply: Nagle's algorithm with delayed acknowledgements would
    // hold every reply back for tens of milliseconds.
    BOOL bNoDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&bNoDelay, sizeof bNoDelay);
    SetSocketBuffers(s);
    DWORD msPoll = POLL_MS;
    setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, (const char*)&msPoll, sizeof msPoll);
    ForgetReadAhead(s);
    // Sends block without a time-out: with one, a 3 MiB send under Wine arrived with its
    // bytes out of order, since a timed-out send may have queued part of them. A send waits only
    // when a megabyte of buffers is full, which one message in flight never does; closing the
    // socket ends it.
}

void CloseDataSocket()
{
    SOCKET hSock = g_link.hDataSock.exchange(INVALID_SOCKET);
    if (hSock != INVALID_SOCKET)
        closesocket(hSock);
}

// The peer has gone: the data socket is closed, and the transfer stops.
static void LoseConnection()
{
    CloseDataSocket();
    StopTransfer(STOP_LINK_LOST);
}

void SockSendAll(const void* pBuf, int32_t len)
{
    if (TransferStopped())
        return;
    const char* p = (const char*)pBuf;
    while (len > 0) {
        int n = send(g_link.hDataSock, p, len, 0);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (IsBrokenConnection(iErr)) {
                StopTransfer(STOP_LINK_LOST);
                return;
            }
        } else {
            p += n;
            len -= n;
        }
        if (len > 0 && TransferStopped())
            return;
    }
}

// One receive for the bytes still missing from a read of len: straight into place for a
// large remainder, else into the read-ahead buffer with whatever else is waiting, of which
// the part the read wants is copied out. Returns recv's result.
static int ReceiveMore(SOCKET hSock, uint8_t* p, int32_t nMissing)
{
    if (nMissing >= DIRECT_RECV_BYTES)
        return recv(hSock, (char*)p, nMissing, 0);
    int n = recv(hSock, (char*)s_ahead.ab, sizeof s_ahead.ab, 0);
    if (n <= 0)
        return n;
    s_ahead.off = 0;
    s_ahead.end = n;
    return TakeReadAhead(hSock, p, nMissing);
}

int SockRecvAll(void* pBuf, int32_t len)
{
    if (TransferStopped())
        return 0;
    SOCKET hSock = g_link.hDataSock;
    uint8_t* p = (uint8_t*)pBuf;
    int nEmpty = 0;
    int32_t nGot = TakeReadAhead(hSock, p, len);
    while (nGot < len) {
        if (nEmpty >= EMPTY_POLL_LIMIT)
            return 0;
        int n = ReceiveMore(hSock, p + nGot, len - nGot);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (IsEmptyPoll(iErr)) {
                nEmpty++;
            } else if (IsBrokenConnection(iErr)) {
                LoseConnection();
                return 0;
            }
        } else if (n == 0) {
            LoseConnection();
            return 0;
        } else {
            nGot += n;
        }
        if (nGot < len && TransferStopped())
            return nGot;
    }
    return len;
}

int SockRecvWaiting(void* pBuf, int32_t cbMax)
{
    SOCKET hSock = g_link.hDataSock;
    int32_t n = TakeReadAhead(hSock, (uint8_t*)pBuf, cbMax);
    if (n > 0)
        return n;
    return recv(hSock, (char*)pBuf, cbMax, 0);
}

int SockWouldWait()
{
    return IsEmptyPoll(WSAGetLastError());
}

void SockLinger(int ms)
{
    SOCKET hSock = g_link.hDataSock;
    if (hSock == INVALID_SOCKET)
        return;
    ForgetReadAhead(hSock);
    DWORD dwStart = GetTickCount();
    while ((int)(GetTickCount() - dwStart) < ms) {
        int n = recv(hSock, (char*)s_ahead.ab, sizeof s_ahead.ab, 0);
        if (n == 0 || (n < 0 && !SockWouldWait()))
            return;
    }
}

void SockDiscardWaiting()
{
    SOCKET hSock = g_link.hDataSock;
    u_long nWaiting = 0;
    if (ioctlsocket(hSock, FIONREAD, &nWaiting) != 0)
        return;
    // The counted bytes are there, so none of these receives waits; the read-ahead buffer is
    // the scratch space, and is empty afterwards.
    while (nWaiting > 0 && !TransferStopped()) {
        int n = recv(hSock, (char*)s_ahead.ab,
                     nWaiting < sizeof s_ahead.ab ? (int)nWaiting : (int)sizeof s_ahead.ab, 0);
        if (n <= 0)
            break;
        nWaiting -= n;
    }
    ForgetReadAhead(hSock);
}
