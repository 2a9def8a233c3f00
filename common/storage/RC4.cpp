// The RC4 stream cipher of the package's streams.
#include "common/storage/RC4.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace Common {
namespace Storage {

namespace {

// Every stream is enciphered from the start of one key's keystream, so the
// keystream's head is made once and each stream is then a plain XOR with it:
// the byte-by-byte generator runs only past the kept head.
const DWORD kKeptKeystream = 4 * 1024 * 1024;
const DWORD kFirstKeystream = 64 * 1024;

struct SKeystream
{
    std::string key;
    std::vector<BYTE> head;
    SRC4State after; // the generator where the head ends
};

SRWLOCK g_keystreamLock = SRWLOCK_INIT;
SKeystream g_keystream;

class CKeystreamLock
{
public:
    CKeystreamLock() { AcquireSRWLockExclusive(&g_keystreamLock); }
    ~CKeystreamLock() { ReleaseSRWLockExclusive(&g_keystreamLock); }
    CKeystreamLock(const CKeystreamLock&) = delete;
    CKeystreamLock& operator=(const CKeystreamLock&) = delete;
};

void XorBytes(const BYTE* input, const BYTE* stream, BYTE* output, DWORD length)
{
    DWORD n = 0;
    for (; n + 8 <= length; n += 8) {
        DWORD a[2];
        DWORD b[2];
        std::memcpy(a, input + n, 8);
        std::memcpy(b, stream + n, 8);
        a[0] ^= b[0];
        a[1] ^= b[1];
        std::memcpy(output + n, a, 8);
    }
    for (; n < length; ++n)
        output[n] = static_cast<BYTE>(input[n] ^ stream[n]);
}

// Makes the kept head at least 'length' bytes long (within its limit); short
// of memory it stays as it is and the generator does the rest.
void GrowHead(SKeystream& keystream, DWORD length)
{
    const DWORD have = static_cast<DWORD>(keystream.head.size());
    if (have >= length || have >= kKeptKeystream)
        return;
    const DWORD want = std::min(kKeptKeystream, std::max({length, have * 2, kFirstKeystream}));
    try {
        keystream.head.resize(want, 0);
    } catch (const std::bad_alloc&) {
        return;
    }
    BYTE* added = keystream.head.data() + have;
    // The keystream is what enciphering zeros gives.
    RC4Crypt(keystream.after, added, added, want - have);
}

} // namespace

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
    const CKeystreamLock lock;
    SKeystream& keystream = g_keystream;
    const DWORD usedKey = key != nullptr ? keyLength : 0;
    if (keystream.key.size() != usedKey || (usedKey != 0 && std::memcmp(keystream.key.data(), key, usedKey) != 0)) {
        keystream.head.clear();
        keystream.key.clear();
        if (usedKey != 0)
            keystream.key.assign(reinterpret_cast<const char*>(key), usedKey);
        RC4Init(keystream.after, key, keyLength);
    } else if (keystream.head.empty()) {
        RC4Init(keystream.after, key, keyLength);
    }
    GrowHead(keystream, inputLength);
    const DWORD kept = std::min(inputLength, static_cast<DWORD>(keystream.head.size()));
    XorBytes(input, keystream.head.data(), output, kept);
    if (kept < inputLength) {
        SRC4State state = keystream.after;
        RC4Crypt(state, input + kept, output + kept, inputLength - kept);
    }
}

} // namespace Storage
} // namespace Common
