// Texts the windows show: string-table formats into a buffer or a message box, and sizes.
#pragma once
#include <windows.h>
#include <cstddef>
#include <cstdint>

// The text of string-table entry idFormat (of module hInst) filled from the arguments that
// follow, into pszOut of cb bytes, cut to fit. A string-table text is never user data.
void FormatString(HINSTANCE hInst, char* pszOut, size_t cb, UINT idFormat, ...);
// A message box whose text is entry idText filled from the arguments that follow, and whose
// caption is entry idCaption. Returns the button the user pressed.
int StringBox(HINSTANCE hInst, HWND hwndOwner, UINT idText, UINT idCaption, UINT uType, ...);
// A byte count as the lists show it ("0", "512B", "1.5K", "3.2M") into 32 bytes at pszBuf.
void FormatSize(uint64_t n, char* pszBuf);
