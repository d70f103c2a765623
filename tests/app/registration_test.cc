#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

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

class RevocationTest : public ::testing::Test {
 protected:
  RevocationTest() : key_server_("GANTRELL_KEY_SERVER", nullptr), os_(reg_), app_(reg_, os_) {
    app_.SetFrontend(&frontend_);
    app_.SetUpBuiltInProviders();
  }

  CProvider* AddProvider(const std::string& address, const std::string& name) {
    app_.m_providers.push_back(std::make_unique<CProvider>());
    app_.m_providers.back()->m_strAddress = address;
    app_.m_providers.back()->m_strKeyName = name;
    return app_.m_providers.back().get();
  }

  void Revoke(const std::string& address) {
    CProvider& master = *app_.GetProvider(0);
    CUpdateGroup* group = master.GetGroupCount() > 0 ? master.GetGroup(0) : master.AddGroup();
    group->AddItem()->m_strName = address;
  }

  std::vector<std::string> Addresses() const {
    std::vector<std::string> addresses;
    for (const auto& p : app_.m_providers)
      addresses.push_back(p->m_strAddress);
    return addresses;
  }

  ScopedEnv key_server_;
  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
};

TEST_F(RevocationTest, RevokedProvidersGoWithTheirFiles) {
  TempDir dir;
  CProvider* bad = AddProvider("http://bad.example/", "Bad Tools");
  AddProvider("http://good.example/", "Good");
  AddProvider("http://BAD.example/", "");
  CUpdateItem* item = bad->AddGroup()->AddItem();
  item->m_strSavePath = dir.WriteFile("bad.bin", "x");
  item->m_nFileStamp = 3;

  Revoke("http://bad.example/");
  Revoke("http://bad.example/");  // the second finds nothing left
  Revoke("http://BAD.example/");
  app_.ApplyRevocations();
  EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"Provider Bad Toolsremoved by Gantrell.",
                                                         "Provider removed by Gantrell."}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kInformation);
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad.bin")));
  ASSERT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(app_.GetProvider(5)->m_strAddress, "http://good.example/");
}

// Built-in entries are known by their position: a revoked one stays in its
// place with its address and loses its key, its groups and their files.
TEST_F(RevocationTest, RevokedBuiltInEntriesKeepTheirPlaceButNotTheMaster) {
  TempDir dir;
  const std::vector<std::string> before = Addresses();
  CProvider& own = *app_.GetProvider(4);
  own.m_strKeyName = "Gantrell";
  own.SetKeyData(reinterpret_cast<const std::uint8_t*>("PUBLKEY x"), 9);
  own.m_bVerified = true;
  CUpdateItem* item = own.AddGroup()->AddItem();
  item->m_strSavePath = dir.WriteFile("own.bin", "x");
  item->m_nFileStamp = 3;
  CProvider* user = AddProvider("http://user.example/", "User");
  user->AddGroup();
  Revoke(own.m_strAddress);
  Revoke(app_.GetProvider(0)->m_strAddress);
  Revoke(app_.GetProvider(3)->m_strAddress);  // nothing to take: not reported
  app_.ApplyRevocations();
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Provider Gantrellremoved by Gantrell."});
  EXPECT_FALSE(std::filesystem::exists(dir.File("own.bin")));
  std::vector<std::string> after = before;
  after.push_back("http://user.example/");
  EXPECT_EQ(Addresses(), after);
  EXPECT_EQ(own.m_pKeyData, nullptr);
  EXPECT_EQ(own.GetGroupCount(), 0);
  EXPECT_FALSE(own.m_bVerified);
  EXPECT_EQ(own.m_strKeyName, "Gantrell");
  EXPECT_EQ(user->GetGroupCount(), 1);
  // A second start finds nothing left to take.
  app_.ApplyRevocations();
  EXPECT_EQ(frontend_.texts().size(), 1u);
}

TEST_F(RevocationTest, KnownAddressIsNotRegisteredAgain) {
  AddProvider("http://known.example/", "Known");
  EXPECT_EQ(app_.RegisterProvider("http://known.example/"), 1);
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(app_.GetProviderCount(), 6);
}

// Downloads are filed by a folder named after the address; an address
// whose folder is another provider's (http and https of one site, "." for
// "/") is refused with that provider's name, before any fetch, and the
// other provider's files stay.
TEST_F(RevocationTest, AnAddressSharingAnotherProvidersFolderIsRefused) {
  AddProvider("http://tools.example/a/", "Tools");
  AddProvider("http://nameless.example/", "");
  const std::pair<std::string, std::string> cases[] = {
      {"https://tools.example/a/", "tools_example_a_ of the provider Tools (http://tools.example/a/)"},
      {"http://tools.example.a/", "tools_example_a_ of the provider Tools (http://tools.example/a/)"},
      {"https://nameless.example/", "nameless_example_ of the provider http://nameless.example/"},
  };
  for (const auto& [address, owner] : cases) {
    frontend_.messages.clear();
    EXPECT_EQ(app_.RegisterProvider(address), 1) << address;
    EXPECT_EQ(frontend_.texts(),
              std::vector<std::string>{"Address " + address +
                                       " was not set up successfully: its files would share the "
                                       "download folder " +
                                       owner + "."})
        << address;
    EXPECT_EQ(frontend_.wait_dialogs, 0) << address;
    EXPECT_EQ(app_.GetProviderCount(), 7) << address;
  }
}

// A provider site on a local server: public.dat, control.txt and its
// signature, made with a fresh key.
class RegistrationTest : public RevocationTest {
 protected:
  RegistrationTest() {
    std::string error;
    key_ = GenerateRsaKey(1024, &error);
    address_ = server_.Url("/p/");
    const std::vector<std::uint8_t> record = MakeKeyRecord(*key_);
    server_.Serve("/p/public.dat", std::string(record.begin(), record.end()));
    int d, m, y;
    LocalDate(Now(), &d, &m, &y);
    const std::string today = std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y);
    Publish("TCHK 7 \"" + today + "\" KMADE \"" + today +
            "\" ID 1 KEYNAME \"Example Tools\" GRP \"G\" FILE \"f\" DESC \"d\" LOCN \"f\" "
            "UPD 1/1/2026 LEN 1 TIME 1 END END");
    // Another address waits beside this one; registering this one must
    // leave it.
    EXPECT_TRUE(
        profile_.WriteProfileString("mainpath", "newprov", address_ + " * " + kOther, nullptr));
  }

  void Publish(const std::string& control, const std::string& signed_text = "") {
    const std::string& text = signed_text.empty() ? control : signed_text;
    const std::vector<std::uint8_t> signature = MakeSignatureRecord(
        *key_, '0', reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    server_.Serve("/p/control.txt", control);
    server_.Serve("/p/control.sig", std::string(signature.begin(), signature.end()));
  }

  static constexpr const char* kOther = "http://other.example/";
  TestHttpServer server_;
  RsaPrivateKeyPtr key_;
  std::string address_;
  Profile profile_{reg_.registry(), "gantrell"};
};

TEST_F(RegistrationTest, VerifiedProviderIsKept) {
  EXPECT_EQ(app_.RegisterProvider(address_), 1);
  EXPECT_EQ(frontend_.wait_dialogs, 1);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"New Provider successfully set up: Example Tools"});
  ASSERT_EQ(app_.GetProviderCount(), 6);
  const CProvider& added = *app_.GetProvider(5);
  EXPECT_TRUE(added.m_bVerified);
  EXPECT_EQ(added.GetGroupCount(), 1);
  EXPECT_GT(added.m_nKeyLength, 0);  // the first key, taken on trust
  EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), kOther);
}

// The store keeps 256 characters of an address: a longer one would come
// back cut short at the next start and fetch from somewhere else.
TEST_F(RegistrationTest, AnAddressTooLongToStoreIsRefusedBeforeAnyFetch) {
  std::string address = address_;
  address += std::string(257 - address_.size() - 1, 'a') + "/";
  ASSERT_EQ(address.size(), 257u);
  EXPECT_EQ(app_.RegisterProvider(address), 1);
  EXPECT_EQ(frontend_.wait_dialogs, 0);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"Address " + address +
                                     " was not set up successfully: an address may have at most "
                                     "256 characters."});
  EXPECT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(server_.ConnectionCount(), 0);
}

TEST_F(RegistrationTest, UnverifiedProviderIsDropped) {
  Publish("TCHK 7 \"1 1 2026\" KMADE \"1 1 2026\" ID 1 KEYNAME x END", "something else");
  EXPECT_EQ(app_.RegisterProvider(address_), 1);
  EXPECT_EQ(frontend_.texts(),
            std::vector<std::string>{"Address " + address_ + " was not set up successfully."});
  EXPECT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), kOther);
}

// A key 45 days old or older needs a licence by entry 1 or 2; one that
// cannot be fetched or proven leaves the registration failed, although the
// control file itself verified.
TEST_F(RegistrationTest, AnOldKeyIsSetUpOnlyWithAProvenLicence) {
  std::string error;
  RsaPrivateKeyPtr licensor = GenerateRsaKey(1024, &error);
  const std::vector<std::uint8_t> licensor_record = MakeKeyRecord(*licensor);
  CProvider& entry = *app_.GetProvider(1);
  entry.SetKeyData(licensor_record.data(), static_cast<int>(licensor_record.size()));
  entry.SetPublicKey(entry.m_pKeyData.get(), entry.m_nKeyLength);
  int d, m, y;
  LocalDate(Now() - 400 * kSecondsPerDay, &d, &m, &y);
  const std::string made = std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y);
  Publish("TCHK 7 \"" + made + "\" KMADE \"" + made +
          "\" ID 1 KEYNAME \"Old Tools\" GRP \"G\" FILE \"f\" DESC \"d\" LOCN \"f\" "
          "UPD 1/1/2026 LEN 1 TIME 1 END END");
  const auto licence = [&](RsaPrivateKey& key, const std::string& over) {
    const std::vector<std::uint8_t> record = MakeSignatureRecord(
        key, '1', reinterpret_cast<const std::uint8_t*>(over.data()), over.size());
    return std::string(record.begin(), record.end());
  };
  const std::string good = licence(*licensor, address_);
  struct Case {
    const char* name;
    std::function<void()> serve;
    bool set_up;
  } cases[] = {
      {"no licence", [&] { server_.Serve("/p/license.sig", "Not found", 404); }, false},
      {"licence cut off", [&] { server_.ServeCut("/p/license.sig", good, 2); }, false},
      {"licence over another address",
       [&] { server_.Serve("/p/license.sig", licence(*licensor, "http://other.example/")); },
       false},
      {"licence signed by the provider itself",
       [&] { server_.Serve("/p/license.sig", licence(*key_, address_)); }, false},
      {"licence by entry 1", [&] { server_.Serve("/p/license.sig", good); }, true},
  };
  for (const Case& c : cases) {
    frontend_.messages.clear();
    c.serve();
    EXPECT_EQ(app_.RegisterProvider(address_), 1) << c.name;
    const std::string expected = c.set_up ? "New Provider successfully set up: Old Tools"
                                          : "Address " + address_ + " was not set up successfully.";
    EXPECT_EQ(frontend_.texts(), std::vector<std::string>{expected}) << c.name;
    EXPECT_EQ(app_.GetProviderCount(), c.set_up ? 6 : 5) << c.name;
  }
}

TEST_F(RegistrationTest, CancelledRegistrationKeepsTheProviderAndTheHandOff) {
  frontend_.cancel_waits = {true};
  EXPECT_EQ(app_.RegisterProvider(address_), 2);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(app_.GetProviderCount(), 6);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), address_ + " * " + kOther);
  app_.JoinWorkThread();
}

TEST_F(RegistrationTest, PendingAddressesAreRegisteredInTurn) {
  std::string pending = address_ + " *  * " + address_ + "\n * ";
  frontend_.answers = {MessageAnswer::kYes};
  app_.RegisterPendingProviders(&pending);
  EXPECT_TRUE(pending.empty());
  // The second time the address is known: no question, no wait, no message.
  EXPECT_EQ(frontend_.wait_dialogs, 1);
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{"Subscribe to updates from " + address_ + "?",
                                      "New Provider successfully set up: Example Tools"}));
  EXPECT_EQ(app_.GetProviderCount(), 6);
}

// An offered address (a file argument, a hand-off) is checked, then asked
// about, with the address itself and No the default; only Yes registers
// it. No takes it out of "newprov" for good; a frontend that cannot ask
// leaves it there.
TEST_F(RegistrationTest, OfferedAddressesAreAskedAboutBeforeTheyAreRegistered) {
  const std::string question = "Subscribe to updates from " + address_ + "?";
  struct Case {
    const char* name;
    MessageAnswer answer;
    OfferOutcome outcome;
    int providers;
    std::string newprov;
  } cases[] = {
      {"No", MessageAnswer::kNo, OfferOutcome::kDeclined, 5, kOther},
      {"nobody to ask", MessageAnswer::kUnanswered, OfferOutcome::kKept, 5,
       address_ + " * " + kOther},
      {"Yes", MessageAnswer::kYes, OfferOutcome::kRegistered, 6, kOther},
  };
  for (const Case& c : cases) {
    frontend_.messages.clear();
    frontend_.answers = {c.answer};
    ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", address_ + " * " + kOther,
                                            nullptr));
    EXPECT_EQ(app_.OfferProvider(address_ + "\r\n"), c.outcome) << c.name;
    ASSERT_FALSE(frontend_.messages.empty()) << c.name;
    EXPECT_EQ(frontend_.messages[0].text, question) << c.name;
    EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kQuestion) << c.name;
    EXPECT_EQ(frontend_.messages[0].buttons, MessageButtons::kYesNoOrLater) << c.name;
    EXPECT_EQ(app_.GetProviderCount(), c.providers) << c.name;
    EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), c.newprov) << c.name;
  }
  // Declined or kept, nothing was fetched before the Yes.
  EXPECT_EQ(frontend_.wait_dialogs, 1);

  // Known by now: registered again without a question.
  frontend_.messages.clear();
  EXPECT_EQ(app_.OfferProvider(address_), OfferOutcome::kRegistered);
  EXPECT_TRUE(frontend_.messages.empty());

  // A file argument's address, not handed over, that nobody can answer
  // for waits in "newprov" for a later start.
  ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", "", nullptr));
  frontend_.answers = {MessageAnswer::kUnanswered};
  EXPECT_EQ(app_.OfferProvider("http://later.example/"), OfferOutcome::kKept);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), "http://later.example/");
}

// What is not a provider address is refused before anything is asked, with
// the same check as "add" and the new-provider dialog, and leaves "newprov".
TEST_F(RegistrationTest, OfferedAddressesThatAreNotProviderAddressesAreRefused) {
  const std::pair<std::string, std::string> cases[] = {
      {"127.0.0.1", "it does not start with http:// or https://"},
      {"http://127.0.0.1", "it names no folder (add a closing \"/\")"},
      {"http://user@example.org/", "it holds a user name"},
      {"ftp://example.org/", "it does not start with http:// or https://"},
      {"http://example.org/updates?x=1/", "it holds a query or a fragment"},
  };
  for (const auto& [address, reason] : cases) {
    frontend_.messages.clear();
    ASSERT_TRUE(profile_.WriteProfileString("mainpath", "newprov", address, nullptr));
    EXPECT_EQ(app_.OfferProvider(address), OfferOutcome::kRefused) << address;
    EXPECT_EQ(frontend_.texts(),
              std::vector<std::string>{"Address " + address +
                                       " was not set up successfully: " + reason + "."})
        << address;
    EXPECT_EQ(profile_.GetProfileString("mainpath", "newprov", "?"), "") << address;
  }
  EXPECT_EQ(app_.GetProviderCount(), 5);
  EXPECT_EQ(server_.ConnectionCount(), 0);
}

}  // namespace
}  // namespace gantrell
