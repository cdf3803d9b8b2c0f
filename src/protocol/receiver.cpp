// Receiving a batch: the two dispatchers that serve a peer, the checks on its file list,
// and the destination files written block by block through a mapping.
#include "protocol/transfer.h"

#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "protocol/blockstore.h"
#include "protocol/destname.h"
#include "protocol/packets.h"
#include "protocol/readback.h"
#include "protocol/seriallink.h"
#include "protocol/viewcopy.h"
#include "protocol/xferlink.h"
#include "protocol/xfermap.h"

#include <cstring>

// The file being received. Its size, block size and block count are taken when it is
// opened, so that a later list or a changed setting can never move a write outside it.
static XferMapping s_recvMap;
static uint32_t s_dwRecvSize;
static int32_t s_cbRecvBlock;
static int32_t s_nRecvBlocks;
static int32_t s_nTaken;            // blocks taken with a good CRC, in order from block 0
static int s_bSkipped;              // serial: a block of the file answered by its CRC alone
static int s_bListAccepted;         // the last list passed every check; files may be opened
static int s_iNextOpen;             // the lowest file index of the batch not yet opened

// The received batch is over: its result is kept for the receive command, and its status
// dialog is closed.
static void EndReceivedBatch()
{
    g_xfer.qwRecvResult = (uint64_t)g_xfer.dwRecvBatch << 32
        | (uint32_t)(g_xfer.nFilesOk & 0xFFFF) << 16 | (uint32_t)(g_xfer.nXferFiles & 0xFFFF);
    UiCloseStatus(0);
}

void ReceivedBatchResult(uint32_t dwBatch, int* pnOk, int* pnFiles)
{
    uint64_t qwResult = g_xfer.qwRecvResult;
    *pnOk = g_xfer.nFilesOk;
    *pnFiles = g_xfer.nXferFiles;
    // Kept for this batch or a later one (the batch numbers may wrap).
    if ((uint32_t)(qwResult >> 32) - dwBatch < 0x80000000u) {
        *pnOk = (int)(qwResult >> 16 & 0xFFFF);
        *pnFiles = (int)(qwResult & 0xFFFF);
    }
}

static void PublishRecvFile()
{
    g_xfer.hXferMap = s_recvMap.hMap;
    g_xfer.pXferView = s_recvMap.pView;
    g_xfer.hXferFile = s_recvMap.hFile;
}

// Closes the file being received. At the sender's close (bCount) a complete one is cut to its
// announced size, kept and counted; any other file goes, also a complete one whose close the
// sender never sent, since the sender does not count it as sent. The handle is taken back
// from the shared state first, so that whoever else cleans up after an abort sees no file.
static void CloseRecvFile(int bCount)
{
    int bStored = FinishBackgroundStores();
    ForgetStoreFailure();
    if (!g_xfer.hXferFile.exchange(nullptr)) {
        s_recvMap = XferMapping{};
        return;
    }
    g_xfer.pXferView = nullptr;
    g_xfer.hXferMap = nullptr;
    int bComplete = bStored && s_nTaken == s_nRecvBlocks;
    UnmapXferFile(&s_recvMap, bComplete, s_dwRecvSize);
    if (!bComplete || !bCount)
        DeleteFileA(g_xfer.szRecvPath);
    else
        g_xfer.nFilesOk++;
}

// The length of block k of the open file, also for an index a peer made up.
static int32_t RecvBlockLength(int32_t k)
{
    int64_t end = ((int64_t)k + 1) * s_cbRecvBlock;
    if (end <= (int64_t)s_dwRecvSize)
        return s_cbRecvBlock;
    return (int32_t)(s_dwRecvSize & (uint32_t)(s_cbRecvBlock - 1));
}

static void StartReceiving()
{
    if (g_worker.iWorkerState == WS_RECEIVING)
        return;
    MoveWorkerState(WS_RECEIVING);
    UiReceiveBegan();
}

// Free space for the caller on the destination drive, or on the folder itself when its
// first three characters are not a drive root; 0 when no figure can be had.
static int QueryFreeSpace(uint64_t* pqwFree)
{
    char szRoot[4];
    memcpy(szRoot, g_settings.szDestDir, 3);
    szRoot[3] = 0;
    ULARGE_INTEGER avail;
    if (GetDiskFreeSpaceExA(szRoot, &avail, nullptr, nullptr) ||
        GetDiskFreeSpaceExA(g_settings.szDestDir, &avail, nullptr, nullptr)) {
        *pqwFree = avail.QuadPart;
        return 1;
    }
    return 0;
}

// Takes a list and replies whether the batch can be received.
static void OnFileList(const XferLink& link)
{
    CloseRecvFile(0);   // a new list ends whatever batch a file was open for
    s_bListAccepted = 0;
    g_xfer.dwRecvBatch++;
    uint8_t bCount = 0;
    uint32_t crc = 0;
    int nHead = link.pfnRecv(&bCount, 1);
    nHead += link.pfnRecv(&crc, 4);
    g_xfer.nXferFiles = bCount;
    g_xfer.iXferFile = 0;    // a list starts a batch: "5 of 2 Files" must not be shown
    int32_t cbList = 256 * bCount;
    XFERFILE* pFiles = g_xfer.pXferFiles;
    int32_t nGot = cbList > 0 ? link.pfnRecv(pFiles, cbList) : 0;
    if (nHead < 5 || bCount > MAX_RECV_FILES || nGot < cbList
        || Crc32Block(pFiles, cbList) != crc) {
        link.pfnSendCode(XC_LIST_BAD);
        return;
    }
    // The batch's count starts here, on the thread that counts: the receive command may come
    // to it only after the first files are in.
    g_xfer.nFilesOk = 0;
    g_xfer.dwXferDone = 0;
    g_xfer.dwXferTotal = 0;
    if (link.bSerial)
        StartReceiving();
    // The free-space test adds the sizes without wrapping: a list whose 32-bit total wraps
    // round must not pass for a small one.
    uint64_t qwTotal = 0;
    for (int i = 0; i < bCount; i++)
        qwTotal += pFiles[i].dwSize;
    g_xfer.dwXferTotal = (uint32_t)qwTotal;
    if (!g_settings.bOverwrite && AnyNameConflict()) {
        link.pfnSendCode(XC_NAME_CONFLICT);
        return;
    }
    uint64_t qwFree;
    if (QueryFreeSpace(&qwFree) && qwFree < qwTotal) {
        link.pfnSendCode(XC_NO_SPACE);
        return;
    }
    s_bListAccepted = 1;
    s_iNextOpen = 0;
    link.pfnSendCode(XC_OK);
    if (!link.bSerial) {
        StartReceiving();
        g_xfer.hXferFile = nullptr;
    }
}

int AnyNameConflict()
{
    const XFERFILE* pFiles = g_xfer.pXferFiles;
    int nFiles = g_xfer.nXferFiles;
    for (int i = 0; i < nFiles; i++) {
        // A name that is refused when it is opened conflicts with nothing; looking it up
        // would let a wildcard or ".." find files that are not its own.
        char szPath[256], szName[128];
        if (!DestPathOfRecord(&pFiles[i], g_settings.szDestDir, szPath, sizeof szPath, szName))
            continue;
        WIN32_FIND_DATAA fd;
        HANDLE hFind = FindFirstFileA(szPath, &fd);
        if (hFind != INVALID_HANDLE_VALUE) {
            FindClose(hFind);
            return 1;
        }
    }
    return 0;
}

static void RefuseCreate(const XferLink& link)
{
    link.pfnSendCode(XC_CANT_CREATE);
    EndReceivedBatch();
    g_worker.bAbort = 1;
}

static void OnOpenFile(const XferLink& link)
{
    uint8_t bIndex;
    int nGot = link.pfnRecv(&bIndex, 1);
    if (!link.bSerial && g_xfer.hXferFile) {
        link.pfnSendCode(XC_ACK);   // a repeated open: the sender missed our first answer
        return;
    }
    if (nGot < 1 || bIndex >= g_xfer.nXferFiles || !s_bListAccepted)
        return;
    // The sender opens its files in order. An index out of that order is a damaged one (it has
    // no CRC): opening it would write one file's blocks under another's name, or reopen a file
    // already kept. The socket sender asks again; the serial one skips the file and counts it
    // as not sent.
    if (link.bSerial ? bIndex < s_iNextOpen : bIndex != s_iNextOpen)
        return;
    CloseRecvFile(0);               // serial: a file still open was not finished
    const XFERFILE& rec = g_xfer.pXferFiles.load()[bIndex];
    g_xfer.iXferFile = bIndex;
    g_xfer.iXferBlock = 0;
    s_dwRecvSize = rec.dwSize;
    s_cbRecvBlock = g_settings.cbBlock;
    s_nRecvBlocks = BlockCount(rec.dwSize, s_cbRecvBlock, link.bSerial);
    s_nTaken = 0;
    s_bSkipped = 0;
    g_xfer.nXferBlocks = s_nRecvBlocks;

    char szPath[256], szName[128];
    if (!DestPathOfRecord(&rec, g_settings.szDestDir, szPath, sizeof szPath, szName)) {
        g_xfer.szRecvPath[0] = 0;
        g_xfer.szRecvName[0] = 0;
        RefuseCreate(link);
        return;
    }
    strcpy(g_xfer.szRecvName, szName);
    strcpy(g_xfer.szRecvPath, szPath);
    UiFileName(g_xfer.szRecvName);
    if (!MapDestFile(g_xfer.szRecvPath, rec.dwSize, &s_recvMap)) {
        RefuseCreate(link);
        return;
    }
    PublishRecvFile();
    s_iNextOpen = bIndex + 1;
    link.pfnSendCode(link.codeOpened);
}

// The drive could not take a block (it filled up after the free-space check): the file is
// given up and deleted, and the batch ends as a cancel at this side does, so the sender is
// told by the abort notice.
static void AbandonRecvFile()
{
    CloseRecvFile(0);
    EndReceivedBatch();
    g_worker.bAbort = 1;
}

// Where block k of the open file goes, the window moved over it; null when the window cannot
// be moved there: the block is then not taken, and the file stays incomplete.
static uint8_t* BlockDestination(int32_t k, int32_t len)
{
    uint8_t* pDest = XferBlockBytes(&s_recvMap, k, s_cbRecvBlock, len);
    g_xfer.pXferView = s_recvMap.pView;
    return pDest;
}

// Copies the good block k from the packet buffer to pDest and counts it; 0 when the drive
// refused the bytes, which abandons the file.
static int StoreBlock(uint8_t* pDest, int32_t k, int32_t len)
{
    if (len > 0 && !CopyViewBytes(pDest, g_xfer.pPacketBuf, len)) {
        AbandonRecvFile();
        return 0;
    }
    if (k == s_nTaken)
        s_nTaken++;
    g_xfer.dwXferDone += len;
    return 1;
}

// A socket block handed to the store thread counts as taken; a refusal of its bytes is
// found before the next message is answered.
static void QueueBlock(uint8_t* pDest, int32_t k, int32_t len)
{
    StoreInBackground(pDest, g_xfer.pPacketBuf, len);
    if (k == s_nTaken)
        s_nTaken++;
    g_xfer.dwXferDone += len;
}

// Stores block k when it is good; 0 when the window cannot be moved to the block.
// Blocks of the open file are stored in order. An earlier index is a block already stored: a
// repeat whose acknowledgement was lost, or a damaged index that would put another block's
// bytes over good data (the CRC covers the data only); it is acknowledged and not written. A
// later index is never the block the sender is waiting on, and is refused.
static int IsStoredBlock(int32_t k) { return k < s_nTaken; }
static int IsRefusedBlock(int32_t k) { return k > s_nTaken; }

static int TakeBlock(int32_t k, int32_t len)
{
    if (IsStoredBlock(k))
        return 1;
    if (IsRefusedBlock(k))
        return 0;
    uint8_t* pDest = len > 0 ? BlockDestination(k, len) : nullptr;
    if (len > 0 && !pDest)
        return 0;
    return StoreBlock(pDest, k, len);
}

// Serial blocks: only the current or the next block is stored; anything else means the
// line is out of step, and what is waiting on it is thrown away.
static void OnBlockSerial()
{
    int32_t k;
    uint32_t crc;
    if (CommRead(&k, 4) < 4)
        return;
    int32_t len = RecvBlockLength(k);
    if (g_settings.iCommType == CT_RAWIR)
        Sleep(g_settings.cbBlock / 20);      // the infrared port delivers a block slowly
    if (CommRead(&crc, 4) < 4)
        return;
    int32_t n = len > 0 ? CommRead(g_xfer.pPacketBuf, len) : 0;
    int bInStep = k >= 0 && k < s_nRecvBlocks && k < g_xfer.nXferBlocks &&
                  (k == g_xfer.iXferBlock || k == g_xfer.iXferBlock + 1);
    // A refused block does not move the line's step: its index may be a damaged one, and the
    // sender's repeat of the block it is at must still be in step.
    if (bInStep && !(g_xfer.hXferFile && IsRefusedBlock(k)))
        g_xfer.iXferBlock = k;
    else if (!bInStep && g_link.hComm)
        PurgeComm(g_link.hComm, PURGE_RXCLEAR);
    if (g_worker.bAbort) {
        CommSendCode(XC_ABORT);
        return;
    }
    if (n == len && Crc32Block(g_xfer.pPacketBuf, len) == crc) {
        int bStored = 1;
        if (bInStep && g_xfer.hXferFile)
            bStored = TakeBlock(k, len);
        // A good block that is not stored is answered by its CRC, and the file it belongs to
        // will be incomplete. Once that has happened the sender may be at a later block than
        // the one awaited, and refusing it would have the sender repeat it for ever: such a
        // block is answered by its CRC too, and the close then deletes the file.
        if (!bInStep || !g_xfer.hXferFile || (!bStored && s_bSkipped && IsRefusedBlock(k))) {
            s_bSkipped = 1;
            bStored = 1;
            g_xfer.dwXferDone += len;
        }
        CommSendCode(g_worker.bAbort ? XC_ABORT : bStored ? XC_BLOCK_OK : XC_BLOCK_BAD);
    } else {
        CommSendCode(XC_BLOCK_BAD);
    }
}

// Socket blocks: any block of the file may come. The reply goes as soon as the block is
// known to be good and its place mapped, and the data is stored by the store thread while
// the sender's next block is on its way; the reply is built apart from the packet buffer.
// A block the drive refused is reported by the abort notice in place of the next reply.
static void OnBlockSocket()
{
    int32_t aHead[2];
    if (SocketXferLink.pfnRecv(aHead, 8) < 8)
        return;
    if (!FinishBackgroundStores()) {
        AbandonRecvFile();
        return;
    }
    int32_t k = aHead[0];
    // The sender only ever sends the next block or repeats the last one. Any other index is
    // damaged, and the length it would give is not the length of the bytes that follow: read
    // the next block's length instead, so that the stream stays in step with the sender's
    // messages (off by a multiple of four, the frames would never be found again).
    int bLikely = !g_xfer.hXferFile || k == s_nTaken || k == s_nTaken - 1;
    int32_t len = RecvBlockLength(bLikely ? k : s_nTaken);
    int32_t n = len > 0 ? SocketXferLink.pfnRecv(g_xfer.pPacketBuf, len) : 0;
    int bGood = n == len && Crc32Block(g_xfer.pPacketBuf, len) == (uint32_t)aHead[1] && k >= 0
        && k < g_xfer.nXferBlocks && k < s_nRecvBlocks && !(g_xfer.hXferFile && IsRefusedBlock(k));
    int bToFile = bGood && g_xfer.hXferFile && !IsStoredBlock(k);
    uint8_t* pDest = bToFile && len > 0 ? BlockDestination(k, len) : nullptr;
    if (bToFile && len > 0 && !pDest)
        bGood = 0;
    XferPiece piece = {&k, 4};
    SocketXferLink.pfnSendMessage(bGood ? XC_BLOCK_OK : XC_BLOCK_BAD, &piece, 1);
    if (bGood) {
        if (bToFile)
            QueueBlock(pDest, k, len);
        else if (!g_xfer.hXferFile)
            g_xfer.dwXferDone += len;
        g_xfer.iXferBlock = k + 1;
    }
    if (g_worker.bAbort)
        SocketXferLink.pfnAbortNotice(-1);
}

static void OnCloseFile(const XferLink& link)
{
    // The last block's bytes may still be on their way to the drive; a close answered before
    // they are stored could count a file that is then deleted.
    if (!FinishBackgroundStores()) {
        AbandonRecvFile();
        return;
    }
    // A cancel here before the close: the file is not kept, and the sender is told, so that
    // both sides count it as not sent.
    if (g_worker.bAbort) {
        CloseRecvFile(0);
        link.pfnAbortNotice(-1);
        return;
    }
    CloseRecvFile(1);
    link.pfnSendCode(XC_OK);
    if (g_xfer.iXferFile == g_xfer.nXferFiles - 1) {
        EndReceivedBatch();
        MoveWorkerState(WS_IDLE);
        g_worker.bAbort = 0;
    }
}

// The peer stops the batch. The acknowledgement goes before bAbort is set, since the
// socket pipe sends nothing once it is; the unfinished file goes with the batch.
static void OnAbort(const XferLink& link)
{
    link.pfnSendCode(XC_ACK);
    g_worker.bAbort = 1;
    CloseRecvFile(0);
    // The batch is over even if its status dialog is not up yet: the dialog reads this state
    // when it comes up, since the close posted below finds no dialog then.
    MoveWorkerState(WS_IDLE);
    EndReceivedBatch();
    UiPlaySound("infintr");
}

// The answering side of the serial handshake, served on both links.
static int ServeHandshake(const XferLink& link, uint8_t code)
{
    switch (code) {
    case XC_PING:
        link.pfnSendCode(XC_PING_REPLY);
        return 1;
    case XC_LINK:
        link.pfnSendCode(XC_ACK);
        MoveWorkerState(WS_CONNECTED);
        UiPlaySound("infbeg");
        return 1;
    case XC_GET_NAME: {
        OWNERREC rec = {};
        memcpy(rec.szName, g_settings.szOwnerName, sizeof rec.szName - 1);
        link.pfnSendRaw(&rec, sizeof rec);
        return 1;
    }
    case XC_PUT_NAME: {
        OWNERREC rec;
        if (link.pfnRecv(&rec, sizeof rec) == (int)sizeof rec) {
            memcpy(g_link.szPeerName, rec.szName, sizeof g_link.szPeerName - 1);
            g_link.szPeerName[sizeof g_link.szPeerName - 1] = 0;
        }
        return 1;
    }
    }
    return 0;
}

// Serves one message; 0 when the code is none that this side answers.
static int ServeMessage(const XferLink& link, uint8_t code)
{
    if (code < XC_PING || code > XC_ABORT)
        return 0;
    if (ServeHandshake(link, code))
        return 1;
    switch (code) {
    case XC_FILE_LIST:
        OnFileList(link);
        return 1;
    case XC_OPEN_FILE:
        OnOpenFile(link);
        return 1;
    case XC_BLOCK:
        if (link.bSerial)
            OnBlockSerial();
        else
            OnBlockSocket();
        return 1;
    case XC_CLOSE_FILE:
        OnCloseFile(link);
        return 1;
    case XC_ABORT:
        OnAbort(link);
        return 1;
    }
    return link.bSerial && ServeReadBack(code);
}

void CommServePeer()
{
    // A receive cancelled here while the sender has gone quiet: nothing will close the
    // file for us.
    if (g_worker.bAbort && g_worker.iWorkerState == WS_IDLE)
        CloseRecvFile(0);
    ServeMessage(SerialXferLink, CommRecvCode());
}

// The socket exchange is over: tell the peer, drop the unfinished file, close the link, go
// back to accepting. The link is closed here, by the thread that serves it, so that nothing
// closes it after a new peer's connection has taken its place.
void EndSocketExchange()
{
    SocketXferLink.pfnAbortNotice(-1);
    CloseRecvFile(0);
    CloseDataSocket();
    // A connection that broke leaves no peer to close the status dialog; the batch ends here
    // as a cancel does, with its result shown.
    EndReceivedBatch();
    MoveWorkerState(WS_IDLE);
}

void SockServePeer()
{
    if (g_worker.bAbort) {
        EndSocketExchange();
        return;
    }
    for (;;) {
        if (g_worker.iWorkerState == WS_IDLE)
            return;
        // A code this side does not serve needs no pause after it: the next read waits for
        // the peer's next message, and bytes that make no message are read on at once.
        ServeMessage(SocketXferLink, SocketXferLink.pfnRecvCode());
        if (g_worker.bAbort) {
            EndSocketExchange();
            return;
        }
    }
}

// The file is taken from the receiver by exchange, so that a worker letting go of it at the
// same time does not close it twice, nor this close whatever a handle of the same value
// names by then. What is deleted is the file the receiver opened, by the path it opened it
// under: a name rebuilt from the peer's record could lead out of the destination folder.
void DiscardPartialFile()
{
    HANDLE hFile = g_xfer.hXferFile.exchange(nullptr);
    if (!hFile || hFile == INVALID_HANDLE_VALUE)
        return;
    // Copied at once: without the file, the worker may open the batch's next one and
    // rewrite the path.
    char szPath[sizeof g_xfer.szRecvPath];
    memcpy(szPath, g_xfer.szRecvPath, sizeof szPath);
    szPath[sizeof szPath - 1] = 0;
    if (uint8_t* pView = g_xfer.pXferView.exchange(nullptr))
        UnmapViewOfFile(pView);
    if (HANDLE hMap = g_xfer.hXferMap.exchange(nullptr))
        CloseHandle(hMap);
    CloseHandle(hFile);
    if (szPath[0])
        DeleteFileA(szPath);
}
