#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "app/client_app.h"
#include "model/key_file.h"
#include "model/list_state.h"
#include "model/store_format.h"
#include "model/token_reader.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"
#include "support/test_system.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::ScopedEnv;
using testing::TempDir;
using testing::TempRegistry;
using testing::VectorPath;

class StoreTest : public ::testing::Test {
 protected:
  StoreTest() : key_server_("GANTRELL_KEY_SERVER", nullptr), os_(reg_), app_(reg_, os_) {
    app_.m_strDataPath = data_.path();
    app_.SetFrontend(&frontend_);
  }

  // A saved store of the built-in entries and `users` user providers, the
  // first entry's item holding a condition of a kind this client does not
  // know. Returns the text written as provdata.dat.
  std::string WriteStoreWithUnknownCondition(int users) {
    CClientApp writer(reg_, os_);
    writer.SetUpBuiltInProviders();
    for (int i = 0; i < users; ++i)
      AddUserProvider(writer, "http://user" + std::to_string(i) + ".example/");
    CUpdateGroup* group = writer.GetProvider(0)->AddGroup();
    group->m_strName = "g0";
    group->AddItem()->m_strName = "future";
    std::string text = FormatStore(writer.m_providers);
    const std::string item = "FILE \"future\" ";
    const std::size_t at = text.find(item);
    const std::size_t end = text.find("END ", at);
    text.insert(end, "COND FUTURE NME \"later\" LEVEL 3 END ");
    data_.WriteFile("provdata.dat", text);
    data_.WriteFile("keydata.dat", FormatKeyFile(writer.m_providers));
    return text;
  }

  void CopyVector(const std::string& vector, const std::string& as) {
    data_.WriteFile(as, ReadWholeFile(VectorPath(vector)));
  }
  bool DataFileExists(const std::string& name) { return std::filesystem::exists(data_.File(name)); }

  // A provider with a group, an item and a key record.
  void AddUserProvider(CClientApp& app, const std::string& address) {
    app.m_providers.push_back(std::make_unique<CProvider>());
    CProvider& provider = *app.m_providers.back();
    provider.m_strAddress = address;
    provider.m_strKeyName = "user " + address;
    const std::string key = ReadWholeFile(VectorPath("key1024.rec"));
    provider.SetKeyData(reinterpret_cast<const std::uint8_t*>(key.data()),
                        static_cast<int>(key.size()));
    provider.SetPublicKey(provider.m_pKeyData.get(), provider.m_nKeyLength);
    CUpdateGroup* group = provider.AddGroup();
    group->m_strName = "g";
    CUpdateItem* item = group->AddItem();
    item->m_strName = "i";
    item->m_pCondition = CreateCondition("NULL");
  }

  ScopedEnv key_server_;
  testing::ScriptedFrontend frontend_;
  TempRegistry reg_;
  TempDir data_;
  RegistryOsVersion os_;
  CClientApp app_;
};

TEST_F(StoreTest, NothingStoredGivesTheBuiltInEntries) {
  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(app_.GetProvider(1)->m_strAddress, "http://keys.gantrell.org/ngtlkey/signone/");
}

TEST_F(StoreTest, IndependentStoreAndKeysLoadWithCurrentAddresses) {
  CopyVector("store-v3-provdata.dat", "provdata.dat");
  CopyVector("store-v3-keydata.dat", "keydata.dat");
  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(0)->m_strAddress, "http://keys.gantrell.org/ngtlkey/master/");
  EXPECT_EQ(app_.GetProvider(4)->m_strKeyName, "Own updates");
  EXPECT_TRUE(app_.GetProvider(0)->HasPublicKey());
  EXPECT_FALSE(app_.GetProvider(1)->HasPublicKey());
  EXPECT_TRUE(app_.GetProvider(4)->HasPublicKey());
  EXPECT_TRUE(app_.GetProvider(5)->HasPublicKey());
}

TEST_F(StoreTest, SaveThenLoadGivesTheSameTree) {
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://a.example/");
  AddUserProvider(app_, "http://b.example/");
  ASSERT_TRUE(app_.SaveStore());
  const std::string written = FormatStore(app_.m_providers);

  CClientApp loaded(reg_, os_);
  loaded.m_strDataPath = data_.path();
  loaded.LoadStore();
  EXPECT_EQ(FormatStore(loaded.m_providers), written);
  ASSERT_EQ(loaded.GetProviderCount(), 7);
  EXPECT_TRUE(loaded.GetProvider(6)->HasPublicKey());
  EXPECT_EQ(loaded.GetProvider(6)->m_nKeyLength, app_.GetProvider(6)->m_nKeyLength);
  EXPECT_FALSE(loaded.GetProvider(0)->HasPublicKey());
  EXPECT_NE(loaded.GetProvider(5)->GetGroup(0)->GetItem(0)->m_pCondition, nullptr);
}

TEST_F(StoreTest, Version2StoreIsSavedAsVersion3) {
  // The old store holds one provider, so it joins the built-in entries only
  // through a hand-off; copy it as the hand-off file of a first run.
  CopyVector("store-v2-provdata.dat", "newprovs.dat");
  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(5)->m_strKeyName, "Old provider");
  ASSERT_TRUE(app_.SaveStore());
  const std::string saved = ReadWholeFile(data_.File("provdata.dat"));
  EXPECT_EQ(saved.find("V2lsave"), std::string::npos);
  EXPECT_NE(saved.find("\"Old provider\""), std::string::npos);
}

TEST_F(StoreTest, HandOffFilesAreAppendedAndDeleted) {
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://stored.example/");
  ASSERT_TRUE(app_.SaveStore());

  CClientApp tool(reg_, os_);
  AddUserProvider(tool, "http://handed.example/");
  AddUserProvider(tool, "http://stored.example/");  // a duplicate: dropped
  data_.WriteFile("newprovs.dat", FormatStore(tool.m_providers));
  std::string keys("XX");
  const std::string key = ReadWholeFile(VectorPath("key2048.rec"));
  keys += static_cast<char>(key.size() / 256);
  keys += static_cast<char>(key.size() % 256);
  keys = keys.substr(2) + key + "XX";  // handed's key, then none
  data_.WriteFile("nkeydata.dat", keys);

  app_.LoadStore();
  EXPECT_FALSE(DataFileExists("newprovs.dat"));
  EXPECT_FALSE(DataFileExists("nkeydata.dat"));
  ASSERT_EQ(app_.GetProviderCount(), 7);
  EXPECT_EQ(app_.GetProvider(6)->m_strAddress, "http://handed.example/");
  EXPECT_EQ(app_.GetProvider(6)->m_nKeyLength, static_cast<int>(key.size()));
  EXPECT_TRUE(app_.GetProvider(5)->HasPublicKey());  // its own key from keydata.dat
}

TEST_F(StoreTest, HandOffOnAFirstRunIsKeptAfterTheBuiltInEntries) {
  CClientApp tool(reg_, os_);
  AddUserProvider(tool, "http://first.example/");
  data_.WriteFile("newprovs.dat", FormatStore(tool.m_providers));
  const std::string key = ReadWholeFile(VectorPath("key1024.rec"));
  data_.WriteFile("nkeydata.dat", std::string(1, '\0') + static_cast<char>(key.size()) + key);

  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(0)->m_strAddress, "http://keys.gantrell.org/ngtlkey/master/");
  EXPECT_EQ(app_.GetProvider(5)->m_strAddress, "http://first.example/");
  EXPECT_TRUE(app_.GetProvider(5)->HasPublicKey());
  EXPECT_FALSE(DataFileExists("newprovs.dat"));
  EXPECT_FALSE(DataFileExists("nkeydata.dat"));
}

// Hand-off files on a fresh data folder that look like a whole list: five
// providers at the built-in addresses and more, with key records for all.
// None of them stands in for a built-in entry, and no entry 0 to 4 gets a
// key from nkeydata.dat.
TEST_F(StoreTest, HandOffFilesNeverSetTheBuiltInEntries) {
  CClientApp tool(reg_, os_);
  tool.SetUpBuiltInProviders();
  for (auto& entry : tool.m_providers)
    entry->m_strAddress = "http://forged.example/" + entry->m_strAddress.substr(7);
  AddUserProvider(tool, "http://user.example/");
  for (auto& provider : tool.m_providers) {
    const std::string key = ReadWholeFile(VectorPath("key1024.rec"));
    provider->SetKeyData(reinterpret_cast<const std::uint8_t*>(key.data()),
                         static_cast<int>(key.size()));
  }
  data_.WriteFile("newprovs.dat", FormatStore(tool.m_providers));
  data_.WriteFile("nkeydata.dat", FormatKeyFile(tool.m_providers));

  app_.LoadStore();
  CClientApp builtin(reg_, os_);
  builtin.SetUpBuiltInProviders();
  ASSERT_EQ(app_.GetProviderCount(), 11);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(app_.GetProvider(i)->m_strAddress, builtin.GetProvider(i)->m_strAddress) << i;
    EXPECT_EQ(app_.GetProvider(i)->m_pKeyData, nullptr) << i;
    EXPECT_FALSE(app_.GetProvider(i)->HasPublicKey()) << i;
  }
  // The handed-over providers follow, with their own keys.
  EXPECT_EQ(app_.GetProvider(10)->m_strAddress, "http://user.example/");
  for (int i = 5; i < 11; ++i)
    EXPECT_TRUE(app_.GetProvider(i)->HasPublicKey()) << i;
}

TEST_F(StoreTest, DuplicateAddressesKeepTheFirst) {
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://keys.gantrell.org/ngtlkey/gtl/");  // same as entry 4
  AddUserProvider(app_, "http://x.example/");
  AddUserProvider(app_, "http://x.example/");
  AddUserProvider(app_, "http://X.example/");  // case counts
  app_.RemoveDuplicateProviders();
  ASSERT_EQ(app_.GetProviderCount(), 7);
  EXPECT_EQ(app_.GetProvider(4)->m_strKeyName, "");
  EXPECT_EQ(app_.GetProvider(5)->m_strAddress, "http://x.example/");
  EXPECT_EQ(app_.GetProvider(6)->m_strAddress, "http://X.example/");
}

TEST_F(StoreTest, AStoreReadOnlyInPartKeepsItsLaterProvidersAndACopy) {
  const std::string original = WriteStoreWithUnknownCondition(3);
  app_.LoadStore();
  // Every provider after the unreadable condition is there.
  ASSERT_EQ(app_.GetProviderCount(), 8);
  EXPECT_EQ(app_.GetProvider(7)->m_strAddress, "http://user2.example/");
  EXPECT_TRUE(app_.GetProvider(7)->HasPublicKey());
  const CUpdateItem& future = *app_.GetProvider(0)->GetGroup(0)->GetItem(0);
  ASSERT_NE(future.m_pCondition, nullptr);
  EXPECT_TRUE(ConditionsEqual(*future.m_pCondition, *MakeUnreadableCondition()));
  // The store as it was is kept, and the message names the copy.
  const std::string copy = data_.File("provdata.dat.unreadable");
  EXPECT_EQ(ReadWholeFile(copy), original);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find(copy), std::string::npos) << frontend_.messages[0].text;

  ASSERT_TRUE(app_.SaveStore());
  CClientApp reloaded(reg_, os_);
  testing::ScriptedFrontend quiet;
  reloaded.SetFrontend(&quiet);
  reloaded.m_strDataPath = data_.path();
  reloaded.LoadStore();
  EXPECT_TRUE(quiet.messages.empty()) << quiet.texts()[0];
  ASSERT_EQ(reloaded.GetProviderCount(), 8);
  EXPECT_EQ(reloaded.GetProvider(7)->GetGroup(0)->GetItem(0)->m_strName, "i");
  const CUpdateItem& still = *reloaded.GetProvider(0)->GetGroup(0)->GetItem(0);
  ASSERT_NE(still.m_pCondition, nullptr);
  EXPECT_TRUE(ConditionsEqual(*still.m_pCondition, *MakeUnreadableCondition()));
  EXPECT_EQ(ReadWholeFile(copy), original);  // the copy stays until the user removes it

  // The same damage again (another copy) neither overwrites the first copy
  // nor makes a second one of the same text.
  data_.WriteFile("provdata.dat", original + " ");
  reloaded.LoadStore();
  EXPECT_EQ(ReadWholeFile(copy), original);
  EXPECT_EQ(ReadWholeFile(data_.File("provdata.dat.unreadable-2")), original + " ");
  data_.WriteFile("provdata.dat", original);
  reloaded.LoadStore();
  EXPECT_FALSE(DataFileExists("provdata.dat.unreadable-3"));
}

TEST_F(StoreTest, AStoreWhoseCopyCannotBeMadeIsNotReplaced) {
  for (const char* why : {testing::WithoutFork(), testing::WithoutFileSizeLimit()}) {
    if (why != nullptr)
      GTEST_SKIP() << why;
  }
  const std::string original = WriteStoreWithUnknownCondition(1);
  const int status = testing::RunInChild([&] {
    {
      // A file size limit below the store's size makes the copy fail, as a
      // full disk would; it is lifted again before the save.
      testing::ScopedFileSizeLimit limit(64);
      app_.LoadStore();
    }
    std::string error;
    const bool saved = app_.SaveStore(&error);
    const bool told =
        frontend_.messages.size() == 1 &&
        frontend_.messages[0].text.find("could not be read in full") != std::string::npos;
    return !saved && !error.empty() && told && app_.GetProviderCount() == 6 ? 0 : 1;
  });
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadWholeFile(data_.File("provdata.dat")), original);
}

TEST_F(StoreTest, AStoreThatCannotBeOpenedIsNotReplaced) {
  if (const char* why = testing::WithoutSymbolicLinks())
    GTEST_SKIP() << why;
  // A link to itself cannot be opened, for any user; a save would replace
  // the link and whatever the user meant to keep behind it.
  std::filesystem::create_symlink("provdata.dat", data_.File("provdata.dat"));
  app_.LoadStore();
  EXPECT_EQ(app_.GetProviderCount(), 5);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find("provdata.dat"), std::string::npos);
  std::string error;
  EXPECT_FALSE(app_.SaveStore(&error));
  EXPECT_NE(error.find("provdata.dat"), std::string::npos) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(data_.File("provdata.dat")));
  EXPECT_FALSE(DataFileExists("keydata.dat"));
}

TEST_F(StoreTest, AHandOffReadOnlyInPartIsKeptUnderANameThatSaysSo) {
  app_.SetUpBuiltInProviders();
  ASSERT_TRUE(app_.SaveStore());
  CClientApp tool(reg_, os_);
  AddUserProvider(tool, "http://one.example/");
  AddUserProvider(tool, "http://two.example/");
  std::string handed = FormatStore(tool.m_providers);
  handed.insert(handed.find("END "), "COND LATER END ");
  data_.WriteFile("newprovs.dat", handed);

  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 7);
  EXPECT_EQ(app_.GetProvider(6)->m_strAddress, "http://two.example/");
  EXPECT_FALSE(DataFileExists("newprovs.dat"));
  EXPECT_EQ(ReadWholeFile(data_.File("newprovs.dat.unreadable")), handed);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_NE(frontend_.messages[0].text.find(data_.File("newprovs.dat.unreadable")),
            std::string::npos);
}

TEST_F(StoreTest, TemporariesOfASaveThatDiedAreRemovedAtLoad) {
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://kept.example/");
  ASSERT_TRUE(app_.SaveStore());
  const std::string store = ReadWholeFile(data_.File("provdata.dat"));
  // A save killed before its journal was committed leaves its temporary
  // files, and nothing names them.
  data_.WriteFile("provdata.dat.tmpq1W2e3", "half a store");
  data_.WriteFile("keydata.dat.tmpR4t5Y6", "half the keys");
  data_.WriteFile("listdata.dat.tmpZ1x2C3", "half the list state");
  data_.WriteFile(".provdata.dat.commit.tmpu7I8o9", "half a journal");

  CClientApp loaded(reg_, os_);
  loaded.m_strDataPath = data_.path();
  loaded.LoadStore();
  EXPECT_EQ(loaded.GetProviderCount(), 6);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(data_.path()))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"keydata.dat", "listdata.dat", "provdata.dat"}));
  EXPECT_EQ(ReadWholeFile(data_.File("provdata.dat")), store);
}

TEST_F(StoreTest, ASaveCutAfterItsJournalIsFinishedBeforeTemporariesAreRemoved) {
  app_.SetUpBuiltInProviders();
  ASSERT_TRUE(app_.SaveStore());
  CClientApp newer(reg_, os_);
  newer.SetUpBuiltInProviders();
  AddUserProvider(newer, "http://newer.example/");
  // As a save leaves it when killed between its two renames.
  const std::string keys_temp =
      data_.WriteFile("keydata.dat.tmpAAAAAA", FormatKeyFile(newer.m_providers));
  data_.WriteFile("provdata.dat", FormatStore(newer.m_providers));
  data_.WriteFile(".provdata.dat.commit", data_.File("provdata.dat.tmpBBBBBB") + "\t" +
                                              data_.File("provdata.dat") + "\n" + keys_temp + "\t" +
                                              data_.File("keydata.dat") + "\n");
  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_TRUE(app_.GetProvider(5)->HasPublicKey());
  EXPECT_FALSE(DataFileExists(".provdata.dat.commit"));
  EXPECT_FALSE(DataFileExists("keydata.dat.tmpAAAAAA"));
}

TEST_F(StoreTest, FailedSaveLeavesThePreviousStore) {
  for (const char* why : {testing::WithoutFork(), testing::WithoutFileSizeLimit()}) {
    if (why != nullptr)
      GTEST_SKIP() << why;
  }
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://before.example/");
  ASSERT_TRUE(app_.SaveStore());
  const std::string before_store = ReadWholeFile(data_.File("provdata.dat"));
  const std::string before_keys = ReadWholeFile(data_.File("keydata.dat"));

  // A store too big for the file size limit fails midway through the write,
  // as a full disk would.
  for (int i = 0; i < 200; ++i)
    AddUserProvider(app_, "http://after" + std::to_string(i) + "/");
  const int status = testing::RunInChild([&] {
    testing::ScopedFileSizeLimit limit(4096);
    std::string error;
    const bool saved = app_.SaveStore(&error);
    return !saved && !error.empty() ? 0 : 1;
  });
  EXPECT_EQ(status, 0) << "the save did not report its failure";
  EXPECT_EQ(ReadWholeFile(data_.File("provdata.dat")), before_store);
  EXPECT_EQ(ReadWholeFile(data_.File("keydata.dat")), before_keys);
  EXPECT_EQ(ReadWholeFile(data_.File("listdata.dat")), "END ");
  for (const auto& entry : std::filesystem::directory_iterator(data_.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "provdata.dat" || name == "keydata.dat" || name == "listdata.dat")
        << "left behind: " << name;
  }
}

TEST_F(StoreTest, KilledWhileSavingLeavesAReadableStore) {
  if (const char* why = testing::WithoutFork())
    GTEST_SKIP() << why;
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://before.example/");
  ASSERT_TRUE(app_.SaveStore());
  for (int i = 0; i < 2000; ++i)
    AddUserProvider(app_, "http://after" + std::to_string(i) + "/");

  // Kill a process that saves in a loop at a spread of moments; whatever
  // moment it dies, the store on disk reads completely.
  for (int round = 0; round < 12; ++round) {
    testing::RunInChildAndKill(
        [&] {
          for (;;)
            app_.SaveStore();
        },
        std::chrono::microseconds(2000 + round * 3700));

    CClientApp loaded(reg_, os_);
    loaded.m_strDataPath = data_.path();
    loaded.LoadStore();
    const int count = loaded.GetProviderCount();
    EXPECT_TRUE(count == 6 || count == 2006) << "round " << round << ": " << count;
    EXPECT_TRUE(loaded.GetProvider(count - 1)->HasPublicKey()) << "round " << round;
  }
}

const std::string kDigest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

TEST_F(StoreTest, ListDatesAndDigestsAreKeptBesideTheStoreWhichKeepsItsLayout) {
  app_.SetUpBuiltInProviders();
  AddUserProvider(app_, "http://a.example/");
  AddUserProvider(app_, "http://b.example/");
  Time date = 0;
  ASSERT_TRUE(LocalNoon(9, 12, 2026, &date));
  app_.GetProvider(6)->m_timeAcceptedListDate = date;
  CUpdateItem& item = *app_.GetProvider(6)->GetGroup(0)->GetItem(0);
  item.m_nStamp = 17;
  item.m_strSha256 = kDigest;
  ASSERT_TRUE(app_.SaveStore());

  // provdata.dat is what the store always was: a reader of its layout
  // reads it whole and finds the same tree, with no trace of the new state.
  const std::string store = ReadWholeFile(data_.File("provdata.dat"));
  EXPECT_EQ(store.find(kDigest), std::string::npos);
  {
    ProviderList read;
    CStringTokenReader reader(store);
    bool whole = false;
    ReadStore(reader, &read, Now(), &whole);
    EXPECT_TRUE(whole);
    EXPECT_EQ(FormatStore(read), store);
  }
  EXPECT_EQ(ReadWholeFile(data_.File("listdata.dat")), FormatListState(app_.m_providers));

  CClientApp loaded(reg_, os_);
  loaded.m_strDataPath = data_.path();
  loaded.LoadStore();
  ASSERT_EQ(loaded.GetProviderCount(), 7);
  EXPECT_EQ(loaded.GetProvider(6)->m_timeAcceptedListDate, date);
  EXPECT_EQ(loaded.GetProvider(6)->GetGroup(0)->GetItem(0)->m_strSha256, kDigest);
  EXPECT_EQ(loaded.GetProvider(5)->m_timeAcceptedListDate, 0);

  // Without the file (a store from before it) nothing is known: the first
  // list is accepted and no item has a digest.
  std::filesystem::remove(data_.File("listdata.dat"));
  CClientApp older(reg_, os_);
  older.m_strDataPath = data_.path();
  older.LoadStore();
  ASSERT_EQ(older.GetProviderCount(), 7);
  EXPECT_EQ(older.GetProvider(6)->m_timeAcceptedListDate, 0);
  EXPECT_TRUE(older.GetProvider(6)->GetGroup(0)->GetItem(0)->m_strSha256.empty());
}

TEST_F(StoreTest, ASaveCutBeforeTheListStateIsRenamedIsFinishedAtTheNextLoad) {
  app_.SetUpBuiltInProviders();
  ASSERT_TRUE(app_.SaveStore());
  CClientApp newer(reg_, os_);
  newer.SetUpBuiltInProviders();
  AddUserProvider(newer, "http://newer.example/");
  newer.GetProvider(5)->m_timeAcceptedListDate = 86400 * 20000;
  // Killed after provdata.dat and keydata.dat were renamed into place.
  const std::string list_temp =
      data_.WriteFile("listdata.dat.tmpCCCCCC", FormatListState(newer.m_providers));
  data_.WriteFile("provdata.dat", FormatStore(newer.m_providers));
  data_.WriteFile("keydata.dat", FormatKeyFile(newer.m_providers));
  data_.WriteFile(".provdata.dat.commit",
                  data_.File("provdata.dat.tmpAAAAAA") + "\t" + data_.File("provdata.dat") + "\n" +
                      data_.File("keydata.dat.tmpBBBBBB") + "\t" + data_.File("keydata.dat") +
                      "\n" + list_temp + "\t" + data_.File("listdata.dat") + "\n");
  app_.LoadStore();
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_NE(app_.GetProvider(5)->m_timeAcceptedListDate, 0);
  EXPECT_FALSE(DataFileExists(".provdata.dat.commit"));
  EXPECT_FALSE(DataFileExists("listdata.dat.tmpCCCCCC"));
}

}  // namespace
}  // namespace gantrell
