// The Settings dialog on the running main window: the type list and the peer address control,
// OK that keeps the link or closes it and opens the new type's (sockets, and the serial ports of
// the COM1/COM2 pair), and the registry written on OK.
#include <gtest/gtest.h>

#include "connection/serialport.h"
#include "connection/sockets.h"
#include "resource.h"
#include "ui_support.h"

#include <functional>

namespace {

enum { IDC_DEST = 1001, IDC_PROMPT = 1011, IDC_RESULTS = 1013, IDC_OVERWRITE = 1014,
       IDC_TYPE = 1020, IDC_PEERIP = 1021, IDC_MYIP = 1022 };
const char kProgramKey[] = "SOFTWARE\\Varndel\\Talmox";

struct SettingsDialog : ::testing::Test {
    static ScratchDir* s_pDir;
    static void SetUpTestSuite()
    {
        s_pDir = new ScratchDir;
        CreateDirectoryA(s_pDir->File("air").c_str(), nullptr);
        SetEnvironmentVariableA("TALMOX_IRDA_AIR", s_pDir->File("air").c_str());
        // Port 1756 is the machine's: wait for a test program of another build to let it go.
        EnsureWinsock();
        WaitFor([] { return !Listening(TALMOX_TCP_PORT); }, 60000);
        ASSERT_NE(nullptr, MakeMainWindow(s_pDir->Path()));
    }
    // OK writes the settings; the next program in this Wine prefix must not start on them.
    static void TearDownTestSuite()
    {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kProgramKey);
        delete s_pDir;
    }

    // Opens Settings, lets user work in the open dialog (from another thread), then presses OK.
    static void WithSettings(const std::function<void(HWND)>& user)
    {
        UserThread thread([&] {
            HWND hDlg = WaitForDialog("Settings", g_state.hwndMain);
            if (!hDlg)
                return;
            user(hDlg);
            PostMessageA(hDlg, WM_COMMAND, IDOK, 0);
        });
        RunCommand(IDM_SETTINGS);
    }
    // Picks a type in the list the way a user's choice ends.
    static void ChooseType(HWND hDlg, const char* pszName)
    {
        HWND hCombo = GetDlgItem(hDlg, IDC_TYPE);
        int i = (int)SendMessageA(hCombo, CB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)pszName);
        SendMessageA(hCombo, CB_SETCURSEL, i, 0);
        SendMessageA(hDlg, WM_COMMAND, MAKEWPARAM(IDC_TYPE, CBN_SELENDOK), (LPARAM)hCombo);
    }
    static void SwitchTo(const char* pszName)
    {
        WithSettings([&](HWND hDlg) { ChooseType(hDlg, pszName); });
    }
    static bool PeerEnabled(HWND hDlg) { return IsWindowEnabled(GetDlgItem(hDlg, IDC_PEERIP)); }
    static int LocalPort(SOCKET s)
    {
        sockaddr_in a = {};
        int cb = sizeof a;
        return getsockname(s, (sockaddr*)&a, &cb) == 0 ? ntohs(a.sin_port) : -1;
    }
    // A connection to the loopback port, INVALID_SOCKET when nobody listens there.
    static SOCKET ConnectTo(int port)
    {
        SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in a = {};
        a.sin_family = AF_INET;
        a.sin_port = htons((u_short)port);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (connect(s, (sockaddr*)&a, sizeof a) == 0)
            return s;
        closesocket(s);
        return INVALID_SOCKET;
    }
    static bool Listening(int port)
    {
        SOCKET s = ConnectTo(port);
        closesocket(s);
        return s != INVALID_SOCKET;
    }
    static DWORD RegDword(const char* pszName)
    {
        DWORD dw = 0xDEADBEEF, cb = sizeof dw;
        RegGetValueA(HKEY_LOCAL_MACHINE, kProgramKey, pszName, RRF_RT_REG_DWORD, nullptr, &dw, &cb);
        return dw;
    }
};
ScratchDir* SettingsDialog::s_pDir;

TEST_F(SettingsDialog, TypeListOffersSixTypesAndThePeerAddressOnlyForWan)
{
    ASSERT_EQ(CT_LAN, g_state.iCommType);
    // Both templates: the wide one and the one for a screen taller than wide.
    for (int bLandscape : {1, 0}) {
        SCOPED_TRACE(bLandscape ? "wide" : "tall");
        g_state.bLandscape = bLandscape;
        bool bTaller = false;
        std::vector<std::string> names;
        std::vector<int> types;
        std::string current;
        bool bPeerAtStart = true, bPeerForWan = false, bPeerForCom1 = true, bMyIpEnabled = true,
             bStaysOnCancel = false;
        WithSettings([&](HWND hDlg) {
            HWND hCombo = GetDlgItem(hDlg, IDC_TYPE);
            for (int i = 0; i < (int)SendMessageA(hCombo, CB_GETCOUNT, 0, 0); i++) {
                char sz[64] = "";
                SendMessageA(hCombo, CB_GETLBTEXT, i, (LPARAM)sz);
                names.push_back(sz);
                types.push_back((int)SendMessageA(hCombo, CB_GETITEMDATA, i, 0));
            }
            current = WindowText(hCombo);
            RECT rc;
            GetClientRect(hDlg, &rc);
            bTaller = rc.bottom > rc.right;
            bPeerAtStart = PeerEnabled(hDlg);
            bMyIpEnabled = IsWindowEnabled(GetDlgItem(hDlg, IDC_MYIP));
            ChooseType(hDlg, "WAN / Internet");
            bPeerForWan = PeerEnabled(hDlg);
            ChooseType(hDlg, "COM1");
            bPeerForCom1 = PeerEnabled(hDlg);
            ChooseType(hDlg, "LAN");
            // Escape is no way out: only OK closes the dialog.
            SendMessageA(hDlg, WM_COMMAND, IDCANCEL, 0);
            bStaysOnCancel = IsWindowVisible(hDlg);
        });
        EXPECT_EQ((std::vector<std::string>{"IRDA", "USB", "COM1", "COM2", "LAN",
                                            "WAN / Internet"}),
                  names);
        EXPECT_EQ((std::vector<int>{0, 1, 2, 3, 5, 6}), types);
        EXPECT_EQ("LAN", current);
        EXPECT_FALSE(bPeerAtStart);
        EXPECT_TRUE(bPeerForWan);
        EXPECT_FALSE(bPeerForCom1);
        EXPECT_FALSE(bMyIpEnabled);
        EXPECT_TRUE(bStaysOnCancel);
        EXPECT_EQ(CT_LAN, g_state.iCommType);
        EXPECT_EQ(!bLandscape, bTaller);
    }
    g_state.bLandscape = 1;
}

// The same type again: the sockets stay as they are, everything else is taken and written.
TEST_F(SettingsDialog, OkWithoutATypeChangeKeepsTheLinkAndWritesTheRegistry)
{
    SOCKET hListen = g_state.hListenSock, hUdp = g_state.hUdpSock;
    ASSERT_NE((SOCKET)0, hListen) << "port 1756 is taken by another program";
    snprintf(g_state.szDestDir, sizeof g_state.szDestDir, "%s", s_pDir->Path().c_str());
    g_state.bPromptDelete = 1;
    g_state.bShowResults = 0;
    g_state.bOverwrite = 0;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kProgramKey);
    // A connection waiting in the listener's backlog is still there only if the listener is.
    SOCKET hClient = ConnectTo(TALMOX_TCP_PORT);
    ASSERT_NE(INVALID_SOCKET, hClient);
    std::string shownDest;
    WithSettings([&](HWND hDlg) {
        shownDest = WindowText(GetDlgItem(hDlg, IDC_DEST));
        SendDlgItemMessageA(hDlg, IDC_PEERIP, IPM_SETADDRESS, 0, MAKEIPADDRESS(203, 0, 113, 9));
        CheckDlgButton(hDlg, IDC_PROMPT, BST_UNCHECKED);
        CheckDlgButton(hDlg, IDC_RESULTS, BST_CHECKED);
        CheckDlgButton(hDlg, IDC_OVERWRITE, BST_CHECKED);
    });
    EXPECT_EQ(s_pDir->Path(), shownDest);
    EXPECT_EQ(hListen, g_state.hListenSock.load());
    EXPECT_EQ(TALMOX_TCP_PORT, LocalPort(hListen));
    EXPECT_EQ(hUdp, g_state.hUdpSock.load());
    SOCKET hAccepted = INVALID_SOCKET;
    WaitFor([&] { return (hAccepted = accept(hListen, nullptr, nullptr)) != INVALID_SOCKET; }, 1000);
    EXPECT_NE(INVALID_SOCKET, hAccepted) << "the listener was closed and opened again";
    closesocket(hAccepted);
    closesocket(hClient);
    EXPECT_EQ(0xCB007109u, g_state.dwPeerIP.load());
    EXPECT_EQ(0, g_state.bPromptDelete);
    EXPECT_EQ(1, g_state.bShowResults);
    EXPECT_EQ(1, g_state.bOverwrite);
    EXPECT_EQ(s_pDir->Path(), std::string(g_state.szDestDir));
    EXPECT_EQ(0xCB007109u, RegDword("PeerIP"));
    EXPECT_EQ((DWORD)CT_LAN, RegDword("CommType"));
}

TEST_F(SettingsDialog, IrdaToLanReopensTheSocketsRetitlesAndTakesTheLargeBlock)
{
    ASSERT_EQ(CT_LAN, g_state.iCommType);
    SwitchTo("IRDA");
    EXPECT_EQ(CT_IRDA, g_state.iCommType);
    EXPECT_EQ("Talmox - IRDA", WindowText(g_state.hwndMain));
    EXPECT_EQ(4096, g_state.cbBlock);
    EXPECT_FALSE(Listening(TALMOX_TCP_PORT)) << "the LAN listener was left open";
    EXPECT_EQ((SOCKET)0, g_state.hUdpSock.load());
    SOCKET hIrda = g_state.hListenSock;
    int irdaPort = LocalPort(hIrda);
    ASSERT_GT(irdaPort, 0) << "no listener on the simulated infrared medium";

    SwitchTo("LAN");
    EXPECT_EQ(CT_LAN, g_state.iCommType);
    EXPECT_EQ("Talmox - LAN", WindowText(g_state.hwndMain));
    EXPECT_EQ(32768, g_state.cbBlock);
    EXPECT_FALSE(Listening(irdaPort)) << "the IrDA listener was left open";
    EXPECT_EQ(TALMOX_TCP_PORT, LocalPort(g_state.hListenSock));
    EXPECT_TRUE(Listening(TALMOX_TCP_PORT));
    int iType = 0, cb = sizeof iType;
    EXPECT_EQ(0, getsockopt(g_state.hUdpSock, SOL_SOCKET, SO_TYPE, (char*)&iType, &cb));
    EXPECT_EQ(SOCK_DGRAM, iType);
}

// Switching between serial types closes the old port before the new one is opened: the window
// is retitled, just before the open, with the old handle already closed.
TEST_F(SettingsDialog, Com2ToUsbClosesCom2BeforeOpeningTheUsbDevice)
{
    SwitchTo("COM2");
    ASSERT_EQ(CT_COM2, g_state.iCommType);
    HANDLE hCom2 = g_state.hComm;
    ASSERT_NE(nullptr, hCom2);

    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM",
                                             0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &hKey,
                                             nullptr));
    RegSetValueExA(hKey, "\\Device\\WCEUSBSH001", 0, REG_SZ, (const BYTE*)"COM1", 5);
    FindUsbSerialPort();
    int nOpenAtRetitle = 0;
    {
        WindowSpy spy(g_state.hwndMain, [&](UINT msg, WPARAM, LPARAM) {
            DWORD dwFlags;
            if (msg == WM_SETTEXT && GetHandleInformation(hCom2, &dwFlags))
                nOpenAtRetitle++;
        });
        SwitchTo("USB");
    }
    RegDeleteValueA(hKey, "\\Device\\WCEUSBSH001");
    RegCloseKey(hKey);
    EXPECT_EQ(0, nOpenAtRetitle) << "COM2 was still open when the USB device was opened";
    EXPECT_EQ("Talmox - USB", WindowText(g_state.hwndMain));
    EXPECT_EQ(8192, g_state.cbBlock);

    // The new port is the USB device, here the COM1 end of the pair.
    ASSERT_NE(nullptr, g_state.hComm.load());
    HANDLE hOther = CreateFileA("COM2:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, hOther);
    COMMTIMEOUTS ct = {0, 0, 2000, 0, 0};
    SetCommTimeouts(hOther, &ct);
    DWORD n = 0;
    WriteFile(g_state.hComm, "usb!", 4, &n, nullptr);
    char buf[4] = {};
    ReadFile(hOther, buf, 4, &n, nullptr);
    CloseHandle(hOther);
    EXPECT_EQ("usb!", std::string(buf, n));
}

}  // namespace
