#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include <unistd.h>

#include "model/provider.h"
#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

Time Noon(int day, int month, int year) {
  Time t = 0;
  EXPECT_TRUE(LocalNoon(day, month, year, &t));
  return t;
}

const Time kNow = Noon(10, 6, 2026);

ControlFileContext Context(int draw = 0, std::string save_path = "") {
  ControlFileContext context;
  context.now = kNow;
  context.draw = [draw] { return draw; };
  context.default_save_path = [save_path](const CUpdateItem&) { return save_path; };
  return context;
}

const std::string kHeader =
    "TCHK 7 \"1 6 2026\" KMADE \"2 1 2026\" ID 3 KEYNAME \"Example Tools\" ";

std::string Item(const std::string& name, const std::string& location = "tool.exe",
                 const std::string& stamp = "17", const std::string& numb = "NUMB 2 ") {
  return "FILE \"" + name + "\" DESC \"The best tool\" " + numb + "LOCN \"" + location +
         "\" UPD 1/6/2026 LEN 40960 TIME " + stamp + " ";
}

bool Parse(CProvider& provider, std::string text, const ControlFileContext& context = Context()) {
  return provider.ParseControlFile(text, context);
}

TEST(ControlFileTest, FullFileMergesGroupsItemsAndHeader) {
  CProvider provider;
  provider.m_nScanMode = 1;
  std::string text = kHeader + "GRP \"Tools\" " + Item("tool.exe") +
                     "COND WINV NME \"nt\" VNT 3 CPNT 2 END END GRP \"Empty\" END END";
  ASSERT_TRUE(provider.ParseControlFile(text, Context()));
  EXPECT_TRUE(text.empty());  // the caller's text is emptied

  EXPECT_EQ(provider.m_nCheckInterval, 7);
  EXPECT_EQ(provider.m_timeListDate, Noon(1, 6, 2026));
  EXPECT_EQ(provider.m_timeKeyMade, Noon(2, 1, 2026));
  EXPECT_EQ(provider.m_nKeyId, 3);
  EXPECT_EQ(provider.m_strKeyName, "Example Tools");
  EXPECT_EQ(provider.m_bListParsed, 1);
  ASSERT_EQ(provider.GetGroupCount(), 2);
  const CUpdateGroup& tools = *provider.GetGroup(0);
  EXPECT_EQ(tools.m_bScan, 1);
  EXPECT_EQ(tools.m_bListed, 1);
  ASSERT_EQ(tools.GetItemCount(), 1);
  const CUpdateItem& item = *tools.GetItem(0);
  EXPECT_EQ(item.m_strDescription, "The best tool");
  EXPECT_EQ(item.m_nNumber, 2);
  EXPECT_EQ(item.m_strLocation, "tool.exe");
  EXPECT_EQ(item.m_strDate, "1 6 2026");
  EXPECT_EQ(item.m_nLength, 40960);
  EXPECT_EQ(item.m_nStamp, 17);
  EXPECT_EQ(item.m_nTakenStamp, -1);
  EXPECT_EQ(item.m_nFileStamp, -1);
  ASSERT_NE(item.m_pCondition, nullptr);
  std::ostringstream condition;
  item.m_pCondition->Write(condition);
  EXPECT_EQ(condition.str(), " WINV NME \"nt\" V9X 0 VNT 3 CP9X 0 CPNT 2 INV 0 END ");
  EXPECT_EQ(provider.GetGroup(1)->GetItemCount(), 0);
}

TEST(ControlFileTest, HeaderFindsTchkWithinSevenTokens) {
  const std::string body = "GRP \"G\" END END";
  for (const std::string& lead :
       {std::string(""), std::string("a b c d e f "), std::string("a b c d e f g ")}) {
    CProvider provider;
    // With seven leading tokens the seventh stands for TCHK, so the real
    // TCHK is taken as the interval and the parse goes wrong from there.
    const bool parsed = Parse(provider, lead + kHeader + body);
    EXPECT_EQ(parsed, lead.size() < 13) << "[" << lead << "]";
    if (parsed) {
      EXPECT_EQ(provider.m_nCheckInterval, 7) << "[" << lead << "]";
    }
  }
  // No TCHK at all: the seventh token counts as it.
  CProvider provider;
  ASSERT_TRUE(
      Parse(provider, "1 2 3 4 5 6 7 9 \"1 6 2026\" KMADE \"1 1 2026\" ID 1 KEYNAME x END"));
  EXPECT_EQ(provider.m_nCheckInterval, 9);
}

TEST(ControlFileTest, IntervalAbove65536Wraps) {
  CProvider provider;
  ASSERT_TRUE(Parse(provider, "TCHK 65543 \"1 6 2026\" KMADE \"1 1 2026\" ID 1 KEYNAME x END"));
  EXPECT_EQ(provider.m_nCheckInterval, 7);
}

TEST(ControlFileTest, KeyDateIsTakenOnlyOnce) {
  CProvider provider;
  provider.m_timeKeyMade = Noon(9, 9, 1999);
  ASSERT_TRUE(Parse(provider, kHeader + "END"));
  EXPECT_EQ(provider.m_timeKeyMade, Noon(2, 1, 2026));
  ASSERT_TRUE(Parse(provider, "TCHK 7 \"1 6 2026\" KMADE \"5 5 2026\" ID 3 KEYNAME k END"));
  EXPECT_EQ(provider.m_timeKeyMade, Noon(2, 1, 2026));
}

TEST(ControlFileTest, MissingKeywordsFailTheParse) {
  const std::string cases[] = {
      "",
      "TCHK 7 \"1 6 2026\" KMADEX \"1 1 2026\" ID 1 KEYNAME x END",
      "TCHK 7 \"1 6 2026\" KMADE \"1 1 2026\" IDX 1 KEYNAME x END",
      "TCHK 7 \"1 6 2026\" KMADE \"1 1 2026\" ID 1 KEYNAMEX x END",
      kHeader + "GRP \"G\" FILE \"f\" LOCN \"x\" END END",               // no DESC
      kHeader + "GRP \"G\" FILE \"f\" DESC \"d\" UPD 1/1/2026 END END",  // no LOCN
      kHeader + "GRP \"G\" " + Item("f") + "COND BOGUS END END END",     // unknown kind
      kHeader + "GRP \"G\" " + Item("f") + "END",                        // no final END
      kHeader + "GRP \"G\" " + Item("f"),                                // no group END
  };
  for (const std::string& text : cases) {
    CProvider provider;
    provider.m_timeNextCheck = 42;
    EXPECT_FALSE(Parse(provider, text)) << text;
    EXPECT_EQ(provider.m_timeNextCheck, 42) << "rescheduled after a failure: " << text;
  }
}

TEST(ControlFileTest, FailedParseKeepsWhatWasMerged) {
  CProvider provider;
  ASSERT_FALSE(
      Parse(provider, kHeader + "GRP \"A\" " + Item("a") + "END GRP \"B\" " + Item("b") + "END"));
  ASSERT_EQ(provider.GetGroupCount(), 2);
  EXPECT_EQ(provider.GetGroup(0)->m_bListed, 1);
  EXPECT_EQ(provider.GetGroup(1)->GetItem(0)->m_nStamp, 17);
}

TEST(ControlFileTest, SecondParseUpdatesInPlaceAndNamesAreCaseSensitive) {
  CProvider provider;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f") + "END END"));
  CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
  item->m_nTakenStamp = 17;
  item->m_strSavePath = "/custom";
  item->m_bSelected = true;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "tool.exe", "18", "") + Item("F") +
                                  "END GRP \"g\" END END"));
  ASSERT_EQ(provider.GetGroupCount(), 2);
  ASSERT_EQ(provider.GetGroup(0)->GetItemCount(), 2);
  EXPECT_EQ(provider.GetGroup(0)->GetItem(0), item);
  EXPECT_EQ(item->m_nStamp, 18);
  EXPECT_EQ(item->m_nNumber, 0);  // no NUMB this time
  EXPECT_EQ(item->m_nTakenStamp, 17);
  EXPECT_EQ(item->m_strSavePath, "/custom");
  EXPECT_TRUE(item->m_bSelected);
}

TEST(ControlFileTest, GroupScanFollowsProviderModeExceptMixed) {
  for (int mode : {0, 1, 2}) {
    CProvider provider;
    provider.m_nScanMode = mode;
    ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" END END"));
    EXPECT_EQ(provider.GetGroup(0)->m_bScan, mode == 2 ? 0 : mode) << "mode " << mode;
  }
}

TEST(ControlFileTest, ConditionHandling) {
  CProvider provider;
  // A COND before any FILE is skipped token by token; one after an item
  // replaces its condition; an item without COND keeps its old one.
  ASSERT_TRUE(
      Parse(provider, kHeader + "GRP \"G\" COND NULL " + Item("f") + "COND REG KRT 1 END END END"));
  CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
  ASSERT_NE(item->m_pCondition, nullptr);
  const CCondition* first = item->m_pCondition.get();
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f") + "END END"));
  EXPECT_EQ(item->m_pCondition.get(), first);
  // A kind this client does not know fails the parse, and the item is left
  // with a condition that never holds rather than with none.
  ASSERT_FALSE(Parse(provider, kHeader + "GRP \"G\" " + Item("f") + "COND NOPE END END"));
  ASSERT_NE(item->m_pCondition, nullptr);
  EXPECT_TRUE(ConditionsEqual(*item->m_pCondition, *MakeUnreadableCondition()));
}

TEST(ControlFileTest, MovedItemLosesItsDownloadedFile) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("gantrell-move-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  const std::string default_path = (folder / "default.bin").string();
  const std::string custom_path = (folder / "custom.bin").string();

  for (bool custom : {false, true}) {
    std::ofstream(default_path) << "old";
    std::ofstream(custom_path) << "old";
    CProvider provider;
    ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "a.bin") + "END END"));
    CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
    item->m_nTakenStamp = item->m_nFileStamp = 17;
    if (custom)
      item->m_strSavePath = custom_path;

    // Same location: nothing happens.
    ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "a.bin") + "END END",
                      Context(0, default_path)));
    EXPECT_EQ(item->m_nFileStamp, 17);

    ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "b.bin") + "END END",
                      Context(0, default_path)));
    EXPECT_EQ(item->m_nFileStamp, -1);
    EXPECT_EQ(item->m_strSavePath, "");
    EXPECT_EQ(item->m_nTakenStamp, 17);  // a move alone offers nothing new
    EXPECT_NE(std::filesystem::exists(custom_path), custom) << "custom " << custom;
    EXPECT_EQ(std::filesystem::exists(default_path), custom) << "custom " << custom;
  }
  std::filesystem::remove_all(folder);
}

TEST(ControlFileTest, NewNumberAndLocationTogetherRemoveTheOldFile) {
  // The default save path is the download folder, the number and the
  // location; the old file must be looked for under the old number.
  testing::TempDir downloads;
  const auto default_path = [&](const CUpdateItem& item) {
    return downloads.File(std::to_string(item.m_nNumber) + "/" + item.m_strLocation);
  };
  ControlFileContext context = Context();
  context.default_save_path = default_path;

  CProvider provider;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "a.bin") + "END END", context));
  CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
  ASSERT_EQ(item->m_nNumber, 2);
  item->m_nTakenStamp = item->m_nFileStamp = 17;
  const std::string old_file = downloads.WriteFile("2/a.bin", "downloaded");
  // Another file where the new number and the old location would point.
  const std::string bystander = downloads.WriteFile("3/a.bin", "someone else's");

  ASSERT_TRUE(Parse(
      provider, kHeader + "GRP \"G\" " + Item("f", "b.bin", "17", "NUMB 3 ") + "END END", context));
  EXPECT_FALSE(std::filesystem::exists(old_file));
  EXPECT_TRUE(std::filesystem::exists(bystander));
  EXPECT_EQ(item->m_nNumber, 3);
  EXPECT_EQ(item->m_strLocation, "b.bin");
  EXPECT_EQ(item->m_nFileStamp, -1);
  EXPECT_EQ(item->m_nTakenStamp, 17);
}

// A new number alone moves the file into the new number's folder, so that
// the record still finds it; where it cannot follow (no place, a file in
// the way), the record shows no file and the item is offered again. The
// old number folder is left with nothing in it either way.
TEST(ControlFileTest, ANewNumberAloneTakesTheFileAlong) {
  enum class Case { kFollows, kNoPlace, kInTheWay, kCustomPath };
  for (const Case c : {Case::kFollows, Case::kNoPlace, Case::kInTheWay, Case::kCustomPath}) {
    testing::TempDir downloads;
    ControlFileContext context = Context();
    const auto path_of = [&](const CUpdateItem& item) {
      return downloads.File(std::to_string(item.m_nNumber) + "/" + item.m_strLocation);
    };
    context.default_save_path = path_of;
    context.new_save_path = [&](const CUpdateItem& item) {
      if (c == Case::kNoPlace)
        return std::string();
      std::filesystem::create_directories(downloads.File(std::to_string(item.m_nNumber)));
      return path_of(item);
    };
    CProvider provider;
    ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f", "a.bin") + "END END", context));
    CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
    item->m_nTakenStamp = item->m_nFileStamp = 17;
    const std::string old_file = downloads.WriteFile("2/a.bin", "downloaded");
    if (c == Case::kInTheWay)
      downloads.WriteFile("5/a.bin", "someone else's");
    if (c == Case::kCustomPath)
      item->m_strSavePath = old_file;

    ASSERT_TRUE(Parse(provider,
                      kHeader + "GRP \"G\" " + Item("f", "a.bin", "17", "NUMB 5 ") + "END END",
                      context));
    const int n = static_cast<int>(c);
    EXPECT_EQ(item->m_nNumber, 5) << n;
    if (c == Case::kCustomPath) {
      EXPECT_EQ(testing::ReadWholeFile(old_file), "downloaded") << n;
      EXPECT_EQ(item->m_nFileStamp, 17) << n;
      continue;
    }
    EXPECT_FALSE(std::filesystem::exists(old_file)) << n;
    if (c == Case::kFollows) {
      EXPECT_EQ(testing::ReadWholeFile(downloads.File("5/a.bin")), "downloaded") << n;
      EXPECT_EQ(item->m_nFileStamp, 17) << n;
      EXPECT_EQ(item->m_nTakenStamp, 17) << n;
      EXPECT_TRUE(std::filesystem::is_empty(downloads.File("2"))) << n;
    } else {
      EXPECT_EQ(item->m_nFileStamp, -1) << n;
      EXPECT_EQ(item->m_nTakenStamp, -1) << n;  // offered again
    }
    if (c == Case::kInTheWay) {
      EXPECT_EQ(testing::ReadWholeFile(downloads.File("5/a.bin")), "someone else's") << n;
    }
  }
}

TEST(ControlFileTest, AMovedFileTakesItsPartFilesAndLocationFoldersAlong) {
  testing::TempDir downloads;
  ControlFileContext context = Context();
  context.default_save_path = [&](const CUpdateItem& item) {
    return downloads.File(std::to_string(item.m_nNumber) + "/" + item.m_strLocation);
  };
  CProvider provider;
  ASSERT_TRUE(
      Parse(provider, kHeader + "GRP \"G\" " + Item("f", "docs/en/a.txt") + "END END", context));
  CUpdateItem* item = provider.GetGroup(0)->GetItem(0);
  item->m_nTakenStamp = item->m_nFileStamp = 17;
  downloads.WriteFile("2/docs/en/a.txt", "downloaded");
  downloads.WriteFile("2/docs/en/a.txt.part-abc123", "a later download, killed");

  ASSERT_TRUE(
      Parse(provider, kHeader + "GRP \"G\" " + Item("f", "a.txt", "17") + "END END", context));
  EXPECT_FALSE(std::filesystem::exists(downloads.File("2/docs")));
  EXPECT_EQ(item->m_strLocation, "a.txt");
  EXPECT_EQ(item->m_nFileStamp, -1);
}

TEST(ControlFileTest, DatesAreDecimalWhateverTheirLeadingZeros) {
  CProvider provider;
  ASSERT_TRUE(
      Parse(provider,
            "TCHK 010 \"08 09 2026\" KMADE \"09 08 02026\" ID 3 KEYNAME k "
            "GRP \"G\" FILE \"f\" DESC \"d\" LOCN \"f\" UPD 08/09/2026 LEN 1 TIME 1 END END"));
  EXPECT_EQ(provider.m_timeListDate, Noon(8, 9, 2026));
  EXPECT_EQ(provider.m_timeKeyMade, Noon(9, 8, 2026));
  EXPECT_EQ(provider.GetGroup(0)->GetItem(0)->m_strDate, "08 09 2026");
  EXPECT_EQ(provider.m_nCheckInterval, 8);  // numbers other than dates stay as they were read
}

TEST(ControlFileTest, OnlyAFileParsedToItsEndCountsAsComplete) {
  CProvider provider;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f") + "END END"));
  EXPECT_EQ(provider.m_bListComplete, 1);
  for (const std::string& cut :
       {kHeader + "GRP \"G\" " + Item("f") + "END", kHeader + "GRP \"G\" FILE \"f\" DESC", kHeader,
        std::string("TCHK 7")}) {
    EXPECT_FALSE(Parse(provider, cut)) << cut;
    EXPECT_EQ(provider.m_bListComplete, 0) << cut;
  }
}

TEST(ControlFileTest, ConditionsThatCannotBeReadWholeNeverHold) {
  std::string deep;
  for (int i = 0; i < 65; ++i)
    deep += "CP CPT 0 INV 1 ";
  deep += "REG KRT 9 END ";
  for (int i = 0; i < 65; ++i)
    deep += "END ";
  // Too deep: read past in step, so the parse goes on to the next item.
  CProvider provider;
  ASSERT_TRUE(
      Parse(provider, kHeader + "GRP \"G\" " + Item("f") + "COND " + deep + Item("g") + "END END"));
  const CUpdateGroup& group = *provider.GetGroup(0);
  ASSERT_EQ(group.GetItemCount(), 2);
  ASSERT_NE(group.GetItem(0)->m_pCondition, nullptr);
  EXPECT_TRUE(ConditionsEqual(*group.GetItem(0)->m_pCondition, *MakeUnreadableCondition()));
  EXPECT_EQ(group.GetItem(1)->m_pCondition, nullptr);

  // Cut inside the condition: the parse fails and the item does not suit.
  CProvider cut;
  EXPECT_FALSE(Parse(cut, kHeader + "GRP \"G\" " + Item("f") + "COND CP CPT 1 NULL"));
  ASSERT_NE(cut.GetGroup(0)->GetItem(0)->m_pCondition, nullptr);
  EXPECT_TRUE(
      ConditionsEqual(*cut.GetGroup(0)->GetItem(0)->m_pCondition, *MakeUnreadableCondition()));
}

// An "all of" holding a member of an unknown kind and a registry test that
// fails here: the condition never holds, and the item, group and list
// after it are all read, so the list is complete.
TEST(ControlFileTest, AnUnknownMemberKindNeverHoldsAndTheRestIsRead) {
  const std::string condition =
      "COND CP CPT 0 INV 0 FUT NME \"future kind\" X 1 END "
      "REG NME r KRT 1 PTH \"Software\\Missing\" CPT 0 INV 1 END END ";
  CProvider provider;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"G\" " + Item("f") + condition + Item("g") +
                                  "END GRP \"H\" " + Item("h") + "END END"));
  EXPECT_EQ(provider.m_bListComplete, 1);
  ASSERT_EQ(provider.GetGroupCount(), 2);
  const CUpdateGroup& group = *provider.GetGroup(0);
  ASSERT_EQ(group.GetItemCount(), 2);
  ASSERT_NE(group.GetItem(0)->m_pCondition, nullptr);
  EXPECT_TRUE(ConditionsEqual(*group.GetItem(0)->m_pCondition, *MakeUnreadableCondition()));
  EXPECT_EQ(group.GetItem(1)->m_pCondition, nullptr);
  EXPECT_EQ(provider.GetGroup(1)->GetItemCount(), 1);

  // The rest cut short: not complete.
  CProvider cut;
  EXPECT_FALSE(Parse(cut, kHeader + "GRP \"G\" " + Item("f") + condition + Item("g")));
  EXPECT_EQ(cut.m_bListComplete, 0);
}

TEST(ControlFileTest, NextCheckIsSpreadOverThreeQuartersToFiveQuarters) {
  struct Case {
    int interval;
    int draw;
    Time list_date;
    Time expected;
  };
  const Time ahead = kNow + 14 * kSecondsPerDay;
  const Case cases[] = {
      {7, 0, 0, kNow + 6 * kSecondsPerDay},             // ceil(5.25)
      {7, kMaxDraw, 0, kNow + 9 * kSecondsPerDay},      // ceil(8.75)
      {7, kMaxDraw / 2, 0, kNow + 7 * kSecondsPerDay},  // ceil(6.9998...)
      {1, 0, ahead, ahead + 1 * kSecondsPerDay},        // counted from a list date ahead
      {1, kMaxDraw, ahead, ahead + 2 * kSecondsPerDay},
      {0, kMaxDraw, 0, kNow},
  };
  for (const Case& c : cases) {
    CProvider provider;
    int d = 1, m = 1, y = 2000;
    if (c.list_date != 0)
      LocalDate(c.list_date, &d, &m, &y);
    const std::string text = "TCHK " + std::to_string(c.interval) + " \"" + std::to_string(d) +
                             " " + std::to_string(m) + " " + std::to_string(y) +
                             "\" KMADE \"1 1 2026\" ID 1 KEYNAME x END";
    ASSERT_TRUE(Parse(provider, text, Context(c.draw))) << text;
    EXPECT_EQ(provider.m_timeNextCheck, c.expected) << text << " draw " << c.draw;
  }
}

const std::string kDigestA = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef";
const std::string kDigestB = "fedcba9876543210fedcba9876543210fedcba9876543210fedcba9876543210";

// Everything a reader that knows nothing of digests keeps of a tree.
std::string DescribeTree(const CProvider& provider) {
  std::ostringstream out;
  out << provider.m_strKeyName << '|' << provider.m_nCheckInterval << '|'
      << provider.m_timeListDate << '|' << provider.m_nKeyId << '|' << provider.m_bListComplete
      << '|' << provider.m_timeNextCheck << '\n';
  for (int g = 0; g < provider.GetGroupCount(); ++g) {
    const CUpdateGroup& group = *provider.GetGroup(g);
    out << "GRP " << group.m_strName << ' ' << group.m_bListed << '\n';
    for (int i = 0; i < group.GetItemCount(); ++i) {
      const CUpdateItem& item = *group.GetItem(i);
      out << "  " << item.m_strName << '|' << item.m_strDescription << '|' << item.m_nNumber
          << '|' << item.m_strLocation << '|' << item.m_strDate << '|' << item.m_nLength << '|'
          << item.m_nStamp << '|' << item.m_bListed;
      if (item.m_pCondition != nullptr) {
        std::ostringstream condition;
        item.m_pCondition->Write(condition);
        out << '|' << condition.str();
      }
      out << '\n';
    }
  }
  return out.str();
}

// A list with two groups, an item with a condition after its entry, and
// `digest(n)` after the TIME value of item n.
std::string ListWith(const std::function<std::string(int)>& digest) {
  return kHeader + "GRP \"Tools\" " + Item("tool.exe", "tool.exe", "17") + digest(0) +
         "COND WINV NME \"nt\" VNT 3 CPNT 2 END " + Item("help.txt", "help.txt", "18", "") +
         digest(1) + "END GRP \"Fixes\" " + Item("fix.exe", "fix.exe", "19", "NUMB 5 ") +
         digest(2) + "END END";
}

TEST(ControlFileDigestTest, AListWithDigestsGivesTheTreeOfTheListWithout) {
  const std::string digests[] = {kDigestA, kDigestB, kDigestA};
  CProvider without, with;
  ASSERT_TRUE(Parse(without, ListWith([](int) { return std::string(); })));
  ASSERT_TRUE(Parse(with, ListWith([&](int n) { return "SHA256 " + digests[n] + " "; })));
  EXPECT_EQ(DescribeTree(with), DescribeTree(without));
  // A reader that does not know the keyword skips it and its digits as it
  // skips any token it does not know among a group's entries: the same tree.
  CProvider unknowing;
  ASSERT_TRUE(Parse(unknowing, ListWith([&](int n) { return "LATER " + digests[n] + " "; })));
  EXPECT_EQ(DescribeTree(unknowing), DescribeTree(without));
  EXPECT_EQ(with.GetGroup(0)->GetItem(0)->m_strSha256, kDigestA);
  EXPECT_EQ(with.GetGroup(0)->GetItem(1)->m_strSha256, kDigestB);
  EXPECT_EQ(with.GetGroup(1)->GetItem(0)->m_strSha256, kDigestA);
  EXPECT_TRUE(without.GetGroup(0)->GetItem(0)->m_strSha256.empty());
}

TEST(ControlFileDigestTest, WhatAnEntrysDigestBecomes) {
  std::string upper = kDigestB;
  for (char& c : upper)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  struct Case {
    const char* name;
    std::string after_time;  // the tokens between the first item's TIME value and the next entry
    std::string digest;      // the first item's digest afterwards
  } cases[] = {
      {"none", "", ""},
      {"lowercase", "SHA256 " + kDigestA + " ", kDigestA},
      {"uppercase is kept in lowercase", "SHA256 " + upper + " ", kDigestB},
      {"63 digits", "SHA256 " + kDigestA.substr(1) + " ", std::string(kUnreadableSha256)},
      {"not hexadecimal", "SHA256 " + std::string(64, 'g') + " ", std::string(kUnreadableSha256)},
      {"after a condition it is no digest",
       "COND WINV NME \"nt\" VNT 3 CPNT 2 END SHA256 " + kDigestA + " ", ""},
      {"another token before it", "XTRA SHA256 " + kDigestA + " ", ""},
  };
  for (const Case& c : cases) {
    CProvider provider;
    const std::string text = kHeader + "GRP \"Tools\" " + Item("tool.exe") + c.after_time +
                             Item("help.txt", "help.txt", "18") + "END END";
    ASSERT_TRUE(Parse(provider, text)) << c.name;
    const CUpdateGroup& group = *provider.GetGroup(0);
    ASSERT_EQ(group.GetItemCount(), 2) << c.name;
    EXPECT_EQ(group.GetItem(0)->m_strSha256, c.digest) << c.name;
    EXPECT_TRUE(group.GetItem(1)->m_strSha256.empty()) << c.name;
  }
}

TEST(ControlFileDigestTest, ADigestMissingItsDigitsLosesNoEntry) {
  // "SHA256" right before the group's END and before the next FILE: the
  // token after it is still read as what it is.
  CProvider provider;
  const std::string text = kHeader + "GRP \"Tools\" " + Item("tool.exe") + "SHA256 " +
                           Item("help.txt", "help.txt", "18") + "SHA256 END GRP \"Fixes\" " +
                           Item("fix.exe") + "END END";
  ASSERT_TRUE(Parse(provider, text));
  ASSERT_EQ(provider.GetGroupCount(), 2);
  ASSERT_EQ(provider.GetGroup(0)->GetItemCount(), 2);
  EXPECT_EQ(provider.GetGroup(0)->GetItem(0)->m_strSha256, std::string(kUnreadableSha256));
  EXPECT_EQ(provider.GetGroup(0)->GetItem(1)->m_strSha256, std::string(kUnreadableSha256));
  EXPECT_TRUE(provider.GetGroup(1)->GetItem(0)->m_strSha256.empty());
  EXPECT_EQ(provider.m_bListComplete, 1);
}

TEST(ControlFileDigestTest, AnEntryWithoutADigestDropsTheOneItHad) {
  CProvider provider;
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"Tools\" " + Item("tool.exe") + "SHA256 " +
                                  kDigestA + " END END"));
  ASSERT_EQ(provider.GetGroup(0)->GetItem(0)->m_strSha256, kDigestA);
  ASSERT_TRUE(Parse(provider, kHeader + "GRP \"Tools\" " + Item("tool.exe", "tool.exe", "18") +
                                  "END END"));
  EXPECT_TRUE(provider.GetGroup(0)->GetItem(0)->m_strSha256.empty());
}

TEST(ControlFileDigestTest, TheListDateIsReadFromTheHeaderAlone) {
  Time date = 0;
  EXPECT_TRUE(ReadControlListDate(kHeader + "GRP \"Tools\" END END", &date));
  EXPECT_EQ(date, Noon(1, 6, 2026));
  // Only the header is needed: a list cut after it still has its date.
  EXPECT_TRUE(ReadControlListDate(kHeader, &date));
  EXPECT_EQ(date, Noon(1, 6, 2026));
  for (const std::string& text :
       {std::string("TCHK 7 \"1 6 2026\" KMADE"), std::string("TCHK 7 \"no date\" KMADE \"2 1 "
                                                                "2026\" ID 3 KEYNAME \"x\" END")}) {
    date = 5;
    EXPECT_FALSE(ReadControlListDate(text, &date)) << text;
    EXPECT_EQ(date, 5) << text;
  }
}

}  // namespace
}  // namespace gantrell
