// A SHA-256 digest of bytes fed in pieces, for the digest an item's entry
// in its provider's update list carries. Implemented in signature.cc on
// the platform's crypto facility.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace gantrell {

class Sha256Digest {
 public:
  Sha256Digest();
  ~Sha256Digest();

  Sha256Digest(const Sha256Digest&) = delete;
  Sha256Digest& operator=(const Sha256Digest&) = delete;

  void Add(const void* bytes, std::size_t count);
  // The digest of everything added, as 64 lowercase hexadecimal digits; the
  // digest is finished by it, and a second call returns the same text. Empty
  // when the library failed, which matches no listed digest.
  std::string FinishHex();

 private:
  struct Context;
  std::unique_ptr<Context> m_pContext;
  std::string m_strHex;
  bool m_bFinished = false;
  bool m_bFailed = false;
};

// The SHA-256 of `bytes` as 64 lowercase hexadecimal digits.
std::string Sha256Hex(std::string_view bytes);

}  // namespace gantrell
