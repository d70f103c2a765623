#include "publish_keys.h"

#include "command.h"
#include "model/provider.h"
#include "tool_files.h"

namespace gantrell::publish {

bool ParseKeyBits(std::string_view text, int* bits) {
  return ParseNumber(text, kMinKeyBits, kMaxKeyBits, bits);
}

bool ParseKeyType(std::string_view text, KeyKind* kind) {
  if (text == "rsa") {
    *kind = KeyKind::kRsa;
    return true;
  }
  if (text == "ed25519") {
    *kind = KeyKind::kEd25519;
    return true;
  }
  return false;
}

std::string KeyLabel(const PrivateKey& key) {
  if (PrivateKeyKind(key) == KeyKind::kEd25519)
    return "Ed25519";
  return std::to_string(PrivateKeyBits(key)) + "-bit RSA";
}

bool LoadPrivateKey(const std::string& path, PrivateKeyPtr* key, std::string* error) {
  std::string pem;
  if (!ReadWholeFile(path, &pem, error, 1024 * 1024))
    return false;
  std::string reason;
  *key = PrivateKeyFromPem(pem, &reason);
  if (*key == nullptr) {
    *error = "'" + path + "': " + reason;
    return false;
  }
  return true;
}

bool MakeCheckedKeyRecord(const PrivateKey& key, Bytes* record, std::string* error) {
  *record = MakeKeyRecord(key);
  if (record->empty()) {
    *error = "cannot encode the public key";
    return false;
  }
  if (record->size() > static_cast<std::size_t>(kMaxRecordLength)) {
    *error = "a " + KeyLabel(key) + " key makes a key record of " +
             std::to_string(record->size()) + " bytes; clients read at most " +
             std::to_string(kMaxRecordLength);
    return false;
  }
  return true;
}

bool GenerateKey(KeyKind kind, int bits, PrivateKeyPtr* key, Bytes* record, std::string* pem,
                 std::string* error) {
  *key = kind == KeyKind::kEd25519 ? GenerateEd25519Key(error) : GenerateRsaKey(bits, error);
  if (*key == nullptr)
    return false;
  if (!MakeCheckedKeyRecord(**key, record, error))
    return false;
  *pem = PrivateKeyToPem(**key);
  if (pem->empty()) {
    *error = "cannot encode the private key";
    return false;
  }
  return true;
}

bool SignChecked(const PrivateKey& key, char digit, const Bytes& message, Bytes* record,
                 std::string* error) {
  Bytes key_record;
  if (!MakeCheckedKeyRecord(key, &key_record, error))
    return false;
  *record = MakeSignatureRecord(key, digit, message.data(), message.size());
  if (record->empty()) {
    *error = "signing failed";
    return false;
  }
  if (record->size() > static_cast<std::size_t>(kMaxRecordLength)) {
    *error = "the signature record is " + std::to_string(record->size()) +
             " bytes; clients read at most " + std::to_string(kMaxRecordLength);
    return false;
  }
  CProvider check;
  check.SetPublicKey(key_record.data(), static_cast<int>(key_record.size()));
  check.BeginDigest();
  check.AddToDigest(message.data(), static_cast<int>(message.size()));
  if (!check.VerifySignature(record->data(), static_cast<int>(record->size()))) {
    *error = "the new signature does not verify";
    return false;
  }
  return true;
}

}  // namespace gantrell::publish
