// Where every dialog of the program comes up.
#pragma once
#include <windows.h>

// Over the middle of its owner, or of the screen when the owner is smaller than the dialog.
void CenterDialog(HWND hDlg);
