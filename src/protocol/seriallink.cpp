// Serial byte I/O: reads and writes on the open port, bounded by the port's time-outs.
#include "protocol/seriallink.h"

#include "connection/link.h"
#include "protocol/packets.h"

int CommRead(void* pBuf, int32_t n)
{
    HANDLE hPort = g_link.hComm;
    if (!hPort) {
        Sleep(20);
        return 0;
    }
    DWORD nRead = 0;
    if (!ReadFile(hPort, pBuf, (DWORD)n, &nRead, nullptr)) {
        DWORD dwErrors;
        ClearCommError(hPort, &dwErrors, nullptr);
    }
    return (int)nRead;
}

int CommWrite(const void* pBuf, int32_t n)
{
    HANDLE hPort = g_link.hComm;
    DWORD nWritten = 0;
    if (!WriteFile(hPort, pBuf, (DWORD)n, &nWritten, nullptr)) {
        DWORD dwErrors;
        ClearCommError(hPort, &dwErrors, nullptr);
    }
    return (int)nWritten;
}

void CommSendCode(uint8_t code)
{
    uint8_t abFrame[4];
    MakeCodeFrame(abFrame, code);
    CommWrite(abFrame, 4);
}

uint8_t CommRecvCode()
{
    uint8_t abFrame[4];
    int bPurge = 0;
    uint8_t code = SerialFrameCode(abFrame, CommRead(abFrame, 4), &bPurge);
    HANDLE hPort = g_link.hComm;
    if (bPurge && hPort)
        PurgeComm(hPort, PURGE_RXCLEAR);
    return code;
}
