// zlib-packed streams of the package and their trailer.
#include "common/storage/PackedStorage.h"

#include "common/storage/StreamEx.h"
#include "common/tools/ComError.h"

#include <zlib.h>

#include <cstring>
#include <new>

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

// Inflates the zlib stream at the start of 'source' into the whole of 'target'
// and gives the bytes it made. Everything must come out in this one call: zlib
// then keeps no window of what it wrote.
DWORD Inflate(const BYTE* source, DWORD sourceSize, BYTE* target, DWORD targetSize)
{
    z_stream stream = {};
    if (inflateInit(&stream) != Z_OK)
        ThrowComError(E_FAIL);
    stream.next_in = const_cast<Bytef*>(source);
    stream.avail_in = sourceSize;
    stream.next_out = target;
    stream.avail_out = targetSize;
    const int result = inflate(&stream, Z_FINISH);
    const DWORD length = targetSize - stream.avail_out;
    inflateEnd(&stream);
    // Anything short of the stream's end, its check included, is damage.
    if (result != Z_STREAM_END)
        ThrowComError(E_FAIL);
    return length;
}

IStreamPtr EmptyStream()
{
    CStreamEx empty;
    return IStreamPtr(empty.Stream());
}

} // namespace

IStreamPtr CPackedStorage::OpenStream(const std::wstring& name)
{
    return Unpack(CStorage::OpenStream(name), MAXDWORD);
}

IStreamPtr CPackedStorage::OpenStreamAhead(const std::wstring& name, DWORD limit)
{
    // The one place where a failed read ahead becomes "not read ahead".
    try {
        const IStreamPtr stored = CStorage::OpenStreamAhead(name, limit);
        return stored ? Unpack(stored, limit) : IStreamPtr();
    } catch (const _com_error&) {
        return IStreamPtr();
    } catch (const std::bad_alloc&) {
        return IStreamPtr();
    }
}

IStreamPtr CPackedStorage::Unpack(IStream* stored, DWORD limit)
{
    CStreamEx source(stored);
    const DWORD size = source.GetSize();
    if (size > kPackedTrailerSize) {
        const BYTE* data = source.Lock();
        const BYTE* trailer = data + size - kPackedTrailerSize;
        const DWORD unpackedSize = Word(trailer + 4);
        if (Word(trailer) == kPackedMagic && adler32(1, data, size - 4) == Word(trailer + 8)) {
            if (unpackedSize > limit)
                return IStreamPtr();
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
            const DWORD length = Inflate(data, size, target, unpackedSize);
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
