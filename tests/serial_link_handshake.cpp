// The serial handshake over the COM1/COM2 pseudo-terminal pair: the program on COM1, the test
// playing the peer on COM2 with the bytes of the protocol.
#include <gtest/gtest.h>

#include "connection/serialport.h"
#include "connection/session.h"
#include "peer_wire.h"
#include "protocol/seriallink.h"
#include "testenv.h"

#include <cstring>
#include <thread>

namespace {

struct Serial : ::testing::Test {
    PeerWire peer;
    void SetUp() override
    {
        g_state.hInst = GetModuleHandleA(nullptr);
        g_state.iCommType = CT_COM1;
        g_state.hComm = OpenCommPort();
        ASSERT_NE(nullptr, g_state.hComm.load()) << "COM1 did not open";
        ASSERT_TRUE(peer.OpenSerial());
        g_state.bAbort = 0;
        g_state.bAnswerMode = 0;
    }
    void TearDown() override
    {
        peer.Close();
        HANDLE h = g_state.hComm.exchange(nullptr);
        if (h)
            CloseHandle(h);
        g_state.bAbort = 0;
    }
    // What the program sent, once n bytes came or ms passed (it probes about once a second).
    std::string Read(size_t n, int ms = 2500) { return Hex(peer.Recv(n, ms)); }
};

// The ack behind a garbled frame is purged with it: the program pings again, and a peer that
// then acknowledges the ping at once is linked without XC_LINK.
TEST_F(Serial, AGarbledReplyPurgesTheLineAndThePingStartsOver)
{
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    peer.Send("\x50\xFF\x51\x11\x63\xFF\x63\x11");
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    peer.Send(Frame(0x63));
    EXPECT_EQ("58 FF 58 11 ", Read(4));
    peer.Send(std::string(256, 'n'));
    EXPECT_EQ(260u, peer.Recv(260, 2500).size());
    worker.join();
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
}

TEST_F(Serial, CancelOnASilentLineEndsWithinAboutASecond)
{
    strcpy(g_state.szPeerName, "old");
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    Sleep(1500);
    DWORD t0 = GetTickCount();
    g_state.bAbort = 1;
    worker.join();
    EXPECT_LT(GetTickCount() - t0, 1500u);
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState);
    EXPECT_EQ(0, g_state.szPeerName[0]);
    EXPECT_EQ("50 FF 50 11 50 FF 50 11 ", Read(8));     // about one ping a second
}

TEST_F(Serial, KeepAliveGivesUpAfterTheLimitOfMissesInARowAndOneReplyResetsThem)
{
    g_state.nKeepAliveLimit = 3;   // 10 in the program; the count is what is tested
    strcpy(g_state.szPeerName, "peer");
    g_state.iWorkerState = WS_CONNECTED;
    std::thread worker([] { CommKeepAlive(); });
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    peer.Send(Frame(0x57));                 // answered: the count starts again
    // Then three misses in a row end the link, and no probe follows.
    std::string rest = Read(16, 6000);
    g_state.bAbort = 1;
    worker.join();
    g_state.bAbort = 0;
    g_state.nKeepAliveLimit = 10;
    EXPECT_EQ("56 FF 56 11 56 FF 56 11 56 FF 56 11 ", rest);
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState);
    EXPECT_EQ(0, g_state.szPeerName[0]);
}

}  // namespace
