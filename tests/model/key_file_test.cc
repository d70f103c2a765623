#include "model/key_file.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::VectorPath;

ProviderList Providers(int count) {
  ProviderList providers;
  for (int i = 0; i < count; ++i)
    providers.push_back(std::make_unique<CProvider>());
  return providers;
}

void ReadFrom(const std::string& bytes, int start, ProviderList& providers) {
  std::FILE* file = std::tmpfile();
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::rewind(file);
  ReadKeyRecords(file, start, providers);
  std::fclose(file);
}

std::string KeyOf(const CProvider& provider) {
  if (provider.m_pKeyData == nullptr)
    return "";
  return std::string(reinterpret_cast<const char*>(provider.m_pKeyData.get()),
                     static_cast<std::size_t>(provider.m_nKeyLength));
}

TEST(KeyFileTest, IndependentKeyFileGivesEachProviderItsKey) {
  ProviderList providers = Providers(6);
  ReadFrom(ReadWholeFile(VectorPath("store-v3-keydata.dat")), 0, providers);
  const std::string key1024 = ReadWholeFile(VectorPath("key1024.rec"));
  const std::string key2048 = ReadWholeFile(VectorPath("key2048.rec"));
  const std::string expected[] = {key1024, "", "", "", key2048, key1024};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(KeyOf(*providers[static_cast<std::size_t>(i)]), expected[i]) << "provider " << i;
    EXPECT_EQ(providers[static_cast<std::size_t>(i)]->HasPublicKey(), !expected[i].empty())
        << "provider " << i;
  }
  // And it is written back byte for byte.
  EXPECT_EQ(FormatKeyFile(providers), ReadWholeFile(VectorPath("store-v3-keydata.dat")));
}

TEST(KeyFileTest, LengthIsWrittenHighByteFirst) {
  ProviderList providers = Providers(2);
  const std::string key(300, 'k');
  providers[1]->SetKeyData(reinterpret_cast<const std::uint8_t*>(key.data()), 300);
  const std::string written = FormatKeyFile(providers);
  EXPECT_EQ(written.substr(0, 4), std::string("XX\x01\x2c", 4));
  EXPECT_EQ(written.size(), 4u + 300u);

  ProviderList loaded = Providers(2);
  ReadFrom(written, 0, loaded);
  EXPECT_EQ(KeyOf(*loaded[1]), key);
  EXPECT_FALSE(loaded[1]->HasPublicKey());  // not a PUBLKEY record
}

TEST(KeyFileTest, ReadingStopsAtCutsAndOversizedLengths) {
  const std::string record = std::string("\x00\x03", 2) + "abc";
  struct Case {
    const char* what;
    std::string bytes;
    std::vector<std::string> keys;
  };
  const Case cases[] = {
      {"cut inside the second record", record + std::string("\x00\x05", 2) + "ab", {"abc", "", ""}},
      {"length above 512",
       record + std::string("\x02\x01", 2) + std::string(513, 'z') + record,
       {"abc", "", ""}},
      {"length of exactly 512",
       record + std::string("\x02\x00", 2) + std::string(512, 'z') + record,
       {"abc", std::string(512, 'z'), "abc"}},
      {"X with any second byte", std::string("Xy") + record, {"", "abc", ""}},
      {"a single byte", std::string("\x00", 1), {"", "", ""}},
  };
  for (const Case& c : cases) {
    ProviderList providers = Providers(3);
    ReadFrom(c.bytes, 0, providers);
    for (std::size_t i = 0; i < 3; ++i)
      EXPECT_EQ(KeyOf(*providers[i]), c.keys[i]) << c.what << " #" << i;
  }
}

TEST(KeyFileTest, StartIndexSkipsEarlierProviders) {
  ProviderList providers = Providers(3);
  ReadFrom(std::string("\x00\x01", 2) + "k", 2, providers);
  EXPECT_EQ(KeyOf(*providers[0]), "");
  EXPECT_EQ(KeyOf(*providers[2]), "k");
  ProviderList none = Providers(2);
  ReadFrom(std::string("\x00\x01", 2) + "k", 2, none);  // applies to no provider
  EXPECT_EQ(KeyOf(*none[1]), "");
}

}  // namespace
}  // namespace gantrell
