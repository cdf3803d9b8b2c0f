// The three named sounds of a link: established, interrupted, ended.
#pragma once

void PlayLinkSound(const char* pszName);   // "infbeg", "infintr" or "infend"
