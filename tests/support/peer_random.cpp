// The seeded random peer.
#include "peer_random.h"

#include <random>
#include <vector>

static const char* const apszNames[] = {
    "r0.bin", "r1.bin", "r2", "..", "CON", "nul.txt", "a/b", "C:x", "dot.", "sp ", "*", "",
    "..\\..\\up.txt", "ok.txt"};

int RunRandomPeer(PeerWire& wire, bool bSerial, size_t cbBlock, uint32_t seed, int ms,
                  void (*pfnReconnect)(void* pCtx), void* pCtx)
{
    int nMessages = 0;
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return (int)(rng() % (unsigned)n); };
    std::vector<uint32_t> sizes(8, 0);
    DWORD dwStart = GetTickCount();
    while ((int)(GetTickCount() - dwStart) < ms) {
        std::string msg;
        switch (pick(12)) {
        case 0: {   // garbage, sometimes with frame bytes in it
            int n = 1 + pick(40);
            for (int i = 0; i < n; i++)
                msg += (char)(pick(4) == 0 ? (pick(2) ? 0xFF : 0x11) : pick(256));
            break;
        }
        case 1:
        case 2: {   // a list, usually well formed
            int n = pick(10) == 0 ? 99 + pick(3) : 1 + pick(5);
            std::vector<std::string> recs;
            for (int i = 0; i < n; i++) {
                std::string name = apszNames[pick(sizeof apszNames / sizeof *apszNames)];
                uint32_t size = pick(3) == 0 ? (uint32_t)pick(3) : (uint32_t)pick(3 * (int)cbBlock);
                if (i < 8)
                    sizes[i] = size;
                recs.push_back(Record("C:\\peer\\" + name, size));
            }
            msg = ListMsg(recs);
            if (pick(6) == 0)
                msg[5] ^= 1;                        // a wrong CRC
            if (pick(8) == 0)
                msg.resize(pick((int)msg.size())); // cut short
            break;
        }
        case 3:
        case 4:
            msg = OpenMsg((uint8_t)(pick(8) == 0 ? pick(256) : pick(6)));
            break;
        case 5:
        case 6:
        case 7: {   // a block of the current file, or a made-up one
            int32_t k = pick(6) == 0 ? (int32_t)rng() : pick(4) - (pick(8) == 0);
            size_t len = BlockLen(k < 0 ? 0 : (size_t)k, sizes[pick(2)], cbBlock);
            if (pick(5) == 0)
                len = pick((int)cbBlock + 1);
            std::string data = Pattern(len, rng());
            msg = pick(4) ? BlockMsg(k, data) : BlockMsgCrc(k, rng(), data);
            if (pick(10) == 0)
                msg.resize(pick((int)msg.size()));
            break;
        }
        case 8:
            msg = Frame(0x60);
            break;
        case 9: {
            static const uint8_t codes[] = {0x50, 0x56, 0x58, 0x62, 0x64, 0x5D, 0x5B, 0x5E, 0x52, 0x5A, 0x67, 0x00};
            msg = Frame(codes[pick(sizeof codes)]);
            if (pick(2))
                msg += std::string(1, (char)pick(4)) + Le32(pick(3));
            break;
        }
        case 10:
            msg = Frame((uint8_t)pick(256)) + Le32(rng());
            break;
        case 11:
            if (pfnReconnect && pick(4) == 0) {
                pfnReconnect(pCtx);
                continue;
            }
            msg = Frame(0x59) + Pattern(pick(300), rng());
            break;
        }
        wire.Send(msg);
        nMessages++;
        wire.Drain(bSerial ? 30 : 5);
    }
    return nMessages;
}
