// The safety check on a name a peer asks us to create in the destination folder.
#pragma once

#include <cstddef>

struct XFERFILE;

// Nonzero when pszName (a file-name part) can only be a plain file directly inside the
// destination folder: not empty, not "." or "..", no separator, stream, wildcard or control
// character, no trailing dot or space, and no device name.
int IsPlainFileName(const char* pszName);

// Builds the destination path of a batch record in pszPath (cbPath bytes) and its name in
// pszName (128 bytes); 1 when the record's name passes IsPlainFileName and the whole path
// fits, 0 otherwise (the outputs are then not to be used).
int DestPathOfRecord(const XFERFILE* pRec, const char* pszDestDir, char* pszPath,
                     size_t cbPath, char* pszName);

// 1 when the file system takes the two names for one name: letters compared without case,
// trailing dots and spaces ignored.
int SameFileName(const char* pszA, const char* pszB);

// pszName itself for n = 1, else with " (n)" before its extension ("x (2).txt", "notes (3)"),
// into pszOut (cbOut bytes); 0 when it does not fit.
int NumberedFileName(const char* pszName, int n, char* pszOut, size_t cbOut);

// The name a record of a received batch is stored under, and whether a file of that name was
// in the destination folder when the batch was taken.
struct DestName {
    char szName[128 + 16];    // empty: the record's name is refused
    int bExisted;
};

// The names of a batch's nRecs records, in order: each record's own name, unless an earlier
// record of the batch has that name already; that record then takes the first "name (n).ext"
// that no earlier record has and no file in pszDestDir has, so that two files of one batch
// never land on one name.
void AssignDestNames(const XFERFILE* pRecs, int nRecs, const char* pszDestDir, DestName* pNames);
