// The key file reader and the key decoder on any bytes, followed by a
// signature check with whatever key came out.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "model/key_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  ProviderList providers;
  for (int i = 0; i < 4; ++i)
    providers.push_back(std::make_unique<CProvider>());

  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::FILE* file = size > 0 ? fmemopen(bytes.data(), bytes.size(), "rb") : std::tmpfile();
  if (file == nullptr)
    return 0;
  ReadKeyRecords(file, 0, providers);
  std::fclose(file);

  // The input itself as a key record and as a signature record.
  CProvider direct;
  direct.SetPublicKey(data, static_cast<int>(size));
  for (CProvider* provider : {&direct, providers[0].get(), providers[3].get()}) {
    provider->BeginDigest();
    provider->AddToDigest(data, static_cast<int>(size / 2));
    provider->VerifySignature(data, static_cast<int>(size));
    provider->VerifySignature(data, static_cast<int>(size));  // digest already consumed
  }
  return 0;
}
