// The RC4 stream cipher of the package's streams.
#pragma once

#include <windows.h>

namespace Common {
namespace Storage {

// The RC4 state: two indices and the 256-entry permutation.
struct SRC4State
{
    BYTE i;
    BYTE j;
    BYTE s[256];
};

// The standard key schedule over all key bytes.
void RC4Init(SRC4State& state, const BYTE* key, DWORD keyLength);

// XORs 'length' bytes with the keystream, continuing from the state.
void RC4Crypt(SRC4State& state, const BYTE* input, BYTE* output, DWORD length);

// Enciphers (or deciphers) a whole buffer from the start of the keystream. Does
// nothing unless there is an output of exactly the input's non-zero length.
void RC4Transform(const BYTE* key, DWORD keyLength, const BYTE* input, DWORD inputLength, BYTE* output,
                  DWORD outputLength);

} // namespace Storage
} // namespace Common
