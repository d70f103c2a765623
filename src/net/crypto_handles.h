// Opaque handles for the decoded public key and the running digest a
// provider holds. The cryptography stays behind signature.cc and the
// platform's crypto facility.
#pragma once

#include <memory>

namespace gantrell {

// The kinds of key a key record can hold. The key decides how every
// signature checked with it is made: an RSA key checks only RSA PKCS#1 v1.5
// over SHA-1, an Ed25519 key only Ed25519 over SHA-512 of the signed bytes.
enum class KeyKind { kNone, kRsa, kEd25519 };

struct PublicKey;
struct Digest;

struct CryptoDeleter {
  void operator()(PublicKey* key) const noexcept;
  void operator()(Digest* digest) const noexcept;
};

using PublicKeyPtr = std::unique_ptr<PublicKey, CryptoDeleter>;
using DigestPtr = std::unique_ptr<Digest, CryptoDeleter>;

}  // namespace gantrell
