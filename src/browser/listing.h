// Directory listing: the file pane and Send List views, the per-row record and its sort keys.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <cstdint>

struct FILEROW {
    uint32_t dwNameKey;
    uint32_t dwSizeLow;
    uint32_t dwTimeHigh;
    uint32_t dwExtKey;
};

enum { FILEROWS_INITIAL = 2000 };

void CreateFilePanes(HWND hwndMain);
// A list view set up as every listing is: full-row selection and the system's small icons.
void SetUpListingView(HWND hwndList);
// Takes the shared system image list back from a list view before it is destroyed, so that
// destroying the view leaves the image list alone.
void ReleaseListingIcons(HWND hwndList);
void FillFileList(HWND hwndList, const char* pszPath, int bFoldersOnly);
// A click on row iItem of a listing of pszPath (a 256-byte buffer): a folder's row enters the
// folder, a drive's row opens its root, both written into pszPath. Returns 1 when pszPath
// changed; 0 on a file's row or no row, and, with a beep, when the path would not fit.
int EnterListedFolder(HWND hwndList, int iItem, char* pszPath);
int CALLBACK CompareFileRows(LPARAM lRowA, LPARAM lRowB, LPARAM lSortOrder);

// The rows behind a list view's lParam values (each list view has a table of its own).
FILEROW* RowsOfList(HWND hwndList);
// The same table grown, when needed, to hold row r (a row added after the listing); 0 when
// the memory for a larger table is not there.
FILEROW* RowsOfListWithRoom(HWND hwndList, int r);

uint32_t NameKey(const char* pszName, int bFolder);
uint32_t ExtKey(const char* pszName);
inline int RowIsFile(const FILEROW* p) { return !(p->dwNameKey & 0x80000000u); }
inline int RowIsDrive(const FILEROW* p)
{
    return (p->dwNameKey & 0x80000000u) && (p->dwNameKey & 0x7FFFFFFFu) < 31;
}
