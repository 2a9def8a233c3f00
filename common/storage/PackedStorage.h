// zlib-packed streams of the package and their trailer.
#pragma once

#include "common/storage/Storage.h"

namespace Common {
namespace Storage {

// The trailer that ends a packed stream: three little-endian words after the
// zlib data, the magic, the unpacked size and the Adler-32 of every byte before
// the checksum.
const DWORD kPackedMagic = 0x55AAAA55;
const DWORD kPackedTrailerSize = 12;

// A package storage whose streams may be packed: OpenStream gives them inflated.
class CPackedStorage : public CStorage
{
public:
    // Raises _com_error: E_POINTER for a missing stream, E_FAIL for packed data
    // that does not inflate to its stated size. A stream without a valid trailer
    // is given as stored.
    IStreamPtr OpenStream(const std::wstring& name) override;
    // OpenStream for a reader on another thread (see CStorage::OpenStreamAhead):
    // the stream as OpenStream would give it, or null when it cannot be read so,
    // is stored or unpacked in more than 'limit' bytes, or fails in any way.
    IStreamPtr OpenStreamAhead(const std::wstring& name, DWORD limit);

private:
    // The stream unpacked when its trailer is valid, else as stored; null when
    // it unpacks to more than 'limit' bytes.
    static IStreamPtr Unpack(IStream* stored, DWORD limit);
};

} // namespace Storage
} // namespace Common
