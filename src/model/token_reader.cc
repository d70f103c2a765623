#include "model/token_reader.h"

namespace gantrell {

bool CTokenReader::NextByte(char* c) {
  while (pos_ >= chunk_.size()) {
    if (at_end_ || !Refill(&chunk_)) {
      at_end_ = true;
      chunk_ = {};
      pos_ = 0;
      return false;
    }
    pos_ = 0;
  }
  *c = chunk_[pos_++];
  return true;
}

bool CTokenReader::ReadToken(std::string* token, int max_length, bool* overflow) {
  *overflow = false;
  quoted_ = false;
  token->clear();
  const std::size_t limit = max_length > 0 ? static_cast<std::size_t>(max_length) : 0;

  char c;
  do {
    if (!NextByte(&c))
      return false;
  } while (c == ' ');

  auto keep = [&](char ch) {
    if (token->size() < limit) {
      token->push_back(ch);
    } else {
      *overflow = true;
    }
  };

  if (c == '"') {
    quoted_ = true;
    for (;;) {
      if (!NextByte(&c))
        return false;  // never closed
      if (c == '"')
        return true;
      keep(c);
    }
  }

  keep(c);
  // The blank that ends a bare token is consumed with it.
  while (NextByte(&c) && c != ' ')
    keep(c);
  return true;
}

bool CFileTokenReader::Refill(std::string_view* chunk) {
  if (file_ == nullptr)
    return false;
  std::size_t got = std::fread(buffer_, 1, kChunkSize, file_);
  if (got == 0)
    return false;
  *chunk = std::string_view(buffer_, got);
  return true;
}

bool CStringTokenReader::Refill(std::string_view* chunk) {
  if (handed_out_ || text_.empty())
    return false;
  handed_out_ = true;
  *chunk = text_;
  return true;
}

bool CStringViewTokenReader::Refill(std::string_view* chunk) {
  if (handed_out_ || text_.empty())
    return false;
  handed_out_ = true;
  *chunk = text_;
  return true;
}

}  // namespace gantrell
