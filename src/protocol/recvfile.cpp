// The destination files of a received batch: each made as a part file, written block by block
// through a mapping, and given its name once it is whole.
#include "protocol/recvfile.h"

#include "base/folderpath.h"
#include "base/paths.h"
#include "connection/control.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "protocol/blockstore.h"
#include "protocol/packets.h"
#include "protocol/partfile.h"
#include "protocol/recvresult.h"
#include "protocol/transferstate.h"
#include "protocol/viewcopy.h"
#include "protocol/xferlink.h"
#include "protocol/xfermap.h"

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

// The accepted batch. Owner: the worker. Its folder and overwriting are as they were when its
// list was taken, and s_aDest holds the names its records are kept under.
struct RecvBatch {
    int bAccepted;          // the last list passed every check; files may be opened
    int iNextOpen;          // the lowest file index of the batch not yet opened
    int iLastClose;         // what became of the file closed last
    int bOverwrite;
    char szDir[MAX_PATH];
};
static RecvBatch s_batch;
static DestName s_aDest[MAX_RECV_FILES];

const DestName* PrepareRecvBatch(const XFERFILE* pFiles, int nFiles, const char* pszDir,
                                 int bOverwrite)
{
    strcpy(s_batch.szDir, pszDir);
    s_batch.bOverwrite = bOverwrite;
    AssignDestNames(pFiles, nFiles, s_batch.szDir, s_aDest);
    return s_aDest;
}

void AcceptRecvBatch()
{
    s_batch.bAccepted = 1;
    s_batch.iNextOpen = 0;
    s_batch.iLastClose = CLOSED_NONE;
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
        KeepPartFile(wszPart, s_batch.szDir, dest.szName, s_batch.bOverwrite && dest.bExisted)) {
        g_xfer.nFilesOk++;
        return CLOSED_KEPT;
    }
    DeleteFileW(wszPart);
    return CLOSED_DELETED;
}

void DropRecvFile()
{
    CloseRecvFile(0);
}

void ForgetRecvBatch()
{
    CloseRecvFile(0);
    s_batch.bAccepted = 0;
}

// The file cannot be made: the sender is told, and the batch ends. A folder that has gone
// since the list was taken is told to the user here too.
static void RefuseCreate(const XferLink& link)
{
    link.pfnSendCode(XC_CANT_CREATE);
    if (!IsExistingFullFolder(s_batch.szDir))
        UiDestFolderGone(s_batch.szDir);
    EndReceivedBatch();
    StopTransfer(STOP_CANT_CREATE);
}

// 1 when the record's file may be made: its name passed the checks, and a file it is to
// replace is one that can be replaced (not a folder, not read-only).
static int CanReceiveRecord(int iRecord)
{
    const DestName& dest = s_aDest[iRecord];
    char szPath[MAX_PATH];
    if (!dest.szName[0] || !JoinPath(szPath, sizeof szPath, s_batch.szDir, dest.szName))
        return 0;
    if (!s_batch.bOverwrite || !dest.bExisted)
        return 1;
    DWORD dwAttr = GetFileAttributesA(szPath);
    return dwAttr == INVALID_FILE_ATTRIBUTES ||
           !(dwAttr & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
}

void OnOpenFile(const XferLink& link)
{
    uint8_t bIndex;
    int nGot = link.pfnRecv(&bIndex, 1);
    if (nGot < 1 || bIndex >= g_xfer.nXferFiles || !s_batch.bAccepted)
        return;
    // A sender that asks until it is answered asks again for the file it names, open and not
    // yet written to: it is acknowledged again, and not made anew.
    if (link.bOpenUntilAnswered && g_xfer.hXferFile && bIndex == s_file.iRecord &&
        s_file.nTaken == 0) {
        link.pfnSendCode(XC_ACK);
        return;
    }
    // The sender opens its files in order. An index out of that order is a damaged one (it has
    // no CRC): opening it would write one file's blocks under another's name, or reopen a file
    // already kept. A sender that asks until answered asks again; one that asks once has
    // skipped the files before it and counts them as not sent.
    if (link.bOpenUntilAnswered ? bIndex != s_batch.iNextOpen : bIndex < s_batch.iNextOpen)
        return;
    CloseRecvFile(0);               // a file still open was not finished: it goes
    s_batch.iLastClose = CLOSED_NONE;
    const XFERFILE& rec = g_xfer.pXferFiles.load()[bIndex];
    g_xfer.iXferFile = bIndex;
    g_xfer.iXferBlock = 0;
    s_file.iRecord = bIndex;
    s_file.dwSize = rec.dwSize;
    s_file.cbBlock = g_settings.cbBlock;
    s_file.nBlocks = BlockCount(rec.dwSize, s_file.cbBlock, link.bTrailingBlock);
    s_file.nTaken = 0;
    g_xfer.nXferBlocks = s_file.nBlocks;
    strcpy(g_xfer.szRecvName, s_aDest[bIndex].szName);
    UiFileName(g_xfer.szRecvName);

    wchar_t wszPart[PART_PATH_CHARS];
    XferMapping map;
    if (!CanReceiveRecord(bIndex) ||
        !MapDestFile(CreatePartFile(s_batch.szDir, wszPart), rec.dwSize, &map)) {
        if (GetFileAttributesW(wszPart) != INVALID_FILE_ATTRIBUTES)
            DeleteFileW(wszPart);
        RefuseCreate(link);
        return;
    }
    AcquireSRWLockExclusive(&s_fileLock);
    s_file.map = map;
    PublishRecvFile(map, wszPart);
    ReleaseSRWLockExclusive(&s_fileLock);
    s_batch.iNextOpen = bIndex + 1;
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

static void ReplyToBlock(const XferLink& link, int32_t k, int bTaken)
{
    XferPiece piece = {&k, 4};
    link.pfnSendMessage(bTaken ? XC_BLOCK_OK : XC_BLOCK_BAD, &piece,
                        link.bBlockReplyNamesIndex ? 1 : 0);
}

static void CountBlock(int32_t len, uint32_t crc)
{
    s_file.nTaken++;
    s_file.crcLast = crc;
    g_xfer.iXferBlock = s_file.nTaken;
    g_xfer.dwXferDone += len;
}

// Stores block k, the one awaited, from the packet buffer. The lock is held from the mapping
// of the block's place until its bytes are stored or handed to the store thread, so that the
// view they go to stays mapped. A link that replies before it stores sends the reply here,
// as soon as the place is known (*pbReplied).
static int StoreBlock(const XferLink& link, int32_t k, int32_t len, uint32_t crc, int* pbReplied)
{
    int iResult = BLOCK_TAKEN;
    AcquireSRWLockExclusive(&s_fileLock);
    uint8_t* pDest = nullptr;
    if (g_xfer.hXferFile && len > 0) {
        pDest = XferBlockBytes(&s_file.map, k, s_file.cbBlock, len);
        g_xfer.pXferView = s_file.map.pView;
    }
    if (!g_xfer.hXferFile || (len > 0 && !pDest)) {
        iResult = BLOCK_REFUSED;
    } else if (link.bStoreBehindReply) {
        ReplyToBlock(link, k, 1);
        *pbReplied = 1;
        StoreInBackground(pDest, g_xfer.pPacketBuf, len);
    } else if (len > 0 && !CopyViewBytes(pDest, g_xfer.pPacketBuf, len)) {
        iResult = BLOCK_DRIVE_FAILED;
    }
    ReleaseSRWLockExclusive(&s_fileLock);
    if (iResult == BLOCK_TAKEN)
        CountBlock(len, crc);
    return iResult;
}

// A block that is not stored is answered XC_BLOCK_BAD, whatever its CRC, so that the sender
// sends the block it is at again: acknowledged, the sender would go on past a block never
// stored, and the file could never be whole. A drive that refused a block stored behind its
// reply is reported by the abort notice in place of the next reply.
void OnBlock(const XferLink& link)
{
    int32_t k;
    uint32_t crc;
    if (link.pfnRecv(&k, 4) < 4)
        return;
    link.pfnAwaitBlockRest();
    if (link.pfnRecv(&crc, 4) < 4)
        return;
    if (!FinishBackgroundStores()) {
        AbandonRecvFile();
        return;
    }
    // The sender only ever sends the next block or repeats the last one. Any other index is
    // damaged, and the length it would give is not the length of the bytes that follow: a
    // link that does not throw away what waits reads the awaited block's length instead, so
    // that the stream stays in step with the sender's messages.
    int bNear = k == s_file.nTaken || k == s_file.nTaken - 1;
    int bInStep = bNear && k >= 0 && k < s_file.nBlocks;
    int bOwnLength = link.bDiscardAfterMisplacedBlock || !g_xfer.hXferFile || bNear;
    int32_t len = BlockLength(bOwnLength ? k : s_file.nTaken, s_file.dwSize, s_file.cbBlock);
    int32_t n = len > 0 ? link.pfnRecv(g_xfer.pPacketBuf, len) : 0;
    if (!bInStep && link.bDiscardAfterMisplacedBlock)
        link.pfnDiscardInput();
    if (TransferStopped()) {
        link.pfnAbortNotice(-1);
        return;
    }
    int iResult = BLOCK_REFUSED, bReplied = 0;
    if (bInStep && n == len && Crc32Block(g_xfer.pPacketBuf, len) == crc) {
        if (k == s_file.nTaken)
            iResult = StoreBlock(link, k, len, crc, &bReplied);
        else if (g_xfer.hXferFile && crc == s_file.crcLast)
            iResult = BLOCK_TAKEN;
    }
    if (iResult == BLOCK_DRIVE_FAILED) {
        AbandonRecvFile();
        link.pfnAbortNotice(-1);
        return;
    }
    int bStopped = TransferStopped();
    if (!bReplied && !bStopped)
        ReplyToBlock(link, k, iResult == BLOCK_TAKEN);
    if (bStopped)
        link.pfnAbortNotice(-1);
}

// The sender closes the file: XC_OK when it is whole and has its name. A file that is not
// whole is deleted, and since a sender counts a file once its close is answered XC_OK, it is
// answered with the abort notice, which ends the batch as a cancel here does; a repeated
// close gets the answer the first one got, and a close with no file at all gets none.
void OnCloseFile(const XferLink& link)
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
    int iAnswer = iClosed != CLOSED_NONE ? iClosed : s_batch.iLastClose;
    s_batch.iLastClose = iAnswer;
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
