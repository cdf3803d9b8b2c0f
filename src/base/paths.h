// Path text: a folder and a name joined with one backslash, and the name taken back out.
#pragma once
#include <cstddef>

// Writes the folder, a backslash unless the folder already ends in one (a drive root such as
// "C:\"), and the name into pszOut, which holds cb bytes. Returns 1 when the whole path fit;
// 0 when it did not, and pszOut then holds as much of it as fits, terminated.
int JoinPath(char* pszOut, size_t cb, const char* pszDir, const char* pszName);

// The file-name part of a path (after the last backslash), at most its last 127 characters,
// into pszName, which holds 128 bytes.
void PathFileName(const char* pszPath, char* pszName);
