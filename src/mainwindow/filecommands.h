// The file-manager commands of the main window: context menus, rename in place, the sort and
// path menus, selection, open, run, properties, move, copy, new folder, delete, help, settings.
#pragma once
#include <windows.h>
#include <commctrl.h>

void ShowFileContextMenu(const NMITEMACTIVATE* pItem);
LRESULT OnEndLabelEdit(const NMLVDISPINFOA* pInfo);
void CmdSortMenu();
void CmdPathMenu();
void OnPathLevel(int k);
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
