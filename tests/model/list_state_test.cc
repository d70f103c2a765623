#include "model/list_state.h"

#include <gtest/gtest.h>

#include <string>

#include "model/token_reader.h"

namespace gantrell {
namespace {

const std::string kDigest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";

Time Noon(int day, int month, int year) {
  Time t = 0;
  EXPECT_TRUE(LocalNoon(day, month, year, &t));
  return t;
}

CUpdateItem* AddItem(CProvider* provider, const std::string& group_name,
                     const std::string& item_name, std::int32_t stamp) {
  CUpdateGroup* group = provider->FindGroup(group_name);
  if (group == nullptr) {
    group = provider->AddGroup();
    group->m_strName = group_name;
  }
  CUpdateItem* item = group->AddItem();
  item->m_strName = item_name;
  item->m_nStamp = stamp;
  return item;
}

CProvider* AddProvider(ProviderList* providers, const std::string& address) {
  providers->push_back(std::make_unique<CProvider>());
  providers->back()->m_strAddress = address;
  return providers->back().get();
}

// The same providers, groups and items as the store would give back, with
// none of what the list state holds.
ProviderList Sample() {
  ProviderList providers;
  CProvider* first = AddProvider(&providers, "http://a.test/");
  AddItem(first, "Tools", "tool \"1\".exe", 17);
  AddItem(first, "Tools", "plain.exe", 18);
  AddItem(first, "Fix\\es", "fix.exe", 19);
  AddProvider(&providers, "http://quiet.test/");
  CProvider* dated = AddProvider(&providers, "http://b.test/");
  AddItem(dated, "G", "f", 1);
  return providers;
}

bool Read(const std::string& text, ProviderList* providers) {
  CStringTokenReader reader(text);
  return ReadListState(reader, providers);
}

TEST(ListStateTest, DatesAndDigestsComeBackForTheSameProvidersAndItems) {
  ProviderList saved = Sample();
  saved[0]->m_timeAcceptedListDate = Noon(9, 12, 2026);
  saved[0]->GetGroup(0)->GetItem(0)->m_strSha256 = kDigest;
  saved[0]->GetGroup(1)->GetItem(0)->m_strSha256 = "-";
  saved[2]->m_timeAcceptedListDate = Noon(1, 3, 2004);
  const std::string text = FormatListState(saved);
  EXPECT_EQ(text,
            "LIST \"http://a.test/\" TIME 2026 12 9 SHA256 \"Tools\" \"tool \\B1\\B.exe\" 17 \"" +
                kDigest +
                "\" SHA256 \"Fix\\Aes\" \"fix.exe\" 19 \"-\" LIST \"http://b.test/\" TIME 2004 3 1 "
                "END ");

  ProviderList loaded = Sample();
  ASSERT_TRUE(Read(text, &loaded));
  EXPECT_EQ(loaded[0]->m_timeAcceptedListDate, Noon(9, 12, 2026));
  EXPECT_EQ(loaded[0]->GetGroup(0)->GetItem(0)->m_strSha256, kDigest);
  EXPECT_EQ(loaded[0]->GetGroup(0)->GetItem(1)->m_strSha256, "");
  EXPECT_EQ(loaded[0]->GetGroup(1)->GetItem(0)->m_strSha256, "-");
  EXPECT_EQ(loaded[1]->m_timeAcceptedListDate, 0);
  EXPECT_EQ(loaded[2]->m_timeAcceptedListDate, Noon(1, 3, 2004));
  EXPECT_EQ(FormatListState(loaded), text);
}

TEST(ListStateTest, NothingToKeepIsAnEmptyFile) {
  EXPECT_EQ(FormatListState(Sample()), "END ");
  ProviderList providers = Sample();
  providers[1]->AddGroup()->AddItem()->m_strSha256 = kDigest;  // a digest but no date
  EXPECT_EQ(FormatListState(providers),
            "LIST \"http://quiet.test/\" NONE SHA256 \"\" \"\" -2 \"" + kDigest + "\" END ");
}

TEST(ListStateTest, StateThatNoLongerFitsIsDropped) {
  struct Case {
    const char* name;
    std::string records;
  } cases[] = {
      {"an address no provider has", "LIST \"http://gone.test/\" TIME 2026 1 1 SHA256 \"Tools\" "
                                     "\"plain.exe\" 18 \"" + kDigest + "\" "},
      {"another stamp than the item's", "LIST \"http://a.test/\" NONE SHA256 \"Tools\" "
                                        "\"plain.exe\" 5 \"" + kDigest + "\" "},
      {"an unknown item", "LIST \"http://a.test/\" NONE SHA256 \"Tools\" \"new.exe\" 18 \"" +
                              kDigest + "\" "},
      {"an unknown group", "LIST \"http://a.test/\" NONE SHA256 \"Other\" \"plain.exe\" 18 \"" +
                               kDigest + "\" "},
      {"a record before any LIST", "SHA256 \"Tools\" \"plain.exe\" 18 \"" + kDigest + "\" "},
      {"unknown records", "FUTURE 1 2 \"x\" LIST \"http://a.test/\" NONE LATER \"y\" "},
  };
  for (const Case& c : cases) {
    ProviderList providers = Sample();
    EXPECT_TRUE(Read(c.records + "END ", &providers)) << c.name;
    EXPECT_EQ(FormatListState(providers), "END ") << c.name;
  }
}

TEST(ListStateTest, AFileCutShortKeepsWhatCameBeforeTheCut) {
  ProviderList providers = Sample();
  EXPECT_FALSE(Read("LIST \"http://b.test/\" TIME 2026 1 2 SHA256 \"G\" \"f\"", &providers));
  EXPECT_EQ(providers[2]->m_timeAcceptedListDate, Noon(2, 1, 2026));
  EXPECT_TRUE(providers[2]->GetGroup(0)->GetItem(0)->m_strSha256.empty());
}

TEST(ListStateTest, TheRefusalNamesTheProviderAndBothDates) {
  CProvider provider;
  provider.m_strAddress = "http://a.test/";
  provider.m_timeRefusedListDate = Noon(2, 11, 2026);
  provider.m_timeAcceptedListDate = Noon(30, 11, 2026);
  EXPECT_EQ(OlderListText(provider),
            "The update list of http://a.test/ is older than the one already seen (2026-11-02 < "
            "2026-11-30); it was ignored.");
  provider.m_strKeyName = "Example Tools";
  EXPECT_EQ(OlderListText(provider),
            "The update list of Example Tools is older than the one already seen (2026-11-02 < "
            "2026-11-30); it was ignored.");
}

}  // namespace
}  // namespace gantrell
