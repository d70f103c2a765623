// The provider store reader on any text; whatever it reads must write out
// and read back whole, to the same store text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/store_format.h"
#include "model/token_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ProviderList providers;
  CStringTokenReader reader(text);
  ReadStore(reader, &providers, 1767268800);

  const std::string written = FormatStore(providers);
  ProviderList again;
  CStringTokenReader reread(written);
  bool whole = false;
  if (!ReadStore(reread, &again, 1767268800, &whole) || !whole)
    std::abort();
  if (again.size() != providers.size() || FormatStore(again) != written)
    std::abort();
  return 0;
}
