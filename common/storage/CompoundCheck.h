// Checks a compound file's structure before it is opened.
#pragma once

#include "common/storage/ImageReader.h"

#include <windows.h>

#include <string>
#include <vector>

namespace Common {
namespace OLETools {

// Checks, per the published Compound File Binary format, everything a reader of
// the file follows: the header, the FAT and its sector list, the directory and the
// mini stream chains, the directory tree and the chain of every stream. Each must
// stay inside the file and never loop. Structured-storage implementations trust
// these links (Wine's loops forever on a directory chain that leaves the file), so
// a package is checked before the platform opens it. False, with the problem in
// words, for a damaged file.
// When the file is sound and a layout is given, it receives the tables the check
// read, so that a reader of the file need not read them again.
struct SCompoundLayout
{
    DWORD shift = 9;          // sector size as a power of two
    bool version4 = false;    // stream sizes are 64 bits wide
    std::vector<DWORD> fat;   // the next sector of each sector
    DWORD fatSectors = 0;     // sectors the FAT may name (those inside the file)
    std::vector<DWORD> miniFat;
    DWORD miniSectors = 0;    // mini sectors the mini stream's chain holds
    std::vector<DWORD> miniStream; // the sectors of the mini stream, in order
    std::vector<BYTE> directory;   // every directory entry, 128 bytes each
};

bool CheckCompoundImage(CImageReader& image, std::wstring& problem, SCompoundLayout* layout = nullptr);

} // namespace OLETools
} // namespace Common
