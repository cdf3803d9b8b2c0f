// The serial handshake over the COM1/COM2 pseudo-terminal pair: the program on COM1, the test
// playing the peer on COM2 with the bytes of the protocol.
#include <gtest/gtest.h>

#include "browser/uistate.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
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
        g_wnd.hInst = GetModuleHandleA(nullptr);
        g_settings.iCommType = CT_COM1;
        g_link.hComm = OpenCommPort();
        ASSERT_NE(nullptr, g_link.hComm.load()) << "COM1 did not open";
        ASSERT_TRUE(peer.OpenSerial());
        g_worker.bAbort = 0;
        g_worker.bAnswerMode = 0;
    }
    void TearDown() override
    {
        peer.Close();
        HANDLE h = g_link.hComm.exchange(nullptr);
        if (h)
            CloseHandle(h);
        g_worker.bAbort = 0;
    }
    // What the program sent, once n bytes came or ms passed (it probes about once a second).
    std::string Read(size_t n, int ms = 2500) { return Hex(peer.Recv(n, ms)); }
};

// The ack behind a garbled frame is purged with it: the program pings again, and a peer that
// then acknowledges the ping at once is linked without XC_LINK.
TEST_F(Serial, AGarbledReplyPurgesTheLineAndThePingStartsOver)
{
    g_worker.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    peer.Send("\x50\xFF\x51\x11\x63\xFF\x63\x11");
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    peer.Send(Frame(0x63));
    EXPECT_EQ("58 FF 58 11 ", Read(4));
    peer.Send(std::string(256, 'n'));
    EXPECT_EQ(260u, peer.Recv(260, 2500).size());
    worker.join();
    EXPECT_EQ(WS_CONNECTED, g_worker.iWorkerState);
}

TEST_F(Serial, CancelOnASilentLineEndsWithinAboutASecond)
{
    strcpy(g_link.szPeerName, "old");
    g_worker.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    Sleep(1500);
    DWORD t0 = GetTickCount();
    g_worker.bAbort = 1;
    worker.join();
    EXPECT_LT(GetTickCount() - t0, 1500u);
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState);
    EXPECT_EQ(0, g_link.szPeerName[0]);
    EXPECT_EQ("50 FF 50 11 50 FF 50 11 ", Read(8));     // about one ping a second
}

TEST_F(Serial, KeepAliveGivesUpAfterTheLimitOfMissesInARowAndOneReplyResetsThem)
{
    g_worker.nKeepAliveLimit = 3;   // 10 in the program; the count is what is tested
    strcpy(g_link.szPeerName, "peer");
    g_worker.iWorkerState = WS_CONNECTED;
    std::thread worker([] { CommKeepAlive(); });
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    peer.Send(Frame(0x57));                 // answered: the count starts again
    // Then three misses in a row end the link, and no probe follows.
    std::string rest = Read(16, 6000);
    g_worker.bAbort = 1;
    worker.join();
    g_worker.bAbort = 0;
    g_worker.nKeepAliveLimit = 10;
    EXPECT_EQ("56 FF 56 11 56 FF 56 11 56 FF 56 11 ", rest);
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState);
    EXPECT_EQ(0, g_link.szPeerName[0]);
}

}  // namespace
