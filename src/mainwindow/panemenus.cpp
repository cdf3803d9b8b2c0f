// The main window's sort menu and path menu, and going to a level of the path menu.
#include "mainwindow/panemenus.h"

#include "browser/listing.h"
#include "browser/pathlevels.h"
#include "connection/settings.h"
#include "mainwindow/mainwindow.h"
#include "resource.h"
#include "winshared/dropbutton.h"
#include "winshared/uistate.h"

#include <cstring>

// Shows a menu under one of the main window's drop-down buttons, with clicks on the panes
// held back while the menu is up; returns the chosen item's id, or 0.
template <class Flag>
static UINT TrackButtonMenu(HWND hwndButton, HMENU hMenu, Flag& bOpen, UINT uAlign)
{
    g_wnd.bSuppressClick = 1;
    UINT id = TrackDropMenu(hwndButton, hMenu, bOpen, uAlign);
    g_wnd.bSuppressClick = 0;
    return id;
}

// The choice goes back to the main window as a command, once the menu has closed.
void CmdSortMenu()
{
    HMENU hMenu = CreatePopupMenu();
    for (int i = 0; i < 4; i++) {
        char sz[16] = "";
        if (i == g_settings.iSortOrder)
            strcpy(sz, "* ");
        strcat(sz, SortNames[i]);
        AppendMenuA(hMenu, MF_STRING, IDM_SORTBYNAME + i, sz);
    }
    UINT id = TrackButtonMenu(g_wnd.hwndSortBtn, hMenu, g_wnd.bSortMenuOpen, TPM_RIGHTALIGN);
    if (id)
        PostMessageA(g_wnd.hwndMain, WM_COMMAND, id, 0);
}

void CmdPathMenu()
{
    HMENU hMenu = BuildPathMenu(g_settings.szCurDir, IDM_PATHLEVEL);
    UINT id = TrackButtonMenu(g_wnd.hwndPathBtn, hMenu, g_settings.bPathMenuOpen, TPM_LEFTALIGN);
    if (id)
        SendMessageA(g_wnd.hwndMain, WM_COMMAND, id, 0);
}

void OnPathLevel(int k)
{
    if (PathOfLevel(g_settings.szCurDir, k)) {
        FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
        InvalidateRect(g_wnd.hwndPathBtn, nullptr, TRUE);
    }
}
