// The socket side of the link over loopback: the discovery responder on 1755, the connect that
// retries until cancelled, and IrDA where the platform has none.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "links_peer.h"
#include "testenv.h"

namespace {

const uint32_t kLoopback = 0x7F000001;

SOCKET UdpClient()
{
    EnsureWinsock();
    return socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
}

// Sends a datagram to 127.0.0.1:1755 and returns the reply that came within ms, or "".
std::string Probe(SOCKET s, const std::string& bytes, int ms)
{
    sockaddr_in to = {};
    to.sin_family = AF_INET;
    to.sin_port = htons(TALMOX_UDP_PORT);
    to.sin_addr.s_addr = htonl(kLoopback);
    sendto(s, bytes.data(), (int)bytes.size(), 0, (sockaddr*)&to, sizeof to);
    if (PeerSilent(s, ms))
        return "";
    char ab[16];
    int n = recv(s, ab, sizeof ab, 0);
    return n > 0 ? std::string(ab, n) : "";
}

TEST(Responder, EchoesAProbeOnlyWhileATcpTypeIsIdleAndEndsOnQuit)
{
    EnsureWinsock();
    g_state.iCommType = CT_LAN;
    g_state.iWorkerState = WS_IDLE;
    g_state.dwFoundPeerAddr = 0;
    HANDLE hThread = CreateThread(nullptr, 0, DiscoveryResponder, nullptr, 0, nullptr);
    ASSERT_NE(nullptr, hThread);
    Sleep(200);
    SOCKET s = UdpClient();
    EXPECT_EQ(std::string("f\x01\x02\x03"), Probe(s, "f\x01\x02\x03", 1000));
    EXPECT_EQ(htonl(kLoopback), g_state.dwFoundPeerAddr);
    EXPECT_EQ("", Probe(s, "gabc", 600));     // not the probe byte
    EXPECT_EQ("", Probe(s, "fab", 600));      // not 4 bytes
    g_state.iWorkerState = WS_CONNECT;        // this machine is itself looking for a peer
    Sleep(100);
    EXPECT_EQ("", Probe(s, "fabc", 700));
    g_state.iWorkerState = WS_IDLE;
    g_state.iCommType = CT_COM1;              // a serial type answers nothing
    Sleep(100);
    EXPECT_EQ("", Probe(s, "fabc", 700));
    g_state.iCommType = CT_WAN;
    // Probes that came while nothing was answered wait in the socket and are answered now,
    // late (a sender drops stale replies before it probes); only fresh answers count below.
    char ab[16];
    while (!PeerSilent(s, 800))
        recv(s, ab, sizeof ab, 0);
    EXPECT_EQ("fxyz", Probe(s, "fxyz", 1000));
    g_state.iWorkerState = WS_QUIT;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 1500));
    CloseHandle(hThread);
    closesocket(s);
}

TEST(Listener, IrdaWithoutTheSimulatedMediumAndSerialTypesGiveNoSocket)
{
    EnsureWinsock();
    SetEnvironmentVariableA("TALMOX_IRDA_AIR", nullptr);
    g_state.iCommType = CT_IRDA;
    EXPECT_EQ((SOCKET)0, OpenListenSocket());
    g_state.iCommType = CT_COM2;
    EXPECT_EQ((SOCKET)0, OpenListenSocket());
    // The connect step cannot make an IrDA socket: it gives up with bAbort.
    g_state.iCommType = CT_IRDA;
    g_state.bAbort = 0;
    SockConnect();
    EXPECT_EQ(1, g_state.bAbort);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock);
    g_state.bAbort = 0;
}

TEST(Connect, WanWithoutAPeerRetriesUntilCancelledAndClosesItsSocket)
{
    EnsureWinsock();
    g_state.iCommType = CT_WAN;
    g_state.dwPeerIP = kLoopback;   // nobody listens on 1756 now
    g_state.bAbort = 0;
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_CONNECT;
    HANDLE hCancel = CreateThread(nullptr, 0, [](void*) -> DWORD {
        Sleep(1500);
        g_state.bAbort = 1;
        return 0;
    }, nullptr, 0, nullptr);
    LARGE_INTEGER t0 = Now();
    SockConnect();
    double ms = MsSince(t0);
    WaitForSingleObject(hCancel, 2000);
    CloseHandle(hCancel);
    EXPECT_GE(ms, 1400.0);
    EXPECT_LT(ms, 2600.0);
    EXPECT_EQ(WS_CONNECT, g_state.iWorkerState);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock);
    g_state.bAbort = 0;
}

}  // namespace
