// The one record of state shared by the user-interface thread, the transfer worker and the
// discovery responder.
//
// Every word two threads share is a std::atomic with sequentially consistent order, so the
// fixed orders in which the user-interface thread writes them (a send: bAnswerMode, bAbort,
// iSendResult, then iWorkerState; a cancel: bAbort first) are seen in that order by the worker.
// Text fields are plain byte arrays: one side fills them while the other does not look.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <atomic>
#include <cstdint>

struct XFERFILE;
struct FILEROW;

// Communication types (iCommType).
enum {
    CT_IRDA = 0, CT_USB = 1, CT_COM1 = 2, CT_COM2 = 3, CT_RAWIR = 4, CT_LAN = 5, CT_WAN = 6,
    CT_COUNT = 7
};

// Worker states (iWorkerState); 4 is never set.
enum { WS_QUIT = 0, WS_IDLE = 1, WS_CONNECT = 2, WS_CONNECTED = 3, WS_SEND = 5, WS_RECEIVING = 6 };

// Results of a send refused by the peer (iSendResult); shown as string 6000 + result.
enum { SR_OK = 0, SR_NO_SPACE = 1, SR_NAME_CONFLICT = 2, SR_CANT_CREATE = 3 };

extern const int32_t BlockSizeByCommType[CT_COUNT];

// Nonzero for the types that run over sockets (IRDA, LAN, WAN / Internet).
int IsSocketType(int iType);

// The worker's own change of iWorkerState. A quit the user interface set meanwhile stays:
// written over, it would leave the worker running with nothing left to stop it.
void MoveWorkerState(int32_t iNew);

struct SessionState {
    // Settings, kept in the registry.
    std::atomic<int32_t> iCommType{0};
    std::atomic<uint32_t> dwPeerIP{0};
    std::atomic<int32_t> iSortOrder{0};
    char szDestDir[256] = "C:\\Temp";
    char szCurDir[256] = "C:\\Temp";
    std::atomic<int32_t> bPathMenuOpen{0};
    std::atomic<int32_t> bPrefBit1{1};
    std::atomic<int32_t> bPromptDelete{1};
    std::atomic<int32_t> bShowResults{1};
    std::atomic<int32_t> bOverwrite{0};

    // Derived from the settings and the system.
    std::atomic<int32_t> cbBlock{4096};
    char szUsbPort[16] = "";
    char szRawIrPort[16] = "";
    char szOwnerName[128] = "";
    char szPeerName[128] = "";

    // Link and worker.
    std::atomic<int32_t> iWorkerState{WS_QUIT};
    std::atomic<int32_t> bAnswerMode{1};
    std::atomic<int32_t> bAbort{0};
    std::atomic<HANDLE> hComm{nullptr};
    std::atomic<SOCKET> hListenSock{0};
    std::atomic<SOCKET> hDataSock{INVALID_SOCKET};
    std::atomic<SOCKET> hUdpSock{0};
    std::atomic<uint32_t> dwFoundPeerAddr{0};
    std::atomic<int32_t> nKeepAliveLimit{10};
    std::atomic<uint8_t*> pPacketBuf{nullptr};
    std::atomic<XFERFILE*> pXferFiles{nullptr};
    std::atomic<HANDLE> hWorkerThread{nullptr};
    std::atomic<HANDLE> hResponderThread{nullptr};

    // Transfer progress.
    std::atomic<int32_t> nXferFiles{0};
    std::atomic<int32_t> iXferFile{0};
    std::atomic<int32_t> nXferBlocks{0};
    std::atomic<int32_t> iXferBlock{0};
    std::atomic<uint32_t> dwXferDone{0};
    std::atomic<uint32_t> dwXferTotal{0};
    std::atomic<int32_t> nFilesOk{0};
    std::atomic<int32_t> iSendResult{0};
    std::atomic<int32_t> iUnreadableFile{-1};   // source file a send could not read, or -1
    // 1 while the worker runs the sender: a cancel returns the state to answer mode at once,
    // but the send ends, with its abort notices, only when the sender next looks.
    std::atomic<int32_t> bSending{0};
    // Per record of the batch sent last: 1 once its file arrived whole. Written by the sender,
    // read by the send command once the worker is back in answer mode.
    uint8_t abFileSent[256] = {};
    // dwRecvBatch counts the lists the receiver has taken; qwRecvResult is the result of the
    // received batch that ended last: (its dwRecvBatch << 32) | (files ok << 16) | files. The
    // receive command shows its batch's result from it, since by the time it reads the
    // counters the worker may have taken the next batch's list.
    std::atomic<uint32_t> dwRecvBatch{0};
    std::atomic<uint64_t> qwRecvResult{0};
    std::atomic<HANDLE> hXferFile{nullptr};
    std::atomic<HANDLE> hXferMap{nullptr};
    std::atomic<uint8_t*> pXferView{nullptr};
    std::atomic<uint32_t> dwXferStartTick{0};
    char szRecvPath[256] = "";
    char szRecvName[128] = "";

    // Windows and other shared handles.
    HINSTANCE hInst = nullptr;
    std::atomic<HWND> hwndMain{nullptr};
    std::atomic<HWND> hwndConnectDlg{nullptr};
    std::atomic<HWND> hwndXferDlg{nullptr};
    HWND hwndSendBtn = nullptr;
    HWND hwndStatusText = nullptr;
    HWND hwndSendList = nullptr;
    HWND hwndFileList = nullptr;
    HMODULE hHelpLib = nullptr;
    int32_t bLandscape = 1;
    uint32_t DriveMask = 0;
    uint32_t dwSendListBytes = 0;
    FILEROW* FileRows = nullptr;
    HFONT hPopupFont = nullptr;
    HMENU hContextMenu1 = nullptr;
    HMENU hContextMenu2 = nullptr;
    int32_t bSortMenuOpen = 0;
    int32_t bSuppressClick = 0;
};

extern SessionState g_state;

// Settings in the registry (HKLM, with a per-user key for users who cannot write there).
void LoadSettings();
void SaveSettings();
