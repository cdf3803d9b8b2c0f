// Socket blocks stored into the destination's mapped view on a thread of their own.
//
// The first write to each page of a new file costs a page fault in which the file system
// finds room for it, about as long as the block's whole exchange on a LAN. A socket block
// is acknowledged before it is stored, so the copy can go on beside the next block's
// exchange instead of before it. One block at a time is in hand: the worker waits for it
// before it moves the view, closes the file, or hands over the next one.
#include "protocol/blockstore.h"

#include "connection/control.h"
#include "protocol/packets.h"
#include "protocol/viewcopy.h"

#include <windows.h>

#include <cstring>

// Under Wine an event is an object of the wineserver, and setting or waiting on one costs a
// round trip to it, which was as long as the block's store itself; a slim lock and its
// condition variables are kept inside the process.
static SRWLOCK s_lock = SRWLOCK_INIT;
static CONDITION_VARIABLE s_cvHanded = CONDITION_VARIABLE_INIT,
                          s_cvStored = CONDITION_VARIABLE_INIT;
static int s_bStarted;                 // the worker's own
// Under s_lock, shared by the worker and the store thread: a block handed over and not yet
// stored (its bytes in s_abBlock), where it goes, and a refusal.
static int s_bHanded;
static uint8_t* s_pDest;
static int32_t s_cb;
static int s_bFailed;
static uint8_t s_abBlock[PACKET_BUF_BYTES];

// A store the drive refused leaves the file incomplete. The worker may be waiting for the
// next message; an abort ends that wait at once, and the batch then ends with the abort
// notice to the sender. Called without s_lock held.
static void NoteStoreFailure()
{
    AcquireSRWLockExclusive(&s_lock);
    s_bFailed = 1;
    ReleaseSRWLockExclusive(&s_lock);
    StopTransfer(STOP_DRIVE_FAILED);
}

static DWORD WINAPI StoreThread(void*)
{
    AcquireSRWLockExclusive(&s_lock);
    for (;;) {
        while (!s_bHanded)
            SleepConditionVariableSRW(&s_cvHanded, &s_lock, INFINITE, 0);
        uint8_t* pDest = s_pDest;
        int32_t cb = s_cb;
        ReleaseSRWLockExclusive(&s_lock);
        if (!CopyViewBytes(pDest, s_abBlock, cb))
            NoteStoreFailure();
        AcquireSRWLockExclusive(&s_lock);
        s_bHanded = 0;
        WakeConditionVariable(&s_cvStored);
    }
}

// The thread lives as long as the process, asleep between blocks.
static int StartStoreThread()
{
    if (!s_bStarted) {
        HANDLE hThread = CreateThread(nullptr, 0, StoreThread, nullptr, 0, nullptr);
        if (!hThread)
            return 0;
        CloseHandle(hThread);
        s_bStarted = 1;
    }
    return 1;
}

// With s_lock held: waits until the store thread has no block in hand.
static void WaitUntilStored()
{
    while (s_bHanded)
        SleepConditionVariableSRW(&s_cvStored, &s_lock, INFINITE, 0);
}

void StoreInBackground(uint8_t* pDest, const uint8_t* pSrc, int32_t len)
{
    if (len <= 0)
        return;
    if (!StartStoreThread()) {
        // No thread to be had: the block is stored here, as a serial block is.
        if (!CopyViewBytes(pDest, pSrc, len))
            NoteStoreFailure();
        return;
    }
    AcquireSRWLockExclusive(&s_lock);
    WaitUntilStored();
    memcpy(s_abBlock, pSrc, len);
    s_pDest = pDest;
    s_cb = len;
    s_bHanded = 1;
    ReleaseSRWLockExclusive(&s_lock);
    WakeConditionVariable(&s_cvHanded);
}

int FinishBackgroundStores()
{
    AcquireSRWLockExclusive(&s_lock);
    WaitUntilStored();
    int bOk = !s_bFailed;
    ReleaseSRWLockExclusive(&s_lock);
    return bOk;
}

void ForgetStoreFailure()
{
    AcquireSRWLockExclusive(&s_lock);
    s_bFailed = 0;
    ReleaseSRWLockExclusive(&s_lock);
}
