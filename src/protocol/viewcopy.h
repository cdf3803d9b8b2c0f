// Copies into and out of a mapped view of a transfer file that fail, instead of crashing,
// when the file cannot back the view.
#pragma once

#include <cstddef>

// Copies cb bytes from pSrc to pDst; 1 when all were copied, 0 when a page of either could
// not be read or written (an in-page error: a full drive under a written view, a file that
// shrank under a read one). On 0 an unknown part of pDst has been written.
int CopyViewBytes(void* pDst, const void* pSrc, size_t cb);
