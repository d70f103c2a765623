// Signature verification for providers, and key handling for publishing.
// This is the only file that uses the cryptographic library (OpenSSL 3
// libcrypto, through its EVP interface); everything else sees opaque
// handles, so another backend can stand in its place.
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

struct PublicKey {
  PublicKey(EVP_PKEY* k, KeyKind kind_of_key) : key(k), kind(kind_of_key) {}
  ~PublicKey() { EVP_PKEY_free(key); }
  PublicKey(const PublicKey&) = delete;
  PublicKey& operator=(const PublicKey&) = delete;
  EVP_PKEY* key;
  const KeyKind kind;
};

// The running digest, with the kind of key it was started for: a digest
// of one algorithm must never be checked as the other's.
struct Digest {
  Digest(EVP_MD_CTX* c, KeyKind kind_of_key) : context(c), kind(kind_of_key) {}
  ~Digest() { EVP_MD_CTX_free(context); }
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;
  EVP_MD_CTX* context;
  const KeyKind kind;
};

struct PrivateKey {
  PrivateKey(EVP_PKEY* k, KeyKind kind_of_key) : key(k), kind(kind_of_key) {}
  ~PrivateKey() { EVP_PKEY_free(key); }
  PrivateKey(const PrivateKey&) = delete;
  PrivateKey& operator=(const PrivateKey&) = delete;
  EVP_PKEY* key;
  const KeyKind kind;
};

void CryptoDeleter::operator()(PublicKey* key) const noexcept {
  delete key;
}
void CryptoDeleter::operator()(Digest* digest) const noexcept {
  delete digest;
}
void PrivateKeyDeleter::operator()(PrivateKey* key) const noexcept {
  delete key;
}

namespace {

// The DER of an Ed25519 SubjectPublicKeyInfo up to its 32 key bytes:
// SEQUENCE { SEQUENCE { OID 1.3.101.112 }, BIT STRING (33 bytes, no unused
// bits) }. DER leaves the structure exactly one encoding, so a record holds
// an Ed25519 key exactly when its DER is this prefix and 32 bytes.
constexpr std::uint8_t kEd25519KeyPrefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                              0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};
constexpr std::size_t kEd25519KeyLength = 32;
constexpr std::size_t kEd25519SignatureLength = 64;

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

char ItemSignatureDigit(KeyKind kind) {
  return kind == KeyKind::kEd25519 ? kEd25519ItemDigit : kRsaItemDigit;
}

ItemSignatureForm ClassifyItemSignature(KeyKind key, const std::uint8_t* record, int length) {
  if (!IsSignatureRecord(record, length))
    return ItemSignatureForm::kNotARecord;
  if (length < kSignatureHeaderLength)
    return ItemSignatureForm::kUnknown;
  const char digit = static_cast<char>(record[kSignatureTag.size()]);
  if (digit != kRsaItemDigit && digit != kEd25519ItemDigit)
    return ItemSignatureForm::kUnknown;
  // Without a key nothing verifies; the download runs and is then refused
  // as corrupt, as it always was.
  if (key == KeyKind::kNone || digit == ItemSignatureDigit(key))
    return ItemSignatureForm::kFitsKey;
  return ItemSignatureForm::kOtherKind;
}

std::string KeyDescription(KeyKind kind, int bits) {
  switch (kind) {
    case KeyKind::kRsa:
      return "RSA " + std::to_string(bits) + " / SHA-1";
    case KeyKind::kEd25519:
      return "Ed25519";
    case KeyKind::kNone:
      break;
  }
  return {};
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
  // An RSAPublicKey is a SEQUENCE of two INTEGERs and can never begin like
  // the SubjectPublicKeyInfo, whose first element is a SEQUENCE: the two
  // kinds cannot be mistaken for each other.
  if (static_cast<std::size_t>(der_length) == sizeof kEd25519KeyPrefix + kEd25519KeyLength &&
      std::memcmp(der, kEd25519KeyPrefix, sizeof kEd25519KeyPrefix) == 0) {
    EVP_PKEY* key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                der + sizeof kEd25519KeyPrefix, kEd25519KeyLength);
    if (key == nullptr) {
      ERR_clear_error();
      return;
    }
    m_pPublicKey.reset(new PublicKey(key, KeyKind::kEd25519));
    return;
  }
  EVP_PKEY* key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &der, der_length);
  if (key == nullptr) {
    ERR_clear_error();
    return;
  }
  m_pPublicKey.reset(new PublicKey(key, KeyKind::kRsa));
}

KeyKind CProvider::PublicKeyKind() const {
  return m_pPublicKey != nullptr ? m_pPublicKey->kind : KeyKind::kNone;
}

int CProvider::PublicKeyBits() const {
  switch (PublicKeyKind()) {
    case KeyKind::kRsa:
      return EVP_PKEY_get_bits(m_pPublicKey->key);
    case KeyKind::kEd25519:
      return kEd25519KeyBits;
    case KeyKind::kNone:
      break;
  }
  return 0;
}

void CProvider::BeginDigest() {
  m_pDigest.reset();
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (context == nullptr)
    return;
  // Without a key the digest is SHA-1, as it always was; nothing verifies
  // with it until an RSA key is set.
  const KeyKind kind = PublicKeyKind() == KeyKind::kEd25519 ? KeyKind::kEd25519 : KeyKind::kRsa;
  auto digest = DigestPtr(new Digest(context, kind));
  const EVP_MD* algorithm = kind == KeyKind::kEd25519 ? EVP_sha512() : EVP_sha1();
  if (EVP_DigestInit_ex(context, algorithm, nullptr) != 1) {
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
  DigestPtr digest = std::move(m_pDigest);
  if (digest == nullptr || digest->kind != m_pPublicKey->kind)
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
  const unsigned char* signature = record + kSignatureHeaderLength;
  if (m_pPublicKey->kind == KeyKind::kEd25519) {
    // Ed25519 signs the 64 digest bytes as its message; the signature is
    // exactly 64 bytes, and anything after them is not part of it.
    if (static_cast<std::size_t>(signature_length) != kEd25519SignatureLength)
      return false;
    MdContextPtr verify(EVP_MD_CTX_new());
    int result = 0;
    if (verify != nullptr &&
        EVP_DigestVerifyInit(verify.get(), nullptr, nullptr, nullptr, m_pPublicKey->key) == 1) {
      result = EVP_DigestVerify(verify.get(), signature, kEd25519SignatureLength, hash,
                                hash_length);
    }
    ERR_clear_error();
    return result == 1;
  }
  // Verifying the finished SHA-1 hash with the signature digest set to SHA-1
  // checks the whole PKCS#1 v1.5 block, DigestInfo included.
  PkeyContextPtr context(EVP_PKEY_CTX_new_from_pkey(nullptr, m_pPublicKey->key, nullptr));
  int result = 0;
  if (context != nullptr && EVP_PKEY_verify_init(context.get()) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) == 1 &&
      EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha1()) == 1) {
    result = EVP_PKEY_verify(context.get(), signature, static_cast<std::size_t>(signature_length),
                             hash, hash_length);
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

PrivateKeyPtr GenerateRsaKey(int bits, std::string* error) {
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
  return PrivateKeyPtr(new PrivateKey(key, KeyKind::kRsa));
}

PrivateKeyPtr GenerateEd25519Key(std::string* error) {
  EVP_PKEY* key = EVP_PKEY_Q_keygen(nullptr, nullptr, "ED25519");
  if (key == nullptr) {
    ERR_clear_error();
    if (error != nullptr)
      *error = "Ed25519 key generation failed";
    return nullptr;
  }
  return PrivateKeyPtr(new PrivateKey(key, KeyKind::kEd25519));
}

std::string PrivateKeyToPem(const PrivateKey& key) {
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

PrivateKeyPtr PrivateKeyFromPem(std::string_view pem, std::string* error) {
  auto fail = [error](const char* message) {
    ERR_clear_error();
    if (error != nullptr)
      *error = message;
    return PrivateKeyPtr();
  };
  if (pem.empty() || pem.size() > 1024 * 1024)
    return fail("not a PEM private key");
  BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (bio == nullptr)
    return fail("out of memory");
  EVP_PKEY* key = PEM_read_bio_PrivateKey(bio.get(), nullptr, NoPassphrase, nullptr);
  if (key == nullptr)
    return fail("not an unencrypted PEM private key");
  // RSA-PSS keys are refused too: their signatures are not the PKCS#1 v1.5
  // form clients check.
  const int type = EVP_PKEY_get_base_id(key);
  if (type != EVP_PKEY_RSA && type != EVP_PKEY_ED25519) {
    EVP_PKEY_free(key);
    return fail("not an RSA or Ed25519 private key");
  }
  return PrivateKeyPtr(new PrivateKey(key, type == EVP_PKEY_RSA ? KeyKind::kRsa : KeyKind::kEd25519));
}

KeyKind PrivateKeyKind(const PrivateKey& key) {
  return key.kind;
}

int PrivateKeyBits(const PrivateKey& key) {
  return key.kind == KeyKind::kEd25519 ? kEd25519KeyBits : EVP_PKEY_get_bits(key.key);
}

std::vector<std::uint8_t> MakeKeyRecord(const PrivateKey& key) {
  // For an RSA key the PKCS#1 RSAPublicKey structure, for an Ed25519 key
  // its SubjectPublicKeyInfo.
  using Encoder = int (*)(const EVP_PKEY*, unsigned char**);
  const Encoder encode = key.kind == KeyKind::kEd25519 ? Encoder{i2d_PUBKEY} : Encoder{i2d_PublicKey};
  const int der_length = encode(key.key, nullptr);
  if (der_length <= 0) {
    ERR_clear_error();
    return {};
  }
  std::vector<std::uint8_t> record(kKeyRecordHeaderLength + static_cast<std::size_t>(der_length));
  std::memcpy(record.data(), kKeyRecordTag.data(), kKeyRecordTag.size());
  record[kKeyRecordTag.size()] = 0;
  unsigned char* out = record.data() + kKeyRecordHeaderLength;
  if (encode(key.key, &out) != der_length) {
    ERR_clear_error();
    return {};
  }
  return record;
}

namespace {

// Ed25519 over the SHA-512 digest of the message, the form clients check:
// it lets them digest an item of any size in one pass as it arrives.
std::vector<std::uint8_t> Ed25519SignatureRecord(const PrivateKey& key, char digit,
                                                 const std::uint8_t* message, std::size_t length) {
  unsigned char hash[EVP_MAX_MD_SIZE];
  unsigned int hash_length = 0;
  if (EVP_Digest(message, length, hash, &hash_length, EVP_sha512(), nullptr) != 1) {
    ERR_clear_error();
    return {};
  }
  MdContextPtr context(EVP_MD_CTX_new());
  std::size_t signature_length = kEd25519SignatureLength;
  std::vector<std::uint8_t> record(kSignatureHeaderLength + kEd25519SignatureLength);
  if (context == nullptr ||
      EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.key) != 1 ||
      EVP_DigestSign(context.get(), record.data() + kSignatureHeaderLength, &signature_length,
                     hash, hash_length) != 1 ||
      signature_length != kEd25519SignatureLength) {
    ERR_clear_error();
    return {};
  }
  std::memcpy(record.data(), kSignatureTag.data(), kSignatureTag.size());
  record[kSignatureTag.size()] = static_cast<std::uint8_t>(digit);
  return record;
}

}  // namespace

std::vector<std::uint8_t> MakeSignatureRecord(const PrivateKey& key, char digit,
                                              const std::uint8_t* message, std::size_t length) {
  if (digit < '0' || digit > '9')
    return {};
  static const std::uint8_t kNothing = 0;
  if (message == nullptr) {
    message = &kNothing;
    length = 0;
  }
  if (key.kind == KeyKind::kEd25519)
    return Ed25519SignatureRecord(key, digit, message, length);
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
