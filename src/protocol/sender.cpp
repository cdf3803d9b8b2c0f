// Sending a batch: the list, then each file opened at the receiver, its blocks with a CRC
// each, and its close; or, when the send stops, the abort notice.
#include "protocol/sender.h"

#include "base/paths.h"
#include "connection/control.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "protocol/transferstate.h"
#include "protocol/viewcopy.h"
#include "protocol/xferlink.h"
#include "protocol/xfermap.h"

#include <cstring>

enum { MAX_LIST_FILES = 255, ABORT_NOTICES = 20 };
static_assert(sizeof g_xfer.abFileSent >= MAX_LIST_FILES, "every file of a list has its mark");

// Announces the list until the receiver takes it, refuses it or the send is stopped.
static void AnnounceList(const XferLink& link, int nFiles)
{
    const XFERFILE* pFiles = g_xfer.pXferFiles;
    while (!TransferStopped()) {
        uint32_t crc = Crc32Block(pFiles, 256 * nFiles);
        uint8_t abHead[5] = {(uint8_t)nFiles};
        memcpy(abHead + 1, &crc, 4);
        XferPiece pieces[2] = {{abHead, 5}, {pFiles, 256 * nFiles}};
        link.pfnSendMessage(XC_FILE_LIST, pieces, 2);
        Sleep(link.msReplyWait);
        switch (link.pfnRecvCode()) {
        case XC_OK:
            return;
        case XC_NO_SPACE:
            StopTransfer(STOP_REFUSED_NO_SPACE);
            return;
        case XC_NAME_CONFLICT:
            StopTransfer(STOP_REFUSED_NAMES);
            return;
        case XC_CANT_CREATE:
            StopTransfer(STOP_REFUSED_CREATE);
            return;
        default:
            break;      // a bad, garbled or missing reply: the list goes again
        }
    }
}

// Asks the receiver to create file iFile; 1 when it did. A link that asks once skips the file
// on any other answer.
static int OpenAtReceiver(const XferLink& link, int iFile)
{
    uint8_t bIndex = (uint8_t)iFile;
    XferPiece piece = {&bIndex, 1};
    for (;;) {
        link.pfnSendMessage(XC_OPEN_FILE, &piece, 1);
        Sleep(link.msReplyWait);
        uint8_t code = link.pfnRecvCode();
        if (code == XC_CANT_CREATE) {
            StopTransfer(STOP_REFUSED_CREATE);
            return 0;
        }
        if (code == link.codeOpened)
            return 1;
        if (!link.bOpenUntilAnswered || TransferStopped())
            return 0;
    }
}

// A block is copied out of the view before its CRC is taken and it is sent, so that a
// source that shrinks or is locked meanwhile makes the copy fail instead of the sender
// crashing, or a block going out with bytes that are not the file's. Block k is kept in
// slot k & 1: the next block is made ready while the reply to this one is on its way, and
// this one is still at hand should it have to go again. Owner: the sender, on the worker's
// thread.
struct ReadyBlock {
    int32_t k = -1;         // the block held, or -1
    int32_t len = 0;
    uint32_t crc = 0;
    uint8_t ab[PACKET_BUF_BYTES];
};
static ReadyBlock s_ready[2];

// Makes block k ready in its slot; 0 when its bytes cannot be mapped or read.
static int ReadyBlockBytes(XferMapping* pMap, int32_t k, int32_t cbBlock)
{
    ReadyBlock& b = s_ready[k & 1];
    if (b.k == k)
        return 1;
    b.k = -1;
    int32_t len = BlockLength(k, pMap->dwSize, cbBlock);
    const uint8_t* pView = XferBlockBytes(pMap, k, cbBlock, len);
    g_xfer.pXferView = pMap->pView;
    if (len > 0 && (!pView || len > PACKET_BUF_BYTES || !CopyViewBytes(b.ab, pView, len)))
        return 0;
    b.len = len;
    b.crc = Crc32Block(b.ab, len);
    b.k = k;
    return 1;
}

// Sends the blocks of the open file; 1 when the last was acknowledged, 0 when the send
// stopped. A block whose bytes cannot be mapped or read stops the send as an unreadable
// source would.
static int SendBlocks(const XferLink& link, int iFile, XferMapping* pMap)
{
    int32_t cbBlock = g_settings.cbBlock;
    s_ready[0].k = s_ready[1].k = -1;       // the slots hold blocks of the file before
    while (!TransferStopped()) {
        int32_t k = g_xfer.iXferBlock;
        if (!ReadyBlockBytes(pMap, k, cbBlock)) {
            g_xfer.iUnreadableFile = iFile;
            StopTransfer(STOP_SOURCE_UNREADABLE);
            return 0;
        }
        const ReadyBlock& b = s_ready[k & 1];
        int32_t len = b.len;
        XferPiece pieces[3] = {{&k, 4}, {&b.crc, 4}, {b.ab, len}};
        link.pfnSendMessage(XC_BLOCK, pieces, 3);
        // A block that cannot be read is only given up when it is its turn.
        if (k + 1 < g_xfer.nXferBlocks)
            ReadyBlockBytes(pMap, k + 1, cbBlock);
        link.pfnPaceBlock();

        uint8_t code = link.pfnRecvCode();
        int bTaken = 0;
        if (code == XC_ABORT) {
            StopTransfer(STOP_PEER_ABORT);
        } else if (!link.bBlockReplyNamesIndex) {
            bTaken = code == XC_BLOCK_OK;
        } else if (code == XC_BLOCK_OK || code == XC_BLOCK_BAD) {
            // The reply names the block it answers; an acknowledgement of any other block is
            // not one for this block.
            int32_t kAcked = -1;
            int bNamed = link.pfnRecv(&kAcked, 4) == 4;
            bTaken = code == XC_BLOCK_OK && bNamed && kAcked == k;
        }
        if (bTaken) {
            g_xfer.iXferBlock = k + 1;
            g_xfer.dwXferDone += len;
        }
        if (g_xfer.iXferBlock == g_xfer.nXferBlocks)
            return 1;
    }
    return 0;
}

// 1 when the receiver confirmed the close. A socket receiver acknowledges a block before it
// stores it, so a drive that refuses the last block's bytes is only reported here, by the
// abort notice in place of the reply.
static int CloseAtReceiver(const XferLink& link)
{
    while (!TransferStopped()) {
        link.pfnSendCode(XC_CLOSE_FILE);
        Sleep(link.msCloseWait);
        uint8_t code = link.pfnRecvCode();
        if (code == XC_OK)
            return 1;
        if (code == XC_ABORT)
            StopTransfer(STOP_PEER_ABORT);
        // A cancel while the reply was on its way: the receiver may have kept the file, and
        // a file it kept is one that was sent.
        else if (TransferStopped())
            return link.pfnReplyAfterStop(XC_OK);
    }
    return 0;
}

// One file of the batch: read its source, have the receiver create it, send its blocks and
// close it; it counts as sent once all its blocks were taken and the close confirmed. A
// source that cannot be read stops the send, since nothing else may be sent in place of
// its bytes.
static void SendOneFile(const XferLink& link, int iFile)
{
    const XFERFILE& rec = g_xfer.pXferFiles.load()[iFile];
    g_xfer.iXferBlock = 0;
    g_xfer.nXferBlocks = LinkBlockCount(link, rec.dwSize);

    // The file is opened by its full path, which the record may carry only in part; the
    // name shown is the one the receiver takes from the record.
    char szPath[MAX_PATH], szName[128];
    SourcePathOfRecord(iFile, szPath);
    PathFileName(szPath, szName);
    XferMapping map;
    if (!MapSourceFile(szPath, rec.dwSize, &map)) {
        g_xfer.iUnreadableFile = iFile;
        StopTransfer(STOP_SOURCE_UNREADABLE);
        return;
    }
    g_xfer.hXferMap = map.hMap;
    g_xfer.pXferView = map.pView;

    int bOpened = OpenAtReceiver(link, iFile);
    int bAllTaken = 0;
    if (bOpened) {
        UiFileName(szName);
        // An empty file on a socket has no block to send.
        bAllTaken = g_xfer.nXferBlocks == 0 || SendBlocks(link, iFile, &map);
    }
    g_xfer.hXferMap = nullptr;
    g_xfer.pXferView = nullptr;
    UnmapXferFile(&map);
    if (bOpened && CloseAtReceiver(link) && bAllTaken) {
        g_xfer.abFileSent[iFile] = 1;
        g_xfer.nFilesOk++;
    }
}

static void SendFiles(const XferLink& link)
{
    int nFiles = g_xfer.nXferFiles;
    if (nFiles > MAX_LIST_FILES)
        nFiles = MAX_LIST_FILES;
    if (nFiles < 0)
        nFiles = 0;
    // Replies of an earlier exchange would be taken for the answers to this one.
    if (link.bDiscardBeforeSend)
        link.pfnDiscardInput();
    g_xfer.dwXferDone = 0;
    g_xfer.iXferFile = 0;
    AnnounceList(link, nFiles);
    for (; g_xfer.iXferFile < nFiles && !TransferStopped(); g_xfer.iXferFile++)
        SendOneFile(link, g_xfer.iXferFile);

    if (!TransferStopped()) {
        UiPlaySound("infend");
        UiCloseStatus(link.bSenderAwaitsStatusClose);
        return;
    }
    g_xfer.iXferFile--;
    for (int i = 0; i < ABORT_NOTICES; i++)
        if (link.pfnAbortNotice(link.msAbortWait))
            break;
    UiPlaySound("infintr");
    UiCloseStatus(link.bSenderAwaitsStatusClose);
}

void CommSendFiles()
{
    SendFiles(SerialXferLink);
}

void SockSendFiles()
{
    SendFiles(SocketXferLink);
}
