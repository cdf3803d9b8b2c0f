// The main window's sort menu and path menu, and going to a level of the path menu.
#include "mainwindow/filecommands.h"

#include "browser/filedialogs.h"
#include "browser/listing.h"
#include "browser/uistate.h"
#include "connection/settings.h"
#include "mainwindow/mainwindow.h"
#include "resource.h"

#include <cstring>

static void Redraw(int id)
{
    InvalidateRect(GetDlgItem(g_wnd.hwndMain, id), nullptr, TRUE);
}

// Shows a menu under one of the drop-down buttons, the button drawn pressed and clicks on the
// panes held back while the menu is up; returns the chosen item's id, or 0. (The path menu's
// flag is shared with other threads, the sort menu's is not: hence the flag's own type.)
template <class Flag>
static UINT TrackButtonMenu(HMENU hMenu, int idButton, Flag& bOpen, POINT pt, UINT uAlign)
{
    g_wnd.bSuppressClick = 1;
    bOpen = 1;
    Redraw(idButton);
    ClientToScreen(g_wnd.hwndMain, &pt);
    UINT id = (UINT)TrackPopupMenu(hMenu, uAlign | TPM_RETURNCMD, pt.x, pt.y, 0,
                                   g_wnd.hwndMain, nullptr);
    DestroyMenu(hMenu);
    bOpen = 0;
    g_wnd.bSuppressClick = 0;
    Redraw(idButton);
    return id;
}

void CmdSortMenu()
{
    HMENU hMenu = CreatePopupMenu();
    for (int i = 0; i < 4; i++) {
        char sz[16] = "";
        if (i == g_settings.iSortOrder)
            strcpy(sz, "* ");
        strcat(sz, SortNames[i]);
        AppendMenuA(hMenu, MF_STRING, IDM_SORTBASE + i, sz);
    }
    RECT rc;
    GetClientRect(g_wnd.hwndMain, &rc);
    int W = rc.right;
    POINT pt = {W > 320 ? W / 2 - 20 : W, 21};
    UINT id = TrackButtonMenu(hMenu, IDM_SORTMENU, g_wnd.bSortMenuOpen, pt, TPM_RIGHTALIGN);
    if (id)
        PostMessageA(g_wnd.hwndMain, id, 0, 0);
}

void CmdPathMenu()
{
    HMENU hMenu = BuildPathMenu(g_settings.szCurDir, WM_PATHLEVEL);
    UINT id = TrackButtonMenu(hMenu, IDM_PATHMENU, g_settings.bPathMenuOpen, POINT{0, 21},
                              TPM_LEFTALIGN);
    if (id)
        SendMessageA(g_wnd.hwndMain, id, 0, 0);
}

void OnPathLevel(int k)
{
    if (PathOfLevel(g_settings.szCurDir, k)) {
        FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
        Redraw(IDM_PATHMENU);
    }
}
