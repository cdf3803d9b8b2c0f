// Receiving a batch: the two dispatchers that serve a peer, the checks on its file list,
// and the destination files written block by block through a mapping.
#include "protocol/transfer.h"

#include "base/folderpath.h"
#include "base/paths.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "protocol/askreceive.h"
#include "protocol/blockstore.h"
#include "protocol/destname.h"
#include "protocol/packets.h"
#include "protocol/partfile.h"
#include "protocol/readback.h"
#include "protocol/seriallink.h"
#include "protocol/viewcopy.h"
#include "protocol/xferlink.h"
#include "protocol/xfermap.h"

#include <cstdio>
#include <cstring>
#include <cwchar>

// The file being received. Its size, block size and block count are taken when it is
// opened, so that a later list or a changed setting can never move a write outside it; they
// stay after its close, so that a block sent after it is read to its end and refused.
// Owner: the worker. Its mapping is shared with DiscardPartialFile: both use it, and the
// file's fields of g_xfer, only under s_fileLock, and the worker checks under the lock that
// the file is still open before it writes.
struct RecvFile {
    XferMapping map;
    uint32_t dwSize;
    int32_t cbBlock;
    int32_t nBlocks;
    int32_t nTaken;         // blocks stored, in order from block 0
    uint32_t crcLast;       // the CRC of block nTaken - 1
    int iRecord;
};
static RecvFile s_file;
static SRWLOCK s_fileLock = SRWLOCK_INIT;

// What became of the file closed last, which a repeated close is answered by.
enum { CLOSED_NONE, CLOSED_KEPT, CLOSED_DELETED };
static int s_iLastClose;

static int s_bListAccepted;         // the last list passed every check; files may be opened
static int s_bBatchShown;           // a batch of this socket exchange has its status dialog
// When the socket peer last began anything: its connection, or its last file list.
static DWORD s_dwPeerActiveTick;
static int s_iNextOpen;             // the lowest file index of the batch not yet opened
// The batch's folder and overwriting as they were when its list was taken, and the names its
// records are kept under.
static char s_szBatchDir[MAX_PATH];
static int s_bBatchOverwrite;
static DestName s_aDest[MAX_RECV_FILES];

// The result of the received batch that ended last, kept for the receive command, which may
// read it only once the worker is serving the next peer. Written by the worker, read by the
// user interface, both under s_resultLock.
static ReceivedBatch s_kept;
static int s_bKept;
static SRWLOCK s_resultLock = SRWLOCK_INIT;

// The received batch is over: its result is kept for the receive command, and its status
// dialog is closed.
static void EndReceivedBatch()
{
    AcquireSRWLockExclusive(&s_resultLock);
    s_kept.dwBatch = g_xfer.dwRecvBatch;
    s_kept.nOk = g_xfer.nFilesOk;
    s_kept.nFiles = g_xfer.nXferFiles;
    strcpy(s_kept.szFrom, g_xfer.szRecvFrom);
    s_bKept = 1;
    ReleaseSRWLockExclusive(&s_resultLock);
    UiCloseStatus(0);
}

void ReceivedBatchResult(uint32_t dwBatch, ReceivedBatch* pResult)
{
    AcquireSRWLockShared(&s_resultLock);
    // Kept for this batch or a later one (the batch numbers may wrap); else the batch is
    // still this one, and its live counters are its result.
    if (s_bKept && s_kept.dwBatch - dwBatch < 0x80000000u) {
        *pResult = s_kept;
    } else {
        pResult->dwBatch = dwBatch;
        pResult->nOk = g_xfer.nFilesOk;
        pResult->nFiles = g_xfer.nXferFiles;
        strcpy(pResult->szFrom, g_xfer.szRecvFrom);
    }
    ReleaseSRWLockShared(&s_resultLock);
}

// Who sends, as the user is told: the owner name the peer gave in a handshake, else the
// address of a socket peer; "" for a serial peer that gave no name.
static void DescribeSender(const XferLink& link, char* pszFrom, size_t cb)
{
    pszFrom[0] = 0;
    if (g_link.szPeerName[0]) {
        snprintf(pszFrom, cb, "%s", g_link.szPeerName);
    } else if (!link.bSerial && g_link.dwDataPeerAddr) {
        in_addr addr;
        addr.s_addr = g_link.dwDataPeerAddr;
        snprintf(pszFrom, cb, "%s", inet_ntoa(addr));
    }
}

// The file's fields of g_xfer, with s_fileLock held; a null map clears them.
static void PublishRecvFile(const XferMapping& map, const wchar_t* pwszPart)
{
    g_xfer.hXferMap = map.hMap;
    g_xfer.pXferView = map.pView;
    wcscpy(g_xfer.wszRecvPart, pwszPart);
    g_xfer.hXferFile = map.hFile;
}

// Closes the file being received. At the sender's close (bKeep) a whole one is given its name
// and counted; any other file is deleted, also a whole one whose close the sender never sent,
// since the sender does not count it as sent. Returns what became of it, CLOSED_NONE when no
// file was open (or DiscardPartialFile had taken it).
static int CloseRecvFile(int bKeep)
{
    int bStored = FinishBackgroundStores();
    ForgetStoreFailure();
    AcquireSRWLockExclusive(&s_fileLock);
    int bOpen = g_xfer.hXferFile != nullptr;
    XferMapping map = s_file.map;
    wchar_t wszPart[MAX_PATH];
    wcscpy(wszPart, g_xfer.wszRecvPart);
    s_file.map = XferMapping{};
    PublishRecvFile(XferMapping{}, L"");
    ReleaseSRWLockExclusive(&s_fileLock);
    if (!bOpen)
        return CLOSED_NONE;
    UnmapXferFile(&map);
    const DestName& dest = s_aDest[s_file.iRecord];
    if (bKeep && bStored && s_file.nTaken == s_file.nBlocks &&
        KeepPartFile(wszPart, s_szBatchDir, dest.szName, s_bBatchOverwrite && dest.bExisted)) {
        g_xfer.nFilesOk++;
        return CLOSED_KEPT;
    }
    DeleteFileW(wszPart);
    return CLOSED_DELETED;
}

// The length of block k of the open file, also for an index a peer made up.
static int32_t RecvBlockLength(int32_t k)
{
    if (s_file.cbBlock <= 0)
        return 0;
    int64_t end = ((int64_t)k + 1) * s_file.cbBlock;
    if (end <= (int64_t)s_file.dwSize)
        return s_file.cbBlock;
    return (int32_t)(s_file.dwSize & (uint32_t)(s_file.cbBlock - 1));
}

static void StartReceiving()
{
    s_bBatchShown = 1;
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

// Takes a list and replies whether the batch can be received. With the user to be asked
// first, a list that passes every check is not answered until the user has answered: the
// sender repeats it meanwhile, and its repeat gets the answer.
static void OnFileList(const XferLink& link)
{
    CloseRecvFile(0);   // a new list ends whatever batch a file was open for
    s_bListAccepted = 0;
    int bAsk = g_settings.bAskBeforeReceiving;
    if (!bAsk)
        WithdrawReceiveQuestion();
    uint8_t bCount = 0;
    uint32_t crc = 0;
    int nHead = link.pfnRecv(&bCount, 1);
    nHead += link.pfnRecv(&crc, 4);
    g_xfer.nXferFiles = bCount;
    g_xfer.iXferFile = 0;    // a list starts a batch: "5 of 2 Files" must not be shown
    int32_t cbList = 256 * bCount;
    XFERFILE* pFiles = g_xfer.pXferFiles;
    int32_t nGot = cbList > 0 ? link.pfnRecv(pFiles, cbList) : 0;
    // A damaged list names nothing reliably: it is forgotten at once, so that not even a
    // read-back request can use its records.
    if (nHead < 5 || bCount > MAX_RECV_FILES || nGot < cbList
        || Crc32Block(pFiles, cbList) != crc) {
        g_xfer.nXferFiles = 0;
        link.pfnSendCode(XC_LIST_BAD);
        return;
    }
    g_xfer.dwRecvBatch++;
    DescribeSender(link, g_xfer.szRecvFrom, sizeof g_xfer.szRecvFrom);
    // The batch's count starts here, on the thread that counts: the receive command may come
    // to it only after the first files are in.
    g_xfer.nFilesOk = 0;
    g_xfer.dwXferDone = 0;
    g_xfer.dwXferTotal = 0;
    if (link.bSerial && !bAsk)
        StartReceiving();
    // The free-space test adds the sizes without wrapping: a list whose 32-bit total wraps
    // round must not pass for a small one.
    uint64_t qwTotal = 0;
    for (int i = 0; i < bCount; i++)
        qwTotal += pFiles[i].dwSize;
    g_xfer.dwXferTotal = qwTotal;
    // A folder that has gone since it was chosen can take no file: the sender is told as for
    // a file that cannot be created, and the user here why nothing arrives.
    if (!IsExistingFullFolder(g_settings.szDestDir)) {
        link.pfnSendCode(XC_CANT_CREATE);
        UiDestFolderGone(g_settings.szDestDir);
        return;
    }
    if (!g_settings.bOverwrite && AnyNameConflict()) {
        link.pfnSendCode(XC_NAME_CONFLICT);
        return;
    }
    strcpy(s_szBatchDir, g_settings.szDestDir);
    s_bBatchOverwrite = g_settings.bOverwrite;
    AssignDestNames(pFiles, bCount, s_szBatchDir, s_aDest);
    // A file that replaces an original is written beside it, and the original is given back
    // only once the new one has its name. The total counts every file whole, also those, and
    // the originals are outside the free figure already: it is the most the batch holds.
    uint64_t qwFree;
    if (QueryFreeSpace(&qwFree) && qwFree < qwTotal) {
        link.pfnSendCode(XC_NO_SPACE);
        return;
    }
    if (bAsk) {
        ReceiveAnswer answer = AskAboutBatch(bCount, crc, qwTotal, g_xfer.szRecvFrom, s_aDest);
        if (answer == ANSWER_NONE)
            return;
        // Declined: of the refusals a sender knows, the one that says the receiver will not
        // create its files, and ends the send at once.
        if (answer != ANSWER_ACCEPT) {
            link.pfnSendCode(XC_CANT_CREATE);
            return;
        }
        if (link.bSerial)
            StartReceiving();
    }
    s_bListAccepted = 1;
    s_iNextOpen = 0;
    s_iLastClose = CLOSED_NONE;
    link.pfnSendCode(XC_OK);
    if (!link.bSerial)
        StartReceiving();
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

// The file cannot be made: the sender is told, and the batch ends. A folder that has gone
// since the list was taken is told to the user here too.
static void RefuseCreate(const XferLink& link)
{
    link.pfnSendCode(XC_CANT_CREATE);
    if (!IsExistingFullFolder(s_szBatchDir))
        UiDestFolderGone(s_szBatchDir);
    EndReceivedBatch();
    StopTransfer(STOP_CANT_CREATE);
}

// 1 when the record's file may be made: its name passed the checks, and a file it is to
// replace is one that can be replaced (not a folder, not read-only).
static int CanReceiveRecord(int iRecord)
{
    const DestName& dest = s_aDest[iRecord];
    char szPath[MAX_PATH];
    if (!dest.szName[0] || !JoinPath(szPath, sizeof szPath, s_szBatchDir, dest.szName))
        return 0;
    if (!s_bBatchOverwrite || !dest.bExisted)
        return 1;
    DWORD dwAttr = GetFileAttributesA(szPath);
    return dwAttr == INVALID_FILE_ATTRIBUTES ||
           !(dwAttr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

static void OnOpenFile(const XferLink& link)
{
    uint8_t bIndex;
    int nGot = link.pfnRecv(&bIndex, 1);
    if (nGot < 1 || bIndex >= g_xfer.nXferFiles || !s_bListAccepted)
        return;
    // The socket sender asks again until it is answered: the file it names, open and not yet
    // written to, is acknowledged again, and not made anew.
    if (!link.bSerial && g_xfer.hXferFile && bIndex == s_file.iRecord && s_file.nTaken == 0) {
        link.pfnSendCode(XC_ACK);
        return;
    }
    // The sender opens its files in order. An index out of that order is a damaged one (it has
    // no CRC): opening it would write one file's blocks under another's name, or reopen a file
    // already kept. The socket sender asks again; the serial one skips the file and counts it
    // as not sent.
    if (link.bSerial ? bIndex < s_iNextOpen : bIndex != s_iNextOpen)
        return;
    CloseRecvFile(0);               // a file still open was not finished: it goes
    s_iLastClose = CLOSED_NONE;
    const XFERFILE& rec = g_xfer.pXferFiles.load()[bIndex];
    g_xfer.iXferFile = bIndex;
    g_xfer.iXferBlock = 0;
    s_file.iRecord = bIndex;
    s_file.dwSize = rec.dwSize;
    s_file.cbBlock = g_settings.cbBlock;
    s_file.nBlocks = BlockCount(rec.dwSize, s_file.cbBlock, link.bSerial);
    s_file.nTaken = 0;
    g_xfer.nXferBlocks = s_file.nBlocks;
    strcpy(g_xfer.szRecvName, s_aDest[bIndex].szName);
    UiFileName(g_xfer.szRecvName);

    wchar_t wszPart[PART_PATH_CHARS];
    XferMapping map;
    if (!CanReceiveRecord(bIndex) ||
        !MapDestFile(CreatePartFile(s_szBatchDir, wszPart), rec.dwSize, &map)) {
        if (GetFileAttributesW(wszPart) != INVALID_FILE_ATTRIBUTES)
            DeleteFileW(wszPart);
        RefuseCreate(link);
        return;
    }
    AcquireSRWLockExclusive(&s_fileLock);
    s_file.map = map;
    PublishRecvFile(map, wszPart);
    ReleaseSRWLockExclusive(&s_fileLock);
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
    StopTransfer(STOP_DRIVE_FAILED);
}

// Blocks of the open file are stored in order, each once. The CRC covers a block's data and
// not its index, so an index is trusted only where the sender can be: at the block awaited,
// or at the one before it, sent again because its acknowledgement was lost, which is
// acknowledged again only when it carries the bytes stored for it. Any other block is refused.
enum { BLOCK_REFUSED, BLOCK_TAKEN, BLOCK_DRIVE_FAILED };

// With s_fileLock held: where block k of the open file goes, the window moved over it; null
// when the file has been taken by DiscardPartialFile or the window cannot be moved there.
static uint8_t* BlockDestination(int32_t k, int32_t len)
{
    if (!g_xfer.hXferFile)
        return nullptr;
    uint8_t* pDest = XferBlockBytes(&s_file.map, k, s_file.cbBlock, len);
    g_xfer.pXferView = s_file.map.pView;
    return pDest;
}

static void CountBlock(int32_t len, uint32_t crc)
{
    s_file.nTaken++;
    s_file.crcLast = crc;
    g_xfer.iXferBlock = s_file.nTaken;
    g_xfer.dwXferDone += len;
}

// Serial blocks are stored here, from the packet buffer.
static int TakeSerialBlock(int32_t k, int32_t len, uint32_t crc)
{
    if (k == s_file.nTaken - 1)
        return g_xfer.hXferFile && crc == s_file.crcLast ? BLOCK_TAKEN : BLOCK_REFUSED;
    if (k != s_file.nTaken || k >= s_file.nBlocks || !g_xfer.hXferFile)
        return BLOCK_REFUSED;
    int iResult = BLOCK_TAKEN;
    AcquireSRWLockExclusive(&s_fileLock);
    uint8_t* pDest = len > 0 ? BlockDestination(k, len) : nullptr;
    if (!g_xfer.hXferFile || (len > 0 && !pDest))
        iResult = BLOCK_REFUSED;
    else if (len > 0 && !CopyViewBytes(pDest, g_xfer.pPacketBuf, len))
        iResult = BLOCK_DRIVE_FAILED;
    ReleaseSRWLockExclusive(&s_fileLock);
    if (iResult == BLOCK_TAKEN)
        CountBlock(len, crc);
    return iResult;
}

// Serial blocks: a block out of step means the line is out of step, and what is waiting on
// it is thrown away. A block that is not stored is answered XC_BLOCK_BAD, whatever its CRC,
// so that the sender sends the block it is at again: acknowledged, the sender would go on
// past a block never stored, and the file could never be whole.
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
    int bInStep = k >= 0 && k < s_file.nBlocks && (k == s_file.nTaken || k == s_file.nTaken - 1);
    if (!bInStep && g_link.hComm)
        PurgeComm(g_link.hComm, PURGE_RXCLEAR);
    if (TransferStopped()) {
        CommSendCode(XC_ABORT);
        return;
    }
    int iResult = BLOCK_REFUSED;
    if (bInStep && n == len && Crc32Block(g_xfer.pPacketBuf, len) == crc)
        iResult = TakeSerialBlock(k, len, crc);
    if (iResult == BLOCK_DRIVE_FAILED) {
        AbandonRecvFile();
        CommSendCode(XC_ABORT);
        return;
    }
    CommSendCode(TransferStopped() ? XC_ABORT : iResult == BLOCK_TAKEN ? XC_BLOCK_OK : XC_BLOCK_BAD);
}

// Socket blocks: the reply goes as soon as the block is known to be good and its place
// mapped, and the data is stored by the store thread while the sender's next block is on its
// way; the reply is built apart from the packet buffer. The lock is held from the mapping of
// the block's place until it is handed over, so that the view it goes to stays mapped. A
// block the drive refused is reported by the abort notice in place of the next reply.
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
    uint32_t crc = (uint32_t)aHead[1];
    // The sender only ever sends the next block or repeats the last one. Any other index is
    // damaged, and the length it would give is not the length of the bytes that follow: read
    // the next block's length instead, so that the stream stays in step with the sender's
    // messages (off by a multiple of four, the frames would never be found again).
    int bLikely = !g_xfer.hXferFile || k == s_file.nTaken || k == s_file.nTaken - 1;
    int32_t len = RecvBlockLength(bLikely ? k : s_file.nTaken);
    int32_t n = len > 0 ? SocketXferLink.pfnRecv(g_xfer.pPacketBuf, len) : 0;
    int bGood = n == len && Crc32Block(g_xfer.pPacketBuf, len) == crc && k >= 0 &&
                k < s_file.nBlocks && g_xfer.hXferFile;
    XferPiece piece = {&k, 4};
    if (bGood && k == s_file.nTaken) {
        AcquireSRWLockExclusive(&s_fileLock);
        uint8_t* pDest = len > 0 ? BlockDestination(k, len) : nullptr;
        bGood = g_xfer.hXferFile && (len == 0 || pDest);
        SocketXferLink.pfnSendMessage(bGood ? XC_BLOCK_OK : XC_BLOCK_BAD, &piece, 1);
        if (bGood)
            StoreInBackground(pDest, g_xfer.pPacketBuf, len);
        ReleaseSRWLockExclusive(&s_fileLock);
        if (bGood)
            CountBlock(len, crc);
    } else {
        bGood = bGood && k == s_file.nTaken - 1 && crc == s_file.crcLast;
        SocketXferLink.pfnSendMessage(bGood ? XC_BLOCK_OK : XC_BLOCK_BAD, &piece, 1);
    }
    if (TransferStopped())
        SocketXferLink.pfnAbortNotice(-1);
}

// The sender closes the file: XC_OK when it is whole and has its name. A file that is not
// whole is deleted, and since a sender counts a file once its close is answered XC_OK, it is
// answered with the abort notice, which ends the batch as a cancel here does; a repeated
// close gets the answer the first one got, and a close with no file at all gets none.
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
    if (TransferStopped()) {
        CloseRecvFile(0);
        link.pfnAbortNotice(-1);
        return;
    }
    int iClosed = CloseRecvFile(1);
    int iAnswer = iClosed != CLOSED_NONE ? iClosed : s_iLastClose;
    s_iLastClose = iAnswer;
    if (iAnswer == CLOSED_KEPT) {
        link.pfnSendCode(XC_OK);
        if (iClosed == CLOSED_KEPT && g_xfer.iXferFile == g_xfer.nXferFiles - 1) {
            EndReceivedBatch();
            MoveWorkerState(WS_IDLE);
            ClearStop();
        }
    } else if (iAnswer == CLOSED_DELETED) {
        link.pfnAbortNotice(-1);
        if (iClosed == CLOSED_DELETED) {
            EndReceivedBatch();
            StopTransfer(STOP_FILE_NOT_WHOLE);
        }
    }
}

// The peer stops the batch. The acknowledgement goes before the stop, since the
// socket pipe sends nothing once it is; the unfinished file goes with the batch.
static void OnAbort(const XferLink& link)
{
    link.pfnSendCode(XC_ACK);
    StopTransfer(STOP_PEER_ABORT);
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
    // The sender repeats its list while it waits for an answer; anything else means it has
    // moved on, and a question about its list is over.
    if (code != XC_FILE_LIST)
        WithdrawReceiveQuestion();
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
    if (TransferStopped() && g_worker.iWorkerState == WS_IDLE)
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
    WithdrawReceiveQuestion();
    // A connection that broke leaves no peer to close the status dialog; the batch ends here
    // as a cancel does, with its result shown. A connection that began no batch has neither
    // a dialog nor a result: a stranger's connects and closes reach the user not at all.
    if (s_bBatchShown)
        EndReceivedBatch();
    MoveWorkerState(WS_IDLE);
}

void BeginSocketExchange()
{
    WithdrawReceiveQuestion();
    s_bListAccepted = 0;
    s_bBatchShown = 0;
    g_link.szPeerName[0] = 0;       // a name is this connection's, given by its own handshake
    s_dwPeerActiveTick = GetTickCount();
}

// A peer that holds the connection with no batch under way and no question open, for longer
// than msPeerIdle since it began anything, keeps every other sender out: it is dropped.
static int PeerHoldsTheLine()
{
    return g_worker.iWorkerState == WS_CONNECTED && !ReceiveQuestionWaiting() &&
           GetTickCount() - s_dwPeerActiveTick >= g_recvTimeouts.msPeerIdle;
}

void SockServePeer()
{
    if (TransferStopped()) {
        EndSocketExchange();
        return;
    }
    for (;;) {
        if (g_worker.iWorkerState == WS_IDLE)
            return;
        // A code this side does not serve needs no pause after it: the next read waits for
        // the peer's next message, and bytes that make no message are read on at once.
        uint8_t code = SocketXferLink.pfnRecvCode();
        if (code == XC_FILE_LIST)
            s_dwPeerActiveTick = GetTickCount();
        ServeMessage(SocketXferLink, code);
        if (TransferStopped()) {
            EndSocketExchange();
            return;
        }
        if (PeerHoldsTheLine()) {
            CloseDataSocket();
            MoveWorkerState(WS_IDLE);
            return;
        }
    }
}

void (*g_pfnDiscardHook)();

// The file is taken from the receiver under its lock, so that the worker, which checks under
// the same lock that its file is still open, neither writes into a view unmapped here nor
// closes the file twice; and its handle, mapping and path are taken together, so that what is
// deleted is the part file that was opened with that handle. The store thread may still be
// writing the last block handed to it: the view is unmapped only once it has.
void DiscardPartialFile()
{
    AcquireSRWLockExclusive(&s_fileLock);
    HANDLE hFile = g_xfer.hXferFile.exchange(nullptr);
    if (hFile && g_pfnDiscardHook)
        g_pfnDiscardHook();
    if (hFile) {
        FinishBackgroundStores();
        if (uint8_t* pView = g_xfer.pXferView.exchange(nullptr))
            UnmapViewOfFile(pView);
        if (HANDLE hMap = g_xfer.hXferMap.exchange(nullptr))
            CloseHandle(hMap);
        CloseHandle(hFile);
        if (g_xfer.wszRecvPart[0])
            DeleteFileW(g_xfer.wszRecvPart);
        g_xfer.wszRecvPart[0] = 0;
        s_file.map = XferMapping{};
    }
    ReleaseSRWLockExclusive(&s_fileLock);
}
