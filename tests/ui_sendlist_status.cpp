// The Send List in the main window (adding, the 100-file check, removing, the batch table's
// limit), its summary line and size texts, and the transfer status dialog.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
#include "connection/progress.h"
#include "mainwindow/xfercommands.h"
#include "protocol/packets.h"
#include "resource.h"
#include "ui_support.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

std::string Size(int32_t n)
{
    char sz[32];
    FormatSize(n, sz);
    return sz;
}

TEST(FormatSize, TextsAtTheEdgesOfEachUnit)
{
    EXPECT_EQ("0", Size(0));
    EXPECT_EQ("1B", Size(1));
    EXPECT_EQ("1023B", Size(1023));
    EXPECT_EQ("1.0K", Size(1024));
    EXPECT_EQ("1.5K", Size(1536));
    EXPECT_EQ("1.9K", Size(2047));
    EXPECT_EQ("1023.9K", Size(1048575));
    EXPECT_EQ("1.0M", Size(1048576));
    EXPECT_EQ("3.5M", Size(3670016));
    // A tenths digit that would reach 10 stays at 9.
    EXPECT_EQ("1.9K", Size(1024 + 1023));
    // 3 GB arrives negative and is shown by its unsigned value.
    EXPECT_EQ("3072.0M", Size((int32_t)0xC0000000u));
}

struct SendList : ::testing::Test {
    static ScratchDir* s_pDir;
    static void SetUpTestSuite()
    {
        s_pDir = new ScratchDir;
        ASSERT_NE(nullptr, MakeMainWindow(s_pDir->Path()));
    }
    static void TearDownTestSuite() { delete s_pDir; }
    void SetUp() override { Clear(); }

    static void Clear()
    {
        SendMessageA(g_state.hwndSendList, LVM_DELETEALLITEMS, 0, 0);
        g_state.dwSendListBytes = 0;
        UpdateSendListStatus();
    }
    static std::vector<std::string> Rows()
    {
        std::vector<std::string> v;
        for (int i = 0; i < ItemCount(g_state.hwndSendList); i++)
            v.push_back(ItemText(g_state.hwndSendList, i));
        return v;
    }
    // A one-path list: the path and the two NULs that end it.
    static void AddPath(const std::string& path)
    {
        std::string list = path + std::string(2, '\0');
        AddPathsToSendList(list.data());
    }
    static std::string Summary() { return WindowText(g_state.hwndStatusText); }
    static void SelectFilePaneRows(const std::vector<int>& rows)
    {
        ListView_SetItemState(g_state.hwndFileList, -1, 0, LVIS_SELECTED);
        for (int i : rows)
            ListView_SetItemState(g_state.hwndFileList, i, LVIS_SELECTED, LVIS_SELECTED);
    }
};
ScratchDir* SendList::s_pDir;

TEST_F(SendList, PathListOfAFolderAndNamesAddsNewestOnTop)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("x.bin"), std::string(100, 'x'));
    WriteWholeFile(dir.File("y.bin"), std::string(2000, 'y'));
    WriteWholeFile(dir.File("z.bin"), "z");
    std::string list = dir.Path() + '\0' + "x.bin" + '\0' + "y.bin" + '\0' + "missing.bin" +
                       '\0' + "z.bin" + std::string(2, '\0');
    EXPECT_EQ(4, GetListPath(list.data(), -1, nullptr, 0));
    AddPathsToSendList(list.data());
    UpdateSendListStatus();
    EXPECT_EQ((std::vector<std::string>{"z.bin", "y.bin", "x.bin"}), Rows());
    EXPECT_EQ(2101u, g_state.dwSendListBytes);
    EXPECT_EQ("Files: 3  Bytes: 2.0K", Summary());
    EXPECT_EQ("1.9K", ItemText(g_state.hwndSendList, 1, 1));
    EXPECT_EQ(dir.File("y.bin"), ItemText(g_state.hwndSendList, 1, 2));
}

// Removing rows 1 and 3 of five keeps 0, 2 and 4 in order and subtracts exactly their sizes.
TEST_F(SendList, RemoveTakesOutTheSelectedRowsAndTheirBytes)
{
    ScratchDir dir;
    for (int i = 0; i < 5; i++) {
        std::string name = "r" + std::to_string(i);
        WriteWholeFile(dir.File(name), std::string(10 * (i + 1), 'r'));
        AddPath(dir.File(name));
    }
    EXPECT_EQ((std::vector<std::string>{"r4", "r3", "r2", "r1", "r0"}), Rows());
    EXPECT_EQ(150u, g_state.dwSendListBytes);
    ListView_SetItemState(g_state.hwndSendList, 1, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(g_state.hwndSendList, 3, LVIS_SELECTED, LVIS_SELECTED);
    SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_REMOVE, 0);
    EXPECT_EQ((std::vector<std::string>{"r4", "r2", "r0"}), Rows());
    EXPECT_EQ(150u - 40u - 20u, g_state.dwSendListBytes);
    EXPECT_EQ("Files: 3  Bytes: 90B", Summary());
    // Nothing selected: only a beep, the list stays.
    SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_REMOVE, 0);
    EXPECT_EQ(3u, Rows().size());
}

// Add to Send List from the file pane: files in top-down order end up reversed, a folder is
// skipped, and the summary counts them.
TEST_F(SendList, AddSelectedTakesTheFilePaneSelection)
{
    ScratchDir dir;
    CreateDirectoryA(dir.File("folder").c_str(), nullptr);
    for (const char* psz : {"x", "y", "z"})
        WriteWholeFile(dir.File(psz), psz);
    snprintf(g_state.szCurDir, sizeof g_state.szCurDir, "%s", dir.Path().c_str());
    FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
    ASSERT_EQ("folder", ItemText(g_state.hwndFileList, 0));
    SelectFilePaneRows({0, 1, 2, 3});
    SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_ADDTOSENDLIST, 0);
    EXPECT_EQ((std::vector<std::string>{"z", "y", "x"}), Rows());
    EXPECT_EQ("Files: 3  Bytes: 3B", Summary());
}

// 95 listed and 6 selected is over 100: the message, caption "Error", and nothing added;
// with 5 selected they are added.
TEST_F(SendList, HundredFileCheckShowsItsMessageAndAddsNothing)
{
    ScratchDir many, pane;
    std::string list = many.Path() + '\0';
    for (int i = 0; i < 95; i++) {
        std::string name = "m" + std::to_string(i);
        WriteWholeFile(many.File(name), "m");
        list += name + '\0';
    }
    list += '\0';
    AddPathsToSendList(list.data());
    ASSERT_EQ(95u, Rows().size());
    for (int i = 0; i < 6; i++)
        WriteWholeFile(pane.File("p" + std::to_string(i)), "p");
    snprintf(g_state.szCurDir, sizeof g_state.szCurDir, "%s", pane.Path().c_str());
    FillFileList(g_state.hwndFileList, g_state.szCurDir, 0);
    SelectFilePaneRows({0, 1, 2, 3, 4, 5});
    {
        BoxAnswerer box("Error");
        SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_ADDTOSENDLIST, 0);
        EXPECT_EQ("A maximum of 100 files can be sent at one time.", box.Text());
    }
    EXPECT_EQ(95u, Rows().size());
    SelectFilePaneRows({0, 1, 2, 3, 4});
    SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_ADDTOSENDLIST, 0);
    EXPECT_EQ(100u, Rows().size());
    EXPECT_EQ("Files: 100  Bytes: 100B", Summary());
}

// A Send List longer than the batch table is refused whole with a message; nothing is
// written past the table and the worker is never started.
TEST_F(SendList, SendOfMoreRowsThanTheBatchTableIsRefused)
{
    ScratchDir many;
    std::string list = many.Path() + '\0';
    for (int i = 0; i < MAX_BATCH_FILES + 1; i++) {
        std::string name = "b" + std::to_string(i);
        WriteWholeFile(many.File(name), "b");
        list += name + '\0';
    }
    list += '\0';
    AddPathsToSendList(list.data());
    ASSERT_EQ((size_t)MAX_BATCH_FILES + 1, Rows().size());
    std::vector<XFERFILE> table(MAX_BATCH_FILES + 1);
    memset(&table[MAX_BATCH_FILES], 0xA5, sizeof(XFERFILE));
    g_state.pXferFiles = table.data();
    g_state.iWorkerState = WS_IDLE;
    {
        BoxAnswerer box("Error");
        SendMessageA(g_state.hwndMain, WM_COMMAND, IDM_SEND, 0);
        EXPECT_TRUE(box.Seen());
        EXPECT_NE("", box.Text());
    }
    g_state.pXferFiles = nullptr;
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState.load());
    EXPECT_EQ(0xA5, ((const unsigned char*)&table[MAX_BATCH_FILES])[0]);
    EXPECT_EQ((size_t)MAX_BATCH_FILES + 1, Rows().size());
}

// The status dialog's fields after a refresh, and its heading for each direction.
struct XferStatus : ::testing::Test {
    static void SetUpTestSuite() { ASSERT_NE(nullptr, MakeMainWindow("")); }
    HWND hDlg = nullptr;
    XFERFILE files[2] = {};
    void Open(int bAnswerMode)
    {
        g_state.bAbort = 0;
        g_state.bAnswerMode = bAnswerMode;
        hDlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_XFERSTATUS),
                                  g_state.hwndMain, XferStatusDlgProc, 0);
        ASSERT_NE(nullptr, hDlg);
    }
    void TearDown() override
    {
        if (hDlg && IsWindow(hDlg))
            DestroyWindow(hDlg);
        g_state.hwndXferDlg = nullptr;
        g_state.pXferFiles = nullptr;
        g_state.nXferBlocks = 0;
        g_state.bAnswerMode = 1;
        g_state.bAbort = 0;
    }
    std::string Item(int id)
    {
        char sz[256] = "";
        GetDlgItemTextA(hDlg, id, sz, sizeof sz);
        return sz;
    }
    int Bar(int id) { return (int)SendDlgItemMessageA(hDlg, id, PBM_GETPOS, 0, 0); }
};

TEST_F(XferStatus, RefreshFillsCountsBarsAndRate)
{
    Open(0);
    EXPECT_EQ(hDlg, g_state.hwndXferDlg.load());
    EXPECT_EQ("Sending Files", Item(IDC_XFER_HEADING));
    files[1].dwSize = 10000;
    g_state.pXferFiles = files;
    g_state.nXferFiles = 2;
    g_state.iXferFile = 1;
    g_state.cbBlock = 4096;
    g_state.nXferBlocks = 3;
    g_state.iXferBlock = 2;
    g_state.dwXferTotal = 3000000;
    g_state.dwXferDone = 1000000;
    // 2.5 s in: three whole seconds.
    g_state.dwXferStartTick = GetTickCount() - 2500;
    RefreshXferStatus();
    EXPECT_EQ("2 of 2 Files", Item(IDC_XFER_FILES));
    EXPECT_EQ("8192 of 10000 Bytes", Item(IDC_XFER_BYTES));
    EXPECT_EQ(66, Bar(IDC_XFER_FILEBAR));
    EXPECT_EQ(33, Bar(IDC_XFER_TOTALBAR));
    EXPECT_EQ("1000000 of 3000000 Total Bytes", Item(IDC_XFER_TOTAL));
    EXPECT_EQ("333333 bytes per second", Item(IDC_XFER_RATE));
    // In the first second the rate is the byte count itself.
    g_state.dwXferStartTick = GetTickCount();
    RefreshXferStatus();
    EXPECT_EQ("1000000 bytes per second", Item(IDC_XFER_RATE));
    // Totals whose product would overflow 32 bits still give the right bar.
    g_state.dwXferTotal = 4000000000u;
    g_state.dwXferDone = 3000000000u;
    RefreshXferStatus();
    EXPECT_EQ(75, Bar(IDC_XFER_TOTALBAR));
}

// Opened after a cancel: it closes itself and never hands its handle to the worker.
TEST_F(XferStatus, OpenedAfterAbortClosesItselfUnpublished)
{
    g_state.bAbort = 1;
    g_state.hwndXferDlg = nullptr;
    std::atomic<int> bSeenHandle{0};
    std::thread watch([&] {
        for (int i = 0; i < 50; i++) {
            if (g_state.hwndXferDlg.load())
                bSeenHandle = 1;
            Sleep(10);
        }
    });
    INT_PTR r = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_XFERSTATUS),
                                g_state.hwndMain, XferStatusDlgProc, 0);
    watch.join();
    EXPECT_EQ(0, r);
    EXPECT_EQ(0, bSeenHandle.load());
}

// Cancel returns the worker to answer mode and raises bAbort.
TEST_F(XferStatus, CancelStopsTheTransfer)
{
    Open(0);
    g_state.iWorkerState = WS_SEND;
    SendMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(1, g_state.bAbort.load());
    EXPECT_EQ(WS_IDLE, g_state.iWorkerState.load());
    EXPECT_EQ(1, g_state.bAnswerMode.load());
    EXPECT_EQ(nullptr, g_state.hwndXferDlg.load());
}

// The status dialogs of this thread that are shown.
static int ShownStatusDialogs()
{
    struct Count {
        DWORD dwThread;
        int n;
    } c = {GetCurrentThreadId(), 0};
    EnumWindows([](HWND hwnd, LPARAM l) -> BOOL {
        Count* p = (Count*)l;
        char sz[64] = "";
        GetWindowTextA(hwnd, sz, sizeof sz);
        if (IsWindowVisible(hwnd) && GetWindowThreadProcessId(hwnd, nullptr) == p->dwThread &&
            strcmp(sz, "File Xfer Status") == 0)
            p->n++;
        return TRUE;
    }, (LPARAM)&c);
    return c.n;
}

// A peer that starts a second batch while the first one's dialog is up gets no second dialog:
// the one shown serves it and goes when the worker closes it. A second dialog took the handle
// the worker closes, and the first stayed up over an idle link.
TEST_F(XferStatus, ReceiveStartedAgainKeepsOneDialogThatTheWorkerCloses)
{
    g_state.bAnswerMode = 1;
    g_state.bShowResults = 0;
    g_state.iCommType = CT_COM1;
    g_state.iWorkerState = WS_RECEIVING;
    g_state.hwndXferDlg = nullptr;
    static int s_iStep, s_nWhileUp;
    s_iStep = 0;
    s_nWhileUp = -1;
    // The steps run in the dialog's modal loop, on this thread, as the worker's posts arrive.
    UINT_PTR idStep = SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR, DWORD) {
        HWND hDlg = g_state.hwndXferDlg;
        if (s_iStep == 0 && hDlg) {
            PostMessageA(g_state.hwndMain, WM_COMMAND, IDM_RECEIVE, 0);    // the second batch
            s_iStep = 1;
        } else if (s_iStep == 1) {
            s_nWhileUp = ShownStatusDialogs();
            g_state.iWorkerState = WS_IDLE;                             // it ends
            PostMessageA(hDlg, WM_CLOSE, 0, 0);
            s_iStep = 2;
        } else if (s_iStep == 2) {
            // A dialog left up over the idle link is closed, so that the test ends either way.
            EnumWindows([](HWND hwnd, LPARAM) -> BOOL {
                char sz[64] = "";
                GetWindowTextA(hwnd, sz, sizeof sz);
                if (strcmp(sz, "File Xfer Status") == 0)
                    PostMessageA(hwnd, WM_CLOSE, 0, 0);
                return TRUE;
            }, 0);
            s_iStep = 3;
        }
    });
    CmdReceive();
    KillTimer(nullptr, idStep);
    g_state.bShowResults = 1;
    EXPECT_EQ(1, s_nWhileUp);
    EXPECT_EQ(2, s_iStep) << "a status dialog stayed up after the worker closed it";
}

}  // namespace
