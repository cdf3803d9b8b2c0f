// Opening the port of each communication type: the window title, the send button, message 5008
// for a port that cannot be opened, and the USB device found in the device map.
#include <gtest/gtest.h>

#include "connection/serialport.h"
#include "connection/session.h"
#include "ui_support.h"

#include <cstring>

namespace {

const char kMapKey[] = "HARDWARE\\DEVICEMAP\\SERIALCOMM";
const char kUsbEntry[] = "\\Device\\WCEUSBSH001";
const char kProgramKey[] = "SOFTWARE\\Varndel\\Talmox";

void SetRegString(const char* pszKey, const char* pszName, const char* pszValue)
{
    HKEY hKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, pszKey, 0, nullptr, 0,
                                             KEY_SET_VALUE, nullptr, &hKey, nullptr));
    if (pszValue)
        RegSetValueExA(hKey, pszName, 0, REG_SZ, (const BYTE*)pszValue, strlen(pszValue) + 1);
    else
        RegDeleteValueA(hKey, pszName);
    RegCloseKey(hKey);
}

HANDLE OpenRaw(const char* pszPath)
{
    return CreateFileA(pszPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                       nullptr);
}

DWORD BaudOf(HANDLE h)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    return dcb.BaudRate;
}

// A stand-in main window with a send button, so that the title and the button can be read.
struct CommPort : ::testing::Test {
    HWND hwndMain = nullptr, hwndBtn = nullptr;
    HANDLE hPort = nullptr;
    void SetUp() override
    {
        g_state.hInst = GetModuleHandleA(nullptr);
        hwndMain = CreateWindowExA(0, "STATIC", "", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100,
                                   nullptr, nullptr, g_state.hInst, nullptr);
        hwndBtn = CreateWindowExA(0, "BUTTON", "Send", WS_CHILD, 0, 0, 50, 20, hwndMain,
                                  nullptr, g_state.hInst, nullptr);
        ASSERT_TRUE(hwndMain && hwndBtn);
        g_state.hwndMain = hwndMain;
        g_state.hwndSendBtn = hwndBtn;
    }
    void TearDown() override
    {
        if (hPort)
            CloseHandle(hPort);
        g_state.hwndMain = nullptr;
        g_state.hwndSendBtn = nullptr;
        DestroyWindow(hwndMain);
        SetRegString(kMapKey, kUsbEntry, nullptr);
        SetRegString(kProgramKey, "RawIrPort", nullptr);
    }
    HANDLE Open(int iType, int bReport = 0)
    {
        g_state.iCommType = iType;
        if (hPort)
            CloseHandle(hPort);
        hPort = OpenCommPort(bReport);
        return hPort;
    }
};

TEST_F(CommPort, TitleAndSendButtonFollowEveryType)
{
    struct { int iType; const char* pszTitle; bool bOpens; } const kCases[] = {
        {CT_IRDA, "Talmox - IRDA", false}, {CT_USB, "Talmox - USB", false},
        {CT_COM1, "Talmox - COM1", true},  {CT_COM2, "Talmox - COM2", true},
        {CT_RAWIR, "Talmox - RAW IR", false}, {CT_LAN, "Talmox - LAN", false},
        {CT_WAN, "Talmox - WAN / Internet", false},
    };
    g_state.szUsbPort[0] = 0;   // no USB device on this machine
    FindUsbSerialPort();
    strcpy(g_state.szUsbPort, "\\\\.\\COM99");
    for (const auto& c : kCases) {
        HANDLE h = Open(c.iType);
        EXPECT_EQ(c.pszTitle, WindowText(hwndMain));
        EXPECT_EQ(c.bOpens, h != nullptr) << c.pszTitle;
        // A socket type has no port but can always send; a serial type only with its port.
        bool bSocket = c.iType == CT_IRDA || c.iType == CT_LAN || c.iType == CT_WAN;
        EXPECT_EQ(bSocket || c.bOpens, IsWindowEnabled(hwndBtn) != 0) << c.pszTitle;
    }
}

// Wine does not keep a serial port to its first opener, so a port held by another program
// cannot be made here; a port that is missing until the test provides it fails the same open.
TEST_F(CommPort, PortThatCannotBeOpenedIsReportedOnceThenTakenWhenAvailable)
{
    SetRegString(kProgramKey, "RawIrPort", "NOPORT");
    FindUsbSerialPort();
    {
        BoxAnswerer box("RAW IR");
        EXPECT_EQ(nullptr, Open(CT_RAWIR, 1));
        EXPECT_EQ("Unable to open the communications port; please close any applications which "
                  "may be using the same port.  Talmox will continue to monitor the port and "
                  "open it when available.",
                  box.Text());
    }
    EXPECT_FALSE(IsWindowEnabled(hwndBtn));
    {
        // The once-a-second retry looks the device up again and asks silently.
        BoxAnswerer box("RAW IR", 1500);
        FindUsbSerialPort();
        EXPECT_EQ(nullptr, Open(CT_RAWIR, 0));
        EXPECT_FALSE(box.Seen());
    }
    SetRegString(kProgramKey, "RawIrPort", "COM1");
    FindUsbSerialPort();
    EXPECT_NE(nullptr, Open(CT_RAWIR, 0));
    EXPECT_TRUE(IsWindowEnabled(hwndBtn));
}

TEST_F(CommPort, UsbDeviceFromTheDeviceMapKeepsItsLineSettings)
{
    // Give COM2 a speed of its own first: the USB device must be left as the driver has it.
    HANDLE h = OpenRaw("COM2:");
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(h, &dcb);
    dcb.BaudRate = CBR_9600;
    SetCommState(h, &dcb);
    CloseHandle(h);

    SetRegString(kMapKey, kUsbEntry, "COM2");
    FindUsbSerialPort();
    EXPECT_STREQ("\\\\.\\COM2", g_state.szUsbPort);
    ASSERT_NE(nullptr, Open(CT_USB));
    EXPECT_EQ((DWORD)CBR_9600, BaudOf(hPort));
    CloseHandle(hPort);
    hPort = nullptr;

    // A name that "\\.\" would push past the 16-byte path, or no entry at all: the driver's
    // own device name.
    SetRegString(kMapKey, kUsbEntry, "COM123456789");
    FindUsbSerialPort();
    EXPECT_STREQ("\\\\.\\WCEUSBSH001", g_state.szUsbPort);
    SetRegString(kMapKey, kUsbEntry, nullptr);
    strcpy(g_state.szUsbPort, "\\\\.\\COM2");
    FindUsbSerialPort();
    EXPECT_STREQ("\\\\.\\WCEUSBSH001", g_state.szUsbPort);
}

}  // namespace
