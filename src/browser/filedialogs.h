// The file dialogs: Select Directory, Run, and File Properties.
#pragma once
#include <windows.h>

// Select Directory opened on the folder in pszPath (a 256-byte buffer); 1 when its OK closed
// it, pszPath then holding the chosen folder (which Cancel leaves as it was).
int SelectDirectory(HWND hwndOwner, char* pszPath);
INT_PTR CALLBACK RunDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PropertiesDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
