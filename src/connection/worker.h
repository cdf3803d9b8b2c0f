// The transfer worker thread.
#pragma once
#include <windows.h>

DWORD WINAPI TransferWorker(void* pParam);

// Ends the worker's pause: called after iWorkerState or bAnswerMode was given a new task.
void WakeWorker();
