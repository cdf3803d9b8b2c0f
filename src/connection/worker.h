// The transfer worker thread.
#pragma once
#include <windows.h>

DWORD WINAPI TransferWorker(void* pParam);

// The named operations by which the user interface (and the tests) steer the worker. Each
// writes the worker's words in the order the worker reads them and ends its pause.

// Leaves answer mode and has the worker connect to the peer.
void StartConnect();
// Leaves answer mode and has the worker send the batch table over the link that stands.
void StartSend();
// Stops the connect or transfer under way and returns the worker to answer mode. bAbort goes
// first, so that a connect loop or a transfer sees it before the state changes.
void CancelTransfer();
// Answer mode again after a send that the worker has finished, or that was given up on.
void ReturnToAnswerMode();
// Asks the worker, and the discovery responder, to end.
void QuitWorker();
