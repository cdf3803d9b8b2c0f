// The serial link: byte I/O on the open port, code frames, the connect handshake and the
// keep-alive.
#pragma once
#include <cstdint>

int CommRead(void* pBuf, int32_t n);
int CommWrite(const void* pBuf, int32_t n);
void CommSendCode(uint8_t code);
uint8_t CommRecvCode();
void CommConnect();
void CommKeepAlive();

// The answering side's part of the handshake, on the serial link (bSocket 0) or the data
// socket: answers XC_PING, XC_LINK, XC_GET_NAME, XC_PUT_NAME and (by silence) XC_KEEPALIVE.
// Returns 1 when the code was one of these, 0 for any other code (nothing is done).
int AnswerHandshake(uint8_t code, int bSocket);
