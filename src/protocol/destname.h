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
