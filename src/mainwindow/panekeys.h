// The keys of the file pane. They arrive as the list views' own notifications (LVN_KEYDOWN,
// NM_RETURN) and as WM_CONTEXTMENU, so the message loop needs no accelerators; each key does
// what the menu or button of the same command does.
#pragma once
#include <windows.h>

// The key that adds the file pane's selection to the Send List, from either list or the main
// window itself.
enum { VK_ADD_SELECTED = VK_F23 };

// Lists the folder or drive of the file pane's row iItem in the file pane. Returns 0, with
// nothing changed, on a file's row or no row (and, with a beep, when the path would not fit).
int EnterFolderRow(int iItem);
// LVN_KEYDOWN from either list view.
void OnListKeyDown(HWND hwndList, WORD wVKey);
// NM_RETURN from the file pane: Enter opens the selected folder, drive or file.
void OnFilePaneEnter();
// WM_CONTEXTMENU. The context-menu key and Shift+F10 in the file pane (lParam -1) open its
// context menu at the selection; returns 1 then. A right-click also ends in WM_CONTEXTMENU,
// with its point, after NM_RCLICK has shown the menu: that one is left alone (0).
int OnContextMenuKey(HWND hwndFrom, LPARAM lParam);
