// The file dialogs: Run, and File Properties.
#pragma once
#include <windows.h>

INT_PTR CALLBACK RunDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK PropertiesDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
