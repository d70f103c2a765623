// Paths outside the ANSI code page: a folder and a file named in three
// scripts are made, listed, read, renamed and removed through the calls the
// layers above use, on both systems. On Windows a narrow std::fopen or a
// std::filesystem path made from a std::string would miss them.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/file_move.h"
#include "platform/folders.h"
#include "platform/open_file.h"
#include "support/temp_dir.h"

namespace gantrell {
namespace {

using testing::TempDir;

// "Ωmega Jürgen" and "名前.txt": Greek and Han are in no Western code page.
const std::string kFolder = "\xCE\xA9mega J\xC3\xBCrgen";
const std::string kFile = "\xE5\x90\x8D\xE5\x89\x8D.txt";

std::string ReadWithCFile(const std::string& path) {
  std::FILE* file = OpenFile(path, "rb");
  if (file == nullptr)
    return "<cannot open>";
  std::string content;
  char buffer[256];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0)
    content.append(buffer, got);
  std::fclose(file);
  return content;
}

TEST(OpenFile, ReadsWritesAndListsNamesOutsideTheCodePage) {
  TempDir dir;
  const std::string folder = dir.File(kFolder);
  std::string error;
  ASSERT_TRUE(CreateFolders(folder, 0700, &error)) << error;
  const std::string path = folder + "/" + kFile;
  ASSERT_TRUE(WriteFileAtomically(path, "first bytes\r\n", &error)) << error;

  EXPECT_EQ(ReadWithCFile(path), "first bytes\r\n");
  {
    std::ifstream stream(PathFromUtf8(path), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(stream), {}), "first bytes\r\n");
  }  // closed: Windows would not let the rename below replace an open file

  // The listing gives the names back in UTF-8, through both calls.
  std::vector<std::string> names;
  ASSERT_TRUE(ListFolder(folder, &names));
  EXPECT_EQ(names, std::vector<std::string>{kFile});
  std::vector<std::string> listed;
  for (const auto& entry : std::filesystem::directory_iterator(PathFromUtf8(folder)))
    listed.push_back(Utf8FromPath(entry.path().filename()));
  EXPECT_EQ(listed, std::vector<std::string>{kFile});

  // Written with "wb", renamed over the first, removed.
  const std::string second = folder + "/" + kFile + ".new";
  std::FILE* out = OpenFile(second, "wb");
  ASSERT_NE(out, nullptr) << second;
  std::fputs("second", out);
  ASSERT_EQ(std::fclose(out), 0);
  ASSERT_EQ(RenameDurably(second, path, /*replace=*/true, &error), MoveResult::kMoved) << error;
  EXPECT_EQ(ReadWithCFile(path), "second");
  EXPECT_TRUE(RemoveFile(path));
  EXPECT_FALSE(PathExists(path));
}

TEST(OpenFile, AMissingFileGivesNullAndNoSuchFile) {
  TempDir dir;
  errno = 0;
  EXPECT_EQ(OpenFile(dir.File(kFile), "rb"), nullptr);
  EXPECT_EQ(errno, ENOENT);
}

TEST(Utf8Path, RoundTripsAndJoinsWithoutChangingTheBytes) {
  for (const std::string& text : {kFolder, kFile, std::string("plain.dat"),
                                  kFolder + "/" + kFile, std::string()}) {
    EXPECT_EQ(Utf8FromPath(PathFromUtf8(text)), text) << text;
  }
  const std::filesystem::path joined = PathFromUtf8(kFolder) / PathFromUtf8(kFile);
  EXPECT_EQ(Utf8FromPath(joined.filename()), kFile);
  EXPECT_EQ(Utf8FromPath(joined.parent_path()), kFolder);
  EXPECT_EQ(Utf8FromPath(PathFromUtf8(kFile).extension()), ".txt");
}

// A path typed or handed out on Windows is written with backslashes: its
// folder part ends at the last of either separator there. On Linux a "\"
// is a character of a file name like any other.
TEST(PathSeparator, BackslashesSeparateOnWindowsOnly) {
  const std::string typed = "C:\\" + kFolder + "\\" + kFile;
#ifdef _WIN32
  EXPECT_EQ(LastPathSeparator(typed), 3 + kFolder.size());
  EXPECT_EQ(ParentFolder(typed), "C:\\" + kFolder);
  EXPECT_EQ(ParentFolder("C:/a\\b/c.txt"), "C:/a\\b");
  EXPECT_EQ(ParentFolder("C:\\a/b\\c.txt"), "C:\\a/b");
#else
  EXPECT_EQ(LastPathSeparator(typed), std::string::npos);
  EXPECT_EQ(ParentFolder(typed), ".");
  EXPECT_EQ(ParentFolder("/a\\b/c\\d.txt"), "/a\\b");
#endif
  EXPECT_EQ(LastPathSeparator("plain.txt"), std::string::npos);
  EXPECT_EQ(LastPathSeparator("/a/b"), 2u);
}

}  // namespace
}  // namespace gantrell
