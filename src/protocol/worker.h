// The transfer worker thread: connects, sends and serves the peer as its control words say.
#pragma once
#include <windows.h>

DWORD WINAPI TransferWorker(void* pParam);

// Starts the worker thread in answer mode (1) or waiting for a command (0), with no cancel
// standing; its handle is also kept in hWorkerThread.
HANDLE StartWorker(int bAnswerMode);
// The program's two threads: the worker in answer mode and the discovery responder.
void StartWorkerThreads();
// Asks both threads to end and waits for them, at most msBound, so that the link can then
// be closed without closing it under them.
void StopWorkerThreads(DWORD msBound);
