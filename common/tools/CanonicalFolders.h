// The canonical forms of folders, worked out once per removal pass.
#pragma once

#include "framework/WinString.h"

#include <map>
#include <string>

// CanonicalPath for many paths in a few folders, as one pass over a list of files
// asks it. The system gives the long form one component at a time, a directory
// search each, so that a path four folders deep costs four searches; here each
// folder's canonical form is asked once, and a path then costs at most the search
// of its last name. Folders are remembered for the life of the object: it serves
// one pass, during which the folders on the way are not renamed.
class CCanonicalFolders
{
public:
    // What CanonicalPath gives for the path.
    CString Canonical(const CString& path);

private:
    std::map<std::wstring, CString> m_folders;
};
