// A file far larger than the transfer window over a loopback socket: the program's sender,
// in a child copy of this test program, sends a sparse file to the program's receiver in
// this one; it arrives byte-identical and neither side's working set grows with the file.
#include <gtest/gtest.h>

#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "peer_wire.h"
#include "protocol/transfer.h"
#include "protocol/worker.h"
#include "testenv.h"

#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

const int B = 32768;        // the block of "LAN"
const uint64_t MAX_GROWTH = 64ull << 20;
// Set by the parent for the child, which then plays the sender: "port size path".
const char* const SENDER_VAR = "TALMOX_SCALE_SENDER";

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

// The program's worker in this process on a loopback listener; the port in *pPort.
HANDLE StartWorker(int bAnswerMode, uint16_t* pPort)
{
    EnsureWinsock();
    g_link.hDataSock = INVALID_SOCKET;
    g_link.hListenSock = LoopbackListener(pPort);
    return StartTransferWorker(CT_LAN, B, bAnswerMode);
}

void StopWorker(HANDLE hThread)
{
    EXPECT_TRUE(StopTransferWorker(hThread));
    closesocket(g_link.hListenSock);
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
    uint16_t ownPort = 0;
    HANDLE hThread = StartWorker(0, &ownPort);
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
    StopWorker(hThread);
}

// 512 MiB in the suite; TALMOX_SCALE_FULL=1 sends the 3 GiB that the 32-bit program could not
// map at once. The odd tail leaves a short last block.
TEST(ScaleTransfer, SparseFileArrivesIdenticalWithBoundedWorkingSets)
{
    ScratchDir root;
    const char* pszFull = getenv("TALMOX_SCALE_FULL");
    uint32_t dwSize = (pszFull && *pszFull == '1' ? 3u << 30 : 512u << 20) + 12345;
    std::string path = root.File("big.bin"), dest = root.File("dest");
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteSparseSource(path, dwSize);

    uint16_t port = 0;
    HANDLE hThread = StartWorker(1, &port);
    strcpy(g_settings.szDestDir, dest.c_str());
    uint64_t qwPeakBefore = PeakWorkingSet();
    DWORD t0 = GetTickCount();
    // This program again, as the sender; its output goes to ours.
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, sizeof szExe);
    std::string line = std::string("\"") + szExe + "\" --gtest_filter=ScaleChild.*";
    SetEnvironmentVariableA(SENDER_VAR, (std::to_string(port) + " " + std::to_string(dwSize) +
                                         " " + path).c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi));
    SetEnvironmentVariableA(SENDER_VAR, nullptr);
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
    StopWorker(hThread);
    EXPECT_TRUE(SameBytes(path, dest + "\\big.bin"));
}

}  // namespace
