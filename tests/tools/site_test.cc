#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "conditions/condition.h"
#include "model/provider.h"
#include "model/token_reader.h"
#include "net/sha256_digest.h"
#include "net/signature.h"
#include "support/test_paths.h"
#include "tools/publish_tool.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;

// Six lines that every bad-manifest case extends from line 7 on.
constexpr char kBase[] =
    "name = Example Tools\n"
    "key = provider.pem\n"
    "[group \"Tools\"]\n"
    "[item \"tool.exe\"]\n"
    "number = 2\n"
    "file = tool.exe\n";

constexpr char kFullManifest[] =
    "# The update site of Example Tools\n"
    "name = Example Tools\n"
    "key = keys/provider.pem\n"
    "key-id = 3\n"
    "check-interval = 14\n"
    "list-date = 2004-03-01\n"
    "key-made = 1/1/2004\n"
    "address = http://updates.example.org/\n"
    "\n"
    "[group \"Tools\"]\n"
    "[item \"tool.exe\"]\n"
    "file = build/tool.exe\n"
    "number = 2\n"
    "description = The best tool\n"
    "condition = WINV  INV 0 NME \"NT only\"   CPNT 2 CP9X 3 END\r\n"  // a CRLF line, keys in any
                                                                       // order
    "\n"
    "[item \"readme.txt\"]\n"
    "number = 5\n"
    "location = docs/readme.txt\n"
    "date = 29/2/2004\n"
    "stamp = 17\n"
    "condition = CP NME \"either\" CPT 1 REG KRT 1 PTH \"Software\\Example\" CPT 0 END NULL END\n"
    "\n"
    "[group \"Extras\"]\n"
    "[item \"extra.dat\"]\n"
    "number = 0\n";

std::unique_ptr<CCondition> ReadCondition(const std::string& text) {
  CStringTokenReader reader(text);
  std::string kind;
  reader.ReadToken(&kind, 15);
  std::unique_ptr<CCondition> condition = CreateCondition(kind);
  if (condition != nullptr)
    condition->Parse(reader);
  return condition;
}

class SiteTest : public PublishToolTest {
 protected:
  void SetUp() override {
    PublishToolTest::SetUp();
    fs::create_directories(Path("keys"));
    fs::create_directories(Path("build"));
    MakeKey("keys/provider.pem", "keys/provider.dat");
    fs::copy_file(Path("keys/provider.pem"), Path("provider.pem"));
    Write("build/tool.exe", std::string("MZ\0\x01 tool bytes", 15));
    Write("readme.txt", "Read me first.\n");
    Write("extra.dat", "");
    Write("tool.exe", "a tool");
  }

  // Every file below the folder `name`, by relative path.
  std::map<std::string, std::string> Snapshot(const std::string& name) const {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(Path(name))) {
      files[fs::relative(entry.path(), Path(name)).string()] =
          testing::ReadWholeFile(entry.path().string());
    }
    return files;
  }

  RunResult BuildSite(const std::string& manifest, std::vector<std::string> extra = {}) {
    Write("site.manifest", manifest);
    std::vector<std::string> args = {"site", "--out", "www"};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back("site.manifest");
    return Run(args);
  }

  // The site's control file as a client reads it, after checking its
  // signature with the key the site publishes.
  std::unique_ptr<CProvider> ClientRead() const {
    const Bytes key = Read("www/public.dat");
    const Bytes text = Read("www/control.txt");
    EXPECT_TRUE(Verifies(key, text, Read("www/control.sig")));
    auto provider = std::make_unique<CProvider>();
    std::string copy(text.begin(), text.end());
    EXPECT_TRUE(provider->ParseControlFile(copy, ControlFileContext{}));
    return provider;
  }

  std::int32_t Stamp(const std::string& group, const std::string& item) const {
    const std::unique_ptr<CProvider> provider = ClientRead();
    const CUpdateGroup* found = provider->FindGroup(group);
    const CUpdateItem* entry = found ? found->FindItem(item) : nullptr;
    return entry ? entry->m_nStamp : -100;
  }
};

TEST_F(SiteTest, BuildsASiteTheClientVerifiesAndReadsAsWritten) {
  const RunResult r = BuildSite(kFullManifest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read("www/public.dat"), Read("keys/provider.dat"));
  EXPECT_FALSE(fs::exists(Path("www/license.sig")));

  const std::unique_ptr<CProvider> provider = ClientRead();
  EXPECT_EQ(provider->m_strKeyName, "Example Tools");
  EXPECT_EQ(provider->m_nKeyId, 3);
  EXPECT_EQ(provider->m_nCheckInterval, 14);
  Time list_date = 0;
  Time key_made = 0;
  ASSERT_TRUE(LocalNoon(1, 3, 2004, &list_date));
  ASSERT_TRUE(LocalNoon(1, 1, 2004, &key_made));
  EXPECT_EQ(provider->m_timeListDate, list_date);
  EXPECT_EQ(provider->m_timeKeyMade, key_made);
  ASSERT_EQ(provider->GetGroupCount(), 2);
  EXPECT_EQ(provider->GetGroup(0)->m_strName, "Tools");
  EXPECT_EQ(provider->GetGroup(1)->m_strName, "Extras");

  struct Expected {
    std::string group, name, source;
    int number;
    std::string location, description, date, condition;
  };
  const Expected expected[] = {
      {"Tools", "tool.exe", "build/tool.exe", 2, "tool.exe", "The best tool", "",
       "WINV NME \"NT only\" V9X 0 VNT 0 CP9X 3 CPNT 2 INV 0 END"},
      {"Tools", "readme.txt", "readme.txt", 5, "docs/readme.txt", "", "29 2 2004",
       "CP NME \"either\" CPT 1 INV 0  REG NME \"\" KRT 1 INV 0 PTH \"Software\\Example\" KNME "
       "\"\" "
       "CPV \"\" CPT 0 END  NULL END"},
      {"Extras", "extra.dat", "extra.dat", 0, "extra.dat", "", "", ""},
  };
  for (const Expected& e : expected) {
    SCOPED_TRACE(e.name);
    const CUpdateItem* item = provider->FindGroup(e.group)->FindItem(e.name);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->m_nNumber, e.number);
    EXPECT_EQ(item->m_strLocation, e.location);
    EXPECT_EQ(item->m_strDescription, e.description);
    if (!e.date.empty()) {
      EXPECT_EQ(item->m_strDate, e.date);
    }
    EXPECT_GT(item->m_nStamp, 0);

    // The item's bytes under its number, with a signature a client accepts.
    const Bytes data = Read("www/" + std::to_string(e.number) + ".dat");
    const Bytes signature = Read("www/" + std::to_string(e.number) + ".sig");
    EXPECT_EQ(data, Read(e.source));
    EXPECT_EQ(item->m_nLength, static_cast<std::int32_t>(data.size()));
    ASSERT_GE(signature.size(), 4u);
    EXPECT_EQ(std::string(signature.begin(), signature.begin() + 4), "SIG1");
    EXPECT_LE(signature.size(), 512u);
    EXPECT_TRUE(Verifies(Read("www/public.dat"), data, signature));
    // Its entry carries the file's SHA-256 right after its stamp.
    const std::string digest = Sha256Hex(std::string(data.begin(), data.end()));
    EXPECT_EQ(item->m_strSha256, digest);
    EXPECT_NE(testing::ReadWholeFile(Path("www/control.txt"))
                  .find(" TIME " + std::to_string(item->m_nStamp) + " SHA256 " + digest),
              std::string::npos);

    // Conditions arrive as the client itself writes them.
    if (e.condition.empty()) {
      EXPECT_EQ(item->m_pCondition, nullptr);
    } else {
      ASSERT_NE(item->m_pCondition, nullptr);
      EXPECT_TRUE(ConditionsEqual(*item->m_pCondition, *ReadCondition(e.condition)));
      EXPECT_NE(testing::ReadWholeFile(Path("www/control.txt")).find(" COND " + e.condition),
                std::string::npos)
          << e.condition;
    }
  }
  EXPECT_EQ(provider->FindGroup("Tools")->FindItem("readme.txt")->m_nStamp, 17);
}

TEST_F(SiteTest, AChangedByteFailsVerification) {
  ASSERT_EQ(BuildSite(kFullManifest).status, 0);
  const Bytes key = Read("www/public.dat");
  for (const std::string name : {"control", "2"}) {
    Bytes data = Read("www/" + name + (name == "control" ? ".txt" : ".dat"));
    const Bytes signature = Read("www/" + name + ".sig");
    ASSERT_TRUE(Verifies(key, data, signature)) << name;
    for (std::size_t at : {std::size_t{0}, data.size() / 2, data.size() - 1}) {
      Bytes changed = data;
      changed[at] ^= 0x01;
      EXPECT_FALSE(Verifies(key, changed, signature)) << name << " byte " << at;
    }
  }
}

TEST_F(SiteTest, LicenceSignsTheExactAddressWithTheAuthorityKey) {
  MakeKey("authority.pem", "authority.dat");
  const RunResult r =
      BuildSite(kFullManifest, {"--authority-key", "authority.pem", "--authority", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Bytes licence = Read("www/license.sig");
  ASSERT_GE(licence.size(), 4u);
  EXPECT_EQ(licence[3], '2');
  const Bytes address = ToBytes("http://updates.example.org/");
  EXPECT_TRUE(Verifies(Read("authority.dat"), address, licence));
  EXPECT_FALSE(Verifies(Read("authority.dat"), ToBytes("http://updates.example.org"), licence));
  EXPECT_FALSE(Verifies(Read("www/public.dat"), address, licence));

  // Without an authority key, a licence already in the site stays.
  ASSERT_EQ(BuildSite(kFullManifest).status, 0);
  EXPECT_EQ(Read("www/license.sig"), licence);

  // A licence needs the address.
  const RunResult no_address = BuildSite(std::string(kBase) + "description = x\n",
                                         {"--authority-key", "authority.pem", "--authority", "1"});
  EXPECT_EQ(no_address.status, 1);
  EXPECT_NE(no_address.err.find("needs the provider's address"), std::string::npos)
      << no_address.err;
}

TEST_F(SiteTest, DefaultStampFollowsTheItemsBytes) {
  ASSERT_EQ(BuildSite(kBase).status, 0);
  const std::int32_t first = Stamp("Tools", "tool.exe");
  RunResult r = BuildSite(kBase);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("(1 unchanged)"), std::string::npos) << r.out;
  EXPECT_EQ(Stamp("Tools", "tool.exe"), first);

  Write("tool.exe", "a tool, fixed");
  r = BuildSite(kBase);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("(0 unchanged)"), std::string::npos) << r.out;
  EXPECT_NE(Stamp("Tools", "tool.exe"), first);
  EXPECT_EQ(testing::ReadWholeFile(Path("www/2.dat")), "a tool, fixed");
}

TEST_F(SiteTest, KeyMadeDateStaysWithTheKeyAcrossBuilds) {
  ASSERT_EQ(BuildSite(std::string(kBase) + "[group \"G\"]\n").status, 0);  // fresh: today
  Time today = 0;
  int day, month, year;
  ASSERT_TRUE(LocalDate(Now(), &day, &month, &year));
  ASSERT_TRUE(LocalNoon(day, month, year, &today));
  EXPECT_EQ(ClientRead()->m_timeKeyMade, today);

  const std::string dated = "key-made = 2020-05-01\n" + std::string(kBase);
  ASSERT_EQ(BuildSite(dated).status, 0);
  ASSERT_EQ(BuildSite(kBase).status, 0);  // no date given: the published one stays
  Time may_first = 0;
  ASSERT_TRUE(LocalNoon(1, 5, 2020, &may_first));
  EXPECT_EQ(ClientRead()->m_timeKeyMade, may_first);
}

TEST_F(SiteTest, RebuildKeepsOtherFilesAndRefusesAnotherKey) {
  ASSERT_EQ(BuildSite(kBase).status, 0);
  Write("www/oldpub1.dat", "older key record");
  Write("www/oldpub1.sig", "older link");
  Write("www/license.sig", "licence from the authority");
  Write("www/index.html", "<p>hello</p>");
  ASSERT_EQ(BuildSite(kBase).status, 0);
  const auto before = Snapshot("www");
  EXPECT_EQ(before.at("oldpub1.dat"), "older key record");
  EXPECT_EQ(before.at("oldpub1.sig"), "older link");
  EXPECT_EQ(before.at("license.sig"), "licence from the authority");

  MakeKey("other.pem", "other.dat");
  std::string manifest = kBase;
  manifest.replace(manifest.find("provider.pem"), 12, "other.pem");
  const RunResult r = BuildSite(manifest);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds another key"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("rotate"), std::string::npos) << r.err;
  EXPECT_EQ(Snapshot("www"), before);
}

TEST_F(SiteTest, UnlistedItemFilesAreReportedAndRemovedOnlyOnRequest) {
  const std::string two_items = std::string(kBase) + "[item \"readme.txt\"]\nnumber = 5\n";
  ASSERT_EQ(BuildSite(two_items).status, 0);
  Write("www/0007.dat", "not an item file name");
  RunResult r = BuildSite(kBase);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("5.dat' belongs to no listed item"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::exists(Path("www/5.dat")));

  r = BuildSite(kBase, {"--prune"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("www/5.dat")));
  EXPECT_FALSE(fs::exists(Path("www/5.sig")));
  EXPECT_TRUE(fs::exists(Path("www/2.dat")));
  EXPECT_TRUE(fs::exists(Path("www/0007.dat")));
}

TEST_F(SiteTest, BadManifestsNameTheLineAndLeaveTheSiteUntouched) {
  ASSERT_EQ(BuildSite(kBase).status, 0);
  const auto before = Snapshot("www");
  const std::string base = kBase;
  struct Case {
    std::string manifest;
    std::string error;  // expected in the message
  };
  const Case cases[] = {
      {base + "descripton = x\n", "site.manifest:7: unknown key 'descripton'"},
      {base + "description = say \"hi\"\n", "site.manifest:7: description holds a double quote"},
      {base + "description = a\tb\n", "site.manifest:7: description holds a control character"},
      {base + "description = " + std::string(513, 'x') + "\n", "clients keep at most 512"},
      {base + "number = 3\n", "site.manifest:7: 'number' is given twice"},
      {base + "stamp = 0\n", "site.manifest:7: stamp must be a whole number from 1"},
      {base + "date = 30/2/2004\n", "site.manifest:7: date must be a date"},
      {base + "location = ../../evil.exe\n", "site.manifest:7: location must be a relative path"},
      {base + "[item \"b\"]\nnumber = 2\n",
       "site.manifest:8: number 2 is already used by item "
       "\"tool.exe\" on line 5"},
      {base + "[item \"tool.exe\"]\nnumber = 4\n", "site.manifest:7: item \"tool.exe\" is already"},
      {base + "[item \"b\"]\n", "site.manifest:7: item \"b\" has no number"},
      {base + "[item b]\n", "site.manifest:7: the item name goes in double quotes"},
      {base + "[group \"Tools\"]\n", "site.manifest:7: group \"Tools\" is already defined"},
      {base + "just words\n", "site.manifest:7: expected 'key = value'"},
      {base + "[item \"b\"]\nnumber = 3\nfile = missing.exe\n",
       "site.manifest:9: item \"b\": cannot read 'missing.exe'"},
      {base + "condition = WINX NME \"x\" END\n",
       "site.manifest:7: bad condition: unknown "
       "condition kind 'WINX'"},
      {base + "condition = WINV VTN 2 END\n", "unknown key 'VTN' in a WINV condition"},
      {base + "condition = WINV CPNT two END\n", "CPNT needs a whole number, not 'two'"},
      {base + "condition = REG KRT 1 PTH \"Software\"\n", "the REG condition has no closing END"},
      {base + "condition = CP CPT 1 NULL END END\n", "unexpected 'END' after the end"},
      {base + "condition = REG NME \"x END\n", "double quote that is never closed"},
      {base + "condition = REG PTH \"" + std::string(201, 'k') + "\" END\n", "longer than the 200"},
      {"name = X\nkey = provider.pem\n[item \"a\"]\nnumber = 1\n",
       "site.manifest:3: an [item] section must follow the [group]"},
      {"key = provider.pem\n[group \"G\"]\n", "site.manifest: the provider's name is missing"},
      {"name = X\nkey = missing.pem\n", "missing.pem"},
      {"key-made = 2036-01-01\n" + base, "site.manifest:1: key-made lies in the future"},
  };
  for (const Case& c : cases) {
    const RunResult r = BuildSite(c.manifest);
    EXPECT_EQ(r.status, 1) << c.manifest;
    EXPECT_NE(r.err.find(c.error), std::string::npos) << c.manifest << "\n" << r.err;
    EXPECT_EQ(Snapshot("www"), before) << c.manifest;

    // A new site folder is not left behind either.
    Write("site.manifest", c.manifest);
    EXPECT_EQ(Run({"site", "--out", "new", "site.manifest"}).status, 1) << c.manifest;
    EXPECT_FALSE(fs::exists(Path("new"))) << c.manifest;
  }

  // A failure after an item was already made new changes nothing either.
  Write("tool.exe", "a newer tool");
  RunResult late = BuildSite(base + "[item \"b\"]\nnumber = 3\nfile = missing.exe\n");
  EXPECT_EQ(late.status, 1);
  EXPECT_EQ(Snapshot("www"), before);

  // A private key the web server would publish.
  Write("www/key.pem", testing::ReadWholeFile(Path("provider.pem")));
  Write("site.manifest", "name = X\nkey = www/../www/key.pem\n");
  for (const std::string out : {"www", "www/", "./www"}) {
    const RunResult r = Run({"site", "--out", out, "site.manifest"});
    EXPECT_EQ(r.status, 1) << out;
    EXPECT_NE(r.err.find("lies inside the site folder"), std::string::npos) << out << r.err;
  }
}

// The subscription file holds the address alone, as the client reads a
// file argument; --address stands in for the manifest's address, and an
// address clients cannot subscribe to gets no file.
TEST_F(SiteTest, SubscriptionFileHoldsTheAddressClientsRegister) {
  RunResult r = BuildSite(kFullManifest);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadPendingProviders(Path("www/subscribe.gantrell")), "http://updates.example.org/");
  EXPECT_NE(r.out.find("subscribe.gantrell"), std::string::npos) << r.out;

  fs::remove_all(Path("www"));
  r = BuildSite(kBase, {"--address", "http://127.0.0.1:8080/demo/"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadPendingProviders(Path("www/subscribe.gantrell")), "http://127.0.0.1:8080/demo/");

  fs::remove_all(Path("www"));
  r = BuildSite(kBase);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("www/subscribe.gantrell")));

  // A licence may name an address without the closing "/": the site is
  // built, without a file that would subscribe to nothing.
  r = BuildSite(std::string("address = http://updates.example.org\n") + kBase);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("www/subscribe.gantrell")));
  EXPECT_NE(r.err.find("does not end in '/'"), std::string::npos) << r.err;

  fs::remove_all(Path("www"));
  for (const char* bad : {"ftp://example.org/", "http://example.org", "http:///x/",
                          "http://a.org/x/ * http://b.org/", "example.org/"}) {
    r = BuildSite(kBase, {"--address", bad});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_FALSE(fs::exists(Path("www"))) << bad;
  }
  r = BuildSite(kBase, {"--address", "http://example.org/" + std::string(600, 'a') + "/"});
  EXPECT_EQ(r.status, 2);
}

TEST_F(SiteTest, BadUsageExitsWithTwoAndWritesNothing) {
  Write("site.manifest", kBase);
  const std::vector<std::vector<std::string>> cases = {
      {"site", "site.manifest"},
      {"site", "--out", "www"},
      {"site", "--out", "www", "site.manifest", "other.manifest"},
      {"site", "--out", "www", "--authority", "1", "site.manifest"},
      {"site", "--out", "www", "--authority-key", "provider.pem", "site.manifest"},
      {"site", "--out", "www", "--authority-key", "provider.pem", "--authority", "3",
       "site.manifest"},
      {"site", "--out", "www", "--colour", "site.manifest"},
  };
  for (const auto& args : cases) {
    const RunResult r = Run(args);
    EXPECT_EQ(r.status, 2) << args.size() << ": " << r.err;
    EXPECT_FALSE(fs::exists(Path("www"))) << r.err;
  }
  const RunResult help = Run({"site", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: gantrell-publish site"), std::string::npos);
}

TEST_F(SiteTest, BuildsWithTheDefaultKeySize) {
  // keygen's default of 2048 bits makes 260-byte item signatures, which
  // clients read whole.
  ASSERT_EQ(Run({"keygen", "big.pem", "big.dat"}).status, 0);
  std::string manifest = kBase;
  manifest.replace(manifest.find("provider.pem"), 12, "big.pem");
  const RunResult r = BuildSite(manifest);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const auto& entry : fs::directory_iterator(Path("www"))) {
    if (entry.path().extension() == ".sig" && entry.path().filename() != "control.sig") {
      EXPECT_EQ(fs::file_size(entry.path()), 260u) << entry.path();
    }
  }
}

}  // namespace
}  // namespace gantrell
