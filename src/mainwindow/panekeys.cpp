// The keys of the file pane: Enter, Backspace, Delete, F2, F5, Ctrl+A, Insert, the context-menu
// key and Shift+F10, F1; and the add key in either list.
#include "mainwindow/panekeys.h"

#include "browser/listing.h"
#include "connection/settings.h"
#include "mainwindow/filecommands.h"
#include "mainwindow/mainwindow.h"
#include "resource.h"
#include "winshared/listview.h"
#include "winshared/uistate.h"

#include <commctrl.h>

int EnterFolderRow(int iItem)
{
    if (!EnterListedFolder(g_wnd.hwndFileList, iItem, g_settings.szCurDir))
        return 0;
    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
    InvalidateRect(g_wnd.hwndPathBtn, nullptr, TRUE);
    return 1;
}

static void PostCommand(UINT id)
{
    PostMessageA(g_wnd.hwndMain, WM_COMMAND, id, 0);
}

// F5: the drives may have come or gone and the folder changed on disk since it was listed.
static void RefreshFilePane()
{
    g_wnd.DriveMask = GetLogicalDrives();
    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
}

// The command a key of the file pane stands for; 0 when it has none.
static UINT FilePaneKeyCommand(WORD wVKey)
{
    switch (wVKey) {
    case VK_BACK:   return IDM_PATHLEVEL + 2;   // the path menu's item for the parent
    case VK_DELETE: return IDM_DELETE;
    case VK_F2:     return IDM_RENAME;
    case VK_INSERT: return IDM_ADDTOSENDLIST;
    case VK_F1:     return IDM_HELP;
    case 'A':       return GetKeyState(VK_CONTROL) < 0 ? IDM_SELECTALL : 0;
    default:        return 0;
    }
}

// The commands are posted, not run here: the list view is still inside its own handling of
// the key, and several of them relist it or open a modal box.
void OnListKeyDown(HWND hwndList, WORD wVKey)
{
    if (wVKey == VK_ADD_SELECTED) {
        PostCommand(IDM_ADDTOSENDLIST);
        return;
    }
    if (hwndList != g_wnd.hwndFileList)
        return;
    if (wVKey == VK_F5) {
        RefreshFilePane();
        return;
    }
    if (UINT id = FilePaneKeyCommand(wVKey))
        PostCommand(id);
}

void OnFilePaneEnter()
{
    HWND hwndList = g_wnd.hwndFileList;
    int iRow = NextSelectedItem(hwndList);
    LPARAM r;
    const FILEROW* pRows = RowsOfList(hwndList);
    if (iRow < 0 || !pRows || !ListItemParam(hwndList, iRow, &r))
        return;
    if (RowIsFile(&pRows[r]))
        PostCommand(IDM_OPEN);
    else
        EnterFolderRow(iRow);
}

// Where a key opens the context menu: under the middle of the first selected row's name,
// scrolled into view first; the middle of the pane when nothing is selected.
static POINT SelectionMenuPoint()
{
    HWND hwndList = g_wnd.hwndFileList;
    RECT rc;
    GetClientRect(hwndList, &rc);
    POINT pt = {rc.right / 2, rc.bottom / 2};
    int iRow = NextSelectedItem(hwndList);
    if (iRow >= 0) {
        SendMessageA(hwndList, LVM_ENSUREVISIBLE, (WPARAM)iRow, FALSE);
        RECT rcRow = {};
        rcRow.left = LVIR_LABEL;
        if (SendMessageA(hwndList, LVM_GETITEMRECT, (WPARAM)iRow, (LPARAM)&rcRow))
            pt = {(rcRow.left + rcRow.right) / 2, rcRow.bottom};
    }
    ClientToScreen(hwndList, &pt);
    return pt;
}

int OnContextMenuKey(HWND hwndFrom, LPARAM lParam)
{
    // The keyboard's point is -1, -1 in the two 16-bit halves, however wide lParam is.
    if (hwndFrom != g_wnd.hwndFileList || (short)LOWORD(lParam) != -1
        || (short)HIWORD(lParam) != -1)
        return 0;
    ShowFileContextMenu(SelectionMenuPoint());
    return 1;
}
