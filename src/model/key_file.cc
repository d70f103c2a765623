#include "model/key_file.h"

namespace gantrell {

void ReadKeyRecords(std::FILE* file, int start_index, ProviderList& providers) {
  if (start_index < 0)
    return;
  for (std::size_t index = static_cast<std::size_t>(start_index); index < providers.size();
       ++index) {
    CProvider& provider = *providers[index];
    std::uint8_t head[2];
    if (std::fread(head, 1, 2, file) != 2)
      return;
    if (head[0] == 'X') {
      provider.ClearKeyData();
      continue;
    }
    const int length = head[0] * 256 + head[1];
    if (length > kMaxKeyRecordLength)
      return;
    std::uint8_t record[kMaxKeyRecordLength];
    if (std::fread(record, 1, static_cast<std::size_t>(length), file) !=
        static_cast<std::size_t>(length)) {
      return;
    }
    provider.SetKeyData(record, length);
    provider.SetPublicKey(record, length);
  }
}

std::string FormatKeyFile(const ProviderList& providers) {
  std::string out;
  for (const auto& provider : providers) {
    const int length = provider->m_nKeyLength;
    // A record the reader would refuse must not be written: it would end the
    // reading and leave every later provider without its key.
    if (provider->m_pKeyData == nullptr || length <= 0 || length > kMaxKeyRecordLength) {
      out += "XX";
      continue;
    }
    out += static_cast<char>(length / 256);
    out += static_cast<char>(length - 256 * (length / 256));
    out.append(reinterpret_cast<const char*>(provider->m_pKeyData.get()),
               static_cast<std::size_t>(length));
  }
  return out;
}

}  // namespace gantrell
