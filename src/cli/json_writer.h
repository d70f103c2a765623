// A small streaming JSON writer for the console client's --json output.
// The caller opens and closes objects and arrays in order; commas and the
// escaping of strings are taken care of.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gantrell::cli {

class JsonWriter {
 public:
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

  const std::string& text() const { return m_text; }

 private:
  void BeforeValue();

  std::string m_text;
  // One entry per open object or array: whether it has a member yet.
  std::vector<bool> m_hasMember;
  bool m_afterKey = false;
};

// `text` as a JSON string literal, quotes included. Bytes that are not
// valid UTF-8 become U+FFFD, so the document stays valid whatever a
// provider's texts hold.
std::string JsonQuote(std::string_view text);

}  // namespace gantrell::cli
