// zlib-packed streams of the package and their trailer.
#include "common/storage/PackedStorage.h"

#include "common/storage/StreamEx.h"
#include "common/tools/ComError.h"

#include <zlib.h>

#include <cstring>

namespace Common {
namespace Storage {

using Tools::ThrowComError;
using Tools::ThrowIfFailed;

namespace {

DWORD Word(const BYTE* p)
{
    DWORD value;
    std::memcpy(&value, p, sizeof(value));
    return value;
}

IStreamPtr EmptyStream()
{
    CStreamEx empty;
    return IStreamPtr(empty.Stream());
}

} // namespace

IStreamPtr CPackedStorage::OpenStream(const std::wstring& name)
{
    CStreamEx source(CStorage::OpenStream(name));
    const DWORD size = source.GetSize();
    if (size > kPackedTrailerSize) {
        const BYTE* data = source.Lock();
        const BYTE* trailer = data + size - kPackedTrailerSize;
        const DWORD unpackedSize = Word(trailer + 4);
        if (Word(trailer) == kPackedMagic && adler32(1, data, size - 4) == Word(trailer + 8)) {
            if (unpackedSize == 0) {
                // An empty block cannot be locked: check that nothing comes out,
                // then give a fresh empty stream.
                Bytef probe[1];
                uLongf probeLength = sizeof(probe);
                if (uncompress(probe, &probeLength, data, size) != Z_OK || probeLength != 0)
                    ThrowComError(E_FAIL);
                return EmptyStream();
            }
            CStreamEx unpacked;
            unpacked.SetSize(unpackedSize);
            BYTE* target = unpacked.Lock();
            uLongf length = unpackedSize;
            if (uncompress(target, &length, data, size) != Z_OK)
                ThrowComError(E_FAIL);
            // Short data: no stale memory may reach an installed file.
            if (length < unpackedSize)
                std::memset(target + length, 0, unpackedSize - length);
            return IStreamPtr(unpacked.Stream());
        }
    }
    LARGE_INTEGER zero = {};
    ThrowIfFailed(source.Stream()->Seek(zero, STREAM_SEEK_SET, nullptr));
    return IStreamPtr(source.Stream());
}

} // namespace Storage
} // namespace Common
