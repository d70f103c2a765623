// The parts of the crypto facility that do not depend on the backend.
#include "platform/crypto.h"

#include "platform/der.h"

namespace gantrell::crypto {

std::size_t HashLength(HashKind kind) {
  switch (kind) {
    case HashKind::kSha1:
      return kSha1Length;
    case HashKind::kSha256:
      return kSha256Length;
    case HashKind::kSha512:
      return kSha512Length;
  }
  return 0;
}

bool HashBytes(HashKind kind, const void* bytes, std::size_t count, std::uint8_t* out) {
  Hash hash(kind);
  return hash.Add(bytes, count) && hash.Finish(out);
}

int RsaPrivateKey::bits() const {
  return der::BitLength(m_numbers.modulus);
}

}  // namespace gantrell::crypto
