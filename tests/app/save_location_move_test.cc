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
#include "support/test_system.h"

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
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kPathOnly);
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
  EXPECT_EQ(frontend_.messages[0].buttons, MessageButtons::kYesNoDefaultNo);
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

// The folder of the file's record: another spelling of the download
// folder ("a//b") is the same path once resolved, and a link to the folder
// names the same file: neither copies the file onto itself.
TEST_F(SaveLocationMoveTest, AnotherSpellingOfTheSameFileIsNotCopiedOntoItself) {
  const std::string original = Download("precious");
  const std::string doubled = downloads_.path() + "//updates_example_org_/3/tool.exe";
  ASSERT_NE(doubled, original);
  EXPECT_EQ(MoveSaveLocation(app_, *item_, doubled), MoveOutcome::kUnchanged);
  EXPECT_EQ(item_->m_strSavePath, "");

  if (const char* why = testing::WithoutSymbolicLinks())
    GTEST_SKIP() << "the link to the folder: " << why;
  const std::string link = elsewhere_.File("link");
  std::filesystem::create_directory_symlink(downloads_.path() + "/updates_example_org_/3", link);
  EXPECT_EQ(MoveSaveLocation(app_, *item_, link + "/tool.exe"), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(original), "precious");
  EXPECT_EQ(item_->m_strSavePath, link + "/tool.exe");
  EXPECT_TRUE(frontend_.messages.empty());
}

// A record whose file is gone moves nothing: the item takes the path,
// records that it has no file, and the user is told.
TEST_F(SaveLocationMoveTest, AMissingSourceSetsNoFileAndSaysNothingWasMoved) {
  for (const bool custom : {false, true}) {
    const std::string source = custom ? elsewhere_.File("gone.exe") : DefaultPath();
    item_->m_strSavePath = custom ? source : "";
    item_->m_nFileStamp = 5;
    item_->m_bJustDownloaded = true;
    std::filesystem::remove(source);
    frontend_.messages.clear();
    const std::string target = elsewhere_.File(custom ? "a.exe" : "b.exe");
    EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kPathOnly) << custom;
    EXPECT_EQ(item_->m_nFileStamp, -1) << custom;
    EXPECT_FALSE(item_->m_bJustDownloaded) << custom;
    EXPECT_EQ(item_->m_strSavePath, target) << custom;
    EXPECT_EQ(frontend_.texts(), (std::vector<std::string>{"The file of tool.exe is not at " +
                                                           source + ": nothing was moved."}))
        << custom;
  }
}

// A file of the user's at the destination is never taken unasked: not by
// a move, and not by the path of an item without a file, which the next
// download would write to. No (the default) leaves everything as it was.
TEST_F(SaveLocationMoveTest, APathToAFileOfTheUsersIsTakenOnlyOnYes) {
  const std::string notes = elsewhere_.WriteFile("notes.txt", "mine");
  for (const bool downloaded : {false, true}) {
    if (downloaded)
      Download("item");
    for (const MessageAnswer answer : {MessageAnswer::kNo, MessageAnswer::kYes}) {
      frontend_.messages.clear();
      frontend_.answers = {answer};
      item_->m_strSavePath.clear();
      const MoveOutcome outcome = MoveSaveLocation(app_, *item_, notes);
      ASSERT_EQ(frontend_.texts(),
                (std::vector<std::string>{"File already exists at " + notes + ". Overwrite?"}))
          << downloaded;
      EXPECT_EQ(frontend_.messages[0].buttons, MessageButtons::kYesNoDefaultNo);
      if (answer == MessageAnswer::kNo) {
        EXPECT_EQ(outcome, MoveOutcome::kDeclined) << downloaded;
        EXPECT_EQ(item_->m_strSavePath, "") << downloaded;
        EXPECT_EQ(ReadAll(notes), "mine") << downloaded;
      } else {
        EXPECT_EQ(outcome, downloaded ? MoveOutcome::kDone : MoveOutcome::kPathOnly);
        EXPECT_EQ(item_->m_strSavePath, notes) << downloaded;
        EXPECT_EQ(ReadAll(notes), downloaded ? "item" : "mine") << downloaded;
      }
    }
    if (!downloaded)
      continue;
    EXPECT_FALSE(Exists(DefaultPath()));
  }
}

// Only the item's own download moves: a file at its default place that the
// record does not know of stays there.
TEST_F(SaveLocationMoveTest, AFileTheRecordDoesNotKnowIsNotMoved) {
  const std::string stranger = DefaultPath();
  std::ofstream(stranger) << "not the item's";
  ASSERT_EQ(item_->m_nFileStamp, -1);
  const std::string target = elsewhere_.File("t.exe");
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kPathOnly);
  EXPECT_EQ(ReadAll(stranger), "not the item's");
  EXPECT_FALSE(Exists(target));
  EXPECT_TRUE(frontend_.messages.empty());
}

// The file the user agreed to overwrite is only replaced by a whole file:
// a source that cannot be copied (a folder where the file should be)
// leaves the destination as it was.
TEST_F(SaveLocationMoveTest, AnUnusableSourceNeverTruncatesTheDestination) {
  const std::string source = elsewhere_.File("folder.exe");
  std::filesystem::create_directory(source);
  item_->m_strSavePath = source;
  item_->m_nFileStamp = 1;
  const std::string target = elsewhere_.WriteFile("target.exe", "agreed to lose, but not to this");
  frontend_.answers = {MessageAnswer::kYes};
  EXPECT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kPathOnly);
  EXPECT_EQ(ReadAll(target), "agreed to lose, but not to this");
  EXPECT_TRUE(std::filesystem::is_directory(source));
  EXPECT_EQ(item_->m_nFileStamp, -1);
}

// What is typed means the same file whichever folder the program runs in
// later: relative paths are made absolute, "." and ".." resolved, and a
// folder gets the location's file name.
TEST_F(SaveLocationMoveTest, TypedPathsAreStoredAbsolute) {
  namespace fs = std::filesystem;
  const std::string cwd = fs::current_path().string();
  const std::string relative_folder = fs::relative(elsewhere_.path(), cwd).string();
  if (relative_folder.empty())
    GTEST_SKIP() << "no relative path leads from the working folder to " << elsewhere_.path();
  fs::create_directories(elsewhere_.File("sub"));
  item_->m_strLocation = "bin/tool.exe";
  const std::pair<std::string, std::string> cases[] = {
      {relative_folder + "/r.exe", elsewhere_.File("r.exe")},
      {relative_folder + "/./sub/../x.exe", elsewhere_.File("x.exe")},
      {elsewhere_.path(), elsewhere_.File("tool.exe")},
      {relative_folder + "/sub", elsewhere_.File("sub/tool.exe")},
      {elsewhere_.path() + "//sub/", elsewhere_.File("sub/tool.exe")},
  };
  for (const auto& [typed, stored] : cases) {
    EXPECT_EQ(ResolveSavePath(*item_, typed), stored) << typed;
    item_->m_strSavePath.clear();
    EXPECT_EQ(MoveSaveLocation(app_, *item_, typed), MoveOutcome::kPathOnly) << typed;
    EXPECT_EQ(item_->m_strSavePath, stored) << typed;
  }
  EXPECT_EQ(ResolveSavePath(*item_, ""), "");
}

// Across file systems the file is copied whole beside the destination and
// renamed into place before the source goes; no temporary stays.
TEST_F(SaveLocationMoveTest, AMoveToAnotherFileSystemArrivesWhole) {
  const std::string elsewhere = testing::OtherFileSystemFolder();
  if (elsewhere.empty())
    GTEST_SKIP() << "no second file system for temporary files";
  testing::ScopedEnv other_base("TMPDIR", elsewhere.c_str());
  TempDir other;
  std::string content(200000, 'x');
  for (std::size_t i = 0; i < content.size(); i += 7)
    content[i] = static_cast<char>(i % 251);
  const std::string original = Download(content);
  const std::string target = other.File("moved.exe");
  ASSERT_EQ(MoveSaveLocation(app_, *item_, target), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(target), content);
  EXPECT_FALSE(Exists(original));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(other.path()),
                          std::filesystem::directory_iterator()),
            1);
  // And back over a file the user agreed to lose.
  std::ofstream(original) << "old";
  frontend_.answers = {MessageAnswer::kYes};
  ASSERT_EQ(SetSaveLocationToDefault(app_, *item_), MoveOutcome::kDone);
  EXPECT_EQ(ReadAll(original), content);
  EXPECT_FALSE(Exists(target));
}

// A move is written to the store at once: a crash later in the run would
// otherwise leave the record pointing where the file no longer is.
TEST_F(SaveLocationMoveTest, TheStoreIsWrittenAfterAMove) {
  TempDir data;
  app_.m_strDataPath = data.path();
  app_.LoadStore();  // a first run: the built-in entries, and a store to write
  auto provider = std::make_unique<CProvider>();
  provider->m_strAddress = "http://updates.example.org/";
  CUpdateItem* item = provider->AddGroup()->AddItem();
  item->m_strName = "tool.exe";
  item->m_strLocation = "tool.exe";
  item->m_nFileStamp = 4;
  CUpdateItem& moving = *item;
  app_.m_providers.push_back(std::move(provider));
  std::ofstream(app_.GetItemSavePath(moving)) << "bytes";
  const std::string target = elsewhere_.File("kept.exe");
  ASSERT_EQ(MoveSaveLocation(app_, moving, target), MoveOutcome::kDone);
  EXPECT_NE(ReadAll(data.File("provdata.dat")).find(target), std::string::npos);
}

}  // namespace
}  // namespace gantrell
