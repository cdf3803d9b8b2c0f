// The byte pipe on the connected data socket: whole sends, exact receives, code frames.
//
// A connected socket is blocking, with a receive time-out of 10 ms. A receive that
// finds data waiting returns it at once; one that finds none waits for it inside the same
// call, so a poll costs one socket call and counts as empty only when nothing arrived within
// its 10 ms. 200 empty polls (about two seconds) end the receive. Under Wine every socket call
// is a round trip to the wineserver, and this was measured the fastest way of waiting there
// (a non-blocking socket with select() or WSAEventSelect waits takes three calls where data
// is late, and ran at half the speed).
#include "connection/sockets.h"

#include "connection/session.h"
#include "protocol/packets.h"

enum { EMPTY_POLL_LIMIT = 200, POLL_MS = 10, SOCKET_BUFFER_BYTES = 1 << 20 };

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
    // Sends block without a time-out: with one, a 3 MiB send under Wine arrived with its
    // bytes out of order, since a timed-out send may have queued part of them. A send waits only when a megabyte of
    // buffers is full, which one message in flight never does; closing the socket ends it.
}

// The peer has gone: the data socket is closed here, once. The user-interface thread takes
// the handle the same way, so whichever side comes first closes it.
static void DropDataSocket()
{
    SOCKET hSock = g_state.hDataSock.exchange(INVALID_SOCKET);
    if (hSock != INVALID_SOCKET)
        closesocket(hSock);
    g_state.bAbort = 1;
}

void SockSendAll(const void* pBuf, int32_t len)
{
    SessionState& s = g_state;
    if (s.bAbort)
        return;
    const char* p = (const char*)pBuf;
    while (len > 0) {
        int n = send(s.hDataSock, p, len, 0);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (IsBrokenConnection(iErr)) {
                s.bAbort = 1;
                return;
            }
        } else {
            p += n;
            len -= n;
        }
        if (len > 0 && s.bAbort)
            return;
    }
}

int SockRecvAll(void* pBuf, int32_t len)
{
    SessionState& s = g_state;
    if (s.bAbort)
        return 0;
    char* p = (char*)pBuf;
    int nEmpty = 0, nGot = 0;
    while (nGot < len) {
        if (nEmpty >= EMPTY_POLL_LIMIT)
            return 0;
        int n = recv(s.hDataSock, p + nGot, len - nGot, 0);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (IsEmptyPoll(iErr)) {
                nEmpty++;
            } else if (IsBrokenConnection(iErr)) {
                DropDataSocket();
                return 0;
            }
        } else if (n == 0) {
            DropDataSocket();
            return 0;
        } else {
            nGot += n;
        }
        if (nGot < len && s.bAbort)
            return nGot;
    }
    return len;
}

void SockSendCode(uint8_t code)
{
    uint8_t abFrame[4];
    MakeCodeFrame(abFrame, code);
    SockSendAll(abFrame, 4);
}

static int ReadFromDataSocket(void*, uint8_t* pBuf, int n)
{
    return SockRecvAll(pBuf, n);
}

uint8_t SockRecvCode()
{
    return SocketFrameCode(ReadFromDataSocket, nullptr);
}
