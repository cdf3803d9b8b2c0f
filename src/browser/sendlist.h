// The Send List: the batch of files the next send transfers, and the ways files enter and
// leave it.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

enum { MAX_SEND_FILES = 100 };

// Longest path a row may carry: the system's longest path. Its batch record carries only what
// fits of it (the file name always), and the sender opens the file by the row's whole path.
enum { SENDLIST_PATH_BYTES = MAX_PATH - 1 };

int GetListPath(const char* pszList, int iIndex, char* pszBuf, int cbBuf);
// The path list ends with an empty string (two NULs in a row).
void AddPathsToSendList(const char* pszList);
// The paths a program command line names, split by the system's rules for a command line
// (spaces between, double quotes around a path with spaces, backslashes before a quote) and
// each made absolute against the current folder.
std::vector<std::string> CommandLinePaths(const char* pszCmdLine);
// The same paths as a command line of absolute paths, each in double quotes: what a second
// start hands to the running copy, whose current folder may not be its own. Empty when the
// command line names nothing.
std::string AbsoluteCommandLine(const char* pszCmdLine);
// Adds the files a command line names; a path that names no file that can be read is
// reported, and so is one that is too long.
void AddCommandLineToSendList(const char* pszCmdLine);
void AddDroppedFilesToSendList(HWND hwndMain, HDROP hDrop);
void AddSelectedToSendList();
void RemoveSelectedFromSendList();
// The summary line above the Send List: its count of files and their size.
void UpdateSendListStatus();
