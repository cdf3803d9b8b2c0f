// The main window's sort menu and path menu, and going to a level of the path menu.
#pragma once

void CmdSortMenu();
void CmdPathMenu();
// Item k of the path menu was chosen: the file pane goes to that level of its path.
void OnPathLevel(int k);
