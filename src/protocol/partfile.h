// Files being received: each is written under a part name of its own in the destination
// folder, hidden, and given its real name only once it is whole.
#pragma once

#include <windows.h>

enum { PART_PATH_CHARS = MAX_PATH };

// Creates a new, empty, hidden part file in pszDir, open for reading and writing and shared
// with nobody; its path goes into pwszPath (PART_PATH_CHARS units). INVALID_HANDLE_VALUE when
// it cannot be made (no such folder, no room, no right to write there).
HANDLE CreatePartFile(const char* pszDir, wchar_t* pwszPath);

// Gives the closed part file pwszPart the name pszName in pszDir. With bReplace a file of that
// name is replaced; otherwise a name that is taken is never replaced, and the file takes the
// first free "name (n).ext" instead. 1 when the file has its name; 0 when it could not be
// given one (the part file is then still there, for the caller to delete).
int KeepPartFile(const wchar_t* pwszPart, const char* pszDir, const char* pszName, int bReplace);

// Deletes the part files in pszDir that no receive holds open: those left by a receive that
// never ended (a crash, a power cut).
void RemoveStaleReceiveFiles(const char* pszDir);
