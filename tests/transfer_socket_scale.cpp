// A file far larger than the transfer window over a loopback socket: the program's sender,
// in a child copy of this test program, sends a sparse file to the program's receiver in
// this one; it arrives byte-identical and neither side's working set grows with the file.
#include <gtest/gtest.h>

#include "connection/session.h"
#include "connection/sockets.h"
#include "connection/worker.h"
#include "links_peer.h"
#include "peer_wire.h"
#include "testenv.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const size_t B = 32768;     // the block of "LAN"
const uint64_t MAX_GROWTH = 64ull << 20;
// Set by the parent for the child, which then plays the sender: "port size path".
const char* const SENDER_VAR = "TALMOX_SCALE_SENDER";

uint64_t PeakWorkingSet(HANDLE hProcess)
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    GetProcessMemoryInfo(hProcess, &pmc, sizeof pmc);
    return pmc.PeakWorkingSetSize;
}

// The suite sends 512 MiB; TALMOX_SCALE_FULL=1 sends the 3 GiB that the 32-bit program
// could not map at once. The odd tail leaves a short last block.
uint32_t ScaleFileSize()
{
    const char* psz = getenv("TALMOX_SCALE_FULL");
    uint32_t dwBase = psz && *psz == '1' ? 3u << 30 : 512u << 20;
    return dwBase + 12345;
}

// A sparse file of dwSize bytes, zero but for patterns at irregular offsets, across window
// edges, around 2 GiB and at the very end, so that a block read or written at another
// offset changes the hash.
void WriteSparseSource(const std::string& path, uint32_t dwSize)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
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
    LARGE_INTEGER end;
    end.QuadPart = dwSize;
    SetFilePointerEx(h, end, nullptr, FILE_BEGIN);
    SetEndOfFile(h);
    CloseHandle(h);
}

// A 64-bit hash of a file's bytes, computed while reading it in chunks, and its length.
struct FileHash {
    uint64_t hash = 0;
    uint64_t size = 0;
};
FileHash HashFile(const std::string& path)
{
    FileHash fh;
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return fh;
    const DWORD CHUNK = 4u << 20;
    std::vector<uint64_t> buf(CHUNK / 8);
    uint64_t hash = 0xcbf29ce484222325ull;
    DWORD cb = 0;
    while (ReadFile(h, buf.data(), CHUNK, &cb, nullptr) && cb > 0) {
        // Whole words, then the bytes of a short last chunk (files give full chunks).
        for (DWORD i = 0; i < cb / 8; i++)
            hash = (hash ^ buf[i]) * 0x100000001b3ull;
        const uint8_t* pTail = (const uint8_t*)buf.data() + cb / 8 * 8;
        for (DWORD i = 0; i < cb % 8; i++)
            hash = (hash ^ pTail[i]) * 0x100000001b3ull;
        fh.size += cb;
    }
    CloseHandle(h);
    fh.hash = hash;
    return fh;
}

// The worker thread of the program in this process, as the main window starts it.
struct Worker {
    HANDLE hThread = nullptr;
    SOCKET hListen = INVALID_SOCKET;
    uint16_t port = 0;

    void Start(int bAnswerMode)
    {
        EnsureWinsock();
        SessionState& s = g_state;
        s.iCommType = CT_LAN;
        s.cbBlock = (int32_t)B;
        s.hwndMain = nullptr;
        s.hwndXferDlg = nullptr;
        s.hDataSock = INVALID_SOCKET;
        s.bOverwrite = 0;
        s.nFilesOk = 0;
        hListen = LoopbackListener(&port);
        s.hListenSock = hListen;
        s.bAbort = 0;
        s.bAnswerMode = bAnswerMode;
        s.iWorkerState = WS_IDLE;
        hThread = CreateThread(nullptr, 0, TransferWorker, nullptr, 0, nullptr);
        ASSERT_TRUE(WaitFor([] { return g_state.pXferFiles.load() != nullptr; }, 3000));
    }
    ~Worker()
    {
        EXPECT_TRUE(StopTransferWorker(hThread));
        SessionState& s = g_state;
        SOCKET h = s.hDataSock.exchange(INVALID_SOCKET);
        if (h != INVALID_SOCKET)
            closesocket(h);
        if (hListen != INVALID_SOCKET)
            closesocket(hListen);
        s.bAbort = 0;
    }
};

// Starts this test program again as the sender of the file; its output goes to ours.
HANDLE StartSenderChild(uint16_t port, uint32_t dwSize, const std::string& path)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, sizeof szExe);
    std::string line = std::string("\"") + szExe + "\" --gtest_filter=ScaleChild.*";
    std::string value = std::to_string(port) + " " + std::to_string(dwSize) + " " + path;
    SetEnvironmentVariableA(SENDER_VAR, value.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    BOOL bOk = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                              &si, &pi);
    SetEnvironmentVariableA(SENDER_VAR, nullptr);
    if (!bOk)
        return nullptr;
    CloseHandle(pi.hThread);
    return pi.hProcess;
}

// Only in the child: sends the file its parent named and checks its own working set.
TEST(ScaleChild, SendsTheFileItsParentNames)
{
    const char* pszArgs = getenv(SENDER_VAR);
    if (!pszArgs)
        GTEST_SKIP() << "run by ScaleTransfer in a child process";
    unsigned port = 0, dwSize = 0;
    char szPath[MAX_PATH] = "";
    ASSERT_EQ(3, sscanf(pszArgs, "%u %u %259[^\n]", &port, &dwSize, szPath));
    Worker worker;
    worker.Start(0);
    SOCKET hSock = ConnectLoopback((uint16_t)port);
    ASSERT_NE(INVALID_SOCKET, hSock);
    PrepareDataSocket(hSock);
    SessionState& s = g_state;
    s.hDataSock = hSock;
    std::string rec = Record(szPath, dwSize);
    memcpy(s.pXferFiles.load(), rec.data(), 256);
    s.nXferFiles = 1;
    s.iSendResult = 0;
    s.iUnreadableFile = -1;
    uint64_t qwPeakBefore = PeakWorkingSet(GetCurrentProcess());
    s.iWorkerState = WS_SEND;
    ASSERT_TRUE(WaitFor([] { return g_state.bAnswerMode == 1; }, 900000));
    uint64_t qwGrowth = PeakWorkingSet(GetCurrentProcess()) - qwPeakBefore;
    printf("sender: peak working set grew %.1f MiB\n", qwGrowth / 1048576.0);
    EXPECT_EQ(1, s.nFilesOk);
    EXPECT_EQ(-1, s.iUnreadableFile);
    EXPECT_LT(qwGrowth, MAX_GROWTH);
}

TEST(ScaleTransfer, SparseFileArrivesIdenticalWithBoundedWorkingSets)
{
    ScratchDir root;
    std::string src = root.File("src");
    std::string dest = root.File("dest");
    CreateDirectoryA(src.c_str(), nullptr);
    CreateDirectoryA(dest.c_str(), nullptr);
    uint32_t dwSize = ScaleFileSize();
    std::string path = src + "\\big.bin";
    WriteSparseSource(path, dwSize);
    FileHash sent = HashFile(path);
    ASSERT_EQ(dwSize, sent.size);

    Worker worker;
    worker.Start(1);
    strcpy(g_state.szDestDir, dest.c_str());
    uint64_t qwPeakBefore = PeakWorkingSet(GetCurrentProcess());
    LARGE_INTEGER t0 = Now();
    HANDLE hChild = StartSenderChild(worker.port, dwSize, path);
    ASSERT_NE(nullptr, hChild);
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(hChild, 900000));
    double sec = MsSince(t0) / 1000;
    DWORD dwExit = 1;
    GetExitCodeProcess(hChild, &dwExit);
    CloseHandle(hChild);
    uint64_t qwGrowth = PeakWorkingSet(GetCurrentProcess()) - qwPeakBefore;
    printf("%u bytes in %.1f s (%.1f MB/s); receiver: peak working set grew %.1f MiB\n",
           dwSize, sec, dwSize / sec / 1e6, qwGrowth / 1048576.0);
    EXPECT_EQ(0u, dwExit) << "the sender's own checks";
    EXPECT_TRUE(WaitFor([] { return g_state.nFilesOk == 1; }, 5000));
    EXPECT_LT(qwGrowth, MAX_GROWTH);
    FileHash got = HashFile(dest + "\\big.bin");
    EXPECT_EQ(sent.size, got.size);
    EXPECT_EQ(sent.hash, got.hash);
}

}  // namespace
