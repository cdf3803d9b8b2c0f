// File operations on the file pane's selection: delete, new folder, move and copy.
#pragma once
#include <windows.h>

void DeleteSelectedItems();
BOOL DeleteFolderTree(const char* pszPath);
void CreateNewFolder();
INT_PTR CALLBACK CopyToDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void MoveSelectedItems(const char* pszDest, HWND hwndOwner);
void CopySelectedItems(const char* pszDest, HWND hwndOwner);

// Helpers shared with the main window's file commands.
// Joins folder and name with one backslash into a 256-byte buffer; 0 when it would not fit.
int JoinPath(char* pszOut, const char* pszDir, const char* pszName);
// Text of a row of a list view (sub-item 0), at most cb bytes.
void ListItemText(HWND hwndList, int iItem, char* pszText, int cb);
// Shows a message box with the texts of two string-table entries, the text a printf format
// filled from the arguments that follow (a string-table text is never user data).
int StringBox(HWND hwndOwner, int idText, int idCaption, UINT uType, ...);
