// The console client's --json output, built with nlohmann-json. The caller
// opens and closes objects and arrays in order, as a stream; the document
// is held as a tree and printed at the end.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace gantrell::cli {

class JsonWriter {
 public:
  JsonWriter();
  ~JsonWriter();
  JsonWriter(const JsonWriter&) = delete;
  JsonWriter& operator=(const JsonWriter&) = delete;

  JsonWriter& BeginObject();
  JsonWriter& EndObject();
  JsonWriter& BeginArray();
  JsonWriter& EndArray();
  // The next member's name; call before its value inside an object.
  JsonWriter& Key(std::string_view name);
  JsonWriter& String(std::string_view text);
  JsonWriter& Number(std::int64_t value);
  JsonWriter& Bool(bool value);
  JsonWriter& Null();

  // Shorthands for one member.
  JsonWriter& Member(std::string_view name, std::string_view text) {
    return Key(name).String(text);
  }
  JsonWriter& Member(std::string_view name, const char* text) { return Key(name).String(text); }
  JsonWriter& Member(std::string_view name, std::int64_t value) { return Key(name).Number(value); }
  JsonWriter& Member(std::string_view name, int value) { return Key(name).Number(value); }
  JsonWriter& Member(std::string_view name, bool value) { return Key(name).Bool(value); }

  // The document on one line, members in the order they were written.
  // Bytes that are not valid UTF-8 become U+FFFD, so the document stays
  // valid whatever a provider's texts or the command line hold.
  std::string text() const;

 private:
  struct Tree;
  std::unique_ptr<Tree> m_tree;
};

}  // namespace gantrell::cli
