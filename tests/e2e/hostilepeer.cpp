// A hostile peer for a running Talmox: seeded random traffic over the LAN or the serial cable.
//
//   hostilepeer lan ADDRESS SEED MS     TCP port 1756 of ADDRESS, a new connection now and then
//   hostilepeer serial PORT SEED MS     the serial port PORT (e.g. COM1), at 115200 baud
// Sends random messages and garbage for MS milliseconds, then proves the program still answers
// a ping (a fresh connection on the LAN; on the cable after the line went quiet). Prints the
// seed, the messages sent and "answers" or "no answer"; the exit code is 0 when it answered,
// 1 when not, 2 on a bad command line or a link that cannot be opened.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "peer_random.h"
#include "peer_wire.h"

static const uint16_t kPort = 1756;
static const size_t kLanBlock = 32768;
static const size_t kSerialBlock = 4096;

struct LanPeer {
    PeerWire* pWire;
    const char* pszAddr;
};

// The old connection is dropped without a word, as a peer that vanished would leave it.
static void Reconnect(void* pCtx)
{
    LanPeer* p = (LanPeer*)pCtx;
    p->pWire->Close();
    p->pWire->AttachSocket(ConnectTcp(kPort, p->pszAddr));
}

// One ping on a link; 1 when the ping reply came back.
static int Pinged(PeerWire& wire)
{
    wire.Send(Frame(0x50));
    std::string want = Frame(0x51), got = wire.Recv(want.size(), 3000);
    return got == want;
}

// The program may still be in an exchange the random traffic started, so it is given about
// half a minute to find its way back to answer mode.
static int StillAnswers(PeerWire& wire, LanPeer* pLan)
{
    for (int i = 0; i < 10; i++) {
        if (pLan)
            Reconnect(pLan);
        else
            wire.Drain(1500);
        if (Pinged(wire))
            return 1;
        Sleep(1000);
    }
    return 0;
}

int main(int argc, char** argv)
{
    if (argc != 5 || (strcmp(argv[1], "lan") && strcmp(argv[1], "serial"))) {
        fprintf(stderr, "usage: hostilepeer lan|serial ADDRESS|PORT SEED MS\n");
        return 2;
    }
    int bSerial = strcmp(argv[1], "serial") == 0;
    uint32_t seed = (uint32_t)strtoul(argv[3], nullptr, 0);
    int ms = atoi(argv[4]);
    WSADATA wsa;
    WSAStartup(MAKEWORD(2, 2), &wsa);
    PeerWire wire;
    LanPeer lan = {&wire, argv[2]};
    if (bSerial) {
        char szPort[64];
        snprintf(szPort, sizeof szPort, "\\\\.\\%s", argv[2]);
        if (!wire.OpenSerial(szPort)) {
            fprintf(stderr, "cannot open %s\n", argv[2]);
            return 2;
        }
    } else {
        Reconnect(&lan);
        if (wire.Socket() == INVALID_SOCKET) {
            fprintf(stderr, "cannot connect to %s:%u\n", argv[2], kPort);
            return 2;
        }
    }
    printf("seed %u\n", seed);
    fflush(stdout);
    RandomPeerResult res = RunRandomPeer(wire, bSerial, bSerial ? kSerialBlock : kLanBlock, seed,
                                         ms, bSerial ? nullptr : Reconnect, &lan);
    printf("%d messages\n", res.nMessages);
    int bAnswers = StillAnswers(wire, bSerial ? nullptr : &lan);
    printf("%s\n", bAnswers ? "answers" : "no answer");
    wire.Close();
    return bAnswers ? 0 : 1;
}
