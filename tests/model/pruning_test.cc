#include "model/pruning.h"

#include <gtest/gtest.h>

#include <filesystem>

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

}  // namespace
}  // namespace gantrell
