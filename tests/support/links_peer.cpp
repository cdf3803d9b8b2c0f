// Test peers for the link tests.
#include "links_peer.h"

#include "connection/sockets.h"
#include "peer_wire.h"
#include "testenv.h"

#include <cstdlib>

int MakeLoopbackPair(SOCKET* pProgram, SOCKET* pPeer)
{
    EnsureWinsock();
    if (!LoopbackPair(pPeer, pProgram))
        return 0;
    PrepareDataSocket(*pProgram);
    return 1;
}

int PeerSend(SOCKET s, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        int n = send(s, bytes.data() + done, (int)(bytes.size() - done), 0);
        if (n <= 0)
            return 0;
        done += n;
    }
    return 1;
}

// Waits up to ms for the socket to be readable.
static int Readable(SOCKET s, int ms)
{
    fd_set rd;
    FD_ZERO(&rd);
    FD_SET(s, &rd);
    timeval tv = {ms / 1000, (ms % 1000) * 1000};
    return select(0, &rd, nullptr, nullptr, &tv) > 0;
}

int PeerRecv(SOCKET s, int n, int ms, std::string* pOut)
{
    pOut->assign(n, '\0');
    int nGot = 0;
    LARGE_INTEGER t0 = Now();
    while (nGot < n) {
        int msLeft = ms - (int)MsSince(t0);
        if (msLeft <= 0 || !Readable(s, msLeft))
            break;
        int k = recv(s, &(*pOut)[nGot], n - nGot, 0);
        if (k <= 0)
            break;
        nGot += k;
    }
    pOut->resize(nGot);
    return nGot;
}

int PeerSilent(SOCKET s, int ms)
{
    return !Readable(s, ms);
}

std::string Hex(const char* pszHex)
{
    std::string out;
    char* pEnd;
    for (const char* p = pszHex; *p;) {
        long v = strtol(p, &pEnd, 16);
        if (pEnd == p)
            break;
        out.push_back((char)v);
        p = pEnd;
    }
    return out;
}

LARGE_INTEGER Now()
{
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return t;
}

double MsSince(const LARGE_INTEGER& t0)
{
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return (double)(t.QuadPart - t0.QuadPart) * 1000.0 / (double)f.QuadPart;
}
