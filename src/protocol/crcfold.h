// The transfer CRC by carry-less multiplication, used where the processor has it.
#pragma once

#include <cstdint>

// 1 when this processor can run Crc32Fold.
int CrcFoldAvailable();
// The register after the bytes p[0, length) starting from crc; length is a multiple of 16
// and at least 64.
uint32_t Crc32Fold(uint32_t crc, const uint8_t* p, int32_t length);
