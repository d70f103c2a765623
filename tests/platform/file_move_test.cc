#include "platform/file_move.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <memory>

#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::TempDir;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// A folder on another file system than `near`, or null.
std::unique_ptr<TempDir> OtherFileSystem(const std::string& near) {
  testing::ScopedEnv shm("TMPDIR", "/dev/shm");
  auto dir = std::make_unique<TempDir>();
  struct stat a, b;
  if (::stat(dir->path().c_str(), &a) != 0 || ::stat(near.c_str(), &b) != 0 ||
      a.st_dev == b.st_dev) {
    return nullptr;
  }
  return dir;
}

// With `replace` false nothing at the destination is ever replaced, on one
// file system or across two; with it the whole file takes its place.
TEST(FileMoveTest, AnExistingDestinationIsReplacedOnlyWhenAllowed) {
  TempDir here;
  std::unique_ptr<TempDir> other = OtherFileSystem(here.path());
  for (const bool across : {false, true}) {
    if (across && other == nullptr)
      GTEST_SKIP() << "no second file system at /dev/shm";
    const TempDir& there = across ? *other : here;
    const std::string source = here.WriteFile("source", "new bytes");
    const std::string destination = there.WriteFile("destination", "the user's");
    std::string error;
    EXPECT_EQ(MoveFileDurably(source, destination, false, &error), MoveResult::kExists) << across;
    EXPECT_EQ(ReadWholeFile(destination), "the user's") << across;
    EXPECT_EQ(ReadWholeFile(source), "new bytes") << across;
    EXPECT_EQ(MoveFileDurably(source, destination, true, &error), MoveResult::kMoved) << error;
    EXPECT_EQ(ReadWholeFile(destination), "new bytes") << across;
    EXPECT_FALSE(fs::exists(source)) << across;
    const std::string fresh = there.File("fresh");
    here.WriteFile("source", "more");
    EXPECT_EQ(MoveFileDurably(source, fresh, false, &error), MoveResult::kMoved) << error;
    EXPECT_EQ(ReadWholeFile(fresh), "more") << across;
    fs::remove(fresh);
    fs::remove(destination);
  }
}

// A move across file systems keeps the file's mode and leaves no
// temporary file; a failed one changes nothing.
TEST(FileMoveTest, AcrossFileSystemsTheFileArrivesWholeOrNotAtAll) {
  TempDir here;
  std::unique_ptr<TempDir> other = OtherFileSystem(here.path());
  if (other == nullptr)
    GTEST_SKIP() << "no second file system at /dev/shm";
  std::string content(300000, 'z');
  content[12345] = 'a';
  const std::string source = here.WriteFile("tool", content);
  ::chmod(source.c_str(), 0750);
  std::string error;
  ASSERT_EQ(MoveFileDurably(source, other->File("tool"), false, &error), MoveResult::kMoved)
      << error;
  EXPECT_EQ(ReadWholeFile(other->File("tool")), content);
  EXPECT_EQ(fs::status(other->File("tool")).permissions(), static_cast<fs::perms>(0750));
  EXPECT_EQ(Names(other->path()), std::vector<std::string>{"tool"});
  EXPECT_TRUE(Names(here.path()).empty());

  // No folder to go to: the source stays.
  const std::string kept = here.WriteFile("kept", "k");
  EXPECT_EQ(MoveFileDurably(kept, other->File("no/such/kept"), true, &error), MoveResult::kFailed);
  EXPECT_EQ(error, "Cannot move to " + other->File("no/such/kept") + ": No such file or directory");
  EXPECT_EQ(ReadWholeFile(kept), "k");
  // A folder cannot be read as a file: nothing is left behind.
  fs::create_directory(here.File("folder"));
  EXPECT_EQ(MoveFileDurably(here.File("folder"), other->File("tool"), true, &error),
            MoveResult::kFailed);
  EXPECT_EQ(ReadWholeFile(other->File("tool")), content);
  EXPECT_EQ(Names(other->path()), std::vector<std::string>{"tool"});
}

TEST(FileMoveTest, RenameDurablyAndTheLooks) {
  TempDir dir;
  const std::string a = dir.WriteFile("a", "a");
  const std::string b = dir.WriteFile("b", "b");
  std::string error;
  EXPECT_EQ(RenameDurably(a, b, false, &error), MoveResult::kExists);
  EXPECT_EQ(RenameDurably(dir.File("missing"), dir.File("c"), false, &error), MoveResult::kFailed);
  EXPECT_EQ(error, "Cannot move to " + dir.File("c") + ": No such file or directory");
  EXPECT_EQ(RenameDurably(a, b, true, &error), MoveResult::kMoved);
  EXPECT_EQ(ReadWholeFile(b), "a");
  EXPECT_TRUE(SyncParentFolder(b));
  EXPECT_FALSE(SyncParentFolder(dir.File("none/x")));

  fs::create_symlink(dir.File("nowhere"), dir.File("dangling"));
  EXPECT_TRUE(PathExists(dir.File("dangling")));
  EXPECT_FALSE(IsRegularFile(dir.File("dangling")));
  EXPECT_FALSE(PathExists(dir.File("a")));
  EXPECT_FALSE(PathExists(""));
  EXPECT_TRUE(IsRegularFile(b));
  EXPECT_FALSE(IsRegularFile(dir.path()));
  EXPECT_TRUE(IsSameFile(b, dir.path() + "//./b"));
  EXPECT_FALSE(IsSameFile(b, dir.File("dangling")));
}

}  // namespace
}  // namespace gantrell
