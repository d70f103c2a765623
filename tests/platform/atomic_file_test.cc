#include "platform/atomic_file.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

using testing::ReadWholeFile;
using testing::TempDir;

int CountEntries(const std::string& folder) {
  int count = 0;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (dirent* entry = ::readdir(dir)) {
      std::string name = entry->d_name;
      count += (name != "." && name != "..") ? 1 : 0;
    }
    ::closedir(dir);
  }
  return count;
}

TEST(AtomicFileTest, ReplacesContentAndKeepsTheMode) {
  TempDir dir;
  std::string path = dir.WriteFile("data", "old content that is longer");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(path, std::string("new\0bytes", 9), &error)) << error;
  EXPECT_EQ(ReadWholeFile(path), std::string("new\0bytes", 9));
  struct stat info;
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  EXPECT_EQ(CountEntries(dir.path()), 1) << "no temporary file is left behind";

  ASSERT_TRUE(WriteFileAtomically(dir.File("fresh"), "", &error, 0600)) << error;
  ASSERT_EQ(::stat(dir.File("fresh").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST(AtomicFileTest, AFailureLeavesEveryOriginalUnchanged) {
  TempDir dir;
  std::string first = dir.WriteFile("first", "first original");
  std::string error;
  // The second target's folder does not exist, so its temporary file cannot
  // be made; the first file must not have been replaced either.
  EXPECT_FALSE(
      WriteFilesAtomically({{first, "first new"}, {dir.File("missing/second"), "x"}}, &error));
  EXPECT_NE(error.find(dir.File("missing/second")), std::string::npos) << error;
  EXPECT_EQ(ReadWholeFile(first), "first original");
  EXPECT_EQ(CountEntries(dir.path()), 1) << "no temporary file is left behind";

  ASSERT_TRUE(WriteFilesAtomically({{first, "one"}, {dir.File("second"), "two"}}, &error)) << error;
  EXPECT_EQ(ReadWholeFile(first), "one");
  EXPECT_EQ(ReadWholeFile(dir.File("second")), "two");
}

TEST(AtomicFileTest, CreatesMissingFolders) {
  TempDir dir;
  std::string error;
  EXPECT_TRUE(CreateFolders(dir.File("a/b/c"), 0700, &error)) << error;
  EXPECT_TRUE(CreateFolders(dir.File("a/b/c"), 0700, &error)) << "existing folders are fine";
  std::string file = dir.WriteFile("plain", "x");
  EXPECT_FALSE(CreateFolders(file + "/below", 0700, &error));
  EXPECT_NE(error.find(file), std::string::npos) << error;
}

}  // namespace
}  // namespace gantrell

namespace gantrell {
namespace {

TEST(AtomicFileTest, AnInterruptedPairIsFinishedAtTheNextStart) {
  testing::TempDir dir;
  const std::string store = dir.WriteFile("provdata.dat", "old store");
  const std::string keys = dir.WriteFile("keydata.dat", "old keys");
  // As a save leaves it when killed after its first rename: the store is
  // new, the keys' temporary file and the journal are still there.
  const std::string keys_temp = dir.WriteFile("keydata.dat.tmpABCDEF", "new keys");
  dir.WriteFile("provdata.dat", "new store");
  dir.WriteFile(".provdata.dat.commit", dir.File("provdata.dat.tmpGONE") + "\t" + store + "\n" +
                                            keys_temp + "\t" + keys + "\n");
  CompleteInterruptedWrite(store);
  EXPECT_EQ(testing::ReadWholeFile(store), "new store");
  EXPECT_EQ(testing::ReadWholeFile(keys), "new keys");
  EXPECT_FALSE(std::filesystem::exists(keys_temp));
  EXPECT_FALSE(std::filesystem::exists(dir.File(".provdata.dat.commit")));

  // Nothing interrupted: nothing changes.
  CompleteInterruptedWrite(store);
  EXPECT_EQ(testing::ReadWholeFile(keys), "new keys");
}

TEST(AtomicFileTest, StaleTemporariesOfOneFileAreRemoved) {
  testing::TempDir dir;
  const std::string store = dir.WriteFile("provdata.dat", "store");
  const char* const stale[] = {"provdata.dat.tmpAbC123", "provdata.dat.tmp000000",
                               ".provdata.dat.commit.tmpzZ9yY8"};
  const char* const kept[] = {
      "provdata.dat.tmp12345",    // five characters: not one of ours
      "provdata.dat.tmp1234567",  // seven
      "provdata.dat.tmpAB-123",   // not a letter or digit
      "provdata.dat.unreadable",  // a kept copy
      "keydata.dat.tmpABCDEF",    // another file's
      "xprovdata.dat.tmpABCDEF",  // another name that ends the same
      ".provdata.dat.commit",     // a journal is finished, not removed
  };
  for (const char* name : stale)
    dir.WriteFile(name, "partial");
  for (const char* name : kept)
    dir.WriteFile(name, "other");
  // A folder of such a name is not a temporary file either.
  std::filesystem::create_directory(dir.File("provdata.dat.tmpFOLDER"));

  EXPECT_EQ(RemoveStaleTemporaries(store), 3);
  for (const char* name : stale)
    EXPECT_FALSE(std::filesystem::exists(dir.File(name))) << name;
  for (const char* name : kept)
    EXPECT_TRUE(std::filesystem::exists(dir.File(name))) << name;
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("provdata.dat.tmpFOLDER")));
  EXPECT_EQ(testing::ReadWholeFile(store), "store");
  EXPECT_EQ(RemoveStaleTemporaries(store), 0);
  EXPECT_EQ(RemoveStaleTemporaries(dir.File("missing/provdata.dat")), 0);
}

TEST(AtomicFileTest, APairWritesBothAndLeavesNoJournal) {
  testing::TempDir dir;
  std::string error;
  ASSERT_TRUE(WriteFilesAtomically(
      {{dir.File("a.dat"), "first"}, {dir.File("b.dat"), "second"}}, &error))
      << error;
  EXPECT_EQ(testing::ReadWholeFile(dir.File("a.dat")), "first");
  EXPECT_EQ(testing::ReadWholeFile(dir.File("b.dat")), "second");
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"a.dat", "b.dat"}));
}

}  // namespace
}  // namespace gantrell
