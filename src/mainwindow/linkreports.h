// The main window's answers to what the worker reports: status dialogs, file names, sounds.
#pragma once

struct LinkUi;

extern const LinkUi WindowLinkUi;

// The link sounds, played without waiting so that no transfer waits for them.
void PlayLinkSound(const char* pszName);

// The box that tells the user a peer's batch was refused because the destination folder has
// gone, for the command the worker's report posts.
void ShowDestFolderGone();
