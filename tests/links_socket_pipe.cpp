// The byte pipe on a real loopback TCP connection, with the test as the peer: exact receives,
// the read-ahead, the two-second time-out, a closed and a reset peer, abort, and code frames.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "links_peer.h"
#include "testenv.h"

#include <cstring>
#include <thread>

namespace {

struct Pipe : ::testing::Test {
    SOCKET hProgram = INVALID_SOCKET, hPeer = INVALID_SOCKET;
    void SetUp() override
    {
        ASSERT_TRUE(MakeLoopbackPair(&hProgram, &hPeer));
        g_state.hDataSock = hProgram;
        g_state.bAbort = 0;
    }
    void TearDown() override
    {
        SOCKET h = g_state.hDataSock.exchange(INVALID_SOCKET);
        if (h != INVALID_SOCKET)
            closesocket(h);
        if (hPeer != INVALID_SOCKET)
            closesocket(hPeer);
        g_state.bAbort = 0;
    }
    // The peer sends the pieces one after another with a pause before each.
    std::thread SendLater(std::vector<std::string> pieces, int msPause)
    {
        SOCKET h = hPeer;
        return std::thread([h, pieces, msPause] {
            for (const std::string& p : pieces) {
                Sleep(msPause);
                PeerSend(h, p);
            }
        });
    }
    // Closes the peer's end; with bReset the connection is reset instead of shut down.
    void ClosePeer(int bReset)
    {
        if (bReset) {
            linger lg = {1, 0};
            setsockopt(hPeer, SOL_SOCKET, SO_LINGER, (const char*)&lg, sizeof lg);
        }
        closesocket(hPeer);
        hPeer = INVALID_SOCKET;
    }
};

std::string Pattern(size_t n, unsigned seed)
{
    std::string s(n, '\0');
    for (size_t i = 0; i < n; i++) {
        seed = seed * 1103515245u + 12345u;
        s[i] = (char)(seed >> 24);
    }
    return s;
}

// A socket handle that has been closed is no socket any more.
bool IsClosedHandle(SOCKET h)
{
    int v = 0, cb = sizeof v;
    return getsockopt(h, SOL_SOCKET, SO_TYPE, (char*)&v, &cb) == SOCKET_ERROR
           && WSAGetLastError() == WSAENOTSOCK;
}

TEST_F(Pipe, ReceivesExactlyTheBytesSentInDelayedPieces)
{
    std::string data = Pattern(100000, 1);
    std::thread t = SendLater({data.substr(0, 1), data.substr(1, 40000), data.substr(40001)}, 150);
    std::string got(100000 + 16, 'z');
    EXPECT_EQ(100000, SockRecvAll(&got[0], 100000));
    t.join();
    EXPECT_EQ(data, got.substr(0, 100000));
    EXPECT_EQ(std::string(16, 'z'), got.substr(100000));   // nothing written past the count
    EXPECT_EQ(0, g_state.bAbort);
    EXPECT_EQ(hProgram, g_state.hDataSock);
}

// A short read takes in more than it returns; the bytes it took stay readable by the abort
// notice's look at what came back, and are thrown away with the waiting ones.
TEST_F(Pipe, BytesTakenAheadAreWaitingBytesForTheOtherReaders)
{
    ASSERT_TRUE(PeerSend(hPeer, "abcdefgh"));
    Sleep(50);
    char ab[8] = {};
    EXPECT_EQ(2, SockRecvAll(ab, 2));
    g_state.bAbort = 1;
    EXPECT_EQ(3, SockRecvWaiting(ab, 3));
    EXPECT_EQ(0, memcmp(ab, "cde", 3));
    g_state.bAbort = 0;
    ASSERT_TRUE(PeerSend(hPeer, "ijkl"));
    Sleep(50);
    SockDiscardWaiting();
    ASSERT_TRUE(PeerSend(hPeer, "wxyz"));
    EXPECT_EQ(4, SockRecvAll(ab, 4));
    EXPECT_EQ(0, memcmp(ab, "wxyz", 4));
}

TEST_F(Pipe, SilenceTimesOutAfterAboutTwoSecondsWithoutAbort)
{
    char ab[4];
    LARGE_INTEGER t0 = Now();
    EXPECT_EQ(0, SockRecvAll(ab, 4));
    double ms = MsSince(t0);
    printf("time-out of a silent receive: %.0f ms\n", ms);
    EXPECT_GE(ms, 1800.0);
    EXPECT_LE(ms, 3000.0);
    EXPECT_EQ(0, g_state.bAbort);
    EXPECT_EQ(hProgram, g_state.hDataSock);
    // The connection is still usable afterwards.
    ASSERT_TRUE(PeerSend(hPeer, "wxyz"));
    EXPECT_EQ(4, SockRecvAll(ab, 4));
    EXPECT_EQ(0, memcmp(ab, "wxyz", 4));
}

TEST_F(Pipe, APeerThatClosesAbortsAtOnceAndTheSocketIsClosed)
{
    std::thread t([&] { Sleep(200); ClosePeer(0); });
    char ab[16];
    LARGE_INTEGER t0 = Now();
    EXPECT_EQ(0, SockRecvAll(ab, 16));
    double ms = MsSince(t0);
    t.join();
    EXPECT_LT(ms, 1000.0);
    EXPECT_EQ(1, g_state.bAbort);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock);
    EXPECT_TRUE(IsClosedHandle(hProgram)) << "the dead connection's handle was left open";
}

TEST_F(Pipe, AResetConnectionAbortsTheReceiveAndTheSend)
{
    ClosePeer(1);
    Sleep(100);
    char ab[4];
    LARGE_INTEGER t0 = Now();
    EXPECT_EQ(0, SockRecvAll(ab, 4));
    EXPECT_LT(MsSince(t0), 1000.0);
    EXPECT_EQ(1, g_state.bAbort);
    EXPECT_EQ(INVALID_SOCKET, g_state.hDataSock);
    EXPECT_TRUE(IsClosedHandle(hProgram));
}

TEST_F(Pipe, SendingToAResetPeerAbortsInsteadOfRetryingForever)
{
    ClosePeer(1);
    Sleep(100);
    std::string data = Pattern(65536, 3);
    LARGE_INTEGER t0 = Now();
    for (int i = 0; i < 50 && !g_state.bAbort; i++)
        SockSendAll(data.data(), (int32_t)data.size());
    EXPECT_EQ(1, g_state.bAbort);
    EXPECT_LT(MsSince(t0), 2000.0);
}

TEST_F(Pipe, AbortDuringAReceiveReturnsTheCountSoFar)
{
    ASSERT_TRUE(PeerSend(hPeer, "0123456789"));
    std::thread t([] { Sleep(300); g_state.bAbort = 1; });
    char ab[100];
    LARGE_INTEGER t0 = Now();
    EXPECT_EQ(10, SockRecvAll(ab, 100));
    double ms = MsSince(t0);
    t.join();
    EXPECT_GE(ms, 250.0);
    EXPECT_LT(ms, 800.0);
    EXPECT_EQ(hProgram, g_state.hDataSock);   // a cancel is no broken connection
}

// Each case: the bytes on the wire, the code SockRecvCode gives; after it the peer sends the
// frame 63 FF 63 11, which the next SockRecvCode must read whole (the first consumed exactly
// the bytes it should).
struct FrameCase {
    const char* pszBytes;
    uint8_t code;
};

TEST_F(Pipe, RecvCodeRealignsMisplacedFramesAndConsumesExactlyTheirBytes)
{
    const FrameCase cases[] = {
        {"51 FF 51 11", 0x51},
        {"00 61 FF 61 11", 0x61},            // one stray byte first
        {"00 52 FF 52 11", 0x52},
        {"FF 61 11 62 FF 62 11", 0x62},      // the first byte of a frame lost
        {"61 11 62 FF 62 11", 0x62},         // the tail of one frame and the head of the next
        {"61 FE 61 11", 0},                  // damaged: neither aligned nor misplaced
        {"50 FF 51 11", 0},                  // the two code bytes differ
        {"01 02 03 04", 0},
    };
    for (const FrameCase& c : cases) {
        ASSERT_TRUE(PeerSend(hPeer, Hex(c.pszBytes)));
        EXPECT_EQ(c.code, SockRecvCode()) << c.pszBytes;
        ASSERT_TRUE(PeerSend(hPeer, Hex("63 FF 63 11")));
        EXPECT_EQ(0x63, SockRecvCode()) << "after " << c.pszBytes;
        EXPECT_EQ(0, g_state.bAbort);
    }
}

// The pipe as the transfer uses it: a 32 KiB block and its 8-byte reply, many times over.
TEST_F(Pipe, BlockExchangeRunsWellAboveTheLinkSpeedOfAPollPerBlock)
{
    const int nBlocks = 512, cbMsg = 12 + 32768;
    SOCKET h = hPeer;
    std::thread peer([h] {
        std::string msg;
        for (int i = 0; i < nBlocks; i++) {
            if (PeerRecv(h, cbMsg, 5000, &msg) != cbMsg)
                return;
            PeerSend(h, Hex("54 FF 54 11") + msg.substr(4, 4));
        }
    });
    std::string block = Pattern(cbMsg, 4);
    LARGE_INTEGER t0 = Now();
    int nOk = 0;
    for (int32_t i = 0; i < nBlocks && !g_state.bAbort; i++) {
        memcpy(&block[4], &i, 4);
        SockSendAll(block.data(), cbMsg);
        char abReply[8];
        if (SockRecvAll(abReply, 8) == 8 && memcmp(abReply + 4, &i, 4) == 0)
            nOk++;
    }
    double ms = MsSince(t0);
    peer.join();
    EXPECT_EQ(nBlocks, nOk);
    double mbps = nBlocks * (double)cbMsg / (ms / 1000.0) / 1e6;
    printf("block exchange over loopback: %.1f MB/s\n", mbps);
    EXPECT_GT(mbps, 10.0);   // a 10 ms wait per block would give at most 3.3 MB/s
}

}  // namespace
