#include "platform/reg_document.h"

#include <algorithm>
#include <utility>

namespace gantrell {
namespace {

char FoldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool PathIsAtOrBelow(std::string_view path, std::string_view prefix) {
  if (prefix.empty()) {
    return true;
  }
  if (path.size() < prefix.size() || !NamesEqual(path.substr(0, prefix.size()), prefix)) {
    return false;
  }
  return path.size() == prefix.size() || path[prefix.size()] == '\\';
}

bool NamesEqual(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldCase(x) == FoldCase(y);
         });
}

bool IsValidKeyPath(std::string_view path) {
  if (path.empty()) {
    return true;
  }
  if (path.front() == '\\' || path.back() == '\\' || path.find("\\\\") != std::string_view::npos) {
    return false;
  }
  return path.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

bool IsValidValueName(std::string_view name) {
  return name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

const RegDocumentKey* RegDocument::FindKey(RegRoot root, std::string_view path) const {
  for (const RegDocumentKey& key : keys_) {
    if (key.root == root && NamesEqual(key.path, path)) {
      return &key;
    }
  }
  return nullptr;
}

RegDocumentKey* RegDocument::FindMutableKey(RegRoot root, std::string_view path) {
  return const_cast<RegDocumentKey*>(std::as_const(*this).FindKey(root, path));
}

bool RegDocument::KeyExists(RegRoot root, std::string_view path) const {
  return std::any_of(keys_.begin(), keys_.end(), [&](const RegDocumentKey& key) {
    return key.root == root && PathIsAtOrBelow(key.path, path);
  });
}

const RegValue* RegDocument::FindValue(RegRoot root, std::string_view path,
                                       std::string_view name) const {
  const RegDocumentKey* key = FindKey(root, path);
  if (key == nullptr) {
    return nullptr;
  }
  for (const RegDocumentValue& entry : key->values) {
    if (NamesEqual(entry.name, name)) {
      return &entry.value;
    }
  }
  return nullptr;
}

std::string RegDocument::ExistingSpelling(RegRoot root, std::string_view prefix) const {
  for (const RegDocumentKey& key : keys_) {
    if (key.root == root && PathIsAtOrBelow(key.path, prefix)) {
      return key.path.substr(0, prefix.size());
    }
  }
  return std::string();
}

RegDocumentKey* RegDocument::AddKey(RegRoot root, std::string_view path) {
  if (RegDocumentKey* existing = FindMutableKey(root, path)) {
    return existing;
  }
  // Take the spelling of the longest part of the path that already exists.
  std::string spelled(path);
  std::size_t end = path.size();
  while (end > 0) {
    std::string existing = ExistingSpelling(root, path.substr(0, end));
    if (!existing.empty()) {
      spelled.replace(0, end, existing);
      break;
    }
    std::size_t slash = path.rfind('\\', end - 1);
    if (slash == std::string_view::npos) {
      break;
    }
    end = slash;
  }
  keys_.push_back(RegDocumentKey{root, std::move(spelled), {}, 0, {}, {}});
  return &keys_.back();
}

RegDocumentValue* RegDocument::SetValue(RegRoot root, std::string_view path, std::string_view name,
                                        const RegValue& value) {
  RegDocumentKey* key = AddKey(root, path);
  for (RegDocumentValue& entry : key->values) {
    if (NamesEqual(entry.name, name)) {
      entry.value = value;
      return &entry;
    }
  }
  key->values.push_back(RegDocumentValue{std::string(name), value, {}});
  return &key->values.back();
}

bool RegDocument::DeleteValue(RegRoot root, std::string_view path, std::string_view name) {
  RegDocumentKey* key = FindMutableKey(root, path);
  if (key == nullptr) {
    return false;
  }
  auto found =
      std::find_if(key->values.begin(), key->values.end(),
                   [&](const RegDocumentValue& entry) { return NamesEqual(entry.name, name); });
  if (found == key->values.end()) {
    return false;
  }
  // A comment written by hand outlives the value it described: it moves on
  // to what came after it.
  std::vector<std::string> comments = std::move(found->comments);
  std::vector<std::string>& heir =
      found + 1 != key->values.end() ? (found + 1)->comments : key->trailing_comments;
  comments.insert(comments.end(), heir.begin(), heir.end());
  heir = std::move(comments);
  key->values.erase(found);
  return true;
}

void RegDocument::DeleteKeyTree(RegRoot root, std::string_view path) {
  std::erase_if(keys_, [&](const RegDocumentKey& key) {
    return key.root == root && PathIsAtOrBelow(key.path, path);
  });
}

}  // namespace gantrell
