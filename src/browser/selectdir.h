// The Select Directory dialog: a folder browser over its own list view.
#pragma once
#include <windows.h>

// Select Directory opened on the folder in pszPath (a 256-byte buffer); 1 when its OK closed
// it, pszPath then holding the chosen folder (which Cancel leaves as it was).
int SelectDirectory(HWND hwndOwner, char* pszPath);
