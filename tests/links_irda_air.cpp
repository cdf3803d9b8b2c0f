// IrDA through the simulated infrared medium: a listener announces itself in the folder, and
// the connect step finds another announced device and connects to it.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "links_peer.h"
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
    // Its announcement: 4-byte id, 22-byte name, 16-bit port of the listener on 127.0.0.1.
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(air.File("*.dev").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, hFind);
    FindClose(hFind);
    // The listener keeps the file open for writing (it is deleted when the process ends).
    HANDLE h = CreateFileA(air.File(fd.cFileName).c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    std::string rec(64, '\0');
    DWORD n = 0;
    ReadFile(h, &rec[0], 64, &n, nullptr);
    CloseHandle(h);
    rec.resize(n);
    ASSERT_EQ(28u, rec.size());
    sockaddr_in a = {};
    int cb = sizeof a;
    ASSERT_EQ(0, getsockname(l, (sockaddr*)&a, &cb));
    EXPECT_EQ(ntohs(a.sin_port), (uint8_t)rec[26] | (uint8_t)rec[27] << 8);
    char szId[16];
    snprintf(szId, sizeof szId, "%02X%02X%02X%02X.dev", (uint8_t)rec[0], (uint8_t)rec[1],
             (uint8_t)rec[2], (uint8_t)rec[3]);
    EXPECT_STREQ(szId, fd.cFileName);

    // Another device in range: a test listener announced by hand.
    SOCKET peerL = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in p = {};
    p.sin_family = AF_INET;
    p.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(0, bind(peerL, (sockaddr*)&p, sizeof p));
    ASSERT_EQ(0, listen(peerL, 1));
    cb = sizeof p;
    getsockname(peerL, (sockaddr*)&p, &cb);
    std::string other(28, '\0');
    other[0] = 0x11; other[1] = 0x22; other[2] = 0x33; other[3] = 0x44;
    memcpy(&other[4], "PEER", 4);
    other[26] = (char)(ntohs(p.sin_port) & 0xFF);
    other[27] = (char)(ntohs(p.sin_port) >> 8);
    WriteWholeFile(air.File("11223344.dev"), other);

    g_state.bAbort = 0;
    g_state.bAnswerMode = 0;
    g_state.iWorkerState = WS_CONNECT;
    SockConnect();
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
    ASSERT_NE(INVALID_SOCKET, g_state.hDataSock);
    SOCKET peer = accept(peerL, nullptr, nullptr);
    ASSERT_NE(INVALID_SOCKET, peer);
    SockSendCode(0x50);
    std::string got;
    EXPECT_EQ(4, PeerRecv(peer, 4, 1000, &got));
    EXPECT_EQ(Hex("50 FF 50 11"), got);
    closesocket(peer);
    closesocket(g_state.hDataSock.exchange(INVALID_SOCKET));
    closesocket(peerL);
    closesocket(l);
    DeleteFileA(air.File("11223344.dev").c_str());
    SetEnvironmentVariableA("TALMOX_IRDA_AIR", nullptr);
}

}  // namespace
