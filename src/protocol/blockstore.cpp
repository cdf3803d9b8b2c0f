// Socket blocks stored into the destination's mapped view on a thread of their own.
//
// The first write to each page of a new file costs a page fault in which the file system
// finds room for it, several times the cost of the block's exchange on a LAN. A socket block
// is acknowledged before it is stored, so the copy can go on beside the next block's
// exchange instead of before it. One block at a time is in hand: the worker waits for it
// before it moves the view, closes the file, or hands over the next one.
#include "protocol/blockstore.h"

#include "connection/session.h"
#include "protocol/packets.h"
#include "protocol/viewcopy.h"

#include <windows.h>

#include <atomic>
#include <cstring>

static HANDLE s_hStart, s_hDone;       // auto-reset: a block handed over; manual: idle
static uint8_t s_abBlock[PACKET_BUF_BYTES];
static uint8_t* s_pDest;
static int32_t s_cb;
static int s_bPending;                 // handed over and not yet waited for (worker's own)
static std::atomic<int> s_bFailed{0};

static DWORD WINAPI StoreThread(void*)
{
    for (;;) {
        WaitForSingleObject(s_hStart, INFINITE);
        if (!CopyViewBytes(s_pDest, s_abBlock, s_cb)) {
            s_bFailed = 1;
            // The worker may be waiting for the next message; an abort ends that wait at
            // once, and the batch then ends with the abort notice to the sender.
            g_state.bAbort = 1;
        }
        SetEvent(s_hDone);
    }
}

// The thread lives as long as the process, blocked between files.
static int StartStoreThread()
{
    if (s_hStart)
        return 1;
    HANDLE hStart = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE hDone = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    HANDLE hThread = hStart && hDone ? CreateThread(nullptr, 0, StoreThread, nullptr, 0, nullptr)
                                     : nullptr;
    if (!hThread) {
        if (hStart)
            CloseHandle(hStart);
        if (hDone)
            CloseHandle(hDone);
        return 0;
    }
    CloseHandle(hThread);
    s_hStart = hStart;
    s_hDone = hDone;
    return 1;
}

void StoreInBackground(uint8_t* pDest, const uint8_t* pSrc, int32_t len)
{
    FinishBackgroundStores();
    if (len <= 0)
        return;
    if (!StartStoreThread()) {
        // No thread to be had: the block is stored here, as a serial block is.
        if (!CopyViewBytes(pDest, pSrc, len)) {
            s_bFailed = 1;
            g_state.bAbort = 1;
        }
        return;
    }
    memcpy(s_abBlock, pSrc, len);
    s_pDest = pDest;
    s_cb = len;
    ResetEvent(s_hDone);
    s_bPending = 1;
    SetEvent(s_hStart);
}

int FinishBackgroundStores()
{
    if (s_bPending) {
        WaitForSingleObject(s_hDone, INFINITE);
        s_bPending = 0;
    }
    return !s_bFailed;
}

void ForgetStoreFailure()
{
    s_bFailed = 0;
}
