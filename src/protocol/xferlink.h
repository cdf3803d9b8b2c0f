// The two links of a transfer as one table of operations, so that the sender and the
// receivers write their common steps once and each link supplies only what differs.
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
    int bSerial;
    // Sends a code frame followed by its pieces: separate writes on the serial line, one
    // send from pPacketBuf (or a small local buffer) on a socket.
    void (*pfnSendMessage)(uint8_t code, const XferPiece* pPieces, int nPieces);
    void (*pfnSendCode)(uint8_t code);
    uint8_t (*pfnRecvCode)();
    int (*pfnRecv)(void* pBuf, int32_t n);
    void (*pfnSendRaw)(const void* pBuf, int32_t n);    // bytes with no frame before them
    // Sends the XC_ABORT frame even though the transfer is already stopped (the socket pipe refuses
    // to send then) and returns 1 when the peer's XC_ACK came back within msWait; with
    // msWait below 0 it only sends.
    int (*pfnAbortNotice)(int msWait);
    // 1 when the peer's reply frame of code to a message sent before the send was stopped
    // has come, though the stop keeps the link's own reads from taking it.
    int (*pfnReplyAfterStop)(uint8_t code);
    uint8_t codeOpened;     // the receiver's reply to XC_OPEN_FILE that it succeeded
    // Pauses before a reply is read. The serial line needs them: its read gives up after the
    // port's time-out. A socket read waits for the reply itself, so the socket has none.
    int msReplyWait;        // after the list and an open
    int msCloseWait;        // after XC_CLOSE_FILE
    int msAbortWait;        // the longest wait for the reply to each abort notice
};

extern const XferLink SerialXferLink;
extern const XferLink SocketXferLink;

// The block count of a file of dwSize bytes by the link's rule.
int32_t LinkBlockCount(const XferLink& link, uint32_t dwSize);
