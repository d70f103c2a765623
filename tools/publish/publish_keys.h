// Key and signature helpers shared by the commands of gantrell-publish.
// Every record they return has been checked the way a client checks it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "net/signature.h"

namespace gantrell::publish {

using Bytes = std::vector<std::uint8_t>;

inline constexpr int kDefaultKeyBits = 2048;
inline constexpr int kMinKeyBits = 1024;
// The largest key whose "PUBLKEY" record still fits the 512 bytes clients
// read: 8 header bytes and a 504-byte DER structure.
inline constexpr int kMaxKeyBits = 3920;

// Parses a --bits value; false for anything outside kMinKeyBits..kMaxKeyBits.
bool ParseKeyBits(std::string_view text, int* bits);

// Reads an unencrypted PEM RSA private key; the error names the file.
bool LoadPrivateKey(const std::string& path, RsaPrivateKeyPtr* key, std::string* error);

// A new key of `bits` bits with its key record and PEM text.
bool GenerateKey(int bits, RsaPrivateKeyPtr* key, Bytes* record, std::string* pem,
                 std::string* error);

// The key's "PUBLKEY" record; fails when it is longer than clients read.
bool MakeCheckedKeyRecord(const RsaPrivateKey& key, Bytes* record, std::string* error);

// Signs `message` into a "SIG<digit>" record and verifies the result against
// `key`'s own record exactly as a client would, so that nothing unusable is
// ever written.
bool SignChecked(const RsaPrivateKey& key, char digit, const Bytes& message, Bytes* record,
                 std::string* error);

inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}
inline std::string_view AsText(const Bytes& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace gantrell::publish
