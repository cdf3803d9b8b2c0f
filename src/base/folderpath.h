// Whether a path names an existing folder in full, as a destination must.
#pragma once

// 1 when pszPath is absolute, a drive letter, a colon and a backslash (C:\ or C:\Files) or a
// UNC name of at least a server and a share (\\server\share), and names a folder that exists
// now; 0 for anything else: the drives level (the empty path), a relative name, a drive-
// relative one (C:Files), one rooted on the current drive (\Files), a folder that is missing,
// or a file.
int IsExistingFullFolder(const char* pszPath);
// 1 when pszPath has the form of a full path as above, whether or not anything is there.
int IsFullPathForm(const char* pszPath);
