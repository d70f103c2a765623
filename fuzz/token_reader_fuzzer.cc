// The two token readers must split any input the same way: the file reader
// through its 256-byte chunks, the string reader in one piece.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "model/token_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const int limit = data[0] % 64;  // small limits exercise the cut
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

  std::FILE* file = fmemopen(const_cast<char*>(text.data()), text.size(), "rb");
  if (text.empty())
    file = std::tmpfile();
  if (file == nullptr)
    return 0;
  gantrell::CFileTokenReader from_file(file);
  gantrell::CStringTokenReader from_string(text);

  std::string a, b;
  bool overflow_a = false, overflow_b = false;
  for (;;) {
    const bool got_a = from_file.ReadToken(&a, limit, &overflow_a);
    const bool got_b = from_string.ReadToken(&b, limit, &overflow_b);
    if (got_a != got_b || a != b || overflow_a != overflow_b)
      std::abort();
    if (static_cast<int>(a.size()) > limit)
      std::abort();
    if (!got_a)
      break;
  }
  std::fclose(file);
  return 0;
}
