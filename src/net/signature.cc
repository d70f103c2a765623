// Signature verification for providers, and key handling for publishing.
// This is the only file that uses the cryptographic library (OpenSSL 3
// libcrypto); everything else sees opaque handles.
//
// Every OpenSSL failure here ends in a plain false or an empty result, and
// the library's error queue is cleared so that failures on a long-lived
// thread do not pile up there.
#include "net/signature.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstring>

#include "model/provider.h"
#include "net/crypto_handles.h"
#include "net/sha256_digest.h"

namespace gantrell {

struct RsaPublicKey {
  explicit RsaPublicKey(EVP_PKEY* k) : key(k) {}
  ~RsaPublicKey() { EVP_PKEY_free(key); }
  RsaPublicKey(const RsaPublicKey&) = delete;
  RsaPublicKey& operator=(const RsaPublicKey&) = delete;
  EVP_PKEY* key;
};

struct Sha1Digest {
  explicit Sha1Digest(EVP_MD_CTX* c) : context(c) {}
  ~Sha1Digest() { EVP_MD_CTX_free(context); }
  Sha1Digest(const Sha1Digest&) = delete;
  Sha1Digest& operator=(const Sha1Digest&) = delete;
  EVP_MD_CTX* context;
};

struct RsaPrivateKey {
  explicit RsaPrivateKey(EVP_PKEY* k) : key(k) {}
  ~RsaPrivateKey() { EVP_PKEY_free(key); }
  RsaPrivateKey(const RsaPrivateKey&) = delete;
  RsaPrivateKey& operator=(const RsaPrivateKey&) = delete;
  EVP_PKEY* key;
};

void CryptoDeleter::operator()(RsaPublicKey* key) const noexcept {
  delete key;
}
void CryptoDeleter::operator()(Sha1Digest* digest) const noexcept {
  delete digest;
}
void PrivateKeyDeleter::operator()(RsaPrivateKey* key) const noexcept {
  delete key;
}

namespace {

bool StartsWith(const std::uint8_t* record, int length, std::string_view tag) {
  if (record == nullptr || length < static_cast<int>(tag.size()))
    return false;
  return std::memcmp(record, tag.data(), tag.size()) == 0;
}

struct PkeyContextFree {
  void operator()(EVP_PKEY_CTX* context) const noexcept { EVP_PKEY_CTX_free(context); }
};
using PkeyContextPtr = std::unique_ptr<EVP_PKEY_CTX, PkeyContextFree>;

struct MdContextFree {
  void operator()(EVP_MD_CTX* context) const noexcept { EVP_MD_CTX_free(context); }
};
using MdContextPtr = std::unique_ptr<EVP_MD_CTX, MdContextFree>;

struct BioFree {
  void operator()(BIO* bio) const noexcept { BIO_free(bio); }
};
using BioPtr = std::unique_ptr<BIO, BioFree>;

// Refuses to ask for a passphrase: the tool reads unencrypted keys only, and
// must never stop to prompt on a terminal.
int NoPassphrase(char* /*buffer*/, int /*size*/, int /*rwflag*/, void* /*user*/) {
  return -1;
}

}  // namespace

bool IsKeyRecord(const std::uint8_t* record, int length) {
  return StartsWith(record, length, kKeyRecordTag);
}

bool IsSignatureRecord(const std::uint8_t* record, int length) {
  return StartsWith(record, length, kSignatureTag);
}

// ---------------------------------------------------------------------------
// Verification: CProvider operations.

void CProvider::SetPublicKey(const std::uint8_t* record, int length) {
  if (!IsKeyRecord(record, length))
    return;
  m_pPublicKey.reset();
  const int der_length = length - kKeyRecordHeaderLength;
  if (der_length <= 0)
    return;
  const unsigned char* der = record + kKeyRecordHeaderLength;
  EVP_PKEY* key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &der, der_length);
  if (key == nullptr) {
    ERR_clear_error();
    return;
  }
  m_pPublicKey.reset(new RsaPublicKey(key));
}

void CProvider::BeginDigest() {
  m_pDigest.reset();
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr)
    return;
  auto digest = Sha1DigestPtr(new Sha1Digest(context));
  if (EVP_DigestInit_ex(context, EVP_sha1(), nullptr) != 1) {
    ERR_clear_error();
    return;
  }
  m_pDigest = std::move(digest);
}

void CProvider::AddToDigest(const std::uint8_t* bytes, int count) {
  if (m_pDigest == nullptr || bytes == nullptr || count <= 0)
    return;
  if (EVP_DigestUpdate(m_pDigest->context, bytes, static_cast<std::size_t>(count)) != 1) {
    // A digest that missed some bytes must not verify anything.
    ERR_clear_error();
    m_pDigest.reset();
  }
}

void CProvider::AddToDigest(std::string_view text) {
  if (text.empty())
    return;
  AddToDigest(reinterpret_cast<const std::uint8_t*>(text.data()), static_cast<int>(text.size()));
}

bool CProvider::VerifySignature(const std::uint8_t* record, int length) {
  if (!IsSignatureRecord(record, length) || m_pPublicKey == nullptr)
    return false;
  // From here on the digest is used up whatever the outcome, so that a stale
  // digest can never be checked against a second record by mistake.
  Sha1DigestPtr digest = std::move(m_pDigest);
  if (digest == nullptr)
    return false;
  const int signature_length = length - kSignatureHeaderLength;
  if (signature_length <= 0)
    return false;

  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int hash_length = 0;
  if (EVP_DigestFinal_ex(digest->context, hash, &hash_length) != 1) {
    ERR_clear_error();
    return false;
  }
  // Verifying the finished SHA-1 hash with the signature digest set to SHA-1
  // checks the whole PKCS#1 v1.5 block, DigestInfo included.
  PkeyContextPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, m_pPublicKey->key, nullptr));
  int result = 0;
  if (context != nullptr && EVP_PKEY_verify_init(context.get()) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
      EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha1()) == 1) {
    result = EVP_PKEY_verify(context.get(), record + kSignatureHeaderLength,
                             static_cast<std::size_t>(signature_length), hash, hash_length);
  }
  ERR_clear_error();
  return result == 1;
}

void CProvider::ReleaseCrypto() {
  m_pPublicKey.reset();
  m_pDigest.reset();
}

// ---------------------------------------------------------------------------
// Signing: used by the publishing tool only.

RsaPrivateKeyPtr GenerateRsaKey(int bits, std::string* error) {
  if (bits < 512 || bits > 16384) {
    if (error != nullptr)
      *error = "unsupported key size " + std::to_string(bits) + " bits";
    return nullptr;
  }
  EVP_PKEY* key = EVP_RSA_gen(static_cast<unsigned int>(bits));
  if (key == nullptr) {
    ERR_clear_error();
    if (error != nullptr)
      *error = "RSA key generation failed";
    return nullptr;
  }
  return RsaPrivateKeyPtr(new RsaPrivateKey(key));
}

std::string PrivateKeyToPem(const RsaPrivateKey& key) {
  BioPtr bio(BIO_new(BIO_s_mem()));
  if (bio == nullptr ||
      PEM_write_bio_PrivateKey(bio.get(), key.key, nullptr, nullptr, 0, nullptr, nullptr) != 1) {
    ERR_clear_error();
    return {};
  }
  char* data = nullptr;
  const long size = BIO_get_mem_data(bio.get(), &data);
  if (data == nullptr || size <= 0)
    return {};
  return std::string(data, static_cast<std::size_t>(size));
}

RsaPrivateKeyPtr PrivateKeyFromPem(std::string_view pem, std::string* error) {
  auto fail = [error](const char* message) {
    ERR_clear_error();
    if (error != nullptr)
      *error = message;
    return RsaPrivateKeyPtr();
  };
  if (pem.empty() || pem.size() > 1024 * 1024)
    return fail("not a PEM private key");
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (bio == nullptr)
    return fail("out of memory");
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr);
  if (key == nullptr)
    return fail("not an unencrypted PEM private key");
  RsaPrivateKeyPtr result(new RsaPrivateKey(key));
  // RSA-PSS keys are refused too: their signatures are not the PKCS#1 v1.5
  // form clients check.
  if (EVP_PKEY_get_base_id(key) != EVP_PKEY_RSA)
    return fail("not an RSA private key");
  return result;
}

int PrivateKeyBits(const RsaPrivateKey& key) {
  return EVP_PKEY_get_bits(key.key);
}

std::vector<std::uint8_t> MakeKeyRecord(const RsaPrivateKey& key) {
  // For an RSA key this is the PKCS#1 RSAPublicKey structure.
  const int der_length = i2d_PublicKey(key.key, nullptr);
  if (der_length <= 0) {
    ERR_clear_error();
    return {};
  }
  std::vector<std::uint8_t> record(kKeyRecordHeaderLength + static_cast<std::size_t>(der_length));
  std::memcpy(record.data(), kKeyRecordTag.data(), kKeyRecordTag.size());
  record[kKeyRecordTag.size()] = 0;
  unsigned char* out = record.data() + kKeyRecordHeaderLength;
  if (i2d_PublicKey(key.key, &out) != der_length) {
    ERR_clear_error();
    return {};
  }
  return record;
}

std::vector<std::uint8_t> MakeSignatureRecord(const RsaPrivateKey& key, char digit,
                                              const std::uint8_t* message, std::size_t length) {
  if (digit < '0' || digit > '9')
    return {};
  static const std::uint8_t kNothing = 0;
  if (message == nullptr) {
    message = &kNothing;
    length = 0;
  }
  MdContextPtr context(EVP_MD_CTX_new());
  EVP_PKEY_CTX* key_context = nullptr;  // owned by `context`
  std::size_t signature_length = 0;
  if (context == nullptr ||
      EVP_DigestSignInit(context.get(), &key_context, EVP_sha1(), nullptr, key.key) != 1 ||
      EVP_PKEY_CTX_set_rsa_padding(key_context, RSA_PKCS1_PADDING) != 1 ||
      EVP_DigestSignUpdate(context.get(), message, length) != 1 ||
      EVP_DigestSignFinal(context.get(), nullptr, &signature_length) != 1) {
    ERR_clear_error();
    return {};
  }
  std::vector<std::uint8_t> record(kSignatureHeaderLength + signature_length);
  std::memcpy(record.data(), kSignatureTag.data(), kSignatureTag.size());
  record[kSignatureTag.size()] = static_cast<std::uint8_t>(digit);
  if (EVP_DigestSignFinal(context.get(), record.data() + kSignatureHeaderLength,
                          &signature_length) != 1) {
    ERR_clear_error();
    return {};
  }
  record.resize(kSignatureHeaderLength + signature_length);
  return record;
}

}  // namespace gantrell

// The SHA-256 of an item's bytes (net/sha256_digest.h), kept here with the
// other uses of the library.
namespace gantrell {

struct Sha256Digest::Context {
  MdContextPtr md{EVP_MD_CTX_new()};
};

Sha256Digest::Sha256Digest() : m_pContext(std::make_unique<Context>()) {
  if (m_pContext->md == nullptr ||
      EVP_DigestInit_ex(m_pContext->md.get(), EVP_sha256(), nullptr) != 1) {
    ERR_clear_error();
    m_bFailed = true;
  }
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Add(const void* bytes, std::size_t count) {
  if (m_bFailed || m_bFinished || count == 0)
    return;
  if (EVP_DigestUpdate(m_pContext->md.get(), bytes, count) != 1) {
    ERR_clear_error();
    m_bFailed = true;
  }
}

std::string Sha256Digest::FinishHex() {
  if (m_bFinished || m_bFailed)
    return m_strHex;
  m_bFinished = true;
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  if (EVP_DigestFinal_ex(m_pContext->md.get(), hash, &length) != 1) {
    ERR_clear_error();
    m_bFailed = true;
    return m_strHex;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  for (unsigned int i = 0; i < length; ++i) {
    m_strHex += kDigits[hash[i] >> 4];
    m_strHex += kDigits[hash[i] & 0x0f];
  }
  return m_strHex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256Digest digest;
  digest.Add(bytes.data(), bytes.size());
  return digest.FinishHex();
}

}  // namespace gantrell
