// The serial handshake over the COM1/COM2 pseudo-terminal pair: the program on COM1, the test
// playing the peer on COM2 with the bytes of the protocol.
#include <gtest/gtest.h>

#include "connection/serialport.h"
#include "connection/session.h"
#include "links_peer.h"
#include "protocol/seriallink.h"
#include "testenv.h"

#include <cstring>
#include <thread>

namespace {

struct Serial : ::testing::Test {
    HANDLE hPeer = INVALID_HANDLE_VALUE;
    void SetUp() override
    {
        g_state.hInst = GetModuleHandleA(nullptr);
        g_state.iCommType = CT_COM1;
        HANDLE h = OpenCommPort(0);
        ASSERT_NE(nullptr, h) << "COM1 did not open";
        g_state.hComm = h;
        hPeer = CreateFileA("COM2:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                            nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, hPeer);
        COMMTIMEOUTS ct = {100, 1, 1000, 0, 0};
        SetCommTimeouts(hPeer, &ct);
        PurgeComm(hPeer, PURGE_RXCLEAR | PURGE_TXCLEAR);
        g_state.bAbort = 0;
        g_state.bAnswerMode = 0;
    }
    void TearDown() override
    {
        if (hPeer != INVALID_HANDLE_VALUE)
            CloseHandle(hPeer);
        HANDLE h = g_state.hComm.exchange(nullptr);
        if (h)
            CloseHandle(h);
        g_state.bAbort = 0;
    }
    std::string PeerRead(int n)
    {
        std::string s(n, '\0');
        // A probe comes about once a second: the read ends after two silent seconds.
        DWORD got = 0, total = 0;
        for (int nSilent = 0; (int)total < n && nSilent < 2;) {
            got = 0;
            ReadFile(hPeer, &s[total], n - total, &got, nullptr);
            total += got;
            nSilent = got ? 0 : nSilent + 1;
        }
        s.resize(total);
        return s;
    }
    void PeerWrite(const std::string& s)
    {
        DWORD n = 0;
        WriteFile(hPeer, s.data(), (DWORD)s.size(), &n, nullptr);
    }
};

TEST_F(Serial, HandshakeWithAPeerThatRepliesThenTheNameExchange)
{
    strcpy(g_state.szOwnerName, "Tester");
    g_state.szPeerName[0] = 0;
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ(Hex("50 FF 50 11"), PeerRead(4));
    PeerWrite(Hex("51 FF 51 11"));
    EXPECT_EQ(Hex("62 FF 62 11"), PeerRead(4));
    PeerWrite(Hex("63 FF 63 11"));
    EXPECT_EQ(Hex("58 FF 58 11"), PeerRead(4));
    std::string name(256, '\0');
    memcpy(&name[0], "PEERNAME", 8);
    PeerWrite(name);
    std::string put = PeerRead(260);
    worker.join();
    ASSERT_EQ(260u, put.size());
    EXPECT_EQ(Hex("59 FF 59 11"), put.substr(0, 4));
    EXPECT_EQ(std::string("Tester") + std::string(122, '\0'), put.substr(4, 128));
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
    EXPECT_STREQ("PEERNAME", g_state.szPeerName);
}

TEST_F(Serial, APeerThatAcksThePingAtOnceLinksWithoutXcLink)
{
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ(Hex("50 FF 50 11"), PeerRead(4));
    PeerWrite(Hex("63 FF 63 11"));
    EXPECT_EQ(Hex("58 FF 58 11"), PeerRead(4));   // the name exchange, no XC_LINK
    PeerWrite(std::string(256, 'n'));
    EXPECT_EQ(260u, PeerRead(260).size());
    worker.join();
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
}

TEST_F(Serial, CancelOnASilentLineEndsWithinAboutASecond)
{
    strcpy(g_state.szPeerName, "old");
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    Sleep(1500);
    LARGE_INTEGER t0 = Now();
    g_state.bAbort = 1;
    worker.join();
    double ms = MsSince(t0);
    EXPECT_LT(ms, 1500.0);
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState);
    EXPECT_EQ(0, g_state.szPeerName[0]);
    std::string pings = PeerRead(8);              // about one ping a second
    EXPECT_EQ(Hex("50 FF 50 11 50 FF 50 11"), pings);
}

TEST_F(Serial, AGarbledReplyPurgesTheLineAndThePingStartsOver)
{
    g_state.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ(Hex("50 FF 50 11"), PeerRead(4));
    // The ack behind the garbled frame is purged with it: the program pings again.
    PeerWrite(Hex("50 FF 51 11 63 FF 63 11"));
    EXPECT_EQ(Hex("50 FF 50 11"), PeerRead(4));
    PeerWrite(Hex("63 FF 63 11"));
    EXPECT_EQ(Hex("58 FF 58 11"), PeerRead(4));
    PeerWrite(std::string(256, 'n'));
    EXPECT_EQ(260u, PeerRead(260).size());
    worker.join();
    EXPECT_EQ(WS_CONNECTED, g_state.iWorkerState);
}

TEST_F(Serial, KeepAliveGivesUpAfterTheLimitOfMissesInARowAndOneReplyResetsThem)
{
    g_state.nKeepAliveLimit = 3;   // 10 in the program; the count is what is tested
    strcpy(g_state.szPeerName, "peer");
    g_state.iWorkerState = WS_CONNECTED;
    std::thread worker([] { CommKeepAlive(); });
    int nProbes = 0;
    EXPECT_EQ(Hex("56 FF 56 11"), PeerRead(4));   // miss 1
    nProbes++;
    EXPECT_EQ(Hex("56 FF 56 11"), PeerRead(4));
    nProbes++;
    PeerWrite(Hex("57 FF 57 11"));                // answered: the count starts again
    // Then three misses in a row end the link; after that no probe is sent.
    std::string rest = PeerRead(16);
    nProbes += (int)rest.size() / 4;
    g_state.bAbort = 1;
    worker.join();
    g_state.bAbort = 0;
    g_state.nKeepAliveLimit = 10;
    EXPECT_EQ(Hex("56 FF 56 11 56 FF 56 11 56 FF 56 11"), rest);
    EXPECT_EQ(5, nProbes);
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState);
    EXPECT_EQ(0, g_state.szPeerName[0]);
}

}  // namespace
