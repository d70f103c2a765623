// The control file parser on any text, twice over the same provider so the
// merge paths (existing groups and items, replaced conditions) run too.
#include <cstdint>
#include <string>

#include "model/provider.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ControlFileContext context;
  context.now = 1767268800;
  context.draw = [] { return 12345; };
  // No file is ever deleted from here.
  context.default_save_path = [](const CUpdateItem&) { return std::string(); };

  CProvider provider;
  provider.m_nScanMode = size % 3;
  for (int pass = 0; pass < 2; ++pass) {
    std::string copy = text;
    provider.ParseControlFile(copy, context);
  }
  return 0;
}
