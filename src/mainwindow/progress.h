// Progress windows: "Connecting..." and "File Xfer Status".
#pragma once
#include <windows.h>
#include <cstdint>

INT_PTR CALLBACK ConnectDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK XferStatusDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void RefreshXferStatus();

