// The windows' state: the main window's handles, menus and font, and the panes' rows.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <cstdint>

struct FILEROW;

enum { NUM_TOOL_BUTTONS = 7 };

// Owner: the main window, which creates the windows, menus and font and clears each handle
// as its window goes; the status dialogs publish their own handles while they are up. It is
// declared here, below the windows, because the panes and the dialogs read it. The worker
// reads the dialog handles only through the main window's answers to its reports.
struct WindowState {
    HINSTANCE hInst = nullptr;
    std::atomic<HWND> hwndMain{nullptr};
    std::atomic<HWND> hwndConnectDlg{nullptr};
    std::atomic<HWND> hwndXferDlg{nullptr};
    std::atomic<HWND> hwndAskDlg{nullptr};     // the question before a batch is received
    HWND hwndSendBtn = nullptr;
    HWND hwndStatusText = nullptr;
    HWND hwndSendList = nullptr;
    HWND hwndFileList = nullptr;
    // The tool buttons in the order of ToolButtonIds, the path and sort buttons above the file
    // pane, and the tips of the tool buttons.
    HWND hwndToolBtns[NUM_TOOL_BUTTONS] = {};
    HWND hwndPathBtn = nullptr;
    HWND hwndSortBtn = nullptr;
    HWND hwndToolTips = nullptr;
    // Image lists of the panes, the buttons and Select Directory: the system's small icons
    // (the shell's, never destroyed here), the tool icons, the button faces, the drop arrows.
    HIMAGELIST hSysImageList = nullptr;
    HIMAGELIST hToolIcons = nullptr;
    HIMAGELIST hButtonFaces = nullptr;
    HIMAGELIST hDropArrows = nullptr;
    HMODULE hHelpLib = nullptr;
    int32_t bLandscape = 1;
    HFONT hPopupFont = nullptr;
    HMENU hContextMenu1 = nullptr;
    HMENU hContextMenu2 = nullptr;
    int32_t bSortMenuOpen = 0;
    int32_t bSuppressClick = 0;
    uint32_t dwXferStartTick = 0;   // when the status dialog came up, for its rate

    // The panes: the drives present, the file pane's row table and the Send List's total, in
    // 64 bits since many files of up to 4 GiB each pass any 32-bit count.
    uint32_t DriveMask = 0;
    FILEROW* FileRows = nullptr;
    uint64_t qwSendListBytes = 0;
};

extern WindowState g_wnd;
