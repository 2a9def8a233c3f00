// Tests of the RC4 cipher.
#include "common/storage/RC4.h"
#include "common/storage/Storage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using Common::Storage::RC4Transform;

namespace {

typedef std::vector<BYTE> Bytes;

Bytes Transform(const std::string& key, const Bytes& input)
{
    Bytes output(input.size(), 0xEE);
    RC4Transform(reinterpret_cast<const BYTE*>(key.data()), static_cast<DWORD>(key.size()), input.data(),
                 static_cast<DWORD>(input.size()), output.data(), static_cast<DWORD>(output.size()));
    return output;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

struct SVector
{
    const char* key;
    const char* plain;
    Bytes cipher;
};

// Published RC4 test vectors.
TEST(RC4, MatchesPublishedVectors)
{
    const SVector vectors[] = {
        {"Key", "Plaintext", {0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF, 0x0A, 0xD3}},
        {"Wiki", "pedia", {0x10, 0x21, 0xBF, 0x04, 0x20}},
        {"Secret", "Attack at dawn", {0x45, 0xA0, 0x1F, 0x64, 0x5F, 0xC3, 0x5B, 0x38, 0x35, 0x52, 0x54, 0x4B, 0x9B, 0xF5}},
    };
    for (const SVector& vector : vectors) {
        EXPECT_EQ(vector.cipher, Transform(vector.key, Text(vector.plain))) << vector.key;
        EXPECT_EQ(Text(vector.plain), Transform(vector.key, vector.cipher)) << vector.key;
    }
}

TEST(RC4, EveryCallStartsAFreshKeystream)
{
    const Bytes plain = Text("Plaintext");
    EXPECT_EQ(Transform("Key", plain), Transform("Key", plain));
}

// The keystream one generator gives from a fresh key schedule, byte by byte.
Bytes Generated(const std::string& key, const Bytes& input)
{
    Common::Storage::SRC4State state;
    Common::Storage::RC4Init(state, reinterpret_cast<const BYTE*>(key.data()), static_cast<DWORD>(key.size()));
    Bytes output(input.size());
    Common::Storage::RC4Crypt(state, input.data(), output.data(), static_cast<DWORD>(input.size()));
    return output;
}

Bytes Counting(size_t size)
{
    Bytes bytes(size);
    for (size_t n = 0; n < size; ++n)
        bytes[n] = static_cast<BYTE>(n * 7 + n / 251);
    return bytes;
}

// Lengths on both sides of the keystream kept between calls, in an order that
// makes it grow, keys that take turns, and the buffer as its own output.
TEST(RC4, LongAndShortStreamsMatchTheGeneratorWhateverCameBefore)
{
    struct SCase
    {
        const char* key;
        size_t length;
    };
    const SCase cases[] = {
        {"Key", 1},          {"Key", 7},           {"Key", 8},           {"Key", 9},
        {"Key", 65535},      {"Wiki", 65536},      {"Key", 65537},       {"Key", 300000},
        {"Secret", 4194303}, {"Secret", 4194304},  {"Secret", 4194305},  {"Secret", 5000001},
        {"Key", 5000001},    {"Key", 131073},      {"Key", 3},           {"Secret", 3},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(std::string(c.key) + " " + std::to_string(c.length));
        const Bytes plain = Counting(c.length);
        const Bytes expected = Generated(c.key, plain);
        EXPECT_TRUE(Transform(c.key, plain) == expected);
        Bytes inPlace = plain;
        RC4Transform(reinterpret_cast<const BYTE*>(c.key), static_cast<DWORD>(std::strlen(c.key)), inPlace.data(),
                     static_cast<DWORD>(inPlace.size()), inPlace.data(), static_cast<DWORD>(inPlace.size()));
        EXPECT_TRUE(inPlace == expected);
    }
}

TEST(RC4, DoesNothingWithoutAMatchingOutput)
{
    const std::string key = "Key";
    const Bytes plain = Text("Plaintext");
    Bytes shorter(plain.size() - 1, 0xEE);
    RC4Transform(reinterpret_cast<const BYTE*>(key.data()), 3, plain.data(), static_cast<DWORD>(plain.size()),
                 shorter.data(), static_cast<DWORD>(shorter.size()));
    EXPECT_EQ(Bytes(plain.size() - 1, 0xEE), shorter);
    RC4Transform(reinterpret_cast<const BYTE*>(key.data()), 3, plain.data(), 0, shorter.data(), 0);
    RC4Transform(reinterpret_cast<const BYTE*>(key.data()), 3, plain.data(), 9, nullptr, 9);
    EXPECT_EQ(Bytes(plain.size() - 1, 0xEE), shorter);
}

TEST(TransformBytes, AlwaysGivesTheInputLength)
{
    const std::string key = "Key";
    const BYTE* keyBytes = reinterpret_cast<const BYTE*>(key.data());
    const Bytes plain = Text("Plaintext");
    const DWORD length = static_cast<DWORD>(plain.size());
    using Common::Storage::CStorage;

    EXPECT_EQ(length, CStorage::TransformBytes(keyBytes, 3, plain.data(), length, nullptr, 0));

    Bytes roomy(length + 4, 0xEE);
    EXPECT_EQ(length, CStorage::TransformBytes(keyBytes, 3, plain.data(), length, roomy.data(), length + 4));
    EXPECT_EQ(Transform("Key", plain), Bytes(roomy.begin(), roomy.begin() + length));

    Bytes small(length - 1, 0xEE);
    EXPECT_EQ(length, CStorage::TransformBytes(keyBytes, 3, plain.data(), length, small.data(), length - 1));
    EXPECT_EQ(Bytes(length - 1, 0xEE), small);

    Bytes untouched(length, 0xEE);
    EXPECT_EQ(length, CStorage::TransformBytes(nullptr, 3, plain.data(), length, untouched.data(), length));
    EXPECT_EQ(Bytes(length, 0xEE), untouched);
}

} // namespace
