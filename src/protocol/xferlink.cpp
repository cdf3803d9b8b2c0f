// The serial and socket tables that the transfer's common steps are written against.
#include "protocol/xferlink.h"

#include "connection/link.h"
#include "connection/settings.h"
#include "connection/sockpipe.h"
#include "protocol/packets.h"
#include "protocol/seriallink.h"
#include "protocol/transferstate.h"

#include <cstdio>
#include <cstring>

static_assert(PIPE_READ_AHEAD_BYTES >= PACKET_BUF_BYTES + 64,
              "the socket pipe's read-ahead must hold the largest message");

void SockSendCode(uint8_t code)
{
    uint8_t abFrame[4];
    MakeCodeFrame(abFrame, code);
    SockSendAll(abFrame, 4);
}

static int ReadFromDataSocket(void*, uint8_t* pBuf, int n)
{
    return SockRecvAll(pBuf, n);
}

uint8_t SockRecvCode()
{
    return SocketFrameCode(ReadFromDataSocket, nullptr);
}

// The serial line takes a message in pieces: the frame, then each field with its own write,
// block data straight from the caller's memory.
static void CommSendMessage(uint8_t code, const XferPiece* pPieces, int nPieces)
{
    CommSendCode(code);
    for (int i = 0; i < nPieces; i++)
        if (pPieces[i].cb > 0)
            CommWrite(pPieces[i].pData, pPieces[i].cb);
}

static int CommAbortNotice(int msWait)
{
    CommSendCode(XC_ABORT);
    if (msWait < 0)
        return 0;
    Sleep(msWait);
    return CommRecvCode() == XC_ACK;
}

// A socket message goes out in one send so that the peer never sees it split by a pause;
// short replies are built on the stack, because pPacketBuf may still hold a received block.
static void SockSendMessage(uint8_t code, const XferPiece* pPieces, int nPieces)
{
    uint8_t abSmall[64];
    int32_t cbTotal = 4;
    for (int i = 0; i < nPieces; i++)
        cbTotal += pPieces[i].cb > 0 ? pPieces[i].cb : 0;
    uint8_t* pMsg = cbTotal <= (int32_t)sizeof abSmall ? abSmall : g_xfer.pPacketBuf.load();
    if (!pMsg || cbTotal > PACKET_BUF_BYTES)
        return;
    MakeCodeFrame(pMsg, code);
    int32_t off = 4;
    for (int i = 0; i < nPieces; i++) {
        if (pPieces[i].cb <= 0)
            continue;
        memcpy(pMsg + off, pPieces[i].pData, pPieces[i].cb);
        off += pPieces[i].cb;
    }
    SockSendAll(pMsg, cbTotal);
}

static void CommSendRaw(const void* pBuf, int32_t n)
{
    CommWrite(pBuf, n);
}

// Whether the peer's frame of code comes within msWait (at least one look at what is
// waiting), read past the socket pipe, which reads nothing once the transfer is stopped. Each look
// waits for data up to the socket's receive time-out.
static int SockFrameArrived(uint8_t code, int msWait)
{
    uint8_t abIn[512 + 3], abFrame[4];
    MakeCodeFrame(abFrame, code);
    int nKept = 0;      // the last bytes of the look before, which may begin the frame
    DWORD dwStart = GetTickCount();
    do {
        int n = SockRecvWaiting(abIn + nKept, 512);
        if (n == 0 || (n < 0 && !SockWouldWait()))
            return 0;       // the peer has gone
        if (n < 0)
            continue;
        n += nKept;
        for (int i = 0; i + 3 < n; i++)
            if (memcmp(abIn + i, abFrame, 4) == 0)
                return 1;
        nKept = n < 3 ? n : 3;
        memmove(abIn, abIn + n - nKept, nKept);
    } while ((int)(GetTickCount() - dwStart) < msWait);
    return 0;
}

// The socket pipe sends nothing once the transfer is stopped, yet a stopped exchange must still tell
// the peer. The frame is written straight to the socket (4 bytes always fit its buffer) and
// the bytes that came back within msWait are searched for the peer's XC_ACK.
static int SockAbortNotice(int msWait)
{
    SOCKET hSock = g_link.hDataSock;
    if (hSock == INVALID_SOCKET) {
        Sleep(msWait > 0 ? msWait : 0);
        return 0;
    }
    uint8_t abFrame[4];
    MakeCodeFrame(abFrame, XC_ABORT);
    send(hSock, (const char*)abFrame, 4, 0);
    if (msWait < 0)
        return 0;
    return SockFrameArrived(XC_ACK, msWait);
}

// A stop that came while the reply to the last message was on its way: the socket's reply
// is looked for past the pipe. The serial read is not stopped, so what came was read.
static int SockReplyAfterStop(uint8_t code)
{
    return g_link.hDataSock != INVALID_SOCKET && SockFrameArrived(code, 0);
}

static int CommReplyAfterStop(uint8_t)
{
    return 0;
}

static void CommDiscardInput()
{
    if (HANDLE hPort = g_link.hComm)
        PurgeComm(hPort, PURGE_RXCLEAR);
}

static void CommDescribePeer(char* pszText, int)
{
    pszText[0] = 0;
}

static void SockDescribePeer(char* pszText, int cb)
{
    pszText[0] = 0;
    if (g_link.dwDataPeerAddr) {
        in_addr addr;
        addr.s_addr = g_link.dwDataPeerAddr;
        snprintf(pszText, cb, "%s", inet_ntoa(addr));
    }
}

// A serial block's line time is about a hundredth of a second per 100 bytes at the common
// rates; the USB cable has no line to drain.
static void CommPaceBlock()
{
    Sleep(g_settings.iCommType == CT_USB ? 5 : g_settings.cbBlock / 100);
}

static void SockPaceBlock()
{
    if (g_settings.iCommType == CT_IRDA)
        Sleep(g_settings.cbBlock / 20);
}

// The raw infrared port delivers a block slowly.
static void CommAwaitBlockRest()
{
    if (g_settings.iCommType == CT_RAWIR)
        Sleep(g_settings.cbBlock / 20);
}

static void NoPause()
{
}

const XferLink SerialXferLink = {
    CommSendMessage, CommSendCode, CommRecvCode, CommRead, CommSendRaw, CommDiscardInput,
    CommAbortNotice, CommReplyAfterStop, CommDescribePeer,
    20, 20, 20, CommPaceBlock, CommAwaitBlockRest,
    XC_OK,
    0,      // bOpenUntilAnswered
    1,      // bTrailingBlock
    0,      // bBlockReplyNamesIndex
    0,      // bStoreBehindReply
    1,      // bDiscardAfterMisplacedBlock
    0,      // bDiscardBeforeSend
    1,      // bShowStatusBeforeChecks
    1,      // bServesReadBack
    1,      // bSenderAwaitsStatusClose
};

const XferLink SocketXferLink = {
    SockSendMessage, SockSendCode, SockRecvCode, SockRecvAll, SockSendAll, SockDiscardWaiting,
    SockAbortNotice, SockReplyAfterStop, SockDescribePeer,
    0, 0, 50, SockPaceBlock, NoPause,
    XC_ACK,
    1,      // bOpenUntilAnswered
    0,      // bTrailingBlock
    1,      // bBlockReplyNamesIndex
    1,      // bStoreBehindReply
    0,      // bDiscardAfterMisplacedBlock
    1,      // bDiscardBeforeSend
    0,      // bShowStatusBeforeChecks
    0,      // bServesReadBack
    0,      // bSenderAwaitsStatusClose
};

int32_t LinkBlockCount(const XferLink& link, uint32_t dwSize)
{
    return BlockCount(dwSize, g_settings.cbBlock, link.bTrailingBlock);
}
