#include "support/test_site.h"

#include "model/local_time.h"

namespace gantrell::testing {
namespace {

std::string Record(const std::vector<std::uint8_t>& bytes) {
  return std::string(bytes.begin(), bytes.end());
}

std::string Sign(const RsaPrivateKey& key, char digit, const std::string& text) {
  return Record(MakeSignatureRecord(key, digit, reinterpret_cast<const std::uint8_t*>(text.data()),
                                    text.size()));
}

}  // namespace

TestSite::TestSite(TestHttpServer& server, std::string path, std::string name)
    : server_(server), path_(std::move(path)), name_(std::move(name)) {
  std::string error;
  key_ = GenerateRsaKey(1024, &error);
  server_.Serve(path_ + "public.dat", Record(MakeKeyRecord(*key_)));
}

void TestSite::AddItem(const std::string& file_name, int number, const std::string& body,
                       const std::string& description) {
  items_.push_back({file_name, number, body, description});
  server_.Serve(path_ + std::to_string(number) + ".dat", body);
  server_.Serve(path_ + std::to_string(number) + ".sig", Sign(*key_, '1', body));
}

void TestSite::Corrupt(int number) {
  for (const Item& item : items_) {
    if (item.number != number)
      continue;
    std::string bytes = item.body;
    for (char& c : bytes)
      c = static_cast<char>(c ^ 0x5a);
    server_.Serve(path_ + std::to_string(number) + ".dat", bytes);
  }
}

void TestSite::Publish() {
  int day = 1, month = 1, year = 2026;
  LocalDate(Now(), &day, &month, &year);
  const std::string today =
      std::to_string(day) + " " + std::to_string(month) + " " + std::to_string(year);
  const std::string upd =
      std::to_string(day) + "/" + std::to_string(month) + "/" + std::to_string(year);
  std::string control =
      "TCHK 7 \"" + today + "\" KMADE \"" + today + "\" ID 1 KEYNAME \"" + name_ + "\" GRP \"G\"";
  for (const Item& item : items_) {
    control += " FILE \"" + item.file_name + "\" DESC \"" + item.description + "\" NUMB " +
               std::to_string(item.number) + " LOCN \"" + item.file_name + "\" UPD " + upd +
               " LEN " + std::to_string(item.body.size()) + " TIME " +
               std::to_string(100 + item.number);
  }
  control += " END END";
  server_.Serve(path_ + "control.txt", control);
  server_.Serve(path_ + "control.sig", Sign(*key_, '0', control));
}

}  // namespace gantrell::testing
