// What the window tests share: the main window made in the test process, the message pump,
// and a helper thread that answers message boxes the way a user would.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <string>
#include <thread>

#include "browser/listing.h"
#include "connection/session.h"
#include "mainwindow/mainwindow.h"
#include "testenv.h"

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

// Creates the main window once per test program the way start-up does, on a LAN type so that
// no serial port is opened, with the file pane on the given folder.
inline HWND MakeMainWindow(const std::string& curDir)
{
    if (g_state.hwndMain)
        return g_state.hwndMain;
    EnsureWinsock();
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES | ICC_INTERNET_CLASSES};
    InitCommonControlsEx(&icc);
    g_state.iCommType = CT_LAN;
    g_state.DriveMask = GetLogicalDrives();
    g_state.FileRows = (FILEROW*)VirtualAlloc(nullptr, FILEROWS_INITIAL * sizeof(FILEROW),
                                              MEM_COMMIT, PAGE_READWRITE);
    snprintf(g_state.szCurDir, sizeof g_state.szCurDir, "%s", curDir.c_str());
    if (!InitInstance(GetModuleHandleA(nullptr), SW_SHOWNORMAL, ""))
        return nullptr;
    Pump();
    return g_state.hwndMain;
}

// Row texts of a list view of this process.
inline std::string ItemText(HWND hwndList, int iItem, int iSub = 0)
{
    char sz[512] = "";
    LVITEMA it = {};
    it.iSubItem = iSub;
    it.pszText = sz;
    it.cchTextMax = sizeof sz;
    SendMessageA(hwndList, LVM_GETITEMTEXTA, (WPARAM)iItem, (LPARAM)&it);
    return sz;
}

inline int ItemCount(HWND hwndList)
{
    return (int)SendMessageA(hwndList, LVM_GETITEMCOUNT, 0, 0);
}

inline std::string WindowText(HWND hwnd)
{
    char sz[512] = "";
    GetWindowTextA(hwnd, sz, sizeof sz);
    return sz;
}

// Waits on a thread of its own for a message box (dialog class #32770) with the caption,
// keeps its message text and presses OK. The box is modal to the test's thread, so only
// another thread can answer it.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const char* pszCaption, int ms = 10000) : m_caption(pszCaption)
    {
        m_thread = std::thread([this, ms] { Run(ms); });
    }
    ~BoxAnswerer() { Join(); }
    // The message of the box that was answered, "" when none came.
    std::string Text()
    {
        Join();
        return m_text;
    }
    bool Seen()
    {
        Join();
        return m_bSeen;
    }

private:
    void Join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void Run(int ms)
    {
        DWORD dwStart = GetTickCount();
        while ((int)(GetTickCount() - dwStart) < ms) {
            HWND hwnd = FindWindowA("#32770", m_caption.c_str());
            if (hwnd && IsWindowVisible(hwnd)) {
                char sz[512] = "";
                // The message of a message box is its static control 0xFFFF.
                GetDlgItemTextA(hwnd, 0xFFFF, sz, sizeof sz);
                m_text = sz;
                m_bSeen = true;
                PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
                return;
            }
            Sleep(20);
        }
    }
    std::string m_caption, m_text;
    bool m_bSeen = false;
    std::thread m_thread;
};
