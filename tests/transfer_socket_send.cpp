// The socket sender on the worker thread against a scripted receiver on a loopback socket:
// every byte it sends, its answers to refusals, wrong acknowledgements and aborts; and the
// connect that comes before, cancelled just as it stood or with nobody listening.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "peer_wire.h"
#include "testenv.h"

#include <cstring>

namespace {

const size_t B = 32768;

struct SockSender : ::testing::Test {
    ScratchDir root;
    HANDLE hThread = nullptr;
    PeerWire wire;
    std::vector<std::string> recs;

    // The program's worker outside answer mode on a link that stands, the test at its far end.
    void SetUp() override
    {
        EnsureWinsock();
        SOCKET a, b;
        ASSERT_TRUE(LoopbackPair(&a, &b));
        PrepareDataSocket(a);
        g_state.hDataSock = a;
        wire.AttachSocket(b);
        g_state.hListenSock = INVALID_SOCKET;
        hThread = StartTransferWorker(CT_LAN, (int)B, 0);
        ASSERT_NE(nullptr, hThread);
    }
    void TearDown() override { EXPECT_TRUE(StopTransferWorker(hThread)); }
    // Source files written to the scratch folder (or to a full path given instead of a
    // name), entered in the batch table, and the send started.
    void Send(const std::vector<std::pair<std::string, std::string>>& files)
    {
        SessionState& s = g_state;
        for (size_t i = 0; i < files.size(); i++) {
            const std::string& name = files[i].first;
            std::string path = name.find(':') != std::string::npos ? name : root.File(name);
            WriteWholeFile(path, files[i].second);
            recs.push_back(Record(path, (uint32_t)files[i].second.size()));
            memcpy((char*)s.pXferFiles.load() + 256 * i, recs.back().data(), 256);
        }
        s.nXferFiles = (int32_t)files.size();
        s.iSendResult = 0;
        s.iUnreadableFile = -1;
        s.iWorkerState = WS_SEND;
    }
    bool Done(int ms = 10000) { return WaitFor([] { return g_state.bAnswerMode == 1; }, ms); }
    void Expect(const std::string& want, const char* what, int ms = 4000)
    {
        EXPECT_EQ(Hex(want), Hex(wire.Recv(want.size(), ms))) << what;
    }
};

// The hello file, then sizes around the block named with a byte above 127, every byte
// checked; a refused list, an open answered with the serial reply, a block acknowledged
// under another index or as bad, are each sent again.
TEST_F(SockSender, HelloAndSizesAroundTheBlockGoOutByteForByteAndRepeatOnBadReplies)
{
    std::vector<std::pair<std::string, std::string>> files = {{"hello.txt", "hello"}};
    for (size_t size : {(size_t)0, (size_t)1, B - 1, B, B + 1, 2 * 1024 * 1024 + (size_t)3})
        files.push_back({"caf\xE9" + std::to_string(size), Pattern(size, 20 + (uint32_t)size)});
    Send(files);
    Expect(ListMsg(recs), "list");
    wire.Send(Frame(0x53));     // refused once: the list comes again
    Expect(ListMsg(recs), "list again");
    wire.Send(Frame(0x52));
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(files[i].first);
        const std::string& d = files[i].second;
        Expect(OpenMsg((uint8_t)i), "open");
        if (i == 2) {
            wire.Send(Frame(0x52));     // not the socket's answer: asked again
            Expect(OpenMsg((uint8_t)i), "open again");
        }
        wire.Send(Frame(0x63));
        for (size_t k = 0; k < BlockCount(d.size(), B, false); k++) {
            std::string blk = BlockMsg((int32_t)k, d.substr(k * B, BlockLen(k, d.size(), B)));
            Expect(blk, "block", 8000);
            if (k == 0 && i == 5) {
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
    EXPECT_EQ("", Hex(wire.Drain(200)));
    EXPECT_EQ(7, g_state.nFilesOk);
    EXPECT_EQ(0, g_state.iSendResult);
    // The progress: past the last file, every byte counted once though blocks went again.
    size_t total = 0;
    for (const auto& f : files)
        total += f.second.size();
    EXPECT_EQ(7, g_state.iXferFile);
    EXPECT_EQ(total, g_state.dwXferDone.load());
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
        SKIP_CASE("a 1 MiB tmpfs cannot be mounted and mapped here");
    std::string d = Pattern(3 * B, 31);
    Send({{"T:\\cut.bin", d}});
    Expect(ListMsg(recs), "list");
    wire.Send(Frame(0x52));
    Expect(OpenMsg(0), "open");
    wire.Send(Frame(0x63));
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
