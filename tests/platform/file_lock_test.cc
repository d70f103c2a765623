#include "platform/file_lock.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::TempDir;

TEST(FileLockTest, TryLockTakesAFreeLockAndReportsAHeldOneAsBusy) {
  TempDir dir;
  const std::string path = dir.File("store.lock");
  std::string error;
  FileLock first;
  ASSERT_EQ(first.TryLock(path, &error), FileLock::TryResult::kTaken) << error;
  EXPECT_TRUE(first.held());

  // Another holder, in this process or another, finds it busy, at once.
  FileLock second;
  EXPECT_EQ(second.TryLock(path, &error), FileLock::TryResult::kBusy);
  EXPECT_FALSE(second.held());
  EXPECT_EQ(error, "");

  first.Unlock();
  EXPECT_EQ(second.TryLock(path, &error), FileLock::TryResult::kTaken) << error;
}

TEST(FileLockTest, TheHoldersNoteIsReadByWhoeverFindsTheLockBusy) {
  TempDir dir;
  const std::string path = dir.File("store.lock");
  std::string error;
  FileLock holder;
  ASSERT_EQ(holder.TryLock(path, &error), FileLock::TryResult::kTaken);
  EXPECT_EQ(FileLock::ReadNote(path), "");
  ASSERT_TRUE(holder.WriteNote("/run/user/1000/gantrell\nlonger line that goes\n"));
  ASSERT_TRUE(holder.WriteNote("/run/a\n"));  // replaces, never appends
  EXPECT_EQ(FileLock::ReadNote(path), "/run/a\n");

  FileLock none;
  EXPECT_FALSE(none.WriteNote("x"));  // not held
  EXPECT_EQ(FileLock::ReadNote(dir.File("missing.lock")), "");
}

TEST(FileLockTest, ALockFileThatCannotBeMadeIsAFailureNamingIt) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("folder.lock"));
  struct Case {
    std::string path;
    std::string error;
  };
  const Case cases[] = {
      {dir.File("folder.lock"), "Cannot open lock file " + dir.File("folder.lock") +
                                    ": Is a directory"},
      {dir.File("missing/x.lock"), "Cannot open lock file " + dir.File("missing/x.lock") +
                                       ": No such file or directory"},
  };
  for (const Case& c : cases) {
    FileLock lock;
    std::string error;
    EXPECT_EQ(lock.TryLock(c.path, &error), FileLock::TryResult::kFailed) << c.path;
    EXPECT_EQ(error, c.error);
    EXPECT_FALSE(lock.held());
  }
}

}  // namespace
}  // namespace gantrell
