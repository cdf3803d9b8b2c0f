// Settings saved and loaded on the prefix's registry, defaults included; the Settings dialog's
// OK, which keeps the link or opens the new type's; a port that comes later.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "connection/sockets.h"
#include "mainwindow/xfercommands.h"
#include "ui_support.h"

#include <sddl.h>
#include <shlobj.h>

namespace {

// Sets what a load must replace and a save keep; Values gives it back in one line.
void Set(int iCommType, const char* pszDest, int bOverwrite, int bAsk, int bReadBack)
{
    g_settings.iCommType = iCommType;
    snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "%s", pszDest);
    g_settings.bOverwrite = bOverwrite;
    g_settings.bAskBeforeReceiving = bAsk;
    g_settings.bAllowReadBack = bReadBack;
}
std::string Values()
{
    return "type " + std::to_string((int)g_settings.iCommType) + ", " + g_settings.szDestDir
           + (g_settings.bOverwrite ? ", overwrite" : "")
           + (g_settings.bAskBeforeReceiving ? ", asks" : "")
           + (g_settings.bAllowReadBack ? ", read-back" : "");
}

struct SavedSettings : ::testing::Test {
    void SetUp() override { Clean(); }
    void TearDown() override
    {
        Clean();
        g_settings.bOverwrite = 0;
    }
    static void Clean()
    {
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProgramKey);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varndel");
        RegDeleteKeyA(HKEY_CURRENT_USER, kProgramKey);
    }
    // The machine key as an ordinary user finds it: one that exists is made read-only for
    // everyone (deletable, so that Clean removes it). A missing one gets a volatile parent,
    // under which the program's non-volatile key cannot be made: Wine does not check the
    // rights on the parent a key is created under, so a read-only parent would not stop it.
    static void DenyMachineWrites()
    {
        HKEY h;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, WRITE_DAC, &h) == ERROR_SUCCESS) {
            PSECURITY_DESCRIPTOR pSd = nullptr;
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(A;;KRSDWD;;;WD)",
                                                                             SDDL_REVISION_1, &pSd, nullptr));
            EXPECT_EQ(ERROR_SUCCESS, RegSetKeySecurity(h, DACL_SECURITY_INFORMATION, pSd));
            LocalFree(pSd);
        } else {
            ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Varndel", 0, nullptr,
                                                     REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, nullptr));
        }
        RegCloseKey(h);
        ASSERT_NE(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                                                 nullptr, &h, nullptr)) << "the machine key is still writable";
    }
    static void PutDword(HKEY root, const char* name, DWORD v)
    {
        RegSetKeyValueA(root, kProgramKey, name, REG_DWORD, &v, 4);
    }
};

// Whichever keys were left, what is saved is loaded next, for an administrator and an ordinary
// user; what is missing or out of range has its default.
TEST_F(SavedSettings, WhatIsSavedIsLoadedNextWhoeverSavesAndWhicheverKeysExist)
{
    for (int iCase = 0; iCase < 8; iCase++) {
        int bOrdinary = iCase >> 2, fKeys = iCase & 3;     // keys 1: the machine's, 2: the user's
        SCOPED_TRACE((bOrdinary ? "ordinary user, keys " : "administrator, keys ") + std::to_string(fKeys));
        Clean();
        // Left by earlier saves: a sort order that tells which key was read, types outside the
        // table, and a folder longer than its field, refused rather than cut into a wrong one.
        if (fKeys & 1) {
            PutDword(HKEY_LOCAL_MACHINE, "Sort", 1);
            PutDword(HKEY_LOCAL_MACHINE, "CommType", 9);
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kProgramKey, "DestDir", REG_SZ,
                            std::string(400, 'q').c_str(), 401);
        }
        if (fKeys & 2) {
            PutDword(HKEY_CURRENT_USER, "Sort", 2);
            PutDword(HKEY_CURRENT_USER, "CommType", 0xFFFFFFFF);
        }
        if (bOrdinary)
            DenyMachineWrites();
        Set(3, "", 1, 1, 0);
        LoadSettings();
        // Asking is off and read-back on until the user changes them.
        EXPECT_EQ("type 0, C:\\Temp, read-back", Values());
        EXPECT_EQ(fKeys & 2 ? 2 : fKeys & 1 ? 1 : 0, g_settings.iSortOrder);
        EXPECT_EQ(4096, g_settings.cbBlock);
        Set(5, "D:\\In", 1, 1, 0);
        SaveSettings();
        // The preferences are kept as bits of one value, as earlier installations read them.
        DWORD dw = 0, cb = sizeof dw;
        RegGetValueA(bOrdinary ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE, kProgramKey, "Preferences",
                     RRF_RT_REG_DWORD, nullptr, &dw, &cb);
        EXPECT_EQ(30u, dw);
        Set(0, "", 0, 0, 1);
        LoadSettings();
        EXPECT_EQ("type 5, D:\\In, overwrite, asks", Values());
    }
}

using StartUp = OnMainWindow;

// A destination that is empty, relative, missing or a file is replaced at start-up by the
// documents folder and the user told once why; a good one is kept without a word.
TEST_F(StartUp, UnusableDestinationIsReplacedAndTheUserToldOnce)
{
    char szDocs[MAX_PATH];
    ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, szDocs)));
    std::string docs = szDocs, kept = "', so received files will be kept in '" + docs +
                                      "'. You can choose another folder in Settings.";
    ScratchDir dir;
    WriteWholeFile(dir.File("file.txt"), "f");
    const struct { std::string given, said; } cases[] = {
        {"", "Talmox: No folder for received files is set, so they will be kept in '" + docs +
                 "'. You can choose another folder in Settings."},
        {"recv", "Talmox: The folder for received files, 'recv', is not given in full from its "
                 "drive" + kept.substr(1)},
        {dir.File("gone"), "Talmox: The folder for received files, '" + dir.File("gone") +
                               "', does not exist or is not a folder" + kept.substr(1)},
        {dir.File("file.txt"), "Talmox: The folder for received files, '" + dir.File("file.txt") +
                                   "', does not exist or is not a folder" + kept.substr(1)},
        {dir.Path(), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.given);
        snprintf(g_settings.szDestDir, sizeof g_settings.szDestDir, "%s", c.given.c_str());
        ReplaceUnusableDestination();
        EXPECT_EQ(c.said, BoxesDuring([] { TellReplacedDestination(), TellReplacedDestination(); },
                                      nullptr, kEveryBox));
        EXPECT_EQ(c.said.empty() ? c.given : docs, g_settings.szDestDir);
    }
}


struct SettingsDialog : OnMainWindow {
    static void SetUpTestSuite()
    {
        static ScratchDir air;
        SetEnvironmentVariableA("TALMOX_IRDA_AIR", air.Path().c_str());
        // Port 1756 is the machine's: wait for a test program of another build to let it go.
        // Once this program's main window is up the listener is its own (and each probe would
        // be left in its backlog), so there is nothing to wait for.
        EnsureWinsock();
        if (!g_wnd.hwndMain)
            WaitFor([] { return !Listening(TALMOX_TCP_PORT); }, 60000);
        OnMainWindow::SetUpTestSuite();
    }
    // OK writes the settings; the next program in this Wine prefix must not start on them.
    static void TearDownTestSuite()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramKey);
        SetUsbEntry(nullptr);
    }
    // Opens Settings, lets user work in the open dialog (from another thread), then presses OK.
    static void WithSettings(const std::function<void(HWND)>& user)
    {
        WithDialog(IDM_SETTINGS, "Settings", [&](HWND hDlg) {
            user(hDlg);
            PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        });
    }
    // Picks a type in the list the way a user's choice ends.
    static void ChooseType(HWND hDlg, const char* pszName)
    {
        HWND hCombo = GetDlgItem(hDlg, IDC_SET_TYPE);
        int i = (int)SendMessageA(hCombo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)pszName);
        SendMessageA(hCombo, CB_SETCURSEL, i, 0);
        SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_SET_TYPE, CBN_SELENDOK), (LPARAM)hCombo);
    }
    static void SwitchTo(const char* pszName)
    {
        WithSettings([&](HWND hDlg) { ChooseType(hDlg, pszName); });
    }
    static int LocalPort(SOCKET s)
    {
        sockaddr_in a = {};
        int cb = sizeof a;
        return getsockname(s, (sockaddr*)&a, &cb) == 0 ? ntohs(a.sin_port) : -1;
    }
    static bool Listening(int port)
    {
        SOCKET s = ConnectTcp((uint16_t)port);
        closesocket(s);
        return s != INVALID_SOCKET;
    }
    // The USB serial device's entry in the device map; null removes it.
    static void SetUsbEntry(const char* pszPort)
    {
        const char kMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM", kEntry[] = "\\Device\\WCEUSBSH001";
        if (pszPort)
            RegSetKeyValueA(HKEY_LOCAL_MACHINE, kMapKey, kEntry, REG_SZ, pszPort, strlen(pszPort) + 1);
        else
            RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, kMapKey, kEntry);
    }
};

// The peer address is for WAN only; Escape does not close the dialog. OK on the same type keeps
// the sockets as they are and takes and writes everything else.
TEST_F(SettingsDialog, OkWithoutATypeChangeKeepsTheLinkAndWritesTheRegistry)
{
    ASSERT_EQ(CT_LAN, g_settings.iCommType);
    SOCKET hListen = g_link.hListenSock, hUdp = g_link.hUdpSock;
    ASSERT_NE((SOCKET)0, hListen) << "port 1756 is taken by another program";
    Set(CT_LAN, "C:\\Inbox", 0, 0, 1);
    g_settings.bPromptDelete = 1;
    g_settings.bShowResults = 0;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProgramKey);
    // A connection waiting in the listener's backlog is still there only if the listener is.
    SOCKET hClient = ConnectTcp(TALMOX_TCP_PORT);
    ASSERT_NE(INVALID_SOCKET, hClient);
    std::string shown;
    WithSettings([&](HWND hDlg) {
        auto peer = [&] { return IsWindowEnabled(GetDlgItem(hDlg, IDC_SET_PEERIP)) ? " peer" : ""; };
        shown = WindowText(GetDlgItem(hDlg, IDC_SET_DEST)) + peer();
        for (const char* psz : {"WAN / Internet", "COM1", "LAN"}) {
            ChooseType(hDlg, psz);
            shown = shown + ", " + psz + peer();
        }
        SendMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
        shown += IsWindowVisible(hDlg) ? ", stays on Escape" : ", closed by Escape";
        SendDlgItemMessageA(hDlg, IDC_SET_PEERIP, IPM_SETADDRESS, 0, MAKEIPADDRESS(203, 0, 113, 9));
        CheckDlgButton(hDlg, IDC_SET_PROMPT, BST_UNCHECKED);
        CheckDlgButton(hDlg, IDC_SET_RESULTS, BST_CHECKED);
        CheckDlgButton(hDlg, IDC_SET_OVERWRITE, BST_CHECKED);
        shown += IsDlgButtonChecked(hDlg, IDC_SET_READBACK) ? ", read-back" : "";
        shown += IsDlgButtonChecked(hDlg, IDC_SET_ASK) ? ", asks" : "";
        CheckDlgButton(hDlg, IDC_SET_ASK, BST_CHECKED);
        CheckDlgButton(hDlg, IDC_SET_READBACK, BST_UNCHECKED);
    });
    EXPECT_EQ("C:\\Inbox, WAN / Internet peer, COM1, LAN, stays on Escape, read-back", shown);
    EXPECT_EQ("type 5, C:\\Inbox, overwrite, asks", Values());
    EXPECT_EQ(hListen, g_link.hListenSock.load());
    EXPECT_EQ(hUdp, g_link.hUdpSock.load());
    SOCKET hAccepted = INVALID_SOCKET;
    WaitFor([&] { return (hAccepted = accept(hListen, nullptr, nullptr)) != INVALID_SOCKET; }, 1000);
    EXPECT_NE(INVALID_SOCKET, hAccepted) << "the listener was closed and opened again";
    closesocket(hAccepted);
    closesocket(hClient);
    EXPECT_EQ(0xCB007109u, g_settings.dwPeerIP.load());
    EXPECT_EQ(0, g_settings.bPromptDelete);
    EXPECT_EQ(1, g_settings.bShowResults);
    // OK saved them (what a save writes is SavedSettings' case).
    DWORD dwIP = 0, cb = sizeof dwIP;
    RegGetValueA(HKEY_LOCAL_MACHINE, kProgramKey, "PeerIP", RRF_RT_REG_DWORD, nullptr, &dwIP, &cb);
    EXPECT_EQ(0xCB007109u, dwIP);
    Set(CT_LAN, "C:\\Inbox", 0, 0, 1);
}

// Each switch closes the old type's sockets and opens the new type's, and takes its block size.
TEST_F(SettingsDialog, IrdaToLanReopensTheSockets)
{
    ASSERT_EQ(CT_LAN, g_settings.iCommType);
    SwitchTo("IRDA");
    EXPECT_EQ(CT_IRDA, g_settings.iCommType);
    EXPECT_EQ(4096, g_settings.cbBlock);
    EXPECT_FALSE(Listening(TALMOX_TCP_PORT)) << "the LAN listener was left open";
    EXPECT_EQ((SOCKET)0, g_link.hUdpSock.load());
    int irdaPort = LocalPort(g_link.hListenSock);
    ASSERT_GT(irdaPort, 0) << "no listener on the simulated infrared medium";

    SwitchTo("LAN");
    EXPECT_EQ(CT_LAN, g_settings.iCommType);
    EXPECT_EQ(32768, g_settings.cbBlock);
    EXPECT_FALSE(Listening(irdaPort)) << "the IrDA listener was left open";
    EXPECT_EQ(TALMOX_TCP_PORT, LocalPort(g_link.hListenSock));
    EXPECT_TRUE(Listening(TALMOX_TCP_PORT));
    int iType = 0, cb = sizeof iType;
    EXPECT_EQ(0, getsockopt(g_link.hUdpSock, SOL_SOCKET, SO_TYPE, (char*)&iType, &cb));
    EXPECT_EQ(SOCK_DGRAM, iType);
}

// Switching serial types closes the old port before the retitle and the open. A port that
// cannot be opened is reported and Send disabled; the poll takes it silently once it is there,
// with its driver's line settings.
TEST_F(SettingsDialog, Com2ToAUsbDeviceThatComesLater)
{
    SwitchTo("COM2");
    ASSERT_EQ(CT_COM2, g_settings.iCommType);
    HANDLE hCom2 = g_link.hComm;
    ASSERT_NE(nullptr, hCom2);
    EXPECT_TRUE(IsWindowEnabled(g_wnd.hwndSendBtn));

    SetUsbEntry("COM9");   // no such port
    FindUsbSerialPort();
    // The old handle's value may be taken by a new handle once it is closed, so "still open"
    // means the value still names the port's object, which a duplicate keeps for comparing.
    using CompareFn = BOOL(WINAPI*)(HANDLE, HANDLE);
    auto pCompare = (CompareFn)(void*)GetProcAddress(GetModuleHandleA("kernelbase.dll"),
                                                     "CompareObjectHandles");
    ASSERT_NE(nullptr, pCompare);
    HANDLE hPort = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), hCom2, GetCurrentProcess(), &hPort, 0,
                                FALSE, DUPLICATE_SAME_ACCESS));
    int nOpenAtRetitle = 0;
    {
        WindowSpy spy(g_wnd.hwndMain, [&](UINT msg, WPARAM, LPARAM) {
            DWORD dwFlags;
            if (msg == WM_SETTEXT && GetHandleInformation(hCom2, &dwFlags)
                && pCompare(hCom2, hPort))
                nOpenAtRetitle++;
        });
        EXPECT_EQ("USB: Unable to open the communications port; please close any applications "
                  "which may be using the same port.  Talmox will continue to monitor the port "
                  "and open it when available.",
                  BoxesDuring([] { SwitchTo("USB"); }, "USB"));
    }
    CloseHandle(hPort);
    EXPECT_EQ(0, nOpenAtRetitle) << "COM2 was still open when the USB device was opened";
    EXPECT_EQ("Talmox - USB", WindowText(g_wnd.hwndMain));
    EXPECT_EQ(nullptr, g_link.hComm.load());
    EXPECT_FALSE(IsWindowEnabled(g_wnd.hwndSendBtn));
    EXPECT_EQ("", BoxesDuring(OnPollTimer, "USB", 1500));
    EXPECT_EQ(nullptr, g_link.hComm.load());

    // The device appears as the COM1 end of the pair, set to a speed of its own.
    HANDLE hRaw = CreateFileA("COM1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hRaw);
    DCB dcb = {sizeof dcb};
    GetCommState(hRaw, &dcb);
    dcb.BaudRate = CBR_9600;
    SetCommState(hRaw, &dcb);
    CloseHandle(hRaw);
    SetUsbEntry("COM1");
    OnPollTimer();
    ASSERT_NE(nullptr, g_link.hComm.load());
    EXPECT_TRUE(IsWindowEnabled(g_wnd.hwndSendBtn));
    dcb.BaudRate = 0;
    GetCommState(g_link.hComm, &dcb);
    EXPECT_EQ((DWORD)CBR_9600, dcb.BaudRate);

    // A name that "\\.\" would push past the port path: the driver's own device name. The raw
    // infrared port, not in the device map, is named under the program's key.
    SetUsbEntry("COM123456789");
    RegSetKeyValueA(HKEY_LOCAL_MACHINE, kProgramKey, "RawIrPort", REG_SZ, "COM4", 5);
    FindUsbSerialPort();
    EXPECT_STREQ("\\\\.\\WCEUSBSH001", g_link.szUsbPort);
    EXPECT_STREQ("\\\\.\\COM4", g_link.szRawIrPort);
}

}  // namespace
