// The main window's sort menu and path menu, and going to a level of the path menu.
#include "mainwindow/filecommands.h"

#include "browser/filedialogs.h"
#include "browser/listing.h"
#include "connection/session.h"
#include "resource.h"

#include <cstring>

static const char* const kSortNames[4] = {"Name", "Date", "Size", "Type"};

static void Redraw(int id)
{
    InvalidateRect(GetDlgItem(g_state.hwndMain, id), nullptr, TRUE);
}

void CmdSortMenu()
{
    g_state.bSuppressClick = 1;
    g_state.bSortMenuOpen = 1;
    Redraw(IDM_SORTMENU);
    HMENU hMenu = CreatePopupMenu();
    for (int i = 0; i < 4; i++) {
        char sz[16] = "";
        if (i == g_state.iSortOrder)
            strcpy(sz, "* ");
        strcat(sz, kSortNames[i]);
        AppendMenuA(hMenu, MF_STRING, IDM_SORTBASE + i, sz);
    }
    RECT rc;
    GetClientRect(g_state.hwndMain, &rc);
    int W = rc.right;
    POINT pt = {W > 320 ? W / 2 - 20 : W, 21};
    ClientToScreen(g_state.hwndMain, &pt);
    UINT id = (UINT)TrackPopupMenu(hMenu, TPM_RIGHTALIGN | TPM_RETURNCMD, pt.x, pt.y, 0,
                                   g_state.hwndMain, nullptr);
    DestroyMenu(hMenu);
    if (id)
        PostMessageA(g_state.hwndMain, id, 0, 0);
    g_state.bSortMenuOpen = 0;
    g_state.bSuppressClick = 0;
    Redraw(IDM_SORTMENU);
}

void CmdPathMenu()
{
    g_state.bSuppressClick = 1;
    g_state.bPathMenuOpen = 1;
    Redraw(IDM_PATHMENU);
    HMENU hMenu = BuildPathMenu(g_state.szCurDir, WM_PATHLEVEL);
    POINT pt = {0, 21};
    ClientToScreen(g_state.hwndMain, &pt);
    UINT id = (UINT)TrackPopupMenu(hMenu, TPM_LEFTALIGN | TPM_RETURNCMD, pt.x, pt.y, 0,
                                   g_state.hwndMain, nullptr);
    DestroyMenu(hMenu);
    if (id)
        SendMessageA(g_state.hwndMain, id, 0, 0);
    g_state.bPathMenuOpen = 0;
    g_state.bSuppressClick = 0;
    Redraw(IDM_PATHMENU);
}

void OnPathLevel(int k)
{
    if (PathOfLevel(g_state.szCurDir, k)) {
        FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
        Redraw(IDM_PATHMENU);
    }
}
