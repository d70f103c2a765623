#include "net/verify_step.h"

#include <gtest/gtest.h>

#include <string>

#include "fetch_test_util.h"

namespace gantrell {
namespace {

using testing::ScriptedFile;
using testing::SharedPublisher;
using testing::StepDriver;
using testing::ControlText;
using testing::ToText;

const std::string kSite = "http://provider.test/";

struct Fixture {
  Fixture() : providers(testing::MakeAuthorities()) {
    providers.push_back(testing::MakeProvider(kSite, &SharedPublisher(4)));
    provider = providers.back().get();
    testing::AddSite(&files, kSite, SharedPublisher(4), 42);
  }
  int Run(Time key_age) {
    provider->m_timeKeyMade = testing::TestNow() - key_age;
    StepDriver driver(providers, files);
    CVerifyStep step(driver, 0, *provider);
    const int result = driver.Run(step);
    urls = driver.OpenedUrls();
    return result;
  }
  bool FetchedLicence() const { return !urls.empty() && urls.back() == kSite + "license.sig"; }
  ProviderList providers;
  CProvider* provider;
  std::map<std::string, ScriptedFile> files;
  std::vector<std::string> urls;
};

TEST(VerifyStepTest, AVerifiedControlFileIsMergedAndFlagged) {
  Fixture f;
  EXPECT_EQ(f.Run(10 * kSecondsPerDay), 0);
  EXPECT_TRUE(f.provider->m_bTransferFlag);
  EXPECT_TRUE(f.provider->m_bVerified);
  ASSERT_NE(f.provider->FindGroup("Tools"), nullptr);
  EXPECT_EQ(f.provider->FindGroup("Tools")->GetItem(0)->m_nStamp, 42);
  EXPECT_FALSE(f.FetchedLicence());
}

TEST(VerifyStepTest, KeyAgeDecidesWhetherALicenceIsNeeded) {
  const Time kLimit = 45 * kSecondsPerDay;
  const Time kDay = kSecondsPerDay;
  struct Case {
    const char* name;
    Time key_age;
    bool licence;
    int expected;
    bool verified;
  } cases[] = {
      {"45 days less a second", kLimit - 1, false, 0, true},
      {"exactly 45 days", kLimit, true, 0, true},
      {"made exactly a day ahead", -kDay, false, 0, true},
      {"made a day and a second ahead", -kDay - 1, false, kKeyNotValid, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.files[kSite + "license.sig"].body = ToText(SharedPublisher(1).Sign('1', kSite));
    EXPECT_EQ(f.Run(c.key_age), c.expected) << c.name;
    EXPECT_EQ(f.FetchedLicence(), c.licence) << c.name;
    EXPECT_EQ(f.provider->m_bVerified, c.verified) << c.name;
    // The control file was verified and parsed before the key checks.
    EXPECT_TRUE(f.provider->m_bTransferFlag) << c.name;
  }
}

TEST(VerifyStepTest, LicencesAreCheckedWithTheEntryTheyName) {
  const Time kOld = 400 * kSecondsPerDay;
  struct Case {
    const char* name;
    std::string licence;
    int expected;
    bool verified;
  } cases[] = {
      {"entry 1", ToText(SharedPublisher(1).Sign('1', kSite)), 0, true},
      {"entry 2", ToText(SharedPublisher(2).Sign('2', kSite)), 0, true},
      {"entry 3 signs", ToText(SharedPublisher(3).Sign('3', kSite)), kKeyNotValid, false},
      {"entry 0 signs", ToText(SharedPublisher(0).Sign('0', kSite)), kKeyNotValid, false},
      {"entry 2 signed, names 1", ToText(SharedPublisher(2).Sign('1', kSite)), kControlNotVerified,
       false},
      {"other address", ToText(SharedPublisher(1).Sign('1', "http://other.test/")),
       kControlNotVerified, false},
      {"no licence", "<html>404</html>", kKeyNotValid, false},
      {"too short", "SIG", kKeyNotValid, false},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.files[kSite + "license.sig"].body = c.licence;
    EXPECT_EQ(f.Run(kOld), c.expected) << c.name;
    EXPECT_TRUE(f.FetchedLicence()) << c.name;
    EXPECT_EQ(f.provider->m_bVerified, c.verified) << c.name;
  }
}

// An Ed25519 provider's control file holds only with an Ed25519
// signature, and an authority entry holding an Ed25519 key licenses with
// one; the RSA form of either is refused.
TEST(VerifyStepTest, Ed25519KeysCheckControlFilesAndLicences) {
  const testing::Publisher provider_key(KeyKind::kEd25519);
  const testing::Publisher licensor(KeyKind::kEd25519);
  const std::string control = testing::ControlText(42);
  struct Case {
    const char* name;
    std::string control_sig;
    std::string licence;
    int expected;
  } cases[] = {
      {"both Ed25519", ToText(provider_key.Sign('2', control)), ToText(licensor.Sign('1', kSite)),
       0},
      {"control file signed by the former RSA key", ToText(SharedPublisher(4).Sign('1', control)),
       ToText(licensor.Sign('1', kSite)), kControlNotVerified},
      {"licence by the entry's former RSA key", ToText(provider_key.Sign('2', control)),
       ToText(SharedPublisher(1).Sign('1', kSite)), kControlNotVerified},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.provider->SetKeyData(provider_key.record.data(),
                           static_cast<int>(provider_key.record.size()));
    f.provider->SetPublicKey(provider_key.record.data(),
                             static_cast<int>(provider_key.record.size()));
    f.providers[1]->SetPublicKey(licensor.record.data(), static_cast<int>(licensor.record.size()));
    f.files[kSite + "control.sig"].body = c.control_sig;
    f.files[kSite + "license.sig"].body = c.licence;
    EXPECT_EQ(f.Run(400 * kSecondsPerDay), c.expected) << c.name;
    EXPECT_EQ(f.provider->m_bVerified, c.expected == 0) << c.name;
  }
}

TEST(VerifyStepTest, AuthorityEntriesFinishAtOnceWithoutFetching) {
  for (int i = 0; i < 4; ++i) {
    Fixture f;
    f.providers[static_cast<std::size_t>(i)]->m_bVerified = false;
    StepDriver driver(f.providers, f.files);
    CVerifyStep step(driver, 0, *f.providers[static_cast<std::size_t>(i)]);
    EXPECT_EQ(step.Step(), 0) << i;
    EXPECT_TRUE(f.providers[static_cast<std::size_t>(i)]->m_bVerified) << i;
    EXPECT_TRUE(driver.OpenedUrls().empty()) << i;
  }
}

TEST(VerifyStepTest, ABadControlSignatureLeavesTheStoredModelAlone) {
  struct Case {
    const char* name;
    std::string signature;
  } cases[] = {
      {"signed by another key", ToText(SharedPublisher(5).Sign('1', testing::ControlText(42)))},
      {"over another text", ToText(SharedPublisher(4).Sign('1', testing::ControlText(43)))},
      {"missing", "<html>404</html>"},
  };
  for (const Case& c : cases) {
    Fixture f;
    CUpdateGroup* group = f.provider->AddGroup();
    group->m_strName = "Stored";
    f.files[kSite + "control.sig"].body = c.signature;
    EXPECT_EQ(f.Run(10 * kSecondsPerDay), kControlNotVerified) << c.name;
    EXPECT_FALSE(f.provider->m_bTransferFlag) << c.name;
    EXPECT_EQ(f.provider->GetGroupCount(), 1) << c.name;
    EXPECT_EQ(f.provider->FindGroup("Tools"), nullptr) << c.name;
  }
}

// m_bVerified is granted only by a fetch that proved everything the
// provider needs. Every case runs from both starting values: a failure
// before the key checks must leave the flag as it was, a needed licence
// that is missing or wrong must clear it.
TEST(VerifyStepTest, VerifiedIsGrantedOnlyOnceEverythingNeededIsProven) {
  const Time kYoung = 10 * kSecondsPerDay;
  const Time kOld = 400 * kSecondsPerDay;
  enum Outcome { kUnchanged, kCleared, kGranted };
  const std::string good_licence = ToText(SharedPublisher(1).Sign('1', kSite));
  struct Case {
    const char* name;
    Time key_age;
    const char* file;  // the file scripted below, or none
    ScriptedFile scripted;
    int expected;
    Outcome verified;
    bool parsed;  // control file verified and merged: m_bTransferFlag
  } cases[] = {
      {"control.txt refused", kYoung, "control.txt", {"", true}, kOpenFailed, kUnchanged, false},
      {"control.txt dropped",
       kYoung,
       "control.txt",
       {std::string(900, 'x'), false, 600},
       kReadFailed,
       kUnchanged,
       false},
      {"control.sig refused", kYoung, "control.sig", {"", true}, kOpenFailed, kUnchanged, false},
      {"control.sig forged",
       kYoung,
       "control.sig",
       {ToText(SharedPublisher(5).Sign('1', testing::ControlText(42)))},
       kControlNotVerified,
       kUnchanged,
       false},
      {"old key, licence refused", kOld, "license.sig", {"", true}, kOpenFailed, kCleared, true},
      {"old key, licence dropped",
       kOld,
       "license.sig",
       {good_licence, false, 10},
       kReadFailed,
       kCleared,
       true},
      {"old key, licence forged",
       kOld,
       "license.sig",
       {ToText(SharedPublisher(5).Sign('1', kSite))},
       kControlNotVerified,
       kCleared,
       true},
      {"old key, licence missing",
       kOld,
       "license.sig",
       {"<html>404</html>"},
       kKeyNotValid,
       kCleared,
       true},
      {"key made two days ahead", -2 * kSecondsPerDay, nullptr, {}, kKeyNotValid, kCleared, true},
      {"young key", kYoung, nullptr, {}, 0, kGranted, true},
      {"old key, good licence", kOld, "license.sig", {good_licence}, 0, kGranted, true},
  };
  for (const Case& c : cases) {
    for (bool before : {false, true}) {
      Fixture f;
      if (c.file != nullptr)
        f.files[kSite + c.file] = c.scripted;
      f.provider->m_bVerified = before;
      EXPECT_EQ(f.Run(c.key_age), c.expected) << c.name << ", verified before " << before;
      const bool after = c.verified == kGranted || (c.verified == kUnchanged && before);
      EXPECT_EQ(f.provider->m_bVerified, after) << c.name << ", verified before " << before;
      EXPECT_EQ(f.provider->m_bTransferFlag, c.parsed) << c.name << ", verified before " << before;
    }
  }
}

// A licence whose signer cannot be checked proves nothing: the entry has
// no key, or the master has revoked it (it may still hold its old key
// until the revocation is applied).
TEST(VerifyStepTest, ALicenceFromAnEntryWithoutKeyOrRevokedIsNotProven) {
  for (bool revoked : {false, true}) {
    Fixture f;
    f.files[kSite + "license.sig"].body = ToText(SharedPublisher(2).Sign('2', kSite));
    f.provider->m_bVerified = true;
    if (revoked) {
      f.providers[2]->m_strAddress = "http://auth2.test/";
      f.providers[0]->AddGroup()->AddItem()->m_strName = "http://auth2.test/";
    } else {
      f.providers[2]->m_pPublicKey.reset();
    }
    EXPECT_EQ(f.Run(400 * kSecondsPerDay), kLicensorMissing) << "revoked " << revoked;
    EXPECT_FALSE(f.provider->m_bVerified) << "revoked " << revoked;
  }
}

TEST(VerifyStepTest, TransferFailuresEndTheStepWithTheirCode) {
  struct Case {
    const char* name;
    const char* file;
    ScriptedFile scripted;
    int expected;
  } cases[] = {
      {"control.txt refused", "control.txt", {"", true}, kOpenFailed},
      {"control.txt dropped", "control.txt", {std::string(900, 'x'), false, 600}, kReadFailed},
      {"control.sig refused", "control.sig", {"", true}, kOpenFailed},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.files[kSite + c.file] = c.scripted;
    EXPECT_EQ(f.Run(10 * kSecondsPerDay), c.expected) << c.name;
    EXPECT_FALSE(f.provider->m_bTransferFlag) << c.name;
  }
}

Time NoonOf(int day, int month, int year) {
  Time t = 0;
  EXPECT_TRUE(LocalNoon(day, month, year, &t));
  return t;
}

TEST(VerifyStepTest, AListOlderThanTheOneAcceptedIsRefusedUnmerged) {
  // The site's list is dated 1 March 2024.
  const Time kListDate = NoonOf(1, 3, 2024);
  struct Case {
    const char* name;
    Time accepted;
    int expected;
    Time accepted_after;
  } cases[] = {
      {"no list seen yet", 0, 0, kListDate},
      {"an earlier list seen", NoonOf(29, 2, 2024), 0, kListDate},
      {"a list of the same day seen", kListDate, 0, kListDate},
      {"a later list seen", NoonOf(2, 3, 2024), kListOlder, NoonOf(2, 3, 2024)},
  };
  for (const Case& c : cases) {
    for (const bool verified : {true, false}) {
      Fixture f;
      // What the store holds of the provider from its later list.
      CUpdateGroup* kept = f.provider->AddGroup();
      kept->m_strName = "Kept";
      kept->AddItem()->m_strName = "kept.exe";
      f.provider->m_bVerified = verified;
      f.provider->m_timeAcceptedListDate = c.accepted;
      f.provider->m_timeNextCheck = 1234;
      EXPECT_EQ(f.Run(10 * kSecondsPerDay), c.expected) << c.name;
      EXPECT_EQ(f.provider->m_timeAcceptedListDate, c.accepted_after) << c.name;
      if (c.expected == kListOlder) {
        EXPECT_EQ(f.provider->m_timeRefusedListDate, kListDate) << c.name;
        EXPECT_EQ(f.provider->GetGroupCount(), 1) << c.name;
        EXPECT_EQ(f.provider->FindGroup("Tools"), nullptr) << c.name;
        EXPECT_EQ(f.provider->m_bVerified, verified) << c.name;
        EXPECT_FALSE(f.provider->m_bTransferFlag) << c.name;
        EXPECT_EQ(f.provider->m_bListParsed, 0) << c.name;
        EXPECT_EQ(f.provider->m_bListComplete, 0) << c.name;  // so nothing is pruned
        EXPECT_EQ(f.provider->m_timeNextCheck, 1234) << c.name;
        EXPECT_FALSE(f.FetchedLicence()) << c.name;
      } else {
        EXPECT_EQ(f.provider->m_timeRefusedListDate, 0) << c.name;
        EXPECT_NE(f.provider->FindGroup("Tools"), nullptr) << c.name;
        EXPECT_TRUE(f.provider->m_bVerified) << c.name;
      }
    }
  }
}

TEST(VerifyStepTest, AListDatedAheadIsRememberedAsTodaysSoAnEarlierOneIsStillTaken) {
  // Today is 1 June 2024; the provider dates a list two weeks ahead to put
  // checks off, then publishes a fix dated today.
  Fixture f;
  auto serve = [&f](const std::string& date) {
    std::string text = ControlText(42);
    text.replace(text.find("\"1 3 2024\""), 10, "\"" + date + "\"");
    f.files[kSite + "control.txt"].body = text;
    f.files[kSite + "control.sig"].body = ToText(SharedPublisher(4).Sign('1', text));
  };
  serve("15 6 2024");
  ASSERT_EQ(f.Run(10 * kSecondsPerDay), 0);
  EXPECT_EQ(f.provider->m_timeAcceptedListDate, NoonOf(1, 6, 2024));
  serve("1 6 2024");
  EXPECT_EQ(f.Run(10 * kSecondsPerDay), 0);
  serve("31 5 2024");
  EXPECT_EQ(f.Run(10 * kSecondsPerDay), kListOlder);
}

TEST(VerifyStepTest, AnOlderListWithABadSignatureIsABadSignature) {
  Fixture f;
  f.provider->m_timeAcceptedListDate = NoonOf(2, 3, 2024);
  f.files[kSite + "control.sig"].body = ToText(SharedPublisher(1).Sign('1', "other"));
  EXPECT_EQ(f.Run(10 * kSecondsPerDay), kControlNotVerified);
  EXPECT_EQ(f.provider->m_timeRefusedListDate, 0);
}

}  // namespace
}  // namespace gantrell
