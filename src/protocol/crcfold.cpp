// The transfer CRC by folding with carry-less multiplication, for processors that have it.
//
// Four 128-bit lanes are folded over 64 bytes at a step, then into one lane, which is reduced
// to 64 and then 32 bits (Barrett). The constants are powers of x modulo the reflected
// polynomial 0xEDB88320, so the result is bit for bit that of the table loop with the
// register starting at crc; only whole 16-byte pieces are taken here.
#include "protocol/crcfold.h"

#if defined(__x86_64__) || defined(__i386__)

#include <immintrin.h>

// x^(4*128+32) and x^(4*128-32): one lane folded 64 bytes on.
static const uint64_t FOLD_BY_4_LO = 0x154442bd4ull, FOLD_BY_4_HI = 0x1c6e41596ull;
// x^(128+32) and x^(128-32): one lane folded 16 bytes on.
static const uint64_t FOLD_BY_1_LO = 0x1751997d0ull, FOLD_BY_1_HI = 0x0ccaa009eull;
// x^64 mod P, for the step from 96 to 64 bits.
static const uint64_t FOLD_64 = 0x163cd6124ull;
// P itself and the quotient x^64 / P, for the Barrett reduction.
static const uint64_t POLY = 0x1db710641ull, POLY_MU = 0x1f7011641ull;

// One lane carried 16 * n bytes on and added to the next data.
__attribute__((target("pclmul,sse2"))) static inline __m128i Fold(__m128i x, __m128i k,
                                                                    __m128i next)
{
    __m128i lo = _mm_clmulepi64_si128(x, k, 0x00);
    __m128i hi = _mm_clmulepi64_si128(x, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(hi, lo), next);
}

__attribute__((target("sse2"))) static inline __m128i Load(const uint8_t* p)
{
    return _mm_loadu_si128((const __m128i*)p);
}

// The 32-bit Windows stack is only 4-byte aligned; the vectors spilled here need 16.
__attribute__((target("pclmul,sse2"), force_align_arg_pointer))
uint32_t Crc32Fold(uint32_t crc, const uint8_t* p, int32_t length)
{
    __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128((int)crc));
    __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
    p += 64;
    length -= 64;
    __m128i k = _mm_set_epi64x((long long)FOLD_BY_4_HI, (long long)FOLD_BY_4_LO);
    for (; length >= 64; p += 64, length -= 64) {
        x1 = Fold(x1, k, Load(p));
        x2 = Fold(x2, k, Load(p + 16));
        x3 = Fold(x3, k, Load(p + 32));
        x4 = Fold(x4, k, Load(p + 48));
    }
    k = _mm_set_epi64x((long long)FOLD_BY_1_HI, (long long)FOLD_BY_1_LO);
    x1 = Fold(x1, k, x2);
    x1 = Fold(x1, k, x3);
    x1 = Fold(x1, k, x4);
    for (; length >= 16; p += 16, length -= 16)
        x1 = Fold(x1, k, Load(p));

    // 128 bits to 96, then to 64.
    const __m128i mask32 = _mm_set_epi32(0, -1, 0, -1);
    __m128i x = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k, 0x10));
    __m128i k64 = _mm_set_epi64x(0, (long long)FOLD_64);
    x = _mm_xor_si128(_mm_srli_si128(x, 4),
                      _mm_clmulepi64_si128(_mm_and_si128(x, mask32), k64, 0x00));

    // Barrett: the quotient's low 32 bits times P, added, leave the remainder in bits 32..63.
    __m128i poly = _mm_set_epi64x((long long)POLY_MU, (long long)POLY);
    __m128i t = _mm_clmulepi64_si128(_mm_and_si128(x, mask32), poly, 0x10);
    t = _mm_clmulepi64_si128(_mm_and_si128(t, mask32), poly, 0x00);
    x = _mm_xor_si128(x, t);
    return (uint32_t)_mm_cvtsi128_si32(_mm_srli_si128(x, 4));
}

int CrcFoldAvailable()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2");
}

#else

uint32_t Crc32Fold(uint32_t crc, const uint8_t*, int32_t)
{
    return crc;
}

int CrcFoldAvailable()
{
    return 0;
}

#endif
