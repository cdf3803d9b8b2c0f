// The byte pipe on the connected data socket: whole sends, exact receives, a read-ahead.
#pragma once
#include <winsock2.h>
#include <cstdint>

// Room in the byte pipe's read-ahead for the largest message (a list, or a block of the
// largest size, with its frame and header), so that one receive can take a whole message.
enum { PIPE_READ_AHEAD_BYTES = 65536 + 64 };

// Closes the data socket, if there is one; safe from any thread, since the handle is taken
// from the shared state before it is closed, so that only the first caller closes it.
void CloseDataSocket();
void SockSendAll(const void* pBuf, int32_t len);
int SockRecvAll(void* pBuf, int32_t len);
// The bytes already received or waiting on the data socket, up to cbMax, even once the transfer
// is stopped; recv's result when there are none.
int SockRecvWaiting(void* pBuf, int32_t cbMax);
// Throws away whatever has arrived and not been read.
void SockDiscardWaiting();
// 1 when the last socket call only found nothing within its wait (the socket's time-out).
int SockWouldWait();
// Lets a finished exchange's link stand until the peer has closed its end, at most ms, so
// that the peer reads the last reply before the close reaches it; what comes is dropped.
void SockLinger(int ms);

// Options every connected socket gets: blocking with a 10 ms receive time-out, no
// Nagle delay, 1 MiB buffers.
void PrepareDataSocket(SOCKET s);
// The 1 MiB buffers alone, for a socket before it connects.
void SetSocketBuffers(SOCKET s);
