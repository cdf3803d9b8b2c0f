// The Settings dialog: destination folder, options, communication type and peer address.
#pragma once
#include <windows.h>

INT_PTR CALLBACK SettingsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
