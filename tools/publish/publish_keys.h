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

// The kind of key commands make unless told otherwise. RSA signs with
// SHA-1, the legacy form, but every client checks it.
inline constexpr KeyKind kDefaultKeyKind = KeyKind::kRsa;

// The lines of --help that say which kind of key to choose.
inline constexpr std::string_view kKeyTypeHelp =
    "Key types: rsa (the default) signs with RSA PKCS#1 v1.5 over SHA-1, the\n"
    "legacy form that every client checks. ed25519 signs with Ed25519 over\n"
    "SHA-512: choose it for a new provider, or move to it with 'rotate --type\n"
    "ed25519', once its subscribers run a client that knows Ed25519 keys; an\n"
    "older client refuses everything such a key signs. Clients accept only\n"
    "signatures of the kind of key they hold for the provider.\n"
    "\n";

// Parses a --bits value; false for anything outside kMinKeyBits..kMaxKeyBits.
bool ParseKeyBits(std::string_view text, int* bits);

// Parses a --type value, "rsa" or "ed25519"; false for anything else.
bool ParseKeyType(std::string_view text, KeyKind* kind);

// "2048-bit RSA" or "Ed25519": the key as the commands' output names it.
std::string KeyLabel(const PrivateKey& key);

// Reads an unencrypted PEM private key (RSA or Ed25519); the error names the
// file.
bool LoadPrivateKey(const std::string& path, PrivateKeyPtr* key, std::string* error);

// A new key of `kind` (of `bits` bits for RSA) with its key record and PEM
// text.
bool GenerateKey(KeyKind kind, int bits, PrivateKeyPtr* key, Bytes* record, std::string* pem,
                 std::string* error);

// The key's "PUBLKEY" record; fails when it is longer than clients read.
bool MakeCheckedKeyRecord(const PrivateKey& key, Bytes* record, std::string* error);

// Signs `message` into a "SIG<digit>" record and verifies the result against
// `key`'s own record exactly as a client would, so that nothing unusable is
// ever written.
bool SignChecked(const PrivateKey& key, char digit, const Bytes& message, Bytes* record,
                 std::string* error);

inline Bytes ToBytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}
inline std::string_view AsText(const Bytes& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace gantrell::publish
