// File-manager commands of the main window: context menu, rename in place, selection, open,
// run, properties, move, copy, new folder, delete and help.
#include "mainwindow/filecommands.h"

#include "base/paths.h"
#include "browser/filedialogs.h"
#include "browser/fileops.h"
#include "browser/listing.h"
#include "connection/settings.h"
#include "mainwindow/settingsdlg.h"
#include "resource.h"
#include "winshared/listview.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <shellapi.h>

#include <cstring>

// A name counts as a program when it ends in ".EXE" in any case.
static int EndsInExe(const char* pszName)
{
    size_t n = strlen(pszName);
    return n >= 4 && !_stricmp(pszName + n - 4, ".exe");
}

void ShowFileContextMenu(POINT ptScreen)
{
    g_wnd.bSuppressClick = 1;
    HMENU hMenu = g_wnd.hContextMenu2;
    if (SendMessageA(g_wnd.hwndFileList, LVM_GETSELECTEDCOUNT, 0, 0) <= 1) {
        char szName[256] = "";
        int iRow = NextSelectedItem(g_wnd.hwndFileList);
        if (iRow >= 0)
            ListItemText(g_wnd.hwndFileList, iRow, szName, sizeof szName);
        int bExe = EndsInExe(szName);
        hMenu = g_wnd.hContextMenu1;
        EnableMenuItem(hMenu, IDM_RUN, MF_BYCOMMAND | (bExe ? MF_ENABLED : MF_GRAYED));
        EnableMenuItem(hMenu, IDM_OPEN, MF_BYCOMMAND | (bExe ? MF_GRAYED : MF_ENABLED));
    }
    TrackPopupMenu(hMenu, TPM_CENTERALIGN, ptScreen.x, ptScreen.y, 0, g_wnd.hwndMain, nullptr);
}

LRESULT OnEndLabelEdit(const NMLVDISPINFOA* pInfo)
{
    if (!pInfo->item.pszText || pInfo->item.iItem < 0)
        return 0;
    char szOld[256], szOldPath[256], szNewPath[256];
    const char* pszNew = pInfo->item.pszText;
    ListItemText(g_wnd.hwndFileList, pInfo->item.iItem, szOld, sizeof szOld);
    UINT idCause = IDS_WHY_TOO_LONG;
    const char* pszCauseName = pszNew;
    if (JoinPath(szOldPath, sizeof szOldPath, g_settings.szCurDir, szOld)
        && JoinPath(szNewPath, sizeof szNewPath, g_settings.szCurDir, pszNew)) {
        if (MoveFileA(szOldPath, szNewPath)) {
            SetSubItemText(g_wnd.hwndFileList, pInfo->item.iItem, 0, pszNew);
            return 1;
        }
        // The name taken or not valid is the new one; a file in use or denied, the old one.
        idCause = FailureCause(GetLastError());
        if (idCause != IDS_WHY_EXISTS && idCause != IDS_WHY_BAD_NAME)
            pszCauseName = szOld;
    }
    ShowFileFailure(g_wnd.hwndMain, IDS_RENAME_FAILED, IDS_RENAME_CAP, MB_ICONHAND, szOld,
                    idCause, pszCauseName);
    return 0;
}

void CmdSelectAll()
{
    HWND hList = g_wnd.hwndFileList;
    FILEROW* pRows = RowsOfList(hList);
    int n = (int)SendMessageA(hList, LVM_GETITEMCOUNT, 0, 0);
    for (int i = 0; pRows && i < n; i++) {
        LPARAM r;
        if (!ListItemParam(hList, i, &r) || !RowIsFile(&pRows[r]))
            continue;
        SelectListItem(hList, i, 1);
    }
}

void CmdDeselectAll()
{
    SelectListItem(g_wnd.hwndFileList, -1, 0);
}

// The name and full path of the first selected row; 0 when nothing is selected.
static int SelectedPath(char* pszName, char* pszPath)
{
    int iRow = NextSelectedItem(g_wnd.hwndFileList);
    if (iRow < 0)
        return 0;
    ListItemText(g_wnd.hwndFileList, iRow, pszName, 256);
    return pszName[0] && JoinPath(pszPath, 256, g_settings.szCurDir, pszName);
}

void CmdOpen()
{
    char szName[256], szPath[256];
    if (!SelectedPath(szName, szPath))
        return;
    SHELLEXECUTEINFOA sei = {};
    sei.cbSize = sizeof sei;
    sei.fMask = SEE_MASK_NOCLOSEPROCESS;
    sei.hwnd = g_wnd.hwndMain;
    sei.lpFile = szPath;
    sei.nShow = SW_SHOWNORMAL;
    ShellExecuteExA(&sei);
    if (sei.hProcess)
        CloseHandle(sei.hProcess);
}

void CmdRun()
{
    char szBuf[256], szPath[256];
    if (!SelectedPath(szBuf, szPath))
        return;
    if (DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_RUN), g_wnd.hwndMain, RunDlgProc,
                        (LPARAM)szBuf) != IDOK)
        return;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessA(szPath, szBuf, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
}

void CmdProperties()
{
    int id = g_wnd.bLandscape ? IDD_PROPERTIES : IDD_PROPERTIES_TALL;
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(id), g_wnd.hwndMain, PropertiesDlgProc, 0);
}

void CmdMoveOrCopy(int bCopy)
{
    if (!g_settings.szCurDir[0]) {
        MessageBeep(0);
        return;
    }
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_COPYTO), g_wnd.hwndMain, CopyToDlgProc,
                    bCopy);
}

void CmdNewFolder() { CreateNewFolder(); }
void CmdDelete() { DeleteSelectedItems(); }

// The help file lies beside the program and opens at its index.
void CmdHelp()
{
    if ((UINT_PTR)g_wnd.hHelpLib <= 32)
        return;
    char szDir[256], szFile[300];
    GetModuleFileNameA(nullptr, szDir, sizeof szDir);
    char* p = strrchr(szDir, '\\');
    if (p)
        p[1] = 0;
    JoinPath(szFile, sizeof szFile, szDir, "talmox.chm");
    typedef HWND(WINAPI * HTMLHELPPROC)(HWND, LPCSTR, UINT, DWORD_PTR);
    HTMLHELPPROC pfn = (HTMLHELPPROC)(void*)GetProcAddress(g_wnd.hHelpLib, MAKEINTRESOURCEA(14));
    if (pfn)
        pfn(g_wnd.hwndMain, szFile, 2, 0);
}

void CmdSettings()
{
    int id = g_wnd.bLandscape ? IDD_SETTINGS : IDD_SETTINGS_TALL;
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(id), g_wnd.hwndMain, SettingsDlgProc, 0);
}
