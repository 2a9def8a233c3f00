// The on-disk layout of a compound file.
#pragma once

#include <windows.h>

#include <cstring>

namespace Common {
namespace OLETools {
namespace Cfb {

// The layout of the published Compound File Binary format, as far as this code
// reads the bytes itself.
const size_t kHeaderSize = 512;
const BYTE kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
const DWORD kHeaderFatEntries = 109;
const DWORD kMaxRegularSector = 0xFFFFFFF9;
const DWORD kEndOfChain = 0xFFFFFFFE;
const DWORD kNoStream = 0xFFFFFFFF;
const DWORD kMiniSectorSize = 64;
const DWORD kMiniStreamCutoff = 4096;

// Directory entries: 128 bytes each.
const size_t kEntrySize = 128;
const size_t kEntryNameLength = 0x40;
const size_t kEntryType = 0x42;
const size_t kEntryLeft = 0x44;
const size_t kEntryRight = 0x48;
const size_t kEntryChild = 0x4C;
const size_t kEntryStateBits = 0x60;
const size_t kEntryStart = 0x74;
const size_t kEntrySize64 = 0x78;

enum EEntryType : BYTE
{
    EntryStorage = 1,
    EntryStream = 2,
    EntryRoot = 5,
};

// Little-endian fields.
inline WORD Word(const BYTE* p)
{
    return static_cast<WORD>(p[0] | (p[1] << 8));
}

inline DWORD Dword(const BYTE* p)
{
    return static_cast<DWORD>(p[0]) | (static_cast<DWORD>(p[1]) << 8) | (static_cast<DWORD>(p[2]) << 16) |
           (static_cast<DWORD>(p[3]) << 24);
}

// A header this code can follow: signature, byte order, and a version with its
// sector size (3 with 512 bytes, 4 with 4096). Gives the sector shift.
inline bool IsKnownHeader(const BYTE* header, WORD& sectorShift)
{
    if (std::memcmp(header, kSignature, sizeof(kSignature)) != 0 || Word(header + 0x1C) != 0xFFFE)
        return false;
    const WORD major = Word(header + 0x1A);
    sectorShift = Word(header + 0x1E);
    return (major == 3 && sectorShift == 9) || (major == 4 && sectorShift == 12);
}

} // namespace Cfb
} // namespace OLETools
} // namespace Common
