// Installed authority key records: whole start-ups against a key server on
// 127.0.0.1, with and without the records, and installations that are
// broken.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/authority_anchors.h"
#include "app/client_app.h"
#include "net/signature.h"
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

struct Key {
  Key() {
    std::string error;
    key = GenerateRsaKey(1024, &error);
    EXPECT_NE(key, nullptr) << error;
    const std::vector<std::uint8_t> bytes = MakeKeyRecord(*key);
    record.assign(bytes.begin(), bytes.end());
  }
  std::string Sign(const std::string& message) const {
    const std::vector<std::uint8_t> signature = MakeSignatureRecord(
        *key, '1', reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
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

bool VerifiesWith(CProvider& provider, const Key& key) {
  const std::string probe = "probe";
  const std::string signature = key.Sign(probe);
  provider.BeginDigest();
  provider.AddToDigest(probe);
  return provider.VerifySignature(reinterpret_cast<const std::uint8_t*>(signature.data()),
                                  static_cast<int>(signature.size()));
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

class AuthorityAnchorsTest : public ::testing::Test {
 protected:
  AuthorityAnchorsTest()
      : runtime_env_("XDG_RUNTIME_DIR", runtime_.path().c_str()),
        key_server_("GANTRELL_KEY_SERVER", server_.Url("").c_str()),
        reg_(app_data_.path()),
        os_(reg_) {
    for (int i = 0; i < kAuthorityEntryCount; ++i) {
      ServeEntry(i, anchors_[i]);
      WriteFile(anchor_dir_.File(kAnchorFileNames[static_cast<std::size_t>(i)]),
                anchors_[i].record);
    }
    server_.Serve("/ngtlkey/gtl/public.dat", own_.record);
  }

  void ServeEntry(int index, const Key& key) {
    server_.Serve(std::string(kBuiltInPaths[static_cast<std::size_t>(index)]) + "public.dat",
                  key.record);
  }

  // A silent start-up on a fresh data folder or the one of the last run,
  // fetching everything due; the entries as the run left them are kept in
  // `entries_`.
  StartupResult Start(const std::string& anchor_folder) {
    CClientApp app(reg_, os_);
    app.SetFrontend(&frontend_);
    app.m_options.authority_folder = anchor_folder;
    app.m_options.data_folder = data_.File("data");
    app.m_options.force_fetch = true;
    frontend_.main_window = [&](CClientApp&) { return 0; };
    // Nothing is pending, so a silent check ends after the key check; the
    // entries are looked at by loading what it saved.
    const StartupResult result = app.InitInstance({"-s"});
    entries_.clear();
    CClientApp reload(reg_, os_);
    reload.m_strDataPath = data_.File("data");
    reload.LoadStore();
    for (int i = 0; i < kAuthorityEntryCount; ++i)
      entries_.push_back(std::move(reload.m_providers[static_cast<std::size_t>(i)]));
    return result;
  }

  TempDir runtime_;
  ScopedEnv runtime_env_;
  TestHttpServer server_;
  ScopedEnv key_server_;
  TempDir app_data_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  ScriptedFrontend frontend_;
  TempDir data_;
  TempDir anchor_dir_;
  const Key anchors_[kAuthorityEntryCount];
  const Key own_;
  std::vector<std::unique_ptr<CProvider>> entries_;
};

// The key server shows another master key than the one installed (as a
// server or network in between could): with the records installed the
// key is refused and the run stops; without them it is taken on trust.
TEST_F(AuthorityAnchorsTest, AnotherFirstKeyIsRefusedOnlyWhenRecordsAreInstalled) {
  const Key impostor;
  ServeEntry(0, impostor);

  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kFailed);
  ASSERT_FALSE(frontend_.messages.empty());
  EXPECT_EQ(frontend_.messages.back().text,
            "Your key installation appears invalid.\n Contact Gantrell on support@gantrell.org");
  // Nothing was written: the next start is a first run again.
  EXPECT_FALSE(std::filesystem::exists(data_.File("data/keydata.dat")));

  frontend_.messages.clear();
  EXPECT_EQ(Start(data_.File("no-such-folder")), StartupResult::kEnded);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(StoredRecord(*entries_[0]), impostor.record);
  EXPECT_TRUE(VerifiesWith(*entries_[0], impostor));
}

TEST_F(AuthorityAnchorsTest, MatchingKeysStartAndAreStored) {
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kEnded);
  EXPECT_TRUE(frontend_.messages.empty());
  for (int i = 0; i < kAuthorityEntryCount; ++i) {
    EXPECT_EQ(StoredRecord(*entries_[static_cast<std::size_t>(i)]), anchors_[i].record) << i;
    EXPECT_TRUE(VerifiesWith(*entries_[static_cast<std::size_t>(i)], anchors_[i])) << i;
  }
}

// Installed records win over stored ones: an entry whose stored record
// differs starts from its anchor and is fetched in this run, so that its
// stored key counts only if the key server's chain reaches it from the
// anchor. An entry the master has revoked gets no key back from them.
TEST_F(AuthorityAnchorsTest, EntriesStartFromTheirAnchorAndRevokedOnesGetNone) {
  const Key earlier;
  CClientApp app(reg_, os_);
  app.SetFrontend(&frontend_);
  app.m_options.authority_folder = anchor_dir_.path();
  app.SetUpBuiltInProviders();
  CProvider& master = *app.GetProvider(0);
  master.SetKeyData(reinterpret_cast<const std::uint8_t*>(earlier.record.data()),
                    static_cast<int>(earlier.record.size()));
  master.AddGroup()->AddItem()->m_strName = app.GetProvider(2)->m_strAddress;

  ASSERT_TRUE(app.TakeAuthorityAnchors());
  EXPECT_EQ(StoredRecord(*app.GetProvider(0)), anchors_[0].record);
  EXPECT_TRUE(VerifiesWith(*app.GetProvider(0), anchors_[0]));
  EXPECT_EQ(app.GetProvider(0)->m_nVerifyState, 4);
  EXPECT_EQ(StoredRecord(*app.GetProvider(1)), anchors_[1].record);
  EXPECT_TRUE(VerifiesWith(*app.GetProvider(1), anchors_[1]));
  EXPECT_EQ(app.GetProvider(2)->m_pKeyData, nullptr);
  EXPECT_FALSE(app.GetProvider(2)->HasPublicKey());
  EXPECT_EQ(StoredRecord(*app.GetProvider(3)), anchors_[3].record);
  EXPECT_EQ(app.GetProvider(4)->m_pKeyData, nullptr);
  EXPECT_TRUE(frontend_.messages.empty());
}

// A store that took the master key on trust before anchors were installed,
// against a key server whose master key differs from the anchor: the
// anchor replaces the stored key, the entry is named, and what is saved is
// the anchor.
TEST_F(AuthorityAnchorsTest, AKeyTakenOnTrustBeforeTheAnchorsIsReplaced) {
  const Key impostor;
  ServeEntry(0, impostor);
  EXPECT_EQ(Start(data_.File("no-such-folder")), StartupResult::kEnded);
  ASSERT_EQ(StoredRecord(*entries_[0]), impostor.record);

  const std::string replaced =
      "The stored key of the authority entry master is not reached from the key installed "
      "with Gantrell; the installed key replaces it.";
  // The key server still shows the other key: the chain from the anchor
  // does not reach it, so the run stops.
  frontend_.messages.clear();
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kFailed);
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{
                replaced,
                "Your key installation appears invalid.\n Contact Gantrell on "
                "support@gantrell.org"}));

  // The key server shows the anchor again: the run goes on from it.
  ServeEntry(0, anchors_[0]);
  frontend_.messages.clear();
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kEnded);
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{replaced});
  EXPECT_EQ(StoredRecord(*entries_[0]), anchors_[0].record);
  EXPECT_TRUE(VerifiesWith(*entries_[0], anchors_[0]));
}

// Keys the authority rotated to from its anchor, through links signed by
// the older key, stay without a word: the one stored at the last run is
// reached again when the chain is walked from the anchor, also after one
// more rotation since.
TEST_F(AuthorityAnchorsTest, AKeyRotatedFromTheAnchorIsKept) {
  const Key k1, k2;
  server_.Serve("/ngtlkey/master/public.dat", k1.record);
  server_.Serve("/ngtlkey/master/oldpub1.dat", anchors_[0].record);
  server_.Serve("/ngtlkey/master/oldpub1.sig", anchors_[0].Sign(k1.record));
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kEnded);
  EXPECT_EQ(StoredRecord(*entries_[0]), k1.record);
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kEnded);
  EXPECT_EQ(StoredRecord(*entries_[0]), k1.record);

  server_.Serve("/ngtlkey/master/public.dat", k2.record);
  server_.Serve("/ngtlkey/master/oldpub1.dat", k1.record);
  server_.Serve("/ngtlkey/master/oldpub1.sig", k1.Sign(k2.record));
  server_.Serve("/ngtlkey/master/oldpub2.dat", anchors_[0].record);
  server_.Serve("/ngtlkey/master/oldpub2.sig", anchors_[0].Sign(k1.record));
  EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kEnded);
  EXPECT_EQ(StoredRecord(*entries_[0]), k2.record);
  EXPECT_TRUE(VerifiesWith(*entries_[0], k2));
  EXPECT_TRUE(frontend_.messages.empty()) << frontend_.messages[0].text;
}

// A build that installs anchors does not start without them.
TEST_F(AuthorityAnchorsTest, ARequiredInstallationThatIsMissingStopsTheStartUp) {
  CClientApp app(reg_, os_);
  app.SetFrontend(&frontend_);
  app.m_options.authority_folder = data_.File("no-such-folder");
  app.m_options.authority_required = true;
  app.m_options.data_folder = data_.File("data");
  EXPECT_EQ(app.InitInstance({"-s"}), StartupResult::kFailed);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"The authority keys installed with Gantrell are missing (" +
                                     data_.File("no-such-folder") + "). Reinstall Gantrell"});
  EXPECT_EQ(server_.RequestCount("/ngtlkey/master/public.dat"), 0);
}

// A record missing or spoilt stops the start-up before anything is fetched
// instead of leaving that entry to be taken on trust.
TEST_F(AuthorityAnchorsTest, ABrokenInstallationStopsTheStartUp) {
  struct Case {
    const char* what;
    std::string content;  // written as signtwo.dat; empty: removed
  } cases[] = {
      {"missing", ""},
      {"not a key record", "SIG1 not a key"},
      {"a key record without a key", "PUBLKEY garbage"},
      {"longer than a record", anchors_[2].record + std::string(600, 'x')},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(anchor_dir_.File("signtwo.dat"));
    if (!c.content.empty())
      WriteFile(anchor_dir_.File("signtwo.dat"), c.content);
    frontend_.messages.clear();
    const int requests = server_.RequestCount("/ngtlkey/master/public.dat");
    EXPECT_EQ(Start(anchor_dir_.path()), StartupResult::kFailed) << c.what;
    ASSERT_EQ(frontend_.messages.size(), 1u) << c.what;
    EXPECT_NE(frontend_.messages[0].text.find(anchor_dir_.File("signtwo.dat")), std::string::npos)
        << frontend_.messages[0].text;
    EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
    EXPECT_EQ(server_.RequestCount("/ngtlkey/master/public.dat"), requests) << c.what;
  }
}

}  // namespace
}  // namespace gantrell
