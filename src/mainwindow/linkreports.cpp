// The main window's answers to what the worker reports: status dialogs, file names, sounds.
#include "mainwindow/linkreports.h"

#include "browser/uistate.h"
#include "connection/linkui.h"
#include "resource.h"

#include <windows.h>
#include <mmsystem.h>

void PlayLinkSound(const char* pszName)
{
    PlaySoundA(pszName, nullptr, SND_ASYNC);
}

// Posted: the receive command runs on the user-interface thread, in its own modal loop.
static void OnReceiveBegan()
{
    if (HWND hwnd = g_wnd.hwndMain)
        PostMessageA(hwnd, WM_COMMAND, IDM_RECEIVE, 0);
}

static void OnFileName(const char* pszName)
{
    if (HWND hDlg = g_wnd.hwndXferDlg)
        SetDlgItemTextA(hDlg, IDC_XFER_FILENAME, pszName);
}

static void OnCloseStatus(int bWait)
{
    HWND hDlg = g_wnd.hwndXferDlg;
    if (!hDlg)
        return;
    if (bWait)
        SendMessageA(hDlg, WM_CLOSE, 0, 0);
    else
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
}

static void OnConnectEnded()
{
    if (HWND hDlg = g_wnd.hwndConnectDlg)
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
}

const LinkUi WindowLinkUi = {
    OnReceiveBegan, OnFileName, OnCloseStatus, OnConnectEnded, PlayLinkSound,
};
