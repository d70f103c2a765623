// The folder, process and output-file facilities: the contract every
// system's backend keeps.
#include "platform/folders.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/output_file.h"
#include "platform/process.h"
#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(FoldersTest, KindOfPathTellsFoldersFilesAndNothing) {
  TempDir dir;
  dir.WriteFile("file", "x");
  fs::create_directory(dir.File("folder"));
  fs::create_directory_symlink(dir.File("folder"), dir.File("link"));
  struct Case {
    std::string path;
    PathKind kind;
  };
  const Case cases[] = {
      {dir.path(), PathKind::kFolder},        {dir.File("folder"), PathKind::kFolder},
      {dir.File("link"), PathKind::kFolder},  {dir.File("file"), PathKind::kOther},
      {dir.File("none"), PathKind::kMissing}, {dir.File("file/below"), PathKind::kMissing},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(KindOfPath(c.path, &error), c.kind) << c.path;
    EXPECT_EQ(IsFolder(c.path), c.kind == PathKind::kFolder) << c.path;
    EXPECT_EQ(error.empty(), c.kind != PathKind::kMissing) << c.path << ": " << error;
  }
  EXPECT_FALSE(IsFolder(""));
}

TEST(FoldersTest, MakeAndRemoveFoldersOnlyWhereAllowed) {
  TempDir dir;
  EXPECT_TRUE(MakeFolder(dir.File("new")));
  EXPECT_TRUE(IsFolder(dir.File("new")));
  EXPECT_FALSE(MakeFolder(dir.File("new")));  // already there
  EXPECT_FALSE(MakeFolder(dir.File("missing/new")));

  dir.WriteFile("new/file", "x");
  EXPECT_EQ(RemoveEmptyFolder(dir.File("new")), RemoveFolderResult::kFailed);
  EXPECT_EQ(RemoveEmptyFolder(dir.File("new/file")), RemoveFolderResult::kFailed);
  EXPECT_TRUE(fs::exists(dir.File("new/file")));
  EXPECT_EQ(RemoveEmptyFolder(dir.File("none")), RemoveFolderResult::kMissing);

  EXPECT_FALSE(RemoveFile(dir.File("new")));  // a folder is not a file
  EXPECT_TRUE(RemoveFile(dir.File("new/file")));
  EXPECT_FALSE(RemoveFile(dir.File("new/file")));
  EXPECT_EQ(RemoveEmptyFolder(dir.File("new")), RemoveFolderResult::kRemoved);
  EXPECT_FALSE(fs::exists(dir.File("new")));
}

TEST(FoldersTest, ListFolderNamesWhatIsThereAndNothingElse) {
  TempDir dir;
  dir.WriteFile("a", "");
  dir.WriteFile(".hidden", "");
  fs::create_directory(dir.File("sub"));
  dir.WriteFile("sub/below", "");
  std::vector<std::string> names;
  ASSERT_TRUE(ListFolder(dir.path(), &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".hidden", "a", "sub"}));

  std::vector<std::string> none;
  EXPECT_FALSE(ListFolder(dir.File("missing"), &none));
  EXPECT_FALSE(ListFolder(dir.File("a"), &none));
  EXPECT_TRUE(none.empty());
}

TEST(ProcessTest, WorkingFolderAndProgramPathAreAbsolute) {
  EXPECT_EQ(WorkingFolder(), fs::current_path().string());
  const std::string program = ProgramPath();
  ASSERT_FALSE(program.empty());
  EXPECT_TRUE(fs::path(program).is_absolute()) << program;
  EXPECT_TRUE(fs::equivalent(program, fs::canonical(program))) << program;
  EXPECT_EQ(fs::path(program).stem().string(), "platform_tests") << program;
}

TEST(OutputFileTest, CreatesOnlyNewFilesAndWritesThemInOrder) {
  TempDir dir;
  dir.WriteFile("taken", "old");
  OutputFile taken;
  EXPECT_EQ(taken.CreateNew(dir.File("taken")), OutputFile::CreateResult::kExists);
  EXPECT_FALSE(taken.is_open());
  EXPECT_EQ(testing::ReadWholeFile(dir.File("taken")), "old");
  EXPECT_EQ(taken.CreateNew(dir.File("missing/file")), OutputFile::CreateResult::kFailed);

  OutputFile file;
  ASSERT_EQ(file.CreateNew(dir.File("new")), OutputFile::CreateResult::kCreated);
  EXPECT_TRUE(file.is_open());
  bool bad_request = true;
  EXPECT_EQ(file.Write("hello ", 6, &bad_request), 6);
  EXPECT_FALSE(bad_request);
  EXPECT_EQ(file.Write("world", 5, &bad_request), 5);
  file.StartWriteBack(0, 11);
  EXPECT_TRUE(file.Sync());
  EXPECT_TRUE(file.Close());
  EXPECT_FALSE(file.is_open());
  EXPECT_EQ(testing::ReadWholeFile(dir.File("new")), "hello world");
}

}  // namespace
}  // namespace gantrell
