// Access lists of the files and folders setup installs.
#pragma once

// Replaces the access list of the file or folder by one entry: Everyone with full
// access, inherited by subfolders and files.
bool GrantEveryoneAccess(const wchar_t* path);
