// Progress windows: "Connecting..." and "File Xfer Status".
#include "mainwindow/progress.h"

#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "mainwindow/askreceive.h"
#include "protocol/packets.h"
#include "protocol/transferstate.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <commctrl.h>
#include <cstdio>

// WM_INITDIALOG of "Connecting...": the alignment hint is only for the infrared types. A
// link that stands before the handle is published has its close posted to no dialog; the
// state is read after publishing, so that either this or the worker's post closes it.
static INT_PTR OnConnectInit(HWND hDlg)
{
    g_wnd.hwndConnectDlg = hDlg;
    if (g_worker.iWorkerState == WS_CONNECTED && !TransferStopped())
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
    CenterDialog(hDlg);
    int iType = g_settings.iCommType;
    if (iType != CT_IRDA && iType != CT_RAWIR)
        SetDlgItemTextA(hDlg, IDC_CONNECT_HINT, "");
    return TRUE;
}

// Cancel of "Connecting...": stop the connect step and go back to answering peers.
static INT_PTR OnConnectCancel(HWND hDlg)
{
    CancelTransfer();
    g_wnd.hwndConnectDlg = nullptr;
    EndDialog(hDlg, IDCANCEL);
    return TRUE;
}

INT_PTR CALLBACK ConnectDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnConnectInit(hDlg);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            return OnConnectCancel(hDlg);
        return FALSE;
    case WM_CLOSE:
        // Posted by the worker once the link stands; the handle is cleared before the dialog
        // ends so that a late post finds 0.
        g_wnd.hwndConnectDlg = nullptr;
        EndDialog(hDlg, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

// Who the batch comes from or goes to: the sender a received batch was taken from; for a
// send, the address that answered (the LAN probe's answer, or the fixed peer), else the name
// a serial peer gave in the handshake.
static void ShowPeer(HWND hDlg, int bReceiving)
{
    char szPeer[160], szText[192];
    if (bReceiving) {
        SenderText(g_xfer.szRecvFrom, szPeer, sizeof szPeer);
    } else if (uint32_t dwAddr = g_link.dwDataPeerAddr; dwAddr && IsSocketType(g_settings.iCommType)) {
        in_addr addr;
        addr.s_addr = dwAddr;
        SenderText(inet_ntoa(addr), szPeer, sizeof szPeer);
    } else {
        SenderText(g_link.szPeerName, szPeer, sizeof szPeer);
    }
    FormatString(g_wnd.hInst, szText, sizeof szText, bReceiving ? IDS_XFER_FROM : IDS_XFER_TO,
                 szPeer);
    SetDlgItemTextA(hDlg, IDC_XFER_PEER, szText);
}

// WM_INITDIALOG of "File Xfer Status". A batch that is stopped before the dialog comes up
// closes it at once; so does a received batch that ended meanwhile (its last file closed, or
// the peer's abort): it has left WS_RECEIVING, and the worker's close went to no dialog.
static INT_PTR OnXferInit(HWND hDlg)
{
    CenterDialog(hDlg);
    // The handle is published before the state is read: a close that the worker posts in
    // between would otherwise go to no dialog, and this one stay up.
    g_wnd.hwndXferDlg = hDlg;
    int bReceiveOver = g_worker.bAnswerMode == 1 && g_worker.iWorkerState != WS_RECEIVING;
    if (TransferStopped() || bReceiveOver) {
        g_wnd.hwndXferDlg = nullptr;
        PostMessageA(hDlg, WM_CLOSE, 0, 0);
        return FALSE;
    }
    g_wnd.dwXferStartTick = GetTickCount();
    char szHeading[256];
    LoadStringA(g_wnd.hInst, g_worker.bAnswerMode == 1 ? IDM_RECEIVE : IDM_SEND, szHeading,
                sizeof szHeading);
    SetDlgItemTextA(hDlg, IDC_XFER_HEADING, szHeading);
    ShowPeer(hDlg, g_worker.bAnswerMode == 1);
    return TRUE;
}

// Cancel of "File Xfer Status": the transfer routines see the stop and end.
static INT_PTR OnXferCancel(HWND hDlg)
{
    g_wnd.hwndXferDlg = nullptr;
    CancelTransfer();
    EndDialog(hDlg, IDCANCEL);
    return FALSE;
}

INT_PTR CALLBACK XferStatusDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM)
{
    switch (msg) {
    case WM_INITDIALOG:
        return OnXferInit(hDlg);
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL)
            return OnXferCancel(hDlg);
        return FALSE;
    case WM_CLOSE:
        g_wnd.hwndXferDlg = nullptr;
        EndDialog(hDlg, 0);
        return FALSE;
    default:
        return FALSE;
    }
}

// Formats string uId with two numbers into a dialog item.
static void SetItemFormatted(HWND hDlg, int idItem, UINT uId, uint64_t a, uint64_t b)
{
    char szText[256];
    FormatString(g_wnd.hInst, szText, sizeof szText, uId, (unsigned long long)a,
                 (unsigned long long)b);
    SetDlgItemTextA(hDlg, idItem, szText);
}

// Every byte count here is unsigned and formed in 64 bits: a file may be up to 4 GiB long
// and a batch longer still, and neither may read as a negative or wrapped figure.
void RefreshXferStatus()
{
    HWND hDlg = g_wnd.hwndXferDlg;
    int32_t nBlocks = g_xfer.nXferBlocks, iFile = g_xfer.iXferFile;
    XFERFILE* pFiles = g_xfer.pXferFiles;
    if (!hDlg || nBlocks == 0 || iFile < 0 || !pFiles)
        return;
    int32_t iBlock = g_xfer.iXferBlock;
    SetItemFormatted(hDlg, IDC_XFER_FILES, IDS_FILES_OF, iFile + 1, g_xfer.nXferFiles);
    if (iFile < MAX_BATCH_FILES) {
        // Counted in whole blocks, so the last block would pass the file's size.
        uint64_t qwSize = pFiles[iFile].dwSize;
        uint64_t qwDone = (uint64_t)(uint32_t)g_settings.cbBlock * (uint32_t)iBlock;
        SetItemFormatted(hDlg, IDC_XFER_BYTES, IDS_BYTES_OF, qwDone < qwSize ? qwDone : qwSize,
                         qwSize);
    }
    SendDlgItemMessageA(hDlg, IDC_XFER_FILEBAR, PBM_SETPOS,
                        (WPARAM)((int64_t)iBlock * 100 / nBlocks), 0);

    uint64_t qwDone = g_xfer.dwXferDone, qwTotal = g_xfer.dwXferTotal;
    if (qwTotal != 0) {
        SendDlgItemMessageA(hDlg, IDC_XFER_TOTALBAR, PBM_SETPOS, (WPARAM)(qwDone * 100 / qwTotal),
                            0);
        SetItemFormatted(hDlg, IDC_XFER_TOTAL, IDS_TOTAL_BYTES_OF, qwDone, qwTotal);
    }
    uint32_t secs = (GetTickCount() - g_wnd.dwXferStartTick + 999) / 1000;
    if (secs == 0)
        secs = 1;
    char szText[256];
    FormatString(g_wnd.hInst, szText, sizeof szText, IDS_BYTES_PER_SEC,
                 (unsigned long long)(qwDone / secs));
    SetDlgItemTextA(hDlg, IDC_XFER_RATE, szText);
}
