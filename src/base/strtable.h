// Texts of the string table used as printf formats: into a buffer, or as a message box.
#pragma once
#include <windows.h>
#include <cstddef>

// The text of string-table entry idFormat (of module hInst) filled from the arguments that
// follow, into pszOut of cb bytes, cut to fit. A string-table text is never user data.
void FormatString(HINSTANCE hInst, char* pszOut, size_t cb, UINT idFormat, ...);
// A message box whose text is entry idText filled from the arguments that follow, and whose
// caption is entry idCaption. Returns the button the user pressed.
int StringBox(HINSTANCE hInst, HWND hwndOwner, UINT idText, UINT idCaption, UINT uType, ...);
