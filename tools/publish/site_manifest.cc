#include "site_manifest.h"

#include <cstdio>
#include <filesystem>
#include <map>
#include <utility>

#include "app/save_paths.h"
#include "command.h"
#include "condition_check.h"
#include "platform/open_file.h"

namespace gantrell::publish {

namespace {

// The longest texts the control file parser keeps; anything longer would
// reach clients cut short.
constexpr std::size_t kNameLimit = 256;
constexpr std::size_t kDescriptionLimit = 512;
constexpr int kMaxInterval = 3650;
constexpr int kMaxNumber = 2147483647;

constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// What one line of a text may hold: the control file is one line of
// blank-separated tokens with texts in double quotes and no escapes, so a
// double quote or a line break would end the text early and corrupt what
// follows; other control characters are refused with them.
bool CheckText(std::string_view what, std::string_view text, std::size_t limit, bool allow_empty,
               std::string* error) {
  if (text.empty() && !allow_empty) {
    *error = std::string(what) + " is empty";
    return false;
  }
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"') {
      *error = std::string(what) + " holds a double quote, which the control file cannot carry";
      return false;
    }
    if (byte < 0x20 || byte == 0x7f) {
      char code[8];
      std::snprintf(code, sizeof code, "0x%02x", byte);
      *error = std::string(what) + " holds a control character (" + code +
               "), which the control file cannot carry";
      return false;
    }
  }
  if (limit > 0 && text.size() > limit) {
    *error = std::string(what) + " is " + std::to_string(text.size()) +
             " characters long; clients keep at most " + std::to_string(limit);
    return false;
  }
  return true;
}

class ManifestParser {
 public:
  ManifestParser(const std::string& path, SiteManifest* manifest)
      : m_path(path), m_folder(PathFromUtf8(path).parent_path()), m_manifest(manifest) {}

  bool Parse(std::string_view text, std::string* error) {
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
      text.remove_prefix(3);  // the byte-order mark some editors write
    for (std::size_t start = 0; start < text.size();) {
      ++m_line;
      std::size_t end = text.find('\n', start);
      if (end == std::string_view::npos)
        end = text.size();
      std::string_view line = text.substr(start, end - start);
      start = end + 1;
      if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
      if (!ParseLine(Trim(line)))
        break;
    }
    if (m_error.empty())
      Finish();
    *error = m_error;
    return m_error.empty();
  }

 private:
  enum class Section { kProvider, kGroup, kItem };

  bool Fail(int line, const std::string& message) {
    if (m_error.empty())
      m_error = m_path + (line > 0 ? ":" + std::to_string(line) : "") + ": " + message;
    return false;
  }

  std::string Resolve(std::string_view file) const {
    const std::filesystem::path path = PathFromUtf8(file);
    return Utf8FromPath(path.is_absolute() ? path : m_folder / path);
  }

  bool ParseLine(std::string_view line) {
    if (line.empty() || line.front() == '#' || line.front() == ';')
      return true;
    if (line.front() == '[')
      return ParseSectionHeader(line);
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
      return Fail(m_line, "expected 'key = value' or a [group \"name\"] or [item \"name\"] line");
    const std::string key(Trim(line.substr(0, equals)));
    const std::string_view value = Trim(line.substr(equals + 1));
    if (key.empty())
      return Fail(m_line, "a key is missing before '='");
    for (const auto& [seen_key, seen_line] : m_seenKeys) {
      if (seen_key == key) {
        return Fail(m_line, "'" + key + "' is given twice in this section (first on line " +
                                std::to_string(seen_line) + ")");
      }
    }
    m_seenKeys.emplace_back(key, m_line);
    switch (m_section) {
      case Section::kProvider:
        return ProviderKey(key, value);
      case Section::kGroup:
        return Fail(m_line, "unknown key '" + key +
                                "': a [group] section takes no keys; its items follow "
                                "in [item \"name\"] sections");
      case Section::kItem:
        return ItemKey(key, value);
    }
    return false;
  }

  bool ParseSectionHeader(std::string_view line) {
    const std::string_view usage = "write [group \"name\"] or [item \"name\"]";
    if (line.back() != ']')
      return Fail(m_line, "a section header ends with ']'; " + std::string(usage));
    const std::string_view inside = Trim(line.substr(1, line.size() - 2));
    const std::size_t kind_end = inside.find_first_of(" \t\"");
    const std::string_view kind = inside.substr(0, kind_end);
    const std::string_view quoted =
        kind_end == std::string_view::npos ? std::string_view() : Trim(inside.substr(kind_end));
    if (kind != "group" && kind != "item")
      return Fail(m_line, "unknown section '" + std::string(kind) + "'; " + std::string(usage));
    if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"')
      return Fail(m_line, "the " + std::string(kind) + " name goes in double quotes; " +
                              std::string(usage));
    const std::string_view name = quoted.substr(1, quoted.size() - 2);
    std::string error;
    if (!CheckText(std::string(kind) + " name", name, kNameLimit, false, &error))
      return Fail(m_line, error);
    if (!FinishItem())
      return false;
    m_seenKeys.clear();
    return kind == "group" ? StartGroup(name) : StartItem(name);
  }

  bool StartGroup(std::string_view name) {
    for (const ManifestGroup& group : m_manifest->groups) {
      if (group.name == name) {
        return Fail(m_line, "group \"" + group.name + "\" is already defined on line " +
                                std::to_string(group.line));
      }
    }
    m_manifest->groups.push_back({m_line, std::string(name), {}});
    m_section = Section::kGroup;
    return true;
  }

  bool StartItem(std::string_view name) {
    if (m_manifest->groups.empty())
      return Fail(m_line, "an [item] section must follow the [group] it belongs to");
    ManifestGroup& group = m_manifest->groups.back();
    for (const ManifestItem& item : group.items) {
      if (item.name == name) {
        return Fail(m_line, "item \"" + item.name + "\" is already in group \"" + group.name +
                                "\" on line " + std::to_string(item.line));
      }
    }
    ManifestItem item;
    item.line = m_line;
    item.name = name;
    group.items.push_back(std::move(item));
    m_section = Section::kItem;
    return true;
  }

  // Fills in what the current item left out, once its section ends.
  bool FinishItem() {
    if (m_section != Section::kItem)
      return true;
    ManifestItem& item = m_manifest->groups.back().items.back();
    if (item.number < 0)
      return Fail(item.line, "item \"" + item.name + "\" has no number");
    if (item.file.empty()) {
      item.file = Resolve(item.name);
      item.file_line = item.line;
    }
    if (!m_hasLocation) {
      if (!IsSafeLocation(item.name)) {
        return Fail(item.line,
                    "item \"" + item.name + "\" needs a location: its name cannot serve as one");
      }
      item.location = item.name;
    }
    m_hasLocation = false;
    return true;
  }

  bool Finish() {
    if (!FinishItem())
      return false;
    if (m_manifest->name.empty())
      return Fail(0, "the provider's name is missing: add 'name = ...' before the sections");
    if (m_manifest->key_file.empty())
      return Fail(0, "the key file is missing: add 'key = FILE' before the sections");
    return true;
  }

  bool Number(std::string_view key, std::string_view value, int low, int high,
              std::int32_t* field) {
    int number = 0;
    if (!ParseNumber(value, low, high, &number)) {
      return Fail(m_line, std::string(key) + " must be a whole number from " + std::to_string(low) +
                              " to " + std::to_string(high) + ", not '" + std::string(value) + "'");
    }
    *field = number;
    return true;
  }

  bool Date(std::string_view key, std::string_view value, std::optional<CivilDate>* field) {
    CivilDate date;
    if (!ParseDate(value, &date)) {
      return Fail(m_line, std::string(key) + " must be a date written YYYY-MM-DD or D/M/YYYY " +
                              "(1970 to 2037), not '" + std::string(value) + "'");
    }
    *field = date;
    return true;
  }

  bool Text(std::string_view key, std::string_view value, std::size_t limit, bool allow_empty,
            std::string* field) {
    std::string error;
    if (!CheckText(key, value, limit, allow_empty, &error))
      return Fail(m_line, error);
    *field = value;
    return true;
  }

  bool ProviderKey(const std::string& key, std::string_view value) {
    SiteManifest& m = *m_manifest;
    if (key == "name")
      return Text(key, value, kNameLimit, false, &m.name);
    if (key == "key") {
      if (value.empty())
        return Fail(m_line, "key is empty");
      m.key_file = Resolve(value);
      return true;
    }
    if (key == "key-id")
      return Number(key, value, 0, kMaxNumber, &m.key_id);
    if (key == "check-interval")
      return Number(key, value, 0, kMaxInterval, &m.check_interval);
    if (key == "list-date")
      return Date(key, value, &m.list_date);
    if (key == "key-made") {
      m.key_made_line = m_line;
      return Date(key, value, &m.key_made);
    }
    if (key == "address")
      return Text(key, value, 0, false, &m.address);
    return Fail(m_line, "unknown key '" + key +
                            "' (before the first section: name, key, key-id, check-interval, "
                            "list-date, key-made, address)");
  }

  bool ItemKey(const std::string& key, std::string_view value) {
    ManifestItem& item = m_manifest->groups.back().items.back();
    if (key == "file") {
      if (value.empty())
        return Fail(m_line, "file is empty");
      item.file = Resolve(value);
      item.file_line = m_line;
      return true;
    }
    if (key == "number") {
      if (!Number(key, value, 0, kMaxNumber, &item.number))
        return false;
      const auto [it, added] = m_numbers.emplace(item.number, std::make_pair(item.name, m_line));
      if (!added) {
        return Fail(m_line, "number " + std::to_string(item.number) +
                                " is already used by item \"" + it->second.first + "\" on line " +
                                std::to_string(it->second.second) +
                                "; each item needs its own, as it names the item's files");
      }
      return true;
    }
    if (key == "location") {
      if (!Text(key, value, kNameLimit, false, &item.location))
        return false;
      if (!IsSafeLocation(item.location)) {
        return Fail(m_line, "location must be a relative path without '..' (clients refuse '" +
                                item.location + "')");
      }
      m_hasLocation = true;
      return true;
    }
    if (key == "description")
      return Text(key, value, kDescriptionLimit, true, &item.description);
    if (key == "date")
      return Date(key, value, &item.date);
    if (key == "stamp") {
      std::int32_t stamp = 0;
      if (!Number(key, value, 1, kMaxNumber, &stamp))
        return false;
      item.stamp = stamp;
      return true;
    }
    if (key == "condition") {
      std::string error;
      if (!CanonicalCondition(value, &item.condition, &error))
        return Fail(m_line, "bad condition: " + error);
      return true;
    }
    return Fail(m_line, "unknown key '" + key +
                            "' (an item takes file, number, location, description, date, "
                            "stamp, condition)");
  }

  const std::string m_path;
  const std::filesystem::path m_folder;
  SiteManifest* m_manifest;
  std::string m_error;
  int m_line = 0;
  Section m_section = Section::kProvider;
  std::vector<std::pair<std::string, int>> m_seenKeys;  // of the current section
  bool m_hasLocation = false;                           // of the current item
  std::map<std::int32_t, std::pair<std::string, int>> m_numbers;
};

}  // namespace

bool ParseManifest(const std::string& path, std::string_view text, SiteManifest* manifest,
                   std::string* error) {
  *manifest = SiteManifest();
  ManifestParser parser(path, manifest);
  return parser.Parse(text, error);
}

}  // namespace gantrell::publish
