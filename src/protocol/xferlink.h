// The two links of a transfer as one table: the byte I/O and every rule in which the serial
// line and the socket differ, so that the sender and the receiver are written once.
#pragma once

#include <cstdint>

// A code frame on the data socket, sent in one call; read, with the frame's checks.
void SockSendCode(uint8_t code);
uint8_t SockRecvCode();

// One piece of a message after its code frame (a field, the records, the block data).
struct XferPiece {
    const void* pData;
    int32_t cb;
};

struct XferLink {
    // Byte I/O.
    // Sends a code frame followed by its pieces: separate writes on the serial line, one
    // send from pPacketBuf (or a small local buffer) on a socket.
    void (*pfnSendMessage)(uint8_t code, const XferPiece* pPieces, int nPieces);
    void (*pfnSendCode)(uint8_t code);
    uint8_t (*pfnRecvCode)();
    int (*pfnRecv)(void* pBuf, int32_t n);
    void (*pfnSendRaw)(const void* pBuf, int32_t n);    // bytes with no frame before them
    // Throws away what has arrived and not been read.
    void (*pfnDiscardInput)();
    // Sends the XC_ABORT frame even though the transfer is already stopped (the socket pipe
    // refuses to send then) and returns 1 when the peer's XC_ACK came back within msWait;
    // with msWait below 0 it only sends.
    int (*pfnAbortNotice)(int msWait);
    // 1 when the peer's reply frame of code to a message sent before the send was stopped
    // has come, though the stop keeps the link's own reads from taking it.
    int (*pfnReplyAfterStop)(uint8_t code);
    // Who the peer is, as far as the link knows it apart from a handshake: the socket peer's
    // address; "" on the serial line.
    void (*pfnDescribePeer)(char* pszText, int cb);

    // Pauses. The serial line needs them before a reply is read: its read gives up after the
    // port's time-out. A socket read waits for the reply itself.
    int msReplyWait;        // after the list and an open
    int msCloseWait;        // after XC_CLOSE_FILE
    int msAbortWait;        // the longest wait for the reply to each abort notice
    // The sender's pause after each block, which lets a slow link drain before the reply is
    // read; the receiver's between a block's index and the rest, for a port that delivers a
    // block slowly.
    void (*pfnPaceBlock)();
    void (*pfnAwaitBlockRest)();

    // The rules of the exchange.
    uint8_t codeOpened;         // the receiver's reply to XC_OPEN_FILE that it succeeded
    // The sender asks for each open until it is answered, so the receiver acknowledges a
    // repeated open of the file it has just opened, and takes opens only in order. Otherwise
    // the sender asks once and skips a file not opened, and the receiver takes any later one.
    int bOpenUntilAnswered;
    // A file has one block more than its full blocks, the last one short or empty; otherwise
    // as many blocks as it takes to hold it, none for an empty file.
    int bTrailingBlock;
    int bBlockReplyNamesIndex;  // XC_BLOCK_OK and XC_BLOCK_BAD carry the block's index
    // The reply to a block goes as soon as the block is known good, and its bytes are stored
    // while the next is on its way; otherwise it is stored before the reply.
    int bStoreBehindReply;
    // After a block out of step the receiver throws away what waits on the line. Otherwise
    // it reads the awaited block's length, so that the stream stays in step with the
    // sender's messages.
    int bDiscardAfterMisplacedBlock;
    int bDiscardBeforeSend;     // a send starts by throwing away replies of an earlier one
    // The receiver shows its status dialog as soon as a list comes (unless the user is to be
    // asked), before the list's checks; otherwise once the list is accepted.
    int bShowStatusBeforeChecks;
    int bServesReadBack;        // the peer may read files back (XC_OPEN_READ and the rest)
    int bSenderAwaitsStatusClose;   // the sender's last word waits for its status dialog
};

extern const XferLink SerialXferLink;
extern const XferLink SocketXferLink;

// The block count of a file of dwSize bytes by the link's rule.
int32_t LinkBlockCount(const XferLink& link, uint32_t dwSize);
