#include "app/client_app.h"

#include <gtest/gtest.h>

#include "model/built_in_providers.h"
#include "platform/os_version_registry.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::TempRegistry;

Time Noon(int day, int month, int year) {
  Time t = 0;
  EXPECT_TRUE(LocalNoon(day, month, year, &t));
  return t;
}

class ClientAppTest : public ::testing::Test {
 protected:
  ClientAppTest() : key_server_("GANTRELL_KEY_SERVER", nullptr), os_(reg_), app_(reg_, os_) {}

  // A user provider (index 5) with one scanned group holding one item that
  // is pending: dated on the baseline, never taken, no condition.
  CUpdateItem* AddPendingItem() {
    app_.SetUpBuiltInProviders();
    app_.m_providers.push_back(std::make_unique<CProvider>());
    CProvider* provider = app_.m_providers.back().get();
    provider->m_nScanMode = 1;
    provider->m_timeBaseline = Noon(10, 1, 2026);
    CUpdateGroup* group = provider->AddGroup();
    group->m_bScan = 1;
    CUpdateItem* item = group->AddItem();
    item->m_strDate = "10 1 2026";
    item->m_nStamp = 3;
    return item;
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
};

TEST_F(ClientAppTest, BuiltInEntriesAndTheirKeyServer) {
  app_.SetUpBuiltInProviders();
  ASSERT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(app_.GetProvider(0)->m_strAddress, "http://keys.gantrell.org/ngtlkey/master/");
  EXPECT_EQ(app_.GetProvider(4)->m_strAddress, "http://keys.gantrell.org/ngtlkey/gtl/");
  EXPECT_EQ(app_.GetProvider(-1), nullptr);
  EXPECT_EQ(app_.GetProvider(5), nullptr);
  const CProvider& master = *app_.GetProvider(0);
  EXPECT_EQ(master.m_nScanMode, 1);
  EXPECT_EQ(master.m_timeBaseline, Noon(9, 9, 1999));
  EXPECT_EQ(master.m_timeNextCheck, Noon(10, 10, 1999));
  EXPECT_EQ(master.m_timeListDate, master.m_timeBaseline);
  EXPECT_EQ(master.m_timeKeyMade, master.m_timeBaseline);

  // The machine-wide value moves the key server; the environment beats it.
  reg_.SetString(RegRoot::kLocalMachine, "Software\\Gantrell\\gantrell\\mainpath", "KeyServer",
                 "http://machine.example/");
  app_.GetProvider(2)->m_strKeyName = "kept";
  app_.RefreshBuiltInAddresses();
  EXPECT_EQ(app_.GetProvider(2)->m_strAddress, "http://machine.example/ngtlkey/signtwo/");
  EXPECT_EQ(app_.GetProvider(2)->m_strKeyName, "kept");
  ScopedEnv env("GANTRELL_KEY_SERVER", "http://127.0.0.1:8080");
  app_.RefreshBuiltInAddresses();
  EXPECT_EQ(app_.GetProvider(3)->m_strAddress, "http://127.0.0.1:8080/ngtlkey/signthree/");
}

TEST_F(ClientAppTest, RefreshSetsUpEntriesWhenTooFew) {
  app_.m_providers.push_back(std::make_unique<CProvider>());
  app_.m_providers[0]->m_strKeyName = "dropped";
  app_.RefreshBuiltInAddresses();
  ASSERT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(app_.GetProvider(0)->m_strKeyName, "");
}

TEST_F(ClientAppTest, ReadRegistryStringTakesOnlyTexts) {
  const char* key = "Software\\Test";
  reg_.SetString(RegRoot::kCurrentUser, key, "plain", "a %HOME% b");
  reg_.SetString(RegRoot::kCurrentUser, key, "expand", "%GANTRELL_TEST_VAR%\\x", kRegExpandSz);
  reg_.SetDword(RegRoot::kCurrentUser, key, "number", 5);
  ScopedEnv var("GANTRELL_TEST_VAR", "/expanded");

  std::string out = "unchanged";
  EXPECT_TRUE(app_.ReadRegistryString(RegRoot::kCurrentUser, key, "plain", &out));
  EXPECT_EQ(out, "a %HOME% b");  // REG_SZ is not expanded
  EXPECT_TRUE(app_.ReadRegistryString(RegRoot::kCurrentUser, key, "expand", &out));
  EXPECT_EQ(out, "/expanded\\x");
  out = "unchanged";
  EXPECT_FALSE(app_.ReadRegistryString(RegRoot::kCurrentUser, key, "number", &out));
  EXPECT_FALSE(app_.ReadRegistryString(RegRoot::kCurrentUser, key, "missing", &out));
  EXPECT_FALSE(app_.ReadRegistryString(RegRoot::kCurrentUser, "Software\\None", "plain", &out));
  EXPECT_EQ(out, "unchanged");
}

TEST_F(ClientAppTest, AppDataDefaultsToTheDataHome) {
  std::string app_data;
  ASSERT_TRUE(app_.ReadRegistryString(
      RegRoot::kCurrentUser,
      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders", "AppData",
      &app_data));
  EXPECT_FALSE(app_data.empty());
}

TEST_F(ClientAppTest, PendingNeedsScanDateStampAndCondition) {
  CUpdateItem* item = AddPendingItem();
  CUpdateGroup* group = item->m_pGroup;
  CProvider* provider = group->m_pProvider;
  EXPECT_TRUE(app_.IsItemPending(*item));
  EXPECT_TRUE(app_.HasPendingItems());

  struct Case {
    const char* what;
    std::function<void()> change;
    bool pending;
  };
  const Case cases[] = {
      {"group not scanned", [&] { group->m_bScan = 0; }, false},
      {"provider not scanned", [&] { provider->m_nScanMode = 0; }, false},
      {"provider mixed", [&] { provider->m_nScanMode = 2; }, true},
      {"stamp taken", [&] { item->m_nTakenStamp = 3; }, false},
      {"new stamp after taking", [&] { item->m_nTakenStamp = 2; }, true},
      {"one day before the baseline", [&] { item->m_strDate = "9 1 2026"; }, true},
      {"two days before the baseline", [&] { item->m_strDate = "8 1 2026"; }, false},
      {"long after the baseline", [&] { item->m_strDate = "1 1 2030"; }, true},
      {"date of two numbers", [&] { item->m_strDate = "10 1"; }, false},
      {"date that is no date", [&] { item->m_strDate = "soon"; }, false},
      // Leading zeros are decimal: "09" is the 9th, not an octal 0 then 9.
      {"zero-padded date", [&] { item->m_strDate = "09 01 02026"; }, true},
      {"zero-padded date too early", [&] { item->m_strDate = "08 01 2026"; }, false},
      {"condition that fails",
       [&] { item->m_pCondition = CreateCondition("REG"); },  // root 0, no such key
       false},
      {"condition that holds", [&] { item->m_pCondition = CreateCondition("NULL"); }, true},
      {"condition that could not be read", [&] { item->m_pCondition = MakeUnreadableCondition(); },
       false},
  };
  for (const Case& c : cases) {
    CUpdateItem* fresh = AddPendingItem();
    item = fresh;
    group = fresh->m_pGroup;
    provider = group->m_pProvider;
    c.change();
    EXPECT_EQ(app_.IsItemPending(*item), c.pending) << c.what;
    EXPECT_EQ(app_.HasPendingItems(), c.pending) << c.what;
  }
}

TEST_F(ClientAppTest, AuthorityEntriesNeverMakeItemsPending) {
  CUpdateItem* item = AddPendingItem();
  // Move the pending provider's group to authority entry 3.
  CProvider* authority = app_.GetProvider(3);
  authority->m_timeBaseline = item->m_pGroup->m_pProvider->m_timeBaseline;
  CUpdateGroup* group = authority->AddGroup();
  group->m_bScan = 1;
  CUpdateItem* copy = group->AddItem();
  copy->m_strDate = item->m_strDate;
  copy->m_nStamp = 1;
  item->m_nTakenStamp = item->m_nStamp;
  EXPECT_TRUE(app_.IsItemPending(*copy));
  EXPECT_FALSE(app_.HasPendingItems());
  // The client's own provider (index 4) counts.
  CUpdateGroup* own = app_.GetProvider(4)->AddGroup();
  own->m_bScan = 1;
  CUpdateItem* own_item = own->AddItem();
  own_item->m_strDate = "1 1 2026";
  EXPECT_TRUE(app_.HasPendingItems());
}

}  // namespace
}  // namespace gantrell
