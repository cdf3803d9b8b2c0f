// Start-up and shut-down steps of the program around its message loop.
#pragma once
#include <windows.h>

// Platform libraries, the screen shape, the drive mask, settings, the row table and the
// owner name: everything that must be ready before the main window is created.
void PrepareSession();
// A destination folder from the registry that is not an existing folder given in full (empty,
// relative, missing, or a file) is replaced by a default that exists; TellReplacedDestination
// then says once, in a box over the main window, what was replaced, why and by what.
void ReplaceUnusableDestination();
void TellReplacedDestination();
// Reads the owner name the peers are shown, "No Name" when the system has none.
void ReadOwnerName(char* pszName, int cbName);
// After the main window: files named on the command line, the two threads, the summary line
// and the help library.
void StartSession(const char* lpCmdLine);
// After the message loop: stops the threads, saves the settings and releases the link.
void EndSession();
