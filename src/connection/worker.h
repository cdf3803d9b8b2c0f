// The transfer worker thread.
#pragma once
#include <windows.h>

DWORD WINAPI TransferWorker(void* pParam);
