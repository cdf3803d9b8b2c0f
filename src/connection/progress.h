// Progress and status windows: "Connecting...", "File Xfer Status", the Send List summary.
#pragma once
#include <windows.h>
#include <cstdint>

INT_PTR CALLBACK ConnectDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK XferStatusDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void RefreshXferStatus();
void UpdateSendListStatus();
void FormatSize(int32_t n, char* pszBuf);
void CenterDialog(HWND hDlg);
