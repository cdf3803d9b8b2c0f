// The link's pieces: the transfer CRC against its bitwise definition, path records and the
// block arithmetic near 4 GiB (the exchanges on both links prove the rest of the packets); the
// byte pipe on a real loopback TCP connection, with the test as the peer: the read-ahead, a
// closed and a reset peer, and code frames (the receiver's tests time the silence out).
// Then the socket link's worker against a scripted peer on a loopback socket. The receiver:
// exact replies, file sizes around the block, a file far larger than the transfer window,
// refusals, damage, hostile names and failing drives. The sender: every byte it sends, its answers to refusals, wrong acknowledgements and
// aborts; and the connect that comes before, cancelled just as it stood or with nobody listening.
#include "base/paths.h"
#include "connection/sockets.h"
#include "connection/sockpipe.h"
#include "link_fixture.h"
#include "protocol/packets.h"
#include "protocol/partfile.h"
#include "protocol/recvfile.h"
#include "protocol/recvresult.h"
#include "protocol/transferstate.h"
#include "protocol/xferlink.h"

#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "winshared/uistate.h"

using namespace std::string_literals;

namespace {

const size_t B = 32768;     // the block of "LAN"

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

// A record's path: whole when it fits, else its last whole folders and the name, the longest
// such tail that fits; a name that alone is too long is refused. Nothing overruns the field,
// and a file name longer than the 128-byte name keeps its end.
TEST(Records, APathTooLongKeepsItsLastFoldersAndItsNameAndNothingOverrunsAField)
{
    auto recorded = [](const std::string& path, int* pbFits) {
        XFERFILE rec;
        *pbFits = XferPathFromNarrow(&rec, path.c_str());
        EXPECT_EQ(0, rec.wszPath[XFER_PATH_UNITS - 1]) << path;
        std::string s;
        for (int i = 0; i < XFER_PATH_UNITS && rec.wszPath[i]; i++)
            s += (char)rec.wszPath[i];
        return s;
    };
    int bFits;
    std::string fits = "C:\\" + std::string(116, 'f') + "\\a.txt";     // 125 characters
    EXPECT_EQ(fits, recorded(fits, &bFits));
    EXPECT_EQ(1, bFits);
    std::string tail = std::string(60, 'c') + "\\" + std::string(50, 'd') + "\\report.doc";
    EXPECT_EQ(tail, recorded("C:\\" + std::string(70, 'a') + "\\" + tail, &bFits));
    EXPECT_EQ(1, bFits);
    std::string name(125, 'n');
    EXPECT_EQ(name, recorded("C:\\" + std::string(90, 'a') + "\\" + name, &bFits));
    EXPECT_EQ(1, bFits);
    recorded("C:\\x\\" + name + "n", &bFits);
    EXPECT_EQ(0, bFits);
    char szName[128];
    PathFileName(("C:\\" + std::string(100, 'a') + std::string(100, 'b')).c_str(), szName);
    EXPECT_EQ(std::string(27, 'a') + std::string(100, 'b'), szName);
}

// Near 4 GiB, where a sum in 32 bits wraps; at a whole number of blocks, where the serial
// link's file ends with an empty block and the socket link's does not.
TEST(Blocks, SizesNear4GiBDoNotOverflow)
{
    EXPECT_EQ(1048575, BlockCount(0xFFFFF000u, 4096, 0));
    EXPECT_EQ(1048576, BlockCount(0xFFFFF000u, 4096, 1));
    EXPECT_EQ(4095, BlockLength(1048575, 0xFFFFFFFFu, 4096));
}

// The program's data socket at one end of a loopback connection, the test's wire at the other.
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
        ClearStop();
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
    StopTransfer(STOP_USER);
    EXPECT_EQ(3, SockRecvWaiting(ab, 3));
    EXPECT_EQ(0, memcmp(ab, "cde", 3));
    ClearStop();
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
        EXPECT_EQ(STOP_LINK_LOST, TransferStopReason());
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
        EXPECT_EQ(STOP_NONE, TransferStopReason());
    }
}

struct SockReceiver : LinkTest {
    SOCKET hListen = INVALID_SOCKET;
    uint16_t port = 0;

    // The program's worker in answer mode on its listener, and the test connected to it.
    void SetUp() override
    {
        EnsureWinsock();
        MakeDest();
        strcpy(g_settings.szOwnerName, "Receiver");
        g_link.hDataSock = INVALID_SOCKET;
        g_link.hListenSock = hListen = LoopbackListener(&port);
        hThread = StartTransferWorker(CT_LAN, (int)B, 1);
        ASSERT_NE(nullptr, hThread);
        Connect();
    }
    void TearDown() override
    {
        LinkTest::TearDown();
        closesocket(hListen);
    }
    // A new connection, as a new sender would make it; the old one is closed as a sender
    // that gives up closes it.
    void Connect()
    {
        if (wire.Socket() != INVALID_SOCKET) {
            wire.Send(Frame(0x64));     // ends an exchange still going on
            wire.Drain(100);
        }
        wire.Close();
        SOCKET hOld = g_link.hDataSock.exchange(INVALID_SOCKET);
        if (hOld != INVALID_SOCKET)
            closesocket(hOld);
        ASSERT_TRUE(WaitFor([] { return g_worker.iWorkerState == WS_IDLE; }, 5000));
        wire.AttachSocket(ConnectTcp(port));
        ASSERT_TRUE(WaitFor([] {
            return g_worker.iWorkerState == WS_CONNECTED && g_link.hDataSock != INVALID_SOCKET;
        }, 3000));
    }
};

// A file far larger than the transfer window: the program's sender, in a child copy of this
// test program, sends a sparse file to the receiver here (512 MiB in the suite; with
// TALMOX_SCALE_FULL=1 the 3 GiB that the 32-bit program could not map at once; the odd tail
// leaves a short last block). It arrives byte-identical, and neither side's working set grows
// with the file: the peaks are measured from before the send, which comes before any other
// case of the receiver here has raised this program's.
const uint64_t MAX_GROWTH = 64ull << 20;
const char* const SCALE_SENDER = "TALMOX_SCALE_SENDER";    // "port size path", for the child

uint64_t PeakWorkingSet()
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc);
    return pmc.PeakWorkingSetSize;
}

// A sparse file, zero but for patterns at irregular offsets, across window edges, around
// 2 GiB and at the very end, so that a block read or written at another offset shows.
void WriteSparseSource(const std::string& path, uint32_t dwSize)
{
    MakeSparseFile(path, dwSize);
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    std::vector<uint64_t> offsets = {0, (4u << 20) - 3, (2ull << 30) - 500, dwSize - 7ull};
    for (uint64_t off = 1; off < dwSize; off += (64u << 20) + 4099)
        offsets.push_back(off);
    for (size_t i = 0; i < offsets.size(); i++) {
        if (offsets[i] >= dwSize)
            continue;
        std::string data = Pattern(1000, 40 + (uint32_t)i).substr(0, (size_t)(dwSize - offsets[i]));
        LARGE_INTEGER pos;
        pos.QuadPart = (LONGLONG)offsets[i];
        DWORD cb = 0;
        SetFilePointerEx(h, pos, nullptr, FILE_BEGIN);
        WriteFile(h, data.data(), (DWORD)data.size(), &cb, nullptr);
    }
    CloseHandle(h);
}

// True when both files hold the same bytes, compared 4 MiB at a time.
bool SameBytes(const std::string& pathA, const std::string& pathB)
{
    HANDLE a = CreateFileA(pathA.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    HANDLE b = CreateFileA(pathB.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<char> bufA(4u << 20), bufB(4u << 20);
    bool bSame = a != INVALID_HANDLE_VALUE && b != INVALID_HANDLE_VALUE;
    for (DWORD cbA = 1, cbB = 0; bSame && cbA > 0;) {
        bSame = ReadFile(a, bufA.data(), (DWORD)bufA.size(), &cbA, nullptr) &&
                ReadFile(b, bufB.data(), (DWORD)bufB.size(), &cbB, nullptr) && cbA == cbB &&
                memcmp(bufA.data(), bufB.data(), cbA) == 0;
    }
    CloseHandle(a);
    CloseHandle(b);
    return bSame;
}

// Only in the child: sends the file its parent named and checks its own working set.
TEST(ScaleChild, SendsTheFileItsParentNames)
{
    const char* pszArgs = getenv(SCALE_SENDER);
    if (!pszArgs)
        GTEST_SKIP() << "run by SockReceiver.AFileFarLargerThanTheWindow... in a child process";
    unsigned port = 0, dwSize = 0;
    char szPath[MAX_PATH] = "";
    ASSERT_EQ(3, sscanf(pszArgs, "%u %u %259[^\n]", &port, &dwSize, szPath));
    EnsureWinsock();
    g_link.hListenSock = INVALID_SOCKET;
    HANDLE hThread = StartTransferWorker(CT_LAN, (int)B, 0);
    SOCKET hSock = ConnectTcp((uint16_t)port);
    ASSERT_NE(INVALID_SOCKET, hSock);
    PrepareDataSocket(hSock);
    g_link.hDataSock = hSock;
    std::string rec = Record(szPath, dwSize);
    memcpy(g_xfer.pXferFiles.load(), rec.data(), 256);
    g_xfer.nXferFiles = 1;
    g_xfer.iUnreadableFile = -1;
    uint64_t qwPeakBefore = PeakWorkingSet();
    StartSend();
    EXPECT_TRUE(WaitFor([] { return g_worker.bAnswerMode == 1; }, 900000));
    uint64_t qwGrowth = PeakWorkingSet() - qwPeakBefore;
    printf("sender: peak working set grew %.1f MiB\n", qwGrowth / 1048576.0);
    EXPECT_EQ(1, g_xfer.nFilesOk);
    EXPECT_LT(qwGrowth, MAX_GROWTH);
    EXPECT_TRUE(StopTransferWorker(hThread));
}

TEST_F(SockReceiver, AFileFarLargerThanTheWindowArrivesWholeWithBoundedWorkingSets)
{
    const char* pszFull = getenv("TALMOX_SCALE_FULL");
    uint32_t dwSize = (pszFull && *pszFull == '1' ? 3u << 30 : 512u << 20) + 12345;
    std::string path = root.File("big.bin");
    WriteSparseSource(path, dwSize);
    wire.Close();       // the worker goes back to accepting: the child's connection is next
    uint64_t qwPeakBefore = PeakWorkingSet();
    DWORD t0 = GetTickCount();
    // This program again, as the sender; its output goes to ours.
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, sizeof szExe);
    std::string line = std::string("\"") + szExe + "\" --gtest_filter=ScaleChild.*";
    SetEnvironmentVariableA(SCALE_SENDER, (std::to_string(port) + " " + std::to_string(dwSize) +
                                           " " + path).c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableA(SCALE_SENDER, nullptr);
    CloseHandle(pi.hThread);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(pi.hProcess, 900000));
    double sec = (GetTickCount() - t0) / 1000.0;
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    uint64_t qwGrowth = PeakWorkingSet() - qwPeakBefore;
    printf("%.1f MB/s; receiver: peak working set grew %.1f MiB\n", dwSize / sec / 1e6,
           qwGrowth / 1048576.0);
    EXPECT_EQ(0u, dwExit) << "the sender's own checks";
    // Faster than a link that waited 10 ms for each block could be (3.3 MB/s at most).
    EXPECT_GT(dwSize / sec / 1e6, 5.0);
    EXPECT_TRUE(WaitFor([] { return g_xfer.nFilesOk == 1; }, 5000));
    EXPECT_LT(qwGrowth, MAX_GROWTH);
    EXPECT_TRUE(SameBytes(path, DestFile("big.bin")));
}

// A batch is answered byte for byte and nothing follows; its result is kept at its end, and
// the live counts of the next batch.
TEST_F(SockReceiver, ABatchIsAnsweredByteForByteAndItsResultIsKept)
{
    ASSERT_TRUE(PeerSendBatch(wire, false, B, {{"C:\\Users\\me\\hello.txt", "hello"}}));
    EXPECT_EQ("", Hex(wire.Drain(200)));
    EXPECT_EQ("hello", FileContents(DestFile("hello.txt")));
    EXPECT_EQ(5u, g_xfer.dwXferTotal.load());
    EXPECT_EQ(STOP_NONE, TransferStopReason());
    // The next batch's list may come before the receive command has shown this one's result:
    // the result kept at its end stays as it was.
    Connect();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("a.txt", 1), Record("b.txt", 1)}), 4));
    ReceivedBatch kept, live;
    ReceivedBatchResult(g_xfer.dwRecvBatch - 1, &kept);
    EXPECT_EQ(1, kept.nOk);
    EXPECT_EQ(1, kept.nFiles);
    EXPECT_STREQ("127.0.0.1", kept.szFrom) << "who sent it, by its address";
    ReceivedBatchResult(g_xfer.dwRecvBatch, &live);     // not over: its live counts
    EXPECT_EQ(0, live.nOk);
    EXPECT_EQ(2, live.nFiles);
}

TEST_F(SockReceiver, AskedFirstABatchIsTakenOnlyWhenTheUserAccepts)
{
    ExpectAskedBeforeTaking(false, B, "127.0.0.1", [this] { Connect(); });
}

// A connected peer that begins nothing is dropped once the idle time is up, and the peer
// waiting behind it is taken at once; garbage begins nothing either. A peer with a batch under
// way keeps the line however long it pauses (the status dialog has Cancel).
TEST_F(SockReceiver, APeerThatBeginsNothingIsDroppedAndTheNextIsTakenAtOnce)
{
    g_recvTimeouts.msPeerIdle = 1000;
    for (const std::string& sent : {""s, "GARBAGE!"s + std::string(300, '\x50')}) {
        SCOPED_TRACE(sent.empty() ? "silent" : "garbage");
        Connect();
        wire.Send(sent);
        PeerWire next;
        next.AttachSocket(ConnectTcp(port));
        DWORD t0 = GetTickCount();
        next.Send(Frame(0x50));
        EXPECT_EQ(Hex(Frame(0x51)), Hex(next.Recv(4, 6000))) << "the peer behind it was not taken";
        DWORD ms = GetTickCount() - t0;
        EXPECT_GE(ms, 900u);
        EXPECT_LE(ms, 4500u);
        EXPECT_EQ("", wire.Recv(1, 500)) << "the dropped peer's connection is closed";
        next.Close();
    }
    Connect();
    std::string d = Pattern(B + 10, 31);
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("slow.bin", (uint32_t)d.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x63)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockOf(d, 0, B), 8));
    Sleep(3500);
    EXPECT_EQ(Hex(Frame(0x54) + Le32(1)), Ask(BlockOf(d, 1, B), 8));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x60), 4));
    EXPECT_TRUE(FileContents(DestFile("slow.bin")) == d);
}

// This process's open handles, threads and memory. Wine gives no handle count nor private
// bytes (both read 0), so where it runs them the host's own view of the process is read
// through drive Z: its open descriptors, which include every socket the process has used,
// and its virtual size.
struct ProcessCounts {
    DWORD nHandles = 0, nThreads = 0;
    uint64_t cbMemory = 0;
    static ProcessCounts Now()
    {
        ProcessCounts c;
        GetProcessHandleCount(GetCurrentProcess(), &c.nHandles);
        if (c.nHandles == 0)
            c.nHandles = (DWORD)FolderNames("Z:\\proc\\self\\fd").size();
        HANDLE hSnap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
        THREADENTRY32 te = {sizeof te};
        for (BOOL b = Thread32First(hSnap, &te); b; b = Thread32Next(hSnap, &te))
            c.nThreads += te.th32OwnerProcessID == GetCurrentProcessId();
        CloseHandle(hSnap);
        PROCESS_MEMORY_COUNTERS_EX pmc = {};
        GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&pmc, sizeof pmc);
        c.cbMemory = pmc.PrivateUsage;
        if (c.cbMemory == 0) {
            // Its size reads as 0: it is read until it ends.
            std::string status;
            HANDLE h = CreateFileA("Z:\\proc\\self\\status", GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
            char ab[4096];
            DWORD n;
            while (h != INVALID_HANDLE_VALUE && ReadFile(h, ab, sizeof ab, &n, nullptr) && n)
                status.append(ab, n);
            if (h != INVALID_HANDLE_VALUE)
                CloseHandle(h);
            size_t at = status.find("VmSize:");
            if (at != std::string::npos)
                c.cbMemory = strtoull(status.c_str() + at + 7, nullptr, 10) << 10;
        }
        return c;
    }
};

// A thousand connections that close at once, some after garbage, some after a damaged list,
// some reset: the receiver goes on answering, the next real batch arrives whole, nothing of
// theirs reaches a result, and the program holds the handles, threads and memory it held.
TEST_F(SockReceiver, AStormOfConnectionsLeavesTheReceiverAnsweringAndNothingLeaked)
{
    ASSERT_TRUE(PeerSendBatch(wire, false, B, {{"before.txt", "before"}}));
    wire.Close();
    ASSERT_TRUE(WaitFor([] { return g_link.hDataSock == INVALID_SOCKET; }, 3000));
    uint32_t dwBatch = g_xfer.dwRecvBatch;
    ProcessCounts before = ProcessCounts::Now();
    std::string bad = ListMsgRaw(1, 7, Record("x.txt", 1));
    DWORD t0 = GetTickCount();
    // The listener's backlog is five, and a connect that finds it full waits a second for
    // its SYN to be sent again: the storm comes about as fast as the worker takes it.
    for (int i = 0; i < 1000; i++) {
        SOCKET s = ConnectTcp(port);
        ASSERT_NE(INVALID_SOCKET, s) << "connection " << i;
        if (i % 4 == 1)
            send(s, "\xFF\x11garbage\x50\xFF", 11, 0);
        else if (i % 4 == 2)
            send(s, bad.data(), (int)bad.size(), 0);
        else if (i % 4 == 3) {
            linger lg = {1, 0};
            setsockopt(s, SOL_SOCKET, SO_LINGER, (const char*)&lg, sizeof lg);
        }
        closesocket(s);
        Sleep(1);
    }
    printf("[ storm    ] 1000 connections in %lu ms\n", GetTickCount() - t0);
    Connect();
    ExpectWholeBatch(false, B, "after");
    ReceivedBatch result;
    ReceivedBatchResult(dwBatch, &result);
    EXPECT_EQ(6, result.nOk) << "the result kept is the real batch's";
    EXPECT_EQ(6, result.nFiles);
    EXPECT_EQ(dwBatch + 1, g_xfer.dwRecvBatch.load()) << "a damaged list begins no batch";
    ProcessCounts after = ProcessCounts::Now();
    printf("[ storm    ] handles %lu -> %lu, threads %lu -> %lu, memory %llu -> %llu KiB\n",
           before.nHandles, after.nHandles, before.nThreads, after.nThreads,
           before.cbMemory >> 10, after.cbMemory >> 10);
    ASSERT_GT(before.nHandles, 0u);
    ASSERT_GT(before.cbMemory, 0u);
    EXPECT_EQ(before.nThreads, after.nThreads);
    EXPECT_LE(after.nHandles, before.nHandles + 2);
    EXPECT_LE(after.cbMemory, before.cbMemory + (4u << 20));
}

// Lists that are too long, damaged or short are refused, and so are lists that name a file or
// a folder that is there already; 99 files pass the count. With overwriting on, a folder of
// the name, or a destination deleted since the list, fails the open, which ends the exchange;
// nothing is made in place of a refused file. A destination that has gone refuses the list,
// and the user here is told.
TEST_F(SockReceiver, ListsAndFilesThatCannotBeTakenAreRefused)
{
    WriteWholeFile(DestFile("old.txt"), std::string(100000, 'o'));
    CreateDirectoryA(DestFile("taken").c_str(), nullptr);
    std::vector<std::string> many;
    for (int i = 0; i < 100; i++)
        many.push_back(Record("f" + std::to_string(i), 1));
    std::string one = Record("x.txt", 3);
    const struct { const char* what; std::string list; uint8_t reply; } lists[] = {
        {"100 files", ListMsg(many), 0x53},
        {"a damaged list", ListMsgRaw(1, Crc(one) ^ 1, one), 0x53},
        {"an existing file", ListMsg({Record("E:\\new.txt", 1), Record("E:\\a\\old.txt", 40000)}), 0x66},
        {"an existing folder", ListMsg({Record("taken", 10)}), 0x66},
    };
    for (const auto& c : lists) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(Hex(Frame(c.reply)), Ask(c.list, 4));
        EXPECT_NE(WS_RECEIVING, g_worker.iWorkerState);
    }
    // Two records announced, one sent: the list is short once the line has been quiet for
    // about two seconds, and the connection goes on without an abort.
    DWORD t0 = GetTickCount();
    EXPECT_EQ(Hex(Frame(0x53)), Ask(ListMsgRaw(2, Crc(one), one), 4, 6000));
    DWORD ms = GetTickCount() - t0;
    EXPECT_TRUE(ms >= 1800 && ms <= 3000) << ms << " ms";
    EXPECT_NE(WS_RECEIVING, g_worker.iWorkerState);
    EXPECT_EQ(STOP_NONE, TransferStopReason());
    many.pop_back();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg(many), 4));
    EXPECT_EQ(WS_RECEIVING, g_worker.iWorkerState);
    EXPECT_EQ(99, g_xfer.nXferFiles);
    EXPECT_EQ(2u, FolderNames(dest).size()) << "more than old.txt and taken";

    g_settings.bOverwrite = 1;
    // The user here is told when the folder has gone, before the list or after it.
    static std::string s_told;
    static const LinkUi s_ui = {[] {}, [](const char*) {}, [](int) {}, [] {}, [](const char*) {},
                                [](const char* pszDir) { s_told += pszDir; }};
    SetLinkUi(&s_ui);
    for (int bDeleted : {0, 1}) {
        SCOPED_TRACE(bDeleted ? "destination deleted" : "a folder of the name");
        Connect();
        EXPECT_EQ(STOP_NONE, TransferStopReason()) << "a new connection starts clear of the old abort";
        EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("taken", 10)}), 4));
        if (bDeleted)
            RemoveTree(dest);
        EXPECT_EQ(Hex(Frame(0x67) + Frame(0x64)), Ask(OpenMsg(0), 8));
        EXPECT_TRUE(WaitFor([] { return g_worker.iWorkerState == WS_IDLE; }, 2000));
        EXPECT_EQ(bDeleted ? dest : "", s_told);
    }
    Connect();
    s_told.clear();
    EXPECT_EQ(Hex(Frame(0x67)), Ask(ListMsg({Record("new.txt", 1)}), 4));
    EXPECT_EQ(dest, s_told);
    SetLinkUi(nullptr);
    EXPECT_FALSE(FileExists(dest));
    Connect();
    EXPECT_EQ(STOP_NONE, TransferStopReason());
    EXPECT_EQ(Hex(Frame(0x51)), Ask(Frame(0x50), 4));
}

// A sender that breaks the order of the messages, or whose indexes were damaged (neither the
// file index of an open nor a block's index is covered by a CRC), gets no reply that reads as
// success for anything not done, and never a kept file with bytes not sent for it; each case
// is followed by a normal batch of sizes around the block, named with a byte above 127, which
// must arrive whole. A close of a file that is not whole
// deletes it and is answered with the abort, and the batch's kept result counts only the file
// kept before it.
TEST_F(SockReceiver, MessagesOutOfOrderOrDamagedGetNoFalseSuccessAndTheNextBatchArrivesWhole)
{
    std::string a = Pattern(3 * B, 85), b = Pattern(8, 86), b1 = a.substr(B, B), b2 = a.substr(2 * B);
    std::string list = ListMsg({Record("a.bin", (uint32_t)a.size()), Record("b.bin", 8)});
    std::string ok = Frame(0x52), ack = Frame(0x63), abort = Frame(0x64), closeMsg = Frame(0x60);
    auto blockOk = [](int k) { return Frame(0x54) + Le32(k); };
    auto blockBad = [](int k) { return Frame(0x55) + Le32(k); };
    auto then = [](Steps steps, const Steps& more) {
        steps.insert(steps.end(), more.begin(), more.end());
        return steps;
    };
    const Steps opened = {{list, ok}, {OpenMsg(0), ack}, {BlockOf(a, 0, B), blockOk(0)}};
    const Steps whole = then(opened, {{BlockOf(a, 1, B), blockOk(1)}, {BlockOf(a, 2, B), blockOk(2)},
                                      {closeMsg, ok}, {OpenMsg(1), ack}});
    const struct { const char* what; Steps steps; std::vector<std::string> kept; int nOk; } cases[] = {
        {"a block with no file open", {{list, ok}, {BlockOf(a, 0, B), blockBad(0)}}, {}, -1},
        {"a block with a bad CRC",
         {{list, ok}, {OpenMsg(0), ack}, {BlockMsgCrc(0, Crc(b) ^ 1, a.substr(0, B)), blockBad(0)}}, {}, -1},
        {"an open out of order, and of the open file after its first block",
         {{list, ok}, {OpenMsg(1), ""}, {OpenMsg(0), ack}, {BlockOf(a, 0, B), blockOk(0)}, {OpenMsg(0), ""}},
         {}, -1},
        // Block 1's bytes under index 0 (not the bytes stored there) or 2; block 2 under an
        // index far outside the file, where a block's length would be 0, read as the block the
        // sender is at, so that the next message is found.
        {"blocks under other indexes, and an open of a file kept",
         then(opened, {{BlockMsg(0, b1), blockBad(0)}, {BlockMsg(2, b1), blockBad(2)},
                       {BlockMsg(1, b1), blockOk(1)}, {BlockMsgCrc(0x4002, Crc(b2), b2), blockBad(0x4002)},
                       {BlockMsg(2, b2), blockOk(2)}, {closeMsg, ok}, {OpenMsg(0), ""}}), {"a.bin"}, -1},
        {"an open while another file is open, and blocks of the file before",
         then(opened, {{OpenMsg(1), ack}, {BlockOf(a, 1, B), blockBad(1)}}), {}, -1},
        {"a block after the file's last one", then(whole, {{BlockMsg(1, b), blockBad(1)}}), {"a.bin"}, -1},
        {"the last block again once its file is closed",
         then(opened, {{BlockOf(a, 1, B), blockOk(1)}, {BlockOf(a, 2, B), blockOk(2)}, {closeMsg, ok},
                       {BlockOf(a, 2, B), blockBad(2)}}), {"a.bin"}, -1},
        // The rest of the long block makes no message, nor do bytes that follow no frame, which
        // are read through without a pause each.
        {"a block of an earlier file's length", then(whole, {{BlockOf(a, 0, B), blockBad(0)}}), {"a.bin"}, -1},
        {"bytes that make no message", {{std::string(3 * B, '\0') + Frame(0x50), Frame(0x51)}}, {}, -1},
        {"a close with no file open", {{list, ok}, {closeMsg, ""}}, {}, -1},
        {"a list in mid-file", then(opened, {{list, ok}}), {}, -1},
        {"a close kept and repeated, then a close before the last block",
         {{ListMsg({Record("b.bin", 8), Record("a.bin", (uint32_t)a.size())}), ok}, {OpenMsg(0), ack},
          {BlockMsg(0, b), blockOk(0)}, {closeMsg, ok}, {closeMsg, ok}, {OpenMsg(1), ack},
          {closeMsg, abort + abort}}, {"b.bin"}, 1},
        {"an abort", {{list, ok}, {OpenMsg(0), ack}, {abort, ack + abort}}, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Connect();
        AskEach(c.steps);
        if (c.nOk >= 0) {
            ReceivedBatch result;
            ReceivedBatchResult(g_xfer.dwRecvBatch, &result);
            EXPECT_EQ(c.nOk, result.nOk);
            EXPECT_EQ(2, result.nFiles);
        }
        Connect();
        EXPECT_EQ(c.kept, FolderNames(dest));
        Connect();
        ExpectWholeBatch(false, B, "D:\\out\\caf\xE9");
    }
}

// Files of one batch never land on one name: a second x.txt, whatever its case, is kept as
// "x (2).txt", also with overwriting on, which replaces only what was there before the batch
// (by a file of the new size).
// A file is written under a hidden part name and takes its own only once whole: one cut short
// leaves the original as it was. With overwriting off, a file that appeared after the list was
// taken keeps its name too. Part files left by a receive that never ended go at the next
// start, but not the one of a receive going on.
TEST_F(SockReceiver, FilesOfABatchNeverReplaceEachOtherNorAFileNotMeantToBe)
{
    WriteWholeFile(DestFile("x.txt"), "old x, longer than the new");
    WriteWholeFile(DestFile("keep.txt"), "keep");
    g_settings.bOverwrite = 1;
    ASSERT_TRUE(PeerSendBatch(wire, false, B, {{"C:\\a\\x.txt", "first"}, {"C:\\b\\X.TXT", "second"},
                                              {"x.txt", "third"}}));
    EXPECT_EQ(3, g_xfer.nFilesOk);
    EXPECT_EQ("first", FileContents(DestFile("x.txt")));
    EXPECT_EQ("second", FileContents(DestFile("X (2).TXT")));
    EXPECT_EQ("third", FileContents(DestFile("x (3).txt")));
    EXPECT_EQ(4u, FolderNames(dest).size());

    std::string k = Pattern(3 * B, 90);
    Connect();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("keep.txt", (uint32_t)k.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x63)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockOf(k, 0, B), 8));
    EXPECT_TRUE(FileContents(DestFile("keep.txt")) == "keep");
    std::wstring part = g_xfer.wszRecvPart, left = part + L" left";
    EXPECT_NE(0u, GetFileAttributesW(part.c_str()) & FILE_ATTRIBUTE_HIDDEN);
    // One of the same kind, as a crash leaves one.
    CloseHandle(CreateFileW(left.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    RemoveStaleReceiveFiles(dest.c_str());
    EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(part.c_str()));
    EXPECT_EQ(Hex(Frame(0x63) + Frame(0x64)), Ask(Frame(0x64), 8));
    EXPECT_TRUE(FileContents(DestFile("keep.txt")) == "keep");
    RemoveStaleReceiveFiles(dest.c_str());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(left.c_str()));
    EXPECT_EQ(4u, FolderNames(dest).size());

    g_settings.bOverwrite = 0;
    Connect();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("late.txt", 4)}), 4));
    WriteWholeFile(DestFile("late.txt"), "mine");
    EXPECT_EQ(Hex(Frame(0x63)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockMsg(0, "news"), 8));
    EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x60), 4));
    EXPECT_EQ("mine", FileContents(DestFile("late.txt")));
    EXPECT_EQ("news", FileContents(DestFile("late (2).txt")));
    EXPECT_EQ(1, g_xfer.nFilesOk);
}

// Every name that cannot be a plain file in the destination folder is refused at its open,
// nothing is created for it, and nothing appears beside the folder, with overwriting off and
// on. A name conflict is no answer: it means the name was looked up somewhere, and with
// overwriting on nothing would stop it being written there.
TEST_F(SockReceiver, HostileNamesAreRefusedAndNothingIsWrittenOutside)
{
    WriteWholeFile(root.File("outside.txt"), "keep");
    std::vector<std::string> names = {
        "..", ".", "", "C:\\", "x\\", "..\\", "a/../../outside.txt", "a/b", "C:outside.txt",
        "D:", "CON", "nul", "Com1.txt", "lpt9", "AUX.log", "prn.", "COM0", "lpt0.txt", "COM\xB9",
        "lpt\xB2.log", "Com\xB3", "CONIN$", "conout$.txt", "nul .txt", "a<b", "a>b", "a\"b", "a|b",
        "a?b", "*", "a*.txt", "tab\tname", "bell\x07", "dot.", "space ", "stream:x"};
    std::vector<std::string> recs;
    for (const std::string& name : names)
        recs.push_back(Record("C:\\src\\" + name, 10));
    recs.push_back(RecordUnits({'a', 0x0441, 'b'}, 10));    // a unit above 255
    for (int bOverwrite : {0, 1}) {
        g_settings.bOverwrite = bOverwrite;
        for (const std::string& rec : recs) {
            SCOPED_TRACE(Hex(rec.substr(0, 48)) + (bOverwrite ? "overwriting" : ""));
            Connect();
            std::string reply = Ask(ListMsg({rec}), 4);
            if (reply == Hex(Frame(0x53)))
                continue;   // refusing the whole list is safe too
            ASSERT_EQ(Hex(Frame(0x52)), reply);
            EXPECT_EQ(Hex(Frame(0x67) + Frame(0x64)), Ask(OpenMsg(0), 8));
        }
    }
    // 126 units with no terminator is a long plain name: it may be created, but only inside
    // the folder and no longer than what the record holds.
    Connect();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({RecordUnits(std::vector<uint16_t>(126, 'z'), 10)}), 4));
    std::string reply = Ask(OpenMsg(0), 4);
    if (reply == Hex(Frame(0x63))) {
        EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockMsg(0, "0123456789"), 8));
        EXPECT_EQ(Hex(Frame(0x52)), Ask(Frame(0x60), 4));
    } else
        EXPECT_EQ(Hex(Frame(0x67)), reply);
    for (const std::string& n : FolderNames(dest))
        EXPECT_EQ(std::string::npos, n.find_first_not_of('z')) << n;
    EXPECT_EQ(2u, FolderNames(root.Path()).size());
    EXPECT_EQ("keep", FileContents(root.File("outside.txt")));
}

// A cancel's clean-up on the user-interface thread takes the file being received while the
// worker may still be serving the peer. Held at the moment it has taken the file, it lets the
// worker go on: the peer opens the batch's next file, sends it whole and closes it. Only the
// file the clean-up took is deleted, and the next one is kept whole.
TEST_F(SockReceiver, CleanUpAfterACancelDeletesOnlyTheFileItTook)
{
    static std::string s_b;
    static PeerWire* s_pWire;
    s_b = Pattern(B + 5, 81);
    s_pWire = &wire;
    std::string a = Pattern(3 * B, 80);
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("a.bin", (uint32_t)a.size()),
                                                 Record("b.bin", (uint32_t)s_b.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x63)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockOf(a, 0, B), 8));
    g_pfnDiscardHook = [] {
        s_pWire->Send(OpenMsg(1));
        WaitFor([] { return g_xfer.hXferFile != nullptr; }, 500);
        s_pWire->Send(BlockOf(s_b, 0, B) + BlockOf(s_b, 1, B) + Frame(0x60));
        WaitFor([] { return g_xfer.nFilesOk == 1; }, 1000);
    };
    DiscardPartialFile();
    g_pfnDiscardHook = nullptr;
    Expect(Frame(0x63) + Frame(0x54) + Le32(0) + Frame(0x54) + Le32(1) + Frame(0x52), "b.bin");
    EXPECT_TRUE(FileContents(DestFile("b.bin")) == s_b);
    EXPECT_EQ(std::vector<std::string>{"b.bin"}, FolderNames(dest));
}

// A small drive T: made for the test: a batch bigger than its room is refused for lack of
// space; one that passed the check but finds the drive filled by another program mid-file
// faults on the mapped pages, and the receiver gives the file up instead of crashing: deleted,
// the abort notice in place of the block's reply. The next batch arrives; after the drive is
// made read-only, the next file is refused at its open. Nothing is made in place of a refused
// file and what came before is kept.
TEST_F(SockReceiver, DriveFullOrReadOnlyRefusesTheFileAndLosesNothing)
{
    SmallDrive drive(8);
    if (!drive.Ok())
        SKIP_CASE("an 8 MiB tmpfs cannot be mounted and mapped here");
    strcpy(g_settings.szDestDir, "T:\\");
    Connect();
    EXPECT_EQ(Hex(Frame(0x65)), Ask(ListMsg({Record("a", 5000000), Record("b", 5000000)}), 4));
    EXPECT_TRUE(FolderNames("T:").empty());

    std::string data = Pattern(6u << 20, 12);
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("big.bin", (uint32_t)data.size())}), 4));
    EXPECT_EQ(Hex(Frame(0x63)), Ask(OpenMsg(0), 4));
    EXPECT_EQ(Hex(Frame(0x54) + Le32(0)), Ask(BlockMsg(0, data.substr(0, B)), 8));
    RunHostCommand("dd if=/dev/zero of=" + drive.HostDir() + "/filler bs=64k 2>/dev/null");
    ASSERT_TRUE(WaitFor([&] { return drive.FreeBytes() < B; }, 10000));
    // The block may be acknowledged before its bytes are stored; the abort notice follows.
    wire.Send(BlockMsg(1, data.substr(B, B)));
    std::string reply = wire.Recv(4) + wire.Drain(300);
    EXPECT_NE(std::string::npos, reply.find(Frame(0x64))) << Hex(reply);
    EXPECT_TRUE(WaitFor([] { return g_worker.iWorkerState == WS_IDLE; }, 3000));
    EXPECT_FALSE(FileExists("T:\\big.bin"));
    EXPECT_EQ(nullptr, g_xfer.hXferFile.load());

    RunHostCommand("rm " + drive.HostDir() + "/filler");
    ASSERT_TRUE(WaitFor([&] { return drive.FreeBytes() > (4u << 20); }, 5000));
    Connect();
    EXPECT_EQ(STOP_NONE, TransferStopReason()) << "a new connection starts clear of the old abort";
    ASSERT_TRUE(PeerSendBatch(wire, false, B, {{"kept.txt", "kept"}}));
    // The remount runs after its start returns and fails while any file on the drive is open
    // for writing, so the probe for it makes a folder, never a file.
    RunHostCommand("mount -o remount,ro " + drive.HostDir());
    ASSERT_TRUE(WaitFor([] {
        if (!CreateDirectoryA("T:\\probe", nullptr))
            return true;
        RemoveDirectoryA("T:\\probe");
        return false;
    }, 5000));
    g_settings.bOverwrite = 1;
    Connect();
    EXPECT_EQ(Hex(Frame(0x52)), Ask(ListMsg({Record("kept.txt", 9), Record("new.txt", 3)}), 4));
    EXPECT_EQ(Hex(Frame(0x67) + Frame(0x64)), Ask(OpenMsg(0), 8));
    // The probe stays when the remount came between its making and its removal.
    std::vector<std::string> names = FolderNames("T:");
    names.erase(std::remove(names.begin(), names.end(), "probe"), names.end());
    EXPECT_EQ(std::vector<std::string>{"kept.txt"}, names);
    EXPECT_EQ("kept", FileContents("T:\\kept.txt"));
}

struct SockSender : Pipe {
    // The program's worker outside answer mode on a link that stands, the test at its far end.
    void SetUp() override
    {
        ASSERT_NO_FATAL_FAILURE(Pipe::SetUp());
        g_link.hListenSock = INVALID_SOCKET;
        hThread = StartTransferWorker(CT_LAN, (int)B, 0);
        ASSERT_NE(nullptr, hThread);
    }
};

// The hello file, then sizes around the block named with a byte above 127, every byte
// checked; a refused list, an open answered with the serial reply, a block acknowledged
// under another index or as bad, are each sent again.
TEST_F(SockSender, HelloAndSizesAroundTheBlockGoOutByteForByteAndRepeatOnBadReplies)
{
    std::vector<PeerFile> files = FilesAroundTheBlock("caf\xE9", B, 20);
    files.insert(files.begin(), {"hello.txt", "hello"});
    SendFiles(files);
    Expect(ListMsg(recs), "list");
    wire.Send(Frame(0x53));     // refused once: the list comes again
    Expect(ListMsg(recs), "list again");
    wire.Send(Frame(0x52));
    for (size_t i = 0; i < files.size(); i++) {
        SCOPED_TRACE(files[i].path);
        const std::string& d = files[i].data;
        Expect(OpenMsg((uint8_t)i), "open");
        if (i == 2) {
            wire.Send(Frame(0x52));     // not the socket's answer: asked again
            Expect(OpenMsg((uint8_t)i), "open again");
        }
        wire.Send(Frame(0x63));
        for (size_t k = 0; k < BlockCount(d.size(), B, false); k++) {
            std::string blk = BlockOf(d, k, B);
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
    ASSERT_TRUE(SendDone());
    EXPECT_EQ("", Hex(wire.Drain(200)));
    EXPECT_EQ(7, g_xfer.nFilesOk);
    EXPECT_EQ(STOP_NONE, TransferStopReason());
    // The progress: past the last file, every byte counted once though blocks went again.
    size_t total = 0;
    for (const PeerFile& f : files)
        total += f.data.size();
    EXPECT_EQ(7, g_xfer.iXferFile);
    EXPECT_EQ(total, g_xfer.dwXferDone.load());
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
    SendFiles({{"T:\\cut.bin", d}});
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
    ASSERT_TRUE(SendDone());
    EXPECT_EQ(0, g_xfer.iUnreadableFile);
    EXPECT_EQ(0, g_xfer.nFilesOk);
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
    g_settings.dwPeerIP = INADDR_LOOPBACK;
    g_wnd.hwndConnectDlg = nullptr;
    HANDLE hThread = StartTransferWorker(CT_WAN, 32768, 0);
    ASSERT_NE(nullptr, hThread);
    StartConnect();
    SOCKET hPeer = INVALID_SOCKET;
    ASSERT_TRUE(WaitFor([&] { return (hPeer = accept(hListen, nullptr, nullptr)) != INVALID_SOCKET; },
                        5000));
    ASSERT_TRUE(WaitFor([] { return g_worker.iWorkerState == WS_CONNECTED; }, 5000));
    CancelTransfer();       // the dialog's Cancel
    // Only the abort notice may come before the close.
    PeerWire peer;
    peer.AttachSocket(hPeer);
    DWORD t0 = GetTickCount();
    EXPECT_LE(peer.Recv(5, 3000).size(), 4u) << "more than the abort notice came";
    EXPECT_LT(GetTickCount() - t0, 2900u) << "the cancelled link is still open";
    EXPECT_EQ(INVALID_SOCKET, g_link.hDataSock.load());
    EXPECT_TRUE(StopTransferWorker(hThread));
    closesocket(hListen);

    StartConnect();
    std::thread cancel([] {
        Sleep(1500);
        StopTransfer(STOP_USER);
    });
    t0 = GetTickCount();
    SockConnect();
    DWORD ms = GetTickCount() - t0;
    cancel.join();
    EXPECT_GE(ms, 1400u);
    EXPECT_LT(ms, 2600u);
    EXPECT_EQ(WS_CONNECT, g_worker.iWorkerState);
    EXPECT_EQ(INVALID_SOCKET, g_link.hDataSock);
    ClearStop();
}

}  // namespace
