#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "model/provider.h"
#include "net/signature.h"
#include "tools/publish_tool.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;

class RotateTest : public PublishToolTest {
 protected:
  void SetUp() override {
    PublishToolTest::SetUp();
    fs::create_directory(Path("site"));
    for (auto& entry : authorities_)
      entry = std::make_unique<CProvider>();
  }

  // A file of the site as a client receives it: at most 512 bytes; empty
  // when missing.
  Bytes Fetch(const std::string& name) const {
    Bytes bytes = Read("site/" + name);
    if (bytes.size() > 512)
      bytes.resize(512);
    return bytes;
  }

  void SetAuthority(int index, const std::string& record_file) {
    const Bytes record = Read(record_file);
    authorities_[index]->SetKeyData(record.data(), static_cast<int>(record.size()));
  }

  // The client's key refresh over the site: 0 accepted or unchanged, 5 a
  // link that holds with neither key, 6 nine links without reaching the
  // stored key, 7 not a key record, 12 a missing file.
  int Walk(CProvider& provider) {
    const Bytes current = Fetch("public.dat");
    if (current.empty())
      return 12;
    if (provider.m_pKeyData == nullptr)
      return 0;
    if (BytesEqual(current.data(), provider.m_pKeyData.get(), provider.m_nKeyLength))
      return 0;
    if (!IsKeyRecord(current.data(), static_cast<int>(current.size())))
      return 7;
    Bytes newer = current;
    for (int n = 1; n <= 9; ++n) {
      const Bytes older = Fetch("oldpub" + std::to_string(n) + ".dat");
      const Bytes signature = Fetch("oldpub" + std::to_string(n) + ".sig");
      if (older.empty() || signature.empty())
        return 12;
      provider.SetPublicKey(older.data(), static_cast<int>(older.size()));
      provider.BeginDigest();
      provider.AddToDigest(newer.data(), static_cast<int>(newer.size()));
      if (!provider.VerifySignature(signature.data(), static_cast<int>(signature.size()))) {
        const int index = signature.size() > 3 ? signature[3] - '0' : -1;
        if (index < 0 || index > 3)
          return 5;
        CProvider& entry = *authorities_[index];
        if (entry.m_nKeyLength < 3)
          return 5;
        entry.SetPublicKey(entry.m_pKeyData.get(), entry.m_nKeyLength);
        entry.BeginDigest();
        entry.AddToDigest(newer.data(), static_cast<int>(newer.size()));
        entry.AddToDigest(older.data(), static_cast<int>(older.size()));
        if (!entry.VerifySignature(signature.data(), static_cast<int>(signature.size())))
          return 5;
      }
      if (BytesEqual(older.data(), provider.m_pKeyData.get(), provider.m_nKeyLength)) {
        provider.SetPublicKey(current.data(), static_cast<int>(current.size()));
        return 0;
      }
      newer = older;
    }
    return 6;
  }

  // A client that holds `record_file` as its stored key walks the site, and
  // then checks a control file signed with `signer` (a private key file).
  void ExpectClientFollows(const std::string& record_file, int expected_result,
                           const std::string& signer) {
    CProvider client;
    const Bytes stored = Read(record_file);
    client.SetKeyData(stored.data(), static_cast<int>(stored.size()));
    client.SetPublicKey(stored.data(), static_cast<int>(stored.size()));
    ASSERT_EQ(Walk(client), expected_result) << "client holding " << record_file;
    if (expected_result != 0)
      return;
    EXPECT_EQ(Bytes(client.m_pKeyData.get(), client.m_pKeyData.get() + client.m_nKeyLength),
              stored);
    const RunResult r =
        Run({"sign", "--key", signer, "--out", "control.sig", "--text", "control text"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Verifies(Fetch("public.dat"), ToBytes("control text"), Read("control.sig")))
        << "the site's key does not check control.sig";
    client.BeginDigest();
    client.AddToDigest("control text");
    const Bytes control_sig = Read("control.sig");
    EXPECT_TRUE(client.VerifySignature(control_sig.data(), static_cast<int>(control_sig.size())))
        << "client holding " << record_file << " did not take the new key";
  }

  RunResult Rotate(const std::string& old_key, const std::string& new_key,
                   std::vector<std::string> extra = {}) const {
    std::vector<std::string> args = {"rotate", "--site", "site", "--new-key",
                                     new_key,  "--bits", "1024"};
    if (!old_key.empty()) {
      args.push_back("--old-key");
      args.push_back(old_key);
    }
    args.insert(args.end(), extra.begin(), extra.end());
    return Run(args);
  }

  std::array<std::unique_ptr<CProvider>, 4> authorities_;
};

TEST_F(RotateTest, ClientsFollowAChainOfOwnAndAuthorityLinks) {
  MakeKey("k0.pem", "site/public.dat");
  fs::copy_file(Path("site/public.dat"), Path("k0.dat"));
  MakeKey("authority.pem", "authority.dat");
  SetAuthority(2, "authority.dat");

  RunResult r = Rotate("k0.pem", "k1.pem");
  ASSERT_EQ(r.status, 0) << r.err;
  fs::copy_file(Path("site/public.dat"), Path("k1.dat"));
  EXPECT_EQ(Read("site/oldpub1.dat"), Read("k0.dat"));
  ExpectClientFollows("k0.dat", 0, "k1.pem");
  ExpectClientFollows("k1.dat", 0, "k1.pem");

  // A key made beforehand is used, not replaced.
  MakeKey("k2.pem", "k2.dat");
  const std::string k2_pem = testing::ReadWholeFile(Path("k2.pem"));
  r = Rotate("k1.pem", "k2.pem");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(testing::ReadWholeFile(Path("k2.pem")), k2_pem);
  EXPECT_EQ(Read("site/public.dat"), Read("k2.dat"));

  // k2's private key is lost: authority 2 vouches for k3.
  r = Rotate("", "k3.pem", {"--authority-key", "authority.pem", "--authority", "2"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Read("site/oldpub1.sig")[3], '2');
  for (const char* held : {"k0.dat", "k1.dat", "k2.dat"})
    ExpectClientFollows(held, 0, "k3.pem");

  // Without that authority's key the authority link does not hold.
  authorities_[2] = std::make_unique<CProvider>();
  ExpectClientFollows("k2.dat", 5, "k3.pem");
  SetAuthority(2, "k0.dat");
  ExpectClientFollows("k0.dat", 5, "k3.pem");
}

TEST_F(RotateTest, RefusesWithoutChangingTheSite) {
  MakeKey("k0.pem", "site/public.dat");
  MakeKey("stranger.pem", "stranger.dat");
  ASSERT_EQ(Rotate("k0.pem", "k1.pem").status, 0);
  const auto snapshot = [this] {
    std::vector<Bytes> files;
    for (const char* name : {"public.dat", "oldpub1.dat", "oldpub1.sig", "oldpub2.dat"}) {
      files.push_back(Read(std::string("site/") + name));
    }
    return files;
  };
  const auto before = snapshot();
  struct Case {
    std::string old_key;
    std::string new_key;
    std::string message;
  } cases[] = {
      {"k0.pem", "k2.pem",
       "'k0.pem' is not the private key of '" + testing::SystemSpelling("site/public.dat") + "'"},
      {"stranger.pem", "k2.pem", "is not the private key"},
      {"absent.pem", "k2.pem", "cannot read 'absent.pem'"},
      {"k1.pem", "k1.pem",
       "holds the key already in '" + testing::SystemSpelling("site/public.dat") + "'"},
  };
  for (const Case& c : cases) {
    const RunResult r = Rotate(c.old_key, c.new_key);
    EXPECT_EQ(r.status, 1) << c.old_key;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(snapshot(), before) << c.old_key;
    EXPECT_FALSE(fs::exists(Path("k2.pem"))) << c.old_key;
  }

  // A broken chain is not moved up.
  fs::remove(Path("site/oldpub1.sig"));
  RunResult r = Rotate("k1.pem", "k2.pem");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("'" + testing::SystemSpelling("site/oldpub1.sig") + "' is missing"),
            std::string::npos)
      << r.err;
  EXPECT_TRUE(fs::exists(Path("site/oldpub1.dat")));

  fs::remove(Path("site/public.dat"));
  r = Rotate("k1.pem", "k2.pem");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot read '" + testing::SystemSpelling("site/public.dat") + "'"),
            std::string::npos)
      << r.err;
}

TEST_F(RotateTest, NineLinksAreTheMostClientsFollow) {
  MakeKey("k0.pem", "site/public.dat");
  fs::copy_file(Path("site/public.dat"), Path("k0.dat"));
  for (int n = 1; n <= 9; ++n) {
    const RunResult r =
        Rotate("k" + std::to_string(n - 1) + ".pem", "k" + std::to_string(n) + ".pem");
    ASSERT_EQ(r.status, 0) << n << r.err;
  }
  fs::copy_file(Path("site/public.dat"), Path("k9.dat"));
  ExpectClientFollows("k0.dat", 0, "k9.pem");

  RunResult r = Rotate("k9.pem", "k10.pem");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("--drop-oldest"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(Path("k10.pem")));

  r = Rotate("k9.pem", "k10.pem", {"--drop-oldest"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(Path("site/oldpub10.dat")));
  EXPECT_EQ(Read("site/oldpub1.dat"), Read("k9.dat"));
  ExpectClientFollows("k9.dat", 0, "k10.pem");
  // The holder of k0 is now ten links behind.
  ExpectClientFollows("k0.dat", 6, "k10.pem");
}

}  // namespace
}  // namespace gantrell
