// The Windows file backends where Windows differs: replacing a file that a
// reader has open, locks between two handles of one process, and paths
// written with backslashes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "platform/atomic_file.h"
#include "platform/file_lock.h"
#include "platform/file_move.h"
#include "platform/shell_open.h"
#include "platform/win32_files.h"
#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::TempDir;

std::string Read(const std::string& path) {
  std::string content, error;
  bool missing = false;
  EXPECT_TRUE(ReadWholeFile(path, &content, &missing, &error)) << path << ": " << error;
  return content;
}

// Windows refuses to rename over a file that another handle has open, even
// one shared for deletion: the write then fails with a message naming the
// file, the old content stays, and no temporary file is left. Once the
// reader is done the same write succeeds.
TEST(AtomicFileWin32, AFileAReaderHasOpenIsKeptWholeAndReplacedAfterwards) {
  TempDir dir;
  const std::string path = dir.WriteFile("provdata.dat", "old content");
  HANDLE reader = win32::OpenForReading(path);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::string error;
  const bool written = WriteFileAtomically(path, "new content", &error);
  // The reader still reads the file it opened, whole.
  char buffer[32] = {};
  DWORD got = 0;
  ASSERT_TRUE(::ReadFile(reader, buffer, sizeof buffer, &got, nullptr));
  EXPECT_EQ(std::string(buffer, got), "old content");
  ::CloseHandle(reader);
  if (!written) {
    EXPECT_NE(error.find(path), std::string::npos) << error;
    EXPECT_EQ(Read(path), "old content");
    EXPECT_EQ(RemoveStaleTemporaries(path), 0) << "a temporary file was left";
    ASSERT_TRUE(WriteFileAtomically(path, "new content", &error)) << error;
  }
  EXPECT_EQ(Read(path), "new content");
  EXPECT_EQ(RemoveStaleTemporaries(path), 0) << "a temporary file was left";
}

TEST(AtomicFileWin32, ReplacingSeveralFilesLeavesNoJournal) {
  TempDir dir;
  const std::string a = dir.WriteFile("a.dat", "a0"), b = dir.WriteFile("b.dat", "b0");
  std::string error;
  ASSERT_TRUE(WriteFilesAtomically({{a, "a1"}, {b, "b1"}}, &error)) << error;
  EXPECT_EQ(Read(a), "a1");
  EXPECT_EQ(Read(b), "b1");
  EXPECT_FALSE(PathExists(dir.File(".a.dat.commit")));
}

TEST(AtomicFileWin32, StampChangesWithTheContent) {
  TempDir dir;
  const std::string path = dir.WriteFile("user.reg", "one");
  const FileStamp before = StampOfFile(path);
  ASSERT_TRUE(before.exists);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, "two, longer", &error)) << error;
  const FileStamp after = StampOfFile(path);
  EXPECT_TRUE(after.exists);
  EXPECT_NE(before, after);
  EXPECT_EQ(after.size, 11u);
  EXPECT_FALSE(StampOfFile(dir.File("missing")).exists);
}

TEST(FileLockWin32, TwoHandlesOfOneProcessExcludeEachOther) {
  TempDir dir;
  const std::string path = dir.File("provdata.dat.lock");
  FileLock first, second;
  std::string error;
  ASSERT_TRUE(first.Lock(path, &error)) << error;
  EXPECT_EQ(second.TryLock(path, &error), FileLock::TryResult::kBusy) << error;
  // The holder's note is readable while the lock is held.
  ASSERT_TRUE(first.WriteNote("Local\n"));
  EXPECT_EQ(FileLock::ReadNote(path), "Local\n");
  ASSERT_TRUE(first.WriteNote("x"));
  EXPECT_EQ(FileLock::ReadNote(path), "x") << "a shorter note replaces the longer one";
  first.Unlock();
  EXPECT_EQ(second.TryLock(path, &error), FileLock::TryResult::kTaken) << error;
}

TEST(FileMoveWin32, RenameWithoutReplaceKeepsTheFileThere) {
  TempDir dir;
  const std::string from = dir.WriteFile("from", "new"), to = dir.WriteFile("to", "kept");
  std::string error;
  EXPECT_EQ(RenameDurably(from, to, false, &error), MoveResult::kExists);
  EXPECT_EQ(Read(to), "kept");
  EXPECT_EQ(RenameDurably(from, to, true, &error), MoveResult::kMoved) << error;
  EXPECT_EQ(Read(to), "new");
  EXPECT_FALSE(PathExists(from));
}

TEST(PathsWin32, BackslashesSeparateFoldersToo) {
  const struct {
    const char* path;
    const char* parent;
    const char* working_folder;
  } cases[] = {
      {"C:\\Users\\me\\file.exe", "C:\\Users\\me", "C:\\Users\\me\\"},
      {"C:/Users/me\\file.exe", "C:/Users/me", "C:/Users/me\\"},
      {"C:\\Users\\me/file.exe", "C:\\Users\\me", "C:\\Users\\me/"},
      {"file.exe", ".", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParentFolder(c.path), c.parent) << c.path;
    EXPECT_EQ(ShellOpenWorkingFolder(c.path), c.working_folder) << c.path;
  }
}

}  // namespace
}  // namespace gantrell
