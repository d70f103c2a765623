// The crypto facility on OpenSSL 3 libcrypto (its EVP interface). Every
// failure clears the library's error queue, so that failures on a
// long-lived thread do not pile up there.
#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/rsa.h>

#include <cstring>

#include "platform/crypto.h"
#include "platform/ed25519.h"

namespace gantrell::crypto {

namespace {

struct PkeyFree {
  void operator()(EVP_PKEY* key) const noexcept { EVP_PKEY_free(key); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

struct PkeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const noexcept { EVP_PKEY_CTX_free(context); }
};
using PkeyContextPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree>;

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

const EVP_MD* Algorithm(HashKind kind) {
  switch (kind) {
    case HashKind::kSha1:
      return EVP_sha1();
    case HashKind::kSha256:
      return EVP_sha256();
    case HashKind::kSha512:
      return EVP_sha512();
  }
  return nullptr;
}

bool Fail() {
  ERR_clear_error();
  return false;
}

// An RSA key parameter as a big-endian magnitude; empty on failure.
ByteVector RsaParameter(const EVP_PKEY* key, const char* name) {
  BIGNUM* value = nullptr;
  ByteVector bytes;
  if (EVP_PKEY_get_bn_param(key, name, &value) == 1 && value != nullptr) {
    bytes.resize(static_cast<std::size_t>(BN_num_bytes(value)));
    BN_bn2bin(value, bytes.data());
  }
  BN_clear_free(value);
  return bytes;
}

bool SetRsaPadding(EVP_PKEY_CTX* context) {
  return EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
         EVP_PKEY_CTX_set_signature_md(context, EVP_sha1()) == 1;
}

}  // namespace

struct Hash::State {
  MdContextPtr context;
};

Hash::Hash(HashKind kind) : m_kind(kind), m_pState(std::make_unique<State>()) {
  m_pState->context.reset(EVP_MD_CTX_new());
  if (m_pState->context == nullptr ||
      EVP_DigestInit_ex(m_pState->context.get(), Algorithm(kind), nullptr) != 1) {
    Fail();
    m_bFailed = true;
  }
}

Hash::~Hash() = default;

bool Hash::Add(const void* bytes, std::size_t count) {
  if (m_bFailed)
    return false;
  if (count == 0)
    return true;
  if (bytes == nullptr || EVP_DigestUpdate(m_pState->context.get(), bytes, count) != 1) {
    Fail();
    m_bFailed = true;
  }
  return !m_bFailed;
}

bool Hash::Finish(std::uint8_t* out) {
  if (m_bFailed)
    return false;
  // Used up whatever the outcome.
  m_bFailed = true;
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(m_pState->context.get(), out, &length) != 1)
    return Fail();
  return length == HashLength(m_kind);
}

bool RandomBytes(void* out, std::size_t count) {
  if (count > static_cast<std::size_t>(INT32_MAX))
    return false;
  return RAND_bytes(static_cast<unsigned char*>(out), static_cast<int>(count)) == 1 || Fail();
}

// ---------------------------------------------------------------------------

struct RsaPublicKey::Handle {
  PkeyPtr key;
};

RsaPublicKey::RsaPublicKey(std::unique_ptr<Handle> handle, int bits)
    : m_pHandle(std::move(handle)), m_bits(bits) {}
RsaPublicKey::~RsaPublicKey() = default;

std::unique_ptr<RsaPublicKey> RsaPublicKey::FromDer(std::span<const std::uint8_t> der) {
  RsaPublicNumbers numbers;
  if (!ParseRsaPublicKey(der, &numbers))
    return nullptr;
  // The DER is exactly what was checked above: a strict parse leaves no
  // other reading of it.
  const unsigned char* in = der.data();
  auto handle = std::make_unique<Handle>();
  handle->key.reset(d2i_PublicKey(EVP_PKEY_RSA, nullptr, &in, static_cast<long>(der.size())));
  if (handle->key == nullptr) {
    Fail();
    return nullptr;
  }
  const int bits = EVP_PKEY_get_bits(handle->key.get());
  return std::unique_ptr<RsaPublicKey>(new RsaPublicKey(std::move(handle), bits));
}

bool RsaPublicKey::VerifyPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length],
                                   std::span<const std::uint8_t> signature) const {
  if (signature.size() != static_cast<std::size_t>((m_bits + 7) / 8))
    return false;
  // Verifying the finished SHA-1 digest with the signature digest set to
  // SHA-1 checks the whole PKCS#1 v1.5 block, DigestInfo included.
  PkeyContextPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, m_pHandle->key.get(), nullptr));
  int result = 0;
  if (context != nullptr && EVP_PKEY_verify_init(context.get()) == 1 &&
      SetRsaPadding(context.get())) {
    result = EVP_PKEY_verify(context.get(), signature.data(), signature.size(), sha1, kSha1Length);
  }
  ERR_clear_error();
  return result == 1;
}

// ---------------------------------------------------------------------------

struct Ed25519PublicKey::Handle {
  PkeyPtr key;
};

Ed25519PublicKey::Ed25519PublicKey(std::unique_ptr<Handle> handle) : m_pHandle(std::move(handle)) {}
Ed25519PublicKey::~Ed25519PublicKey() = default;

std::unique_ptr<Ed25519PublicKey> Ed25519PublicKey::FromBytes(const Ed25519Key& key) {
  // OpenSSL takes any 32 bytes here; the point check makes both backends
  // refuse the same keys.
  std::uint8_t raw[kEd25519KeyLength];
  std::memcpy(raw, key.data(), sizeof raw);
  if (!ed25519::IsValidPublicKey(raw))
    return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->key.reset(EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, raw, sizeof raw));
  if (handle->key == nullptr) {
    Fail();
    return nullptr;
  }
  return std::unique_ptr<Ed25519PublicKey>(new Ed25519PublicKey(std::move(handle)));
}

bool Ed25519PublicKey::Verify(std::span<const std::uint8_t> message,
                              std::span<const std::uint8_t> signature) const {
  if (signature.size() != kEd25519SignatureLength)
    return false;
  static const std::uint8_t kNothing = 0;
  const std::uint8_t* bytes = message.empty() ? &kNothing : message.data();
  MdContextPtr context(EVP_MD_CTX_new());
  int result = 0;
  if (context != nullptr &&
      EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, m_pHandle->key.get()) == 1) {
    result = EVP_DigestVerify(context.get(), signature.data(), signature.size(), bytes,
                              message.size());
  }
  ERR_clear_error();
  return result == 1;
}

// ---------------------------------------------------------------------------

struct RsaPrivateKey::Handle {
  PkeyPtr key;
};

RsaPrivateKey::RsaPrivateKey(std::unique_ptr<Handle> handle, RsaPrivateNumbers numbers)
    : m_pHandle(std::move(handle)), m_numbers(std::move(numbers)) {}
RsaPrivateKey::~RsaPrivateKey() = default;

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::Generate(int bits) {
  if (bits < kMinRsaBits || bits > kMaxRsaBits)
    return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->key.reset(EVP_RSA_gen(static_cast<unsigned int>(bits)));
  if (handle->key == nullptr) {
    Fail();
    return nullptr;
  }
  const EVP_PKEY* key = handle->key.get();
  RsaPrivateNumbers numbers{RsaParameter(key, OSSL_PKEY_PARAM_RSA_N),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_E),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_D),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_FACTOR1),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_FACTOR2),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_EXPONENT1),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_EXPONENT2),
                            RsaParameter(key, OSSL_PKEY_PARAM_RSA_COEFFICIENT1)};
  ERR_clear_error();
  // Checked as a key file would be, so that what is made always reads back.
  RsaPrivateNumbers checked;
  if (!ParseRsaPrivateKey(EncodeRsaPrivateKey(numbers), &checked))
    return nullptr;
  return std::unique_ptr<RsaPrivateKey>(new RsaPrivateKey(std::move(handle), std::move(numbers)));
}

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::FromNumbers(const RsaPrivateNumbers& numbers) {
  const ByteVector der = EncodeRsaPrivateKey(numbers);
  const unsigned char* in = der.data();
  auto handle = std::make_unique<Handle>();
  handle->key.reset(d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &in, static_cast<long>(der.size())));
  if (handle->key == nullptr) {
    Fail();
    return nullptr;
  }
  return std::unique_ptr<RsaPrivateKey>(new RsaPrivateKey(std::move(handle), numbers));
}

ByteVector RsaPrivateKey::SignPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length]) const {
  PkeyContextPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, m_pHandle->key.get(), nullptr));
  std::size_t length = 0;
  if (context == nullptr || EVP_PKEY_sign_init(context.get()) != 1 ||
      !SetRsaPadding(context.get()) ||
      EVP_PKEY_sign(context.get(), nullptr, &length, sha1, kSha1Length) != 1) {
    Fail();
    return {};
  }
  ByteVector signature(length);
  if (EVP_PKEY_sign(context.get(), signature.data(), &length, sha1, kSha1Length) != 1) {
    Fail();
    return {};
  }
  signature.resize(length);
  return signature;
}

// ---------------------------------------------------------------------------

namespace {

PkeyPtr Ed25519PrivateKey(const Ed25519Key& seed) {
  PkeyPtr key(EVP_PKEY_new_raw_private_key(EVP_PKEY_ED25519, nullptr, seed.data(), seed.size()));
  if (key == nullptr)
    Fail();
  return key;
}

}  // namespace

bool Ed25519PublicFromSeed(const Ed25519Key& seed, Ed25519Key* public_key) {
  PkeyPtr key = Ed25519PrivateKey(seed);
  std::size_t length = public_key->size();
  if (key == nullptr ||
      EVP_PKEY_get_raw_public_key(key.get(), public_key->data(), &length) != 1 ||
      length != public_key->size())
    return Fail();
  return true;
}

bool Ed25519Sign(const Ed25519Key& seed, std::span<const std::uint8_t> message,
                 std::uint8_t (&signature)[kEd25519SignatureLength]) {
  PkeyPtr key = Ed25519PrivateKey(seed);
  MdContextPtr context(EVP_MD_CTX_new());
  std::size_t length = sizeof signature;
  static const std::uint8_t kNothing = 0;
  const std::uint8_t* bytes = message.empty() ? &kNothing : message.data();
  if (key == nullptr || context == nullptr ||
      EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), signature, &length, bytes, message.size()) != 1 ||
      length != sizeof signature)
    return Fail();
  return true;
}

}  // namespace gantrell::crypto
