// The serial link: byte I/O on the open port and code frames.
#pragma once
#include <cstdint>

int CommRead(void* pBuf, int32_t n);
int CommWrite(const void* pBuf, int32_t n);
void CommSendCode(uint8_t code);
uint8_t CommRecvCode();

