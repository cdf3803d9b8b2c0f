// IrDA through the simulated infrared medium: a listener announces itself in the folder, and
// the connect step finds another announced device and connects to it.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "peer_wire.h"
#include "testenv.h"

#include <cstring>

namespace {

TEST(IrdaAir, ListenerAnnouncesItsPortAndTheConnectReachesAnAnnouncedDevice)
{
    EnsureWinsock();
    ScratchDir air;
    SetEnvironmentVariableA("TALMOX_IRDA_AIR", air.Path().c_str());
    g_state.iCommType = CT_IRDA;
    SOCKET l = OpenListenSocket();
    ASSERT_NE((SOCKET)0, l);
    // Its announcement, ID.dev: a 4-byte id, a 22-byte name, the 16-bit port of the listener
    // on 127.0.0.1; kept open for writing by the listener, deleted when the process ends.
    std::vector<std::string> names = FolderNames(air.Path());
    ASSERT_EQ(1u, names.size());
    HANDLE h = CreateFileA(air.File(names[0]).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    std::string rec(64, '\0');
    DWORD n = 0;
    ReadFile(h, &rec[0], 64, &n, nullptr);
    CloseHandle(h);
    ASSERT_EQ(28u, n);
    sockaddr_in a = {};
    int cb = sizeof a;
    ASSERT_EQ(0, getsockname(l, (sockaddr*)&a, &cb));
    EXPECT_EQ(ntohs(a.sin_port), (uint8_t)rec[26] | (uint8_t)rec[27] << 8);
    char szId[16];
    snprintf(szId, sizeof szId, "%02X%02X%02X%02X.dev", (uint8_t)rec[0], (uint8_t)rec[1],
             (uint8_t)rec[2], (uint8_t)rec[3]);
    EXPECT_EQ(szId, names[0]);

    // Another device in range: a test listener announced by hand.
    uint16_t port = 0;
    SOCKET peerL = LoopbackListener(&port);
    std::string other = "\x11\x22\x33\x44PEER" + std::string(18, '\0') + Le32(port).substr(0, 2);
    WriteWholeFile(air.File("11223344.dev"), other);
    g_state.bAbort = 0;
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_CONNECT;
    SockConnect();
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
    ASSERT_NE(INVALID_SOCKET, g_state.hDataSock);
    PeerWire peer;
    peer.AttachSocket(accept(peerL, nullptr, nullptr));
    SockSendCode(0x50);
    EXPECT_EQ(Hex(Frame(0x50)), Hex(peer.Recv(4, 1000)));
    closesocket(g_state.hDataSock.exchange(INVALID_SOCKET));
    closesocket(peerL);
    closesocket(l);
    DeleteFileA(air.File("11223344.dev").c_str());
    SetEnvironmentVariableA("TALMOX_IRDA_AIR", nullptr);
}

}  // namespace
