// Checks a compound file's structure before it is opened.
#pragma once

#include "common/storage/ImageReader.h"

#include <string>

namespace Common {
namespace OLETools {

// Checks, per the published Compound File Binary format, everything a reader of
// the file follows: the header, the FAT and its sector list, the directory and the
// mini stream chains, the directory tree and the chain of every stream. Each must
// stay inside the file and never loop. Structured-storage implementations trust
// these links (Wine's loops forever on a directory chain that leaves the file), so
// a package is checked before the platform opens it. False, with the problem in
// words, for a damaged file.
bool CheckCompoundImage(CImageReader& image, std::wstring& problem);

} // namespace OLETools
} // namespace Common
