// File operations on the file pane's selection: delete, new folder, move and copy.
#pragma once
#include <windows.h>

void DeleteSelectedItems();
BOOL DeleteFolderTree(const char* pszPath);
void CreateNewFolder();
INT_PTR CALLBACK CopyToDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void MoveSelectedItems(const char* pszDest, HWND hwndOwner);
void CopySelectedItems(const char* pszDest, HWND hwndOwner);
// The directory entry of a file or folder into *pFd; 0 when there is none.
int FindEntry(const char* pszPath, WIN32_FIND_DATAA* pFd);
