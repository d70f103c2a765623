#include "model/built_in_providers.h"

#include <cstdlib>

#include "platform/registry.h"

namespace gantrell {
namespace {

constexpr std::string_view kMachineSettingsKey = "Software\\Gantrell\\gantrell\\mainpath";

std::string WithoutTrailingSlashes(std::string base) {
  while (!base.empty() && base.back() == '/')
    base.pop_back();
  return base;
}

}  // namespace

std::string KeyServerBase(const Registry& registry) {
  if (const char* env = std::getenv("GANTRELL_KEY_SERVER"); env != nullptr && *env != '\0') {
    return WithoutTrailingSlashes(env);
  }
  RegValue value;
  if (registry.QueryValue(RegRoot::kLocalMachine, kMachineSettingsKey, "KeyServer", &value) &&
      (value.type == kRegSz || value.type == kRegExpandSz)) {
    std::string text = WithoutTrailingSlashes(value.AsText());
    if (!text.empty())
      return text;
  }
  return std::string(kDefaultKeyServer);
}

std::unique_ptr<CProvider> MakeNewProvider(const std::string& address) {
  auto provider = std::make_unique<CProvider>();
  provider->m_strAddress = address;
  provider->m_nScanMode = 1;
  LocalNoon(9, 9, 1999, &provider->m_timeBaseline);
  LocalNoon(10, 10, 1999, &provider->m_timeNextCheck);
  provider->m_timeListDate = provider->m_timeBaseline;
  provider->m_timeKeyMade = provider->m_timeBaseline;
  return provider;
}

std::array<std::string, kBuiltInProviderCount> BuiltInAddresses(std::string_view base) {
  std::array<std::string, kBuiltInProviderCount> addresses;
  for (int i = 0; i < kBuiltInProviderCount; ++i) {
    addresses[static_cast<std::size_t>(i)] =
        std::string(base) + std::string(kBuiltInPaths[static_cast<std::size_t>(i)]);
  }
  return addresses;
}

bool IsRevokedBuiltInEntry(const ProviderList& providers, int index) {
  if (index < 1 || index >= kBuiltInProviderCount || index >= static_cast<int>(providers.size()))
    return false;
  const CProvider& master = *providers[0];
  const std::string& address = providers[static_cast<std::size_t>(index)]->m_strAddress;
  for (int g = 0; g < master.GetGroupCount(); ++g) {
    const CUpdateGroup& group = *master.GetGroup(g);
    for (int i = 0; i < group.GetItemCount(); ++i) {
      if (group.GetItem(i)->m_strName == address)
        return true;
    }
  }
  return false;
}

void StripRevokedEntry(CProvider& entry) {
  entry.ClearKeyData();
  entry.m_pPublicKey.reset();
  entry.m_pDigest.reset();
  while (entry.GetGroupCount() > 0)
    entry.RemoveGroup(entry.GetGroupCount() - 1);
  entry.m_bVerified = false;
  entry.m_bListParsed = 0;
}

}  // namespace gantrell
