#include "model/token_reader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace gantrell {
namespace {

struct Token {
  std::string text;
  bool overflow;
};

// Reads every token with the given limit; `complete` tells whether the input
// ended cleanly (false after an unclosed quote, as after the end).
std::vector<Token> ReadAll(CTokenReader& reader, int max_length) {
  std::vector<Token> tokens;
  std::string token;
  bool overflow = false;
  while (reader.ReadToken(&token, max_length, &overflow))
    tokens.push_back({token, overflow});
  return tokens;
}

std::vector<std::string> Texts(const std::vector<Token>& tokens) {
  std::vector<std::string> texts;
  for (const auto& t : tokens)
    texts.push_back(t.text);
  return texts;
}

std::FILE* FileWith(const std::string& content) {
  std::FILE* file = std::tmpfile();
  std::fwrite(content.data(), 1, content.size(), file);
  std::rewind(file);
  return file;
}

struct SplitCase {
  std::string input;
  std::vector<std::string> tokens;
};

class TokenSplitTest : public ::testing::TestWithParam<SplitCase> {};

// Both readers must split every input the same way.
TEST_P(TokenSplitTest, StringAndFileReadersAgree) {
  const SplitCase& c = GetParam();
  CStringTokenReader from_string(c.input);
  EXPECT_EQ(Texts(ReadAll(from_string, 512)), c.tokens) << "input: [" << c.input << "]";

  std::FILE* file = FileWith(c.input);
  CFileTokenReader from_file(file);
  EXPECT_EQ(Texts(ReadAll(from_file, 512)), c.tokens) << "input: [" << c.input << "]";
  std::fclose(file);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, TokenSplitTest,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"   ", {}}, SplitCase{"a", {"a"}},
                      SplitCase{"a  b", {"a", "b"}},  // no empty token between blanks
                      SplitCase{"  lead trail  ", {"lead", "trail"}},
                      SplitCase{"a\nb c", {"a\nb", "c"}},  // a line break belongs to a token
                      SplitCase{"tab\there", {"tab\there"}},
                      SplitCase{"\"a b\" c", {"a b", "c"}},  // quoted keeps blanks
                      SplitCase{"\"\" x", {"", "x"}},        // empty quoted token
                      SplitCase{"\"a\"\"b\"", {"a", "b"}},   // closing quote ends the token
                      SplitCase{"x\"y z", {"x\"y", "z"}},    // a quote inside a bare token
                      SplitCase{"\"never closed", {}},       // unclosed quote ends with false
                      SplitCase{"ok \"never closed", {"ok"}}));

TEST(TokenReaderTest, LongTokenIsCutAndReaderStandsAfterIt) {
  for (const std::string& input :
       {std::string("abcdefgh next"), std::string("\"abc defgh\" next")}) {
    CStringTokenReader reader(input);
    std::vector<Token> tokens = ReadAll(reader, 4);
    ASSERT_EQ(tokens.size(), 2u) << input;
    EXPECT_EQ(tokens[0].text.size(), 4u) << input;
    EXPECT_TRUE(tokens[0].overflow) << input;
    EXPECT_EQ(tokens[1].text, "next") << input;
    EXPECT_FALSE(tokens[1].overflow) << input;
  }
}

TEST(TokenReaderTest, TokenOfExactlyTheLimitIsNotAnOverflow) {
  CStringTokenReader reader("abcd");
  std::vector<Token> tokens = ReadAll(reader, 4);
  ASSERT_EQ(tokens.size(), 1u);
  EXPECT_EQ(tokens[0].text, "abcd");
  EXPECT_FALSE(tokens[0].overflow);
}

TEST(TokenReaderTest, FileReaderJoinsTokensAcrossChunkBoundaries) {
  // Tokens, quoted and bare, straddling the 256-byte chunks of the file
  // reader at every offset near the boundary.
  for (int pad = 240; pad <= 260; ++pad) {
    std::string input(static_cast<std::size_t>(pad), ' ');
    input += "\"quoted token spanning\" bare-token-spanning-the-edge ";
    input += std::string(300, 'x');
    std::FILE* file = FileWith(input);
    CFileTokenReader reader(file);
    std::vector<std::string> expected = {"quoted token spanning", "bare-token-spanning-the-edge",
                                         std::string(300, 'x')};
    EXPECT_EQ(Texts(ReadAll(reader, 512)), expected) << "padding " << pad;
    std::fclose(file);
  }
}

TEST(TokenReaderTest, ReadsFromTheFilesCurrentPosition) {
  std::FILE* file = FileWith("skip these words");
  std::fseek(file, 5, SEEK_SET);
  CFileTokenReader reader(file);
  EXPECT_EQ(Texts(ReadAll(reader, 20)), (std::vector<std::string>{"these", "words"}));
  std::fclose(file);
}

TEST(TokenReaderTest, StringReaderKeepsItsOwnCopy) {
  std::string text = "one two";
  CStringTokenReader reader(text);
  text = "changed";
  EXPECT_EQ(Texts(ReadAll(reader, 20)), (std::vector<std::string>{"one", "two"}));
}

TEST(TokenReaderTest, EmbeddedZeroBytesAreOrdinaryCharacters) {
  std::string input("a\0b c", 5);
  CStringTokenReader reader(input);
  std::vector<std::string> tokens = Texts(ReadAll(reader, 20));
  ASSERT_EQ(tokens.size(), 2u);
  EXPECT_EQ(tokens[0], std::string("a\0b", 3));
}

}  // namespace
}  // namespace gantrell
