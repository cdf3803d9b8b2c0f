// Benchmark: the transfer CRC over 256 MiB in memory, beside memcpy of the same bytes.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "protocol/packets.h"

static double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f)
{
    return (double)(b.QuadPart - a.QuadPart) / (double)f.QuadPart;
}

int main()
{
    const size_t cb = 256u << 20, cbBlock = 32768;
    std::vector<uint8_t> src(cb), dst(cb);
    uint32_t x = 12345;
    for (size_t i = 0; i < cb; i++) {
        x = x * 1103515245u + 12345u;
        src[i] = (uint8_t)(x >> 24);
    }
    BuildCrcTable();
    LARGE_INTEGER f, t0, t1, t2;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    uint32_t crcs = 0;
    for (size_t off = 0; off < cb; off += cbBlock)
        crcs ^= Crc32Block(&src[off], (int32_t)cbBlock);
    QueryPerformanceCounter(&t1);
    for (size_t off = 0; off < cb; off += cbBlock)
        memcpy(&dst[off], &src[off], cbBlock);
    QueryPerformanceCounter(&t2);
    double mb = (double)cb / 1e6;
    printf("crc_mbps %.0f\nmemcpy_mbps %.0f\ncrc_check %08x %d\n", mb / Seconds(t0, t1, f),
           mb / Seconds(t1, t2, f), (unsigned)crcs, dst[cb / 2] == src[cb / 2]);
    return 0;
}
