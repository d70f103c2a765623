// The list state reader (listdata.dat) on any text, over a fixed store:
// whatever it gives the providers must write out and read back whole, to
// the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "model/list_state.h"
#include "model/token_reader.h"

namespace {

gantrell::ProviderList Store() {
  using namespace gantrell;
  ProviderList providers;
  for (const char* address : {"http://a.test/", "http://b.test/"}) {
    providers.push_back(std::make_unique<CProvider>());
    providers.back()->m_strAddress = address;
    for (const char* group_name : {"Tools", "Fix\"es"}) {
      CUpdateGroup* group = providers.back()->AddGroup();
      group->m_strName = group_name;
      for (int i = 0; i < 2; ++i) {
        CUpdateItem* item = group->AddItem();
        item->m_strName = "item" + std::to_string(i);
        item->m_nStamp = 17 + i;
      }
    }
  }
  return providers;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ProviderList providers = Store();
  CStringTokenReader reader(text);
  ReadListState(reader, &providers);

  const std::string written = FormatListState(providers);
  ProviderList again = Store();
  CStringTokenReader reread(written);
  if (!ReadListState(reread, &again) || FormatListState(again) != written)
    std::abort();
  return 0;
}
