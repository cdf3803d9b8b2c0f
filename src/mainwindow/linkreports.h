// The main window's answers to what the worker reports: status dialogs, file names, sounds.
#pragma once

struct LinkUi;

extern const LinkUi WindowLinkUi;

// The link sounds, played without waiting so that no transfer waits for them.
void PlayLinkSound(const char* pszName);
