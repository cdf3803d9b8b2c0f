// The serial port of the serial communication types: finding the USB serial device, opening
// and configuring the port.
#include "connection/serialport.h"

#include "connection/link.h"
#include "connection/settings.h"

#include <cstdio>
#include <cstring>

static const char kUsbDriverDevice[] = "\\\\.\\WCEUSBSH001";

enum { COMM_QUEUE_BYTES = 32768 };

// The raw infrared port is not in the device map; a "RawIrPort" value under the program's
// key names it (such as COM4). Without one the path stays empty and the open fails.
static void FindRawIrPort()
{
    g_link.szRawIrPort[0] = 0;
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kProgramKey, 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return;
    char szName[16] = "";
    DWORD cb = sizeof szName - 1;
    if (RegQueryValueExA(hKey, "RawIrPort", nullptr, nullptr, (BYTE*)szName, &cb) == ERROR_SUCCESS
        && szName[0] && strlen(szName) <= sizeof g_link.szRawIrPort - 5)
        snprintf(g_link.szRawIrPort, sizeof g_link.szRawIrPort, "\\\\.\\%s", szName);
    RegCloseKey(hKey);
}

void FindUsbSerialPort()
{
    FindRawIrPort();
    HKEY hKey;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &hKey) != ERROR_SUCCESS)
        return;
    char szName[16] = "";
    DWORD cb = sizeof szName - 1;
    // A name too long for "\\.\" + name in szUsbPort falls back to the driver's own device.
    if (RegQueryValueExA(hKey, "\\Device\\WCEUSBSH001", nullptr, nullptr, (BYTE*)szName, &cb)
            == ERROR_SUCCESS
        && strlen(szName) <= sizeof g_link.szUsbPort - 5)
        snprintf(g_link.szUsbPort, sizeof g_link.szUsbPort, "\\\\.\\%s", szName);
    else
        strcpy(g_link.szUsbPort, kUsbDriverDevice);
    RegCloseKey(hKey);
}

static const char* DevicePathForType(int iType)
{
    switch (iType) {
    case CT_USB: return g_link.szUsbPort;
    case CT_COM1: return "COM1:";
    case CT_COM2: return "COM2:";
    default: return g_link.szRawIrPort;
    }
}

// 115200 8N1, binary, no flow control, stop on errors; other fields as the driver has them.
static void SetLineSettings(HANDLE hPort)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    GetCommState(hPort, &dcb);
    dcb.BaudRate = CBR_115200;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fDsrSensitivity = 0;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fAbortOnError = 1;
    SetCommState(hPort, &dcb);
}

HANDLE OpenCommPort()
{
    int iType = g_settings.iCommType;
    if (IsSocketType(iType))
        return nullptr;
    HANDLE hPort = CreateFileA(DevicePathForType(iType), GENERIC_READ | GENERIC_WRITE, 0,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    if (hPort == INVALID_HANDLE_VALUE)
        return nullptr;
    SetupComm(hPort, COMM_QUEUE_BYTES, COMM_QUEUE_BYTES);
    PurgeComm(hPort, PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (iType == CT_USB) {
        DCB dcb = {};
        dcb.DCBlength = sizeof dcb;
        GetCommState(hPort, &dcb);   // the USB device keeps its own line settings
    } else {
        SetLineSettings(hPort);
    }
    COMMTIMEOUTS ct = {};
    ct.ReadIntervalTimeout = 100;
    ct.ReadTotalTimeoutMultiplier = 1;
    ct.ReadTotalTimeoutConstant = 1000;
    ct.WriteTotalTimeoutMultiplier = 0;
    ct.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(hPort, &ct);
    if (iType == CT_COM1 || iType == CT_COM2) {
        EscapeCommFunction(hPort, SETDTR);
        EscapeCommFunction(hPort, SETRTS);
    }
    return hPort;
}
