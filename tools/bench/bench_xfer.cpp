// Benchmark: the program's own socket sender and receiver, one in each process, without
// windows: the whole transfer of one file (mapping window, CRC, block exchange) over TCP.
//   bench_xfer recv DESTDIR           receives one batch on port 1757 into DESTDIR, then ends
//   bench_xfer send A.B.C.D PATH      sends the file PATH to port 1757 of that host
// The sender prints "xfer_mbps N" (from the start of the send to the receiver's confirmed close
// of the file) and "files_ok N".
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "connection/sockpipe.h"
#include "protocol/packets.h"
#include "protocol/transferstate.h"
#include "testenv.h"

enum { BENCH_PORT = 1757, BLOCK = 32768 };

static int Receive(const char* pszDest)
{
    SOCKET l = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(BENCH_PORT);
    BOOL bOn = TRUE;
    setsockopt(l, SOL_SOCKET, SO_REUSEADDR, (const char*)&bOn, sizeof bOn);
    if (bind(l, (sockaddr*)&a, sizeof a) != 0 || listen(l, 1) != 0) {
        printf("cannot listen on %d\n", BENCH_PORT);
        return 1;
    }
    SetSocketBuffers(l);
    g_link.hListenSock = l;
    strcpy(g_settings.szDestDir, pszDest);
    StartTransferWorker(CT_LAN, BLOCK, 1);
    g_settings.bOverwrite = 1;
    bool bOk = WaitFor([] { return g_xfer.nFilesOk >= 1; }, 600000);
    printf("files_received %d\n", (int)g_xfer.nFilesOk);
    return bOk ? 0 : 1;
}

static int Send(const char* pszHost, const char* pszPath)
{
    WIN32_FILE_ATTRIBUTE_DATA fa;
    if (!GetFileAttributesExA(pszPath, GetFileExInfoStandard, &fa)) {
        printf("no file %s\n", pszPath);
        return 1;
    }
    HANDLE hWorker = StartTransferWorker(CT_LAN, BLOCK, 0);
    SOCKET c = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    SetSocketBuffers(c);
    sockaddr_in a = {};
    a.sin_family = AF_INET;
    a.sin_port = htons(BENCH_PORT);
    a.sin_addr.s_addr = inet_addr(pszHost);
    int nTries = 0;
    while (connect(c, (sockaddr*)&a, sizeof a) != 0 && ++nTries < 100)
        Sleep(100);
    PrepareDataSocket(c);
    g_link.hDataSock = c;
    XFERFILE rec = {};
    XferPathFromNarrow(&rec, pszPath);
    rec.dwSize = fa.nFileSizeLow;
    memcpy(g_xfer.pXferFiles.load(), &rec, sizeof rec);
    g_xfer.nXferFiles = 1;
    g_xfer.iUnreadableFile = -1;
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    StartSend();
    // Timed to the confirmed close of the file, not to the end of the send, which keeps the
    // link open a while longer for the peer's sake.
    WaitFor([] { return g_xfer.nFilesOk >= 1 || g_worker.bAnswerMode == 1; }, 600000);
    QueryPerformanceCounter(&t1);
    WaitFor([] { return g_worker.bAnswerMode == 1; }, 10000);
    double sec = (double)(t1.QuadPart - t0.QuadPart) / (double)f.QuadPart;
    printf("xfer_mbps %.1f\nfiles_ok %d\n", rec.dwSize / sec / 1e6, (int)g_xfer.nFilesOk);
    int nOk = g_xfer.nFilesOk;
    StopTransferWorker(hWorker);
    return nOk == 1 ? 0 : 1;
}

int main(int argc, char** argv)
{
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    if (argc == 3 && strcmp(argv[1], "recv") == 0)
        return Receive(argv[2]);
    if (argc == 4 && strcmp(argv[1], "send") == 0)
        return Send(argv[2], argv[3]);
    printf("usage: bench_xfer recv DESTDIR | bench_xfer send A.B.C.D PATH\n");
    return 2;
}
