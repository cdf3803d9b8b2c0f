// The question to the receiving user before a peer's batch is taken: who sends, how many
// files, how much, the first names; Accept or Decline, declined by itself when time runs out.
#include "mainwindow/askreceive.h"

#include "connection/linkui.h"
#include "connection/settings.h"
#include "protocol/askreceive.h"
#include "resource.h"
#include "winshared/centerdialog.h"
#include "winshared/strtable.h"
#include "winshared/uistate.h"

#include <cstdio>
#include <cstring>

enum { COUNTDOWN_TIMER = 1, COUNTDOWN_TICK_MS = 1000 };

// The dialog's own state, behind its window: the question it asks and when it ends.
struct AskState {
    const ReceiveQuestion* pQuestion;
    DWORD dwDeadline;
};

void SenderText(const char* pszFrom, char* pszOut, size_t cb)
{
    if (pszFrom[0]) {
        snprintf(pszOut, cb, "%s", pszFrom);
        return;
    }
    char szPort[32] = "";
    LoadStringA(g_wnd.hInst, IDS_COMMTYPE_BASE + g_settings.iCommType, szPort, sizeof szPort);
    FormatString(g_wnd.hInst, pszOut, cb, IDS_PEER_ON_PORT, szPort);
}

static void ShowCountdown(HWND hDlg, const AskState* pState)
{
    int msLeft = (int)(pState->dwDeadline - GetTickCount());
    char szText[128];
    FormatString(g_wnd.hInst, szText, sizeof szText, IDS_ASK_COUNTDOWN,
                 msLeft > 0 ? (msLeft + 999) / 1000 : 0);
    SetDlgItemTextA(hDlg, IDC_ASK_COUNTDOWN, szText);
}

static INT_PTR OnAskInit(HWND hDlg, AskState* pState)
{
    SetWindowLongPtrA(hDlg, GWLP_USERDATA, (LONG_PTR)pState);
    // The handle goes up before the question is looked at, so that a withdrawal posted in
    // between finds the dialog; one withdrawn before it came up ends it at once.
    g_wnd.hwndAskDlg = hDlg;
    const ReceiveQuestion& q = *pState->pQuestion;
    if (!IsReceiveQuestionOpen(q.dwId)) {
        PostMessageA(hDlg, WM_ASKWITHDRAWN, q.dwId, 0);
        return TRUE;
    }
    CenterDialog(hDlg);
    char szFrom[160], szSize[32], szText[512];
    SenderText(q.szFrom, szFrom, sizeof szFrom);
    FormatSize(q.qwBytes, szSize);
    FormatString(g_wnd.hInst, szText, sizeof szText, IDS_ASK_TEXT, szFrom, q.nFiles, szSize);
    SetDlgItemTextA(hDlg, IDC_ASK_TEXT, szText);
    char szNames[1024] = "";
    for (int i = 0; i < q.nNames; i++) {
        strcat(szNames, q.aszNames[i]);
        strcat(szNames, "\r\n");
    }
    if (q.nFiles > q.nNames) {
        char szMore[64];
        FormatString(g_wnd.hInst, szMore, sizeof szMore, IDS_AND_MORE, q.nFiles - q.nNames);
        strcat(szNames, szMore);
    }
    SetDlgItemTextA(hDlg, IDC_ASK_NAMES, szNames);
    ShowCountdown(hDlg, pState);
    SetTimer(hDlg, COUNTDOWN_TIMER, COUNTDOWN_TICK_MS, nullptr);
    // The question comes while the user may be busy elsewhere: it is brought forward, and
    // Decline is the button that Enter presses.
    SetForegroundWindow(hDlg);
    SetFocus(GetDlgItem(hDlg, IDCANCEL));
    return FALSE;
}

static void EndAsk(HWND hDlg, ReceiveAnswer answer)
{
    const AskState* pState = (const AskState*)GetWindowLongPtrA(hDlg, GWLP_USERDATA);
    if (answer != ANSWER_NONE)
        AnswerReceiveQuestion(pState->pQuestion->dwId, answer);
    KillTimer(hDlg, COUNTDOWN_TIMER);
    g_wnd.hwndAskDlg = nullptr;
    EndDialog(hDlg, answer);
}

static INT_PTR CALLBACK AskDlgProc(HWND hDlg, UINT msg, WPARAM wParam, LPARAM lParam)
{
    const AskState* pState = (const AskState*)GetWindowLongPtrA(hDlg, GWLP_USERDATA);
    switch (msg) {
    case WM_INITDIALOG:
        return OnAskInit(hDlg, (AskState*)lParam);
    case WM_COMMAND:
        // Escape and the close box come as IDCANCEL: both decline.
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)
            EndAsk(hDlg, LOWORD(wParam) == IDOK ? ANSWER_ACCEPT : ANSWER_DECLINE);
        return TRUE;
    case WM_TIMER:
        if ((int)(pState->dwDeadline - GetTickCount()) <= 0)
            EndAsk(hDlg, ANSWER_DECLINE);
        else
            ShowCountdown(hDlg, pState);
        return TRUE;
    case WM_ASKWITHDRAWN:
        if ((uint32_t)wParam == pState->pQuestion->dwId)
            EndAsk(hDlg, ANSWER_NONE);
        return TRUE;
    }
    return FALSE;
}

void OnAskReceive(const ReceiveQuestion* pQuestion)
{
    // One question at a time: the worker withdraws an open one before it asks another, and
    // a dialog still up for it ends at that withdrawal.
    AskState state = {pQuestion, GetTickCount() + pQuestion->msWait};
    DialogBoxParamA(g_wnd.hInst, MAKEINTRESOURCEA(IDD_ASK_RECEIVE), g_wnd.hwndMain, AskDlgProc,
                    (LPARAM)&state);
}
