// Key and signature records of both kinds on any bytes: the key decoder,
// the item signature's form against every kind of key, the key's
// description, and a signature check of a message with whatever key came
// out.
//
// Input: a flags byte, a length byte and that many bytes of key DER, a
// length byte and that many message bytes; the rest is the signature
// record's body. Flag 1 puts the Ed25519 key prefix before the key bytes,
// so that most inputs reach the Ed25519 decoder; the next two bits choose
// the digit after "SIG".
#include <cstdint>
#include <vector>

#include "model/provider.h"
#include "net/signature.h"

namespace {

constexpr std::uint8_t kEd25519Prefix[] = {0x30, 0x2a, 0x30, 0x05, 0x06, 0x03,
                                           0x2b, 0x65, 0x70, 0x03, 0x21, 0x00};

// Takes a length byte and up to that many bytes from the input.
std::vector<std::uint8_t> TakeCounted(const std::uint8_t*& data, std::size_t& size) {
  if (size == 0)
    return {};
  std::size_t count = *data++;
  --size;
  if (count > size)
    count = size;
  std::vector<std::uint8_t> taken(data, data + count);
  data += count;
  size -= count;
  return taken;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  if (size == 0)
    return 0;
  const std::uint8_t flags = *data++;
  --size;

  std::vector<std::uint8_t> key = {'P', 'U', 'B', 'L', 'K', 'E', 'Y', 0};
  if (flags & 1)
    key.insert(key.end(), std::begin(kEd25519Prefix), std::end(kEd25519Prefix));
  const std::vector<std::uint8_t> der = TakeCounted(data, size);
  key.insert(key.end(), der.begin(), der.end());
  const std::vector<std::uint8_t> message = TakeCounted(data, size);

  const char digits[] = {'1', '2', '0', '9'};
  std::vector<std::uint8_t> signature = {'S', 'I', 'G',
                                         static_cast<std::uint8_t>(digits[(flags >> 1) & 3])};
  signature.insert(signature.end(), data, data + size);

  CProvider provider;
  provider.SetPublicKey(key.data(), static_cast<int>(key.size()));
  (void)KeyDescription(provider.PublicKeyKind(), provider.PublicKeyBits());
  for (const KeyKind kind : {KeyKind::kNone, KeyKind::kRsa, KeyKind::kEd25519}) {
    (void)ClassifyItemSignature(kind, signature.data(), static_cast<int>(signature.size()));
    (void)ClassifyItemSignature(kind, data, static_cast<int>(size));
  }
  provider.BeginDigest();
  provider.AddToDigest(message.data(), static_cast<int>(message.size()));
  provider.VerifySignature(signature.data(), static_cast<int>(signature.size()));
  // The raw rest as a record of its own, after the digest is used up.
  provider.VerifySignature(data, static_cast<int>(size));
  return 0;
}
