// The root storage's state bits read from a compound file's bytes.
#include "common/storage/RootStateBits.h"

#include "common/storage/CompoundFormat.h"
#include "common/storage/ImageReader.h"
#include "common/tools/ScopedHandle.h"

#include <cstring>

namespace Common {
namespace OLETools {

namespace {

using namespace Cfb;

// Finds the field and checks that directory entry 0 is the root.
bool Locate(CImageReader& image, ULONGLONG& offset)
{
    BYTE header[kHeaderSize];
    BYTE type = 0;
    return image.IsOpen() && image.Read(0, header, sizeof(header)) &&
           LocateRootStateBits(header, sizeof(header), image.Size(), offset) &&
           image.Read(offset - (kEntryStateBits - kEntryType), &type, 1) && type == EntryRoot;
}

} // namespace

bool ReadRootStateBits(CImageReader& image, DWORD& bits)
{
    ULONGLONG offset = 0;
    BYTE field[4];
    if (!Locate(image, offset) || !image.Read(offset, field, sizeof(field)))
        return false;
    bits = Dword(field);
    return true;
}

bool LocateRootStateBits(const BYTE* header, size_t headerLength, ULONGLONG fileSize, ULONGLONG& offset)
{
    if (header == nullptr || headerLength < kHeaderSize || fileSize < kHeaderSize)
        return false;
    WORD sectorShift = 0;
    if (!IsKnownHeader(header, sectorShift))
        return false;
    const DWORD firstDirectorySector = Dword(header + 0x30);
    if (firstDirectorySector > kMaxRegularSector)
        return false;
    const ULONGLONG entry = (static_cast<ULONGLONG>(firstDirectorySector) + 1) << sectorShift;
    if (entry + kEntrySize > fileSize)
        return false;
    offset = entry + kEntryStateBits;
    return true;
}

bool ReadRootStateBits(const std::wstring& path, DWORD& bits)
{
    CFileImageReader image(path);
    return ReadRootStateBits(image, bits);
}

bool ReadRootStateBits(HGLOBAL block, DWORD& bits)
{
    CMemoryImageReader image(block);
    return ReadRootStateBits(image, bits);
}

bool WriteRootStateBits(const std::wstring& path, DWORD bits)
{
    ULONGLONG offset = 0;
    {
        CFileImageReader image(path);
        if (!Locate(image, offset))
            return false;
    }
    Tools::CScopedHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    const BYTE field[4] = {static_cast<BYTE>(bits), static_cast<BYTE>(bits >> 8), static_cast<BYTE>(bits >> 16),
                           static_cast<BYTE>(bits >> 24)};
    LARGE_INTEGER position;
    position.QuadPart = static_cast<LONGLONG>(offset);
    DWORD written = 0;
    return file.IsValid() && SetFilePointerEx(file.Get(), position, nullptr, FILE_BEGIN) &&
           WriteFile(file.Get(), field, sizeof(field), &written, nullptr) && written == sizeof(field);
}

} // namespace OLETools
} // namespace Common
