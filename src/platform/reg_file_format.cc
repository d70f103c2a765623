#include "platform/reg_file_format.h"
#include "platform/catalogue.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace gantrell {
namespace {

constexpr std::array<RegRoot, 7> kAllRoots = {
    RegRoot::kClassesRoot,     RegRoot::kCurrentUser,   RegRoot::kLocalMachine, RegRoot::kUsers,
    RegRoot::kPerformanceData, RegRoot::kCurrentConfig, RegRoot::kDynData,
};

// Lines of hex data are broken before they would pass this width, the
// trailing backslash not counted.
constexpr std::size_t kHexLineWidth = 78;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) {
    s.remove_prefix(1);
  }
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && IsBlank(s.back())) {
    s.remove_suffix(1);
  }
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  return -1;
}

// A number of 1 to 8 hex digits, the whole of `s`.
bool ParseHexNumber(std::string_view s, std::uint32_t* number) {
  if (s.empty() || s.size() > 8) {
    return false;
  }
  std::uint32_t result = 0;
  for (char c : s) {
    int digit = HexDigit(c);
    if (digit < 0) {
      return false;
    }
    result = result << 4 | static_cast<std::uint32_t>(digit);
  }
  *number = result;
  return true;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && NamesEqual(s.substr(0, prefix.size()), prefix);
}

// Reads a quoted string at the start of *s (which begins with the opening
// quote) and removes it from *s. False when the closing quote is missing.
bool ReadQuoted(std::string_view* s, std::string* out) {
  out->clear();
  for (std::size_t i = 1; i < s->size(); ++i) {
    char c = (*s)[i];
    if (c == '"') {
      s->remove_prefix(i + 1);
      return true;
    }
    if (c == '\\' && i + 1 < s->size() && ((*s)[i + 1] == '\\' || (*s)[i + 1] == '"')) {
      ++i;
      c = (*s)[i];
    }
    out->push_back(c);
  }
  return false;
}

// True when a value line's data is hex bytes, which alone may be continued
// on the next line.
bool HasHexData(std::string_view line) {
  std::string name;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (!ReadQuoted(&line, &name)) {
    return false;
  }
  line = TrimLeft(line);
  if (line.empty() || line.front() != '=') {
    return false;
  }
  return StartsWithNoCase(TrimLeft(line.substr(1)), "hex");
}

// Comma-separated bytes of one or two hex digits; blanks around them and one
// trailing comma are allowed.
bool ParseHexBytes(std::string_view s, std::vector<std::uint8_t>* bytes) {
  bytes->clear();
  s = TrimRight(TrimLeft(s));
  while (!s.empty()) {
    std::size_t comma = s.find(',');
    std::string_view token = TrimRight(TrimLeft(s.substr(0, comma)));
    std::uint32_t byte = 0;
    if (token.size() > 2 || !ParseHexNumber(token, &byte)) {
      return false;
    }
    bytes->push_back(static_cast<std::uint8_t>(byte));
    if (comma == std::string_view::npos) {
      break;
    }
    s = TrimLeft(s.substr(comma + 1));
  }
  return true;
}

void AppendQuoted(std::string_view text, std::string* out) {
  out->push_back('"');
  for (char c : text) {
    if (c == '\\' || c == '"') {
      out->push_back('\\');
    }
    out->push_back(c);
  }
  out->push_back('"');
}

// True when the value can be written as a quoted string and read back to the
// same bytes.
bool IsPlainText(const RegValue& value) {
  if (value.type != kRegSz || value.data.empty() || value.data.back() != 0) {
    return false;
  }
  for (std::size_t i = 0; i + 1 < value.data.size(); ++i) {
    std::uint8_t byte = value.data[i];
    if (byte == 0 || byte == '\r' || byte == '\n') {
      return false;
    }
  }
  return true;
}

void AppendHexData(const RegValue& value, std::string* out) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string line;
  if (value.type == kRegBinary) {
    line = "hex:";
  } else {
    char type[16];
    std::snprintf(type, sizeof type, "hex(%x):", static_cast<unsigned>(value.type));
    line = type;
  }
  // The current physical line is the part of *out after line_start followed
  // by `line`; line_start begins where the value's name was written.
  std::size_t line_start = out->rfind('\n') + 1;  // 0 when there is no line break yet
  bool line_has_bytes = false;
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    std::string piece{kDigits[value.data[i] >> 4], kDigits[value.data[i] & 0xf]};
    if (i + 1 < value.data.size()) {
      piece.push_back(',');
    }
    std::size_t width = (out->size() - line_start) + line.size();
    if (line_has_bytes && width + piece.size() > kHexLineWidth) {
      *out += line;
      *out += "\\\n";
      line_start = out->size();
      line = "  ";
      line_has_bytes = false;
    }
    line += piece;
    line_has_bytes = true;
  }
  *out += line;
}

struct ParseState {
  std::string_view file_name;
  RegDocument* document = nullptr;
  std::string* error = nullptr;
  std::optional<RegRoot> root;  // the current section, if any
  std::string path;
  bool section_deleted = false;
  // Comment lines not yet given to the key or value they stand before.
  std::vector<std::string> comments;

  void GiveComments(std::vector<std::string>* to) {
    to->insert(to->end(), comments.begin(), comments.end());
    comments.clear();
  }

  bool Fail(std::size_t line, std::string_view problem) {
    *error = std::string(file_name) + ":" + std::to_string(line) + ": " + std::string(problem);
    return false;
  }
};

bool ParseSection(std::string_view line, std::size_t number, ParseState* state) {
  std::size_t close = line.rfind(']');
  if (close == std::string_view::npos || !TrimLeft(line.substr(close + 1)).empty()) {
    return state->Fail(number, Tr("a key line must end with \"]\""));
  }
  std::string_view name = line.substr(1, close - 1);
  bool deletion = !name.empty() && name.front() == '-';
  if (deletion) {
    name.remove_prefix(1);
  }
  std::size_t slash = name.find('\\');
  std::optional<RegRoot> root = ParseRegRootName(name.substr(0, slash));
  if (!root) {
    return state->Fail(
        number, Subst(Tr("unknown registry root \"%1\""), {std::string(name.substr(0, slash))}));
  }
  std::string_view path = slash == std::string_view::npos ? "" : name.substr(slash + 1);
  if (slash != std::string_view::npos && (path.empty() || !IsValidKeyPath(path))) {
    return state->Fail(number, Subst(Tr("invalid key path \"%1\""), {std::string(name)}));
  }
  state->root = root;
  state->path = std::string(path);
  state->section_deleted = deletion;
  if (deletion) {
    state->document->DeleteKeyTree(*root, path);
  } else {
    const bool first_section = state->document->empty();
    RegDocumentKey* key = state->document->AddKey(*root, path);
    if (key->line == 0) {
      key->line = static_cast<int>(number);
      // Comments before the first key are the file's own; those before a
      // later key describe it. Before a repeated section they wait for its
      // first value.
      state->GiveComments(first_section ? &state->document->leading_comments : &key->comments);
    }
  }
  return true;
}

// `text` is the value line with its continuation lines joined.
bool ParseValue(std::string_view text, std::size_t number, ParseState* state) {
  if (!state->root || state->section_deleted) {
    return state->Fail(number,
                       Tr("a value must follow a key line such as [HKEY_CURRENT_USER\\Software]"));
  }
  std::string name;
  if (text.front() == '@') {
    text.remove_prefix(1);
  } else if (!ReadQuoted(&text, &name)) {
    return state->Fail(number, Tr("the value name has no closing quote"));
  }
  text = TrimLeft(text);
  if (text.empty() || text.front() != '=') {
    return state->Fail(number, Tr("expected \"=\" after the value name"));
  }
  text = TrimRight(TrimLeft(text.substr(1)));
  RegValue value;
  if (!text.empty() && text.front() == '"') {
    std::string data;
    if (!ReadQuoted(&text, &data)) {
      return state->Fail(number, Tr("the value has no closing quote"));
    }
    if (!TrimLeft(text).empty()) {
      return state->Fail(number, Tr("unexpected text after the quoted value"));
    }
    value = RegValue::Text(data);
  } else if (text == "-") {
    state->document->DeleteValue(*state->root, state->path, name);
    return true;
  } else if (StartsWithNoCase(text, "dword:")) {
    std::uint32_t number_value = 0;
    if (!ParseHexNumber(TrimLeft(text.substr(6)), &number_value)) {
      return state->Fail(number, Tr("dword: needs 1 to 8 hex digits"));
    }
    value = RegValue::Dword(number_value);
  } else if (StartsWithNoCase(text, "hex:")) {
    value.type = kRegBinary;
    text.remove_prefix(4);
    if (!ParseHexBytes(text, &value.data)) {
      return state->Fail(number, Tr("hex data must be comma-separated bytes such as 0a,ff"));
    }
  } else if (StartsWithNoCase(text, "hex(")) {
    std::size_t close = text.find("):");
    if (close == std::string_view::npos ||
        !ParseHexNumber(text.substr(4, close - 4), &value.type)) {
      return state->Fail(number, Tr("hex(N): needs a hex type number N"));
    }
    if (!ParseHexBytes(text.substr(close + 2), &value.data)) {
      return state->Fail(number, Tr("hex data must be comma-separated bytes such as 0a,ff"));
    }
  } else {
    return state->Fail(number,
                       Tr("unknown value data; expected \"text\", dword:, hex: or hex(N):"));
  }
  state->GiveComments(&state->document->SetValue(*state->root, state->path, name, value)->comments);
  return true;
}

}  // namespace

std::optional<RegRoot> ParseRegRootName(std::string_view name) {
  for (RegRoot root : kAllRoots) {
    if (NamesEqual(name, RegRootName(root))) {
      return root;
    }
  }
  return std::nullopt;
}

bool ParseRegFile(std::string_view text, std::string_view file_name, RegDocument* document,
                  std::string* error) {
  *document = RegDocument();
  ParseState state;
  state.file_name = file_name;
  state.document = document;
  state.error = error;
  if (text.starts_with("\xff\xfe") || text.starts_with("\xfe\xff")) {
    return state.Fail(1,
                      Tr("the file is UTF-16 text; save it as single-byte (ANSI or UTF-8) text"));
  }
  if (text.starts_with("\xef\xbb\xbf")) {
    text.remove_prefix(3);
  }
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    lines.push_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  std::size_t first = 0;
  while (first < lines.size() && TrimRight(TrimLeft(lines[first])).empty()) {
    ++first;
  }
  if (first == lines.size()) {
    return true;  // nothing but blank lines: an empty store
  }
  std::string_view header = TrimRight(lines[first]);
  if (header != kRegFileHeader && header != "REGEDIT4") {
    return state.Fail(first + 1,
                      Subst(Tr("the first line must be \"%1\""), {std::string(kRegFileHeader)}));
  }
  for (std::size_t i = first + 1; i < lines.size(); ++i) {
    std::size_t number = i + 1;
    std::string_view line = TrimRight(TrimLeft(lines[i]));
    if (line.empty()) {
      continue;
    }
    if (line.front() == ';') {
      state.comments.emplace_back(line);
      continue;
    }
    if (line.front() == '[') {
      if (!ParseSection(line, number, &state)) {
        return false;
      }
      continue;
    }
    if (line.front() != '"' && line.front() != '@') {
      return state.Fail(number, Tr("expected a key line \"[...]\" or a value line \"name\"=..."));
    }
    // Hex data may go on over several lines, each but the last ending in "\".
    std::string joined(line);
    while (!joined.empty() && joined.back() == '\\' && HasHexData(joined)) {
      joined.pop_back();
      if (++i == lines.size()) {
        return state.Fail(number, Tr("the file ends inside a value continued with \"\\\""));
      }
      joined += TrimRight(TrimLeft(lines[i]));
    }
    if (!ParseValue(joined, number, &state)) {
      return false;
    }
  }
  state.GiveComments(&document->trailing_comments);
  return true;
}

namespace {

void AppendComments(const std::vector<std::string>& comments, std::string* out) {
  for (const std::string& comment : comments) {
    *out += comment;
    *out += '\n';
  }
}

}  // namespace

std::string SerializeRegFile(const RegDocument& document) {
  std::string out(kRegFileHeader);
  out += "\n\n";
  if (!document.leading_comments.empty()) {
    AppendComments(document.leading_comments, &out);
    out += '\n';
  }
  for (const RegDocumentKey& key : document.keys()) {
    AppendComments(key.comments, &out);
    out += '[';
    out += RegRootName(key.root);
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\n";
    for (const RegDocumentValue& entry : key.values) {
      AppendComments(entry.comments, &out);
      if (entry.name.empty()) {
        out += '@';
      } else {
        AppendQuoted(entry.name, &out);
      }
      out += '=';
      const RegValue& value = entry.value;
      if (IsPlainText(value)) {
        AppendQuoted(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                      value.data.size() - 1),
                     &out);
      } else if (value.type == kRegDword && value.data.size() == 4) {
        char digits[16];
        std::uint32_t number = value.data[0] | value.data[1] << 8 | value.data[2] << 16 |
                               static_cast<std::uint32_t>(value.data[3]) << 24;
        std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<unsigned>(number));
        out += digits;
      } else {
        AppendHexData(value, &out);
      }
      out += '\n';
    }
    AppendComments(key.trailing_comments, &out);
    out += '\n';
  }
  AppendComments(document.trailing_comments, &out);
  return out;
}

}  // namespace gantrell
