// The Send List: the batch of files the next send transfers, and the ways files enter and
// leave it.
#pragma once
#include <windows.h>
#include <shellapi.h>

enum { MAX_SEND_FILES = 100 };

// Longest path a row may carry: the send reads 256 bytes of it and a batch record holds
// 125 characters.
enum { SENDLIST_PATH_BYTES = 255 };

int GetListPath(const char* pszList, int iIndex, char* pszBuf, int cbBuf);
// The path list ends with an empty string (two NULs in a row).
void AddPathsToSendList(const char* pszList);
// A program command line: one path as it stands, or several paths each in double quotes.
void AddCommandLineToSendList(const char* pszCmdLine);
void AddDroppedFilesToSendList(HWND hwndMain, HDROP hDrop);
void AddSelectedToSendList();
void RemoveSelectedFromSendList();
// The summary line above the Send List: its count of files and their size.
void UpdateSendListStatus();
