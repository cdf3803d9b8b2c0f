// The settings: the user's choices, kept in the registry, and what follows from them.
#pragma once

#include <atomic>
#include <cstdint>

// Communication types (iCommType).
enum {
    CT_IRDA = 0, CT_USB = 1, CT_COM1 = 2, CT_COM2 = 3, CT_RAWIR = 4, CT_LAN = 5, CT_WAN = 6,
    CT_COUNT = 7
};

extern const int32_t BlockSizeByCommType[CT_COUNT];

// Nonzero for the types that run over sockets (IRDA, LAN, WAN / Internet).
int IsSocketType(int iType);

// The program's key, under HKEY_LOCAL_MACHINE and, for a user who cannot write there, under
// HKEY_CURRENT_USER.
extern const char kProgramKey[];

// Owner: the user-interface thread. Start-up loads them, the settings dialog and the file
// pane change them, shut-down saves them; the worker only reads them. The words are atomic;
// of the texts the worker reads only szDestDir and szOwnerName, which start-up and the
// settings dialog's Browse write.
struct Settings {
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
    // Ask the user before a peer's batch is taken; let a serial peer read back the files of
    // its last list.
    std::atomic<int32_t> bAskBeforeReceiving{0};
    std::atomic<int32_t> bAllowReadBack{1};

    // Follow from the settings and the system.
    std::atomic<int32_t> cbBlock{4096};
    char szOwnerName[128] = "";
};

extern Settings g_settings;

// Loads the per-user key when there is one, else the machine key. Saves to the machine key
// and removes the per-user key, or saves to the per-user key when the machine key cannot be
// written.
void LoadSettings();
void SaveSettings();
