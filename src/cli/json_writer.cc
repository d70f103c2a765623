#include "cli/json_writer.h"

#include <nlohmann/json.hpp>
#include <vector>

namespace gantrell::cli {

// Members keep the order they were written in, as a reader of the output
// expects.
using Json = nlohmann::ordered_json;

struct JsonWriter::Tree {
  Json root;
  // The objects and arrays open, innermost last. A container's own place
  // does not move while it is open: only the innermost one grows.
  std::vector<Json*> open;
  std::string key;

  // Adds `value` where the stream stands; returns where it went.
  Json* Put(Json value) {
    if (open.empty()) {
      root = std::move(value);
      return &root;
    }
    Json& into = *open.back();
    if (into.is_object()) {
      Json& member = into[key];
      member = std::move(value);
      return &member;
    }
    into.push_back(std::move(value));
    return &into.back();
  }
};

JsonWriter::JsonWriter() : m_tree(std::make_unique<Tree>()) {}
JsonWriter::~JsonWriter() = default;

JsonWriter& JsonWriter::BeginObject() {
  m_tree->open.push_back(m_tree->Put(Json::object()));
  return *this;
}

JsonWriter& JsonWriter::EndObject() {
  m_tree->open.pop_back();
  return *this;
}

JsonWriter& JsonWriter::BeginArray() {
  m_tree->open.push_back(m_tree->Put(Json::array()));
  return *this;
}

JsonWriter& JsonWriter::EndArray() {
  m_tree->open.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  m_tree->key.assign(name);
  return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
  m_tree->Put(Json(std::string(text)));
  return *this;
}

JsonWriter& JsonWriter::Number(std::int64_t value) {
  m_tree->Put(Json(value));
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  m_tree->Put(Json(value));
  return *this;
}

JsonWriter& JsonWriter::Null() {
  m_tree->Put(Json(nullptr));
  return *this;
}

std::string JsonWriter::text() const {
  return m_tree->root.dump(-1, ' ', false, Json::error_handler_t::replace);
}

}  // namespace gantrell::cli
