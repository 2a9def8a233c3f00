// The RC4 stream cipher of the package's streams.
#include "common/storage/RC4.h"

#include <utility>

namespace Common {
namespace Storage {

void RC4Init(SRC4State& state, const BYTE* key, DWORD keyLength)
{
    for (int n = 0; n < 256; ++n)
        state.s[n] = static_cast<BYTE>(n);
    state.i = 0;
    state.j = 0;
    if (key == nullptr || keyLength == 0)
        return;
    BYTE j = 0;
    for (int n = 0; n < 256; ++n) {
        j = static_cast<BYTE>(j + state.s[n] + key[n % keyLength]);
        std::swap(state.s[n], state.s[j]);
    }
}

void RC4Crypt(SRC4State& state, const BYTE* input, BYTE* output, DWORD length)
{
    BYTE i = state.i;
    BYTE j = state.j;
    for (DWORD n = 0; n < length; ++n) {
        i = static_cast<BYTE>(i + 1);
        j = static_cast<BYTE>(j + state.s[i]);
        std::swap(state.s[i], state.s[j]);
        output[n] = input[n] ^ state.s[static_cast<BYTE>(state.s[i] + state.s[j])];
    }
    state.i = i;
    state.j = j;
}

void RC4Transform(const BYTE* key, DWORD keyLength, const BYTE* input, DWORD inputLength, BYTE* output,
                  DWORD outputLength)
{
    if (output == nullptr || outputLength == 0 || inputLength != outputLength)
        return;
    SRC4State state;
    RC4Init(state, key, keyLength);
    RC4Crypt(state, input, output, inputLength);
}

} // namespace Storage
} // namespace Common
