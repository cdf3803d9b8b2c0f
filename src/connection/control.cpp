// The worker's control words, written in the order the worker reads them.
#include "connection/control.h"

WorkerControl g_worker;

void MoveWorkerState(int32_t iNew)
{
    int32_t iState = g_worker.iWorkerState;
    while (iState != WS_QUIT && !g_worker.iWorkerState.compare_exchange_weak(iState, iNew)) {
    }
}

// Set when the worker is given something to do, so that it starts at once instead of at the
// end of its pause: a send waits for no pass, and neither does a quit.
static HANDLE s_hWake = CreateEventA(nullptr, FALSE, FALSE, nullptr);

static void WakeWorker()
{
    SetEvent(s_hWake);
}

void StartConnect()
{
    g_worker.bAnswerMode = 0;
    ClearStop();
    g_worker.iWorkerState = WS_CONNECT;
    WakeWorker();
}

void StartSend()
{
    g_worker.bAnswerMode = 0;
    g_worker.iWorkerState = WS_SEND;
    WakeWorker();
}

void StopTransfer(StopReason why)
{
    // The reason goes first, so that whoever sees the stop finds its reason.
    int32_t iNone = STOP_NONE;
    g_worker.iStopReason.compare_exchange_strong(iNone, why);
    g_worker.bAbort = 1;
}

void ClearStop()
{
    g_worker.iStopReason = STOP_NONE;
    g_worker.bAbort = 0;
}

void CancelTransfer()
{
    StopTransfer(STOP_USER);
    g_worker.iWorkerState = WS_IDLE;
    g_worker.bAnswerMode = 1;
}

void ReturnToAnswerMode()
{
    g_worker.iWorkerState = WS_IDLE;
    g_worker.bAnswerMode = 1;
}

void QuitWorker()
{
    g_worker.bAnswerMode = 0;
    g_worker.iWorkerState = WS_QUIT;
    StopTransfer(STOP_QUITTING);
    WakeWorker();
}

void ClearCancel()
{
    if (!g_worker.bSending)
        ClearStop();
}

void AwaitWork(DWORD ms, HANDLE hOther)
{
    HANDLE ah[2] = {s_hWake, hOther};
    WaitForMultipleObjects(hOther ? 2 : 1, ah, FALSE, ms);
}
