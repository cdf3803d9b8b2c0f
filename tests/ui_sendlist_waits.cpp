// The main window while a Send or Receive command waits for the worker after its status
// dialog: it answers and paints, holds back what must not start before the command ends (a
// command, a close) and posts it again afterwards, and passes on a quit taken meanwhile.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/settings.h"
#include "mainwindow/xfercommands.h"
#include "peer_wire.h"
#include "protocol/transfer.h"
#include "ui_support.h"

#include <atomic>

namespace {

struct CommandWaits : OnSendList {
    void SetUp() override
    {
        OnSendList::SetUp();
        g_settings.bShowResults = 0;    // no result box: the command returns by itself
    }
    void TearDown() override
    {
        g_settings.bShowResults = 1;
        g_settings.iCommType = CT_LAN;
        g_worker.bAbort = 0;
        // The poll opens the serial type's port when it finds none open.
        if (HANDLE hPort = g_link.hComm.exchange(nullptr))
            CloseHandle(hPort);
    }
};

// Plays the user on another thread once the command's status dialog has been cancelled and
// its wait has begun: five WM_NULL probes, each to be answered within 200 ms; the window
// invalidated, to be painted within 200 ms; then a Send and a close posted to the window and
// a quit to its thread, none of which may take effect yet. Returns what it saw, and whether
// the command was still waiting when it was done.
std::string ProbeTheWait(const std::function<bool()>& stillWaiting, std::atomic<int>& nPaints,
                         DWORD idUiThread)
{
    HWND hwndMain = g_wnd.hwndMain;
    int nAnswered = 0;
    for (int i = 0; i < 5; i++) {
        DWORD_PTR dwResult;
        DWORD dwStart = GetTickCount();
        if (SendMessageTimeoutA(hwndMain, WM_NULL, 0, 0, SMTO_NORMAL, 200, &dwResult)
            && GetTickCount() - dwStart <= 200)
            nAnswered++;
        Sleep(40);
    }
    int nBefore = nPaints;
    InvalidateRect(hwndMain, nullptr, TRUE);
    bool bPainted = WaitFor([&] { return nPaints > nBefore; }, 200);
    PostMessageA(hwndMain, WM_COMMAND, IDM_SEND, 0);
    PostMessageA(hwndMain, WM_CLOSE, 0, 0);
    PostThreadMessageA(idUiThread, WM_QUIT, 7, 0);
    Sleep(100);
    return "answered " + std::to_string(nAnswered) + " of 5" + (bPainted ? ", painted" : "")
           + (IsWindow(hwndMain) ? ", open" : ", destroyed")
           + (stillWaiting() ? ", still waiting" : ", wait over");
}

// What came to this thread once the command returned: the messages it had held, posted again
// in order, and the quit it took; everything else is dispatched as usual.
std::string MessagesAfterTheCommand()
{
    std::string seen;
    HWND hwndMain = g_wnd.hwndMain;
    for (DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < 1000;) {
        MSG msg;
        if (!PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            Sleep(5);
            continue;
        }
        if (msg.message == WM_QUIT) {
            seen += "quit " + std::to_string(msg.wParam);
            break;
        }
        if (msg.hwnd == hwndMain && msg.message == WM_COMMAND)
            seen += "command " + std::to_string(LOWORD(msg.wParam)) + ", ";
        else if (msg.hwnd == hwndMain && msg.message == WM_CLOSE)
            seen += "close, ";
        else {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
    return seen;
}

// Waits for the status dialog, lets bCancelNow decide when to press its Cancel, and waits for
// it to go; false when it never came or never went.
bool CancelStatusDialog(const std::function<bool()>& bCancelNow)
{
    HWND hDlg = WaitForDialog("File Xfer Status", 20000);
    if (!hDlg || !WaitFor(bCancelNow, 10000))
        return false;
    PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    return WaitFor([&] { return !IsWindow(hDlg); }, 5000);
}

// Runs the command while the user, on another thread, waits for its status dialog, cancels it
// once bCancelNow holds and probes the wait that follows (the command still waiting while
// bWaiting holds); the window must answer and paint meanwhile, and pass on what it held once
// the command has returned.
void ExpectTheWaitToAnswer(const std::function<void()>& command,
                           const std::function<bool()>& bCancelNow,
                           const std::function<bool()>& bWaiting)
{
    std::atomic<int> nPaints{0}, bReturned{0};
    WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM, LPARAM) { nPaints += msg == WM_PAINT; });
    std::string probed = "(the status dialog did not come and go)";
    DWORD idUiThread = GetCurrentThreadId();
    {
        UserThread user([&] {
            if (CancelStatusDialog(bCancelNow))
                probed = ProbeTheWait([&] { return !bReturned && bWaiting(); }, nPaints, idUiThread);
        });
        command();
        bReturned = 1;
    }
    std::string after = MessagesAfterTheCommand();
    EXPECT_EQ("answered 5 of 5, painted, open, still waiting", probed);
    EXPECT_EQ("command 40017, close, quit 7", after);
}

// A send over the COM1/COM2 pair to a peer that takes the list and the file's open, then
// answers no block; cancelled, the sender sends its abort notices, which the peer leaves
// unanswered until released, and the command waits for the sender up to its bound.
TEST_F(CommandWaits, SendCancelledWhileThePeerIsSilentKeepsTheWindowAnswering)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("big.bin"), std::string(64 * 1024, 'b'));
    std::string list = dir.File("big.bin") + std::string(2, '\0');     // a list of one path
    AddPathsToSendList(list.data());
    ASSERT_EQ(1, ItemCount(g_wnd.hwndSendList));
    HWND hwndMain = g_wnd.hwndMain;
    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";

    std::atomic<int> nBlocks{0}, nAborts{0}, bRelease{0};
    std::string seen;       // the peer's codes, read once it has ended
    UserThread peer([&] {
        PeerWire& wire = serial.wire;
        PlaySerialPeer(wire, "SILENT", 40000, seen, [&](uint8_t code) {
            switch (code) {
            case 0x61: wire.Recv(5 + 256); wire.Send(Frame(0x52)); break;
            case 0x5F: wire.Recv(1); wire.Send(Frame(0x52)); break;
            case 0x5C: wire.Recv(8 + 4096); nBlocks++; break;
            case 0x64:
                nAborts++;
                if (bRelease) {
                    wire.Send(Frame(0x63));
                    return false;
                }
                break;
            }
            return true;
        });
    });
    ExpectTheWaitToAnswer([] { RunCommand(IDM_SEND); }, [&] { return nBlocks > 0; },
                          [] { return g_worker.bSending != 0; });
    bRelease = 1;
    EXPECT_TRUE(IsWindow(hwndMain));
    EXPECT_EQ(1, ItemCount(g_wnd.hwndSendList)) << "the file was not sent and stays listed";
    EXPECT_TRUE(WaitFor([] { return !g_worker.bSending; }, 15000)) << nAborts << " abort notices";
    peer.Join();
    EXPECT_TRUE(serial.Stop()) << seen;
    EXPECT_NE(std::string::npos, seen.find("5C")) << "the peer saw: " << seen;
}

// A serial receive cancelled while the worker (here none) still holds the partial file: the
// command pauses before answer mode, then waits for the file up to its bound and takes it
// itself; the window answers and paints meanwhile.
TEST_F(CommandWaits, ReceiveCancelledWaitsForThePartialFileWithTheWindowAnswering)
{
    ScratchDir dest;
    std::string part = dest.File("part.bin");
    std::string rec = Record("part.bin", 4096);
    ASSERT_TRUE(HoldPartialFile(dest.Path(), part, rec));
    ExpectTheWaitToAnswer(CmdReceive, [] { return true; }, [] { return g_xfer.hXferFile != nullptr; });
    g_xfer.pXferFiles = nullptr;
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState.load());
    EXPECT_EQ(nullptr, g_xfer.hXferFile.load());
    EXPECT_FALSE(FileExists(part));
}

}  // namespace
