// The levels of a path: the popup menu that lists them, the path each leads to, and the
// caption of a path button.
#pragma once
#include <windows.h>

// The popup menu of a path's levels, shared by Select Directory and the main window: item k
// (1 = the folder itself, then its parents, the drive root and "My Computer") has the id
// idBase + k, and the outermost level stands at the top.
HMENU BuildPathMenu(const char* pszPath, UINT idBase);
// Folder levels below the drive root in a path (0 for a root or the drives level).
int PathDepth(const char* pszPath);
// The path that item k of its path menu leads to, written into pszPath in place; 0 when the
// item changes nothing (the folder itself, or past "My Computer").
int PathOfLevel(char* pszPath, int k);
// Caption of a path button: the drive root, the last folder's name or "My Computer".
void PathButtonText(const char* pszPath, int bMenuOpen, char* pszText);
