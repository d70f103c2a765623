// The portable Ed25519 against the RFC 8032 test vectors, and its
// refusals: non-canonical S, non-canonical or invalid points, cut
// signatures. Runs on every system, whichever backend the crypto facility
// uses for Ed25519 there.
#include "platform/ed25519.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/crypto.h"

namespace gantrell::ed25519 {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes FromHex(std::string_view hex) {
  Bytes bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<std::uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  return bytes;
}

template <std::size_t N>
void Copy(const Bytes& from, std::uint8_t (&to)[N]) {
  ASSERT_EQ(from.size(), N);
  std::memcpy(to, from.data(), N);
}

struct Vector {
  const char* name;
  const char* seed;
  const char* public_key;
  const char* message;
  const char* signature;
};

// RFC 8032, section 7.1: TEST 1, 2, 3 and "SHA(abc)", whose message is the
// SHA-512 digest of "abc", the form every record signs.
const Vector kVectors[] = {
    {"TEST 1", "9d61b19deffd5a60ba844af492ec2cc44449c5697b326919703bac031cae7f60",
     "d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a", "",
     "e5564300c360ac729086e2cc806e828a84877f1eb8e5d974d873e06522490155"
     "5fb8821590a33bacc61e39701cf9b46bd25bf5f0595bbe24655141438e7a100b"},
    {"TEST 2", "4ccd089b28ff96da9db6c346ec114e0f5b8a319f35aba624da8cf6ed4fb8a6fb",
     "3d4017c3e843895a92b70aa74d1b7ebc9c982ccf2ec4968cc0cd55f12af4660c", "72",
     "92a009a9f0d4cab8720e820b5f642540a2b27b5416503f8fb3762223ebdb69da"
     "085ac1e43e15996e458f3613d0f11d8c387b2eaeb4302aeeb00d291612bb0c00"},
    {"TEST 3", "c5aa8df43f9f837bedb7442f31dcb7b166d38535076f094b85ce3a2e0b4458f7",
     "fc51cd8e6218a1a38da47ed00230f0580816ed13ba3303ac5deb911548908025", "af82",
     "6291d657deec24024827e69c3abe01a30ce548a284743a445e3680d7db5ac3ac"
     "18ff9b538d16f290ae67f760984dc6594a7c15e9716ed28dc027beceea1ec40a"},
    {"SHA(abc)", "833fe62409237b9d62ec77587520911e9a759cec1d19755b7da901b96dca3d42",
     "ec172b93ad5e563bf4932c70e1245034c35467ef2efd4d64ebf819683467e2bf",
     "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
     "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f",
     "dc2a4459e7369633a52b1bf277839a00201009a3efbf3ecb69bea2186c26b589"
     "09351fc9ac90b3ecfdfbc7c66431e0303dca179c138ac17ad9bef1177331a704"},
};

// The group order L, little-endian.
const char kOrder[] = "edd3f55c1a631258d69cf7a2def9de1400000000000000000000000000000010";

TEST(Ed25519Test, Rfc8032VectorsSignAndVerify) {
  for (const Vector& v : kVectors) {
    std::uint8_t seed[32], public_key[32], expected_public[32], signature[64], expected[64];
    Copy(FromHex(v.seed), seed);
    Copy(FromHex(v.public_key), expected_public);
    Copy(FromHex(v.signature), expected);
    const Bytes message = FromHex(v.message);
    ASSERT_TRUE(PublicKeyFromSeed(seed, public_key)) << v.name;
    EXPECT_EQ(Bytes(public_key, public_key + 32), Bytes(expected_public, expected_public + 32))
        << v.name;
    ASSERT_TRUE(Sign(seed, message, signature)) << v.name;
    EXPECT_EQ(Bytes(signature, signature + 64), Bytes(expected, expected + 64)) << v.name;
    EXPECT_TRUE(IsValidPublicKey(expected_public)) << v.name;
    EXPECT_TRUE(Verify(expected_public, message, expected)) << v.name;
    // The facility's Ed25519 (OpenSSL's or this one) agrees.
    crypto::Ed25519Key raw;
    std::memcpy(raw.data(), expected_public, 32);
    auto key = crypto::Ed25519PublicKey::FromBytes(raw);
    ASSERT_NE(key, nullptr) << v.name;
    EXPECT_TRUE(key->Verify(message, std::span<const std::uint8_t>(expected, 64))) << v.name;
  }
}

TEST(Ed25519Test, ChangedSignaturesKeysAndMessagesAreRefused) {
  const Vector& v = kVectors[3];
  std::uint8_t public_key[32], signature[64];
  Copy(FromHex(v.public_key), public_key);
  Copy(FromHex(v.signature), signature);
  const Bytes message = FromHex(v.message);
  for (int bit = 0; bit < 64 * 8; ++bit) {
    std::uint8_t changed[64];
    std::memcpy(changed, signature, 64);
    changed[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    EXPECT_FALSE(Verify(public_key, message, changed)) << "signature bit " << bit;
  }
  for (int bit = 0; bit < 32 * 8; bit += 7) {
    std::uint8_t changed[32];
    std::memcpy(changed, public_key, 32);
    changed[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    EXPECT_FALSE(Verify(changed, message, signature)) << "key bit " << bit;
  }
  for (std::size_t i = 0; i < message.size(); ++i) {
    Bytes changed = message;
    changed[i] ^= 0x80;
    EXPECT_FALSE(Verify(public_key, changed, signature)) << "message byte " << i;
  }
  Bytes longer = message;
  longer.push_back(0);
  EXPECT_FALSE(Verify(public_key, longer, signature));
}

// Adds L to the little-endian S half of a signature.
void AddOrder(std::uint8_t (&signature)[64]) {
  const Bytes order = FromHex(kOrder);
  unsigned carry = 0;
  for (int i = 0; i < 32; ++i) {
    const unsigned sum = signature[32 + i] + order[i] + carry;
    signature[32 + i] = static_cast<std::uint8_t>(sum);
    carry = sum >> 8;
  }
}

TEST(Ed25519Test, NonCanonicalScalarsAreRefused) {
  for (const Vector& v : kVectors) {
    std::uint8_t public_key[32], signature[64];
    Copy(FromHex(v.public_key), public_key);
    Copy(FromHex(v.signature), signature);
    const Bytes message = FromHex(v.message);
    // S + L satisfies the group equation as S does, and must still fail.
    std::uint8_t plus_order[64];
    std::memcpy(plus_order, signature, 64);
    AddOrder(plus_order);
    EXPECT_FALSE(Verify(public_key, message, plus_order)) << v.name;
    // S = L exactly, and S with the top bits set.
    std::uint8_t at_order[64];
    std::memcpy(at_order, signature, 32);
    Copy(FromHex(kOrder), reinterpret_cast<std::uint8_t(&)[32]>(at_order[32]));
    EXPECT_FALSE(Verify(public_key, message, at_order)) << v.name;
    std::uint8_t high[64];
    std::memcpy(high, signature, 64);
    high[63] |= 0xe0;
    EXPECT_FALSE(Verify(public_key, message, high)) << v.name;
  }
}

TEST(Ed25519Test, PointEncodingsThatAreNotCanonicalOrNotOnTheCurve) {
  struct Case {
    const char* name;
    const char* encoding;
    bool valid;
  } cases[] = {
      {"base point", "5866666666666666666666666666666666666666666666666666666666666666", true},
      {"identity (y = 1)", "0100000000000000000000000000000000000000000000000000000000000000", true},
      {"y = 1 with the sign of x set: x = 0 has no negative",
       "0100000000000000000000000000000000000000000000000000000000000080", false},
      {"y = p - 1 (order 2), x = 0",
       "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", true},
      {"y = p - 1 with the sign set",
       "ecffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff", false},
      {"y = 0 (order 4)", "0000000000000000000000000000000000000000000000000000000000000000", true},
      {"y = p, the non-canonical 0", "edffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f",
       false},
      {"y = p + 1, the non-canonical identity",
       "eeffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false},
      {"y = 2^255 - 1", "ffffffffffffffffffffffffffffffffffffffffffffffffffffffffffffff7f", false},
      {"y = 2, no x on the curve", "0200000000000000000000000000000000000000000000000000000000000000",
       false},
      {"y = 7, no x on the curve", "0700000000000000000000000000000000000000000000000000000000000000",
       false},
      {"y = 3", "0300000000000000000000000000000000000000000000000000000000000000", true},
  };
  for (const Case& c : cases) {
    std::uint8_t point[32];
    Copy(FromHex(c.encoding), point);
    EXPECT_EQ(IsValidPublicKey(point), c.valid) << c.name;
  }
  // A signature whose R is not a canonical point fails before anything is
  // computed with it, as does one under a key that is none.
  const Vector& v = kVectors[1];
  std::uint8_t public_key[32], signature[64];
  Copy(FromHex(v.public_key), public_key);
  Copy(FromHex(v.signature), signature);
  const Bytes message = FromHex(v.message);
  for (const Case& c : cases) {
    if (c.valid)
      continue;
    std::uint8_t bad_r[64], bad_key[32];
    std::memcpy(bad_r, signature, 64);
    Copy(FromHex(c.encoding), bad_key);
    std::memcpy(bad_r, bad_key, 32);
    EXPECT_FALSE(Verify(public_key, message, bad_r)) << "R: " << c.name;
    EXPECT_FALSE(Verify(bad_key, message, signature)) << "key: " << c.name;
  }
}

TEST(Ed25519Test, FreshKeysSignWhatTheyVerifyAndNothingElse) {
  std::uint8_t seed[32], other_seed[32], public_key[32], other_public[32];
  ASSERT_TRUE(GenerateSeed(seed));
  ASSERT_TRUE(GenerateSeed(other_seed));
  EXPECT_NE(Bytes(seed, seed + 32), Bytes(other_seed, other_seed + 32));
  ASSERT_TRUE(PublicKeyFromSeed(seed, public_key));
  ASSERT_TRUE(PublicKeyFromSeed(other_seed, other_public));
  for (std::size_t length : {0u, 1u, 63u, 64u, 65u, 1000u}) {
    Bytes message(length);
    for (std::size_t i = 0; i < length; ++i)
      message[i] = static_cast<std::uint8_t>(i * 31 + length);
    std::uint8_t signature[64], again[64];
    ASSERT_TRUE(Sign(seed, message, signature));
    ASSERT_TRUE(Sign(seed, message, again));
    EXPECT_EQ(Bytes(signature, signature + 64), Bytes(again, again + 64)) << length;
    EXPECT_TRUE(Verify(public_key, message, signature)) << length;
    EXPECT_FALSE(Verify(other_public, message, signature)) << length;
  }
}

}  // namespace
}  // namespace gantrell::ed25519
