#include "platform/trash.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "support/temp_dir.h"
#include "support/test_paths.h"

namespace gantrell {
namespace {

namespace fs = std::filesystem;
using testing::ReadWholeFile;
using testing::TempDir;

// A file goes to files/NAME with its record in info/NAME.trashinfo, from
// which a file manager can put it back; a second file of that name gets
// NAME.2. Nothing is left where it was.
TEST(FreedesktopTrashTest, FilesGoToTheHomeTrashWithTheirRecords) {
  TempDir home;
  TempDir user;
  FreedesktopTrash trash(home.File("Trash"));
  const std::string first = user.WriteFile("my notes%.txt", "one");
  const std::string second = user.WriteFile("sub/my notes%.txt", "two");
  std::string where, error;
  ASSERT_TRUE(trash.MoveToTrash(first, &where, &error)) << error;
  EXPECT_EQ(where, home.File("Trash"));
  ASSERT_TRUE(trash.MoveToTrash(second, &where, &error)) << error;
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_EQ(ReadWholeFile(home.File("Trash/files/my notes%.txt")), "one");
  EXPECT_EQ(ReadWholeFile(home.File("Trash/files/my notes%.txt.2")), "two");

  const std::string record = ReadWholeFile(home.File("Trash/info/my notes%.txt.2.trashinfo"));
  const std::regex layout("\\[Trash Info\\]\nPath=(.*)\nDeletionDate=\\d{4}-\\d\\d-\\d\\dT\\d\\d:"
                          "\\d\\d:\\d\\d\n");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(record, match, layout)) << record;
  EXPECT_EQ(match[1].str(), user.path() + "/sub/my%20notes%25.txt");
  EXPECT_EQ(fs::status(home.File("Trash/files")).permissions(), fs::perms::owner_all);
}

TEST(FreedesktopTrashTest, WhatCannotBeTrashedStaysAndSaysWhy) {
  TempDir home;
  FreedesktopTrash trash(home.File("Trash"));
  std::string where, error;
  EXPECT_FALSE(trash.MoveToTrash(home.File("missing"), &where, &error));
  EXPECT_EQ(error, "no file at " + home.File("missing"));
  EXPECT_FALSE(trash.MoveToTrash("relative/path", &where, &error));
  // A home trash that cannot be made (a file in its place) takes nothing,
  // and nothing goes anywhere else.
  home.WriteFile("Blocked", "a file");
  FreedesktopTrash blocked(home.File("Blocked/Trash"));
  const std::string file = home.WriteFile("data/f", "f");
  EXPECT_FALSE(blocked.MoveToTrash(file, &where, &error));
  EXPECT_EQ(error, "there is no trash on the file system of " + file);
  EXPECT_EQ(ReadWholeFile(file), "f");
}

}  // namespace
}  // namespace gantrell
