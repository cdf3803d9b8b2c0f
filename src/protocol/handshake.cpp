// The serial link's connect handshake and keep-alive.
#include "protocol/handshake.h"

#include "connection/control.h"
#include "connection/link.h"
#include "connection/linkui.h"
#include "connection/settings.h"
#include "protocol/packets.h"
#include "protocol/seriallink.h"

#include <cstring>

// The pause between a probe and the read of its reply, and the keep-alive probes missed in a
// row after which the peer is taken to be gone.
enum { PROBE_PAUSE_MS = 20, KEEPALIVE_MISSES = 10 };

// The link is gone or never came: back to idle, and the peer's name is forgotten.
static void DropLink()
{
    MoveWorkerState(WS_IDLE);
    g_link.szPeerName[0] = 0;
}

// One probe of the line: the frame, a short pause for the peer, then its reply or 0.
static uint8_t Probe(uint8_t code)
{
    CommSendCode(code);
    Sleep(PROBE_PAUSE_MS);
    return CommRecvCode();
}

static void KeepPeerName(const uint8_t* pRec)
{
    memcpy(g_link.szPeerName, pRec, sizeof g_link.szPeerName);
    g_link.szPeerName[sizeof g_link.szPeerName - 1] = 0;
}

static void BuildOwnerRecord(OWNERREC* pRec)
{
    memset(pRec, 0, sizeof *pRec);
    size_t cb = strnlen(g_settings.szOwnerName, sizeof pRec->szName - 1);
    memcpy(pRec->szName, g_settings.szOwnerName, cb);
}

// After the link: ask for the peer's owner name, then tell it ours.
static void ExchangeNames()
{
    uint8_t abRec[sizeof(OWNERREC)];
    CommSendCode(XC_GET_NAME);
    Sleep(PROBE_PAUSE_MS);
    if (CommRead(abRec, sizeof abRec) == (int)sizeof abRec)
        KeepPeerName(abRec);
    OWNERREC own;
    BuildOwnerRecord(&own);
    CommSendCode(XC_PUT_NAME);
    CommWrite(&own, sizeof own);
}

void CommConnect()
{
    HANDLE hPort = g_link.hComm;
    if (hPort)
        PurgeComm(hPort, PURGE_TXCLEAR | PURGE_RXCLEAR);
    if (TransferStopped()) {
        DropLink();
        return;
    }
    uint8_t reply = 0;
    while (!g_worker.bAnswerMode) {
        if (reply == 0)
            reply = Probe(XC_PING);
        if (reply == XC_PING_REPLY) {
            reply = Probe(XC_LINK);
        } else if (reply == XC_ACK) {
            MoveWorkerState(WS_CONNECTED);
            UiPlaySound("infbeg");
            break;
        } else if (reply != 0) {
            reply = 0;
        }
        if (TransferStopped()) {
            DropLink();
            return;
        }
    }
    if (TransferStopped()) {
        DropLink();
        return;
    }
    if (g_worker.iWorkerState != WS_CONNECTED)
        return;
    ExchangeNames();
}

void CommKeepAlive()
{
    if (IsSocketType(g_settings.iCommType) || TransferStopped())
        return;
    int nMisses = 0;
    for (;;) {
        if (g_worker.iWorkerState != WS_CONNECTED)
            return;
        if (Probe(XC_KEEPALIVE) == XC_KEEPALIVE_REPLY) {
            nMisses = 0;
        } else if (++nMisses >= KEEPALIVE_MISSES) {
            DropLink();
            nMisses = 0;
        }
        if (TransferStopped())
            return;
    }
}
