// Signature verification for providers, and key handling for publishing:
// the record logic. The cryptography itself is the platform's crypto
// facility (platform/crypto.h), OpenSSL on Linux and CNG on Windows; the key
// structures are read and written by platform/key_formats.h on both.
#include "net/signature.h"

#include <cstring>

#include "model/provider.h"
#include "net/crypto_handles.h"
#include "net/sha256_digest.h"
#include "platform/crypto.h"
#include "platform/key_formats.h"

namespace gantrell {

struct PublicKey {
  KeyKind kind = KeyKind::kNone;
  std::unique_ptr<crypto::RsaPublicKey> rsa;
  std::unique_ptr<crypto::Ed25519PublicKey> ed25519;
};

// The running digest, with the kind of key it was started for: a digest
// of one algorithm must never be checked as the other's.
struct Digest {
  Digest(crypto::HashKind algorithm, KeyKind kind_of_key) : hash(algorithm), kind(kind_of_key) {}
  crypto::Hash hash;
  const KeyKind kind;
};

struct PrivateKey {
  PrivateKey() = default;
  ~PrivateKey() {
    volatile std::uint8_t* seed = ed25519_seed.data();
    for (std::size_t i = 0; i < ed25519_seed.size(); ++i)
      seed[i] = 0;
  }
  PrivateKey(const PrivateKey&) = delete;
  PrivateKey& operator=(const PrivateKey&) = delete;
  KeyKind kind = KeyKind::kNone;
  std::unique_ptr<crypto::RsaPrivateKey> rsa;  // for kRsa
  crypto::Ed25519Key ed25519_seed{};           // for kEd25519
  crypto::Ed25519Key ed25519_public{};
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

bool StartsWith(const std::uint8_t* record, int length, std::string_view tag) {
  if (record == nullptr || length < static_cast<int>(tag.size()))
    return false;
  return std::memcmp(record, tag.data(), tag.size()) == 0;
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
  const std::span<const std::uint8_t> der(record + kKeyRecordHeaderLength,
                                          static_cast<std::size_t>(der_length));
  auto key = std::unique_ptr<PublicKey, CryptoDeleter>(new PublicKey);
  // An RSAPublicKey is a SEQUENCE of two INTEGERs and can never begin like
  // the SubjectPublicKeyInfo, whose first element is a SEQUENCE: the two
  // kinds cannot be mistaken for each other.
  crypto::Ed25519Key ed25519_key;
  if (crypto::ParseEd25519PublicKeyInfo(der, &ed25519_key)) {
    key->ed25519 = crypto::Ed25519PublicKey::FromBytes(ed25519_key);
    if (key->ed25519 == nullptr)
      return;
    key->kind = KeyKind::kEd25519;
  } else {
    key->rsa = crypto::RsaPublicKey::FromDer(der);
    if (key->rsa == nullptr)
      return;
    key->kind = KeyKind::kRsa;
  }
  m_pPublicKey = std::move(key);
}

KeyKind CProvider::PublicKeyKind() const {
  return m_pPublicKey != nullptr ? m_pPublicKey->kind : KeyKind::kNone;
}

int CProvider::PublicKeyBits() const {
  switch (PublicKeyKind()) {
    case KeyKind::kRsa:
      return m_pPublicKey->rsa->bits();
    case KeyKind::kEd25519:
      return kEd25519KeyBits;
    case KeyKind::kNone:
      break;
  }
  return 0;
}

void CProvider::BeginDigest() {
  m_pDigest.reset();
  // Without a key the digest is SHA-1, as it always was; nothing verifies
  // with it until an RSA key is set.
  const KeyKind kind = PublicKeyKind() == KeyKind::kEd25519 ? KeyKind::kEd25519 : KeyKind::kRsa;
  auto digest = DigestPtr(new Digest(
      kind == KeyKind::kEd25519 ? crypto::HashKind::kSha512 : crypto::HashKind::kSha1, kind));
  if (digest->hash.ok())
    m_pDigest = std::move(digest);
}

void CProvider::AddToDigest(const std::uint8_t* bytes, int count) {
  if (m_pDigest == nullptr || bytes == nullptr || count <= 0)
    return;
  // A digest that missed some bytes must not verify anything.
  if (!m_pDigest->hash.Add(bytes, static_cast<std::size_t>(count)))
    m_pDigest.reset();
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

  std::uint8_t hash[crypto::kMaxHashLength];
  if (!digest->hash.Finish(hash))
    return false;
  const std::span<const std::uint8_t> signature(record + kSignatureHeaderLength,
                                                static_cast<std::size_t>(signature_length));
  if (m_pPublicKey->kind == KeyKind::kEd25519) {
    // Ed25519 signs the 64 digest bytes as its message; the signature is
    // exactly 64 bytes, and anything after them is not part of it.
    return m_pPublicKey->ed25519->Verify(std::span<const std::uint8_t>(hash, crypto::kSha512Length),
                                         signature);
  }
  std::uint8_t sha1[crypto::kSha1Length];
  std::memcpy(sha1, hash, sizeof sha1);
  return m_pPublicKey->rsa->VerifyPkcs1Sha1(sha1, signature);
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
  PrivateKeyPtr key(new PrivateKey);
  key->kind = KeyKind::kRsa;
  key->rsa = crypto::RsaPrivateKey::Generate(bits);
  if (key->rsa == nullptr) {
    if (error != nullptr)
      *error = "RSA key generation failed";
    return nullptr;
  }
  return key;
}

PrivateKeyPtr GenerateEd25519Key(std::string* error) {
  PrivateKeyPtr key(new PrivateKey);
  key->kind = KeyKind::kEd25519;
  if (!crypto::RandomBytes(key->ed25519_seed.data(), key->ed25519_seed.size()) ||
      !crypto::Ed25519PublicFromSeed(key->ed25519_seed, &key->ed25519_public)) {
    if (error != nullptr)
      *error = "Ed25519 key generation failed";
    return nullptr;
  }
  return key;
}

std::string PrivateKeyToPem(const PrivateKey& key) {
  crypto::PrivateKeyNumbers numbers;
  if (key.kind == KeyKind::kRsa) {
    numbers.type = crypto::PrivateKeyType::kRsa;
    numbers.rsa = key.rsa->numbers();
  } else if (key.kind == KeyKind::kEd25519) {
    numbers.type = crypto::PrivateKeyType::kEd25519;
    numbers.ed25519_seed = key.ed25519_seed;
  } else {
    return {};
  }
  return crypto::WritePrivateKeyPem(numbers);
}

PrivateKeyPtr PrivateKeyFromPem(std::string_view pem, std::string* error) {
  auto fail = [error](const char* message) {
    if (error != nullptr)
      *error = message;
    return PrivateKeyPtr();
  };
  if (pem.empty() || pem.size() > 1024 * 1024)
    return fail("not a PEM private key");
  crypto::PrivateKeyNumbers numbers;
  switch (crypto::ReadPrivateKeyPem(pem, &numbers)) {
    case crypto::PemReadResult::kOk:
      break;
    case crypto::PemReadResult::kOtherAlgorithm:
      // RSA-PSS keys are refused too: their signatures are not the PKCS#1
      // v1.5 form clients check.
      return fail("not an RSA or Ed25519 private key");
    case crypto::PemReadResult::kNotPrivateKey:
      return fail("not an unencrypted PEM private key");
  }
  PrivateKeyPtr key(new PrivateKey);
  if (numbers.type == crypto::PrivateKeyType::kRsa) {
    key->kind = KeyKind::kRsa;
    key->rsa = crypto::RsaPrivateKey::FromNumbers(numbers.rsa);
    if (key->rsa == nullptr)
      return fail("not an unencrypted PEM private key");
    return key;
  }
  key->kind = KeyKind::kEd25519;
  key->ed25519_seed = numbers.ed25519_seed;
  numbers.ed25519_seed.fill(0);
  if (!crypto::Ed25519PublicFromSeed(key->ed25519_seed, &key->ed25519_public))
    return fail("not an unencrypted PEM private key");
  return key;
}

KeyKind PrivateKeyKind(const PrivateKey& key) {
  return key.kind;
}

int PrivateKeyBits(const PrivateKey& key) {
  return key.kind == KeyKind::kEd25519 ? kEd25519KeyBits : key.rsa->bits();
}

std::vector<std::uint8_t> MakeKeyRecord(const PrivateKey& key) {
  // For an RSA key the PKCS#1 RSAPublicKey structure, for an Ed25519 key
  // its SubjectPublicKeyInfo.
  std::vector<std::uint8_t> der;
  if (key.kind == KeyKind::kEd25519) {
    der = crypto::EncodeEd25519PublicKeyInfo(key.ed25519_public);
  } else if (key.kind == KeyKind::kRsa) {
    const crypto::RsaPrivateNumbers& numbers = key.rsa->numbers();
    der = crypto::EncodeRsaPublicKey({numbers.modulus, numbers.public_exponent});
  } else {
    return {};
  }
  std::vector<std::uint8_t> record(kKeyRecordTag.begin(), kKeyRecordTag.end());
  record.push_back(0);
  record.insert(record.end(), der.begin(), der.end());
  return record;
}

std::vector<std::uint8_t> MakeSignatureRecord(const PrivateKey& key, char digit,
                                              const std::uint8_t* message, std::size_t length) {
  if (digit < '0' || digit > '9')
    return {};
  static const std::uint8_t kNothing = 0;
  if (message == nullptr) {
    message = &kNothing;
    length = 0;
  }
  std::vector<std::uint8_t> signature;
  if (key.kind == KeyKind::kEd25519) {
    // Ed25519 over the SHA-512 digest of the message, the form clients
    // check: it lets them digest an item of any size in one pass as it
    // arrives.
    std::uint8_t hash[crypto::kSha512Length];
    std::uint8_t bytes[crypto::kEd25519SignatureLength];
    if (!crypto::HashBytes(crypto::HashKind::kSha512, message, length, hash) ||
        !crypto::Ed25519Sign(key.ed25519_seed, hash, bytes))
      return {};
    signature.assign(std::begin(bytes), std::end(bytes));
  } else if (key.kind == KeyKind::kRsa) {
    std::uint8_t hash[crypto::kSha1Length];
    if (!crypto::HashBytes(crypto::HashKind::kSha1, message, length, hash))
      return {};
    signature = key.rsa->SignPkcs1Sha1(hash);
  }
  if (signature.empty())
    return {};
  std::vector<std::uint8_t> record(kSignatureTag.begin(), kSignatureTag.end());
  record.push_back(static_cast<std::uint8_t>(digit));
  record.insert(record.end(), signature.begin(), signature.end());
  return record;
}

}  // namespace gantrell

// The SHA-256 of an item's bytes (net/sha256_digest.h).
namespace gantrell {

struct Sha256Digest::Context {
  crypto::Hash hash{crypto::HashKind::kSha256};
};

Sha256Digest::Sha256Digest() : m_pContext(std::make_unique<Context>()) {
  m_bFailed = !m_pContext->hash.ok();
}

Sha256Digest::~Sha256Digest() = default;

void Sha256Digest::Add(const void* bytes, std::size_t count) {
  if (m_bFailed || m_bFinished || count == 0)
    return;
  if (!m_pContext->hash.Add(bytes, count))
    m_bFailed = true;
}

std::string Sha256Digest::FinishHex() {
  if (m_bFinished || m_bFailed)
    return m_strHex;
  m_bFinished = true;
  std::uint8_t hash[crypto::kSha256Length];
  if (!m_pContext->hash.Finish(hash)) {
    m_bFailed = true;
    return m_strHex;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::uint8_t byte : hash) {
    m_strHex += kDigits[byte >> 4];
    m_strHex += kDigits[byte & 0x0f];
  }
  return m_strHex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256Digest digest;
  digest.Add(bytes.data(), bytes.size());
  return digest.FinishHex();
}

}  // namespace gantrell
