// What a quiet silent check tells ("N new items from A and B"): the same
// items the main window lists, their providers each once in list order,
// and the selection left as it was.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "platform/os_version.h"
#include "support/memory_registry.h"

namespace gantrell {
namespace {

class NoOsVersion : public OsVersion {
 public:
  bool Query(OsVersionInfo*) const override { return false; }
};

struct ProviderPlan {
  const char* name;
  bool verified;
  int scanned;         // the group's scan flag
  int pending;         // items not taken yet
  int taken;           // items whose stamp was taken
};

void AddProvider(CClientApp& app, const ProviderPlan& plan) {
  auto provider = std::make_unique<CProvider>();
  provider->m_strKeyName = plan.name;
  provider->m_bVerified = plan.verified;
  provider->m_nScanMode = 1;
  CUpdateGroup* group = provider->AddGroup();
  group->m_bScan = plan.scanned;
  for (int i = 0; i < plan.pending + plan.taken; ++i) {
    CUpdateItem* item = group->AddItem();
    item->m_strName = std::string(plan.name) + "-" + std::to_string(i);
    item->m_strDate = "7 12 2026";
    item->m_nStamp = 10 + i;
    item->m_nTakenStamp = i < plan.pending ? -1 : item->m_nStamp;
  }
  app.m_providers.push_back(std::move(provider));
}

TEST(PendingSummary, CountsWhatTheWindowListsAndNamesEachProviderOnce) {
  const struct {
    const char* label;
    std::vector<ProviderPlan> plans;
    std::size_t items;
    std::vector<std::string> providers;
  } cases[] = {
      {"nothing", {}, 0, {}},
      {"one provider", {{"A", true, 1, 3, 0}}, 3, {"A"}},
      {"in list order", {{"B", true, 1, 1, 0}, {"A", true, 1, 2, 0}}, 3, {"B", "A"}},
      {"taken items, unverified and unscanned providers left out",
       {{"A", true, 1, 1, 4}, {"U", false, 1, 5, 0}, {"S", true, 0, 5, 0}, {"C", true, 1, 2, 0}},
       3,
       {"A", "C"}},
      {"a provider with nothing pending is not named", {{"A", true, 1, 0, 2}}, 0, {}},
  };
  for (const auto& c : cases) {
    testing::MemoryRegistry registry;
    NoOsVersion os;
    CClientApp app(registry, os);
    app.SetUpBuiltInProviders();
    for (const ProviderPlan& plan : c.plans)
      AddProvider(app, plan);
    // The user's earlier choices stay as they are.
    CUpdateItem* chosen = nullptr;
    if (!c.plans.empty()) {
      chosen = app.GetProvider(app.GetProviderCount() - 1)->GetGroup(0)->GetItem(0);
      chosen->m_bSelected = false;
    }
    const PendingSummary summary = SummarizePending(app);
    EXPECT_EQ(summary.items, c.items) << c.label;
    EXPECT_EQ(summary.providers, c.providers) << c.label;
    if (chosen != nullptr) {
      EXPECT_FALSE(chosen->m_bSelected) << c.label;
    }
    EXPECT_EQ(FillPendingList(app).size(), c.items) << c.label;
  }
}

}  // namespace
}  // namespace gantrell
