// The cryptographic facility: digests, random bytes, RSA and Ed25519 keys.
// One backend per system: crypto_posix.cc on OpenSSL 3 libcrypto,
// crypto_win32.cc on CNG (bcrypt). Key structures are read and written in
// portable code (platform/key_formats.h), so both backends see the same
// bytes, and Ed25519 is portable code (platform/ed25519.h) where the
// system has none.
//
// Every failure ends in false or an empty result; nothing here throws or
// prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/key_formats.h"

namespace gantrell::crypto {

enum class HashKind { kSha1, kSha256, kSha512 };
inline constexpr std::size_t kSha1Length = 20;
inline constexpr std::size_t kSha256Length = 32;
inline constexpr std::size_t kSha512Length = 64;
inline constexpr std::size_t kMaxHashLength = kSha512Length;
std::size_t HashLength(HashKind kind);

// A digest of bytes fed in pieces.
class Hash {
 public:
  explicit Hash(HashKind kind);
  ~Hash();
  Hash(const Hash&) = delete;
  Hash& operator=(const Hash&) = delete;

  HashKind kind() const { return m_kind; }
  // False once the backend failed or the digest was finished; a failed
  // digest never finishes, so that one that missed some bytes matches
  // nothing.
  bool ok() const { return !m_bFailed; }
  bool Add(const void* bytes, std::size_t count);
  // Writes HashLength(kind()) bytes to `out`. Once only: the digest is used
  // up by it, and a second call fails.
  bool Finish(std::uint8_t* out);

  struct State;  // the backend's

 private:
  HashKind m_kind;
  std::unique_ptr<State> m_pState;
  bool m_bFailed = false;
};

// The digest of `count` bytes in one call.
bool HashBytes(HashKind kind, const void* bytes, std::size_t count, std::uint8_t* out);

// Bytes from the system's cryptographic random generator.
bool RandomBytes(void* out, std::size_t count);

// An RSA public key in the backend's form.
class RsaPublicKey {
 public:
  // Reads an RSAPublicKey DER (key_formats.h); none when it does not parse
  // or the backend refuses it.
  static std::unique_ptr<RsaPublicKey> FromDer(std::span<const std::uint8_t> der);
  ~RsaPublicKey();
  RsaPublicKey(const RsaPublicKey&) = delete;
  RsaPublicKey& operator=(const RsaPublicKey&) = delete;

  int bits() const { return m_bits; }
  // Checks an RSA PKCS#1 v1.5 signature over a finished SHA-1 digest (the
  // whole block, DigestInfo included). The signature is exactly as long as
  // the modulus.
  bool VerifyPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length],
                       std::span<const std::uint8_t> signature) const;

  struct Handle;  // the backend's

 private:
  RsaPublicKey(std::unique_ptr<Handle> handle, int bits);
  std::unique_ptr<Handle> m_pHandle;
  int m_bits;
};

// An Ed25519 public key (its 32 bytes), checked to be a valid point when
// it is made.
class Ed25519PublicKey {
 public:
  static std::unique_ptr<Ed25519PublicKey> FromBytes(const Ed25519Key& key);
  ~Ed25519PublicKey();
  Ed25519PublicKey(const Ed25519PublicKey&) = delete;
  Ed25519PublicKey& operator=(const Ed25519PublicKey&) = delete;

  // Ed25519 (RFC 8032, the pure form) over `message`; the signature is
  // exactly 64 bytes.
  bool Verify(std::span<const std::uint8_t> message, std::span<const std::uint8_t> signature) const;

  struct Handle;  // the backend's

 private:
  explicit Ed25519PublicKey(std::unique_ptr<Handle> handle);
  std::unique_ptr<Handle> m_pHandle;
};

// An RSA private key, for the publishing side.
class RsaPrivateKey {
 public:
  // A fresh key of `bits` bits (kMinRsaBits to kMaxRsaBits) with public
  // exponent 65537.
  static std::unique_ptr<RsaPrivateKey> Generate(int bits);
  // From the numbers of a key file; none when the backend refuses them.
  static std::unique_ptr<RsaPrivateKey> FromNumbers(const RsaPrivateNumbers& numbers);
  ~RsaPrivateKey();
  RsaPrivateKey(const RsaPrivateKey&) = delete;
  RsaPrivateKey& operator=(const RsaPrivateKey&) = delete;

  const RsaPrivateNumbers& numbers() const { return m_numbers; }
  int bits() const;
  // The RSA PKCS#1 v1.5 signature of a finished SHA-1 digest, as long as
  // the modulus; empty on failure.
  ByteVector SignPkcs1Sha1(const std::uint8_t (&sha1)[kSha1Length]) const;

  struct Handle;  // the backend's

 private:
  RsaPrivateKey(std::unique_ptr<Handle> handle, RsaPrivateNumbers numbers);
  std::unique_ptr<Handle> m_pHandle;
  RsaPrivateNumbers m_numbers;
};

// Ed25519 signing, by the backend or the portable code: the public key of
// a 32-byte seed, and the signature over `message`.
bool Ed25519PublicFromSeed(const Ed25519Key& seed, Ed25519Key* public_key);
bool Ed25519Sign(const Ed25519Key& seed, std::span<const std::uint8_t> message,
                 std::uint8_t (&signature)[kEd25519SignatureLength]);

}  // namespace gantrell::crypto
