// The program's message boxes: a text and a caption from the string table.
#pragma once
#include <windows.h>

// Shows a message box with the texts of two string-table entries, the text a printf format
// filled from the arguments that follow (a string-table text is never user data). Returns
// the button the user pressed.
int StringBox(HWND hwndOwner, int idText, int idCaption, UINT uType, ...);
