// The Settings dialog: OK applies everything at once, reopening the link for a new type.
#include "mainwindow/settingsdlg.h"

#include "base/folderpath.h"
#include "browser/selectdir.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "mainwindow/xfercommands.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <commctrl.h>

#include <cstring>

// This machine's first address in host order; 0 when its name does not resolve.
static DWORD OwnAddress()
{
    char szHost[256];
    if (gethostname(szHost, sizeof szHost) != 0)
        return 0;
    hostent* pHost = gethostbyname(szHost);
    if (!pHost || !pHost->h_addr_list || !pHost->h_addr_list[0])
        return 0;
    return ntohl(*(u_long*)pHost->h_addr_list[0]);
}

static INT_PTR OnSettingsInit(HWND hDlg)
{
    CenterDialog(hDlg);
    SetDlgItemTextA(hDlg, IDC_SET_DEST, g_settings.szDestDir);
    CheckDlgButton(hDlg, IDC_SET_PROMPT, g_settings.bPromptDelete ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hDlg, IDC_SET_RESULTS, g_settings.bShowResults ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hDlg, IDC_SET_OVERWRITE, g_settings.bOverwrite ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hDlg, IDC_SET_ASK, g_settings.bAskBeforeReceiving ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(hDlg, IDC_SET_READBACK, g_settings.bAllowReadBack ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(hDlg, IDC_SET_PEERIP), g_settings.iCommType == CT_WAN);
    SendDlgItemMessageA(hDlg, IDC_SET_PEERIP, IPM_SETADDRESS, 0,
                        (LPARAM)g_settings.dwPeerIP.load());
    SendDlgItemMessageA(hDlg, IDC_SET_MYIP, IPM_SETADDRESS, 0, (LPARAM)OwnAddress());
    EnableWindow(GetDlgItem(hDlg, IDC_SET_MYIP), FALSE);
    HWND hCombo = GetDlgItem(hDlg, IDC_SET_TYPE);
    int iCurrent = -1;
    for (int t = 0; t < CT_COUNT; t++) {
        if (t == CT_RAWIR)
            continue;
        char sz[32];
        LoadStringA(g_wnd.hInst, IDS_COMMTYPE_BASE + t, sz, sizeof sz);
        int i = (int)SendMessageA(hCombo, CB_INSERTSTRING, (WPARAM)-1, (LPARAM)sz);
        SendMessageA(hCombo, CB_SETITEMDATA, i, t);
        if (t == g_settings.iCommType)
            iCurrent = i;
    }
    SendMessageA(hCombo, CB_SETCURSEL, iCurrent, 0);
    return TRUE;
}

static int SelectedType(HWND hDlg)
{
    int i = (int)SendDlgItemMessageA(hDlg, IDC_SET_TYPE, CB_GETCURSEL, 0, 0);
    if (i < 0)
        return g_settings.iCommType;
    return (int)SendDlgItemMessageA(hDlg, IDC_SET_TYPE, CB_GETITEMDATA, i, 0);
}

// Closes the link of the current type, then opens the one of the new type.
static void SwitchLink(int iNewType)
{
    CloseLink();
    g_settings.iCommType = iNewType;
    OpenListener();
    OpenPortForUser(1);
    g_settings.cbBlock = BlockSizeByCommType[iNewType];
}

static void OnSettingsOk(HWND hDlg)
{
    int iNewType = SelectedType(hDlg);
    if (iNewType != g_settings.iCommType && iNewType >= 0 && iNewType < CT_COUNT)
        SwitchLink(iNewType);
    DWORD dwIP = 0;
    SendDlgItemMessageA(hDlg, IDC_SET_PEERIP, IPM_GETADDRESS, 0, (LPARAM)&dwIP);
    g_settings.dwPeerIP = dwIP;
    g_settings.bPromptDelete = IsDlgButtonChecked(hDlg, IDC_SET_PROMPT) == BST_CHECKED;
    g_settings.bShowResults = IsDlgButtonChecked(hDlg, IDC_SET_RESULTS) == BST_CHECKED;
    g_settings.bOverwrite = IsDlgButtonChecked(hDlg, IDC_SET_OVERWRITE) == BST_CHECKED;
    g_settings.bAskBeforeReceiving = IsDlgButtonChecked(hDlg, IDC_SET_ASK) == BST_CHECKED;
    g_settings.bAllowReadBack = IsDlgButtonChecked(hDlg, IDC_SET_READBACK) == BST_CHECKED;
    GetDlgItemTextA(hDlg, IDC_SET_DEST, g_settings.szDestDir, sizeof g_settings.szDestDir);
    SaveSettings();
    EndDialog(hDlg, 1);
}

// Browse stores the chosen folder at once, before OK. It is the only way the destination
// changes here (its field is read-only), so it is where a folder that received files could
// not go into is refused: the drives level, a relative name or a folder that is missing. The
// destination then stays as it was.
static void OnSettingsBrowse(HWND hDlg)
{
    char szBuf[256];
    strcpy(szBuf, g_settings.szDestDir);
    if (!SelectDirectory(hDlg, szBuf))
        return;
    if (!IsExistingFullFolder(szBuf)) {
        StringBox(g_wnd.hInst, hDlg, IDS_NOT_A_FOLDER, IDS_ERROR, MB_ICONHAND,
                  szBuf[0] ? szBuf : "My Computer");
        return;
    }
    strcpy(g_settings.szDestDir, szBuf);
    SetDlgItemTextA(hDlg, IDC_SET_DEST, szBuf);
}

INT_PTR CALLBACK SettingsDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnSettingsInit(hDlg);
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SET_TYPE:
            if (HIWORD(wParam) == CBN_SELENDOK)
                EnableWindow(GetDlgItem(hDlg, IDC_SET_PEERIP), SelectedType(hDlg) == CT_WAN);
            return TRUE;
        case IDC_SET_BROWSE:
            OnSettingsBrowse(hDlg);
            return TRUE;
        case IDOK:
            OnSettingsOk(hDlg);
            return TRUE;
        }
        return TRUE;
    }
    return FALSE;
}
