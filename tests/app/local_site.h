// Provider sites on a local server for whole fetches, registrations and
// start-ups: a fresh key, its public.dat, a control file signed with it and
// items with their signatures. Also a provider store to start from whose
// built-in entries are not due, so that only the sites are fetched.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/client_app.h"
#include "model/built_in_providers.h"
#include "model/local_time.h"
#include "net/signature.h"
#include "support/test_http_server.h"

namespace gantrell::testing {

// Today's local date as "day month year", as a control file gives it.
inline std::string Today() {
  int d = 0, m = 0, y = 0;
  LocalDate(Now(), &d, &m, &y);
  return std::to_string(d) + " " + std::to_string(m) + " " + std::to_string(y);
}

class LocalSite {
 public:
  // The site lives at `path` ("/p/") on `server`.
  LocalSite(TestHttpServer& server, std::string path) : server_(server), path_(std::move(path)) {
    std::string error;
    key_ = GenerateRsaKey(1024, &error);
    EXPECT_NE(key_, nullptr) << error;
    const std::vector<std::uint8_t> record = MakeKeyRecord(*key_);
    server_.Serve(path_ + "public.dat", std::string(record.begin(), record.end()));
  }

  std::string address() const { return server_.Url(path_); }
  std::string File(const std::string& name) const { return path_ + name; }

  // Publishes control.txt: a header for today with the provider's `name`,
  // then `groups` (GRP ... END entries), then END; and its signature.
  void Publish(const std::string& groups, const std::string& name = "Example Tools") {
    const std::string control = "TCHK 7 \"" + Today() + "\" KMADE \"" + Today() +
                                "\" ID 1 KEYNAME \"" + name + "\" " + groups + " END";
    server_.Serve(File("control.txt"), control);
    server_.Serve(File("control.sig"), Sign(control, '0'));
  }

  // Serves item `number`'s bytes (N.dat) and their signature (N.sig).
  void PublishItem(int number, const std::string& bytes) {
    server_.Serve(File(std::to_string(number) + ".dat"), bytes);
    server_.Serve(File(std::to_string(number) + ".sig"), Sign(bytes, '1'));
  }

  std::string Sign(const std::string& bytes, char digit) const {
    const std::vector<std::uint8_t> record = MakeSignatureRecord(
        *key_, digit, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    return std::string(record.begin(), record.end());
  }

 private:
  TestHttpServer& server_;
  std::string path_;
  RsaPrivateKeyPtr key_;
};

// One group entry of a control file holding one item.
inline std::string GroupEntry(const std::string& group, const std::string& file, int number,
                              int stamp, const std::string& location = "") {
  return "GRP \"" + group + "\" FILE \"" + file + "\" DESC \"about " + file + "\" NUMB " +
         std::to_string(number) + " LOCN \"" + (location.empty() ? file : location) +
         "\" UPD 1/1/2026 LEN 3 TIME " + std::to_string(stamp) + " END";
}

// Writes a store into `app`'s data folder: the built-in entries, not due for
// a month, and a new provider for each address (due at once).
inline void WriteStartStore(CClientApp& app, const std::vector<std::string>& addresses) {
  app.SetUpBuiltInProviders();
  for (auto& provider : app.m_providers)
    provider->m_timeNextCheck = Now() + 30 * kSecondsPerDay;
  for (const std::string& address : addresses)
    app.m_providers.push_back(MakeNewProvider(address));
  std::string error;
  ASSERT_TRUE(app.SaveStore(&error)) << error;
  app.m_providers.clear();
}

}  // namespace gantrell::testing
