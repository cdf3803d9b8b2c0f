// Waits of the user-interface thread that keep its windows painting and answering.
#include "mainwindow/dispatchwait.h"

// The longest the wait sleeps without looking at its condition when no message comes.
static const DWORD LOOK_MS = 10;

static int s_nWaits;

int InDispatchingWait()
{
    return s_nWaits > 0;
}

bool WaitDispatching(const std::function<bool()>& done, DWORD msBound)
{
    s_nWaits++;
    DWORD dwStart = GetTickCount();
    int bQuit = 0;
    WPARAM quitCode = 0;
    bool bDone;
    while (!(bDone = done())) {
        DWORD msGone = GetTickCount() - dwStart;
        if (msGone >= msBound)
            break;
        DWORD msLeft = msBound - msGone;
        MsgWaitForMultipleObjectsEx(0, nullptr, msLeft < LOOK_MS ? msLeft : LOOK_MS, QS_ALLINPUT,
                                    MWMO_INPUTAVAILABLE);
        // One round of what is waiting: a message posted by what is dispatched now waits for
        // the next round, so that the condition is looked at in between.
        MSG msg;
        for (int n = 0; n < 64 && PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE); n++) {
            if (msg.message == WM_QUIT) {
                // Kept until the wait is over: posted again now, it would be taken again at
                // once and the wait would never rest.
                bQuit = 1;
                quitCode = msg.wParam;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    s_nWaits--;
    if (bQuit)
        PostQuitMessage((int)quitCode);
    return bDone;
}
