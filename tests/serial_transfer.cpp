// The serial link over the test cable, the program on COM1 and a scripted peer on COM2: the
// handshake and keep-alive, then the worker thread's receiver, sender and read-back.
#include "connection/control.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "link_fixture.h"
#include "protocol/handshake.h"
#include "protocol/seriallink.h"
#include "protocol/transferstate.h"
#include "winshared/uistate.h"

#include <thread>

namespace {

const size_t B = 4096;      // the block of "COM1"

// The cable open at both ends; the handshake's cases run its steps on threads of their own.
struct Serial : LinkTest {
    void SetUp() override
    {
        g_wnd.hInst = GetModuleHandleA(nullptr);
        g_settings.iCommType = CT_COM1;
        g_link.hComm = OpenCommPort();
        ASSERT_NE(nullptr, g_link.hComm.load()) << "COM1 did not open";
        ASSERT_TRUE(wire.OpenSerial());
        ClearStop();
        g_worker.bAnswerMode = 0;
    }
    // What the program sent, once n bytes came or ms passed (it probes about once a second).
    std::string Read(size_t n, int ms = 2500) { return Hex(wire.Recv(n, ms)); }
};

// The ack behind a garbled frame is purged with it: the program pings again, and a peer that
// then acknowledges the ping at once is linked without XC_LINK.
TEST_F(Serial, AGarbledReplyPurgesTheLineAndThePingStartsOver)
{
    g_worker.iWorkerState = WS_CONNECT;
    std::thread worker([] { CommConnect(); });
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    wire.Send("\x50\xFF\x51\x11\x63\xFF\x63\x11");
    EXPECT_EQ("50 FF 50 11 ", Read(4));
    wire.Send(Frame(0x63));
    EXPECT_EQ("58 FF 58 11 ", Read(4));
    wire.Send(std::string(256, 'n'));
    EXPECT_EQ(260u, wire.Recv(260, 2500).size());
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
    StopTransfer(STOP_USER);
    worker.join();
    EXPECT_LT(GetTickCount() - t0, 1500u);
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState);
    EXPECT_EQ(0, g_link.szPeerName[0]);
    EXPECT_EQ("50 FF 50 11 50 FF 50 11 ", Read(8));     // about one ping a second
}

TEST_F(Serial, KeepAliveGivesUpAfterTheLimitOfMissesInARowAndOneReplyResetsThem)
{
    strcpy(g_link.szPeerName, "peer");
    g_worker.iWorkerState = WS_CONNECTED;
    std::thread worker([] { CommKeepAlive(); });
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    EXPECT_EQ("56 FF 56 11 ", Read(4));
    wire.Send(Frame(0x57));                 // answered: the count starts again
    // Then ten misses in a row end the link, and no probe follows.
    std::string rest = Read(44, 16000);
    StopTransfer(STOP_USER);
    worker.join();
    ClearStop();
    std::string tenMisses;
    for (int i = 0; i < 10; i++)
        tenMisses += "56 FF 56 11 ";
    EXPECT_EQ(tenMisses, rest);
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState);
    EXPECT_EQ(0, g_link.szPeerName[0]);
}

// The program's worker in answer mode on COM1.
struct SerialXfer : Serial {
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Serial::SetUp());
        MakeDest();
        hThread = StartTransferWorker(CT_COM1, (int)B, 1);
        ASSERT_NE(nullptr, hThread);
    }
};

// A sender that breaks the order of the messages, or whose indexes were damaged, gets no reply
// that reads as success for anything not done; each case is followed by a normal batch of
// sizes around the block, which must arrive whole (a file of a whole number of blocks ends
// with an empty block on this link). A serial reply names no block, so a block that is not stored is refused
// whatever its CRC: acknowledged, the sender would go on past it. Refused are a bad CRC, a
// block out of step (its index damaged: the line is purged), and a repeat of the last block
// stored that does not carry its bytes; a repeat that does is acknowledged again. A close
// before the last block deletes the file and is answered with the abort, as is its repeat.
TEST_F(SerialXfer, MessagesOutOfOrderOrDamagedGetNoFalseSuccessAndTheNextBatchArrivesWhole)
{
    std::string a = Pattern(3 * B + 7, 87), a1 = a.substr(B, B);
    std::string list = ListMsg({Record("a.bin", (uint32_t)a.size()), Record("b.bin", 2 * B)});
    std::string ok = Frame(0x52), good = Frame(0x54), bad = Frame(0x55), abort = Frame(0x64);
    const Steps opened = {{list, ok}, {OpenMsg(0), ok}, {BlockOf(a, 0, B), good}};
    auto then = [&](const Steps& more) {
        Steps steps = opened;
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    const struct { const char* what; Steps steps; std::vector<std::string> kept; } cases[] = {
        {"a block with no file open", {{list, ok}, {BlockOf(a, 0, B), bad}}, {}},
        {"a block with a bad CRC", {{list, ok}, {OpenMsg(0), ok}, {BlockMsgCrc(0, Crc(a1), a.substr(0, B)), bad}}, {}},
        // A garbled frame is purged; the line then works again.
        {"blocks out of step, or under the index before, and a garbled frame",
         then({{BlockOf(a, 3, B), bad}, {"\x61\xFF\x61\x10", ""}, {Frame(0x50), Frame(0x51)},
               {BlockMsg(0, a1), bad}, {BlockMsg(2, a1), bad}, {BlockOf(a, 1, B), good},
               {BlockOf(a, 2, B), good}, {BlockOf(a, 3, B), good}, {BlockOf(a, 3, B), good},
               {Frame(0x60), ok}}), {"a.bin"}},
        {"the last block again once its file is closed",
         then({{BlockOf(a, 1, B), good}, {BlockOf(a, 2, B), good}, {BlockOf(a, 3, B), good},
               {Frame(0x60), ok}, {BlockOf(a, 3, B), bad}}), {"a.bin"}},
        {"a close before the last block, repeated", then({{Frame(0x60), abort}, {Frame(0x60), abort}}), {}},
        {"an open of the open file", {{list, ok}, {OpenMsg(0), ok}, {OpenMsg(0), ""}}, {}},
        {"an open while another file is open, then blocks of the file before",
         then({{OpenMsg(1), ok}, {BlockOf(a, 1, B), bad}, {Frame(0x60), abort}}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AskEach(c.steps);
        EXPECT_EQ("", Hex(wire.Drain(100)));
        ClearStop();            // as the status dialog leaves it
        EXPECT_EQ(Hex(Frame(0x63)), Ask(Frame(0x62), 4));     // the link of a new sender
        EXPECT_EQ(Hex(ok), Ask(ListMsg({}), 4));    // a new list ends the file open, if any
        EXPECT_EQ(WS_RECEIVING, g_worker.iWorkerState);
        EXPECT_EQ(c.kept, FolderNames(dest));
        ExpectWholeBatch(true, B, "f");
        EXPECT_TRUE(WaitFor([] { return g_worker.iWorkerState == WS_IDLE; }, 2000));
    }
}

// The serial sender against a receiver that refuses a good block once: the reply is the bare
// frame, so the repeat follows within the block's pause, and the file counts as sent. A file of
// a whole number of blocks ends with an empty block. A close answered with the abort (the
// receiver did not keep the file) does not count the file, and stops the send.
TEST_F(SerialXfer, SenderRepeatsARefusedBlockAndCountsOnlyFilesTheReceiverKept)
{
    std::string d = Pattern(2 * B + 3, 70), m = Pattern(B, 71);
    SendFiles({{"s.bin", d}, {"m.bin", m}, {"n.bin", "n"}});
    Expect(ListMsg(recs), "list");
    wire.Send(Frame(0x52));
    Expect(OpenMsg(0), "open");
    wire.Send(Frame(0x52));
    Expect(BlockOf(d, 0, B), "block 0");
    wire.Send(Frame(0x55));
    DWORD t0 = GetTickCount();
    Expect(BlockOf(d, 0, B), "the refused block again");
    EXPECT_LT(GetTickCount() - t0, 300u);
    for (size_t k = 1; k < 3; k++) {
        wire.Send(Frame(0x54));
        Expect(BlockOf(d, k, B), "the next block");
    }
    wire.Send(Frame(0x54));
    Expect(Frame(0x60), "close");
    wire.Send(Frame(0x52));
    Expect(OpenMsg(1), "open");
    wire.Send(Frame(0x52));
    Expect(BlockOf(m, 0, B), "block 0");
    wire.Send(Frame(0x54));
    Expect(BlockMsg(1, ""), "the empty block");
    wire.Send(Frame(0x54));
    Expect(Frame(0x60), "close");
    wire.Send(Frame(0x64));
    Expect(Frame(0x64), "abort notice");
    wire.Send(Frame(0x63));
    ASSERT_TRUE(SendDone(5000));
    EXPECT_EQ(1, g_xfer.nFilesOk);
    EXPECT_EQ(1, g_xfer.abFileSent[0]);
    EXPECT_EQ(0, g_xfer.abFileSent[1]);
    EXPECT_EQ(1, g_xfer.iXferFile);
    EXPECT_EQ(d.size() + m.size(), g_xfer.dwXferDone.load());
}

TEST_F(SerialXfer, AskedFirstABatchIsTakenOnlyWhenTheUserAccepts)
{
    strcpy(g_link.szPeerName, "Handheld");
    ExpectAskedBeforeTaking(true, B, "Handheld", [] {});
}

// Read-back serves the files of the last list that was taken, only while the user lets the
// other device read files: with the setting off a request gets no reply, and a damaged list
// is forgotten, so that its records name nothing to read, not even a file an earlier list
// named. An accepted list then reads back byte for byte.
TEST_F(SerialXfer, ReadBackOnlyWhereAllowedNeverFromADamagedListAndByteExact)
{
    std::string src = root.File("src.bin"), d = Pattern(B + 904, 60);
    WriteWholeFile(src, d);
    std::string srcRec = Record(src, (uint32_t)d.size());
    g_settings.bAllowReadBack = 0;
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({srcRec}), 4));
    EXPECT_EQ("", Ask(Frame(0x5D) + std::string(1, '\0'), 1, 1500));
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(0), 1, 1500));
    g_settings.bAllowReadBack = 1;
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(0), 1, 1500)) << "nothing was opened";
    EXPECT_EQ(Hex(Frame(0x53)), Ask(ListMsgRaw(1, Crc(srcRec) ^ 1, srcRec), 4));
    EXPECT_EQ("", Ask(Frame(0x5D) + std::string(1, '\0'), 1, 1500));
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(0), 1, 1500));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({srcRec, Record(root.File("none.bin"), 3)}), 4));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x5D) + std::string(1, '\0'), 4));
    std::string b0 = d.substr(0, B), b1 = d.substr(B);
    EXPECT_EQ(Hex(Le32(Crc(b0)) + b0), Ask(Frame(0x5B) + Le32(0), 4 + B));
    EXPECT_EQ(Hex(Le32(Crc(b0)) + b0), Ask(Frame(0x5B) + Le32(0), 4 + B));   // again
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(2), 1, 1500));   // not current or next
    EXPECT_EQ(Hex(Le32(Crc(b1)) + b1), Ask(Frame(0x5B) + Le32(1), 4 + 904));
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(2), 1, 1500));     // past the end
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x5E), 4));
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(0), 1, 1500));     // nothing open
    EXPECT_EQ(Hex(Frame(0x67)), Ask(Frame(0x5D) + std::string(1, '\1'), 4));
    EXPECT_EQ("", Ask(Frame(0x5D) + std::string(1, '\7'), 1, 1500));
}

// A drive that fills up under a received file, and a read-back file cut short under its
// view, fault on the mapped pages; neither crashes the worker. The block that finds no room
// is answered with the abort and its file deleted; a block past the new end of the
// read-back file is not answered.
TEST_F(SerialXfer, DriveFullOrFileCutShortUnderTheViewIsNoCrash)
{
    SmallDrive drive(1);
    if (!drive.Ok())
        SKIP_CASE("a 1 MiB tmpfs cannot be mounted and mapped here");
    strcpy(g_settings.szDestDir, "T:\\");
    std::string d = Pattern(4 * B, 56);
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("full.bin", (uint32_t)d.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54)), Ask(BlockMsg(0, d.substr(0, B)), 4));
    RunHostCommand("dd if=/dev/zero of=" + drive.HostDir() + "/filler bs=4k 2>/dev/null");
    ASSERT_TRUE(WaitFor([&] { return drive.FreeBytes() < B; }, 10000));
    EXPECT_EQ(Hex(Frame(0x64)), Ask(BlockMsg(1, d.substr(B, B)), 4));
    EXPECT_FALSE(FileExists("T:\\full.bin"));
    ClearStop();             // as the status dialog leaves it
    strcpy(g_settings.szDestDir, dest.c_str());

    RunHostCommand("rm " + drive.HostDir() + "/filler");
    ASSERT_TRUE(WaitFor([&] { return drive.FreeBytes() > 2 * B; }, 5000));
    WriteWholeFile("T:\\src.bin", d);
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("T:\\src.bin", (uint32_t)d.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x5D) + std::string(1, '\0'), 4));
    EXPECT_EQ(Hex(Le32(Crc(d.substr(0, B))) + d.substr(0, B)), Ask(Frame(0x5B) + Le32(0), 4 + B));
    RunHostCommand("truncate -s " + std::to_string(B / 2) + " " + drive.HostDir() + "/src.bin");
    WIN32_FILE_ATTRIBUTE_DATA fad;
    ASSERT_TRUE(WaitFor([&] {
        return GetFileAttributesExA("T:\\src.bin", GetFileExInfoStandard, &fad) &&
               fad.nFileSizeLow == B / 2;
    }, 5000));
    EXPECT_EQ("", Ask(Frame(0x5B) + Le32(1), 1, 1500));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x5E), 4));
    EXPECT_EQ(Hex(Frame(0x51)), Ask(Frame(0x50), 4));
}

// A quit that comes while the worker serves the batch's last close is not undone by the
// batch's end: the worker stops once it leaves answer mode.
TEST_F(SerialXfer, QuitDuringTheLastCloseStillEndsTheWorker)
{
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("q.txt", 1)}), 4));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54)), Ask(BlockMsg(0, "q"), 4));
    g_worker.iWorkerState = WS_QUIT;
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x60), 4));
    g_worker.bAnswerMode = 0;
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hThread, 2000));
}

}  // namespace
