// Socket blocks stored into the destination's mapped view on a thread of their own.
#pragma once

#include <cstdint>

// Hands len bytes at pSrc (copied at once) to the store thread, to be written at pDest,
// after the store before it has finished. The view must stay mapped until
// FinishBackgroundStores has returned.
void StoreInBackground(uint8_t* pDest, const uint8_t* pSrc, int32_t len);

// Waits until every handed-over block is stored; 0 when the drive refused any of them since
// the last ForgetStoreFailure (the file is then incomplete, whatever was counted).
int FinishBackgroundStores();
void ForgetStoreFailure();
