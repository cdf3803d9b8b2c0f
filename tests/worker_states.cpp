// The transfer worker's state loop: quitting, returning to answer mode, accepting a peer.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "connection/worker.h"
#include "testenv.h"

namespace {

// A non-blocking listener on the loopback port (0: any free one), its address in *pAddr;
// INVALID_SOCKET when the port is taken.
static SOCKET Listener(u_short port, sockaddr_in* pAddr)
{
    EnsureWinsock();
    SOCKET s = socket(AF_INET, SOCK_STREAM, 0);
    pAddr->sin_family = AF_INET;
    pAddr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    pAddr->sin_port = htons(port);
    int cb = sizeof *pAddr;
    if (bind(s, (sockaddr*)pAddr, cb) != 0) {
        closesocket(s);
        return INVALID_SOCKET;
    }
    getsockname(s, (sockaddr*)pAddr, &cb);
    u_long nb = 1;
    ioctlsocket(s, FIONBIO, &nb);
    listen(s, 5);
    return s;
}

struct Worker : ::testing::Test {
    HANDLE hThread = nullptr;
    void Start()
    {
        hThread = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, nullptr);
        ASSERT_NE(nullptr, hThread);
    }
    bool Ended(int ms) { return WaitForSingleObject(hThread, ms) == WAIT_OBJECT_0; }
    void TearDown() override
    {
        if (hThread) {
            g_state.bAbort = 1;
            g_state.bAnswerMode = 0;
            g_state.iWorkerState = WS_QUIT;
            EXPECT_TRUE(Ended(10000));
            CloseHandle(hThread);
        }
        g_state.bAbort = 0;
    }
};

TEST_F(Worker, QuitIsIgnoredInAnswerModeAndEndsTheLoopOutsideIt)
{
    g_state.hComm = nullptr;
    g_state.iCommType = CT_COM1;
    g_state.bAnswerMode = 1;
    g_state.iWorkerState = WS_IDLE;
    Start();
    ASSERT_TRUE(WaitFor([] { return g_state.pPacketBuf.load() != nullptr; }, 2000));
    g_state.iWorkerState = WS_QUIT;
    EXPECT_FALSE(Ended(300));
    g_state.bAnswerMode = 0;
    EXPECT_TRUE(Ended(2000));
    EXPECT_EQ(nullptr, g_state.pPacketBuf.load());
    EXPECT_EQ(nullptr, g_state.pXferFiles.load());
}

TEST_F(Worker, SendReturnsToAnswerModeWhateverItsResult)
{
    g_state.hComm = nullptr;
    g_state.iCommType = CT_COM1;
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_IDLE;
    Start();
    g_state.nXferFiles = 0;
    g_state.bAbort = 1;     // the send stops at once and only sends its abort notices
    g_state.iWorkerState = WS_SEND;
    ASSERT_TRUE(WaitFor([] { return g_state.bAnswerMode == 1; }, 8000));
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState);
}

TEST_F(Worker, AcceptingASocketPeerClearsAbort)
{
    sockaddr_in a = {};
    SOCKET hListen = Listener(0, &a);
    ASSERT_NE(INVALID_SOCKET, hListen);

    g_state.hListenSock = hListen;
    g_state.iCommType = CT_LAN;
    g_state.bAbort = 1;
    g_state.bAnswerMode = 1;
    g_state.iWorkerState = WS_IDLE;
    Start();
    Sleep(250);
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState) << "nothing to accept yet";

    SOCKET hPeer = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_EQ(0, connect(hPeer, (sockaddr*)&a, sizeof a));
    ASSERT_TRUE(WaitFor([] { return g_state.iWorkerState != WS_IDLE; }, 3000));
    EXPECT_EQ(0, g_state.bAbort);
    EXPECT_NE(INVALID_SOCKET, g_state.hDataSock.load());

    // A worker state of 4 outside answer mode only makes the worker sleep.
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = 4;
    EXPECT_FALSE(Ended(200));
    closesocket(hPeer);
    closesocket(hListen);
    SOCKET hData = g_state.hDataSock.exchange(INVALID_SOCKET);
    if (hData != INVALID_SOCKET)
        closesocket(hData);
}

// A Cancel of "Connecting..." that comes just as the connect succeeded: the link is closed, so
// that the peer does not serve it for good, deaf to the next probes and connections.
TEST_F(Worker, LinkOfACancelledConnectIsClosed)
{
    sockaddr_in a = {};
    SOCKET hListen = Listener(TALMOX_TCP_PORT, &a);
    if (hListen == INVALID_SOCKET)
        GTEST_SKIP() << "port 1756 is taken by another program";
    g_state.iCommType = CT_WAN;
    g_state.dwPeerIP = INADDR_LOOPBACK;
    g_state.bAbort = 0;
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_CONNECT;
    g_state.hwndConnectDlg = nullptr;
    Start();
    SOCKET hPeer = INVALID_SOCKET;
    ASSERT_TRUE(WaitFor([&] { return (hPeer = accept(hListen, nullptr, nullptr)) != INVALID_SOCKET; },
                        5000));
    u_long nb = 0;
    ioctlsocket(hPeer, FIONBIO, &nb);   // the receive below waits for the close
    ASSERT_TRUE(WaitFor([] { return g_state.iWorkerState == WS_CONNECTED; }, 5000));
    // What the dialog's Cancel does.
    g_state.bAbort = 1;
    g_state.iWorkerState = WS_IDLE;
    g_state.bAnswerMode = 1;
    DWORD dwTimeout = 3000;
    setsockopt(hPeer, SOL_SOCKET, SO_RCVTIMEO, (const char*)&dwTimeout, sizeof dwTimeout);
    // Only the abort notice may come before the close.
    char ab[16];
    int n, nTotal = 0;
    while ((n = recv(hPeer, ab, sizeof ab, 0)) > 0 && (nTotal += n) <= 4) {
    }
    EXPECT_EQ(0, n) << "the cancelled link is still open";
    EXPECT_LE(nTotal, 4);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock.load());
    closesocket(hPeer);
    closesocket(hListen);
}

}  // namespace
