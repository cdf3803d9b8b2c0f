// Link sounds, played asynchronously by name so that no transfer waits for them.
#include "protocol/sounds.h"

#include <windows.h>
#include <mmsystem.h>

void PlayLinkSound(const char* pszName)
{
    PlaySoundA(pszName, nullptr, SND_ASYNC);
}
