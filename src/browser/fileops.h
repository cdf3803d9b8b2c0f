// File operations on the file pane's selection: delete, new folder, move and copy.
#pragma once
#include <windows.h>

// Why a file operation failed: the first failure of a command that has a cause to tell, the
// name it concerns and the string-table text of that cause (0 when there is none to tell).
struct FileFailure {
    char szName[256] = "";
    UINT idCause = 0;
};
// The string-table text that tells why a file call failed with the system error dwError, with
// the name in it; 0 when the error gives no cause the user can act on.
UINT FailureCause(DWORD dwError);
// Notes a failure of the name in *pWhy, unless one with a cause is noted already; pWhy may be
// null.
void NoteFailure(FileFailure* pWhy, const char* pszName, UINT idCause);
// A message box: text idText filled with pszTextArg, under caption idCaption, followed, when
// idCause is not 0, by that cause filled with pszCauseName.
int ShowFileFailure(HWND hwndOwner, UINT idText, UINT idCaption, UINT uType,
                    const char* pszTextArg, UINT idCause, const char* pszCauseName);

void DeleteSelectedItems();
// Removes the folder and everything in it; TRUE when the folder itself is gone. What kept it
// is noted in *pWhy when that is given.
BOOL DeleteFolderTree(const char* pszPath, FileFailure* pWhy = nullptr);
void CreateNewFolder();
INT_PTR CALLBACK CopyToDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam);
void MoveSelectedItems(const char* pszDest, HWND hwndOwner);
void CopySelectedItems(const char* pszDest, HWND hwndOwner);
// The directory entry of a file or folder into *pFd; 0 when there is none.
int FindEntry(const char* pszPath, WIN32_FIND_DATAA* pFd);
