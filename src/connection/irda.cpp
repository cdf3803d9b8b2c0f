// The IrDA layer: Winsock's IrDA sockets, or a simulated infrared medium where there are none.
//
// It exists because the machines this program is built and tested on have no IrDA at all
// (socket(AF_IRDA) fails with WSAEAFNOSUPPORT), yet the discovery and connect steps must run.
// The medium is a folder named by TALMOX_IRDA_AIR. A listener announces itself there in a
// file "<id>.dev" (the id as 8 hex digits) of 28 bytes: the 4-byte device id, a 22-byte
// NUL-padded device name and the little-endian 16-bit TCP port on 127.0.0.1 where it accepts.
// The file is deleted when the listener's process ends. Without the variable nothing is
// simulated and IrDA fails as the platform does.
#include "connection/irda.h"

#include <af_irda.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>

const char kIrdaServiceName[] = "TALMOX";

enum { AIR_RECORD_BYTES = 28, AIR_PORT_OFFSET = 26 };

static std::atomic<int> s_bAir{0};          // sockets come from the simulated medium
static HANDLE s_hAnnounce = INVALID_HANDLE_VALUE;
static uint8_t s_abOwnId[4];

// The medium's folder, or 0 when the variable is not set.
static int AirFolder(char* pszFolder, DWORD cb)
{
    DWORD n = GetEnvironmentVariableA("TALMOX_IRDA_AIR", pszFolder, cb);
    return n > 0 && n < cb;
}

static void AnnouncementPath(char* pszPath, size_t cb, const char* pszFolder, const uint8_t* pId)
{
    snprintf(pszPath, cb, "%s\\%02X%02X%02X%02X.dev", pszFolder, pId[0], pId[1], pId[2], pId[3]);
}

SOCKET IrdaSocket()
{
    SOCKET s = socket(AF_IRDA, SOCK_STREAM, 0);
    if (s != INVALID_SOCKET) {
        s_bAir = 0;
        return s;
    }
    char szFolder[MAX_PATH];
    if (!AirFolder(szFolder, sizeof szFolder)) {
        WSASetLastError(WSAEAFNOSUPPORT);
        return INVALID_SOCKET;
    }
    s_bAir = 1;
    return socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

// Writes this process's announcement; the handle stays open so that the file disappears
// with the process (delete on close), and a later listener replaces it.
static int Announce(uint16_t wPort)
{
    char szFolder[MAX_PATH], szPath[MAX_PATH];
    if (!AirFolder(szFolder, sizeof szFolder))
        return 0;
    if (s_hAnnounce != INVALID_HANDLE_VALUE)
        CloseHandle(s_hAnnounce);
    DWORD dwSeed = GetTickCount() ^ (GetCurrentProcessId() * 2654435761u);
    for (int i = 0; i < 4; i++)
        s_abOwnId[i] = (uint8_t)(dwSeed >> (8 * i));
    s_abOwnId[0] |= 1;   // never the all-zero id, which means "any device"
    AnnouncementPath(szPath, sizeof szPath, szFolder, s_abOwnId);
    s_hAnnounce = CreateFileA(szPath, GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (s_hAnnounce == INVALID_HANDLE_VALUE)
        return 0;
    uint8_t abRec[AIR_RECORD_BYTES] = {};
    memcpy(abRec, s_abOwnId, 4);
    char szName[MAX_COMPUTERNAME_LENGTH + 1] = "Talmox";
    DWORD cbName = sizeof szName;
    GetComputerNameA(szName, &cbName);
    strncpy((char*)abRec + 4, szName, IRDA_DEVICE_NAME_BYTES - 1);
    abRec[AIR_PORT_OFFSET] = (uint8_t)wPort;
    abRec[AIR_PORT_OFFSET + 1] = (uint8_t)(wPort >> 8);
    DWORD n = 0;
    WriteFile(s_hAnnounce, abRec, sizeof abRec, &n, nullptr);
    return n == sizeof abRec;
}

int IrdaBindService(SOCKET s)
{
    if (!s_bAir) {
        SOCKADDR_IRDA addr = {};
        addr.irdaAddressFamily = AF_IRDA;
        strcpy(addr.irdaServiceName, kIrdaServiceName);
        return bind(s, (sockaddr*)&addr, 32) == 0;
    }
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int cb = sizeof addr;
    if (bind(s, (sockaddr*)&addr, sizeof addr) != 0 || getsockname(s, (sockaddr*)&addr, &cb) != 0)
        return 0;
    return Announce(ntohs(addr.sin_port));
}

// Reads one announcement file; 1 when it holds a whole record.
static int ReadAnnouncement(const char* pszPath, uint8_t* pRec)
{
    HANDLE h = CreateFileA(pszPath, GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD n = 0;
    ReadFile(h, pRec, AIR_RECORD_BYTES, &n, nullptr);
    CloseHandle(h);
    return n == AIR_RECORD_BYTES;
}

int IrdaEnumDevices(SOCKET s, uint8_t* pList)
{
    if (!s_bAir) {
        int cb = IRDA_DEVICELIST_BYTES;
        return getsockopt(s, SOL_IRLMP, IRLMP_ENUMDEVICES, (char*)pList, &cb) == 0;
    }
    char szFolder[MAX_PATH], szPattern[MAX_PATH + 8];
    if (!AirFolder(szFolder, sizeof szFolder))
        return 0;
    snprintf(szPattern, sizeof szPattern, "%s\\*.dev", szFolder);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA(szPattern, &fd);
    uint32_t nDevices = 0;
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            char szPath[MAX_PATH + 16];
            uint8_t abRec[AIR_RECORD_BYTES];
            snprintf(szPath, sizeof szPath, "%s\\%s", szFolder, fd.cFileName);
            if (!ReadAnnouncement(szPath, abRec))
                continue;
            if (s_hAnnounce != INVALID_HANDLE_VALUE && memcmp(abRec, s_abOwnId, 4) == 0)
                continue;   // a device does not see itself
            uint8_t* pInfo = pList + 4 + nDevices * IRDA_DEVICE_INFO_BYTES;
            memcpy(pInfo, abRec, 4 + IRDA_DEVICE_NAME_BYTES);
            pInfo[4 + IRDA_DEVICE_NAME_BYTES - 1] = 0;
            nDevices++;
        } while (nDevices < IRDA_MAX_DEVICES && FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    memcpy(pList, &nDevices, 4);
    return 1;
}

int IrdaConnect(SOCKET s, const uint8_t* pDeviceId)
{
    if (!s_bAir) {
        SOCKADDR_IRDA addr = {};
        addr.irdaAddressFamily = AF_IRDA;
        memcpy(addr.irdaDeviceID, pDeviceId, 4);
        strcpy(addr.irdaServiceName, kIrdaServiceName);
        return connect(s, (sockaddr*)&addr, 32) == 0;
    }
    char szFolder[MAX_PATH], szPath[MAX_PATH + 16];
    uint8_t abRec[AIR_RECORD_BYTES];
    if (!AirFolder(szFolder, sizeof szFolder))
        return 0;
    AnnouncementPath(szPath, sizeof szPath, szFolder, pDeviceId);
    if (!ReadAnnouncement(szPath, abRec) || memcmp(abRec, pDeviceId, 4) != 0)
        return 0;
    sockaddr_in addr = {};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons((uint16_t)(abRec[AIR_PORT_OFFSET] | abRec[AIR_PORT_OFFSET + 1] << 8));
    return connect(s, (sockaddr*)&addr, sizeof addr) == 0;
}
