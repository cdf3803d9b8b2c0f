// The socket connect of the transfer worker: the link of a connect cancelled just as it stood,
// and a connect that retries until cancelled.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "peer_wire.h"
#include "testenv.h"

namespace {

// A Cancel of "Connecting..." that comes just as the connect succeeded: the link is closed, so
// that the peer does not serve it for good, deaf to the next probes and connections. Then, with
// nobody listening, the connect retries until it is cancelled and closes its socket.
TEST(Connect, LinkOfACancelledConnectIsClosedAndWithoutAPeerItRetriesUntilCancelled)
{
    EnsureWinsock();
    uint16_t port = TALMOX_TCP_PORT;
    SOCKET hListen = LoopbackListener(&port);
    if (hListen == INVALID_SOCKET)
        SKIP_CASE("port 1756 is taken by another program");
    g_state.dwPeerIP = INADDR_LOOPBACK;
    g_state.hwndConnectDlg = nullptr;
    HANDLE hThread = StartTransferWorker(CT_WAN, 32768, 0);
    ASSERT_NE(nullptr, hThread);
    g_state.iWorkerState = WS_CONNECT;
    SOCKET hPeer = INVALID_SOCKET;
    ASSERT_TRUE(WaitFor([&] { return (hPeer = accept(hListen, nullptr, nullptr)) != INVALID_SOCKET; },
                        5000));
    ASSERT_TRUE(WaitFor([] { return g_state.iWorkerState == WS_CONNECTED; }, 5000));
    // What the dialog's Cancel does.
    g_state.bAbort = 1;
    g_state.iWorkerState = WS_IDLE;
    g_state.bAnswerMode = 1;
    // Only the abort notice may come before the close.
    PeerWire peer;
    peer.AttachSocket(hPeer);
    DWORD t0 = GetTickCount();
    EXPECT_LE(peer.Recv(5, 3000).size(), 4u) << "more than the abort notice came";
    EXPECT_LT(GetTickCount() - t0, 2900u) << "the cancelled link is still open";
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock.load());
    EXPECT_TRUE(StopTransferWorker(hThread));
    closesocket(hListen);

    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_CONNECT;
    HANDLE hCancel = CreateThread(nullptr, 0, [](void*) -> DWORD {
        Sleep(1500);
        g_state.bAbort = 1;
        return 0;
    }, nullptr, 0, nullptr);
    t0 = GetTickCount();
    SockConnect();
    DWORD ms = GetTickCount() - t0;
    WaitForSingleObject(hCancel, 2000);
    CloseHandle(hCancel);
    EXPECT_GE(ms, 1400u);
    EXPECT_LT(ms, 2600u);
    EXPECT_EQ(WS_CONNECT, g_state.iWorkerState);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock);
    g_state.bAbort = 0;
}

}  // namespace
