// The main window's sort menu and path menu, and going to a level of the path menu.
#include "mainwindow/filecommands.h"

#include "browser/dropbutton.h"
#include "browser/listing.h"
#include "browser/pathmenu.h"
#include "connection/session.h"
#include "mainwindow/mainwindow.h"
#include "resource.h"

#include <cstring>

// Shows a menu under one of the main window's drop-down buttons, with clicks on the panes
// held back while the menu is up; returns the chosen item's id, or 0.
template <class Flag>
static UINT TrackButtonMenu(HWND hwndButton, HMENU hMenu, Flag& bOpen, UINT uAlign)
{
    g_state.bSuppressClick = 1;
    UINT id = TrackDropMenu(hwndButton, hMenu, bOpen, uAlign);
    g_state.bSuppressClick = 0;
    return id;
}

// The choice goes back to the main window as a command, once the menu has closed.
void CmdSortMenu()
{
    HMENU hMenu = CreatePopupMenu();
    for (int i = 0; i < 4; i++) {
        char sz[16] = "";
        if (i == g_state.iSortOrder)
            strcpy(sz, "* ");
        strcat(sz, SortNames[i]);
        AppendMenuA(hMenu, MF_STRING, IDM_SORTBYNAME + i, sz);
    }
    UINT id = TrackButtonMenu(hwndSortBtn, hMenu, g_state.bSortMenuOpen, TPM_RIGHTALIGN);
    if (id)
        PostMessageA(g_state.hwndMain, WM_COMMAND, id, 0);
}

void CmdPathMenu()
{
    HMENU hMenu = BuildPathMenu(g_state.szCurDir, IDM_PATHLEVEL);
    UINT id = TrackButtonMenu(hwndPathBtn, hMenu, g_state.bPathMenuOpen, TPM_LEFTALIGN);
    if (id)
        SendMessageA(g_state.hwndMain, WM_COMMAND, id, 0);
}

void OnPathLevel(int k)
{
    if (PathOfLevel(g_state.szCurDir, k)) {
        FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
        InvalidateRect(hwndPathBtn, nullptr, TRUE);
    }
}
