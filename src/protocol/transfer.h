// Sending and receiving a batch of files over either link.
#pragma once

#include <cstdint>

void CommSendFiles();
void SockSendFiles();
void CommServePeer();
void SockServePeer();
void EndSocketExchange();
int AnyNameConflict();
// The result of the received batch that was numbered dwBatch by dwRecvBatch (the files kept,
// and the files announced): kept as it ended when it did, else its live counters.
void ReceivedBatchResult(uint32_t dwBatch, int* pnOk, int* pnFiles);
