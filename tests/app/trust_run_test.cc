// Whole runs of the trust rules: a key server and provider sites on
// 127.0.0.1, fetched by the client's own fetch, with the store saved and
// loaded again between runs as one start of the client follows another.
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "model/built_in_providers.h"
#include "net/signature.h"
#include "net/verify_step.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_http_server.h"

namespace gantrell {
namespace {

using testing::ScopedEnv;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

constexpr int kForceFetch = 4;

struct Key {
  Key() {
    std::string error;
    key = GenerateRsaKey(1024, &error);
    EXPECT_NE(key, nullptr) << error;
    const std::vector<std::uint8_t> bytes = MakeKeyRecord(*key);
    record.assign(bytes.begin(), bytes.end());
  }
  std::string Sign(const std::string& message, char digit = '1') const {
    const std::vector<std::uint8_t> signature = MakeSignatureRecord(
        *key, digit, reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
    return std::string(signature.begin(), signature.end());
  }
  RsaPrivateKeyPtr key;
  std::string record;
};

std::string StoredRecord(const CProvider& provider) {
  if (provider.m_pKeyData == nullptr)
    return "";
  return std::string(reinterpret_cast<const char*>(provider.m_pKeyData.get()),
                     static_cast<std::size_t>(provider.m_nKeyLength));
}

// Whether the provider's loaded key checks a signature made with `key`.
bool VerifiesWith(CProvider& provider, const Key& key) {
  const std::string probe = "probe";
  const std::string signature = key.Sign(probe);
  provider.BeginDigest();
  provider.AddToDigest(probe);
  return provider.VerifySignature(reinterpret_cast<const std::uint8_t*>(signature.data()),
                                  static_cast<int>(signature.size()));
}

std::string DateDaysAgo(int days) {
  int d = 0, m = 0, y = 0;
  LocalDate(Now() - static_cast<Time>(days) * kSecondsPerDay, &d, &m, &y);
  return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y);
}

std::string IsoDaysAgo(int days) {
  int d = 0, m = 0, y = 0;
  LocalDate(Now() - static_cast<Time>(days) * kSecondsPerDay, &d, &m, &y);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
  return text;
}

class TrustRunTest : public ::testing::Test {
 protected:
  TrustRunTest() : key_server_("GANTRELL_KEY_SERVER", server_.Url("").c_str()), os_(reg_) {}

  std::string KeyServer(const std::string& path) const { return server_.Url(path); }

  void ServeChain(const std::string& path, const std::vector<const Key*>& keys) {
    server_.Serve(path + "public.dat", keys[0]->record);
    for (std::size_t n = 1; n < keys.size(); ++n) {
      const std::string link = path + "oldpub" + std::to_string(n);
      server_.Serve(link + ".dat", keys[n]->record);
      server_.Serve(link + ".sig", keys[n]->Sign(keys[n - 1]->record));
    }
  }

  // control.txt with one group and item, signed with `key`; the key made
  // `key_age_days` ago.
  void PublishList(const std::string& path, const Key& key, const std::string& name,
                   int key_age_days = 0) {
    const std::string text = "TCHK 7 \"" + DateDaysAgo(0) + "\" KMADE \"" +
                             DateDaysAgo(key_age_days) + "\" ID 1 KEYNAME \"" + name +
                             "\" GRP \"G\" FILE \"f\" DESC \"d\" LOCN \"f\" UPD 1/1/2026 LEN 1 "
                             "TIME 1 END END";
    server_.Serve(path + "control.txt", text);
    server_.Serve(path + "control.sig", key.Sign(text));
  }

  // One start of the client: a fresh application object loading the store.
  std::unique_ptr<CClientApp> Start() {
    auto app = std::make_unique<CClientApp>(reg_, os_);
    app->SetFrontend(&frontend_);
    app->m_strDataPath = data_.path();
    app->LoadStore();
    return app;
  }

  static void FetchAll(CClientApp& app) {
    for (auto& provider : app.m_providers)
      provider->m_nVerifyState = kForceFetch;
    app.RunFetch(-1);
  }

  static void Save(CClientApp& app) {
    std::string error;
    ASSERT_TRUE(app.SaveStore(&error)) << error;
  }

  TestHttpServer server_;
  ScopedEnv key_server_;
  TempRegistry reg_;
  TempDir data_;
  RegistryOsVersion os_;
  ScriptedFrontend frontend_;
};

// Rotate twice, then serve the first rotation's key and chain again: the
// chain is genuine but ends at a key the client no longer holds, so it is
// refused and the newest key stays, across every save and reload.
TEST_F(TrustRunTest, AReplayedOlderRotationCannotPutAnOlderKeyBack) {
  const Key k0, k1, k2;
  const std::string path = "/p/";
  const std::string address = server_.Url(path);
  ServeChain(path, {&k0});
  PublishList(path, k0, "Rotating");
  {
    auto app = Start();
    app->m_providers.push_back(MakeNewProvider(address));
    FetchAll(*app);
    ASSERT_EQ(app->GetProvider(5)->m_nFetchStatus, 0);
    EXPECT_EQ(StoredRecord(*app->GetProvider(5)), k0.record);
    Save(*app);
  }

  struct Rotation {
    const char* name;
    std::vector<const Key*> chain;
    const Key* signer;
  } rotations[] = {{"first rotation", {&k1, &k0}, &k1}, {"second rotation", {&k2, &k1, &k0}, &k2}};
  for (const Rotation& rotation : rotations) {
    ServeChain(path, rotation.chain);
    PublishList(path, *rotation.signer, "Rotating");
    auto app = Start();
    ASSERT_EQ(app->GetProviderCount(), 6) << rotation.name;
    FetchAll(*app);
    CProvider& provider = *app->GetProvider(5);
    EXPECT_EQ(provider.m_nFetchStatus, 0) << rotation.name;
    EXPECT_TRUE(provider.m_bVerified) << rotation.name;
    // The accepted key is what the next start holds.
    EXPECT_EQ(StoredRecord(provider), rotation.chain[0]->record) << rotation.name;
    Save(*app);
  }

  // The first rotation's site exactly: no second link.
  ServeChain(path, {&k1, &k0});
  server_.Serve(path + "oldpub2.dat", "Not found", 404);
  server_.Serve(path + "oldpub2.sig", "Not found", 404);
  PublishList(path, k1, "Rotating");
  {
    auto app = Start();
    FetchAll(*app);
    CProvider& provider = *app->GetProvider(5);
    EXPECT_EQ(provider.m_nFetchStatus, 5);
    EXPECT_TRUE(VerifiesWith(provider, k2));
    EXPECT_FALSE(VerifiesWith(provider, k1));
    EXPECT_EQ(StoredRecord(provider), k2.record);
    Save(*app);
  }
  auto app = Start();
  EXPECT_EQ(StoredRecord(*app->GetProvider(5)), k2.record);
  EXPECT_TRUE(VerifiesWith(*app->GetProvider(5), k2));
}

// The entries are known by their position: a revoked built-in entry stays
// where it is with its address, loses its key and groups for good, and
// neither it nor the own provider signs anything as an authority.
TEST_F(TrustRunTest, ARevokedBuiltInEntryKeepsItsPlaceAndStaysRevoked) {
  const Key authority[4];
  const Key own, user_key, licensed_key, successor;
  const char* const kEntries[] = {"master", "signone", "signtwo", "signthree"};
  for (int i = 0; i < 4; ++i)
    ServeChain(std::string("/ngtlkey/") + kEntries[i] + "/", {&authority[i]});
  ServeChain("/ngtlkey/gtl/", {&own});
  PublishList("/ngtlkey/gtl/", own, "Gantrell");
  const std::string user = server_.Url("/user/");
  ServeChain("/user/", {&user_key});
  PublishList("/user/", user_key, "User Tools");
  // An old key, licensed by signtwo.
  const std::string licensed = server_.Url("/licensed/");
  ServeChain("/licensed/", {&licensed_key});
  PublishList("/licensed/", licensed_key, "Licensed", 400);
  server_.Serve("/licensed/license.sig", authority[2].Sign(licensed, '2'));

  std::vector<std::string> addresses;
  {
    auto app = Start();
    app->m_providers.push_back(MakeNewProvider(user));
    app->m_providers.push_back(MakeNewProvider(licensed));
    // The first fetch takes the authority keys on trust side by side with
    // the licence check; the second finds them stored.
    FetchAll(*app);
    FetchAll(*app);
    for (int i = 0; i < app->GetProviderCount(); ++i) {
      EXPECT_EQ(app->GetProvider(i)->m_nFetchStatus, 0) << i;
      EXPECT_TRUE(app->GetProvider(i)->m_bVerified) << i;
      addresses.push_back(app->GetProvider(i)->m_strAddress);
    }
    app->GetProvider(0)->AddGroup()->AddItem()->m_strName = addresses[2];
    app->ApplyRevocations();
    EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Provider removed by Gantrell."});
    ASSERT_EQ(app->GetProviderCount(), 7);
    EXPECT_EQ(app->GetProvider(2)->m_strAddress, addresses[2]);
    EXPECT_FALSE(app->GetProvider(2)->HasPublicKey());
    Save(*app);
  }

  auto app = Start();
  ASSERT_EQ(app->GetProviderCount(), 7);
  const std::string expected_keys[] = {authority[0].record, authority[1].record, "",
                                       authority[3].record, own.record,          user_key.record,
                                       licensed_key.record};
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(app->GetProvider(i)->m_strAddress, addresses[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(StoredRecord(*app->GetProvider(i)), expected_keys[i]) << i;
  }
  EXPECT_EQ(app->GetProvider(2)->GetGroupCount(), 0);
  EXPECT_EQ(app->GetProvider(4)->m_strKeyName, "Gantrell");
  EXPECT_EQ(app->GetProvider(5)->m_strKeyName, "User Tools");
  ASSERT_EQ(app->GetProvider(5)->GetGroupCount(), 1);
  EXPECT_EQ(app->GetProvider(5)->GetGroup(0)->m_strName, "G");

  // The user's provider rotates with a link signed by the own provider's key
  // naming entry 3, and then by one naming entry 2 with signtwo's old key.
  ServeChain("/user/", {&successor, &user_key});
  std::string link_message = successor.record + user_key.record;
  server_.Serve("/user/oldpub1.sig", own.Sign(link_message, '3'));
  PublishList("/user/", successor, "User Tools");
  const int signtwo_requests = server_.RequestCount("/ngtlkey/signtwo/public.dat");
  FetchAll(*app);
  EXPECT_EQ(server_.RequestCount("/ngtlkey/signtwo/public.dat"), signtwo_requests);
  EXPECT_EQ(app->GetProvider(2)->m_pKeyData, nullptr);
  EXPECT_FALSE(app->GetProvider(2)->m_bVerified);
  EXPECT_EQ(app->GetProvider(5)->m_nFetchStatus, 5);
  EXPECT_TRUE(VerifiesWith(*app->GetProvider(5), user_key));
  // signtwo's licence no longer counts.
  EXPECT_EQ(app->GetProvider(6)->m_nFetchStatus, 11);
  EXPECT_FALSE(app->GetProvider(6)->m_bVerified);
  for (int i : {0, 1, 3, 4})
    EXPECT_EQ(app->GetProvider(i)->m_nFetchStatus, 0) << i;

  server_.Serve("/user/oldpub1.sig", authority[2].Sign(link_message, '2'));
  FetchAll(*app);
  EXPECT_EQ(app->GetProvider(5)->m_nFetchStatus, 5);

  // Already stripped: nothing more to report.
  app->ApplyRevocations();
  EXPECT_EQ(frontend_.texts().size(), 1u);
  EXPECT_EQ(app->GetProviderCount(), 7);
}

// A network attacker serves last month's list, validly signed, after the
// client has seen this month's: it is refused unmerged, with a message, in
// this run and after the store was saved and loaded again; a list of the
// same day as the one seen is accepted.
TEST_F(TrustRunTest, AReplayedOlderListIsRefusedAndKeepsTheNewerItems) {
  const Key key;
  const std::string path = "/p/";
  const std::string address = server_.Url(path);
  ServeChain(path, {&key});
  auto list = [&](int age_days, const std::string& items) {
    const std::string text = "TCHK 7 \"" + DateDaysAgo(age_days) + "\" KMADE \"" +
                             DateDaysAgo(1) + "\" ID 1 KEYNAME \"Replayed\" GRP \"G\" " + items +
                             "END END";
    return std::make_pair(text, key.Sign(text));
  };
  auto serve = [&](const std::pair<std::string, std::string>& files) {
    server_.Serve(path + "control.txt", files.first);
    server_.Serve(path + "control.sig", files.second);
  };
  const std::string kItem = "FILE \"tool\" DESC \"d\" LOCN \"tool\" UPD 1/1/2026 LEN 1 TIME ";
  const auto last_month = list(30, kItem + "1 ");
  const auto this_month = list(2, kItem + "2 FILE \"new\" DESC \"d\" LOCN \"new\" UPD 1/1/2026 "
                                          "LEN 1 TIME 5 ");
  // A key younger than 45 days needs no licence.
  {
    serve(last_month);
    auto app = Start();
    app->m_providers.push_back(MakeNewProvider(address));
    FetchAll(*app);
    serve(this_month);
    FetchAll(*app);
    CProvider& provider = *app->GetProvider(5);
    ASSERT_EQ(provider.m_nFetchStatus, 0);
    ASSERT_EQ(provider.GetGroup(0)->GetItemCount(), 2);
    // The user has version 2.
    provider.GetGroup(0)->GetItem(0)->m_nTakenStamp = 2;
    Save(*app);
  }

  serve(last_month);
  const std::string expected = "The update list of Replayed is older than the one already seen (" +
                               IsoDaysAgo(30) + " < " + IsoDaysAgo(2) + "); it was ignored.";
  for (int run = 0; run < 2; ++run) {
    frontend_.messages.clear();
    auto app = Start();
    ASSERT_EQ(app->GetProviderCount(), 6) << run;
    for (auto& provider : app->m_providers)
      provider->m_nVerifyState = kForceFetch;
    ASSERT_EQ(app->FetchProvider(-1), 1) << run;
    CProvider& provider = *app->GetProvider(5);
    EXPECT_EQ(provider.m_nFetchStatus, kListOlder) << run;
    EXPECT_TRUE(provider.m_bVerified) << run;
    EXPECT_EQ(frontend_.texts(), std::vector<std::string>{expected}) << run;
    // Nothing of the old list was merged, and nothing it leaves out pruned.
    const CUpdateGroup& group = *provider.GetGroup(0);
    ASSERT_EQ(group.GetItemCount(), 2) << run;
    EXPECT_EQ(group.GetItem(0)->m_nStamp, 2) << run;
    EXPECT_FALSE(app->IsItemPending(*group.GetItem(0))) << run;
    EXPECT_EQ(group.GetItem(1)->m_strName, "new") << run;
    Save(*app);
  }

  // The provider republishes the same day: accepted.
  serve(list(2, kItem + "3 "));
  frontend_.messages.clear();
  auto app = Start();
  FetchAll(*app);
  EXPECT_EQ(app->GetProvider(5)->m_nFetchStatus, 0);
  EXPECT_EQ(app->GetProvider(5)->GetGroup(0)->GetItem(0)->m_nStamp, 3);
  EXPECT_TRUE(frontend_.texts().empty());
}

}  // namespace
}  // namespace gantrell
