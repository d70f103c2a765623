// Opaque handles for the decoded public key and the running digest a
// provider holds. The cryptographic library stays behind signature.cc.
#pragma once

#include <memory>

namespace gantrell {

struct RsaPublicKey;
struct Sha1Digest;

struct CryptoDeleter {
  void operator()(RsaPublicKey* key) const noexcept;
  void operator()(Sha1Digest* digest) const noexcept;
};

using RsaPublicKeyPtr = std::unique_ptr<RsaPublicKey, CryptoDeleter>;
using Sha1DigestPtr = std::unique_ptr<Sha1Digest, CryptoDeleter>;

}  // namespace gantrell
