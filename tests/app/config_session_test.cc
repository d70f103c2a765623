#include "app/config_session.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/client_app.h"
#include "app/main_window_model.h"
#include "net/signature.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

class NeverHolds : public CCondition {
 public:
  bool Evaluate(const ConditionEnv&) const override { return false; }
  bool Parse(CTokenReader&) override { return true; }
  void Write(std::ostream&) const override {}
  std::unique_ptr<CCondition> Clone() const override { return std::make_unique<NeverHolds>(); }
};

constexpr const char* kUnsuitable =
    "This item is unsuitable for this machine.\n Do you really want to download it?";

class ConfigSessionTest : public ::testing::Test {
 protected:
  ConfigSessionTest() : key_server_("GANTRELL_KEY_SERVER", nullptr), os_(reg_), app_(reg_, os_) {
    app_.SetFrontend(&frontend_);
    app_.SetUpBuiltInProviders();
    for (int p = 0; p < app_.GetProviderCount(); ++p)
      app_.GetProvider(p)->m_bVerified = true;
    app_.GetProvider(4)->m_strKeyName = "Gantrell";
    EXPECT_TRUE(
        app_.profile().WriteProfileString("mainpath", "dlpath", downloads_.path(), nullptr));
  }

  // A verified user provider with one group per entry of `scans`, each
  // holding two pending items named "<name>-g<group>-<n>.bin".
  CProvider* AddProvider(const std::string& name, std::vector<int> scans, bool verified = true) {
    auto provider = std::make_unique<CProvider>();
    provider->m_strAddress = "http://" + name + ".example/";
    provider->m_strKeyName = name;
    provider->m_bVerified = verified;
    provider->m_bTransferFlag = true;
    provider->m_nScanMode = 1;
    for (std::size_t g = 0; g < scans.size(); ++g) {
      CUpdateGroup* group = provider->AddGroup();
      group->m_strName = "g" + std::to_string(g);
      group->m_bScan = scans[g];
      for (int i = 0; i < 2; ++i) {
        CUpdateItem* item = group->AddItem();
        item->m_strName = name + "-g" + std::to_string(g) + "-" + std::to_string(i) + ".bin";
        item->m_strLocation = item->m_strName;
        item->m_strDate = "1 6 2020";
        item->m_nStamp = 7;
        item->m_nLength = 2048;
        item->m_nNumber = static_cast<int>(g * 10) + i;
      }
    }
    app_.m_providers.push_back(std::move(provider));
    return app_.m_providers.back().get();
  }

  std::vector<std::string> DownloadRows(const CConfigSession& session) const {
    std::vector<std::string> rows;
    for (const CUpdateItem* item : session.downloads())
      rows.push_back(DownloadRowText(*item));
    return rows;
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
  TempDir downloads_;
};

TEST_F(ConfigSessionTest, ListsVerifiedProvidersFromTheOwnOneAndSelectsTheLast) {
  AddProvider("a", {1});
  AddProvider("b", {1});
  CProvider* last = AddProvider("c", {1});
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.providers().size(), 4u);  // the own provider and three
  EXPECT_EQ(session.providers()[0], app_.GetProvider(4));
  EXPECT_EQ(session.provider_row(), 3);
  EXPECT_EQ(session.provider(), last);
  EXPECT_EQ(session.groups().size(), 1u);
}

TEST_F(ConfigSessionTest, UnverifiedProvidersAreNotListedAndTheLastListedIsSelected) {
  CProvider* a = AddProvider("a", {1});
  AddProvider("hidden", {1}, /*verified=*/false);
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.providers().size(), 2u);
  // N - 5 would point past the list.
  EXPECT_EQ(session.provider(), a);
}

TEST_F(ConfigSessionTest, TheSelectedProvidersKeyIsNamed) {
  std::string error;
  PrivateKeyPtr ed = GenerateEd25519Key(&error);
  PrivateKeyPtr rsa = GenerateRsaKey(1024, &error);
  ASSERT_TRUE(ed && rsa) << error;
  for (const PrivateKey* key : {ed.get(), rsa.get()}) {
    const std::vector<std::uint8_t> record = MakeKeyRecord(*key);
    AddProvider(PrivateKeyKind(*key) == KeyKind::kRsa ? "rsa" : "ed", {1})
        ->SetPublicKey(record.data(), static_cast<int>(record.size()));
  }
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.providers().size(), 3u);
  const char* expected[] = {"Key: none", "Key: Ed25519", "Key: RSA 1024 / SHA-1"};
  for (int row = 0; row < 3; ++row) {
    session.SelectProvider(row);
    EXPECT_EQ(session.provider_key_text(), expected[row]) << row;
  }
}

TEST_F(ConfigSessionTest, ProviderChangeSetsTheThreeScanStates) {
  struct Case {
    std::vector<int> scans;
    int state;
    std::size_t selected;  // items chosen for download
  };
  const Case cases[] = {
      {{1, 1}, 1, 4},
      {{0, 0}, 0, 0},
      {{1, 0}, 2, 1},  // mixed: nothing changes (one item starts selected)
  };
  for (const Case& c : cases) {
    app_.SetUpBuiltInProviders();
    app_.GetProvider(4)->m_bVerified = true;
    CProvider* provider = AddProvider("p", c.scans);
    provider->GetGroup(0)->GetItem(0)->m_bSelected = true;
    CConfigSession session(app_);
    session.Open();
    EXPECT_EQ(session.provider_scan(), c.state) << c.state;
    EXPECT_EQ(provider->m_nScanModeEdit, c.state);
    EXPECT_EQ(session.downloads().size(), c.selected) << c.state;
    for (int g = 0; g < provider->GetGroupCount(); ++g)
      EXPECT_EQ(provider->GetGroup(g)->m_bScanEdit, c.scans[g]) << c.state;
    session.RollBack();
  }
}

TEST_F(ConfigSessionTest, ClickingTheProviderBoxAppliesItToEveryGroupAndItem) {
  CProvider* provider = AddProvider("p", {1, 0});
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.provider_scan(), 2);
  EXPECT_EQ(CConfigSession::NextScanState(2), 0);
  session.ClickProviderScan(0);
  EXPECT_EQ(provider->m_nScanModeEdit, 0);
  EXPECT_EQ(provider->GetGroup(0)->m_bScanEdit, 0);
  EXPECT_TRUE(session.downloads().empty());
  session.ClickProviderScan(1);
  EXPECT_EQ(provider->GetGroup(1)->m_bScanEdit, 1);
  EXPECT_TRUE(session.group_scan());
  // Pending follows the live flags: group 1 does not scan until OK.
  EXPECT_EQ(DownloadRows(session),
            (std::vector<std::string>{"p-g0-0.bin from p", "p-g0-1.bin from p"}));
  // Live values stay until OK.
  EXPECT_EQ(provider->m_nScanMode, 1);
  EXPECT_EQ(provider->GetGroup(1)->m_bScan, 0);
  session.Commit();
  EXPECT_EQ(provider->GetGroup(1)->m_bScan, 1);
}

TEST_F(ConfigSessionTest, GroupScanReplacesTheGroupsRowsAndMakesTheProviderMixed) {
  CProvider* provider = AddProvider("p", {1, 1});
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.downloads().size(), 4u);
  session.SelectGroup(0);
  EXPECT_TRUE(session.group_scan());
  ASSERT_EQ(session.items().size(), 2u);
  session.ClickGroupScan(false);
  EXPECT_EQ(provider->GetGroup(0)->m_bScanEdit, 0);
  EXPECT_EQ(DownloadRows(session),
            (std::vector<std::string>{"p-g1-0.bin from p", "p-g1-1.bin from p"}));
  EXPECT_EQ(session.provider_scan(), 2);
  EXPECT_EQ(provider->m_nScanModeEdit, 1);  // untouched by a group click
  // Nothing of a group switched off is downloaded after OK either.
  EXPECT_FALSE(provider->GetGroup(0)->GetItem(0)->m_bSelected);
  EXPECT_FALSE(provider->GetGroup(0)->GetItem(1)->m_bSelected);
  session.ClickGroupScan(true);
  EXPECT_EQ(session.downloads().size(), 4u);

  session.SelectGroup(-1);
  EXPECT_TRUE(session.items().empty());
  EXPECT_FALSE(session.group_scan());
  session.ClickGroupScan(true);  // no group: nothing happens
  EXPECT_EQ(session.downloads().size(), 4u);
}

TEST_F(ConfigSessionTest, ItemTextsAndWithdrawnItems) {
  CProvider* provider = AddProvider("p", {1});
  CUpdateGroup* group = provider->GetGroup(0);
  group->GetItem(0)->m_strDescription = "The tool";
  group->GetItem(0)->m_pCondition = std::make_unique<NeverHolds>();
  group->GetItem(1)->m_nOffered = 0;
  CConfigSession session(app_);
  session.Open();
  session.SelectGroup(0);
  ASSERT_EQ(session.items().size(), 1u);  // the withdrawn one is not offered
  session.SelectItems({0}, 0);
  EXPECT_EQ(session.description(), "The tool");
  EXPECT_EQ(session.size_text(), "Size: 2.0K");
  EXPECT_EQ(session.suitability(), "Item is unsuitable for this machine");
  session.SelectItems({}, -1);
  EXPECT_EQ(session.description(), "");
  EXPECT_EQ(session.suitability(), "");
}

TEST_F(ConfigSessionTest, AddToDownloadOnceAsksItsQuestions) {
  struct Case {
    const char* name;
    bool unsuitable;
    bool up_to_date;
    std::vector<MessageAnswer> answers;
    std::vector<std::string> asked;
    bool selected;
  };
  const std::string up_to_date =
      "The Item: p-g0-0.bin appears to be up to date.\n Do you really want to download it?";
  const Case cases[] = {
      {"plain", false, false, {}, {}, true},
      {"unsuitable yes", true, false, {MessageAnswer::kYes}, {kUnsuitable}, true},
      {"unsuitable no", true, false, {MessageAnswer::kNo}, {kUnsuitable}, false},
      {"up to date no", false, true, {MessageAnswer::kNo}, {up_to_date}, false},
      {"both yes",
       true,
       true,
       {MessageAnswer::kYes, MessageAnswer::kYes},
       {kUnsuitable, up_to_date},
       true},
  };
  for (const Case& c : cases) {
    app_.SetUpBuiltInProviders();
    CProvider* provider = AddProvider("p", {0});  // not scanned: nothing selected
    CUpdateItem* item = provider->GetGroup(0)->GetItem(0);
    if (c.unsuitable)
      item->m_pCondition = std::make_unique<NeverHolds>();
    if (c.up_to_date)
      item->m_nFileStamp = item->m_nStamp;
    frontend_.messages.clear();
    frontend_.answers.assign(c.answers.begin(), c.answers.end());
    CConfigSession session(app_);
    session.Open();
    session.SelectGroup(0);
    session.SelectItems({0}, 0);
    session.AddToDownloadOnce();
    EXPECT_EQ(frontend_.texts(), c.asked) << c.name;
    for (const auto& message : frontend_.messages)
      EXPECT_EQ(message.icon, MessageIcon::kQuestion) << c.name;
    EXPECT_EQ(item->m_bSelected, c.selected) << c.name;
    EXPECT_EQ(session.downloads().size(), c.selected ? 1u : 0u) << c.name;
  }
}

TEST_F(ConfigSessionTest, AddToDownloadOnceFetchesAProviderNotReachedInThisRun) {
  CProvider* provider = AddProvider("p", {0});
  provider->m_bTransferFlag = false;
  int fetched = -2;
  bool reachable = false;
  bool withdraw = false;
  ConfigSessionHooks hooks;
  hooks.fetch_provider = [&](int index) {
    fetched = index;
    provider->m_bTransferFlag = reachable;
    if (withdraw)
      provider->GetGroup(0)->RemoveItem(0);  // pruned by the fetch
    return 1;
  };
  CConfigSession session(app_, hooks);
  session.Open();
  session.SelectGroup(0);
  session.SelectItems({0}, 0);
  session.AddToDownloadOnce();
  EXPECT_EQ(fetched, 5);
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{"This provider's site is currently unavailable"}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kInformation);

  frontend_.messages.clear();
  reachable = true;
  withdraw = true;
  provider->m_bTransferFlag = false;
  session.AddToDownloadOnce();
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{"This download (p-g0-0.bin) is no longer available."}));
  EXPECT_TRUE(session.items().empty());  // the fresh groups show, none selected

  frontend_.messages.clear();
  withdraw = false;
  provider->m_bTransferFlag = false;
  session.SelectGroup(0);
  session.SelectItems({0}, 0);
  session.AddToDownloadOnce();
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_TRUE(provider->GetGroup(0)->GetItem(0)->m_bSelected);
  EXPECT_EQ(DownloadRows(session), (std::vector<std::string>{"p-g0-1.bin from p"}));
}

TEST_F(ConfigSessionTest, DeleteTakesRowsOffAndCancelBringsThemBack) {
  CProvider* provider = AddProvider("p", {1});
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.downloads().size(), 2u);
  for (auto& item : provider->GetGroup(0)->m_items)
    item->m_bSelectedSaved = true;  // as they were when the dialog opened
  session.DeleteDownloads({1, 0, 7});
  EXPECT_TRUE(session.downloads().empty());
  EXPECT_FALSE(provider->GetGroup(0)->GetItem(0)->m_bSelected);
  session.RollBack();
  EXPECT_TRUE(provider->GetGroup(0)->GetItem(1)->m_bSelected);
}

TEST_F(ConfigSessionTest, DeleteProviderIsMarkedUntilOk) {
  const std::string question =
      "This will permenantly remove the provider \n\"p\" from your update list. \n"
      " Do you really want to remove this provider?";
  for (bool commit : {false, true}) {
    app_.SetUpBuiltInProviders();
    app_.GetProvider(4)->m_bVerified = true;
    CProvider* provider = AddProvider("p", {1});
    CUpdateItem* item = provider->GetGroup(0)->GetItem(0);
    item->m_strSavePath = downloads_.WriteFile("p.bin", "data");
    item->m_nFileStamp = 7;
    frontend_.messages.clear();

    CConfigSession session(app_);
    session.Open();
    frontend_.answers = {MessageAnswer::kNo};
    session.DeleteProvider();
    EXPECT_EQ(session.providers().size(), 2u);
    frontend_.answers = {MessageAnswer::kYes};
    session.DeleteProvider();
    EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{question, question}));
    EXPECT_EQ(frontend_.messages[1].icon, MessageIcon::kQuestion);
    EXPECT_EQ(provider->m_nScanModeEdit, CConfigSession::kDeletedMark);
    EXPECT_EQ(session.providers().size(), 1u);
    EXPECT_EQ(session.provider(), nullptr);
    EXPECT_TRUE(session.groups().empty());
    EXPECT_TRUE(session.downloads().empty());
    EXPECT_EQ(app_.GetProviderCount(), 6);  // nothing removed before OK

    if (commit) {
      session.Commit();
      EXPECT_EQ(app_.GetProviderCount(), 5);
      EXPECT_FALSE(std::filesystem::exists(downloads_.File("p.bin")));
    } else {
      session.RollBack();
      ASSERT_EQ(app_.GetProviderCount(), 6);
      EXPECT_EQ(app_.GetProvider(5)->m_nScanModeEdit, 1);
      EXPECT_TRUE(std::filesystem::exists(downloads_.File("p.bin")));
      CConfigSession again(app_);
      again.Open();
      EXPECT_EQ(again.providers().size(), 2u);
    }
  }
}

TEST_F(ConfigSessionTest, TheOwnProviderCannotBeDeleted) {
  AddProvider("p", {1});
  CConfigSession session(app_);
  session.Open();
  session.SelectProvider(0);
  session.DeleteProvider();
  EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"This provider cannot be deleted."}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kInformation);
  // Shown without groups, it keeps its scan state.
  EXPECT_EQ(app_.GetProvider(4)->m_nScanModeEdit, 1);
  EXPECT_EQ(session.provider_scan(), 1);
  session.SelectProvider(-1);
  session.DeleteProvider();  // no selection: nothing
  EXPECT_EQ(frontend_.messages.size(), 1u);
}

TEST_F(ConfigSessionTest, UnlistedProvidersKeepTheirScanFlagsThroughOkAndCancel) {
  CProvider* hidden = AddProvider("hidden", {1}, /*verified=*/false);
  hidden->GetGroup(0)->m_bScanEdit = 0;  // left over from an earlier session
  hidden->GetGroup(0)->GetItem(0)->m_bSelected = true;
  CConfigSession session(app_);
  session.Open();
  session.Commit();
  EXPECT_EQ(hidden->GetGroup(0)->m_bScan, 1);
  CConfigSession second(app_);
  second.Open();
  second.RollBack();
  EXPECT_TRUE(hidden->GetGroup(0)->GetItem(0)->m_bSelected);
}

TEST_F(ConfigSessionTest, LockedProvidersHideTheButtons) {
  CConfigSession session(app_);
  EXPECT_TRUE(session.provider_buttons_shown());
  app_.m_bLockProviders = true;
  EXPECT_FALSE(session.provider_buttons_shown());
}

TEST_F(ConfigSessionTest, AddressesAddedDuringARegistrationAreRegisteredInOrder) {
  std::vector<std::string> typed = {"http://one.example/", "http://two.example/",
                                    "http://three.example/"};
  std::vector<std::string> registered;
  CConfigSession* open = nullptr;
  ConfigSessionHooks hooks;
  hooks.ask_provider_address = [&](std::string* address) {
    if (typed.empty())
      return false;
    *address = typed.front();
    typed.erase(typed.begin());
    return true;
  };
  hooks.register_provider = [&](const std::string& address) {
    registered.push_back(address);
    // While the first one waits, the user adds two more.
    if (registered.size() == 1) {
      open->AddProvider();
      open->AddProvider();
      EXPECT_EQ(open->pending_providers(), "http://two.example/ * http://three.example/ * ");
    }
    if (address == "http://three.example/")
      return 1;  // fails: not added
    const std::string name = address.substr(7, address.find('.') - 7);
    CProvider* provider = AddProvider(name, {0});
    provider->m_strAddress = address;
    provider->GetGroup(0)->GetItem(1)->m_pCondition = std::make_unique<NeverHolds>();
    return 1;
  };
  CConfigSession session(app_, hooks);
  open = &session;
  session.Open();
  session.AddProvider();
  EXPECT_EQ(registered, (std::vector<std::string>{"http://one.example/", "http://two.example/",
                                                  "http://three.example/"}));
  EXPECT_FALSE(session.adding_providers());
  EXPECT_EQ(session.pending_providers(), "");
  ASSERT_EQ(session.providers().size(), 3u);
  EXPECT_EQ(session.providers()[2]->m_strKeyName, "two");
  // Only the suitable items are chosen, and listed: one chosen unseen would
  // reach the main window without the "unsuitable" question.
  EXPECT_EQ(DownloadRows(session),
            (std::vector<std::string>{"one-g0-0.bin from one", "two-g0-0.bin from two"}));
  EXPECT_TRUE(app_.GetProvider(5)->GetGroup(0)->GetItem(0)->m_bSelected);
  EXPECT_FALSE(app_.GetProvider(5)->GetGroup(0)->GetItem(1)->m_bSelected);
  EXPECT_FALSE(app_.GetProvider(6)->GetGroup(0)->GetItem(1)->m_bSelected);
  session.Commit();
  EXPECT_EQ(FillFromSelection(app_).size(), 2u);
}

TEST_F(ConfigSessionTest, CancelledRegistrationIsNotListed) {
  ConfigSessionHooks hooks;
  hooks.ask_provider_address = [](std::string* address) {
    *address = "http://slow.example/";
    return true;
  };
  hooks.register_provider = [&](const std::string&) {
    AddProvider("slow", {1}, /*verified=*/false);
    return 2;
  };
  CConfigSession session(app_, hooks);
  session.Open();
  session.AddProvider();
  EXPECT_EQ(session.providers().size(), 1u);
  EXPECT_TRUE(session.downloads().empty());

  // OK keeps it as it came: scanned, with its groups scanned, so that the
  // next fetch that verifies it offers its items.
  session.Commit();
  const CProvider& slow = *app_.GetProvider(app_.GetProviderCount() - 1);
  EXPECT_EQ(slow.m_nScanMode, 1);
  EXPECT_EQ(slow.GetGroup(0)->m_bScan, 1);
}

TEST_F(ConfigSessionTest, TheFirstListedUserProviderCanBeDeletedWhileTheOwnOneIsHidden) {
  // The own provider is unverified and so not listed: row 0 is a user's.
  app_.GetProvider(4)->m_bVerified = false;
  CProvider* first = AddProvider("first", {1});
  AddProvider("second", {1});
  CConfigSession session(app_);
  session.Open();
  ASSERT_EQ(session.providers().size(), 2u);
  session.SelectProvider(0);
  ASSERT_EQ(session.provider(), first);
  frontend_.answers.push_back(MessageAnswer::kYes);
  session.DeleteProvider();
  ASSERT_EQ(frontend_.texts().size(), 1u);
  EXPECT_EQ(frontend_.texts()[0].rfind("This will permenantly remove the provider \n\"first\"", 0),
            0u)
      << frontend_.texts()[0];
  EXPECT_EQ(first->m_nScanModeEdit, CConfigSession::kDeletedMark);
  session.Commit();
  EXPECT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(5)->m_strKeyName, "second");
}

}  // namespace
}  // namespace gantrell
