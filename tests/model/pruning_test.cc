#include "model/pruning.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "model/store_format.h"
#include "model/token_reader.h"
#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::TempDir;

// A provider as a control file parse leaves it: groups and items flagged
// listed or not, items with or without a file on disk.
struct Tree {
  Tree() { provider.m_bListParsed = provider.m_bListComplete = 1; }

  CUpdateItem* Add(const std::string& group_name, const std::string& item_name, bool listed,
                   bool has_file) {
    CUpdateGroup* group = provider.FindGroup(group_name);
    if (group == nullptr) {
      group = provider.AddGroup();
      group->m_strName = group_name;
      group->m_bListed = 0;
    }
    if (item_name.empty())
      return nullptr;
    CUpdateItem* item = group->AddItem();
    item->m_strName = item_name;
    item->m_bListed = listed ? 1 : 0;
    if (listed)
      group->m_bListed = 1;
    item->m_nFileStamp = has_file ? 5 : -1;
    return item;
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int g = 0; g < provider.GetGroupCount(); ++g) {
      const CUpdateGroup* group = provider.GetGroup(g);
      names.push_back(group->m_strName + ":");
      for (int i = 0; i < group->GetItemCount(); ++i)
        names.back() += group->GetItem(i)->m_strName + ",";
    }
    return names;
  }

  CProvider provider;
};

const DefaultSavePath kNoPath = [](const CUpdateItem&) { return std::string(); };

TEST(PruneTest, DropsOnlyWhatIsUnlistedAndHasNoFile) {
  Tree tree;
  tree.Add("kept", "listed", true, false);
  CUpdateItem* withdrawn = tree.Add("kept", "unlisted-with-file", false, true);
  tree.Add("kept", "unlisted", false, false);
  tree.Add("gone", "unlisted", false, false);
  tree.Add("gone-empty", "", false, false);
  CUpdateItem* last = tree.Add("dropped-group-with-file", "file", false, true);
  tree.provider.AddGroup()->m_strName = "listed-empty";
  tree.provider.GetGroup(4)->m_bListed = 1;

  Prune(tree.provider, kNoPath);
  EXPECT_EQ(tree.Names(),
            (std::vector<std::string>{"kept:listed,unlisted-with-file,",
                                      "dropped-group-with-file:file,", "listed-empty:"}));
  EXPECT_EQ(withdrawn->m_nOffered, 0);
  EXPECT_EQ(last->m_nOffered, 0);
  EXPECT_EQ(tree.provider.GetGroup(0)->GetItem(0)->m_nOffered, 1);

  // Once the file is gone, the next refresh drops the item, then its group.
  RemoveDownloadedFile(*last, kNoPath);
  Prune(tree.provider, kNoPath);
  EXPECT_EQ(tree.Names(),
            (std::vector<std::string>{"kept:listed,unlisted-with-file,", "listed-empty:"}));
}

TEST(PruneTest, ProviderWithoutParsedListIsLeftAlone) {
  Tree tree;
  tree.provider.m_bListParsed = tree.provider.m_bListComplete = 0;
  tree.Add("g", "unlisted", false, false);
  Prune(tree.provider, kNoPath);
  EXPECT_EQ(tree.Names(), (std::vector<std::string>{"g:unlisted,"}));
  EXPECT_EQ(tree.provider.GetGroup(0)->GetItem(0)->m_nOffered, 1);
}

TEST(PruneTest, AControlFileCutMidGroupDropsNothing) {
  const std::string header = "TCHK 7 \"1 6 2026\" KMADE \"2 1 2026\" ID 3 KEYNAME \"Example\" ";
  auto item = [](const std::string& name) {
    return "FILE \"" + name + "\" DESC \"d\" LOCN \"" + name + "\" UPD 1/6/2026 LEN 10 TIME 17 ";
  };
  ControlFileContext context;
  context.default_save_path = [](const CUpdateItem&) { return std::string(); };

  // An earlier run took every item; the store brings them into this run
  // with nothing listed yet.
  ProviderList earlier;
  earlier.push_back(std::make_unique<CProvider>());
  std::string full = header + "GRP \"A\" " + item("a1") + item("a2") + "END GRP \"B\" " +
                     item("b1") + "END GRP \"C\" " + item("c1") + "END END";
  ASSERT_TRUE(earlier[0]->ParseControlFile(full, context));
  for (int g = 0; g < earlier[0]->GetGroupCount(); ++g) {
    for (int i = 0; i < earlier[0]->GetGroup(g)->GetItemCount(); ++i)
      earlier[0]->GetGroup(g)->GetItem(i)->m_nTakenStamp = 17;
  }
  ProviderList providers;
  CStringTokenReader reader(FormatStore(earlier));
  ASSERT_TRUE(ReadStore(reader, &providers, 0));
  CProvider& provider = *providers[0];

  // This run's control file breaks off inside group A.
  std::string cut = header + "GRP \"A\" " + item("a1") + "FILE \"a2\" DESC";
  ASSERT_FALSE(provider.ParseControlFile(cut, context));
  Prune(provider, context.default_save_path);

  ASSERT_EQ(provider.GetGroupCount(), 3);
  for (int g = 0; g < 3; ++g) {
    const CUpdateGroup& group = *provider.GetGroup(g);
    ASSERT_EQ(group.GetItemCount(), g == 0 ? 2 : 1) << group.m_strName;
    for (int i = 0; i < group.GetItemCount(); ++i) {
      EXPECT_EQ(group.GetItem(i)->m_nTakenStamp, 17) << group.GetItem(i)->m_strName;
      EXPECT_EQ(group.GetItem(i)->m_nOffered, 1) << group.GetItem(i)->m_strName;
    }
  }

  // The same file in full, without group C: now C goes.
  std::string fixed =
      header + "GRP \"A\" " + item("a1") + item("a2") + "END GRP \"B\" " + item("b1") + "END END";
  ASSERT_TRUE(provider.ParseControlFile(fixed, context));
  Prune(provider, context.default_save_path);
  EXPECT_EQ(provider.GetGroupCount(), 2);
}

TEST(RemoveDownloadedFileTest, DefaultPathTakesItsNumberFolderAlong) {
  TempDir dir;
  const std::string file = dir.WriteFile("prov/7/tool.exe", "bytes");
  Tree tree;
  CUpdateItem* item = tree.Add("g", "tool", true, true);
  item->m_strLocation = "tool.exe";
  item->m_bJustDownloaded = true;
  RemoveDownloadedFile(*item, [&](const CUpdateItem&) { return file; });
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_FALSE(std::filesystem::exists(dir.File("prov/7")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("prov")));
  EXPECT_EQ(item->m_nFileStamp, -1);
  EXPECT_FALSE(item->m_bJustDownloaded);

  // A number folder that still holds something stays.
  const std::string other = dir.WriteFile("prov/8/a.bin", "a");
  dir.WriteFile("prov/8/b.bin", "b");
  item->m_nFileStamp = 3;
  item->m_strLocation = "a.bin";
  RemoveDownloadedFile(*item, [&](const CUpdateItem&) { return other; });
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_TRUE(std::filesystem::exists(dir.File("prov/8/b.bin")));
}

TEST(RemoveDownloadedFileTest, CustomPathLeavesFoldersAlone) {
  TempDir dir;
  const std::string file = dir.WriteFile("custom/only.bin", "x");
  Tree tree;
  CUpdateItem* item = tree.Add("g", "i", true, true);
  item->m_strSavePath = file;
  bool asked = false;
  RemoveDownloadedFile(*item, [&](const CUpdateItem&) {
    asked = true;
    return std::string();
  });
  EXPECT_FALSE(asked);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(std::filesystem::exists(dir.File("custom")));

  // No file on record: nothing is touched.
  const std::string kept = dir.WriteFile("custom/kept.bin", "x");
  item->m_strSavePath = kept;
  RemoveDownloadedFile(*item, kNoPath);
  EXPECT_TRUE(std::filesystem::exists(kept));
}

// A location with folders of its own: the folders made for it go with the
// file, deepest first, as far as they are empty, and never above the
// number folder.
TEST(RemoveDownloadedFileTest, FoldersOfTheLocationGoWhenEmpty) {
  struct Case {
    const char* what;
    std::vector<std::string> others;  // files beside, below the number folder
    std::vector<std::string> left;    // folders that must remain
    std::vector<std::string> gone;    // folders that must be removed
  };
  const Case cases[] = {
      {"nothing else", {}, {"prov"}, {"prov/7", "prov/7/docs", "prov/7/docs/en"}},
      {"a sibling of en", {"docs/fr/lisez-moi.txt"}, {"prov/7/docs/fr"}, {"prov/7/docs/en"}},
      {"a file beside docs", {"other.bin"}, {"prov/7"}, {"prov/7/docs"}},
      {"a file beside readme", {"docs/en/notes.txt"}, {"prov/7/docs/en"}, {}},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const std::string file = dir.WriteFile("prov/7/docs/en/readme.txt", "bytes");
    for (const std::string& other : c.others)
      dir.WriteFile("prov/7/" + other, "kept");
    Tree tree;
    CUpdateItem* item = tree.Add("g", "readme", true, true);
    item->m_strLocation = "docs/en/readme.txt";
    RemoveDownloadedFile(*item, [&](const CUpdateItem&) { return file; });
    EXPECT_FALSE(std::filesystem::exists(file)) << c.what;
    EXPECT_TRUE(std::filesystem::exists(dir.File("prov"))) << c.what;
    for (const std::string& folder : c.left)
      EXPECT_TRUE(std::filesystem::exists(dir.File(folder))) << c.what << ": " << folder;
    for (const std::string& folder : c.gone)
      EXPECT_FALSE(std::filesystem::exists(dir.File(folder))) << c.what << ": " << folder;
    for (const std::string& other : c.others)
      EXPECT_TRUE(std::filesystem::exists(dir.File("prov/7/" + other))) << c.what;
  }
}

// A provider that goes away takes what interrupted downloads left too: the
// part files beside its items' paths, whether the item has a file or not.
TEST(RemoveDownloadedFileTest, RemovingAProviderTakesItsStalePartFiles) {
  TempDir dir;
  Tree tree;
  // Downloaded once; a later download was killed.
  CUpdateItem* kept = tree.Add("g", "kept", true, true);
  kept->m_nNumber = 1;
  kept->m_strLocation = "kept.bin";
  dir.WriteFile("prov/1/kept.bin", "bytes");
  dir.WriteFile("prov/1/kept.bin.part-a1B2c3", "half");
  // Never downloaded: the first download was killed.
  CUpdateItem* fresh = tree.Add("g", "fresh", true, false);
  fresh->m_nNumber = 2;
  fresh->m_strLocation = "sub/fresh.bin";
  dir.WriteFile("prov/2/sub/fresh.bin.part-XyZ987", std::string(4096, 'x'));
  // A custom save path, also killed on its first download.
  CUpdateItem* custom = tree.Add("g", "custom", true, false);
  custom->m_strSavePath = dir.File("mine/custom.bin");
  dir.WriteFile("mine/custom.bin.part-Q1w2E3", "part");
  dir.WriteFile("mine/custom.bin.bak", "the user's");
  // A file of the user's beside an item's folder.
  dir.WriteFile("prov/notes.txt", "the user's");

  RemoveDownloadedFiles(tree.provider, [&](const CUpdateItem& item) {
    const std::string path =
        dir.File("prov/" + std::to_string(item.m_nNumber) + "/" + item.m_strLocation);
    // The default path makes the folders on the way, as the real one does.
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    return path;
  });
  EXPECT_FALSE(std::filesystem::exists(dir.File("prov/1")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("prov/2")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("mine/custom.bin.part-Q1w2E3")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("mine/custom.bin.bak")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("prov/notes.txt")));
  EXPECT_EQ(kept->m_nFileStamp, -1);
}

TEST(PruneTest, DroppedItemsTakeThePartFilesOfAnInterruptedDownload) {
  TempDir dir;
  Tree tree;
  tree.Add("kept", "listed", true, false);
  CUpdateItem* dropped = tree.Add("kept", "dropped", false, false);
  dropped->m_nNumber = 3;
  dropped->m_strLocation = "d.bin";
  dir.WriteFile("prov/3/d.bin.part-abc123", "half");
  // A whole group goes, its one item killed half way too.
  CUpdateItem* in_gone_group = tree.Add("gone", "g", false, false);
  in_gone_group->m_nNumber = 4;
  in_gone_group->m_strLocation = "sub/g.bin";
  dir.WriteFile("prov/4/sub/g.bin.part-ZZZ999", "half");
  dir.WriteFile("prov/4/sub/notes.txt", "the user's");

  Prune(tree.provider, [&](const CUpdateItem& item) {
    return dir.File("prov/" + std::to_string(item.m_nNumber) + "/" + item.m_strLocation);
  });
  EXPECT_EQ(tree.Names(), (std::vector<std::string>{"kept:listed,"}));
  EXPECT_FALSE(std::filesystem::exists(dir.File("prov/3")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("prov/4/sub/g.bin.part-ZZZ999")));
  EXPECT_TRUE(std::filesystem::exists(dir.File("prov/4/sub/notes.txt")));
}

TEST(RemoveStalePartFilesTest, OnlyTheDestinationsOwnPartFilesGo) {
  TempDir dir;
  const std::string destination = dir.File("item.bin");
  const char* const stale[] = {"item.bin.part-abcdef", "item.bin.part-000000"};
  const char* const kept[] = {"item.bin",           "item.bin.part-abcdefg", "item.bin.part-abc",
                              "item.bin.part-",     "xitem.bin.part-abcdef", "item.bin.old",
                              "item.bi.part-abcdef"};
  for (const char* name : stale)
    dir.WriteFile(name, "x");
  for (const char* name : kept)
    dir.WriteFile(name, "x");
  RemoveStalePartFiles(destination);
  for (const char* name : stale)
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const char* name : kept)
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  RemoveStalePartFiles(dir.File("missing-folder/item.bin"));  // nothing to do, no harm
}

// Kept part files (item number and stamp in the name, a ".info" beside)
// go like the others, but for the one the download is about to continue.
TEST(RemoveStalePartFilesTest, KeptPartFilesGoButTheOneToContinue) {
  TempDir dir;
  const std::string destination = dir.File("item.bin");
  EXPECT_EQ(KeptPartPath(destination, 3, 41), destination + ".partial-3-41");
  EXPECT_EQ(KeptPartPath(destination, 3, -7), destination + ".partial-3--7");
  const char* const continued[] = {"item.bin.partial-3-41", "item.bin.partial-3-41.info"};
  const char* const stale[] = {"item.bin.partial-3-40", "item.bin.partial-3-40.info",
                               "item.bin.partial-2-41", "item.bin.partial-3--7"};
  const char* const others[] = {"item.bin.partial-", "item.bin.partial-3",
                                "item.bin.partial-a-41", "item.bin.partial-3-41.bak",
                                "xitem.bin.partial-3-40", "item.bin.partial-3-4a",
                                "item.bin.partial-3-41x.info"};
  for (const char* name : continued)
    dir.WriteFile(name, "x");
  for (const char* name : stale)
    dir.WriteFile(name, "x");
  for (const char* name : others)
    dir.WriteFile(name, "x");
  RemoveStalePartFiles(destination, KeptPartPath(destination, 3, 41));
  for (const char* name : continued)
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  for (const char* name : stale)
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const char* name : others)
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  // Without one to keep (an item removed, its provider gone) all go.
  RemoveStalePartFiles(destination);
  for (const char* name : continued)
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
}

}  // namespace
}  // namespace gantrell
