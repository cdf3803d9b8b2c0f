// The About box: version, icon and the build line; only its OK button closes it.
#include "mainwindow/about.h"

#include "resource.h"
#include "winshared/centerdialog.h"

#include <cstdio>

static const char kBuildDate[] = "May  1 2001";

INT_PTR CALLBACK AboutDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG: {
        CenterDialog(hDlg);
        char szBuilt[64];
        snprintf(szBuilt, sizeof szBuilt, "Built: %s", kBuildDate);
        SetDlgItemTextA(hDlg, IDC_ABOUT_BUILT, szBuilt);
        return TRUE;
    }
    case WM_COMMAND:
        // Escape arrives as IDCANCEL and is ignored: the box has no other way out than OK.
        if (LOWORD(wParam) == IDOK) {
            EndDialog(hDlg, 1);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
