// Tests of the RC4 cipher.
#include "common/storage/RC4.h"
#include "common/storage/Storage.h"

#include <gtest/gtest.h>

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
