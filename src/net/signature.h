// Key records, signature records, and the signing side used by the
// publishing tool. The verifying side is a set of CProvider operations
// (model/provider.h); both are implemented in signature.cc on the
// platform's crypto facility (platform/crypto.h).
// docs/signature-records.md describes the records.
//
// Key record:       "PUBLKEY", one uninterpreted byte, then the public key in
//                   DER: an RSAPublicKey (modulus and public exponent) for
//                   RSA, a SubjectPublicKeyInfo with the Ed25519 algorithm
//                   (44 bytes) for Ed25519. The DER alone tells the kinds
//                   apart.
// Signature record: "SIG", one ASCII digit whose meaning depends on the file,
//                   then the signature of the key's kind: RSA PKCS#1 v1.5
//                   over the SHA-1 digest of the signed bytes (as long as the
//                   key's modulus), or Ed25519 over the 64-byte SHA-512
//                   digest of the signed bytes (64 bytes).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/crypto_handles.h"

namespace gantrell {

inline constexpr std::string_view kKeyRecordTag = "PUBLKEY";
inline constexpr int kKeyRecordHeaderLength = 8;
inline constexpr std::string_view kSignatureTag = "SIG";
inline constexpr int kSignatureHeaderLength = 4;
// The client reads key records and most signature records into 512 bytes;
// anything longer is cut and can never be used.
inline constexpr int kMaxRecordLength = 512;
// Byte 3 of an item's signature record names the kind of key that made it,
// so that a client which knows only RSA refuses an Ed25519 item as a format
// it does not know rather than as a corrupt download.
inline constexpr char kRsaItemDigit = '1';
inline constexpr char kEd25519ItemDigit = '2';
inline constexpr int kEd25519KeyBits = 256;

// True when `record` (of `length` bytes, which may be short or negative)
// begins with "PUBLKEY" / "SIG". Never reads past `length`.
bool IsKeyRecord(const std::uint8_t* record, int length);
bool IsSignatureRecord(const std::uint8_t* record, int length);

// The digit an item signature made with a key of `kind` carries after
// "SIG" ('1' for RSA and for no key, '2' for Ed25519).
char ItemSignatureDigit(KeyKind kind);

// How an item's signature record stands to the provider's key.
enum class ItemSignatureForm {
  kNotARecord,  // does not begin with "SIG"
  kUnknown,     // "SIG" and a digit no kind of key uses, or nothing after "SIG"
  kOtherKind,   // the form of another kind of key than the provider's
  kFitsKey,     // the form of the provider's key (or of any kind, without one)
};
ItemSignatureForm ClassifyItemSignature(KeyKind key, const std::uint8_t* record, int length);

// What users read about a key: "Ed25519", "RSA 2048 / SHA-1"; empty for
// kNone.
std::string KeyDescription(KeyKind kind, int bits);

// A private key (RSA or Ed25519), for publishing only; the client never
// holds one.
struct PrivateKey;
struct PrivateKeyDeleter {
  void operator()(PrivateKey* key) const noexcept;
};
using PrivateKeyPtr = std::unique_ptr<PrivateKey, PrivateKeyDeleter>;
// The names from before Ed25519 keys, for callers that make RSA keys only.
using RsaPrivateKey = PrivateKey;
using RsaPrivateKeyPtr = PrivateKeyPtr;

// A fresh RSA key pair of `bits` bits (public exponent 65537). Returns none
// and sets *error on failure.
PrivateKeyPtr GenerateRsaKey(int bits, std::string* error);
// A fresh Ed25519 key pair. Returns none and sets *error on failure.
PrivateKeyPtr GenerateEd25519Key(std::string* error);

// The key as an unencrypted PEM private key (PKCS#8). Empty on failure.
std::string PrivateKeyToPem(const PrivateKey& key);

// Reads a PEM private key. Returns none and sets *error when the text is not
// an unencrypted PEM private key or the key is neither RSA nor Ed25519.
PrivateKeyPtr PrivateKeyFromPem(std::string_view pem, std::string* error);

KeyKind PrivateKeyKind(const PrivateKey& key);
// Size of the key in bits: the RSA modulus, kEd25519KeyBits for Ed25519.
int PrivateKeyBits(const PrivateKey& key);

// The "PUBLKEY" record of the key's public half, with a zero byte 7. Empty
// on failure.
std::vector<std::uint8_t> MakeKeyRecord(const PrivateKey& key);

// A "SIG" record whose byte 3 is `digit` over `message`, signed with `key`
// in the form of its kind (RSA PKCS#1 v1.5 over SHA-1, or Ed25519 over
// SHA-512). Empty on failure or when `digit` is not '0'-'9'.
std::vector<std::uint8_t> MakeSignatureRecord(const PrivateKey& key, char digit,
                                              const std::uint8_t* message, std::size_t length);

}  // namespace gantrell
