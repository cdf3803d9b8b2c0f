// What the window tests share: the main window made in the test process, the message pump,
// and a helper thread that answers dialogs and message boxes the way a user would.
#pragma once
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "browser/listing.h"
#include "connection/control.h"
#include "connection/link.h"
#include "connection/serialport.h"
#include "connection/settings.h"
#include "mainwindow/mainwindow.h"
#include "peer_wire.h"
#include "protocol/transferstate.h"
#include "resource.h"
#include "testenv.h"
#include "winshared/uistate.h"

// Dispatches what is waiting in this thread's queue, for up to ms milliseconds.
inline void Pump(int ms = 50)
{
    DWORD dwStart = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    } while ((int)(GetTickCount() - dwStart) < ms);
}

// A test suite on the main window, made once per test program the way start-up makes it, on
// a LAN type so that no serial port is opened, with the file pane on a scratch folder.
struct OnMainWindow : ::testing::Test {
    static void SetUpTestSuite()
    {
        static ScratchDir home;
        if (g_wnd.hwndMain)
            return;
        EnsureWinsock();
        INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
        InitCommonControlsEx(&icc);
        g_settings.iCommType = CT_LAN;
        g_wnd.DriveMask = GetLogicalDrives();
        g_wnd.FileRows = (FILEROW*)VirtualAlloc(nullptr, FILEROWS_INITIAL * sizeof(FILEROW),
                                                  MEM_COMMIT, PAGE_READWRITE);
        snprintf(g_settings.szCurDir, sizeof g_settings.szCurDir, "%s", home.Path().c_str());
        ASSERT_TRUE(InitInstance(GetModuleHandleA(nullptr), SW_SHOWNORMAL, ""));
        Pump();
    }
};

using Names = std::vector<std::string>;

inline std::string ItemText(HWND hwndList, int iItem, int iSub = 0)
{
    char sz[512] = "";
    ListView_GetItemText(hwndList, iItem, iSub, sz, sizeof sz);
    return sz;
}

inline int ItemCount(HWND hwndList) { return ListView_GetItemCount(hwndList); }

// The first column of every row, top row first.
inline Names ListNames(HWND hwndList)
{
    Names v;
    for (int i = 0; i < ItemCount(hwndList); i++)
        v.push_back(ItemText(hwndList, i));
    return v;
}

// The file pane's record behind a row.
inline const FILEROW* RowOf(HWND hwndList, int iItem)
{
    LVITEMA it = {LVIF_PARAM, iItem};
    SendMessageA(hwndList, LVM_GETITEMA, 0, (LPARAM)&it);
    return &RowsOfList(hwndList)[it.lParam];
}

inline std::string WindowText(HWND hwnd)
{
    char sz[512] = "";
    GetWindowTextA(hwnd, sz, sizeof sz);
    return sz;
}

// A suite on the main window whose every test starts with an empty Send List.
struct OnSendList : OnMainWindow {
    void SetUp() override
    {
        SendMessageA(g_wnd.hwndSendList, LVM_DELETEALLITEMS, 0, 0);
        g_wnd.qwSendListBytes = 0;
    }
    static Names Rows() { return ListNames(g_wnd.hwndSendList); }
};

// Lists the folder in the file pane as a navigation to it would.
inline void ShowFolder(const std::string& path)
{
    snprintf(g_settings.szCurDir, sizeof g_settings.szCurDir, "%s", path.c_str());
    FillFileList(g_wnd.hwndFileList, g_settings.szCurDir, 0);
}

// The file pane's row with the name (in any case), -1 when there is none.
inline int FindRow(const std::string& name)
{
    LVFINDINFOA fi = {LVFI_STRING, name.c_str()};
    return (int)SendMessageA(g_wnd.hwndFileList, LVM_FINDITEMA, (WPARAM)-1, (LPARAM)&fi);
}

// Selects exactly the file pane's rows with these names.
inline void SelectNames(std::initializer_list<const char*> names)
{
    ListView_SetItemState(g_wnd.hwndFileList, -1, 0, LVIS_SELECTED);
    for (const char* psz : names) {
        int i = FindRow(psz);
        if (i >= 0)
            ListView_SetItemState(g_wnd.hwndFileList, i, LVIS_SELECTED, LVIS_SELECTED);
    }
}

// A list notification as the list view sends it to the main window.
inline LRESULT NotifyFrom(HWND hwndList, UINT code, int iItem)
{
    NMITEMACTIVATE nm = {{hwndList, (UINT_PTR)GetDlgCtrlID(hwndList), code}, iItem};
    return SendMessageA(g_wnd.hwndMain, WM_NOTIFY, nm.hdr.idFrom, (LPARAM)&nm);
}

// A menu or button command to the main window; it returns when the command is done.
inline void RunCommand(int id) { SendMessageA(g_wnd.hwndMain, WM_COMMAND, id, 0); }

// Sees a window's messages before the window does; an observer that returns true keeps that
// message from the window. One spy at a time.
class WindowSpy {
public:
    using Observer = std::function<bool(UINT, WPARAM, LPARAM)>;
    template <class F> WindowSpy(HWND hwnd, F observer) : m_hwnd(hwnd)
    {
        if constexpr (std::is_same_v<decltype(observer(0u, 0, 0)), bool>)
            s_observer = std::move(observer);
        else
            s_observer = [observer](UINT msg, WPARAM w, LPARAM l) { return observer(msg, w, l), false; };
        s_oldProc = (WNDPROC)SetWindowLongPtrA(hwnd, GWLP_WNDPROC, (LONG_PTR)Proc);
    }
    ~WindowSpy()
    {
        SetWindowLongPtrA(m_hwnd, GWLP_WNDPROC, (LONG_PTR)s_oldProc);
        s_observer = nullptr;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
    {
        if (s_observer && s_observer(msg, wParam, lParam))
            return 0;
        return CallWindowProcA(s_oldProc, hwnd, msg, wParam, lParam);
    }
    HWND m_hwnd;
    static inline Observer s_observer;
    static inline WNDPROC s_oldProc;
};

// The visible, enabled dialog with the caption (any when null), owned by hwndOwner when given;
// nullptr when there is none. A dialog under its own modal box is disabled, so the box is found.
inline HWND FindActiveDialog(const char* pszCaption, HWND hwndOwner = nullptr)
{
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExA(nullptr, hwnd, "#32770", pszCaption)))
        if (IsWindowVisible(hwnd) && IsWindowEnabled(hwnd)
            && (!hwndOwner || GetWindow(hwnd, GW_OWNER) == hwndOwner))
            return hwnd;
    return nullptr;
}

inline HWND WaitForDialog(const char* pszCaption, int ms = 10000)
{
    HWND hwnd = nullptr;
    WaitFor([&] { return (hwnd = FindActiveDialog(pszCaption)) != nullptr; }, ms);
    return hwnd;
}

// The message of a message box is its static control 0xFFFF.
inline std::string BoxText(HWND hwndBox) { return WindowText(GetDlgItem(hwndBox, 0xFFFF)); }

// A thread that plays the user while the test's thread sits in a modal loop; joined when it
// goes out of scope, so that a failed assertion cannot leave it running.
class UserThread {
public:
    template <class F> explicit UserThread(F&& fn) : m_thread(std::forward<F>(fn)) {}
    ~UserThread() { Join(); }
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

// Runs a main window command while a user thread waits for the dialog with the caption and
// acts in it; the command returns when its dialog has closed.
inline void WithDialog(int idCommand, const char* pszCaption, const std::function<void(HWND)>& act)
{
    UserThread user([&] {
        if (HWND hDlg = WaitForDialog(pszCaption))
            act(hDlg);
    });
    RunCommand(idCommand);
}

// Runs act while a thread of its own answers message boxes with the caption (any when null),
// as a box modal to the test's thread needs: the first that comes within ms or, with
// kEveryBox, every one until act returns. "Caption: message" of each box answered, one a line.
constexpr int kEveryBox = -1;
inline std::string BoxesDuring(const std::function<void()>& act, const char* pszCaption = nullptr,
                               int ms = 10000, int idAnswer = IDOK)
{
    std::atomic<bool> bDone{false};
    std::string shown;
    UserThread answerer([&] {
        do {
            HWND hwnd = WaitForDialog(pszCaption, ms == kEveryBox ? 20 : ms);
            if (!hwnd)
                continue;
            shown += (shown.empty() ? "" : "\n") + WindowText(hwnd) + ": " + BoxText(hwnd);
            PostMessageA(hwnd, WM_COMMAND, idAnswer, 0);
            if (ms == kEveryBox)
                WaitFor([&] { return !IsWindow(hwnd); }, 2000);
        } while (ms == kEveryBox && !bDone);
    });
    act();
    bDone = true;
    answerer.Join();
    return shown;
}

// Makes each name in the folder: a folder when it ends in a backslash, else a file that holds
// its name.
inline void MakeFiles(const ScratchDir& dir, std::initializer_list<std::string> names)
{
    for (const std::string& name : names) {
        if (name.back() == '\\')
            CreateDirectoryA(dir.File(name).c_str(), nullptr);
        else
            WriteWholeFile(dir.File(name), name);
    }
}

// The program's worker in answer mode on COM1, and the test's end of the cable on COM2; no
// result box, so that a send returns by itself. Stop puts the LAN type and answer mode back.
struct SerialWorker {
    PeerWire wire;
    HANDLE hWorker = nullptr;
    // False when the COM1/COM2 pair is not there.
    bool Start()
    {
        HWND hwndMain = g_wnd.hwndMain;
        g_settings.bShowResults = 0;
        g_settings.iCommType = CT_COM1;
        g_link.hComm = OpenCommPort();
        hWorker = g_link.hComm ? StartTransferWorker(CT_COM1, 4096, 1) : nullptr;
        g_wnd.hwndMain = hwndMain;
        return hWorker && wire.OpenSerial();
    }
    // True when the worker ended in time.
    bool Stop()
    {
        bool bEnded = StopTransferWorker(hWorker);
        g_settings.iCommType = CT_LAN;
        g_settings.bShowResults = 1;
        g_worker.bAnswerMode = 1;
        return bEnded;
    }
};

// How PlayReceiver answers: the first list, later lists, an open; blocks or not; the close
// after which it ends (0: none); a step at the first open; a flag that, while 0, leaves the
// sender's abort notices unanswered (null: it answers the first and ends).
struct ReceiverScript {
    uint8_t firstList = 0x52, laterLists = 0x52, open = 0x52;
    bool bAnswerBlocks = true;
    int nClosesToEnd = 0;
    std::function<void()> atFirstOpen;
    const std::atomic<int>* pAbortAnswered = nullptr;
};
// What it saw: the codes (keep-alives aside) in hex, with the owner name and each open's index;
// the sizes listed and the last record's path; the bytes it took; whether it ended as scripted.
struct ReceiverLog {
    std::string seen, path, data;
    std::vector<uint32_t> sizes;
    std::atomic<int> nBlocks{0}, nAborts{0}, nKept{0};
    bool bEnded = false;
};

// Plays that receiver on COM2 for up to a minute: answers the link-up and names, takes each
// block whose index and CRC are right and refuses any other, confirms each close. Out of time,
// it cancels the main window's dialog so that the test ends.
inline void PlayReceiver(PeerWire& wire, const ReceiverScript& s, ReceiverLog& log,
                         const char* pszName = "PEER")
{
    std::string name(256, '\0');
    memcpy(&name[0], pszName, strlen(pszName));
    std::vector<uint32_t> batch;
    uint32_t size = 0, k = 0;
    int nLists = 0, nOpens = 0;
    std::string frame, got;
    for (DWORD dwStart = GetTickCount(); GetTickCount() - dwStart < 60000;) {
        frame += wire.Recv(4 - frame.size(), 200);     // a frame cut by the time-out goes on
        if (frame.size() < 4)
            continue;
        uint8_t code = (uint8_t)frame[0];
        if (frame != Frame(code)) {
            frame.erase(0, 1);      // a byte that starts no frame
            continue;
        }
        frame.clear();
        if (code != 0x56 && log.seen.size() < 200)
            log.seen += Hex(std::string(1, (char)code));
        switch (code) {
        case 0x50: wire.Send(Frame(0x51)); break;
        case 0x62: wire.Send(Frame(0x63)); break;
        case 0x56: wire.Send(Frame(0x57)); break;
        case 0x58: wire.Send(name); break;
        case 0x59: log.seen += wire.Recv(256).c_str() + std::string(" "); break;
        case 0x61:
            got = wire.Recv(5);
            got = wire.Recv(256 * (got.empty() ? 0 : (uint8_t)got[0]));
            batch.clear();
            for (size_t i = 0; i + 256 <= got.size(); i += 256) {
                batch.push_back(0);
                memcpy(&batch.back(), &got[i + 252], 4);
                log.path.clear();
                for (size_t j = i; j < i + 252 && (got[j] || got[j + 1]); j += 2)
                    log.path += got[j];
            }
            log.sizes.insert(log.sizes.end(), batch.begin(), batch.end());
            wire.Send(Frame(nLists++ ? s.laterLists : s.firstList));
            break;
        case 0x5F:
            got = wire.Recv(1);
            log.seen += Hex(got);
            size = !got.empty() && (uint8_t)got[0] < batch.size() ? batch[(uint8_t)got[0]] : 0;
            k = 0;
            wire.Send(Frame(s.open));
            if (!nOpens++ && s.atFirstOpen)
                s.atFirstOpen();
            break;
        case 0x5C: {
            std::string head = wire.Recv(8), data = wire.Recv(BlockLen(k, size, 4096));
            log.nBlocks++;
            if (!s.bAnswerBlocks)
                break;
            bool bGood = head == Le32(k) + Le32(Crc(data));
            if (bGood)
                log.data += data, k++;
            wire.Send(Frame(bGood ? 0x54 : 0x55));
            break;
        }
        case 0x60:
            wire.Send(Frame(0x52));
            if (++log.nKept == s.nClosesToEnd)
                return void(log.bEnded = true);
            break;
        case 0x64:
            log.nAborts++;
            if (s.pAbortAnswered && !*s.pAbortAnswered)
                break;
            wire.Send(Frame(0x63));
            return void(log.bEnded = true);
        }
    }
    if (HWND hDlg = FindActiveDialog(nullptr, g_wnd.hwndMain))
        PostMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
}

// Runs Send while PlayReceiver plays the peer; the boxes with the caption answered meanwhile.
inline std::string SendToPeer(PeerWire& wire, const ReceiverScript& s, ReceiverLog& log,
                              const char* pszCaption, int ms, const char* pszName = "PEER")
{
    UserThread t([&] { PlayReceiver(wire, s, log, pszName); });
    return BoxesDuring([] { RunCommand(IDM_SEND); }, pszCaption, ms);
}

// The worker's state in the middle of a serial receive into dest: one file, named by rec (the
// caller keeps it), open at part and mapped for 4096 bytes. False when it could not be mapped.
inline bool HoldPartialFile(const std::string& dest, const std::string& part, std::string& rec)
{
    HANDLE hFile = CreateFileA(part.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE hMap = CreateFileMappingA(hFile, nullptr, PAGE_READWRITE, 0, 4096, nullptr);
    if (!hMap)
        return false;
    g_xfer.pXferFiles = (XFERFILE*)&rec[0];
    g_xfer.nXferFiles = 1;
    g_xfer.iXferFile = 0;
    snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "%s", dest.c_str());
    MultiByteToWideChar(CP_ACP, 0, part.c_str(), -1, g_xfer.wszRecvPart, MAX_PATH);
    g_xfer.hXferMap = hMap;
    g_xfer.pXferView = (uint8_t*)MapViewOfFile(hMap, FILE_MAP_WRITE, 0, 0, 4096);
    g_xfer.hXferFile = hFile;
    g_worker.bAnswerMode = 1;
    g_worker.iWorkerState = WS_RECEIVING;
    g_settings.iCommType = CT_COM1;
    return true;
}
