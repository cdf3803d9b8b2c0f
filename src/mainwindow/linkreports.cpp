// The main window's answers to what the worker reports: status dialogs, file names, sounds.
#include "mainwindow/linkreports.h"

#include "connection/linkui.h"
#include "connection/settings.h"
#include "mainwindow/askreceive.h"
#include "resource.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <windows.h>
#include <mmsystem.h>

#include <atomic>

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

// Posted: a box would hold up the worker until it was answered. One box at a time: a sender
// that tries again while it is up adds nothing to it.
static std::atomic<int> s_bDestGoneShown{0};

static void OnDestFolderGone(const char*)
{
    HWND hwnd = g_wnd.hwndMain;
    if (hwnd && !s_bDestGoneShown.exchange(1))
        PostMessageA(hwnd, WM_COMMAND, IDM_DEST_FOLDER_GONE, 0);
}

void ShowDestFolderGone()
{
    StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_DEST_FOLDER_GONE, IDS_RECEIVE_CAP,
              MB_ICONHAND | MB_OK, g_settings.szDestDir);
    s_bDestGoneShown = 0;
}

// Posted with a copy of the question, which the main window's handler frees: the dialog is
// modal, and the worker goes on serving the sender while it is up.
static void OnAskReceiveReport(const ReceiveQuestion* pQuestion)
{
    HWND hwnd = g_wnd.hwndMain;
    ReceiveQuestion* pCopy = new ReceiveQuestion(*pQuestion);
    if (!hwnd || !PostMessageA(hwnd, WM_ASKRECEIVE, 0, (LPARAM)pCopy))
        delete pCopy;
}

static void OnWithdrawQuestion(uint32_t dwId)
{
    if (HWND hDlg = g_wnd.hwndAskDlg)
        PostMessageA(hDlg, WM_ASKWITHDRAWN, dwId, 0);
}

const LinkUi WindowLinkUi = {
    OnReceiveBegan, OnFileName,       OnCloseStatus,      OnConnectEnded,
    PlayLinkSound,  OnDestFolderGone, OnAskReceiveReport, OnWithdrawQuestion,
};
