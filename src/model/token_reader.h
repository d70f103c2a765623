// Token readers shared by every text format of the client: the provider
// store, the control file and the condition text inside both.
//
// Tokens are separated by the blank (0x20) only; line breaks, tabs and every
// other byte belong to tokens. A token that starts with a double quote runs to
// the next double quote and comes back without the quotes, blanks included.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace gantrell {

class CTokenReader {
 public:
  virtual ~CTokenReader() = default;

  // Reads the next token into *token, keeping at most `max_length` bytes of
  // it; the rest of a longer token is read and dropped and *overflow is set.
  // Returns false at the end of the input without a token, and for a quoted
  // token whose closing quote never comes.
  virtual bool ReadToken(std::string* token, int max_length, bool* overflow);

  // The same without the overflow flag, which no caller acts on.
  bool ReadToken(std::string* token, int max_length) {
    bool overflow = false;
    return ReadToken(token, max_length, &overflow);
  }

  // True when the token last read stood in double quotes, so that a text
  // such as "END" can be told from the keyword END.
  bool last_token_quoted() const { return quoted_; }

 protected:
  // Supplies the next piece of input in *chunk. Returns false at the end of
  // the input. The chunk stays valid until the next call.
  virtual bool Refill(std::string_view* chunk) = 0;

 private:
  bool NextByte(char* c);

  std::string_view chunk_;
  std::size_t pos_ = 0;
  bool at_end_ = false;
  bool quoted_ = false;
};

// Reads an open file in chunks of 256 bytes. The file is borrowed, not
// closed, and read from its current position.
class CFileTokenReader : public CTokenReader {
 public:
  explicit CFileTokenReader(std::FILE* file) : file_(file) {}

 protected:
  bool Refill(std::string_view* chunk) override;

 private:
  static constexpr std::size_t kChunkSize = 256;
  std::FILE* file_;
  char buffer_[kChunkSize];
};

// Reads a text held in memory; the reader keeps its own copy.
class CStringTokenReader : public CTokenReader {
 public:
  explicit CStringTokenReader(std::string text) : text_(std::move(text)) {}

 protected:
  bool Refill(std::string_view* chunk) override;

 private:
  std::string text_;
  bool handed_out_ = false;
};

// As CStringTokenReader over a text the caller keeps alive and unchanged
// while the reader reads it, without a copy of it (a store of many
// megabytes).
class CStringViewTokenReader : public CTokenReader {
 public:
  explicit CStringViewTokenReader(std::string_view text) : text_(text) {}

 protected:
  bool Refill(std::string_view* chunk) override;

 private:
  std::string_view text_;
  bool handed_out_ = false;
};

}  // namespace gantrell
