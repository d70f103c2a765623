#include "app/save_paths.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "platform/profile.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

TEST(ProviderFolderNameTest, AddressesBecomeFolderNames) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://a.b/c/", "a_b_c_"},
      {"https://a.b/c/", "a_b_c_"},  // shares the folder of http://
      {"http://a/b.c/", "a_b_c_"},   // "." against "/" too
      {"http://host:8080/x/", "host_8080_x_"},
      {"http://h\\w/", "h_w_"},
      {"ftp://h/", "ftp___h_"},
  };
  for (const auto& [address, folder] : cases)
    EXPECT_EQ(ProviderFolderName(address), folder) << address;
}

TEST(SafeLocationTest, LocationsThatLeaveTheFolderAreRefused) {
  const std::pair<const char*, bool> cases[] = {
      {"tool.exe", true},
      {"sub/tool.exe", true},
      {"a..b", true},
      {"..hidden", true},
      {"", true},
      {"../../.profile", false},
      {"..", false},
      {"sub/../../x", false},
      {"sub\\..\\..\\x", false},
      {"/etc/passwd", false},
      {"\\x", false},
      {"C:\\x", false},
      {"x/..", false},
  };
  for (const auto& [location, safe] : cases)
    EXPECT_EQ(IsSafeLocation(location), safe) << location;
}

class SavePathTest : public ::testing::Test {
 protected:
  SavePathTest() : os_(reg_), app_(reg_, os_), profile_(reg_.registry(), "gantrell") {
    app_.SetFrontend(&frontend_);
    provider_.m_strAddress = "http://updates.example.org/";
    group_ = provider_.AddGroup();
    item_ = group_->AddItem();
    item_->m_nNumber = 2;
    item_->m_strLocation = "tool.exe";
  }

  void SetDownloadFolder(const std::string& folder) {
    ASSERT_TRUE(profile_.WriteProfileString("mainpath", "dlpath", folder, nullptr));
  }

  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  Profile profile_;
  ScriptedFrontend frontend_;
  TempDir downloads_;
  CProvider provider_;
  CUpdateGroup* group_;
  CUpdateItem* item_;
};

TEST_F(SavePathTest, PathIsFolderProviderNumberLocation) {
  SetDownloadFolder(downloads_.path());
  const std::string path = app_.GetItemSavePath(*item_);
  EXPECT_EQ(path, downloads_.path() + "/updates_example_org_/2/tool.exe");
  EXPECT_TRUE(std::filesystem::is_directory(downloads_.path() + "/updates_example_org_/2"));
  EXPECT_EQ(frontend_.folder_prompts, 0);

  item_->m_nNumber = -4;
  EXPECT_EQ(app_.GetItemSavePath(*item_), downloads_.path() + "/updates_example_org_/-4/tool.exe");
}

TEST_F(SavePathTest, LocationFoldersAreMadeBelowTheNumberFolder) {
  SetDownloadFolder(downloads_.path());
  item_->m_strLocation = "docs/en/readme.txt";
  EXPECT_EQ(app_.GetItemSavePath(*item_),
            downloads_.path() + "/updates_example_org_/2/docs/en/readme.txt");
  EXPECT_TRUE(std::filesystem::is_directory(downloads_.path() + "/updates_example_org_/2/docs/en"));
}

TEST_F(SavePathTest, TrailingSeparatorDoublesButWorks) {
  SetDownloadFolder(downloads_.path() + "/");
  EXPECT_EQ(app_.GetItemSavePath(*item_), downloads_.path() + "//updates_example_org_/2/tool.exe");
}

TEST_F(SavePathTest, NoPlaceForTheFile) {
  SetDownloadFolder(downloads_.path() + "/gone");
  EXPECT_EQ(app_.GetItemSavePath(*item_), "");

  SetDownloadFolder(downloads_.path());
  item_->m_strLocation = "../../.profile";
  EXPECT_EQ(app_.GetItemSavePath(*item_), "");
  EXPECT_FALSE(std::filesystem::exists(downloads_.path() + "/updates_example_org_"));

  // A file where the number folder belongs.
  item_->m_strLocation = "x";
  std::filesystem::create_directories(downloads_.path() + "/updates_example_org_");
  downloads_.WriteFile("updates_example_org_/2", "not a folder");
  EXPECT_EQ(app_.GetItemSavePath(*item_), "");
}

TEST_F(SavePathTest, PromptRunsUntilAnExistingFolderIsGivenOrItIsCancelled) {
  // Cancel ends the prompt: no path, nothing stored, asked once.
  frontend_.folder_answers = {{PromptResult::kCancel, ""}, {PromptResult::kOk, downloads_.path()}};
  bool cancelled = false;
  EXPECT_EQ(app_.AskDownloadFolder(&cancelled), "?");
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(frontend_.folder_prompts, 1);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "dlpath", "?"), "?");
  frontend_.folder_answers = {{PromptResult::kCancel, ""}};
  EXPECT_EQ(app_.GetItemSavePath(*item_), "");
  EXPECT_EQ(frontend_.folder_prompts, 2);

  // A folder that does not exist asks again.
  frontend_.folder_answers = {{PromptResult::kOk, downloads_.path() + "/missing"},
                              {PromptResult::kOk, downloads_.path()}};
  EXPECT_EQ(app_.GetItemSavePath(*item_), downloads_.path() + "/updates_example_org_/2/tool.exe");
  EXPECT_EQ(frontend_.folder_prompts, 4);
  ASSERT_EQ(frontend_.messages.size(), 1u);
  EXPECT_EQ(frontend_.messages[0].text, "Folder does not exist.");
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "dlpath", "?"), downloads_.path());

  // Stored now: no more prompts.
  EXPECT_FALSE(app_.GetItemSavePath(*item_).empty());
  EXPECT_EQ(frontend_.folder_prompts, 4);
}

TEST_F(SavePathTest, NobodyToAskGivesNoPath) {
  EXPECT_EQ(app_.GetItemSavePath(*item_), "");
  EXPECT_EQ(profile_.GetProfileString("mainpath", "dlpath", "?"), "?");
}

TEST_F(SavePathTest, LookUpForBackgroundThreadsNeverAsks) {
  frontend_.folder_answers = {{PromptResult::kOk, downloads_.path()}};
  EXPECT_FALSE(app_.HasDownloadFolder());
  EXPECT_EQ(app_.FindItemSavePath(*item_), "");
  EXPECT_EQ(frontend_.folder_prompts, 0);
  EXPECT_EQ(profile_.GetProfileString("mainpath", "dlpath", "?"), "?");

  SetDownloadFolder(downloads_.path());
  EXPECT_TRUE(app_.HasDownloadFolder());
  EXPECT_EQ(app_.FindItemSavePath(*item_), downloads_.path() + "/updates_example_org_/2/tool.exe");
  EXPECT_EQ(frontend_.folder_prompts, 0);
}

TEST_F(SavePathTest, LookUpForRemovalNeitherAsksNorMakesFolders) {
  frontend_.folder_answers = {{PromptResult::kOk, downloads_.path()}};
  EXPECT_EQ(app_.ExistingItemSavePath(*item_), "");
  EXPECT_EQ(frontend_.folder_prompts, 0);

  SetDownloadFolder(downloads_.path());
  EXPECT_EQ(app_.ExistingItemSavePath(*item_), "");
  EXPECT_FALSE(std::filesystem::exists(downloads_.path() + "/updates_example_org_"));

  // Once the item's folders are there, the path of its file is given.
  item_->m_strLocation = "docs/readme.txt";
  const std::string path = app_.GetItemSavePath(*item_);
  EXPECT_EQ(app_.ExistingItemSavePath(*item_), path);
  EXPECT_EQ(frontend_.folder_prompts, 0);
}

TEST_F(SavePathTest, RelativeFolderTypedAtThePromptIsStoredAbsolute) {
  const std::filesystem::path here = std::filesystem::current_path();
  const std::string relative = std::filesystem::relative(downloads_.path(), here).string();
  if (relative.empty())
    GTEST_SKIP() << "no relative path leads from the working folder to " << downloads_.path();
  ASSERT_FALSE(std::filesystem::path(relative).has_root_directory()) << relative;
  frontend_.folder_answers = {{PromptResult::kOk, "./" + relative + "/./"}};
  const std::string expected = std::filesystem::weakly_canonical(downloads_.path()).string();

  const std::string path = app_.GetItemSavePath(*item_);
  const std::string stored = profile_.GetProfileString("mainpath", "dlpath", "?");
  ASSERT_TRUE(std::filesystem::path(stored).is_absolute()) << stored;
  EXPECT_EQ(std::filesystem::weakly_canonical(stored).string(), expected) << stored;
  EXPECT_EQ(stored.find("/./"), std::string::npos) << stored;
  EXPECT_EQ(path, stored + "/updates_example_org_/2/tool.exe");
  EXPECT_EQ(std::filesystem::current_path(), here);  // never changed
}

TEST(AbsoluteFolderTest, RelativeFoldersJoinTheCurrentDirectory) {
  const std::string here = std::filesystem::current_path().string();
  // An absolute folder as this system spells it ("C:/Users/..." on Windows).
  const TempDir absolute;
  const std::pair<std::string, std::string> cases[] = {
      {absolute.path(), absolute.path()},
      {"/srv/files", "/srv/files"},
      {"/srv/files/", "/srv/files/"},
      {"", ""},
      {"dl", here + "/dl"},
      {"./dl/", here + "/dl"},
      {"a/./b", here + "/a/b"},
      {"../x", here + "/../x"},
      {".", here},
  };
  for (const auto& [typed, expected] : cases)
    EXPECT_EQ(AbsoluteFolder(typed), expected) << typed;
}

}  // namespace
}  // namespace gantrell
