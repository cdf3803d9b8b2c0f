// The Select Directory dialog: a folder browser over its own list view, with a path button
// whose popup leads back to any parent, the drive root or the drives level.
#include "browser/selectdir.h"

#include "browser/listing.h"
#include "browser/pathlevels.h"
#include "connection/settings.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/dropbutton.h"
#include "winshared/listview.h"
#include "winshared/uistate.h"

#include <commctrl.h>

static char* BufferOf(HWND hDlg)
{
    return (char*)GetWindowLongPtrA(hDlg, DWLP_USER);
}

static void ShowFolder(HWND hDlg)
{
    FillFileList(GetDlgItem(hDlg, IDC_SELDIR_LIST), BufferOf(hDlg), 1);
    InvalidateRect(GetDlgItem(hDlg, IDC_SELDIR_PATHBTN), nullptr, TRUE);
}

// Sets up the list view (one visible column, the system's small icons) and lists the folder.
static INT_PTR OnSelectDirInit(HWND hDlg, LPARAM lParam)
{
    CenterDialog(hDlg);
    SetWindowLongPtrA(hDlg, DWLP_USER, lParam);
    HWND hList = GetDlgItem(hDlg, IDC_SELDIR_LIST);
    SetUpListingView(hList);
    RECT rc;
    GetWindowRect(hList, &rc);
    InsertColumn(hList, 0, "Name", rc.right - rc.left - 4);
    InsertColumn(hList, 1, "Size", 1);
    InsertColumn(hList, 2, "Date", 1);
    ShowFolder(hDlg);
    return TRUE;
}

// Draws the path button: the folder's name in the popup font with the drop-down arrow.
static INT_PTR OnSelectDirDrawItem(HWND hDlg, const DRAWITEMSTRUCT* pDis)
{
    if (pDis->CtlID != IDC_SELDIR_PATHBTN)
        return FALSE;
    char szText[256];
    PathButtonText(BufferOf(hDlg), g_settings.bPathMenuOpen, szText);
    DrawDropButton(pDis, szText, 0);
    return TRUE;
}

// A click on a folder enters it, on a drive opens its root; files are never listed here.
static void OnSelectDirClick(HWND hDlg, const NMITEMACTIVATE* pItem)
{
    if (EnterListedFolder(GetDlgItem(hDlg, IDC_SELDIR_LIST), pItem->iItem, BufferOf(hDlg)))
        ShowFolder(hDlg);
}

static INT_PTR OnSelectDirNotify(HWND hDlg, const NMHDR* pHdr)
{
    if (pHdr->idFrom != IDC_SELDIR_LIST)
        return FALSE;
    if (pHdr->code == LVN_ITEMCHANGING)
        SetFocus(pHdr->hwndFrom);
    else if (pHdr->code == NM_CLICK)
        OnSelectDirClick(hDlg, (const NMITEMACTIVATE*)pHdr);
    SetWindowLongPtrA(hDlg, DWLP_MSGRESULT, 0);
    return TRUE;
}

// OK and Cancel take the shared system image list away first, so that destroying the list
// view leaves it alone.
static void OnSelectDirEnd(HWND hDlg, int id)
{
    ReleaseListingIcons(GetDlgItem(hDlg, IDC_SELDIR_LIST));
    EndDialog(hDlg, id);
}

static UINT ShowPathMenu(HWND hDlg)
{
    return TrackDropMenu(GetDlgItem(hDlg, IDC_SELDIR_PATHBTN),
                         BuildPathMenu(BufferOf(hDlg), IDM_PATHLEVEL), g_settings.bPathMenuOpen,
                         TPM_LEFTALIGN);
}

static INT_PTR CALLBACK SelectDirDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnSelectDirInit(hDlg, lParam);
    case WM_DRAWITEM:
        return OnSelectDirDrawItem(hDlg, (const DRAWITEMSTRUCT*)lParam);
    case WM_NOTIFY:
        return OnSelectDirNotify(hDlg, (const NMHDR*)lParam);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            OnSelectDirEnd(hDlg, LOWORD(wParam));
            return TRUE;
        case IDC_SELDIR_PATHBTN:
            if (UINT id = ShowPathMenu(hDlg))
                PostMessageA(hDlg, WM_COMMAND, id, 0);
            return TRUE;
        }
        if (LOWORD(wParam) >= IDM_PATHLEVEL && LOWORD(wParam) <= IDM_PATHLEVEL_LAST) {
            if (PathOfLevel(BufferOf(hDlg), LOWORD(wParam) - IDM_PATHLEVEL))
                ShowFolder(hDlg);
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int SelectDirectory(HWND hwndOwner, char* pszPath)
{
    return DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_SELECTDIR), hwndOwner,
                           SelectDirDlgProc, (LPARAM)pszPath) == 1;
}
