// The result of a received batch, kept for the receive command once the batch is over.
#pragma once

#include <cstdint>

// The files kept, the files announced, and who sent them.
struct ReceivedBatch {
    uint32_t dwBatch;       // its number, counted by dwRecvBatch
    int nOk;
    int nFiles;
    char szFrom[128];
};
// The received batch is over: its result is kept, and its status dialog is closed.
void EndReceivedBatch();
// The result of the received batch numbered dwBatch: kept as it ended when it did, else its
// live counters.
void ReceivedBatchResult(uint32_t dwBatch, ReceivedBatch* pResult);
