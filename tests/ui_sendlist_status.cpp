// The Send List (adding, removing, sending, the refusals) and its summary, the paths of
// command lines and a second start; the status dialog and the question before a receive; the
// main window while a command waits for the worker after its status dialog.
#include <gtest/gtest.h>

#include "browser/sendlist.h"
#include "mainwindow/progress.h"
#include "mainwindow/xfercommands.h"
#include "protocol/askreceive.h"
#include "protocol/destname.h"
#include "protocol/packets.h"
#include "ui_support.h"

#include <shlobj.h>

namespace {

struct SendList : OnSendList {
    void SetUp() override
    {
        OnSendList::SetUp();
        UpdateSendListStatus();
    }
    static std::string Summary() { return WindowText(g_wnd.hwndStatusText); }
    // Adds n one-byte files of a new folder through one path list: the folder, the names and
    // the two NULs that end it.
    static void AddFiles(const ScratchDir& dir, int n)
    {
        std::string list = dir.Path() + '\0';
        for (int i = 0; i < n; i++) {
            WriteWholeFile(dir.File("m" + std::to_string(i)), "m");
            list += "m" + std::to_string(i) + '\0';
        }
        list += '\0';
        AddPathsToSendList(list.data());
    }
};

// A path list adds each file on disk, newest on top; Remove takes out the selected rows and
// their bytes, and with nothing selected nothing.
TEST_F(SendList, PathListAddsNewestOnTopAndRemoveTakesOutTheSelectedRows)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("x.bin"), std::string(100, 'x'));
    WriteWholeFile(dir.File("y.bin"), std::string(2000, 'y'));
    WriteWholeFile(dir.File("z.bin"), "z");
    std::string list = dir.Path() + '\0' + "x.bin" + '\0' + "y.bin" + '\0' + "missing.bin" +
                       '\0' + "z.bin" + std::string(2, '\0');
    AddPathsToSendList(list.data());
    UpdateSendListStatus();
    EXPECT_EQ((Names{"z.bin", "y.bin", "x.bin"}), Rows());
    EXPECT_EQ("Files: 3  Bytes: 2.0K", Summary());
    ListView_SetItemState(g_wnd.hwndSendList, 0, LVIS_SELECTED, LVIS_SELECTED);
    ListView_SetItemState(g_wnd.hwndSendList, 2, LVIS_SELECTED, LVIS_SELECTED);
    RunCommand(IDM_REMOVE);
    EXPECT_EQ((Names{"y.bin"}), Rows());
    EXPECT_EQ("Files: 1  Bytes: 1.9K", Summary());
    ListView_SetItemState(g_wnd.hwndSendList, -1, 0, LVIS_SELECTED);
    RunCommand(IDM_REMOVE);
    EXPECT_EQ(1u, Rows().size());
}

std::string CurrentDir()
{
    char sz[MAX_PATH];
    GetCurrentDirectoryA(sizeof sz, sz);
    return sz;
}

// Command lines split by the system's rules (quotes, backslash runs before a quote) and made
// absolute; the line handed to a running copy names the same paths from any folder.
TEST(CommandLine, PathsAreSplitByTheSystemRulesAndMadeAbsoluteWhereGiven)
{
    ScratchDir here, elsewhere;
    std::string saved = CurrentDir();
    SetCurrentDirectoryA(here.Path().c_str());
    std::string h = here.Path(), up = h.substr(0, h.rfind('\\'));
    const struct { const char* pszLine; Names want; } cases[] = {
        {"a.txt b.txt \"c d.txt\"", {h + "\\a.txt", h + "\\b.txt", h + "\\c d.txt"}},
        {"  C:\\x\\one.txt\t\"C:\\y z\\two.txt\"  ", {"C:\\x\\one.txt", "C:\\y z\\two.txt"}},
        {"C:\\dir with\\no quotes.txt", {"C:\\dir", h + "\\with\\no", h + "\\quotes.txt"}},
        {"\"C:\\x y\\\\\" next.txt", {"C:\\x y\\", h + "\\next.txt"}},
        {"C:\\q\\\"uote.txt C:\\r\\\\\\\"s", {"C:\\q\"uote.txt", "C:\\r\\\"s"}},
        {"..\\up.txt sub\\..\\n.txt", {up + "\\up.txt", h + "\\n.txt"}},
        {"\"\"   ", {}},
        {"", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pszLine);
        EXPECT_EQ(c.want, CommandLinePaths(c.pszLine));
        std::string handed = AbsoluteCommandLine(c.pszLine);
        SetCurrentDirectoryA(elsewhere.Path().c_str());
        EXPECT_EQ(c.want, CommandLinePaths(handed.c_str())) << handed;
        SetCurrentDirectoryA(here.Path().c_str());
    }
    SetCurrentDirectoryA(saved.c_str());
}

// A command line's files are all added; one that is missing, a name longer than a record and
// a path longer than the system's are each refused with their reason, and the rest still go in.
TEST_F(SendList, CommandLineAddsItsFilesAndReportsEachOneRefused)
{
    ScratchDir dir;
    std::string longest(125, 'k'), tooLong(126, 'k'), deepest = "C:\\" + std::string(257, 'p');
    MakeFiles(dir, {"a.txt", "c d.txt", longest, tooLong});
    std::string saved = CurrentDir();
    SetCurrentDirectoryA(dir.Path().c_str());
    std::string line = "a.txt missing.txt \"c d.txt\" " + longest + " " + tooLong + " " + deepest;
    std::string shown = BoxesDuring([&] { AddCommandLineToSendList(line.c_str()); }, "Error",
                                    kEveryBox);
    SetCurrentDirectoryA(saved.c_str());
    EXPECT_EQ((Names{longest, "c d.txt", "a.txt"}), Rows());
    EXPECT_EQ("Error: '" + dir.File("missing.txt") + "' is not a file that can be read; it has not "
              "been added to the Send List.\n"
              "Error: The name '" + tooLong + "' is longer than the 125 characters that a transfer "
              "can carry; the file has not been added to the Send List.\n"
              "Error: The path '" + deepest + "' is longer than 259 characters; the file has not "
              "been added to the Send List.", shown);
}

// A second start of the program, in a folder of its own, hands its relative paths to this
// window made absolute there.
TEST_F(SendList, SecondStartHandsItsPathsMadeAbsoluteWhereItRan)
{
    char szExe[MAX_PATH];
    GetModuleFileNameA(nullptr, szExe, sizeof szExe);
    std::string exe = szExe;
    exe = exe.substr(0, exe.rfind('\\') + 1) + "talmox.exe";
    ASSERT_TRUE(FileExists(exe)) << exe << " is built with the tests";
    ScratchDir there;
    MakeFiles(there, {"one.txt", "two words.txt"});
    std::string line = "\"" + exe + "\" one.txt \"two words.txt\"";
    STARTUPINFOA si = {sizeof si};
    PROCESS_INFORMATION pi;
    ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                               there.Path().c_str(), &si, &pi));
    bool bAdded = WaitFor([] { Pump(0); return ItemCount(g_wnd.hwndSendList) == 2; }, 20000);
    // A copy that did not find this window would run on with its own.
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0)
        TerminateProcess(pi.hProcess, 1);
    DWORD dwExit = 1;
    GetExitCodeProcess(pi.hProcess, &dwExit);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    EXPECT_TRUE(bAdded);
    EXPECT_EQ(0u, dwExit);
    EXPECT_EQ((Names{"two words.txt", "one.txt"}), Rows());
    EXPECT_EQ(there.File("one.txt"), ItemText(g_wnd.hwndSendList, 1, 2));
}

// A file in folders deeper than a record holds is sent by the real worker: the record carries
// the tail of its path from a folder on, the peer gets it whole, and the row goes.
TEST_F(SendList, FileInDeepFoldersIsAddedSentAndArrivesUnderItsName)
{
    ScratchDir root;
    std::string folder = root.Path();
    for (int i = 0; folder.size() < 180; i++) {
        folder += "\\nested folder number " + std::to_string(i);
        CreateDirectoryA(folder.c_str(), nullptr);
    }
    std::string name = "deep file.bin", path = folder + "\\" + name, data = Pattern(10000, 9);
    ASSERT_GT(path.size(), (size_t)XFER_PATH_CHARS + 60);
    WriteWholeFile(path, data);
    AddCommandLineToSendList(("\"" + path + "\"").c_str());
    ASSERT_EQ((Names{name}), Rows());

    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";
    ReceiverScript script;
    script.nClosesToEnd = 1;
    ReceiverLog peer;
    EXPECT_EQ("", SendToPeer(serial.wire, script, peer, "Error", kEveryBox));
    EXPECT_TRUE(serial.Stop());
    EXPECT_TRUE(peer.bEnded) << "no close came";
    const std::string& recorded = peer.path;
    ASSERT_LE(recorded.size(), (size_t)XFER_PATH_CHARS);
    EXPECT_EQ(path.substr(path.size() - recorded.size()), recorded);
    EXPECT_EQ('\\', path[path.size() - recorded.size() - 1]) << "the tail starts at a folder";
    EXPECT_TRUE(peer.data == data) << peer.data.size() << " bytes arrived";
    EXPECT_EQ(Names{}, Rows());
}

// Drops the files on the main window as the shell does: a DROPFILES block of ANSI paths.
void DropFiles(const std::vector<std::string>& paths)
{
    std::string list;
    for (const std::string& path : paths)
        list += path + '\0';
    list += '\0';
    HGLOBAL hDrop = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size());
    auto* pDrop = (DROPFILES*)GlobalLock(hDrop);
    pDrop->pFiles = sizeof(DROPFILES);
    memcpy(pDrop + 1, list.data(), list.size());
    GlobalUnlock(hDrop);
    SendMessageA(g_wnd.hwndMain, WM_DROPFILES, (WPARAM)hDrop, 0);
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

// Files of 4 GiB and more stay out, named in one message. Sizes past 2 GiB show whole in the
// list and summary, and a total past 4 GiB in the records sent and the status dialog.
TEST_F(SendList, FilesOf4GiBOrMoreStayOutAndLargeSizesShowWhole)
{
    const uint64_t GiB = 1ull << 30;
    ScratchDir dir;
    std::string small = dir.File("small.bin"), big = dir.File("big.bin"),
                big2 = dir.File("big2.bin"), four = dir.File("four.bin"), five = dir.File("five.bin");
    WriteWholeFile(small, "s");
    MakeSparseFile(big, 5 * GiB / 2);
    MakeSparseFile(big2, 5 * GiB / 2);
    MakeSparseFile(four, 4 * GiB);
    MakeSparseFile(five, 5 * GiB);
    EXPECT_EQ("Error: A transfer cannot carry a file of 4 GB (4,294,967,296 bytes) or more, "
              "so these files have not been added to the Send List:\n\n" + four + "\n" + five,
              BoxesDuring([&] { DropFiles({small, four, big, five}); }));
    EXPECT_EQ((Names{"big.bin", "small.bin"}), Rows());
    EXPECT_EQ("2560.0M", ItemText(g_wnd.hwndSendList, 0, 1));
    EXPECT_EQ("Files: 2  Bytes: 2560.0M", Summary());
    AddCommandLineToSendList(("\"" + big2 + "\"").c_str());
    UpdateSendListStatus();
    EXPECT_EQ("Files: 3  Bytes: 5120.0M", Summary());

    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";
    ReceiverLog peer;
    std::string total;
    {
        UserThread peerThread([&] { PlayReceiver(serial.wire, {}, peer); });
        UserThread user([&] {
            // The total reads from the first refresh on, which may come before the list has
            // gone: the send is cancelled only once the peer has taken a block.
            CancelStatusDialog([&] {
                total = WindowText(GetDlgItem(FindActiveDialog("File Xfer Status"), IDC_XFER_TOTAL));
                return peer.nBlocks > 0 && total.find(" of ") != std::string::npos;
            });
        });
        RunCommand(IDM_SEND);
    }
    EXPECT_TRUE(serial.Stop());
    EXPECT_EQ((std::vector<uint32_t>{(uint32_t)(5 * GiB / 2), (uint32_t)(5 * GiB / 2), 1}), peer.sizes)
        << "the peer saw: " << peer.seen;
    EXPECT_NE(std::string::npos, total.find(" of 5368709121 Total Bytes")) << total;
}

// Files whose names are already listed, in another case or another folder, or twice in one
// Add, stay out with one note that names them; the rest of the Add goes in.
TEST_F(SendList, FilesOfANameAlreadyListedStayOutWithOneNote)
{
    ScratchDir one, two, pane;
    MakeFiles(one, {"x.txt"});
    MakeFiles(two, {"X.TXT"});
    MakeFiles(pane, {"x.txt", "y.txt", "z.txt"});
    AddCommandLineToSendList(("\"" + one.File("x.txt") + "\"").c_str());
    const std::string note = "Send List: A file of the same name is already on the Send List, and "
                             "the receiver keeps files by their names alone, so these files have "
                             "not been added:\n\n";
    std::string line = "\"" + two.File("X.TXT") + "\" \"" + pane.File("y.txt") + "\" \"" +
                       pane.File("y.txt") + "\"";
    EXPECT_EQ(note + two.File("X.TXT") + "\n" + pane.File("y.txt"),
              BoxesDuring([&] { AddCommandLineToSendList(line.c_str()); }));
    ShowFolder(pane.Path());
    SelectNames({"x.txt", "z.txt"});
    EXPECT_EQ(note + pane.File("x.txt"), BoxesDuring([] { RunCommand(IDM_ADDTOSENDLIST); }));
    EXPECT_EQ((Names{"z.txt", "y.txt", "x.txt"}), Rows());
    EXPECT_EQ(one.File("x.txt"), ItemText(g_wnd.hwndSendList, 2, 2));
}

// Add counts the rows selected, folders too, against 100: at 100 the files go in and the folder
// is skipped; over it nothing does, and a message says why.
TEST_F(SendList, AddFromTheFilePaneSkipsFoldersAndStopsAtAHundred)
{
    ScratchDir many, pane;
    AddFiles(many, 94);
    ASSERT_EQ(94u, Rows().size());
    MakeFiles(pane, {"folder\\", "v", "w", "x", "y", "z"});
    ShowFolder(pane.Path());
    SelectNames({"folder", "v", "w", "x", "y", "z"});
    RunCommand(IDM_ADDTOSENDLIST);
    Names rows = Rows();
    ASSERT_EQ(99u, rows.size());
    rows.resize(5);
    EXPECT_EQ((Names{"z", "y", "x", "w", "v"}), rows);
    EXPECT_EQ("Files: 99  Bytes: 99B", Summary());
    SelectNames({"v", "w"});
    EXPECT_EQ("Error: A maximum of 100 files can be sent at one time.",
              BoxesDuring([] { RunCommand(IDM_ADDTOSENDLIST); }, "Error"));
    EXPECT_EQ(99u, Rows().size());
}

// A file that cannot be read, in the third batch, is named before anything is sent: the worker
// is not started, nothing is written past a batch in the table, and every row stays.
TEST_F(SendList, SendOfAFileThatCannotBeReadNamesItAndSendsNothing)
{
    ScratchDir many;
    AddFiles(many, MAX_BATCH_FILES + 1);
    ASSERT_EQ((size_t)MAX_BATCH_FILES + 1, Rows().size());
    DeleteFileA(many.File("m40").c_str());      // row 216
    std::vector<XFERFILE> table(MAX_BATCH_FILES + 1);
    memset(&table[MAX_RECV_FILES], 0xA5, sizeof(XFERFILE));
    g_xfer.pXferFiles = table.data();
    g_worker.iWorkerState = WS_IDLE;
    EXPECT_EQ("Error: Unable to read the file '" + many.File("m40") +
              "'; the send operation has been aborted.",
              BoxesDuring([] { RunCommand(IDM_SEND); }, "Error"));
    g_xfer.pXferFiles = nullptr;
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState.load());
    EXPECT_EQ(1, g_worker.bAnswerMode.load());
    EXPECT_EQ(0xA5, ((const unsigned char*)&table[MAX_RECV_FILES])[0]);
    EXPECT_EQ((size_t)MAX_BATCH_FILES + 1, Rows().size());
}

// A peer that refuses the batch (space, a name conflict, a file it cannot create at the list or
// the open): the reason is shown and the Send List stays. Over the COM1/COM2 pair, the
// real worker's link-up and names come first, and the peer's name is kept.
TEST_F(SendList, SendRefusedByThePeerShowsWhyAndKeepsTheList)
{
    ScratchDir dir;
    AddFiles(dir, 2);
    UpdateSendListStatus();
    Names rows = Rows();
    std::string summary = Summary();
    strcpy(g_settings.szOwnerName, "Tester");
    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";
    const char* pszCantCreate = "The receiver is unable to create the destination file; the send "
                                "operation has been aborted.";
    const struct { uint8_t listReply; const char* pszSent; const char* pszBox; } cases[] = {
        {0x65, "61 64 ", "The recipient's machine does not have enough storage space to "
                            "receive all of the selected files."},
        {0x66, "61 64 ", "One or more file names conflict with existing files on the "
                            "recipient's machine."},
        {0x67, "61 64 ", pszCantCreate},
        {0x52, "61 5F 00 64 ", pszCantCreate},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.listReply);
        ReceiverLog peer;
        EXPECT_EQ(std::string("Error: ") + c.pszBox,
                  SendToPeer(serial.wire, {c.listReply, 0x52, 0x67}, peer, "Error", 20000, "PEERNAME"));
        EXPECT_TRUE(peer.bEnded) << "no abort notice";
        EXPECT_EQ(std::string("50 62 58 59 Tester ") + c.pszSent, peer.seen);
        EXPECT_EQ(rows, Rows());
        EXPECT_EQ(summary, Summary());
    }
    EXPECT_STREQ("PEERNAME", g_link.szPeerName);
    EXPECT_TRUE(serial.Stop());
}

// A Send List one file longer than a batch goes as two; when the second stops (refused, or its
// file deleted meanwhile) the box says so and that the first went, and only those rows leave.
TEST_F(SendList, SendOfTwoBatchesCountsBothOrSaysWhatWentBeforeItStopped)
{
    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";
    g_settings.bShowResults = 1;
    ScratchDir dir;
    const std::string last = dir.File("m0"), went = "\n\n99 of 100 files were sent before this; "
                             "they have left the Send List, and the others are still on it.";
    const struct { const char* how; uint8_t secondList; int nCloses; std::string shown; } cases[] = {
        {"taken", 0x52, MAX_RECV_FILES + 1, "Send File(s): 100 of 100 files sent successfully"},
        {"refused", 0x65, 0, "Error: The recipient's machine does not have enough storage space to "
                             "receive all of the selected files." + went},
        {"unreadable", 0x52, MAX_RECV_FILES,
         "Error: Unable to read the file '" + last + "'; the send operation has been aborted." + went},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.how);
        bool bTaken = c.nCloses > MAX_RECV_FILES;
        SetUp();    // an empty Send List
        AddFiles(dir, MAX_RECV_FILES + 1);      // m0, the oldest, is the bottom row
        ReceiverScript script;
        script.laterLists = c.secondList;
        script.nClosesToEnd = c.nCloses;
        if (c.nCloses == MAX_RECV_FILES)
            script.atFirstOpen = [&] { DeleteFileA(last.c_str()); };
        ReceiverLog peer;
        EXPECT_EQ(c.shown, SendToPeer(serial.wire, script, peer, bTaken ? "Send File(s)" : "Error", 60000));
        EXPECT_EQ(bTaken ? MAX_RECV_FILES + 1 : MAX_RECV_FILES, peer.nKept.load());
        EXPECT_EQ(bTaken ? Names{} : Names{"m0"}, Rows());
        EXPECT_EQ(bTaken ? "Files: 0  Bytes: 0" : "Files: 1  Bytes: 1B", Summary());
    }
    EXPECT_TRUE(serial.Stop());
}

struct XferStatus : OnMainWindow {
    void TearDown() override
    {
        g_wnd.hwndXferDlg = nullptr;
        g_xfer.pXferFiles = nullptr;
        g_xfer.nXferBlocks = 0;
        g_worker.bAnswerMode = 1;
        ClearStop();
    }
};

// The fields after a refresh, past 2 and 4 GiB; Cancel stops and returns to answer mode; a
// dialog opened after the batch has ended closes itself and leaves no handle to post to.
TEST_F(XferStatus, RefreshFillsTheFieldsCancelStopsAndADialogOpenedAfterClosesItself)
{
    ClearStop();
    g_worker.bAnswerMode = 0;
    g_link.dwDataPeerAddr = inet_addr("10.0.0.9");
    HWND hDlg = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_XFERSTATUS),
                                   g_wnd.hwndMain, XferStatusDlgProc, 0);
    ASSERT_NE(nullptr, hDlg);
    auto item = [&](int id) { return WindowText(GetDlgItem(hDlg, id)); };
    auto bar = [&](int id) { return (int)SendDlgItemMessageA(hDlg, id, PBM_GETPOS, 0, 0); };
    // The second file of two, of 2.5 GiB, past 2 GiB into it, and past 4 GiB of the batch, 2.5 s
    // in (three whole seconds): no figure wraps or turns negative, and the bars do not overflow.
    XFERFILE files[2] = {};
    files[1].dwSize = 2684354560u;
    g_xfer.pXferFiles = files;
    g_xfer.nXferFiles = 2;
    g_xfer.iXferFile = 1;
    g_settings.cbBlock = 4096;
    g_xfer.nXferBlocks = 655361;
    g_xfer.iXferBlock = 600000;
    g_xfer.dwXferTotal = 5368709121ull;
    g_xfer.dwXferDone = 4500000000ull;
    g_wnd.dwXferStartTick = GetTickCount() - 2500;
    RefreshXferStatus();
    EXPECT_EQ("to 10.0.0.9", item(IDC_XFER_PEER)) << "the machine that answered the probe";
    EXPECT_EQ("2 of 2 Files", item(IDC_XFER_FILES));
    EXPECT_EQ("2457600000 of 2684354560 Bytes", item(IDC_XFER_BYTES));
    EXPECT_EQ(91, bar(IDC_XFER_FILEBAR));
    EXPECT_EQ("4500000000 of 5368709121 Total Bytes", item(IDC_XFER_TOTAL));
    EXPECT_EQ(83, bar(IDC_XFER_TOTALBAR));
    EXPECT_EQ("1500000000 bytes per second", item(IDC_XFER_RATE));

    g_worker.iWorkerState = WS_SEND;
    SendMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
    EXPECT_EQ(STOP_USER, TransferStopReason());
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState.load());
    EXPECT_EQ(1, g_worker.bAnswerMode.load());
    EXPECT_EQ(nullptr, g_wnd.hwndXferDlg.load());
    if (IsWindow(hDlg))
        DestroyWindow(hDlg);

    for (int bAbort : {1, 0}) {
        ClearStop();
        if (bAbort)
            StopTransfer(STOP_PEER_ABORT);
        g_worker.iWorkerState = bAbort ? WS_RECEIVING : WS_IDLE;
        EXPECT_EQ(0, DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_XFERSTATUS),
                                     g_wnd.hwndMain, XferStatusDlgProc, 0)) << bAbort;
        EXPECT_EQ(nullptr, g_wnd.hwndXferDlg.load()) << bAbort;
    }
    g_worker.iWorkerState = WS_IDLE;
}

// The question before a receive: who sends (a nameless serial peer is its port's device), how
// much, the first five names, Decline the default. Accept accepts; Decline, Escape, the close
// box and the time-out decline; a question withdrawn goes. The worker's next look gets it.
TEST_F(XferStatus, AskedBeforeReceivingTheUserAcceptsOrDeclinesInEveryWay)
{
    DestName names[6] = {};
    for (int i = 0; i < 6; i++)
        snprintf(names[i].szName, sizeof names[i].szName, "photo%d.jpg", i);
    // What the user does: a message to a button of the question (0: to the question itself).
    const struct { const char* what; int idButton; UINT msg; WPARAM w; ReceiveAnswer want; } cases[] = {
        {"accept", IDOK, BM_CLICK, 0, ANSWER_ACCEPT},
        {"decline, serial", IDCANCEL, BM_CLICK, 0, ANSWER_DECLINE},
        {"escape", IDCANCEL, WM_KEYDOWN, VK_ESCAPE, ANSWER_DECLINE},
        {"close box", 0, WM_SYSCOMMAND, SC_CLOSE, ANSWER_DECLINE},
        {"time-out", 0, 0, 0, ANSWER_DECLINE},
        {"withdrawn", 0, 0, 0, ANSWER_NONE},    // gone unanswered: the same list again is asked anew
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        bool bSerial = c.idButton == IDCANCEL && c.msg == BM_CLICK, bTimeOut = !c.msg && c.want;
        g_recvTimeouts.msQuestion = bTimeOut ? 2000 : QUESTION_WAIT_MS;
        const char* pszFrom = bSerial ? "" : "10.0.0.7";
        g_settings.iCommType = bSerial ? CT_COM1 : CT_LAN;
        uint32_t crc = 100 + (uint32_t)(&c - cases);
        ASSERT_EQ(ANSWER_NONE, AskAboutBatch(6, crc, 3u << 20, pszFrom, names));
        std::string shown;
        bool bDefault = false;
        std::atomic<bool> bDone{false};
        {
            UserThread user([&] {
                HWND hDlg = WaitForDialog("Receive Files");
                if (!hDlg)
                    return (void)(bDone = true);
                shown = WindowText(GetDlgItem(hDlg, IDC_ASK_TEXT)) + "|" +
                        WindowText(GetDlgItem(hDlg, IDC_ASK_NAMES));
                HWND hDecline = GetDlgItem(hDlg, IDCANCEL);
                bDefault = (GetWindowLongA(hDecline, GWL_STYLE) & 0xF) == BS_DEFPUSHBUTTON;
                if (c.msg)
                    PostMessageA(c.idButton ? GetDlgItem(hDlg, c.idButton) : hDlg, c.msg, c.w, 0);
                else if (!c.want)
                    WithdrawReceiveQuestion();
                WaitFor([&] { return !IsWindow(hDlg); }, bTimeOut ? 4000 : 2000);
                bDone = true;
            });
            // The question is posted to this thread, whose pump runs the dialog's modal loop.
            WaitFor([&] { Pump(20); return bDone.load(); }, 10000);
        }
        EXPECT_EQ(std::string(bSerial ? "the device on COM1" : "10.0.0.7") +
                      " wants to send you 6 file(s), 3.0M in all:|photo0.jpg\r\nphoto1.jpg\r\n"
                      "photo2.jpg\r\nphoto3.jpg\r\nphoto4.jpg\r\nand 1 more",
                  shown);
        EXPECT_TRUE(bDefault) << "Decline is the default button";
        EXPECT_EQ(nullptr, FindActiveDialog("Receive Files"));
        EXPECT_EQ(c.want, AskAboutBatch(6, crc, 3u << 20, pszFrom, names));
        WithdrawReceiveQuestion();
        Pump(100);
    }
    g_recvTimeouts.msQuestion = QUESTION_WAIT_MS;
    g_settings.iCommType = CT_LAN;
}

// The status dialogs shown; with bClose each is also asked to close.
int StatusDialogs(bool bClose)
{
    int n = 0;
    for (HWND h = nullptr; (h = FindWindowExA(nullptr, h, "#32770", "File Xfer Status"));)
        if (IsWindowVisible(h)) {
            n++;
            if (bClose)
                PostMessageA(h, WM_CLOSE, 0, 0);
        }
    return n;
}

// A second batch while the first one's dialog is up gets no second dialog, and the one shown
// goes with its Cancel. The partial file the worker keeps past the wait is deleted by the path
// it was opened under; the file the peer's record names outside the destination stays.
TEST_F(XferStatus, ReceiveStartedAgainKeepsOneDialogAndItsCancelDeletesOnlyTheOpenedFile)
{
    ScratchDir root;
    std::string dest = root.File("dest"), part = dest + "\\part.bin", victim = root.File("victim");
    CreateDirectoryA(dest.c_str(), nullptr);
    WriteWholeFile(victim, "keep");
    std::string rec = Record("x/../../victim", 4096);
    ASSERT_TRUE(HoldPartialFile(dest, part, rec));
    g_settings.bShowResults = 0;
    static int s_iStep, s_nWhileUp;
    s_iStep = 0;
    s_nWhileUp = -1;
    // The steps run in the dialog's modal loop, on this thread, as the worker's posts arrive.
    UINT_PTR idStep = SetTimer(nullptr, 0, 150, [](HWND, UINT, UINT_PTR, DWORD) CALLBACK {
        HWND hDlg = g_wnd.hwndXferDlg;
        if (s_iStep == 0 && hDlg) {
            PostMessageA(g_wnd.hwndMain, WM_COMMAND, IDM_RECEIVE, 0);    // the second batch
            s_iStep = 1;
        } else if (s_iStep == 1) {
            s_nWhileUp = StatusDialogs(false);
            PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
            s_iStep = 2;
        } else if (s_iStep == 2 && StatusDialogs(false)) {
            // A dialog left up over the idle link is closed, so that the test ends either way.
            // (The command's wait after the dialog goes on dispatching this timer.)
            StatusDialogs(true);
            s_iStep = 3;
        }
    });
    CmdReceive();
    KillTimer(nullptr, idStep);
    g_settings.bShowResults = 1;
    g_settings.iCommType = CT_LAN;
    EXPECT_EQ(1, s_nWhileUp);
    EXPECT_EQ(2, s_iStep) << "a status dialog stayed up after it was cancelled";
    EXPECT_EQ(nullptr, g_xfer.hXferFile.load());
    EXPECT_EQ("keep", FileContents(victim));
    EXPECT_FALSE(FileExists(part));
}

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
        ClearStop();
        // The poll opens the serial type's port when it finds none open.
        if (HANDLE hPort = g_link.hComm.exchange(nullptr))
            CloseHandle(hPort);
    }
};

// While the command waits after its dialog: five WM_NULL probes, each answered within 200 ms,
// a paint within 200 ms, then a Send, a close and a quit posted, none of which may act yet.
// Returns what it saw and whether the command still waited.
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

// Runs the command while the user cancels its status dialog once bCancelNow holds and probes
// the wait (which lasts while bWaiting holds); afterwards the held messages come in order.
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

// A send cancelled while the peer answers no block and leaves the abort notices unanswered:
// the command waits for the sender up to its bound.
TEST_F(CommandWaits, SendCancelledWhileThePeerIsSilentKeepsTheWindowAnswering)
{
    ScratchDir dir;
    WriteWholeFile(dir.File("big.bin"), std::string(64 * 1024, 'b'));
    AddCommandLineToSendList(("\"" + dir.File("big.bin") + "\"").c_str());
    ASSERT_EQ(1, ItemCount(g_wnd.hwndSendList));
    SerialWorker serial;
    ASSERT_TRUE(serial.Start()) << "no COM1/COM2 pair";

    std::atomic<int> bRelease{0};
    ReceiverScript script;
    script.bAnswerBlocks = false;
    script.pAbortAnswered = &bRelease;
    ReceiverLog peer;
    UserThread t([&] { PlayReceiver(serial.wire, script, peer, "SILENT"); });
    ExpectTheWaitToAnswer([] { RunCommand(IDM_SEND); }, [&] { return peer.nBlocks > 0; },
                          [] { return g_worker.bSending != 0; });
    bRelease = 1;
    EXPECT_EQ(1, ItemCount(g_wnd.hwndSendList)) << "the file was not sent and stays listed";
    EXPECT_TRUE(WaitFor([] { return !g_worker.bSending; }, 15000)) << peer.nAborts << " abort notices";
    t.Join();
    EXPECT_TRUE(serial.Stop()) << peer.seen;
}

// A receive cancelled while the partial file is still held (here by no worker): the command
// waits for it up to its bound, then takes and deletes it.
TEST_F(CommandWaits, ReceiveCancelledWaitsForThePartialFileWithTheWindowAnswering)
{
    ScratchDir dest;
    std::string part = dest.File("part.bin");
    std::string rec = Record("part.bin", 4096);
    ASSERT_TRUE(HoldPartialFile(dest.Path(), part, rec));
    ExpectTheWaitToAnswer(CmdReceive, [] { return true; }, [] { return g_xfer.hXferFile != nullptr; });
    g_xfer.pXferFiles = nullptr;
    EXPECT_EQ(WS_IDLE, g_worker.iWorkerState.load());
    EXPECT_FALSE(FileExists(part));
}

}  // namespace
