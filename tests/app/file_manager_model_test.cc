#include "app/file_manager_model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "app/client_app.h"
#include "platform/os_version_registry.h"
#include "platform/shell_open.h"
#include "platform/trash.h"
#include "support/scripted_frontend.h"
#include "support/temp_dir.h"
#include "support/temp_registry.h"
#include "support/test_paths.h"
#include "support/test_system.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::ScriptedFrontend;
using testing::TempDir;
using testing::TempRegistry;

class FixedCondition : public CCondition {
 public:
  explicit FixedCondition(bool holds) : m_bHolds(holds) {}
  bool Evaluate(const ConditionEnv&) const override { return m_bHolds; }
  bool Parse(CTokenReader&) override { return true; }
  void Write(std::ostream&) const override {}
  std::unique_ptr<CCondition> Clone() const override {
    return std::make_unique<FixedCondition>(m_bHolds);
  }

 private:
  bool m_bHolds;
};

class RecordingShell : public ShellOpen {
 public:
  bool Open(const std::string& path, const std::string& folder,
            const std::string& parameters) override {
    opened.push_back(path + "|" + folder + "|" + parameters);
    return true;
  }
  std::vector<std::string> opened;
};

// A trash that takes files into a folder of its own, or (not available)
// none.
class FolderTrash : public Trash {
 public:
  bool MoveToTrash(const std::string& path, std::string* where, std::string* error) override {
    asked.push_back(path);
    if (!available) {
      *error = "no trash here";
      return false;
    }
    fs::rename(path, folder.File(std::to_string(asked.size())));
    *where = folder.path();
    return true;
  }
  bool available = true;
  std::vector<std::string> asked;
  TempDir folder;
};

class FileManagerModelTest : public ::testing::Test {
 protected:
  FileManagerModelTest() : os_(reg_), app_(reg_, os_), model_(app_, shell_, &trash_) {
    app_.SetFrontend(&frontend_);
    app_.SetUpBuiltInProviders();
    app_.profile().WriteProfileString(kSettingsSection, "dlpath", downloads_.path(), nullptr);
    app_.GetProvider(1)->m_strKeyName = "Sign One";
    app_.GetProvider(4)->m_strKeyName = "Gantrell";
    alpha_ = AddProvider("Alpha", "http://alpha.example/");
    beta_ = AddProvider("Beta", "http://beta.example/");
  }

  CProvider* AddProvider(const std::string& name, const std::string& address) {
    app_.m_providers.push_back(std::make_unique<CProvider>());
    CProvider* provider = app_.m_providers.back().get();
    provider->m_strKeyName = name;
    provider->m_strAddress = address;
    return provider;
  }

  // An item with its file written at its default path.
  CUpdateItem* AddFile(CProvider* provider, const std::string& name, int number,
                       const std::string& content, bool just_downloaded) {
    CUpdateGroup* group =
        provider->GetGroupCount() > 0 ? provider->GetGroup(0) : provider->AddGroup();
    CUpdateItem* item = group->AddItem();
    item->m_strName = name;
    item->m_strLocation = name;
    item->m_nNumber = number;
    item->m_nLength = static_cast<std::int32_t>(content.size());
    item->m_nFileStamp = 7;
    item->m_bJustDownloaded = just_downloaded;
    std::ofstream(app_.GetItemSavePath(*item), std::ios::binary) << content;
    return item;
  }

  static std::vector<std::string> Texts(const std::vector<FileEntry>& files) {
    std::vector<std::string> texts;
    for (const FileEntry& file : files)
      texts.push_back(file.text);
    return texts;
  }

  TempRegistry reg_;
  RegistryOsVersion os_;
  CClientApp app_;
  ScriptedFrontend frontend_;
  TempDir downloads_;
  RecordingShell shell_;
  FolderTrash trash_;
  CFileManagerModel model_;
  CProvider* alpha_;
  CProvider* beta_;
};

TEST_F(FileManagerModelTest, OpensOnThisSessionsFilesAcrossProviders) {
  AddFile(alpha_, "tool.exe", 1, "t", true);
  AddFile(alpha_, "old.txt", 2, "o", false);  // on disk from an earlier run
  AddFile(beta_, "data.pak", 1, "d", true);
  AddFile(app_.GetProvider(1), "keys.bin", 1, "k", true);
  model_.Init();

  std::vector<std::string> labels;
  for (const FileSource& source : model_.Sources())
    labels.push_back(source.label);
  EXPECT_EQ(labels, (std::vector<std::string>{"Gantrell", "Alpha", "Beta", "Just Downloaded"}));
  EXPECT_EQ(model_.SelectedSource(), 3);
  EXPECT_EQ(Texts(model_.Files()),
            (std::vector<std::string>{"keys.bin from Sign One", "tool.exe from Alpha",
                                      "data.pak from Beta"}));
  EXPECT_EQ(model_.SelectedFile(), -1);

  model_.SelectSource(1);
  EXPECT_EQ(Texts(model_.Files()), (std::vector<std::string>{"tool.exe", "old.txt"}));
  EXPECT_EQ(model_.Files()[1].item->m_strName, "old.txt");
  model_.SelectSource(0);  // the client's own provider has no files
  EXPECT_TRUE(model_.Files().empty());
  model_.SelectSource(-1);
  EXPECT_TRUE(model_.Files().empty());
}

TEST_F(FileManagerModelTest, SelectionShowsTextsAndSuitability) {
  CUpdateItem* driver = AddFile(alpha_, "driver.sys", 1, std::string(3000, 'x'), false);
  driver->m_strDescription = "A driver";
  driver->m_pCondition = std::make_unique<FixedCondition>(false);
  CUpdateItem* tool = AddFile(alpha_, "tool.exe", 2, "t", false);
  tool->m_strDescription = "A tool";
  CUpdateItem* suited = AddFile(alpha_, "suited.bin", 3, "s", false);
  suited->m_pCondition = std::make_unique<FixedCondition>(true);
  model_.Init();
  model_.SelectSource(1);

  model_.SelectFile(0);
  EXPECT_EQ(model_.Texts(),
            (FileTexts{"A driver", "Size: 2.0K", "This item is not intended for this machine"}));
  model_.SelectFile(1);
  EXPECT_EQ(model_.Texts(), (FileTexts{"A tool", "Size: 0.0K", ""}));
  model_.SelectFile(2);
  EXPECT_EQ(model_.Texts().suitability, "");
  model_.SelectFile(0);
  model_.SelectFile(-1);  // selection cancelled
  EXPECT_EQ(model_.Texts(), FileTexts{});
  model_.SelectFile(0);
  model_.SelectSource(1);  // a new list empties the texts
  EXPECT_EQ(model_.Texts(), FileTexts{});
}

TEST_F(FileManagerModelTest, OpenPassesTheFolderAndTheProgramParameters) {
  AddFile(alpha_, "setup.exe", 1, "s", true);
  AddFile(alpha_, "SETUP.EXE", 2, "s", true);
  AddFile(alpha_, "notes.txt", 3, "n", true);
  model_.Init();
  model_.OpenSelected();  // nothing selected
  EXPECT_TRUE(shell_.opened.empty());
  for (int i = 0; i < 3; ++i) {
    model_.SelectFile(i);
    model_.OpenSelected();
  }
  const std::string folder = downloads_.path() + "/alpha_example_/";
  EXPECT_EQ(shell_.opened, (std::vector<std::string>{folder + "1/setup.exe|" + folder + "1/| ",
                                                     folder + "2/SETUP.EXE|" + folder + "2/|",
                                                     folder + "3/notes.txt|" + folder + "3/|"}));
}

TEST(CopyOfferTest, ExtensionNameAndFilterComeFromThePath) {
  CopyOffer offer = MakeCopyOffer("/dl/a.b/1/setup.exe");
  EXPECT_EQ(offer.extension, ".exe");
  EXPECT_EQ(offer.file_name, "setup.exe");
  EXPECT_EQ(offer.FilterText(), "Existing type (*.exe)|*.exe");

  offer = MakeCopyOffer("/dl/host_1/1/README");
  EXPECT_EQ(offer.extension, "");
  EXPECT_EQ(offer.file_name, "README");
  EXPECT_EQ(offer.filter_description, "Existing type (*)");
  EXPECT_EQ(offer.filter_pattern, "*");

  // A "." in a folder of the path starts no extension.
  offer = MakeCopyOffer("/home/u/.local/dl/1/README");
  EXPECT_EQ(offer.extension, "");
  EXPECT_EQ(offer.FilterText(), "Existing type (*)|*");
  EXPECT_EQ(MakeCopyOffer("/dl/1/").file_name, "");
}

TEST(CopyFileInBlocksTest, CopiesInBlocksUntilAShortRead) {
  TempDir dir;
  const std::string content(512, 'a');
  const std::string source = dir.WriteFile("source.bin", content);
  std::vector<std::size_t> reads;
  ASSERT_TRUE(CopyFileInBlocks(source, dir.File("copy.bin"), nullptr,
                               [&](std::size_t got) { reads.push_back(got); }));
  EXPECT_EQ(reads, (std::vector<std::size_t>{256, 256, 0}));
  EXPECT_EQ(ReadWholeFile(dir.File("copy.bin")), content);

  reads.clear();
  const std::string odd = dir.WriteFile("odd.bin", std::string(300, 'b') + "end");
  ASSERT_TRUE(CopyFileInBlocks(odd, dir.File("copy.bin"), nullptr,
                               [&](std::size_t got) { reads.push_back(got); }));
  EXPECT_EQ(reads, (std::vector<std::size_t>{256, 47}));
  EXPECT_EQ(ReadWholeFile(dir.File("copy.bin")), std::string(300, 'b') + "end");
}

TEST(CopyFileInBlocksTest, KeepsTheMode) {
  if (const char* why = testing::WithoutPermissionBits())
    GTEST_SKIP() << why;
  TempDir dir;
  const std::string tool = dir.WriteFile("tool", "#!/bin/sh\n");
  fs::permissions(tool, static_cast<fs::perms>(0750));
  ASSERT_TRUE(CopyFileInBlocks(tool, dir.File("copy")));
  EXPECT_EQ(fs::status(dir.File("copy")).permissions(), static_cast<fs::perms>(0750));
}

TEST(CopyFileInBlocksTest, SurvivesACopyOntoItself) {
  TempDir dir;
  const std::string tool = dir.WriteFile("tool", "#!/bin/sh\n");
  ASSERT_TRUE(CopyFileInBlocks(tool, tool));
  EXPECT_EQ(ReadWholeFile(tool), "#!/bin/sh\n");
}

// Every file in `folder`, by name.
std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CopyFileInBlocksTest, FailedCopyLeavesNoPartialFileAndTheOldOneAlone) {
  TempDir dir;
  const std::string old_copy = dir.WriteFile("out/copy.bin", "old");
  std::string error;
  // A folder reads as an error after the destination was begun.
  fs::create_directories(dir.File("folder"));
  EXPECT_FALSE(CopyFileInBlocks(dir.File("folder"), old_copy, &error));
  EXPECT_EQ(error, "Cannot read " + dir.File("folder") + ": " +
                       testing::FaultText(testing::FileFault::kIsAFolder));
  EXPECT_EQ(Names(dir.File("out")), std::vector<std::string>{"copy.bin"});
  EXPECT_EQ(ReadWholeFile(old_copy), "old");

  const std::string source = dir.WriteFile("source.bin", "data");
  EXPECT_FALSE(CopyFileInBlocks(dir.File("missing.bin"), old_copy, &error));
  EXPECT_EQ(error, "Cannot read " + dir.File("missing.bin") + ": " +
                       testing::FaultText(testing::FileFault::kNoSuchFile));
  EXPECT_FALSE(CopyFileInBlocks(source, dir.File("nowhere/copy.bin"), &error));
  EXPECT_FALSE(fs::exists(dir.File("nowhere")));
  // A folder in the destination's place is not replaced.
  EXPECT_FALSE(CopyFileInBlocks(source, dir.File("out"), &error));
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"folder", "out", "source.bin"}));
  EXPECT_FALSE(CopyFileInBlocks(source, "", &error));
}

TEST_F(FileManagerModelTest, CopyGoesToTheChosenPlace) {
  AddFile(alpha_, "tool.exe", 1, "tool bytes", true);
  model_.Init();
  CopyOffer offer;
  EXPECT_FALSE(model_.OfferCopyOfSelected(&offer));
  EXPECT_FALSE(model_.CopySelectedTo(downloads_.File("copy.exe")));
  model_.SelectFile(0);
  ASSERT_TRUE(model_.OfferCopyOfSelected(&offer));
  EXPECT_EQ(offer.file_name, "tool.exe");
  EXPECT_TRUE(model_.CopySelectedTo(downloads_.File("copy.exe")));
  EXPECT_EQ(ReadWholeFile(downloads_.File("copy.exe")), "tool bytes");
}

TEST_F(FileManagerModelTest, DeleteTrashesTheFileAndRemovesEntryAndEmptyFolders) {
  CUpdateItem* tool = AddFile(alpha_, "tool.exe", 1, "t", true);
  CUpdateItem* readme = AddFile(alpha_, "readme", 2, "r", true);
  readme->m_strLocation = "docs/en/readme.txt";
  std::ofstream(app_.GetItemSavePath(*readme)) << "r";
  const std::string folder = downloads_.path() + "/alpha_example_";
  model_.Init();

  model_.DeleteSelected();  // nothing selected
  EXPECT_EQ(model_.Files().size(), 2u);
  model_.SelectFile(0);
  model_.DeleteSelected();
  EXPECT_EQ(Texts(model_.Files()), std::vector<std::string>{"readme from Alpha"});
  EXPECT_EQ(model_.SelectedFile(), -1);
  EXPECT_EQ(model_.Texts(), FileTexts{});
  EXPECT_EQ(tool->m_nFileStamp, -1);
  EXPECT_FALSE(tool->m_bJustDownloaded);
  EXPECT_FALSE(fs::exists(folder + "/1"));
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(trash_.asked, std::vector<std::string>{folder + "/1/tool.exe"});
  EXPECT_EQ(ReadWholeFile(trash_.folder.File("1")), "t");  // it can be brought back

  fs::create_directories(folder + "/2/docs/other");
  model_.SelectFile(0);
  model_.DeleteSelected();
  EXPECT_TRUE(model_.Files().empty());
  EXPECT_FALSE(fs::exists(folder + "/2/docs/en"));
  EXPECT_TRUE(fs::exists(folder + "/2/docs/other"));  // not empty: kept
  fs::remove(folder + "/2/docs/other");
  model_.SelectSource(1);
  EXPECT_TRUE(model_.Files().empty());
}

TEST_F(FileManagerModelTest, DeleteWithACustomPathLeavesFoldersAlone) {
  CUpdateItem* item = AddFile(alpha_, "tool.exe", 1, "t", false);
  const std::string custom = downloads_.WriteFile("mine/tool.exe", "t");
  item->m_strSavePath = custom;
  model_.Init();
  model_.SelectSource(1);
  model_.SelectFile(0);
  model_.DeleteSelected();
  EXPECT_FALSE(fs::exists(custom));
  EXPECT_TRUE(fs::exists(downloads_.File("mine")));
  EXPECT_TRUE(fs::exists(downloads_.path() + "/alpha_example_/1/tool.exe"));
}

// Without a trash for the file, Delete is a question whose default is No;
// only Yes deletes it for good.
TEST_F(FileManagerModelTest, WithoutATrashDeleteAsksAndNoKeepsTheFile) {
  CUpdateItem* tool = AddFile(alpha_, "tool.exe", 1, "t", true);
  const std::string path = downloads_.path() + "/alpha_example_/1/tool.exe";
  model_.Init();
  for (const bool has_trash : {false, true}) {
    CFileManagerModel model(app_, shell_, has_trash ? &trash_ : nullptr);
    trash_.available = false;
    model.Init();
    model.SelectFile(0);
    frontend_.messages.clear();
    frontend_.answers = {MessageAnswer::kNo};
    DeleteResult result = model.DeleteSelected();
    EXPECT_EQ(result.outcome, DeleteResult::Outcome::kKept) << has_trash;
    EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"There is no trash to move " + path +
                                                          " to. Delete it for good?"});
    EXPECT_EQ(frontend_.messages[0].buttons, MessageButtons::kYesNoDefaultNo);
    EXPECT_EQ(ReadWholeFile(path), "t") << has_trash;
    EXPECT_EQ(model.Files().size(), 1u) << has_trash;
    EXPECT_EQ(tool->m_nFileStamp, 7) << has_trash;
  }
  frontend_.answers = {MessageAnswer::kYes};
  model_.SelectFile(0);
  const DeleteResult result = model_.DeleteSelected();
  EXPECT_EQ(result.outcome, DeleteResult::Outcome::kDeleted);
  EXPECT_EQ(result.why, "no trash here");
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(model_.Files().empty());
  EXPECT_EQ(tool->m_nFileStamp, -1);
}

// The console asks before it deletes; a file already gone is only
// forgotten.
TEST_F(FileManagerModelTest, AskingFirstAndAFileAlreadyGone) {
  CUpdateItem* tool = AddFile(alpha_, "tool.exe", 1, "t", true);
  const std::string path = app_.GetItemSavePath(*tool);
  frontend_.answers = {MessageAnswer::kNo};
  EXPECT_EQ(DeleteDownloadedFile(app_, *tool, &trash_, true).outcome,
            DeleteResult::Outcome::kKept);
  EXPECT_EQ(frontend_.texts(), std::vector<std::string>{"Move " + path + " to the trash?"});
  EXPECT_TRUE(fs::exists(path));
  frontend_.answers = {MessageAnswer::kYes};
  const DeleteResult trashed = DeleteDownloadedFile(app_, *tool, &trash_, true);
  EXPECT_EQ(trashed.outcome, DeleteResult::Outcome::kTrashed);
  EXPECT_EQ(trashed.trash, trash_.folder.path());

  CUpdateItem* gone = AddFile(alpha_, "gone.exe", 2, "g", true);
  fs::remove(app_.GetItemSavePath(*gone));
  frontend_.messages.clear();
  EXPECT_EQ(DeleteDownloadedFile(app_, *gone, &trash_, true).outcome,
            DeleteResult::Outcome::kMissing);
  EXPECT_TRUE(frontend_.messages.empty());
  EXPECT_EQ(gone->m_nFileStamp, -1);
}

// A failed copy or open says why, in the console's words.
TEST_F(FileManagerModelTest, FailedCopyAndOpenSayWhy) {
  CUpdateItem* tool = AddFile(alpha_, "tool.exe", 1, "tool bytes", true);
  model_.Init();
  model_.SelectFile(0);
  std::string problem;
  EXPECT_FALSE(model_.CopySelectedTo(downloads_.File("nowhere/copy.exe"), &problem));
  EXPECT_EQ(problem, "Cannot copy 'tool.exe from Alpha': Cannot write " +
                         downloads_.File("nowhere/copy.exe") + ": " +
                         testing::FaultText(testing::FileFault::kNoSuchFolder));

  const std::string path = app_.GetItemSavePath(*tool);
  fs::remove(path);
  EXPECT_FALSE(model_.OpenSelected(&problem));
  EXPECT_EQ(problem, "Cannot open 'tool.exe from Alpha': the file is missing: " + path);
  EXPECT_TRUE(shell_.opened.empty());
}

}  // namespace
}  // namespace gantrell
