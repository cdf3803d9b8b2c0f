// File-manager commands of the main window (placeholders until the file manager lands).
#include "mainwindow/filecommands.h"

void ShowFileContextMenu(const NMITEMACTIVATE*) {}
LRESULT OnEndLabelEdit(const NMLVDISPINFOA*) { return 0; }
void CmdSortMenu() {}
void CmdPathMenu() {}
void OnPathLevel(int) {}
void CmdSelectAll() {}
void CmdDeselectAll() {}
void CmdOpen() {}
void CmdRun() {}
void CmdProperties() {}
void CmdMoveOrCopy(int) {}
void CmdNewFolder() {}
void CmdDelete() {}
void CmdHelp() {}
void CmdSettings() {}
