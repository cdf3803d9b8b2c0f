// The main window's sort menu and path menu, and going to a level of the path menu.
#include "mainwindow/filecommands.h"

#include "browser/filedialogs.h"
#include "browser/listing.h"
#include "connection/session.h"
#include "mainwindow/mainwindow.h"
#include "resource.h"

#include <cstring>

static void Redraw(int id)
{
    InvalidateRect(GetDlgItem(g_state.hwndMain, id), nullptr, TRUE);
}

// Shows a menu under one of the drop-down buttons, the button drawn pressed and clicks on the
// panes held back while the menu is up; returns the chosen item's id, or 0. (The path menu's
// flag is shared with other threads, the sort menu's is not: hence the flag's own type.)
template <class Flag>
static UINT TrackButtonMenu(HMENU hMenu, int idButton, Flag& bOpen, POINT pt, UINT uAlign)
{
    g_state.bSuppressClick = 1;
    bOpen = 1;
    Redraw(idButton);
    ClientToScreen(g_state.hwndMain, &pt);
    UINT id = (UINT)TrackPopupMenu(hMenu, uAlign | TPM_RETURNCMD, pt.x, pt.y, 0,
                                   g_state.hwndMain, nullptr);
    DestroyMenu(hMenu);
    bOpen = 0;
    g_state.bSuppressClick = 0;
    Redraw(idButton);
    return id;
}

void CmdSortMenu()
{
    HMENU hMenu = CreatePopupMenu();
    for (int i = 0; i < 4; i++) {
        char sz[16] = "";
        if (i == g_state.iSortOrder)
            strcpy(sz, "* ");
        strcat(sz, SortNames[i]);
        AppendMenuA(hMenu, MF_STRING, IDM_SORTBASE + i, sz);
    }
    RECT rc;
    GetClientRect(g_state.hwndMain, &rc);
    int W = rc.right;
    POINT pt = {W > 320 ? W / 2 - 20 : W, 21};
    UINT id = TrackButtonMenu(hMenu, IDM_SORTMENU, g_state.bSortMenuOpen, pt, TPM_RIGHTALIGN);
    if (id)
        PostMessageA(g_state.hwndMain, id, 0, 0);
}

void CmdPathMenu()
{
    HMENU hMenu = BuildPathMenu(g_state.szCurDir, WM_PATHLEVEL);
    UINT id = TrackButtonMenu(hMenu, IDM_PATHMENU, g_state.bPathMenuOpen, POINT{0, 21},
                              TPM_LEFTALIGN);
    if (id)
        SendMessageA(g_state.hwndMain, id, 0, 0);
}

void OnPathLevel(int k)
{
    if (PathOfLevel(g_state.szCurDir, k)) {
        FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
        Redraw(IDM_PATHMENU);
    }
}
