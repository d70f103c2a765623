// Reading up to a size, a file's change time and unique temporary files:
// the contract every system's backend keeps.
#include "platform/file_access.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "support/temp_dir.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;

TEST(FileAccessTest, ReadFileUpToStopsAboveTheLimitAndRefusesFolders) {
  TempDir dir;
  const std::string big(70 * 1024, 'b');  // more than one read's buffer
  dir.WriteFile("big", big);
  dir.WriteFile("empty", "");
  fs::create_directory(dir.File("folder"));
  struct Case {
    std::string name;
    std::size_t limit;
    BoundedReadResult result;
    std::string reason;
  };
  const Case cases[] = {
      {"big", big.size(), BoundedReadResult::kRead, ""},
      {"big", big.size() - 1, BoundedReadResult::kTooLarge, ""},
      {"big", 10, BoundedReadResult::kTooLarge, ""},
      {"empty", 0, BoundedReadResult::kRead, ""},
      {"folder", 100, BoundedReadResult::kFailed, "Is a directory"},
      {"absent", 100, BoundedReadResult::kFailed, "No such file or directory"},
  };
  for (const Case& c : cases) {
    std::string content = "untouched";
    std::string reason;
    EXPECT_EQ(ReadFileUpTo(dir.File(c.name), c.limit, &content, &reason), c.result)
        << c.name << " limit " << c.limit;
    EXPECT_EQ(reason, c.reason) << c.name;
    if (c.result == BoundedReadResult::kRead)
      EXPECT_EQ(content, c.name == "big" ? big : "") << c.name;
    else
      EXPECT_EQ(content, "untouched") << c.name;
  }
}

TEST(FileAccessTest, FileModifiedTimeIsTheFilesOwn) {
  TempDir dir;
  const std::string path = dir.WriteFile("dated", "x");
  const auto when = fs::file_time_type::clock::now() - std::chrono::hours(24 * 400);
  fs::last_write_time(path, when);
  std::int64_t seconds = 0;
  ASSERT_TRUE(FileModifiedTime(path, &seconds));
  const auto expected = std::chrono::duration_cast<std::chrono::seconds>(
      std::chrono::file_clock::to_sys(when).time_since_epoch());
  EXPECT_NEAR(static_cast<double>(seconds), static_cast<double>(expected.count()), 1.0);
  EXPECT_FALSE(FileModifiedTime(dir.File("absent"), &seconds));
}

TEST(FileAccessTest, WriteUniqueTemporaryMakesDistinctCompleteFiles) {
  TempDir dir;
  const std::string prefix = dir.File("key.pem.tmp-");
  std::set<std::string> names;
  for (NewFileAccess access : {NewFileAccess::kOwnerOnly, NewFileAccess::kPublic}) {
    std::string temp;
    std::string reason;
    ASSERT_TRUE(WriteUniqueTemporary(prefix, "secret", access, &temp, &reason)) << reason;
    EXPECT_EQ(temp.rfind(prefix, 0), 0u) << temp;
    EXPECT_EQ(temp.size(), prefix.size() + 6) << temp;
    names.insert(temp);
    std::ifstream in(temp);
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(content, "secret");
#ifndef _WIN32
    const fs::perms others = fs::status(temp).permissions() &
                             (fs::perms::group_all | fs::perms::others_all);
    EXPECT_EQ(others == fs::perms::none, access == NewFileAccess::kOwnerOnly) << temp;
#endif
  }
  EXPECT_EQ(names.size(), 2u);
  std::string temp;
  std::string reason;
  EXPECT_FALSE(WriteUniqueTemporary(dir.File("no/such/folder/x."), "x", NewFileAccess::kPublic,
                                    &temp, &reason));
  EXPECT_EQ(reason, "No such file or directory");
  EXPECT_TRUE(temp.empty());
}

}  // namespace
}  // namespace gantrell
