#include "app/client_app.h"

#include "platform/single_instance.h"

#include "model/built_in_providers.h"
#include "model/number_scan.h"
#include "platform/environment.h"

namespace gantrell {
// Every run seeds its own draws: clients that all drew the same sequence
// would spread their checks the same way and defeat the spreading.
CClientApp::CClientApp(Registry& registry, const OsVersion& os_version, std::string program_name)
    : m_registry(registry),
      m_osVersion(os_version),
      m_profile(registry, std::move(program_name)),
      m_random(std::random_device{}()) {}

int CClientApp::DrawCheckSpread() {
  return std::uniform_int_distribution<int>(0, kMaxDraw)(m_random);
}

ControlFileContext CClientApp::MakeControlFileContext() {
  ControlFileContext context;
  context.now = Now();
  context.draw = [this] { return DrawCheckSpread(); };
  // Parses run on the refresh thread, and only look for a moved item's old
  // file (no prompt, no new folders) or make the folder of its new number.
  context.default_save_path = [this](const CUpdateItem& item) {
    return ExistingItemSavePath(item);
  };
  context.new_save_path = [this](const CUpdateItem& item) { return FindItemSavePath(item); };
  return context;
}

CClientApp::~CClientApp() {
  ReleaseAll();
}

void CClientApp::Message(const std::string& text, MessageIcon icon) {
  if (m_pFrontend != nullptr)
    m_pFrontend->ShowMessage(text, icon, MessageButtons::kOk);
}

CProvider* CClientApp::GetProvider(int index) const {
  if (index < 0 || index >= GetProviderCount())
    return nullptr;
  return m_providers[static_cast<std::size_t>(index)].get();
}

void CClientApp::SetUpBuiltInProviders() {
  m_providers.clear();
  for (const std::string& address : BuiltInAddresses(KeyServerBase(m_registry))) {
    m_providers.push_back(MakeNewProvider(address));
  }
}

void CClientApp::RefreshBuiltInAddresses() {
  if (GetProviderCount() < kBuiltInProviderCount)
    SetUpBuiltInProviders();
  const auto addresses = BuiltInAddresses(KeyServerBase(m_registry));
  for (int i = 0; i < kBuiltInProviderCount; ++i) {
    m_providers[static_cast<std::size_t>(i)]->m_strAddress = addresses[static_cast<std::size_t>(i)];
  }
}

bool CClientApp::ReadRegistryString(RegRoot root, std::string_view sub_key,
                                    std::string_view value_name, std::string* out) const {
  RegValue value;
  if (!m_registry.QueryValue(root, sub_key, value_name, &value))
    return false;
  if (value.type == kRegSz) {
    *out = value.AsText();
  } else if (value.type == kRegExpandSz) {
    *out = ExpandEnvironmentStrings(value.AsText());
  } else {
    return false;
  }
  return true;
}

bool CClientApp::IsItemPending(const CUpdateItem& item) const {
  const CUpdateGroup* group = item.m_pGroup;
  if (group == nullptr || group->m_bScan == 0)
    return false;
  const CProvider* provider = group->m_pProvider;
  if (provider == nullptr || provider->m_nScanMode == 0)
    return false;

  std::int32_t day, month, year;
  Time item_time;
  if (!ScanDateNumbers(item.m_strDate, &day, &month, &year) ||
      !LocalNoon(day, month, year, &item_time)) {
    return false;
  }
  // Whole days, truncated toward zero: one calendar day before the baseline
  // still counts as recent.
  const Time whole_days = (item_time - provider->m_timeBaseline) / kSecondsPerDay;

  const bool condition_holds =
      item.m_pCondition == nullptr || item.m_pCondition->Evaluate(conditions());
  return whole_days >= -1 && item.m_nTakenStamp != item.m_nStamp && condition_holds;
}

bool CClientApp::HasPendingItems() const {
  for (int p = kAuthorityEntryCount; p < GetProviderCount(); ++p) {
    const CProvider* provider = GetProvider(p);
    for (int g = 0; g < provider->GetGroupCount(); ++g) {
      const CUpdateGroup* group = provider->GetGroup(g);
      for (int i = 0; i < group->GetItemCount(); ++i) {
        if (IsItemPending(*group->GetItem(i)))
          return true;
      }
    }
  }
  return false;
}

}  // namespace gantrell
