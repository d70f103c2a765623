#include "net/part_file.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "support/test_paths.h"
#include "support/test_system.h"

namespace gantrell {
namespace {

using testing::TempDir;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Random(std::size_t size, unsigned seed) {
  std::mt19937 rng(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes)
    c = static_cast<char>(rng());
  return bytes;
}

// Commits `bytes` in pieces of the given sizes (cycled, each at most a
// block), as a download does when the network delivers short pieces and
// the body ends off a block boundary.
bool WriteInPieces(PartFile& part, const std::string& bytes,
                   const std::vector<std::size_t>& sizes) {
  std::size_t done = 0;
  for (std::size_t i = 0; done < bytes.size(); ++i) {
    const std::size_t count =
        std::min({sizes[i % sizes.size()], part.block_size(), bytes.size() - done});
    char* buffer = part.Buffer();
    std::memcpy(buffer, bytes.data() + done, count);
    if (!part.Commit(count))
      return false;
    done += count;
  }
  return true;
}

// (direct I/O, a writer thread)
class PartFileTest : public ::testing::TestWithParam<std::tuple<bool, bool>> {
 protected:
  TempDir dir_;
};

// The file holds exactly what was committed, in order, whether the pieces
// are whole blocks, odd sizes that break direct I/O's alignment, or a tail;
// and it becomes the destination only through MoveTo.
TEST_P(PartFileTest, WritesWhatWasCommittedInOrder) {
  const std::string bytes = Random(3 * 65536 * 4 + 1234, 7);
  const std::vector<std::vector<std::size_t>> patterns = {
      {65536}, {4096, 65536, 100, 65536}, {1, 4095, 8192}};
  for (std::size_t p = 0; p < patterns.size(); ++p) {
    SCOPED_TRACE(p);
    const std::string destination = dir_.File("item" + std::to_string(p));
    PartFile part(65536, 3, std::get<0>(GetParam()), std::get<1>(GetParam()));
    ASSERT_TRUE(part.Create(destination));
    EXPECT_EQ(part.path().rfind(destination + ".part-", 0), 0u) << part.path();
    ASSERT_TRUE(WriteInPieces(part, bytes, patterns[p]));
    ASSERT_TRUE(part.Finish());
    EXPECT_FALSE(std::filesystem::exists(destination));
    ASSERT_TRUE(part.MoveTo(destination));
    EXPECT_EQ(testing::ReadWholeFile(destination), bytes);
  }
  EXPECT_EQ(Names(dir_.path()), (std::vector<std::string>{"item0", "item1", "item2"}));
}

TEST_P(PartFileTest, AnEmptyBodyMakesAnEmptyFile) {
  const std::string destination = dir_.File("empty");
  PartFile part(65536, 2, std::get<0>(GetParam()), std::get<1>(GetParam()));
  ASSERT_TRUE(part.Create(destination));
  part.Buffer();
  ASSERT_TRUE(part.Commit(0));
  ASSERT_TRUE(part.Finish());
  ASSERT_TRUE(part.MoveTo(destination));
  EXPECT_EQ(std::filesystem::file_size(destination), 0u);
}

// Without leave to replace, a file at the destination stays and so does the
// part file, which takes the destination once leave is given.
TEST_P(PartFileTest, AFileInTheWayIsReplacedOnlyWithLeave) {
  const std::string destination = dir_.WriteFile("taken", "the user's");
  PartFile part(65536, 2, std::get<0>(GetParam()), std::get<1>(GetParam()));
  ASSERT_TRUE(part.Create(destination));
  std::memcpy(part.Buffer(), "new", 3);
  ASSERT_TRUE(part.Commit(3));
  ASSERT_TRUE(part.Finish());
  EXPECT_EQ(part.MoveTo(destination, false), MoveResult::kExists);
  EXPECT_EQ(testing::ReadWholeFile(destination), "the user's");
  EXPECT_EQ(Names(dir_.path()).size(), 2u);
  EXPECT_EQ(part.MoveTo(destination, true), MoveResult::kMoved);
  EXPECT_EQ(testing::ReadWholeFile(destination), "new");
  EXPECT_EQ(Names(dir_.path()), std::vector<std::string>{"taken"});
}

// Discarding while blocks are still queued stops the writer and leaves
// nothing behind; so does a part file that is simply dropped.
TEST_P(PartFileTest, DiscardLeavesNothingBehind) {
  const std::string bytes = Random(8 * 65536, 3);
  {
    PartFile part(65536, 4, std::get<0>(GetParam()), std::get<1>(GetParam()));
    ASSERT_TRUE(part.Create(dir_.File("a")));
    ASSERT_TRUE(WriteInPieces(part, bytes, {65536}));
    part.Discard();
    part.Discard();
    EXPECT_FALSE(part.MoveTo(dir_.File("a")));
  }
  {
    PartFile part(65536, 4, std::get<0>(GetParam()), std::get<1>(GetParam()));
    ASSERT_TRUE(part.Create(dir_.File("b")));
    ASSERT_TRUE(WriteInPieces(part, bytes, {65536}));
  }
  EXPECT_TRUE(Names(dir_.path()).empty());
}

// A write that fails (here: past the file size limit, as on a full disk)
// fails a later Commit or Finish, and the file can then not be moved.
TEST_P(PartFileTest, AFailedWriteIsNotLost) {
  if (const char* why = testing::WithoutFileSizeLimit())
    GTEST_SKIP() << why;
  const std::string bytes = Random(16 * 65536, 5);
  PartFile part(65536, 3, std::get<0>(GetParam()), std::get<1>(GetParam()));
  ASSERT_TRUE(part.Create(dir_.File("full")));
  bool committed = false, finished = false;
  {
    testing::ScopedFileSizeLimit limit(100000);
    committed = WriteInPieces(part, bytes, {65536});
    finished = part.Finish();
  }
  EXPECT_FALSE(committed && finished);
  EXPECT_FALSE(finished);
  EXPECT_FALSE(part.MoveTo(dir_.File("full")));
  part.Discard();
  EXPECT_TRUE(Names(dir_.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(EveryPath, PartFileTest,
                         ::testing::Combine(::testing::Bool(), ::testing::Bool()),
                         [](const ::testing::TestParamInfo<std::tuple<bool, bool>>& param) {
                           return std::string(std::get<0>(param.param) ? "Direct" : "PageCache") +
                                  (std::get<1>(param.param) ? "Behind" : "Inline");
                         });

TEST(PartFileCreateTest, RefusesAPlaceThatCannotHoldAFile) {
  TempDir dir;
  PartFile part(65536, 2);
  EXPECT_FALSE(part.Create(""));
  EXPECT_FALSE(part.Create(dir.File("missing/folder/item")));
  EXPECT_FALSE(part.direct());
  // Filling and committing a buffer of a file that was never made fails
  // without blocking.
  part.Buffer();
  EXPECT_FALSE(part.Commit(10));
  EXPECT_FALSE(part.Finish());
  EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(PartFileCreateTest, OneFileAndNoMoreThanABufferHolds) {
  TempDir dir;
  PartFile part(65536, 2);
  ASSERT_TRUE(part.Create(dir.File("item")));
  const std::string first = part.path();
  EXPECT_FALSE(part.Create(dir.File("other")));
  EXPECT_EQ(part.path(), first);
  // A count beyond the buffer cannot be written whole: it fails the file.
  part.Buffer();
  EXPECT_FALSE(part.Commit(65537));
  EXPECT_FALSE(part.Finish());
  EXPECT_FALSE(part.MoveTo(dir.File("item")));
  part.Discard();
  EXPECT_TRUE(Names(dir.path()).empty());
}

// Where the file system takes direct I/O, whole blocks keep it and the
// first piece off the alignment turns it off for the rest of the file.
TEST(PartFileDirectTest, DirectIoLastsUntilAPieceIsOffAlignment) {
  TempDir dir;
  const std::string bytes = Random(2 * 65536 + 10, 9);
  PartFile whole(65536, 2);
  ASSERT_TRUE(whole.Create(dir.File("whole")));
  if (!whole.direct())
    GTEST_SKIP() << "no direct I/O on " << dir.path();
  ASSERT_TRUE(WriteInPieces(whole, bytes.substr(0, 2 * 65536), {65536}));
  ASSERT_TRUE(whole.Finish());
  EXPECT_TRUE(whole.direct());

  PartFile tail(65536, 2);
  ASSERT_TRUE(tail.Create(dir.File("tail")));
  ASSERT_TRUE(WriteInPieces(tail, bytes, {65536}));
  ASSERT_TRUE(tail.Finish());
  EXPECT_FALSE(tail.direct());
  ASSERT_TRUE(tail.MoveTo(dir.File("tail")));
  EXPECT_EQ(testing::ReadWholeFile(dir.File("tail")), bytes);
}

}  // namespace
}  // namespace gantrell
