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
    // Whether a caller needs the long form of the names in a folder (given in its
    // canonical form), or may take them as spelled.
    using NamesMatter = bool (*)(const CString& folder);

    // What CanonicalPath gives for the path, except that in a folder where
    // 'namesMatter' says they do not (asked once per folder), the last name stays
    // as spelled: no search for it.
    CString Canonical(const CString& path, NamesMatter namesMatter = nullptr);

private:
    struct SFolder
    {
        CString canonical;
        // -1 until asked.
        int namesMatter = -1;
    };
    std::map<std::wstring, SFolder> m_folders;
};
