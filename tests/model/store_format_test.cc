#include "model/store_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <random>
#include <sstream>

#include "conditions/condition.h"
#include "model/token_reader.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::VectorPath;

constexpr Time kNow = 1767268800;  // 1 January 2026, around noon

ProviderList ReadText(const std::string& text, bool* complete = nullptr, Time now = kNow,
                      bool* whole = nullptr) {
  ProviderList providers;
  CStringTokenReader reader(text);
  bool read_whole = false;
  bool ok = ReadStore(reader, &providers, now, &read_whole);
  if (complete != nullptr)
    *complete = ok;
  if (whole != nullptr)
    *whole = read_whole;
  // A store read to its END with nothing skipped is whole, and only then.
  EXPECT_TRUE(ok || !read_whole);
  return providers;
}

bool IsUnreadableCondition(const CCondition* condition) {
  return condition != nullptr && ConditionsEqual(*condition, *MakeUnreadableCondition());
}

std::string ConditionText(const CCondition* condition) {
  if (condition == nullptr)
    return "(none)";
  std::ostringstream out;
  condition->Write(out);
  return out.str();
}

Time Noon(int day, int month, int year) {
  Time t = 0;
  EXPECT_TRUE(LocalNoon(day, month, year, &t));
  return t;
}

TEST(QuotedTextTest, EscapesRoundTrip) {
  const std::pair<std::string, std::string> cases[] = {
      {"", "\"\" "},
      {"plain", "\"plain\" "},
      {"a\\\"b", "\"a\\A\\Bb\" "},  // backslash first, then the quote
      {"\\B", "\"\\AB\" "},         // a literal backslash-B survives
      {"\\A\\\\", "\"\\AA\\A\\A\" "},
      {"with blanks and \"quotes\"", "\"with blanks and \\Bquotes\\B\" "},
  };
  for (const auto& [text, written] : cases) {
    std::string out;
    WriteQuoted(text, &out);
    EXPECT_EQ(out, written) << text;
    // What the token reader hands back is the text between the quotes.
    CStringTokenReader reader(out);
    std::string token;
    ASSERT_TRUE(reader.ReadToken(&token, 512)) << text;
    EXPECT_EQ(ReadQuoted(token), text) << text;
  }
}

TEST(StoreReadTest, IndependentVersion3StoreLoadsInFull) {
  bool complete = false;
  ProviderList providers =
      ReadText(ReadWholeFile(VectorPath("store-v3-provdata.dat")), &complete, Noon(8, 12, 2026));
  EXPECT_TRUE(complete);
  ASSERT_EQ(providers.size(), 6u);

  const CProvider& own = *providers[4];
  EXPECT_EQ(own.m_strKeyName, "Own updates");
  EXPECT_EQ(own.m_nKeyId, 4);
  EXPECT_EQ(own.m_nScanMode, 1);
  EXPECT_TRUE(own.m_bVerified);
  EXPECT_EQ(own.m_timeKeyMade, Noon(2, 1, 2026));
  EXPECT_EQ(own.m_timeNextCheck, Noon(20, 12, 2026));
  ASSERT_EQ(own.GetGroupCount(), 1);
  const CUpdateItem& client = *own.GetGroup(0)->GetItem(0);
  EXPECT_EQ(client.m_strName, "client.exe");
  EXPECT_EQ(client.m_nNumber, 1);
  EXPECT_EQ(client.m_nLength, 123456);
  EXPECT_EQ(client.m_nStamp, 17);
  EXPECT_EQ(client.m_nTakenStamp, 17);
  EXPECT_EQ(client.m_nFileStamp, 17);
  EXPECT_EQ(client.m_pCondition, nullptr);

  const CProvider& user = *providers[5];
  EXPECT_EQ(user.m_strKeyName, "Quote \"and\" back\\slash");
  EXPECT_EQ(user.m_strAddress, "http://updates.example.org/");
  EXPECT_EQ(user.m_nScanMode, 2);
  EXPECT_FALSE(user.m_bVerified);
  ASSERT_EQ(user.GetGroupCount(), 2);
  const CUpdateGroup& tools = *user.GetGroup(0);
  EXPECT_EQ(tools.m_strGroupText, "group text");
  EXPECT_EQ(tools.m_bScan, 0);
  EXPECT_EQ(tools.m_bListed, 0);
  ASSERT_EQ(tools.GetItemCount(), 3);

  const CUpdateItem& ab = *tools.GetItem(0);
  EXPECT_EQ(ab.m_strName, "a b.txt");
  EXPECT_EQ(ab.m_strSavePath, "/home/u/custom/a b.txt");
  EXPECT_EQ(ab.m_strDate, "31 12 2025");
  EXPECT_EQ(ab.m_nNumber, -3);
  EXPECT_EQ(ab.m_nTakenStamp, -1);
  EXPECT_EQ(ab.m_bListed, 0);
  EXPECT_EQ(ConditionText(ab.m_pCondition.get()),
            " REG NME \"has value\" KRT 2 INV 0 PTH \"Software\\Vendor\\App\" KNME \"Version\" "
            "CPV \"10\" CPT 3 END ");

  const CUpdateItem& w = *tools.GetItem(1);
  EXPECT_EQ(w.m_nLength, 1048577);
  EXPECT_EQ(w.m_nOffered, 0);
  EXPECT_EQ(ConditionText(w.m_pCondition.get()),
            " CP NME \"either\" CPT 1 INV 0  REG NME \"has value\" KRT 2 INV 0 PTH "
            "\"Software\\Vendor\\App\" KNME \"Version\" CPV \"10\" CPT 3 END  CP NME \"inner\" "
            "CPT 2 INV 1  WINV NME \"xp or later\" V9X 0 VNT 3 CP9X 3 CPNT 2 INV 0 END  NULL END "
            "END ");

  const CUpdateItem& n = *tools.GetItem(2);
  EXPECT_EQ(n.m_nStamp, 1);
  EXPECT_EQ(ConditionText(n.m_pCondition.get()), " NULL ");

  EXPECT_EQ(user.GetGroup(1)->m_strName, "Empty");
  EXPECT_EQ(user.GetGroup(1)->GetItemCount(), 0);
}

TEST(StoreReadTest, Version2StoreLoadsAndIsWrittenAsVersion3) {
  ProviderList providers = ReadText(ReadWholeFile(VectorPath("store-v2-provdata.dat")));
  ASSERT_EQ(providers.size(), 1u);
  const CProvider& old = *providers[0];
  EXPECT_EQ(old.m_strKeyName, "Old provider");
  EXPECT_EQ(old.m_nKeyId, 3);
  ASSERT_EQ(old.GetGroupCount(), 1);
  const CUpdateItem& zip = *old.GetGroup(0)->GetItem(0);
  EXPECT_EQ(zip.m_strName, "old.zip");
  EXPECT_EQ(zip.m_nNumber, 0);
  EXPECT_EQ(zip.m_nLength, 2048);
  EXPECT_EQ(zip.m_nStamp, 4);
  EXPECT_NE(zip.m_pCondition, nullptr);

  const std::string rewritten = FormatStore(providers);
  EXPECT_EQ(rewritten.rfind("V3lsave ", 0), 0u) << rewritten;
  EXPECT_EQ(rewritten.find("V2lsave"), std::string::npos);
  ProviderList again = ReadText(rewritten);
  EXPECT_EQ(FormatStore(again), rewritten);
  EXPECT_EQ(again[0]->GetGroup(0)->GetItem(0)->m_nLength, 2048);
}

TEST(StoreReadTest, MinimalStoreReadsTokenByToken) {
  // Written by hand from the record tables, one provider, group and item.
  const std::string text =
      "V3lsave \"P\" \"http://p/\" 2 1 1 TIME 2004 3 1 TIME 2004 1 1 TIME 2004 3 8 "
      "GRP \"G\" \"\" 1 END FILE \"f\" \"\" \"loc\" \"d\" \"1 3 2004\" 7 100 5 -1 -1 1 END END ";
  bool complete = false;
  ProviderList providers = ReadText(text, &complete);
  ASSERT_TRUE(complete);
  ASSERT_EQ(providers.size(), 1u);
  EXPECT_EQ(providers[0]->m_timeBaseline, Noon(1, 1, 2004));
  const CUpdateItem& item = *providers[0]->GetGroup(0)->GetItem(0);
  EXPECT_EQ(item.m_strLocation, "loc");
  EXPECT_EQ(item.m_nNumber, 7);
  EXPECT_EQ(item.m_nStamp, 5);
  // Writing it again gives the same tokens.
  EXPECT_EQ(FormatStore(providers), text);
}

TEST(StoreReadTest, NextCheckIsCappedAtEightyDays) {
  const auto store_with_next_check = [](Time next) {
    ProviderList one;
    one.push_back(std::make_unique<CProvider>());
    one[0]->m_timeNextCheck = next;
    return FormatStore(one);
  };
  // A date a year ahead comes back as now plus 80 days; ten days ahead stays.
  ProviderList far = ReadText(store_with_next_check(kNow + 365 * kSecondsPerDay));
  EXPECT_EQ(far[0]->m_timeNextCheck, kNow + kMaxNextCheckAhead);
  ProviderList near = ReadText(store_with_next_check(kNow + 10 * kSecondsPerDay));
  int d, m, y;
  ASSERT_TRUE(LocalDate(kNow + 10 * kSecondsPerDay, &d, &m, &y));
  EXPECT_EQ(near[0]->m_timeNextCheck, Noon(d, m, y));
}

TEST(StoreReadTest, LateEveningKeepsItsDate) {
  ProviderList one;
  one.push_back(std::make_unique<CProvider>());
  one[0]->m_timeBaseline = Noon(31, 12, 2025) + 11 * 3600 + 59 * 60;  // 23:59
  EXPECT_NE(FormatStore(one).find("TIME 2025 12 31"), std::string::npos);
  EXPECT_EQ(ReadText(FormatStore(one))[0]->m_timeBaseline, Noon(31, 12, 2025));
}

TEST(StoreReadTest, CutStoreKeepsWhatCameBefore) {
  const std::string full = ReadWholeFile(VectorPath("store-v3-provdata.dat"));
  // Every cut point: never a crash, never a complete read, and the
  // providers whose records lie wholly before the cut are all there.
  for (std::size_t cut = 0; cut + 4 < full.size(); ++cut) {
    bool complete = true;
    ProviderList providers = ReadText(full.substr(0, cut), &complete);
    EXPECT_FALSE(complete) << "cut at " << cut;
    std::size_t whole = 0;
    for (std::size_t pos = full.find("V3lsave", 1); pos != std::string::npos && pos < cut;
         pos = full.find("V3lsave", pos + 1)) {
      ++whole;
    }
    EXPECT_GE(providers.size(), whole) << "cut at " << cut;
  }
}

const std::string kProviderP =
    "V3lsave \"P\" \"http://p/\" 0 1 0 TIME 2004 1 1 TIME 2004 1 1 TIME 2004 1 1 "
    "GRP \"G\" \"\" 1 END FILE \"f\" \"\" \"\" \"\" \"1 1 2004\" 0 1 1 -1 -1 1 ";
const std::string kLaterProviders =
    "V3lsave \"Q\" \"http://q/\" 0 1 0 TIME 2004 1 1 TIME 2004 1 1 TIME 2004 1 1 "
    "GRP \"GQ\" \"\" 1 END FILE \"FILE\" \"\" \"\" \"\" \"1 1 2004\" 0 1 9 9 -1 1 END "
    "FILE \"q2\" \"\" \"\" \"\" \"1 1 2004\" 0 1 3 3 -1 1 COND NULL END "
    "V3lsave \"R\" \"http://r/\" 0 1 0 TIME 2004 1 1 TIME 2004 1 1 TIME 2004 1 1 "
    "GRP \"GR\" \"\" 1 END FILE \"r\" \"\" \"\" \"\" \"1 1 2004\" 0 1 4 4 -1 1 END END ";

std::string NestedCompounds(int depth, const std::string& inner) {
  std::string text;
  for (int i = 0; i < depth; ++i)
    text += "CP NME \"n\" CPT 0 INV 0 ";
  text += inner;
  for (int i = 0; i < depth; ++i)
    text += "END ";
  return text;
}

TEST(StoreReadTest, UnreadableConditionKeepsTheItemUnsuitableAndTheLaterRecords) {
  // Conditions this client cannot follow, each in the first provider's only
  // item. The records after it must all be read, and the item must not
  // count as suitable, also once written and read back.
  const std::string bad_conditions[] = {
      "COND FUTURE NME \"x\" LEVEL 3 END END ",
      "COND FUTURE A \"FILE\" B \"V3lsave\" C \"END\" END END ",  // quoted keywords
      "COND FUTURE END ",                                         // no END of its own
      "COND FUTURE A 1 REG NME \"r\" END B 2 END END ",           // with a member
      "COND FUTURE FILE \"lost?\" \"\" \"\" \"\" \"1 1 2004\" 0 1 1 -1 -1 1 END ",
      "COND " + NestedCompounds(65, "REG KRT 9 END ") + "END ",  // deeper than followed
      // a member of an unknown kind beside a registry test that holds
      "COND CP CPT 0 INV 0 FUT NME \"future kind\" X 1 END REG KRT 9 INV 1 END END END ",
      "COND CP CPT 1 CP FUT NME \"f\" END END END END ",  // nested one level down
  };
  for (const std::string& bad : bad_conditions) {
    bool complete = false;
    bool whole = true;
    ProviderList providers = ReadText(kProviderP + bad + kLaterProviders, &complete, kNow, &whole);
    EXPECT_FALSE(whole) << bad;
    ASSERT_EQ(providers.size(), 3u) << bad;
    EXPECT_EQ(providers[1]->m_strKeyName, "Q") << bad;
    ASSERT_EQ(providers[1]->GetGroupCount(), 1) << bad;
    ASSERT_EQ(providers[1]->GetGroup(0)->GetItemCount(), 2) << bad;
    EXPECT_EQ(providers[1]->GetGroup(0)->GetItem(0)->m_strName, "FILE") << bad;
    EXPECT_EQ(providers[1]->GetGroup(0)->GetItem(1)->m_nTakenStamp, 3) << bad;
    ASSERT_EQ(providers[2]->GetGroupCount(), 1) << bad;
    EXPECT_EQ(providers[2]->GetGroup(0)->GetItem(0)->m_nTakenStamp, 4) << bad;
    const CUpdateItem& item = *providers[0]->GetGroup(0)->GetItem(0);
    EXPECT_TRUE(IsUnreadableCondition(item.m_pCondition.get()))
        << bad << ConditionText(item.m_pCondition.get());

    const std::string written = FormatStore(providers);
    ProviderList again = ReadText(written, &complete, kNow, &whole);
    EXPECT_TRUE(complete && whole) << written;
    EXPECT_EQ(FormatStore(again), written);
    EXPECT_TRUE(IsUnreadableCondition(again[0]->GetGroup(0)->GetItem(0)->m_pCondition.get()))
        << written;
  }
}

TEST(StoreReadTest, NestingUpToTheGuardIsReadWhole) {
  const std::string text =
      kProviderP + "COND " + NestedCompounds(64, "REG KRT 9 END ") + "END END ";
  bool complete = false;
  bool whole = false;
  ProviderList providers = ReadText(text, &complete, kNow, &whole);
  EXPECT_TRUE(complete && whole);
  const CCondition* condition = providers[0]->GetGroup(0)->GetItem(0)->m_pCondition.get();
  ASSERT_NE(condition, nullptr);
  EXPECT_FALSE(IsUnreadableCondition(condition));
}

TEST(StoreReadTest, RecordsWithoutAnOwnerAreSkippedAndTheRestIsRead) {
  // A group before any provider, or an item before any group, cannot be
  // placed; its END is not taken for the end of the store.
  for (const std::string stray : {"GRP \"lost\" \"\" 1 END ", "FILE \"lost\" \"\" 0 END "}) {
    bool complete = false;
    bool whole = true;
    ProviderList providers = ReadText(
        stray + "V3lsave \"P\" \"http://p/\" 0 1 0 TIME 2004 1 1 TIME 2004 1 1 TIME 2004 1 1 END ",
        &complete, kNow, &whole);
    EXPECT_TRUE(complete) << stray;
    EXPECT_FALSE(whole) << stray;
    ASSERT_EQ(providers.size(), 1u) << stray;
    EXPECT_EQ(providers[0]->m_strKeyName, "P") << stray;
  }
}

TEST(StoreReadTest, ALineBreakAfterTheEndIsNothing) {
  // Files from tools or an editor often end with a line break.
  for (const std::string tail : {"\n", "\r\n", " \n ", "\n\n"}) {
    bool complete = false;
    bool whole = false;
    ProviderList providers =
        ReadText(kProviderP + "END " + kLaterProviders + tail, &complete, kNow, &whole);
    EXPECT_TRUE(complete && whole) << ::testing::PrintToString(tail);
    EXPECT_EQ(providers.size(), 3u);
  }
}

TEST(StoreReadTest, DatePartsAreDecimalWhateverTheirLeadingZeros) {
  const std::string text =
      "V3lsave \"P\" \"http://p/\" 0 1 0 TIME 2026 08 09 TIME 2026 09 08 TIME 02026 01 031 END ";
  ProviderList providers = ReadText(text);
  ASSERT_EQ(providers.size(), 1u);
  EXPECT_EQ(providers[0]->m_timeKeyMade, Noon(9, 8, 2026));
  EXPECT_EQ(providers[0]->m_timeBaseline, Noon(8, 9, 2026));
  EXPECT_EQ(providers[0]->m_timeNextCheck, Noon(31, 1, 2026));
}

TEST(StoreRoundTripTest, TextsAtTheLengthLimitsReadBackEqual) {
  // Each text field with its reader's limit. A backslash or a double quote
  // takes two characters in the file, so a text within the limit may be
  // written longer than the limit and must still come back whole.
  struct Field {
    const char* name;
    std::size_t limit;
    std::function<std::string*(ProviderList&)> at;
  };
  auto item = [](ProviderList& p) { return p[0]->GetGroup(0)->GetItem(0); };
  const Field fields[] = {
      {"key name", 256, [](ProviderList& p) { return &p[0]->m_strKeyName; }},
      {"address", 256, [](ProviderList& p) { return &p[0]->m_strAddress; }},
      {"group name", 256, [](ProviderList& p) { return &p[0]->GetGroup(0)->m_strName; }},
      {"group text", 256, [](ProviderList& p) { return &p[0]->GetGroup(0)->m_strGroupText; }},
      {"item name", 256, [&](ProviderList& p) { return &item(p)->m_strName; }},
      {"save path", 512, [&](ProviderList& p) { return &item(p)->m_strSavePath; }},
      {"location", 512, [&](ProviderList& p) { return &item(p)->m_strLocation; }},
      {"description", 512, [&](ProviderList& p) { return &item(p)->m_strDescription; }},
      {"date", 256, [&](ProviderList& p) { return &item(p)->m_strDate; }},
  };
  auto make_text = [](std::size_t length, int pattern) {
    std::string text(length, 'x');
    for (std::size_t i = 0; i < length; ++i) {
      if (pattern == 0 && i + 1 == length)
        text[i] = '\\';  // one backslash at the very end
      if (pattern == 1 && i % 2 == 0)
        text[i] = '"';
      if (pattern == 2)
        text[i] = i % 3 == 0 ? '\\' : (i % 3 == 1 ? '"' : 'B');
      if (pattern == 3 && i == 0)
        text[i] = '\\';
    }
    return text;
  };
  for (const Field& field : fields) {
    for (std::size_t length : {field.limit - 1, field.limit, field.limit + 1}) {
      for (int pattern = 0; pattern < 4; ++pattern) {
        ProviderList tree;
        tree.push_back(std::make_unique<CProvider>());
        tree[0]->AddGroup()->AddItem();
        const std::string text = make_text(length, pattern);
        *field.at(tree) = text;
        bool complete = false;
        ProviderList loaded = ReadText(FormatStore(tree), &complete);
        ASSERT_TRUE(complete) << field.name;
        ASSERT_EQ(loaded.size(), 1u);
        // Within the limit the text comes back as it was; a longer one is
        // cut to the limit, never to less and never with a broken escape.
        EXPECT_EQ(*field.at(loaded), text.substr(0, field.limit))
            << field.name << ", length " << length << ", pattern " << pattern;
      }
    }
  }
}

// Builds a random tree with awkward texts and every field set.
ProviderList RandomTree(std::mt19937& rng) {
  const std::string texts[] = {"",
                               "plain",
                               "with blank",
                               "q\"uote",
                               "back\\slash",
                               "\\B\\A",
                               "/home/u/a b/file.txt",
                               "tab\there",
                               "line\nbreak"};
  auto text = [&] { return texts[rng() % std::size(texts)]; };
  auto number = [&] { return static_cast<std::int32_t>(rng() % 200000) - 100000; };
  ProviderList providers;
  const int provider_count = 1 + static_cast<int>(rng() % 6);
  for (int p = 0; p < provider_count; ++p) {
    auto provider = std::make_unique<CProvider>();
    provider->m_strKeyName = text();
    provider->m_strAddress = "http://host" + std::to_string(p) + "/" + text();
    provider->m_nKeyId = number();
    provider->m_nScanMode = static_cast<std::int32_t>(rng() % 3);
    provider->m_bVerified = rng() % 2;
    provider->m_timeKeyMade =
        Noon(1 + static_cast<int>(rng() % 28), 1 + static_cast<int>(rng() % 12),
             2000 + static_cast<int>(rng() % 30));
    provider->m_timeBaseline =
        Noon(1 + static_cast<int>(rng() % 28), 1 + static_cast<int>(rng() % 12),
             2000 + static_cast<int>(rng() % 30));
    provider->m_timeNextCheck = kNow + static_cast<Time>(rng() % 70) * kSecondsPerDay;
    for (int g = static_cast<int>(rng() % 3); g > 0; --g) {
      CUpdateGroup* group = provider->AddGroup();
      group->m_strName = text();
      group->m_strGroupText = text();
      group->m_bScan = static_cast<std::int32_t>(rng() % 2);
      group->m_bListed = 0;
      for (int i = static_cast<int>(rng() % 4); i > 0; --i) {
        CUpdateItem* item = group->AddItem();
        item->m_strName = text();
        item->m_strSavePath = text();
        item->m_strLocation = text();
        item->m_strDescription = text();
        item->m_strDate = "1 2 2003";
        item->m_nNumber = number();
        item->m_nLength = number();
        item->m_nStamp = number();
        item->m_nTakenStamp = number();
        item->m_nFileStamp = number();
        item->m_nOffered = static_cast<std::int32_t>(rng() % 2);
        item->m_bListed = 0;
        static const char* const kConditions[] = {
            nullptr, "NULL",
            "REG NME \"r\" KRT 1 INV 1 PTH \"a\\b\" KNME \"v\" CPV \"9\" CPT 2 END",
            "CP NME \"c\" CPT 2 INV 1 WINV NME \"w\" V9X 3 VNT 2 CP9X 1 CPNT 2 INV 0 END NULL "
            "CP NME \"\" CPT 0 INV 0 END END"};
        if (const char* condition = kConditions[rng() % 4]) {
          CStringTokenReader reader(condition);
          std::string kind;
          reader.ReadToken(&kind, 20);
          item->m_pCondition = CreateCondition(kind);
          item->m_pCondition->Parse(reader);
        }
      }
    }
    providers.push_back(std::move(provider));
  }
  return providers;
}

TEST(StoreRoundTripTest, RandomTreesReadBackUnchanged) {
  std::mt19937 rng(20261208);
  for (int round = 0; round < 200; ++round) {
    ProviderList original = RandomTree(rng);
    const std::string written = FormatStore(original);
    bool complete = false;
    ProviderList loaded = ReadText(written, &complete);
    ASSERT_TRUE(complete) << written;
    ASSERT_EQ(loaded.size(), original.size()) << written;
    EXPECT_EQ(FormatStore(loaded), written);
    for (std::size_t p = 0; p < original.size(); ++p) {
      EXPECT_EQ(loaded[p]->m_strKeyName, original[p]->m_strKeyName);
      EXPECT_EQ(loaded[p]->m_bVerified, original[p]->m_bVerified);
      ASSERT_EQ(loaded[p]->GetGroupCount(), original[p]->GetGroupCount());
      for (int g = 0; g < original[p]->GetGroupCount(); ++g) {
        const CUpdateGroup& a = *original[p]->GetGroup(g);
        const CUpdateGroup& b = *loaded[p]->GetGroup(g);
        ASSERT_EQ(a.GetItemCount(), b.GetItemCount());
        for (int i = 0; i < a.GetItemCount(); ++i) {
          EXPECT_EQ(a.GetItem(i)->m_strSavePath, b.GetItem(i)->m_strSavePath);
          EXPECT_EQ(a.GetItem(i)->m_nFileStamp, b.GetItem(i)->m_nFileStamp);
          EXPECT_EQ(ConditionText(a.GetItem(i)->m_pCondition.get()),
                    ConditionText(b.GetItem(i)->m_pCondition.get()));
        }
      }
    }
  }
}

}  // namespace
}  // namespace gantrell
