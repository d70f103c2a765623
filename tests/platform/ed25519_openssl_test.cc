// The portable Ed25519 against OpenSSL's, both ways, with random keys and
// messages: public keys and signatures must agree byte for byte, and each
// side must accept what the other signs and refuse it changed. Linux only
// (it calls OpenSSL directly).
#include <gtest/gtest.h>
#include <openssl/err.h>
#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "platform/crypto.h"
#include "platform/ed25519.h"

namespace gantrell::ed25519 {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct PkeyFree {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
struct MdFree {
  void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;
using MdPtr = std::unique_ptr<EVP_MD_CTX, MdFree>;

const std::uint8_t kNothing = 0;
const std::uint8_t* Data(const Bytes& bytes) {
  return bytes.empty() ? &kNothing : bytes.data();
}

Bytes OpensslSign(const std::uint8_t (&seed)[32], const Bytes& message) {
  PkeyPtr key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32));
  MdPtr context(EVP_MD_CTX_new());
  Bytes signature(64);
  std::size_t length = signature.size();
  if (key == nullptr || context == nullptr ||
      EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), signature.data(), &length, Data(message), message.size()) != 1)
    return {};
  return signature;
}

bool OpensslVerify(const std::uint8_t (&public_key)[32], const Bytes& message,
                   const std::uint8_t (&signature)[64]) {
  PkeyPtr key(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, public_key, 32));
  MdPtr context(EVP_MD_CTX_new());
  const bool ok = key != nullptr && context != nullptr &&
                  EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) == 1 &&
                  EVP_DigestVerify(context.get(), signature, 64, Data(message), message.size()) == 1;
  ERR_clear_error();
  return ok;
}

Bytes OpensslPublic(const std::uint8_t (&seed)[32]) {
  PkeyPtr key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed, 32));
  Bytes public_key(32);
  std::size_t length = 32;
  if (key == nullptr || EVP_PKEY_get_raw_public_key(key.get(), public_key.data(), &length) != 1)
    return {};
  return public_key;
}

TEST(Ed25519OpensslTest, RandomKeysAndMessagesAgreeBothWays) {
  std::mt19937 lengths(12345);
  for (int round = 0; round < 60; ++round) {
    std::uint8_t seed[32], public_key[32];
    ASSERT_TRUE(GenerateSeed(seed));
    const std::size_t length = round < 4 ? static_cast<std::size_t>(round) : lengths() % 700;
    Bytes message(length);
    ASSERT_TRUE(crypto::RandomBytes(message.data(), message.size()));

    ASSERT_TRUE(PublicKeyFromSeed(seed, public_key)) << round;
    ASSERT_EQ(Bytes(public_key, public_key + 32), OpensslPublic(seed)) << "round " << round;

    std::uint8_t own[64];
    ASSERT_TRUE(Sign(seed, message, own));
    const Bytes theirs = OpensslSign(seed, message);
    ASSERT_EQ(Bytes(own, own + 64), theirs) << "round " << round << ", " << length << " bytes";
    std::uint8_t theirs_array[64];
    std::memcpy(theirs_array, theirs.data(), 64);
    EXPECT_TRUE(OpensslVerify(public_key, message, own)) << round;
    EXPECT_TRUE(Verify(public_key, message, theirs_array)) << round;

    // One random bit changed: both refuse it alike.
    std::uint8_t changed[64];
    std::memcpy(changed, own, 64);
    const unsigned bit = lengths() % 512;
    changed[bit / 8] ^= static_cast<std::uint8_t>(1 << (bit % 8));
    EXPECT_FALSE(Verify(public_key, message, changed)) << round << " bit " << bit;
    EXPECT_FALSE(OpensslVerify(public_key, message, changed)) << round << " bit " << bit;
    if (!message.empty()) {
      Bytes other = message;
      other[lengths() % other.size()] ^= 0x01;
      EXPECT_FALSE(Verify(public_key, other, own)) << round;
      EXPECT_FALSE(OpensslVerify(public_key, other, own)) << round;
    }
  }
}

TEST(Ed25519OpensslTest, RandomBytesAsSignaturesAndKeysVerifyNowhere) {
  // Random R and S: what both say must be the same (false, in practice),
  // and the portable side must not trip over invalid points.
  for (int round = 0; round < 40; ++round) {
    std::uint8_t public_key[32], signature[64];
    ASSERT_TRUE(crypto::RandomBytes(public_key, sizeof public_key));
    ASSERT_TRUE(crypto::RandomBytes(signature, sizeof signature));
    signature[63] &= 0x0f;  // S below 2^252, so only the points decide
    const Bytes message = {1, 2, 3};
    EXPECT_EQ(Verify(public_key, message, signature), OpensslVerify(public_key, message, signature))
        << round;
  }
}

}  // namespace
}  // namespace gantrell::ed25519
