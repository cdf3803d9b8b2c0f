// The file-manager commands of the main window: context menus, rename in place, selection, open, run, properties, move, copy, new folder, delete, help, settings.
#pragma once
#include <windows.h>
#include <commctrl.h>

// The file pane's context menu at a point of the screen: the one-row menu, with Run or Open
// as the first selected row is a program or not, or the menu for several rows.
void ShowFileContextMenu(POINT ptScreen);
LRESULT OnEndLabelEdit(const NMLVDISPINFOA* pInfo);
void CmdSelectAll();
void CmdDeselectAll();
void CmdOpen();
void CmdRun();
void CmdProperties();
void CmdMoveOrCopy(int bCopy);
void CmdNewFolder();
void CmdDelete();
void CmdHelp();
void CmdSettings();
