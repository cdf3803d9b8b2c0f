// Serving a peer in answer mode: the two dispatchers, the answering side of the handshake,
// and the checks on a file list before its batch is received.
#include "protocol/receiver.h"

#include "base/folderpath.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "connection/sockpipe.h"
#include "protocol/askreceive.h"
#include "protocol/packets.h"
#include "protocol/readback.h"
#include "protocol/recvfile.h"
#include "protocol/recvresult.h"
#include "protocol/transferstate.h"
#include "protocol/xferlink.h"

#include <cstdio>
#include <cstring>

// The socket exchange under way. Owner: the worker.
static int s_bBatchShown;           // a batch of this exchange has its status dialog
// When the socket peer last began anything: its connection, or its last file list.
static DWORD s_dwPeerActiveTick;

// Who sends, as the user is told: the owner name the peer gave in a handshake, else what
// the link knows of it (a socket peer's address); "" for a serial peer that gave no name.
static void DescribeSender(const XferLink& link, char* pszFrom, size_t cb)
{
    if (g_link.szPeerName[0])
        snprintf(pszFrom, cb, "%s", g_link.szPeerName);
    else
        link.pfnDescribePeer(pszFrom, (int)cb);
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
    ForgetRecvBatch();  // a new list ends whatever batch a file was open for
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
    if (link.bShowStatusBeforeChecks && !bAsk)
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
    const DestName* pDest =
        PrepareRecvBatch(pFiles, bCount, g_settings.szDestDir, g_settings.bOverwrite);
    // A file that replaces an original is written beside it, and the original is given back
    // only once the new one has its name. The total counts every file whole, also those, and
    // the originals are outside the free figure already: it is the most the batch holds.
    uint64_t qwFree;
    if (QueryFreeSpace(&qwFree) && qwFree < qwTotal) {
        link.pfnSendCode(XC_NO_SPACE);
        return;
    }
    if (bAsk) {
        ReceiveAnswer answer = AskAboutBatch(bCount, crc, qwTotal, g_xfer.szRecvFrom, pDest);
        if (answer == ANSWER_NONE)
            return;
        // Declined: of the refusals a sender knows, the one that says the receiver will not
        // create its files, and ends the send at once.
        if (answer != ANSWER_ACCEPT) {
            link.pfnSendCode(XC_CANT_CREATE);
            return;
        }
        if (link.bShowStatusBeforeChecks)
            StartReceiving();
    }
    AcceptRecvBatch();
    link.pfnSendCode(XC_OK);
    if (!link.bShowStatusBeforeChecks)
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

// The peer stops the batch. The acknowledgement goes before the stop, since the
// socket pipe sends nothing once it is; the unfinished file goes with the batch.
static void OnAbort(const XferLink& link)
{
    link.pfnSendCode(XC_ACK);
    StopTransfer(STOP_PEER_ABORT);
    DropRecvFile();
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
        OnBlock(link);
        return 1;
    case XC_CLOSE_FILE:
        OnCloseFile(link);
        return 1;
    case XC_ABORT:
        OnAbort(link);
        return 1;
    }
    return link.bServesReadBack && ServeReadBack(link, code);
}

void CommServePeer()
{
    // A receive cancelled here while the sender has gone quiet: nothing will close the
    // file for us.
    if (TransferStopped() && g_worker.iWorkerState == WS_IDLE)
        DropRecvFile();
    ServeMessage(SerialXferLink, SerialXferLink.pfnRecvCode());
}

// The socket exchange is over: tell the peer, drop the unfinished file, close the link, go
// back to accepting. The link is closed here, by the thread that serves it, so that nothing
// closes it after a new peer's connection has taken its place.
void EndSocketExchange()
{
    SocketXferLink.pfnAbortNotice(-1);
    DropRecvFile();
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
    ForgetRecvBatch();
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

