// The crypto facility on CNG (bcrypt): SHA-1/256/512, the system random
// generator, and RSA keys in BCRYPT_RSAKEY_BLOB form. CNG has no Ed25519
// signatures (only the X25519 key agreement, and Wine 8 not even that), so
// Ed25519 is the portable code of platform/ed25519.h, on CNG's SHA-512.
#include <windows.h>
#include <bcrypt.h>

#include <cstring>

#include "platform/crypto.h"
#include "platform/der.h"
#include "platform/ed25519.h"

#ifndef BCRYPT_SUCCESS
#define BCRYPT_SUCCESS(status) (static_cast<NTSTATUS>(status) >= 0)
#endif

namespace gantrell::crypto {

namespace {

// The algorithm providers, opened once and kept for the life of the
// process (opening one is costly; the handles may be shared by threads).
struct Providers {
  BCRYPT_ALG_HANDLE sha1 = nullptr;
  BCRYPT_ALG_HANDLE sha256 = nullptr;
  BCRYPT_ALG_HANDLE sha512 = nullptr;
  BCRYPT_ALG_HANDLE rsa = nullptr;
};

const Providers& Cng() {
  static const Providers providers = [] {
    Providers p;
    auto open = [](BCRYPT_ALG_HANDLE* handle, LPCWSTR name) {
      if (!BCRYPT_SUCCESS(BCryptOpenAlgorithmProvider(handle, name, nullptr, 0)))
        *handle = nullptr;
    };
    open(&p.sha1, BCRYPT_SHA1_ALGORITHM);
    open(&p.sha256, BCRYPT_SHA256_ALGORITHM);
    open(&p.sha512, BCRYPT_SHA512_ALGORITHM);
    open(&p.rsa, BCRYPT_RSA_ALGORITHM);
    return p;
  }();
  return providers;
}

BCRYPT_ALG_HANDLE HashProvider(HashKind kind) {
  switch (kind) {
    case HashKind::kSha1:
      return Cng().sha1;
    case HashKind::kSha256:
      return Cng().sha256;
    case HashKind::kSha512:
      return Cng().sha512;
  }
  return nullptr;
}

struct KeyDestroy {
  void operator()(void* key) const noexcept { BCryptDestroyKey(static_cast<BCRYPT_KEY_HANDLE>(key)); }
};
using KeyPtr = std::unique_ptr<void, KeyDestroy>;

void Wipe(ByteVector* bytes) {
  volatile std::uint8_t* p = bytes->data();
  for (std::size_t i = 0; i < bytes->size(); ++i)
    p[i] = 0;
  bytes->clear();
}

// Appends `value` left-padded with zeros to `size` bytes; false when it
// does not fit.
bool AppendPadded(ByteVector* blob, const ByteVector& value, std::size_t size) {
  const der::Bytes magnitude = der::StripLeadingZeros(value);
  if (magnitude.size() > size)
    return false;
  blob->insert(blob->end(), size - magnitude.size(), 0);
  blob->insert(blob->end(), magnitude.begin(), magnitude.end());
  return true;
}

ByteVector RsaBlobHeader(ULONG magic, const ByteVector& modulus, const ByteVector& exponent,
                         ULONG prime1, ULONG prime2) {
  BCRYPT_RSAKEY_BLOB header{};
  header.Magic = magic;
  header.BitLength = static_cast<ULONG>(der::BitLength(modulus));
  header.cbPublicExp = static_cast<ULONG>(exponent.size());
  header.cbModulus = static_cast<ULONG>(modulus.size());
  header.cbPrime1 = prime1;
  header.cbPrime2 = prime2;
  ByteVector blob(sizeof header);
  std::memcpy(blob.data(), &header, sizeof header);
  blob.insert(blob.end(), exponent.begin(), exponent.end());
  blob.insert(blob.end(), modulus.begin(), modulus.end());
  return blob;
}

KeyPtr ImportRsa(LPCWSTR blob_type, ByteVector& blob) {
  BCRYPT_KEY_HANDLE key = nullptr;
  if (Cng().rsa == nullptr ||
      !BCRYPT_SUCCESS(BCryptImportKeyPair(Cng().rsa, nullptr, blob_type, &key, blob.data(),
                                          static_cast<ULONG>(blob.size()), 0)))
    return nullptr;
  return KeyPtr(key);
}

// The big-endian field of `size` bytes at *at of an exported blob, without
// leading zeros.
bool TakeField(const ByteVector& blob, std::size_t* at, ULONG size, ByteVector* field) {
  if (blob.size() - *at < size)
    return false;
  const der::Bytes value = der::StripLeadingZeros(der::Bytes(blob.data() + *at, size));
  *field = ByteVector(value.begin(), value.end());
  *at += size;
  return !field->empty();
}

}  // namespace

struct Hash::State {
  BCRYPT_HASH_HANDLE hash = nullptr;
  ~State() {
    if (hash != nullptr)
      BCryptDestroyHash(hash);
  }
};

Hash::Hash(HashKind kind) : m_kind(kind), m_pState(std::make_unique<State>()) {
  // With no object buffer given, CNG keeps the hash state itself.
  BCRYPT_ALG_HANDLE provider = HashProvider(kind);
  if (provider == nullptr ||
      !BCRYPT_SUCCESS(BCryptCreateHash(provider, &m_pState->hash, nullptr, 0, nullptr, 0, 0))) {
    m_pState->hash = nullptr;
    m_bFailed = true;
  }
}

Hash::~Hash() = default;

bool Hash::Add(const void* bytes, std::size_t count) {
  if (m_bFailed)
    return false;
  if (bytes == nullptr && count != 0) {
    m_bFailed = true;
    return false;
  }
  const auto* at = static_cast<const std::uint8_t*>(bytes);
  // BCryptHashData takes a ULONG count.
  while (count > 0) {
    const ULONG piece = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    if (!BCRYPT_SUCCESS(BCryptHashData(m_pState->hash, const_cast<PUCHAR>(at), piece, 0))) {
      m_bFailed = true;
      return false;
    }
    at += piece;
    count -= piece;
  }
  return true;
}

bool Hash::Finish(std::uint8_t* out) {
  if (m_bFailed)
    return false;
  m_bFailed = true;  // used up whatever the outcome
  return BCRYPT_SUCCESS(
      BCryptFinishHash(m_pState->hash, out, static_cast<ULONG>(HashLength(m_kind)), 0));
}

bool RandomBytes(void* out, std::size_t count) {
  auto* at = static_cast<std::uint8_t*>(out);
  while (count > 0) {
    const ULONG piece = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    if (!BCRYPT_SUCCESS(BCryptGenRandom(nullptr, at, piece, BCRYPT_USE_SYSTEM_PREFERRED_RNG)))
      return false;
    at += piece;
    count -= piece;
  }
  return true;
}

// ---------------------------------------------------------------------------

struct RsaPublicKey::Handle {
  KeyPtr key;
};

RsaPublicKey::RsaPublicKey(std::unique_ptr<Handle> handle, int bits)
    : m_pHandle(std::move(handle)), m_bits(bits) {}
RsaPublicKey::~RsaPublicKey() = default;

std::unique_ptr<RsaPublicKey> RsaPublicKey::FromDer(std::span<const std::uint8_t> der) {
  RsaPublicNumbers numbers;
  if (!ParseRsaPublicKey(der, &numbers))
    return nullptr;
  ByteVector blob = RsaBlobHeader(BCRYPT_RSAPUBLIC_MAGIC, numbers.modulus, numbers.exponent, 0, 0);
  auto handle = std::make_unique<Handle>();
  handle->key = ImportRsa(BCRYPT_RSAPUBLIC_BLOB, blob);
  if (handle->key == nullptr)
    return nullptr;
  const int bits = der::BitLength(numbers.modulus);
  return std::unique_ptr<RsaPublicKey>(new RsaPublicKey(std::move(handle), bits));
}

bool RsaPublicKey::VerifyPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length],
                                   std::span<const std::uint8_t> signature) const {
  if (signature.size() != static_cast<std::size_t>((m_bits + 7) / 8))
    return false;
  // The padding names the digest, so CNG checks the DigestInfo too.
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
  return BCryptVerifySignature(m_pHandle->key.get(), &padding, const_cast<PUCHAR>(sha1),
                               kSha1Length, const_cast<PUCHAR>(signature.data()),
                               static_cast<ULONG>(signature.size()), BCRYPT_PAD_PKCS1) == 0;
}

// ---------------------------------------------------------------------------

struct Ed25519PublicKey::Handle {
  std::uint8_t key[kEd25519KeyLength];
};

Ed25519PublicKey::Ed25519PublicKey(std::unique_ptr<Handle> handle) : m_pHandle(std::move(handle)) {}
Ed25519PublicKey::~Ed25519PublicKey() = default;

std::unique_ptr<Ed25519PublicKey> Ed25519PublicKey::FromBytes(const Ed25519Key& key) {
  auto handle = std::make_unique<Handle>();
  std::memcpy(handle->key, key.data(), kEd25519KeyLength);
  if (!ed25519::IsValidPublicKey(handle->key))
    return nullptr;
  return std::unique_ptr<Ed25519PublicKey>(new Ed25519PublicKey(std::move(handle)));
}

bool Ed25519PublicKey::Verify(std::span<const std::uint8_t> message,
                              std::span<const std::uint8_t> signature) const {
  if (signature.size() != kEd25519SignatureLength)
    return false;
  std::uint8_t bytes[kEd25519SignatureLength];
  std::memcpy(bytes, signature.data(), sizeof bytes);
  return ed25519::Verify(m_pHandle->key, message, bytes);
}

bool Ed25519PublicFromSeed(const Ed25519Key& seed, Ed25519Key* public_key) {
  std::uint8_t in[kEd25519KeyLength], out[kEd25519KeyLength];
  std::memcpy(in, seed.data(), sizeof in);
  const bool ok = ed25519::PublicKeyFromSeed(in, out);
  SecureZeroMemory(in, sizeof in);
  if (ok)
    std::memcpy(public_key->data(), out, sizeof out);
  return ok;
}

bool Ed25519Sign(const Ed25519Key& seed, std::span<const std::uint8_t> message,
                 std::uint8_t (&signature)[kEd25519SignatureLength]) {
  std::uint8_t in[kEd25519KeyLength];
  std::memcpy(in, seed.data(), sizeof in);
  const bool ok = ed25519::Sign(in, message, signature);
  SecureZeroMemory(in, sizeof in);
  return ok;
}

// ---------------------------------------------------------------------------

struct RsaPrivateKey::Handle {
  KeyPtr key;
};

RsaPrivateKey::RsaPrivateKey(std::unique_ptr<Handle> handle, RsaPrivateNumbers numbers)
    : m_pHandle(std::move(handle)), m_numbers(std::move(numbers)) {}
RsaPrivateKey::~RsaPrivateKey() = default;

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::Generate(int bits) {
  if (bits < kMinRsaBits || bits > kMaxRsaBits || Cng().rsa == nullptr)
    return nullptr;
  BCRYPT_KEY_HANDLE raw = nullptr;
  if (!BCRYPT_SUCCESS(BCryptGenerateKeyPair(Cng().rsa, &raw, static_cast<ULONG>(bits), 0)))
    return nullptr;
  KeyPtr key(raw);
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(BCryptFinalizeKeyPair(raw, 0)) ||
      !BCRYPT_SUCCESS(BCryptExportKey(raw, nullptr, BCRYPT_RSAFULLPRIVATE_BLOB, nullptr, 0, &size, 0)))
    return nullptr;
  ByteVector blob(size);
  if (!BCRYPT_SUCCESS(BCryptExportKey(raw, nullptr, BCRYPT_RSAFULLPRIVATE_BLOB, blob.data(), size,
                                      &size, 0)) ||
      size < sizeof(BCRYPT_RSAKEY_BLOB)) {
    Wipe(&blob);
    return nullptr;
  }
  blob.resize(size);
  // Header, then exponent, modulus, prime1, prime2, exponent1, exponent2,
  // coefficient and the private exponent, all big-endian.
  BCRYPT_RSAKEY_BLOB header;
  std::memcpy(&header, blob.data(), sizeof header);
  std::size_t at = sizeof header;
  RsaPrivateNumbers numbers;
  const bool ok = header.Magic == BCRYPT_RSAFULLPRIVATE_MAGIC &&
                  TakeField(blob, &at, header.cbPublicExp, &numbers.public_exponent) &&
                  TakeField(blob, &at, header.cbModulus, &numbers.modulus) &&
                  TakeField(blob, &at, header.cbPrime1, &numbers.prime1) &&
                  TakeField(blob, &at, header.cbPrime2, &numbers.prime2) &&
                  TakeField(blob, &at, header.cbPrime1, &numbers.exponent1) &&
                  TakeField(blob, &at, header.cbPrime2, &numbers.exponent2) &&
                  TakeField(blob, &at, header.cbPrime1, &numbers.coefficient) &&
                  TakeField(blob, &at, header.cbModulus, &numbers.private_exponent);
  Wipe(&blob);
  if (!ok)
    return nullptr;
  // Checked as a key file would be, so that what is made always reads back.
  RsaPrivateNumbers checked;
  if (!ParseRsaPrivateKey(EncodeRsaPrivateKey(numbers), &checked))
    return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->key = std::move(key);
  return std::unique_ptr<RsaPrivateKey>(new RsaPrivateKey(std::move(handle), std::move(numbers)));
}

std::unique_ptr<RsaPrivateKey> RsaPrivateKey::FromNumbers(const RsaPrivateNumbers& numbers) {
  const std::size_t modulus = der::StripLeadingZeros(numbers.modulus).size();
  const std::size_t prime1 = der::StripLeadingZeros(numbers.prime1).size();
  const std::size_t prime2 = der::StripLeadingZeros(numbers.prime2).size();
  const ByteVector n(numbers.modulus.end() - modulus, numbers.modulus.end());
  ByteVector blob = RsaBlobHeader(BCRYPT_RSAFULLPRIVATE_MAGIC, n, numbers.public_exponent,
                                  static_cast<ULONG>(prime1), static_cast<ULONG>(prime2));
  const bool ok = AppendPadded(&blob, numbers.prime1, prime1) &&
                  AppendPadded(&blob, numbers.prime2, prime2) &&
                  AppendPadded(&blob, numbers.exponent1, prime1) &&
                  AppendPadded(&blob, numbers.exponent2, prime2) &&
                  AppendPadded(&blob, numbers.coefficient, prime1) &&
                  AppendPadded(&blob, numbers.private_exponent, modulus);
  KeyPtr key;
  if (ok)
    key = ImportRsa(BCRYPT_RSAFULLPRIVATE_BLOB, blob);
  Wipe(&blob);
  if (key == nullptr)
    return nullptr;
  auto handle = std::make_unique<Handle>();
  handle->key = std::move(key);
  return std::unique_ptr<RsaPrivateKey>(new RsaPrivateKey(std::move(handle), numbers));
}

ByteVector RsaPrivateKey::SignPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length]) const {
  BCRYPT_PKCS1_PADDING_INFO padding{BCRYPT_SHA1_ALGORITHM};
  ULONG size = 0;
  if (!BCRYPT_SUCCESS(BCryptSignHash(m_pHandle->key.get(), &padding, const_cast<PUCHAR>(sha1),
                                     kSha1Length, nullptr, 0, &size, BCRYPT_PAD_PKCS1)))
    return {};
  ByteVector signature(size);
  if (!BCRYPT_SUCCESS(BCryptSignHash(m_pHandle->key.get(), &padding, const_cast<PUCHAR>(sha1),
                                     kSha1Length, signature.data(), size, &size, BCRYPT_PAD_PKCS1)))
    return {};
  signature.resize(size);
  return signature;
}

}  // namespace gantrell::crypto
