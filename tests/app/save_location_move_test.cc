#include "app/save_location_move.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"

namespace gantrell {
namespace {

using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

class SaveLocationMoveTest : public ::testing::Test {
 protected:
  SaveLocationMoveTest() : os_(reg_), app_(reg_, os_) {
    app_.SetFrontend(&frontend_);
    EXPECT_TRUE(
        app_.profile().WriteProfileString("mainpath", "dlpath", downloads_.path(), nullptr));
    provider_.m_strAddress = "http://updates.example.org/";
    item_ = provider_.AddGroup()->AddItem();
    item_->m_strName = "tool.exe";
    item_->m_nNumber = 3;
    item_->m_strLocation = "tool.exe";
  }

  std::string DefaultPath() { return app_.GetItemSavePath(*item_); }

  // Puts a downloaded file at the item's default place.
  std::string Download(const std::string& content) {
    std::ofstream(DefaultPath(), std::ios::binary) << content;
    item_->m_nFileStamp = 1;
    return DefaultPath();
  }

  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
  TempDir downloads_;
  TempDir elsewhere_;
  CProvider provider_;
  CUpdateItem* item_;
};

TEST_F(SaveLocationMoveTest, CaptionAndBrowseProposal) {
  EXPECT_EQ(SaveLocationCaption(*item_), "Choose location for item tool.exe");
  struct Case {
    const char* location;
    const char* extension;
    const char* name;
  };
  const Case cases[] = {
      {"tool.exe", ".exe", ""},
      {"bin\\tool.tar.gz", ".gz", "tool.tar.gz"},
      {"docs/readme", "", "readme"},
      {"v1.2/tool", "", "tool"},
      {"v1.2\\tool.bin", ".bin", "tool.bin"},
      {"docs\\", "", ""},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    item_->m_strLocation = c.location;
    const SaveDialogProposal proposal = ProposeSaveDialog(*item_);
    EXPECT_EQ(proposal.extension, c.extension) << c.location;
    EXPECT_EQ(proposal.file_name, c.name) << c.location;
    EXPECT_EQ(proposal.filter_label, std::string("Existing type (*") + c.extension + ")");
    EXPECT_EQ(proposal.filter_pattern, std::string("*") + c.extension);
  }
}

TEST_F(SaveLocationMoveTest, NeverDownloadedItemTakesAnyPathWithoutFiles) {
  const std::string target = elsewhere_.File("sub/none.exe");
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kDone);
  EXPECT_EQ(item_->m_strSavePath, target);
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(SaveLocationMoveTest, TheDefaultPathTypedInChangesNothing) {
  const std::string file = Download("abc");
  EXPECT_EQ(MoveSaveLocation(app_, *item_, file), MoveOutcome::kUnchanged);
  EXPECT_EQ(item_->m_strSavePath, "");
  EXPECT_EQ(ReadAll(file), "abc");
}

TEST_F(SaveLocationMoveTest, MoveAndSetToDefaultBringTheFileBackWhole) {
  for (std::size_t size : {0u, 1u, 511u, 512u, 513u, 1024u, 5000u}) {
    std::string content;
    for (std::size_t i = 0; i < size; ++i)
      content += static_cast<char>(i * 7 % 256);
    const std::string original = Download(content);
    const std::string target = elsewhere_.File("moved.exe");
    ASSERT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kDone) << size;
    EXPECT_EQ(item_->m_strSavePath, target);
    EXPECT_FALSE(Exists(original)) << size;
    EXPECT_EQ(ReadAll(target), content) << size;

    ASSERT_EQ(SetSaveLocationToDefault(app_, *item_), MoveOutcome::kDone) << size;
    EXPECT_EQ(item_->m_strSavePath, "");
    EXPECT_FALSE(Exists(target)) << size;
    EXPECT_EQ(ReadAll(original), content) << size;
  }
  EXPECT_TRUE(frontend_.messages.empty());
}

TEST_F(SaveLocationMoveTest, AnExistingDestinationIsOverwrittenOnlyOnYes) {
  const std::string original = Download("new");
  const std::string target = elsewhere_.WriteFile("there.exe", "old");
  frontend_.answers = {MessageAnswer::kNo};
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kDeclined);
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{"File already exists at " + target + ". Overwrite?"}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kQuestion);
  EXPECT_EQ(frontend_.messages[0].buttons, MessageButtons::kYesNo);
  EXPECT_EQ(ReadAll(target), "old");
  EXPECT_EQ(ReadAll(original), "new");
  EXPECT_EQ(item_->m_strSavePath, "");

  frontend_.answers = {MessageAnswer::kYes};
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(target), "new");
  EXPECT_FALSE(Exists(original));
}

TEST_F(SaveLocationMoveTest, AnUnwritableDestinationKeepsTheSource) {
  const std::string original = Download("keep");
  const std::string target = elsewhere_.File("no/such/folder/x.exe");
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kFailed);
  EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"Canot write to specified location"}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(ReadAll(original), "keep");
  EXPECT_EQ(item_->m_strSavePath, "");
}

// The store keeps 512 characters of a save path: a longer one would come
// back cut short and the item would lose its file. 512 is taken.
TEST_F(SaveLocationMoveTest, APathTooLongToStoreIsRefusedAndTheFileStays) {
  const std::string original = Download("keep");
  std::string folder = elsewhere_.path();
  while (folder.size() < 480)
    folder += "/" + std::string(20, 'd');
  std::filesystem::create_directories(folder);
  const std::string longest = folder + "/" + std::string(512 - folder.size() - 1, 'f');
  ASSERT_EQ(longest.size(), 512u);

  EXPECT_EQ(MoveSaveLocation(app_, *item_, longest + "x"), MoveOutcome::kFailed);
  EXPECT_EQ(frontend_.texts(),
            (std::vector<std::string>{"The path is too long: a location may have at most 512 "
                                      "characters."}));
  EXPECT_EQ(ReadAll(original), "keep");
  EXPECT_EQ(item_->m_strSavePath, "");

  EXPECT_EQ(MoveSaveLocation(app_, *item_, longest), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(longest), "keep");
  EXPECT_EQ(item_->m_strSavePath, longest);
}

TEST_F(SaveLocationMoveTest, AFailedCopyKeepsTheSourceAndTheOldPath) {
  // A folder opens for reading but every read of it fails.
  const std::string source = elsewhere_.File("folder.exe");
  std::filesystem::create_directory(source);
  item_->m_strSavePath = source;
  item_->m_nFileStamp = 1;
  const std::string target = elsewhere_.File("copy.exe");
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kFailed);
  EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"Unable to copy file."}));
  EXPECT_EQ(frontend_.messages[0].icon, MessageIcon::kError);
  EXPECT_FALSE(Exists(target));  // the partial copy is gone
  EXPECT_TRUE(Exists(source));
  EXPECT_EQ(item_->m_strSavePath, source);
}

TEST_F(SaveLocationMoveTest, AnotherSpellingOfTheSameFileIsNotCopiedOntoItself) {
  const std::string original = Download("precious");
  const std::string same = downloads_.path() + "//updates_example_org_/3/tool.exe";
  ASSERT_NE(same, original);
  EXPECT_EQ(MoveSaveLocation(app_, *item_, same), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(original), "precious");
  EXPECT_EQ(item_->m_strSavePath, same);
  EXPECT_TRUE(frontend_.messages.empty());
}

}  // namespace
}  // namespace gantrell
