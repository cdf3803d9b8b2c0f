// The byte pipe on the connected data socket: whole sends, exact receives, code frames.
//
// The socket is non-blocking. Where a receive finds nothing, it waits up to 10 ms for data
// with select() instead of sleeping blindly, and counts the poll as empty only when nothing
// arrived within it; 200 empty polls (about two seconds) end the receive.
#include "connection/sockets.h"

#include "connection/session.h"
#include "protocol/packets.h"

enum { EMPTY_POLL_LIMIT = 200, POLL_MS = 10 };

// A reset, shut-down or otherwise dead connection: retrying would never succeed.
static int IsBrokenConnection(int iErr)
{
    switch (iErr) {
    case WSAENOTCONN: case WSAECONNABORTED: case WSAECONNRESET: case WSAESHUTDOWN:
    case WSAENETRESET: case WSAENOTSOCK: case WSAENETDOWN: case WSAETIMEDOUT:
    case WSAEHOSTUNREACH: case WSAENETUNREACH: case WSAEBADF: case WSAEINVAL:
        return 1;
    }
    return 0;
}

// Waits up to POLL_MS for the socket to become readable (bWrite 0) or writable; 1 if it did.
static int WaitSocket(SOCKET s, int bWrite)
{
    fd_set set;
    FD_ZERO(&set);
    FD_SET(s, &set);
    timeval tv = {0, POLL_MS * 1000};
    return select(0, bWrite ? nullptr : &set, bWrite ? &set : nullptr, nullptr, &tv) > 0;
}

void PrepareDataSocket(SOCKET s)
{
    u_long bNonBlocking = 1;
    ioctlsocket(s, FIONBIO, &bNonBlocking);
    BOOL bNoDelay = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, (const char*)&bNoDelay, sizeof bNoDelay);
    int cbBuf = 1 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, (const char*)&cbBuf, sizeof cbBuf);
    setsockopt(s, SOL_SOCKET, SO_SNDBUF, (const char*)&cbBuf, sizeof cbBuf);
}

void SockSendAll(const void* pBuf, int32_t len)
{
    SessionState& s = g_state;
    if (s.bAbort)
        return;
    const char* p = (const char*)pBuf;
    while (len > 0) {
        SOCKET hSock = s.hDataSock;
        int n = send(hSock, p, len, 0);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (iErr == WSAEWOULDBLOCK) {
                WaitSocket(hSock, 1);
            } else if (IsBrokenConnection(iErr)) {
                s.bAbort = 1;
                return;
            }
        } else {
            p += n;
            len -= n;
            if (len > 0)
                WaitSocket(hSock, 1);
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
        SOCKET hSock = s.hDataSock;
        int n = recv(hSock, p + nGot, len - nGot, 0);
        if (n == SOCKET_ERROR) {
            int iErr = WSAGetLastError();
            if (iErr == WSAEWOULDBLOCK) {
                if (!WaitSocket(hSock, 0))
                    nEmpty++;
            } else if (IsBrokenConnection(iErr)) {
                s.hDataSock = INVALID_SOCKET;
                s.bAbort = 1;
                return 0;
            }
        } else if (n == 0) {
            s.hDataSock = INVALID_SOCKET;
            s.bAbort = 1;
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
