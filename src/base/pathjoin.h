// Joining a folder and a name into one path with a single backslash between them.
#pragma once
#include <cstddef>

// Writes the folder, a backslash unless the folder already ends in one (a drive root such as
// "C:\"), and the name into pszOut, which holds cb bytes. Returns 1 when the whole path fit;
// 0 when it did not, and pszOut then holds as much of it as fits, terminated.
int JoinPath(char* pszOut, size_t cb, const char* pszDir, const char* pszName);
