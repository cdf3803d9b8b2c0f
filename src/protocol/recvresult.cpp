// The result of a received batch, kept for the receive command once the batch is over.
#include "protocol/recvresult.h"

#include "connection/linkui.h"
#include "protocol/transferstate.h"

#include <windows.h>

#include <cstring>

// The result of the received batch that ended last, kept for the receive command, which may
// read it only once the worker is serving the next peer. Written by the worker, read by the
// user interface, both under s_resultLock.
static ReceivedBatch s_kept;
static int s_bKept;
static SRWLOCK s_resultLock = SRWLOCK_INIT;

void EndReceivedBatch()
{
    AcquireSRWLockExclusive(&s_resultLock);
    s_kept.dwBatch = g_xfer.dwRecvBatch;
    s_kept.nOk = g_xfer.nFilesOk;
    s_kept.nFiles = g_xfer.nXferFiles;
    strcpy(s_kept.szFrom, g_xfer.szRecvFrom);
    s_bKept = 1;
    ReleaseSRWLockExclusive(&s_resultLock);
    UiCloseStatus(0);
}

void ReceivedBatchResult(uint32_t dwBatch, ReceivedBatch* pResult)
{
    AcquireSRWLockShared(&s_resultLock);
    // Kept for this batch or a later one (the batch numbers may wrap); else the batch is
    // still this one, and its live counters are its result.
    if (s_bKept && s_kept.dwBatch - dwBatch < 0x80000000u) {
        *pResult = s_kept;
    } else {
        pResult->dwBatch = dwBatch;
        pResult->nOk = g_xfer.nFilesOk;
        pResult->nFiles = g_xfer.nXferFiles;
        strcpy(pResult->szFrom, g_xfer.szRecvFrom);
    }
    ReleaseSRWLockShared(&s_resultLock);
}
