// The link's pieces: the transfer CRC against its bitwise definition, path records and the
// block arithmetic near 4 GiB (the exchanges on both links prove the rest of the packets); and
// the byte pipe on a real loopback TCP connection, with the test as the peer: the read-ahead,
// a closed and a reset peer, and code frames (the receiver's tests time the silence out).
#include "connection/control.h"
#include "connection/link.h"
#include "connection/sockets.h"
#include "link_fixture.h"
#include "protocol/packets.h"
#include "protocol/xferlink.h"

#include <thread>

using namespace std::string_literals;

namespace {

// The table, the eight-byte step and the carry-less fold where the processor has one must all
// give the bit-by-bit CRC, at every length and alignment.
TEST(Crc, MatchesTheBitwiseDefinitionAtEveryLengthAndAlignment)
{
    BuildCrcTable();
    EXPECT_EQ(0x2DFD2D88u, Crc32Block("123456789", 9));
    EXPECT_EQ(0u, Crc32Block("abc", -5));
    std::string data = Pattern(5000, 7);
    for (int start = 0; start < 8; start++)
        for (int len : {0, 1, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4096, 4991})
            EXPECT_EQ(Crc(data.substr(start, len)), Crc32Block(&data[start], len)) << start << " " << len;
}

// A path with no room for the terminator is refused; a name longer than the 128-byte field
// keeps its end. (Names with bytes above 127 go both ways in the transfer tests.)
TEST(Records, PathsNeverOverrunTheirFields)
{
    XFERFILE rec;
    EXPECT_EQ(0, XferPathFromNarrow(&rec, std::string(126, 'x').c_str()));
    EXPECT_EQ(0, rec.wszPath[125]);
    char name[128];
    PathFileName(("C:\\" + std::string(100, 'a') + std::string(100, 'b')).c_str(), name);
    EXPECT_EQ(std::string(27, 'a') + std::string(100, 'b'), name);
}

TEST(Blocks, SizesNear4GiBDoNotOverflow)
{
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, 4096, 0));
    EXPECT_EQ(1048576, BlockCount(0xFFFFFFFFu, 4096, 1));
    EXPECT_EQ(4095, BlockLength(1048575, 0xFFFFFFFFu, 4096));
}

struct Pipe : LinkTest {
    SOCKET hProgram = INVALID_SOCKET;
    void SetUp() override
    {
        EnsureWinsock();
        SOCKET hPeer;
        ASSERT_TRUE(LoopbackPair(&hPeer, &hProgram));
        PrepareDataSocket(hProgram);
        wire.AttachSocket(hPeer);
        g_link.hDataSock = hProgram;
        g_worker.bAbort = 0;
    }
    // A socket handle that has been closed is no socket any more.
    static bool IsClosedHandle(SOCKET h)
    {
        int v = 0, cb = sizeof v;
        return getsockopt(h, SOL_SOCKET, SO_TYPE, (char*)&v, &cb) == SOCKET_ERROR &&
               WSAGetLastError() == WSAENOTSOCK;
    }
};

// A short read takes in more than it returns; the bytes it took stay readable by the abort
// notice's look at what came back, and are thrown away with the waiting ones.
TEST_F(Pipe, BytesTakenAheadAreWaitingBytesForTheOtherReaders)
{
    wire.Send("abcdefgh");
    Sleep(50);
    char ab[8] = {};
    EXPECT_EQ(2, SockRecvAll(ab, 2));
    g_worker.bAbort = 1;
    EXPECT_EQ(3, SockRecvWaiting(ab, 3));
    EXPECT_EQ(0, memcmp(ab, "cde", 3));
    g_worker.bAbort = 0;
    wire.Send("ijkl");
    Sleep(50);
    SockDiscardWaiting();
    wire.Send("wxyz");
    EXPECT_EQ(4, SockRecvAll(ab, 4));
    EXPECT_EQ(0, memcmp(ab, "wxyz", 4));
}

TEST_F(Pipe, APeerThatClosesOrResetsAbortsTheReceiveAtOnceAndTheSocketIsClosed)
{
    for (int bReset : {0, 1}) {
        SCOPED_TRACE(bReset ? "reset" : "closed");
        if (bReset)
            SetUp();
        // The peer's end closed; with a linger of 0 the connection is reset instead.
        linger lg = {1, 0};
        if (bReset)
            setsockopt(wire.Socket(), SOL_SOCKET, SO_LINGER, (const char*)&lg, sizeof lg);
        std::thread t([&] { Sleep(200); wire.Close(); });
        char ab[16];
        DWORD t0 = GetTickCount();
        EXPECT_EQ(0, SockRecvAll(ab, 16));
        t.join();
        EXPECT_LT(GetTickCount() - t0, 1000u);
        EXPECT_EQ(1, g_worker.bAbort);
        EXPECT_EQ(INVALID_SOCKET, g_link.hDataSock);
        EXPECT_TRUE(IsClosedHandle(hProgram)) << "the dead connection's handle was left open";
    }
}

// Each case: the bytes on the wire and the code SockRecvCode gives; after it the peer sends the
// frame 63 FF 63 11, which the next SockRecvCode must read whole (the first consumed exactly
// the bytes it should).
TEST_F(Pipe, RecvCodeRealignsMisplacedFramesAndConsumesExactlyTheirBytes)
{
    const std::pair<std::string, uint8_t> cases[] = {
        {"\x51\xFF\x51\x11"s, 0x51},
        {"\x00\x61\xFF\x61\x11"s, 0x61},            // one stray byte first
        {"\x00\x52\xFF\x52\x11"s, 0x52},
        {"\xFF\x61\x11\x62\xFF\x62\x11"s, 0x62},    // the first byte of a frame lost
        {"\x61\x11\x62\xFF\x62\x11"s, 0x62},        // the tail of one frame and the head of the next
        {"\x61\xFE\x61\x11"s, 0},                   // damaged: neither aligned nor misplaced
        {"\x50\xFF\x51\x11"s, 0},                   // the two code bytes differ
        {"\x01\x02\x03\x04"s, 0},
    };
    for (const auto& c : cases) {
        wire.Send(c.first);
        EXPECT_EQ(c.second, SockRecvCode()) << Hex(c.first);
        wire.Send(Frame(0x63));
        EXPECT_EQ(0x63, SockRecvCode()) << "after " << Hex(c.first);
        EXPECT_EQ(0, g_worker.bAbort);
    }
}

}  // namespace
