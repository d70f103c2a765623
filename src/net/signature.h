// Key records, signature records, and the signing side used by the
// publishing tool. The verifying side is a set of CProvider operations
// (model/provider.h); both are implemented in signature.cc, the one file that
// talks to the cryptographic library.
//
// Key record:       "PUBLKEY", one uninterpreted byte, then the RSA public key
//                   as a DER RSAPublicKey (modulus and public exponent).
// Signature record: "SIG", one ASCII digit whose meaning depends on the file,
//                   then an RSA PKCS#1 v1.5 signature over the SHA-1 digest of
//                   the signed bytes, as long as the key's modulus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace gantrell {

inline constexpr std::string_view kKeyRecordTag = "PUBLKEY";
inline constexpr int kKeyRecordHeaderLength = 8;
inline constexpr std::string_view kSignatureTag = "SIG";
inline constexpr int kSignatureHeaderLength = 4;
// The client reads key records and most signature records into 512 bytes;
// anything longer is cut and can never be used.
inline constexpr int kMaxRecordLength = 512;

// True when `record` (of `length` bytes, which may be short or negative)
// begins with "PUBLKEY" / "SIG". Never reads past `length`.
bool IsKeyRecord(const std::uint8_t* record, int length);
bool IsSignatureRecord(const std::uint8_t* record, int length);

// An RSA private key, for publishing only; the client never holds one.
struct RsaPrivateKey;
struct PrivateKeyDeleter {
  void operator()(RsaPrivateKey* key) const noexcept;
};
using RsaPrivateKeyPtr = std::unique_ptr<RsaPrivateKey, PrivateKeyDeleter>;

// A fresh RSA key pair of `bits` bits (public exponent 65537). Returns none
// and sets *error on failure.
RsaPrivateKeyPtr GenerateRsaKey(int bits, std::string* error);

// The key as an unencrypted PEM private key (PKCS#8). Empty on failure.
std::string PrivateKeyToPem(const RsaPrivateKey& key);

// Reads a PEM private key. Returns none and sets *error when the text is not
// a PEM private key or the key is not RSA.
RsaPrivateKeyPtr PrivateKeyFromPem(std::string_view pem, std::string* error);

// Size of the key's modulus in bits.
int PrivateKeyBits(const RsaPrivateKey& key);

// The "PUBLKEY" record of the key's public half, with a zero byte 7. Empty
// on failure.
std::vector<std::uint8_t> MakeKeyRecord(const RsaPrivateKey& key);

// A "SIG" record whose byte 3 is `digit` over `message`, signed with `key`
// (PKCS#1 v1.5 over SHA-1). Empty on failure or when `digit` is not '0'-'9'.
std::vector<std::uint8_t> MakeSignatureRecord(const RsaPrivateKey& key, char digit,
                                              const std::uint8_t* message, std::size_t length);

}  // namespace gantrell
