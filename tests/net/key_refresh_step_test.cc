#include "net/key_refresh_step.h"

#include <gtest/gtest.h>

#include <string>

#include "fetch_test_util.h"

namespace gantrell {
namespace {

using testing::Bytes;
using testing::Publisher;
using testing::ScriptedFile;
using testing::SharedPublisher;
using testing::StepDriver;
using testing::ToText;

const std::string kSite = "http://provider.test/";

// Whether `provider` now verifies a signature made by `publisher`.
bool VerifiesWith(CProvider& provider, const Publisher& publisher) {
  const std::string message = "probe";
  const Bytes signature = publisher.Sign('1', message);
  provider.BeginDigest();
  provider.AddToDigest(message);
  return provider.VerifySignature(signature.data(), static_cast<int>(signature.size()));
}

// A site whose public.dat is keys[0]; link N holds keys[N] and a signature
// by keys[N] over keys[N-1] (each key vouching for the next newer one).
std::map<std::string, ScriptedFile> ChainSite(const std::vector<const Publisher*>& keys) {
  std::map<std::string, ScriptedFile> files;
  files[kSite + "public.dat"].body = ToText(keys[0]->record);
  for (std::size_t n = 1; n < keys.size(); ++n) {
    const std::string link = kSite + "oldpub" + std::to_string(n);
    files[link + ".dat"].body = ToText(keys[n]->record);
    files[link + ".sig"].body = ToText(keys[n]->Sign('9', keys[n - 1]->record));
  }
  return files;
}

struct Fixture {
  explicit Fixture(const Publisher* stored) : providers(testing::MakeAuthorities()) {
    providers.push_back(testing::MakeProvider(kSite, stored));
    provider = providers.back().get();
  }
  ProviderList providers;
  CProvider* provider;
};

TEST(KeyRefreshStepTest, FirstKeyIsTakenOnTrust) {
  const Publisher& key = SharedPublisher(4);
  Fixture f(nullptr);
  StepDriver driver(f.providers, ChainSite({&key}));
  CKeyRefreshStep step(driver, 0, *f.provider);
  EXPECT_EQ(driver.Run(step), 0);
  ASSERT_EQ(f.provider->m_nKeyLength, static_cast<int>(key.record.size()));
  EXPECT_EQ(Bytes(f.provider->m_pKeyData.get(), f.provider->m_pKeyData.get() + key.record.size()),
            key.record);
  EXPECT_TRUE(VerifiesWith(*f.provider, key));
}

TEST(KeyRefreshStepTest, NoKeyPublishedAndNoneStoredLeavesTheProviderWithout) {
  Fixture f(nullptr);
  StepDriver driver(f.providers,
                    std::map<std::string, ScriptedFile>{});  // public.dat is a 404 page
  CKeyRefreshStep step(driver, 0, *f.provider);
  EXPECT_EQ(driver.Run(step), 0);
  EXPECT_EQ(f.provider->m_pKeyData, nullptr);
  EXPECT_FALSE(f.provider->HasPublicKey());
}

TEST(KeyRefreshStepTest, UnchangedKeyNeedsOneTransfer) {
  const Publisher& key = SharedPublisher(4);
  Fixture f(&key);
  StepDriver driver(f.providers, ChainSite({&key}));
  CKeyRefreshStep step(driver, 0, *f.provider);
  EXPECT_EQ(driver.Run(step), 0);
  EXPECT_EQ(driver.OpenedUrls(), std::vector<std::string>{kSite + "public.dat"});
  EXPECT_TRUE(VerifiesWith(*f.provider, key));
}

TEST(KeyRefreshStepTest, ChainsEndingAtTheStoredKeyAcceptTheNewKey) {
  for (int links = 1; links <= 9; links += 4) {
    std::vector<const Publisher*> keys;
    for (int n = 0; n <= links; ++n)
      keys.push_back(&SharedPublisher(4 + n));
    Fixture f(keys.back());
    StepDriver driver(f.providers, ChainSite(keys));
    CKeyRefreshStep step(driver, 0, *f.provider);
    EXPECT_EQ(driver.Run(step), 0) << links << " links";
    EXPECT_TRUE(VerifiesWith(*f.provider, *keys.front())) << links << " links";
    // The accepted key is now the stored record.
    EXPECT_EQ(Bytes(f.provider->m_pKeyData.get(),
                    f.provider->m_pKeyData.get() + f.provider->m_nKeyLength),
              keys.front()->record)
        << links << " links";
    EXPECT_EQ(driver.OpenedUrls().size(), static_cast<std::size_t>(1 + 2 * links));
  }
}

TEST(KeyRefreshStepTest, AnAuthorityMaySignALinkOverNewerThenOlderRecord) {
  const Publisher& fresh = SharedPublisher(4);
  const Publisher& stored = SharedPublisher(5);
  for (char authority : {'0', '3'}) {
    Fixture f(&stored);
    auto files = ChainSite({&fresh, &stored});
    Bytes message = fresh.record;
    message.insert(message.end(), stored.record.begin(), stored.record.end());
    files[kSite + "oldpub1.sig"].body =
        ToText(SharedPublisher(authority - '0').Sign(authority, message));
    StepDriver driver(f.providers, files);
    CKeyRefreshStep step(driver, 0, *f.provider);
    EXPECT_EQ(driver.Run(step), 0) << authority;
    EXPECT_TRUE(VerifiesWith(*f.provider, fresh)) << authority;
  }
}

TEST(KeyRefreshStepTest, FailedWalksEndWithTheirCodeAndTheStoredKey) {
  const Publisher& fresh = SharedPublisher(4);
  const Publisher& stored = SharedPublisher(5);
  const Publisher& stranger = SharedPublisher(6);
  struct Case {
    const char* name;
    std::function<void(std::map<std::string, ScriptedFile>*)> edit;
    int expected;
  } cases[] = {
      {"link signed by a stranger",
       [&](auto* files) {
         (*files)[kSite + "oldpub1.sig"].body = ToText(stranger.Sign('1', fresh.record));
       },
       kKeyChainBroken},
      {"link naming entry 4",
       [&](auto* files) {
         (*files)[kSite + "oldpub1.sig"].body = ToText(stranger.Sign('4', fresh.record));
       },
       kKeyChainBroken},
      {"authority signature over the newer record alone",
       [&](auto* files) {
         (*files)[kSite + "oldpub1.sig"].body = ToText(SharedPublisher(0).Sign('0', fresh.record));
       },
       kKeyChainBroken},
      {"public.dat not a key",
       [&](auto* files) { (*files)[kSite + "public.dat"].body = "<html>moved</html>"; },
       kPublicKeyNotAKey},
      {"missing link", [&](auto* files) { files->erase(kSite + "oldpub1.dat"); }, kKeyChainBroken},
      {"link refused", [&](auto* files) { (*files)[kSite + "oldpub1.sig"].refuse = true; },
       kOpenFailed},
  };
  for (const Case& c : cases) {
    Fixture f(&stored);
    auto files = ChainSite({&fresh, &stored});
    c.edit(&files);
    StepDriver driver(f.providers, files);
    CKeyRefreshStep step(driver, 0, *f.provider);
    EXPECT_EQ(driver.Run(step), c.expected) << c.name;
    EXPECT_TRUE(VerifiesWith(*f.provider, stored)) << c.name;
    EXPECT_FALSE(VerifiesWith(*f.provider, fresh)) << c.name;
  }
}

TEST(KeyRefreshStepTest, TenLinksNeverReachingTheStoredKeyGiveUpAfterNine) {
  std::vector<const Publisher*> keys;
  for (int n = 0; n <= 10; ++n)
    keys.push_back(&SharedPublisher(4 + n));
  Fixture f(&SharedPublisher(15));
  StepDriver driver(f.providers, ChainSite(keys));
  CKeyRefreshStep step(driver, 0, *f.provider);
  EXPECT_EQ(driver.Run(step), kKeyChainTooLong);
  const auto urls = driver.OpenedUrls();
  ASSERT_FALSE(urls.empty());
  EXPECT_EQ(urls.back(), kSite + "oldpub9.sig");
  EXPECT_TRUE(VerifiesWith(*f.provider, SharedPublisher(15)));
}

// A link whose older record is not a key would leave the previous link's
// key loaded; that key belongs to whoever published the chain, so it must
// not vouch for anything.
TEST(KeyRefreshStepTest, ANonKeyLinkCannotCarryAnEarlierKeyForward) {
  const Publisher& attacker = SharedPublisher(6);
  const Publisher& stored = SharedPublisher(5);
  Fixture f(&stored);
  const std::string control = testing::ControlText(1);
  std::map<std::string, ScriptedFile> files;
  files[kSite + "public.dat"].body = ToText(attacker.record);
  files[kSite + "oldpub1.dat"].body = ToText(attacker.record);
  files[kSite + "oldpub1.sig"].body = ToText(attacker.Sign('1', attacker.record));
  files[kSite + "oldpub2.dat"].body = control;  // not a key record
  files[kSite + "oldpub2.sig"].body = ToText(attacker.Sign('1', attacker.record));
  files[kSite + "oldpub3.dat"].body = ToText(stored.record);
  // A genuine signature by the stored key, as published for control.txt.
  files[kSite + "oldpub3.sig"].body = ToText(stored.Sign('1', control));
  StepDriver driver(f.providers, files);
  CKeyRefreshStep step(driver, 0, *f.provider);
  EXPECT_EQ(driver.Run(step), kKeyChainBroken);
  EXPECT_FALSE(VerifiesWith(*f.provider, attacker));
  EXPECT_TRUE(VerifiesWith(*f.provider, stored));
}

// A key accepted through the chain becomes the one later chains must reach:
// serving an earlier site again, with its own genuine chain, must not put
// the older key back.
TEST(KeyRefreshStepTest, AnAcceptedKeyCannotBeRolledBackByAnOlderChain) {
  const Publisher& k0 = SharedPublisher(4);
  const Publisher& k1 = SharedPublisher(5);
  const Publisher& k2 = SharedPublisher(6);
  Fixture f(&k0);
  const auto refresh = [&](const std::vector<const Publisher*>& site) {
    StepDriver driver(f.providers, ChainSite(site));
    CKeyRefreshStep step(driver, 0, *f.provider);
    return driver.Run(step);
  };
  ASSERT_EQ(refresh({&k1, &k0}), 0);
  ASSERT_EQ(refresh({&k2, &k1, &k0}), 0);
  // The first rotation's site: public.dat k1, link 1 k0 signed by k0. Link 2
  // is missing, so its 404 page is not a key.
  EXPECT_EQ(refresh({&k1, &k0}), kKeyChainBroken);
  EXPECT_TRUE(VerifiesWith(*f.provider, k2));
  EXPECT_FALSE(VerifiesWith(*f.provider, k1));
  EXPECT_EQ(
      Bytes(f.provider->m_pKeyData.get(), f.provider->m_pKeyData.get() + f.provider->m_nKeyLength),
      k2.record);
  // The newest site is still accepted as unchanged.
  EXPECT_EQ(refresh({&k2, &k1, &k0}), 0);
  EXPECT_TRUE(VerifiesWith(*f.provider, k2));
}

// An authority entry revoked by the master vouches for no link, even while
// it still holds its key; the other entries and the older key still do.
TEST(KeyRefreshStepTest, ARevokedAuthorityVouchesForNoLink) {
  const Publisher& fresh = SharedPublisher(4);
  const Publisher& stored = SharedPublisher(5);
  Bytes message = fresh.record;
  message.insert(message.end(), stored.record.begin(), stored.record.end());
  for (char authority : {'2', '3'}) {
    Fixture f(&stored);
    f.providers[0]->AddGroup()->AddItem()->m_strName = f.providers[2]->m_strAddress;
    auto files = ChainSite({&fresh, &stored});
    files[kSite + "oldpub1.sig"].body =
        ToText(SharedPublisher(authority - '0').Sign(authority, message));
    StepDriver driver(f.providers, files);
    CKeyRefreshStep step(driver, 0, *f.provider);
    EXPECT_EQ(driver.Run(step), authority == '2' ? kKeyChainBroken : 0) << authority;
    EXPECT_EQ(VerifiesWith(*f.provider, fresh), authority == '3') << authority;
  }
}

// Ed25519 keys made once for the tests below.
const Publisher& Ed25519Publisher(int n) {
  static const std::vector<std::unique_ptr<Publisher>> keys = [] {
    std::vector<std::unique_ptr<Publisher>> made;
    for (int i = 0; i < 3; ++i)
      made.push_back(std::make_unique<Publisher>(KeyKind::kEd25519));
    return made;
  }();
  return *keys[static_cast<std::size_t>(n)];
}

// An RSA provider moves to Ed25519 through an ordinary link signed by its
// old key; from then on only Ed25519 signatures hold, and the old RSA
// site cannot bring the RSA key back.
TEST(KeyRefreshStepTest, AnRsaProviderMovesToEd25519ThroughTheChain) {
  const Publisher& rsa = SharedPublisher(4);
  const Publisher& ed = Ed25519Publisher(0);
  Fixture f(&rsa);
  ASSERT_EQ(f.provider->PublicKeyKind(), KeyKind::kRsa);
  const auto refresh = [&](const std::map<std::string, ScriptedFile>& files) {
    StepDriver driver(f.providers, files);
    CKeyRefreshStep step(driver, 0, *f.provider);
    return driver.Run(step);
  };
  ASSERT_EQ(refresh(ChainSite({&ed, &rsa})), 0);
  EXPECT_EQ(f.provider->PublicKeyKind(), KeyKind::kEd25519);
  EXPECT_EQ(
      Bytes(f.provider->m_pKeyData.get(), f.provider->m_pKeyData.get() + f.provider->m_nKeyLength),
      ed.record);
  EXPECT_TRUE(VerifiesWith(*f.provider, ed));
  EXPECT_FALSE(VerifiesWith(*f.provider, rsa));

  // The site as it was before the move: public.dat the RSA key again.
  EXPECT_EQ(refresh(ChainSite({&rsa})), kKeyChainBroken);
  EXPECT_EQ(f.provider->PublicKeyKind(), KeyKind::kEd25519);
  EXPECT_FALSE(VerifiesWith(*f.provider, rsa));

  // A later move from one Ed25519 key to another goes the same way.
  const Publisher& next = Ed25519Publisher(1);
  EXPECT_EQ(refresh(ChainSite({&next, &ed, &rsa})), 0);
  EXPECT_TRUE(VerifiesWith(*f.provider, next));
}

// Authority entries may hold Ed25519 keys: such an entry vouches for a link
// with an Ed25519 signature over the newer record followed by the older.
TEST(KeyRefreshStepTest, AnEd25519AuthorityVouchesForALink) {
  const Publisher& fresh = Ed25519Publisher(1);
  const Publisher& stored = SharedPublisher(5);
  const Publisher& authority = Ed25519Publisher(2);
  Bytes message = fresh.record;
  message.insert(message.end(), stored.record.begin(), stored.record.end());
  struct Case {
    const char* name;
    Bytes signature;
    int expected;
  } cases[] = {
      {"Ed25519 authority over newer and older", authority.Sign('1', message), 0},
      {"over the newer record alone", authority.Sign('1', fresh.record), kKeyChainBroken},
      {"the entry's former RSA key", SharedPublisher(1).Sign('1', message), kKeyChainBroken},
  };
  for (const Case& c : cases) {
    Fixture f(&stored);
    f.providers[1]->SetKeyData(authority.record.data(), static_cast<int>(authority.record.size()));
    f.providers[1]->SetPublicKey(authority.record.data(),
                                 static_cast<int>(authority.record.size()));
    auto files = ChainSite({&fresh, &stored});
    files[kSite + "oldpub1.sig"].body = ToText(c.signature);
    StepDriver driver(f.providers, files);
    CKeyRefreshStep step(driver, 0, *f.provider);
    EXPECT_EQ(driver.Run(step), c.expected) << c.name;
    EXPECT_EQ(f.provider->PublicKeyKind(), c.expected == 0 ? KeyKind::kEd25519 : KeyKind::kRsa)
        << c.name;
  }
}

}  // namespace
}  // namespace gantrell
