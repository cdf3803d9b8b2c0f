// The socket sender on the worker thread against a scripted receiver on a loopback socket:
// every byte it sends, its answers to refusals, wrong acknowledgements and aborts.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "connection/worker.h"
#include "peer_wire.h"
#include "testenv.h"

#include <cstring>

namespace {

const size_t B = 32768;

struct SockSender : ::testing::Test {
    ScratchDir root;
    HANDLE hThread = nullptr;
    SOCKET hListen = INVALID_SOCKET;
    PeerWire wire;
    std::vector<std::string> recs;

    void SetUp() override
    {
        EnsureWinsock();
        SessionState& s = g_state;
        s.iCommType = CT_LAN;
        s.cbBlock = (int32_t)B;
        s.hwndMain = nullptr;
        s.hwndXferDlg = nullptr;
        uint16_t port;
        hListen = LoopbackListener(&port);
        s.hListenSock = hListen;
        SOCKET a, b;
        ASSERT_TRUE(LoopbackPair(&a, &b));
        PrepareDataSocket(a);
        s.hDataSock = a;
        wire.AttachSocket(b);
        s.bAnswerMode = 0;
        s.bAbort = 0;
        s.iWorkerState = WS_IDLE;
        hThread = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, nullptr);
        ASSERT_TRUE(WaitFor([] { return g_state.pXferFiles.load() != nullptr; }, 3000));
    }
    void TearDown() override
    {
        EXPECT_TRUE(StopTransferWorker(hThread));
        SessionState& s = g_state;
        wire.Close();
        SOCKET h = s.hDataSock.exchange(INVALID_SOCKET);
        if (h != INVALID_SOCKET)
            closesocket(h);
        closesocket(hListen);
        s.bAbort = 0;
    }
    // Source files written to the scratch folder (or to a full path given instead of a
    // name) and entered in the batch table.
    void Batch(const std::vector<std::pair<std::string, std::string>>& files)
    {
        SessionState& s = g_state;
        recs.clear();
        for (size_t i = 0; i < files.size(); i++) {
            const std::string& name = files[i].first;
            std::string path = name.find(':') != std::string::npos ? name : root.File(name);
            WriteWholeFile(path, files[i].second);
            recs.push_back(Record(path, (uint32_t)files[i].second.size()));
            memcpy((char*)s.pXferFiles.load() + 256 * i, recs.back().data(), 256);
        }
        s.nXferFiles = (int32_t)files.size();
        s.nFilesOk = 0;
        s.iSendResult = 0;
        s.iUnreadableFile = -1;
    }
    void Start() { g_state.iWorkerState = WS_SEND; }
    bool Done(int ms = 10000) { return WaitFor([] { return g_state.bAnswerMode == 1; }, ms); }
    void Expect(const std::string& want, const char* what, int ms = 4000)
    {
        EXPECT_EQ(Hex(want), Hex(wire.Recv(want.size(), ms))) << what;
    }
    std::string ListOf() const { return ListMsg(recs); }
    // Starts the send, takes its list and opens its first file.
    void StartAndOpen()
    {
        Start();
        Expect(ListOf(), "list");
        wire.Send(Frame(0x52));
        Expect(OpenMsg(0), "open");
        wire.Send(Frame(0x63));
    }
};

TEST_F(SockSender, HelloBatchGoesOutByteForByte)
{
    Batch({{"hello.txt", "hello"}});
    Start();
    Expect(ListOf(), "list");
    wire.Send(Frame(0x52));
    Expect(OpenMsg(0), "open");
    wire.Send(Frame(0x63));
    Expect(BlockMsg(0, "hello"), "block");
    wire.Send(Frame(0x54) + Le32(0));
    Expect(Frame(0x60), "close");
    wire.Send(Frame(0x52));
    ASSERT_TRUE(Done());
    EXPECT_EQ("", Hex(wire.Drain(200)));
    EXPECT_EQ(1, g_state.nFilesOk);
    EXPECT_EQ(1, g_state.iXferFile);
    EXPECT_EQ(0, g_state.iSendResult);
    EXPECT_EQ(5u, g_state.dwXferDone.load());
}

TEST_F(SockSender, SizesAroundTheBlockAndRepeatsOnBadOrWrongAcknowledgements)
{
    const size_t sizes[] = {0, 1, B - 1, B, B + 1, 2 * 1024 * 1024 + 3};
    std::vector<std::pair<std::string, std::string>> files;
    for (size_t i = 0; i < 6; i++)
        files.push_back({"s" + std::to_string(i), Pattern(sizes[i], 20 + (uint32_t)i)});
    Batch(files);
    Start();
    Expect(ListOf(), "list");
    wire.Send(Frame(0x53));     // refused once: the list comes again
    Expect(ListOf(), "list again");
    wire.Send(Frame(0x52));
    for (size_t i = 0; i < 6; i++) {
        SCOPED_TRACE(i);
        const std::string& d = files[i].second;
        Expect(OpenMsg((uint8_t)i), "open");
        if (i == 1) {
            wire.Send(Frame(0x52));     // not the socket's answer: asked again
            Expect(OpenMsg((uint8_t)i), "open again");
        }
        wire.Send(Frame(0x63));
        size_t n = SocketBlocks(d.size(), B);
        for (size_t k = 0; k < n; k++) {
            std::string blk = BlockMsg((int32_t)k, d.substr(k * B, BlockLen(k, d.size(), B)));
            Expect(blk, "block", 8000);
            if (k == 0 && i == 4) {
                wire.Send(Frame(0x54) + Le32(7));   // another index: not taken
                Expect(blk, "block after a wrong index");
                wire.Send(Frame(0x55) + Le32(0));
                Expect(blk, "block after bad");
            }
            wire.Send(Frame(0x54) + Le32((uint32_t)k));
        }
        Expect(Frame(0x60), "close");
        wire.Send(Frame(0x52));
    }
    ASSERT_TRUE(Done());
    EXPECT_EQ(6, g_state.nFilesOk);
    EXPECT_EQ(0, g_state.iSendResult);
}

// Another program cuts the source short while its blocks are going out; reading the mapped
// view past the new end faults. The send stops as for an unreadable source: the block that
// lies partly past the end, whose missing bytes would read as zeros or not at all, is not
// sent, only the abort notice. (Block 1, whole either side of the cut, is made ready while
// block 0's reply travels.)
TEST_F(SockSender, SourceCutShortWhileSendingStopsTheSendWithoutItsBytes)
{
    SmallDrive drive(1);
    if (!drive.Ok())
        GTEST_SKIP() << "a 1 MiB tmpfs cannot be mounted and mapped here";
    std::string d = Pattern(3 * B, 31);
    Batch({{"T:\\cut.bin", d}});
    StartAndOpen();
    Expect(BlockMsg(0, d.substr(0, B)), "block");
    RunHostCommand("truncate -s " + std::to_string(2 * B + 100) + " " + drive.HostDir() + "/cut.bin");
    WIN32_FILE_ATTRIBUTE_DATA fad;
    ASSERT_TRUE(WaitFor([&] {
        return GetFileAttributesExA("T:\\cut.bin", GetFileExInfoStandard, &fad) &&
               fad.nFileSizeLow == 2 * B + 100;
    }, 5000));
    wire.Send(Frame(0x54) + Le32(0));
    Expect(BlockMsg(1, d.substr(B, B)), "block 1");
    wire.Send(Frame(0x54) + Le32(1));
    Expect(Frame(0x64), "notice");
    wire.Send(Frame(0x63));
    ASSERT_TRUE(Done());
    EXPECT_EQ(0, g_state.iUnreadableFile);
    EXPECT_EQ(0, g_state.nFilesOk);
    EXPECT_EQ("", Hex(wire.Drain(200)));
}

}  // namespace
