// The main window's side of a transfer: the Send command drives the worker through the
// connect and send steps, the Receive command shows a batch arriving, the poll refreshes the
// status dialog and retries a serial port that was busy.
#include "mainwindow/xfercommands.h"

#include "browser/listing.h"
#include "browser/sendlist.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "connection/sockets.h"
#include "mainwindow/askreceive.h"
#include "mainwindow/dispatchwait.h"
#include "mainwindow/linkreports.h"
#include "mainwindow/mainwindow.h"
#include "mainwindow/progress.h"
#include "protocol/packets.h"
#include "protocol/recvfile.h"
#include "protocol/recvresult.h"
#include "protocol/transferstate.h"
#include "resource.h"
#include "winshared/listview.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <algorithm>
#include <commctrl.h>
#include <cstdio>
#include <cstring>
#include <vector>

// How long a command waits for the worker to let go of a batch's link or file, and the
// pause after a serial receive before the worker is sent back to answer mode.
enum { DISCARD_WAIT_MS = 3000, SERIAL_SETTLE_MS = 200 };

// Waits, up to DISCARD_WAIT_MS, while the worker is still busy with what the command needs;
// the window paints and answers meanwhile.
template <class Busy>
static void AwaitWorker(Busy busy)
{
    WaitDispatching([&] { return !busy(); }, DISCARD_WAIT_MS);
}

// While a Send or Receive command runs, some messages to the main window must wait for it to
// end; they are posted again, in the order they came, once the outermost command is over:
// - closing the window, which would destroy the Send List and the owner of the boxes still
//   to come;
// - a command line handed over by a second start and dropped files, which add rows at the
//   top of the Send List, whose rows the send marks as sent by their place;
// - any command that comes while the command waits for the worker between its dialogs (the
//   window is enabled then): a second Send or Receive would start the worker anew before it
//   has let go of the batch, Settings would close its link under it, and a receive's result
//   is counted from the words that a new batch would change. During the dialogs the window
//   is disabled, and the worker's Receive command goes through as before: the status dialog
//   shown serves it.
struct HeldMessage {
    UINT msg;
    WPARAM wParam;
    LPARAM lParam;
};
static int s_nCommandsRunning;
static std::vector<HeldMessage> s_held;

int HoldUntilTransferEnds(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (!s_nCommandsRunning)
        return 0;
    int bHold = msg == WM_CLOSE || msg == WM_PASSCMDLINE || msg == WM_DROPFILES
                || (msg == WM_COMMAND && InDispatchingWait());
    if (bHold)
        s_held.push_back({msg, wParam, lParam});
    return bHold;
}

// Marks a Send or Receive command as running for its lifetime.
struct CommandRunning {
    CommandRunning() { s_nCommandsRunning++; }
    ~CommandRunning()
    {
        if (--s_nCommandsRunning)
            return;
        std::vector<HeldMessage> held;
        held.swap(s_held);
        HWND hwndMain = g_wnd.hwndMain;
        for (const HeldMessage& m : held)
            if (hwndMain)
                PostMessageA(hwndMain, m.msg, m.wParam, m.lParam);
    }
};

// The full path in Send List row i (its third column), into a buffer of MAX_PATH bytes.
static void GetSendListPath(int i, char* pszPath)
{
    ListItemText(g_wnd.hwndSendList, i, pszPath, MAX_PATH, 2);
}

// A receiver of this protocol takes at most this many files in one list, so a longer Send
// List goes out as consecutive batches of this size.
static const int FILES_PER_BATCH = MAX_RECV_FILES;
static_assert(FILES_PER_BATCH <= (int)MAX_BATCH_FILES, "a batch fits the batch table");

// Turns the Send List rows iFirst to iFirst + n - 1 into the batch records, in row order,
// each with its size now, and *pqwTotal into their byte total. A record carries what fits
// of the row's path, ending in the file name; the sender opens the file by the full path
// kept beside it. Returns the row of the first file that cannot be sent now, or -1 when every
// one can, with *pidWhy the string that says why: a file that cannot be opened for reading,
// or one that has grown to 4 GiB or more, which a record cannot carry. Such a file is
// reported before its batch is announced, since a size for it would be made up.
static int FillBatchTable(XFERFILE* pFiles, int iFirst, int n, uint64_t* pqwTotal, UINT* pidWhy)
{
    *pqwTotal = 0;
    for (int i = 0; i < n; i++) {
        char szPath[MAX_PATH];
        GetSendListPath(iFirst + i, szPath);
        memset(&pFiles[i], 0, sizeof pFiles[i]);
        SetBatchRecordPath(i, szPath);
        HANDLE hFile = CreateFileA(szPath, GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        BOOL bSized = hFile != INVALID_HANDLE_VALUE && GetFileSizeEx(hFile, &size);
        if (hFile != INVALID_HANDLE_VALUE)
            CloseHandle(hFile);
        *pidWhy = !bSized ? IDS_CANT_READ_SOURCE : size.QuadPart > 0xFFFFFFFFll ? IDS_SOURCE_TOO_LARGE : 0;
        if (*pidWhy)
            return iFirst + i;
        pFiles[i].dwSize = (uint32_t)size.QuadPart;
        *pqwTotal += pFiles[i].dwSize;
    }
    return -1;
}

// Takes the rows whose files were sent out of the Send List, through the Remove command,
// and no other row.
static void RemoveSentRows(const std::vector<char>& abSent)
{
    HWND hwndList = g_wnd.hwndSendList;
    SelectListItem(hwndList, -1, 0);
    int nSent = 0;
    for (size_t i = 0; i < abSent.size(); i++) {
        if (abSent[i]) {
            SelectListItem(hwndList, (int)i, 1);
            nSent++;
        }
    }
    if (nSent)
        SendMessageA(g_wnd.hwndMain, WM_COMMAND, IDM_REMOVE, 0);
}

// The text that tells the user why a send stopped, or 0 when the count of the files sent
// tells it all: the send ended, the user cancelled it, or the link broke.
static UINT SendStopText(StopReason why)
{
    switch (why) {
    case STOP_REFUSED_NO_SPACE:
        return IDS_NO_SPACE;
    case STOP_REFUSED_NAMES:
        return IDS_NAME_CONFLICT;
    case STOP_REFUSED_CREATE:
        return IDS_CANT_CREATE;
    case STOP_SOURCE_UNREADABLE:
        return IDS_CANT_READ_SOURCE;
    default:
        return 0;
    }
}

// Tells the user why the send stopped (the string idWhy, with the path it names, if any)
// and, when files went before it, how many did: those are the rows that have left the Send
// List.
static void ReportSendStopped(UINT idWhy, const char* pszPath, int nSent, int nRows)
{
    char szText[1024], szCaption[64];
    FormatString(g_wnd.hInst, szText, sizeof szText, idWhy, pszPath);
    if (nSent > 0) {
        size_t n = strlen(szText);
        snprintf(szText + n, sizeof szText - n, "\n\n");
        FormatString(g_wnd.hInst, szText + n + 2, sizeof szText - n - 2, IDS_SENT_BEFORE_STOP,
                     nSent, nRows);
    }
    LoadStringA(g_wnd.hInst, IDS_ERROR, szCaption, sizeof szCaption);
    MessageBoxA(g_wnd.hwndMain, szText, szCaption, MB_ICONHAND);
}

// One batch of the records in the batch table, as a batch on its own: connect, send, and
// back to answer mode. 0 when the user cancelled the connect, so that nothing was sent.
static int RunBatch(int nFiles, uint64_t qwTotal)
{
    HANDLE hComm = g_link.hComm;
    if (g_settings.iCommType != CT_IRDA && g_settings.iCommType != CT_USB && hComm)
        PurgeComm(hComm, PURGE_TXCLEAR | PURGE_RXCLEAR);
    BeginSendBatch(nFiles, qwTotal);
    StartConnect();
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_CONNECTING), g_wnd.hwndMain, ConnectDlgProc,
                    0);
    if (TransferStopped()) {
        ClearCancel();
        return 0;
    }

    StartSend();
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_XFERSTATUS), g_wnd.hwndMain,
                    XferStatusDlgProc, 0);
    // The worker closes the link once its send is over, and a next Send must not start
    // before it has: its return to answer mode would undo the next connect. Closing the link
    // here instead could take the connection of a peer that the worker has already accepted.
    // After a cancel the sender is still finishing: what it sent is known, and its stop may be
    // cleared, only once it has returned.
    AwaitWorker([&] { return g_worker.iWorkerState == WS_SEND || g_worker.bSending; });
    ReturnToAnswerMode();
    return 1;
}

int CmdSend()
{
    CommandRunning running;
    int n = (int)SendMessageA(g_wnd.hwndSendList, LVM_GETITEMCOUNT, 0, 0);
    XFERFILE* pFiles = g_xfer.pXferFiles;
    if (n == 0 || !pFiles) {
        MessageBeep(0);
        return 0;
    }
    // Every file is checked before the first batch goes, so that a send never stops halfway
    // for a file that could not have been read from the start.
    uint64_t qwTotal;
    UINT idStop = 0;
    for (int iFirst = 0; iFirst < n; iFirst += FILES_PER_BATCH) {
        int iBad = FillBatchTable(pFiles, iFirst, std::min(FILES_PER_BATCH, n - iFirst), &qwTotal,
                                  &idStop);
        if (iBad >= 0) {
            char szPath[MAX_PATH];
            GetSendListPath(iBad, szPath);
            ReportSendStopped(idStop, szPath, 0, n);
            return 0;
        }
    }

    // Why the send stopped, when it did not end as the user wanted: the string that says so,
    // and the Send List row it names (or -1). It is told once the rows that went have left
    // the Send List, with how many they were, since the batches before it did go.
    std::vector<char> abSent(n, 0);
    int nSentOk = 0, iStopRow = -1;
    for (int iFirst = 0; iFirst < n && !idStop; iFirst += FILES_PER_BATCH) {
        int nBatch = std::min(FILES_PER_BATCH, n - iFirst);
        iStopRow = FillBatchTable(pFiles, iFirst, nBatch, &qwTotal, &idStop);
        if (idStop)
            break;
        if (!RunBatch(nBatch, qwTotal)) {
            if (iFirst == 0)
                return 0;       // nothing went: the user only changed his mind
            break;
        }
        for (int i = 0; i < nBatch; i++)
            abSent[iFirst + i] = g_xfer.abFileSent[i];
        nSentOk += g_xfer.nFilesOk;
        // A cancel, a refusal or a broken link ends the send at this batch. A sender that
        // has not returned yet keeps its stop.
        StopReason why = TransferStopReason();
        idStop = SendStopText(why);
        int iUnread = g_xfer.iUnreadableFile;
        if (why == STOP_SOURCE_UNREADABLE && iUnread >= 0 && iUnread < nBatch)
            iStopRow = iFirst + iUnread;
        ClearCancel();
        if (why != STOP_NONE)
            break;
    }
    // The path of the row that stopped the send is read before the rows go.
    char szStopPath[MAX_PATH] = "";
    if (iStopRow >= 0)
        GetSendListPath(iStopRow, szStopPath);
    RemoveSentRows(abSent);
    UpdateSendListStatus();
    if (idStop)
        ReportSendStopped(idStop, szStopPath, nSentOk, n);
    else if (g_settings.bShowResults)
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_SENT_RESULT, IDS_SEND_CAP, MB_OK, nSentOk, n);
    return !idStop;
}

int CmdReceive()
{
    // A batch that starts while the status dialog is up (the peer began anew without ending
    // the last one) is shown by that dialog. A second dialog from inside the first one's modal
    // loop would take the handle the worker closes, and leave the first up for good.
    HWND hShown = g_wnd.hwndXferDlg;
    if (hShown && IsWindow(hShown))
        return 0;
    CommandRunning running;
    ClearCancel();
    uint32_t dwBatch = g_xfer.dwRecvBatch;
    int idDlg = g_wnd.bLandscape ? IDD_XFERSTATUS : IDD_XFERSTATUS_TALL;
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(idDlg), g_wnd.hwndMain, XferStatusDlgProc, 0);
    // On a socket the link and the state are the worker's: by now it may be serving the
    // peer's next batch on a new connection, which this command must not close or reset.
    // After a cancel the worker sends the abort notice and closes the link; the cancel is
    // kept up until it has, so that clearing it afterwards cannot hide it from the worker.
    if (IsSocketType(g_settings.iCommType)) {
        SOCKET hBatch = g_link.hDataSock;
        if (TransferStopped() && hBatch != INVALID_SOCKET)
            AwaitWorker([&] { return g_link.hDataSock == hBatch; });
    } else {
        WaitDispatching([] { return false; }, SERIAL_SETTLE_MS);
        ReturnToAnswerMode();
    }
    if (!TransferStopped())
        PlayLinkSound("infend");
    // After a cancel the worker deletes the file it was writing when it sees the cancel; only
    // a worker that has not let go of it within a few seconds has it taken from it.
    if (TransferStopped()) {
        AwaitWorker([&] { return g_xfer.hXferFile != nullptr; });
        DiscardPartialFile();
    }
    if (g_settings.bShowResults) {
        // A batch that ended by a cancel here has no kept result: the worker has not taken
        // another list, and the counters are still this batch's.
        ReceivedBatch result;
        ReceivedBatchResult(dwBatch, &result);
        char szFrom[160];
        SenderText(result.szFrom, szFrom, sizeof szFrom);
        StringBox(g_wnd.hInst, g_wnd.hwndMain, IDS_RECEIVED_FROM, IDS_RECEIVE_CAP, MB_OK,
                  result.nOk, result.nFiles, szFrom);
    }
    if (strcmp(g_settings.szCurDir, g_settings.szDestDir) == 0)
        FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
    ClearCancel();
    return 1;
}

void OnPollTimer()
{
    RefreshXferStatus();
    int iType = g_settings.iCommType;
    if (iType >= CT_USB && iType <= CT_RAWIR && !g_link.hComm) {
        FindUsbSerialPort();
        OpenPortForUser(0);
    }
}

// "Talmox - <type>" on the main window, when there is one.
static void SetTitleForType(int iType)
{
    char szApp[32] = "", szType[32] = "", szTitle[80];
    LoadStringA(g_wnd.hInst, IDS_APPNAME, szApp, sizeof szApp);
    LoadStringA(g_wnd.hInst, IDS_COMMTYPE_BASE + iType, szType, sizeof szType);
    snprintf(szTitle, sizeof szTitle, "%s - %s", szApp, szType);
    if (HWND hwndMain = g_wnd.hwndMain)
        SetWindowTextA(hwndMain, szTitle);
}

void OpenPortForUser(int bReport)
{
    int iType = g_settings.iCommType;
    SetTitleForType(iType);
    HANDLE hPort = OpenCommPort();
    int bReady = IsSocketType(iType) || hPort;
    if (!bReady && bReport)
        StringBox(g_wnd.hInst, nullptr, IDS_PORT_OPEN_FAILED, IDS_COMMTYPE_BASE + iType,
                  MB_ICONHAND | MB_OK);
    if (HWND hwndBtn = g_wnd.hwndSendBtn)
        EnableWindow(hwndBtn, bReady);
    g_link.hComm = hPort;
}
