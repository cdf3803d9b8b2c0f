// The main window: its class, creation and single-instance hand-off, layout, hand-drawn
// buttons and message dispatch.
#pragma once
#include <windows.h>

#include "winshared/uistate.h"

#define WM_PASSCMDLINE (WM_USER + 1000)
enum { IDT_POLL = 1 };

// The tool buttons in their order of position; a button's index is also its icon's index.
extern const int ToolButtonIds[NUM_TOOL_BUTTONS];
// Labels of the sort orders, indexed by iSortOrder.
extern const char* const SortNames[4];


int InitInstance(HINSTANCE hInstance, int nCmdShow, const char* lpCmdLine);
ATOM RegisterMainClass(HINSTANCE hInst, const char* pszClassName);
LRESULT CALLBACK MainWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
