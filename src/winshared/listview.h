// Small helpers over the report-style list views of the file pane, the Send List and Select
// Directory: columns, rows, their texts and parameters, and the system's small icons.
#pragma once
#include <windows.h>
#include <commctrl.h>

// Adds a left-aligned column i of width cx.
void InsertColumn(HWND hwndList, int i, const char* pszText, int cx);
void SetColumnWidth(HWND hwndList, int i, int cx);
// Inserts a row at iPos with its text, icon and parameter; returns its index, -1 on failure.
int InsertListItem(HWND hwndList, int iPos, const char* pszText, int iIcon, LPARAM lParam);
void SetSubItemText(HWND hwndList, int iItem, int iSub, const char* pszText);
// Text of a row's sub-item (0 the row's own text), at most cb bytes; "" when there is none.
void ListItemText(HWND hwndList, int iItem, char* pszText, int cb, int iSub = 0);
// The first selected row after row iAfter (-1 for the first of all); -1 when there is none.
int NextSelectedItem(HWND hwndList, int iAfter = -1);
// Selects (bSelected 1) or deselects row iItem, or every row for iItem -1.
void SelectListItem(HWND hwndList, int iItem, int bSelected);
// The parameter of a row into *plParam; 0 when there is no such row.
int ListItemParam(HWND hwndList, int iItem, LPARAM* plParam);
// The system's small icon for a path (a drive root, a folder or a file); with
// SHGFI_USEFILEATTRIBUTES in uFlags the shell goes by the name and dwAttributes alone.
int SysIconOf(const char* pszPath, DWORD dwAttributes = 0, UINT uFlags = 0);
