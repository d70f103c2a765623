#include "platform/catalogue.h"

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "gantrell_install_layout.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"
#include "platform/open_file.h"
#include "platform/process.h"

namespace gantrell {

// A parsed plural rule: a tree of nodes in one vector, the root last.
struct PluralRule {
  enum class Op {
    kN,
    kNumber,
    kNot,
    kMul,
    kDiv,
    kMod,
    kAdd,
    kSub,
    kLess,
    kGreater,
    kLessEqual,
    kGreaterEqual,
    kEqual,
    kNotEqual,
    kAnd,
    kOr,
    kChoice
  };
  struct Node {
    Op op;
    std::uint64_t number = 0;
    int a = -1, b = -1, c = -1;
  };
  std::vector<Node> nodes;

  std::uint64_t Evaluate(int at, std::uint64_t n) const {
    const Node& node = nodes[static_cast<std::size_t>(at)];
    switch (node.op) {
      case Op::kN:
        return n;
      case Op::kNumber:
        return node.number;
      case Op::kNot:
        return Evaluate(node.a, n) == 0;
      case Op::kChoice:
        return Evaluate(node.a, n) != 0 ? Evaluate(node.b, n) : Evaluate(node.c, n);
      case Op::kAnd:
        return Evaluate(node.a, n) != 0 && Evaluate(node.b, n) != 0;
      case Op::kOr:
        return Evaluate(node.a, n) != 0 || Evaluate(node.b, n) != 0;
      default:
        break;
    }
    const std::uint64_t x = Evaluate(node.a, n);
    const std::uint64_t y = Evaluate(node.b, n);
    switch (node.op) {
      case Op::kMul:
        return x * y;
      case Op::kDiv:
        return y == 0 ? 0 : x / y;
      case Op::kMod:
        return y == 0 ? 0 : x % y;
      case Op::kAdd:
        return x + y;
      case Op::kSub:
        return x - y;
      case Op::kLess:
        return x < y;
      case Op::kGreater:
        return x > y;
      case Op::kLessEqual:
        return x <= y;
      case Op::kGreaterEqual:
        return x >= y;
      case Op::kEqual:
        return x == y;
      case Op::kNotEqual:
        return x != y;
      default:
        return 0;
    }
  }
};

namespace {

// Recursive descent over the C subset that plural rules use, with the C
// precedences. Depth and size are bounded: a rule comes from a file.
class RuleParser {
 public:
  explicit RuleParser(std::string_view text) : text_(text) {}

  bool Parse(PluralRule* rule) {
    rule_ = rule;
    const int root = Choice();
    Skip();
    if (root < 0 || at_ != text_.size())
      return false;
    // The root is evaluated from its index; keep it findable as the last.
    rule_->nodes.push_back(rule_->nodes[static_cast<std::size_t>(root)]);
    return true;
  }

 private:
  static constexpr int kMaxDepth = 40;
  static constexpr std::size_t kMaxNodes = 400;

  void Skip() {
    while (at_ < text_.size() &&
           (text_[at_] == ' ' || text_[at_] == '\t' || text_[at_] == '\n' || text_[at_] == '\r'))
      ++at_;
  }
  bool Take(std::string_view token) {
    Skip();
    if (text_.substr(at_, token.size()) != token)
      return false;
    at_ += token.size();
    return true;
  }
  int Add(PluralRule::Op op, int a = -1, int b = -1, int c = -1, std::uint64_t number = 0) {
    if (rule_->nodes.size() >= kMaxNodes)
      return -1;
    rule_->nodes.push_back({op, number, a, b, c});
    return static_cast<int>(rule_->nodes.size() - 1);
  }

  int Choice() {
    if (++depth_ > kMaxDepth)
      return -1;
    int condition = Or();
    if (condition >= 0 && Take("?")) {
      const int yes = Choice();
      if (yes < 0 || !Take(":"))
        return -1;
      const int no = Choice();
      condition = no < 0 ? -1 : Add(PluralRule::Op::kChoice, condition, yes, no);
    }
    --depth_;
    return condition;
  }
  int Or() {
    int left = And();
    while (left >= 0 && Take("||")) {
      const int right = And();
      left = right < 0 ? -1 : Add(PluralRule::Op::kOr, left, right);
    }
    return left;
  }
  int And() {
    int left = Equality();
    while (left >= 0 && Take("&&")) {
      const int right = Equality();
      left = right < 0 ? -1 : Add(PluralRule::Op::kAnd, left, right);
    }
    return left;
  }
  int Equality() {
    int left = Relation();
    while (left >= 0) {
      PluralRule::Op op;
      if (Take("=="))
        op = PluralRule::Op::kEqual;
      else if (Take("!="))
        op = PluralRule::Op::kNotEqual;
      else
        break;
      const int right = Relation();
      left = right < 0 ? -1 : Add(op, left, right);
    }
    return left;
  }
  int Relation() {
    int left = Sum();
    while (left >= 0) {
      PluralRule::Op op;
      if (Take("<="))
        op = PluralRule::Op::kLessEqual;
      else if (Take(">="))
        op = PluralRule::Op::kGreaterEqual;
      else if (Take("<"))
        op = PluralRule::Op::kLess;
      else if (Take(">"))
        op = PluralRule::Op::kGreater;
      else
        break;
      const int right = Sum();
      left = right < 0 ? -1 : Add(op, left, right);
    }
    return left;
  }
  int Sum() {
    int left = Product();
    while (left >= 0) {
      PluralRule::Op op;
      if (Take("+"))
        op = PluralRule::Op::kAdd;
      else if (Take("-"))
        op = PluralRule::Op::kSub;
      else
        break;
      const int right = Product();
      left = right < 0 ? -1 : Add(op, left, right);
    }
    return left;
  }
  int Product() {
    int left = Unary();
    while (left >= 0) {
      PluralRule::Op op;
      if (Take("*"))
        op = PluralRule::Op::kMul;
      else if (Take("/"))
        op = PluralRule::Op::kDiv;
      else if (Take("%"))
        op = PluralRule::Op::kMod;
      else
        break;
      const int right = Unary();
      left = right < 0 ? -1 : Add(op, left, right);
    }
    return left;
  }
  int Unary() {
    if (++depth_ > kMaxDepth)
      return -1;
    int result;
    // "!=" is not a negation.
    Skip();
    if (text_.substr(at_, 1) == "!" && text_.substr(at_, 2) != "!=") {
      ++at_;
      const int operand = Unary();
      result = operand < 0 ? -1 : Add(PluralRule::Op::kNot, operand);
    } else {
      result = Primary();
    }
    --depth_;
    return result;
  }
  int Primary() {
    Skip();
    if (Take("(")) {
      const int inner = Choice();
      return inner >= 0 && Take(")") ? inner : -1;
    }
    if (Take("n"))
      return Add(PluralRule::Op::kN);
    if (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
      std::uint64_t number = 0;
      std::size_t digits = 0;
      while (at_ < text_.size() && text_[at_] >= '0' && text_[at_] <= '9') {
        if (++digits > 9)
          return -1;
        number = number * 10 + static_cast<std::uint64_t>(text_[at_++] - '0');
      }
      return Add(PluralRule::Op::kNumber, -1, -1, -1, number);
    }
    return -1;
  }

  std::string_view text_;
  std::size_t at_ = 0;
  int depth_ = 0;
  PluralRule* rule_ = nullptr;
};

std::shared_ptr<const PluralRule> ParseRule(std::string_view text) {
  auto rule = std::make_shared<PluralRule>();
  if (!RuleParser(text).Parse(rule.get()))
    return nullptr;
  return rule;
}

std::uint64_t Apply(const PluralRule& rule, std::uint64_t n) {
  return rule.Evaluate(static_cast<int>(rule.nodes.size() - 1), n);
}

// The value of "Name: value" in a catalogue's header entry, or "".
std::string_view HeaderField(std::string_view header, std::string_view name) {
  std::size_t at = 0;
  while (at < header.size()) {
    std::size_t end = header.find('\n', at);
    if (end == std::string_view::npos)
      end = header.size();
    const std::string_view line = header.substr(at, end - at);
    if (line.size() > name.size() && line.substr(0, name.size()) == name &&
        line[name.size()] == ':')
      return line.substr(name.size() + 1);
    at = end + 1;
  }
  return {};
}

// Reads "nplurals=N; plural=EXPR;" into a count and a rule.
bool ParsePluralForms(std::string_view field, unsigned* count,
                      std::shared_ptr<const PluralRule>* rule) {
  const std::size_t counted = field.find("nplurals=");
  const std::size_t ruled =
      field.find("plural=", counted == std::string_view::npos ? 0 : counted + 9);
  if (counted == std::string_view::npos || ruled == std::string_view::npos)
    return false;
  unsigned value = 0;
  std::size_t at = counted + 9;
  while (at < field.size() && field[at] == ' ')
    ++at;
  const std::size_t first = at;
  while (at < field.size() && field[at] >= '0' && field[at] <= '9' && at - first < 3)
    value = value * 10 + static_cast<unsigned>(field[at++] - '0');
  if (at == first || value < 1 || value > 16)
    return false;
  std::string_view expression = field.substr(ruled + 7);
  if (const std::size_t end = expression.find(';'); end != std::string_view::npos)
    expression = expression.substr(0, end);
  *rule = ParseRule(expression);
  *count = value;
  return *rule != nullptr;
}

CCatalogue*& Installed() {
  static CCatalogue* catalogue = nullptr;
  return catalogue;
}

// A file's content, refused when larger than `limit`.
bool ReadSmallFile(const std::string& path, std::size_t limit, std::string* content) {
  std::ifstream in(PathFromUtf8(path), std::ios::binary);
  if (!in)
    return false;
  content->clear();
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    content->append(buffer, static_cast<std::size_t>(in.gcount()));
    if (content->size() > limit)
      return false;
  }
  return true;
}

}  // namespace

bool EvaluatePluralRule(std::string_view rule, std::uint64_t n, std::uint64_t* value) {
  const std::shared_ptr<const PluralRule> parsed = ParseRule(rule);
  if (!parsed)
    return false;
  *value = Apply(*parsed, n);
  return true;
}

bool CCatalogue::Load(std::string_view image, std::string* error) {
  entries_.clear();
  plural_ = nullptr;
  plural_count_ = 2;
  const auto fail = [&](const std::string& why) {
    entries_.clear();
    plural_ = nullptr;
    *error = why;
    return false;
  };
  if (image.size() < 28)
    return fail("too short for a message catalogue");
  const auto byte = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(image[at]));
  };
  const std::uint32_t magic_le = byte(0) | byte(1) << 8 | byte(2) << 16 | byte(3) << 24;
  bool little;
  if (magic_le == 0x950412deu)
    little = true;
  else if (magic_le == 0xde120495u)
    little = false;
  else
    return fail("not a message catalogue");
  const auto word = [&](std::uint64_t at) -> std::uint32_t {
    const std::size_t i = static_cast<std::size_t>(at);
    return little ? byte(i) | byte(i + 1) << 8 | byte(i + 2) << 16 | byte(i + 3) << 24
                  : byte(i) << 24 | byte(i + 1) << 16 | byte(i + 2) << 8 | byte(i + 3);
  };
  // Major revisions 0 and 1 share the tables read here.
  if ((word(4) >> 16) > 1)
    return fail("unknown catalogue revision");
  const std::uint64_t count = word(8);
  const std::uint64_t originals = word(12);
  const std::uint64_t translations = word(16);
  const std::uint64_t size = image.size();
  if (originals + count * 8 > size || translations + count * 8 > size)
    return fail("string tables out of range");
  // A string is (length, offset) with a NUL after its length bytes.
  const auto string_at = [&](std::uint64_t table, std::uint64_t index, std::string_view* out) {
    const std::uint64_t length = word(table + index * 8);
    const std::uint64_t offset = word(table + index * 8 + 4);
    if (offset + length >= size || image[static_cast<std::size_t>(offset + length)] != '\0')
      return false;
    *out = image.substr(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    return true;
  };
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string_view original, translation;
    if (!string_at(originals, i, &original) || !string_at(translations, i, &translation))
      return fail("string " + std::to_string(i) + " out of range");
    if (original.empty()) {
      const std::string_view forms = HeaderField(translation, "Plural-Forms");
      if (!forms.empty() && !ParsePluralForms(forms, &plural_count_, &plural_))
        return fail("unreadable Plural-Forms");
      continue;
    }
    Entry entry;
    std::size_t at = 0;
    while (true) {
      const std::size_t end = translation.find('\0', at);
      entry.forms.emplace_back(translation.substr(
          at, end == std::string_view::npos ? std::string_view::npos : end - at));
      if (end == std::string_view::npos)
        break;
      at = end + 1;
    }
    // An empty translation is an untranslated text.
    if (entry.forms.front().empty())
      continue;
    // A plural entry is keyed by its singular text.
    const std::string_view key = original.substr(0, original.find('\0'));
    entries_[std::string(key)] = std::move(entry);
  }
  return true;
}

const std::string* CCatalogue::Find(std::string_view msgid) const {
  const auto found = entries_.find(std::string(msgid));
  if (found == entries_.end())
    return nullptr;
  return &found->second.forms.front();
}

const std::string* CCatalogue::FindPlural(std::string_view one, std::uint64_t n) const {
  const auto found = entries_.find(std::string(one));
  if (found == entries_.end())
    return nullptr;
  std::uint64_t index = plural_ ? Apply(*plural_, n) : (n != 1 ? 1 : 0);
  if (index >= plural_count_)
    index = 0;
  const std::vector<std::string>& forms = found->second.forms;
  if (index >= forms.size() || forms[static_cast<std::size_t>(index)].empty())
    return nullptr;
  return &forms[static_cast<std::size_t>(index)];
}

std::vector<std::string> LanguagesFromEnvironment(const char* (*get)(const char* name)) {
  std::string list;
  if (const char* language = get("LANGUAGE"); language != nullptr && *language != '\0') {
    list = language;
  } else {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      if (const char* value = get(name); value != nullptr && *value != '\0') {
        list = value;
        break;
      }
    }
  }
  std::vector<std::string> languages;
  const auto add = [&](const std::string& name) {
    for (const std::string& known : languages) {
      if (known == name)
        return;
    }
    languages.push_back(name);
  };
  std::size_t at = 0;
  while (at <= list.size()) {
    std::size_t end = list.find(':', at);
    if (end == std::string::npos)
      end = list.size();
    std::string entry = list.substr(at, end - at);
    at = end + 1;
    entry = entry.substr(0, entry.find_first_of(".@"));
    if (entry == "C" || entry == "POSIX")
      break;
    if (entry.empty())
      continue;
    add(entry);
    if (const std::size_t territory = entry.find('_');
        territory != std::string::npos && territory > 0)
      add(entry.substr(0, territory));
  }
  return languages;
}

std::string InstallUserCatalogue(std::string_view domain) {
  std::vector<std::string> folders;
  if (std::string override_dir;
      LookUpEnvironment("GANTRELL_LOCALEDIR", &override_dir) && !override_dir.empty())
    folders.push_back(override_dir);
  if (const std::string program = ProgramPath(); !program.empty()) {
    const std::string bin = ParentFolder(program);
    folders.push_back(bin + "/" + kBinToDataDir + "/locale");
    // A build tree keeps the compiled catalogues in its share/locale, one
    // level above the programs of src/ and two above those of src/ui/.
    folders.push_back(bin + "/../share/locale");
    folders.push_back(bin + "/../../share/locale");
  }
  for (const std::string& language : UserLanguages()) {
    for (const std::string& folder : folders) {
      const std::string path =
          folder + "/" + language + "/LC_MESSAGES/" + std::string(domain) + ".mo";
      std::string image;
      if (!ReadSmallFile(path, 16 << 20, &image))
        continue;
      auto catalogue = std::make_unique<CCatalogue>();
      std::string error;
      if (!catalogue->Load(image, &error))
        continue;
      SetCatalogue(std::move(catalogue));
      return language;
    }
  }
  return std::string();
}

void SetCatalogue(std::unique_ptr<CCatalogue> catalogue) {
  delete Installed();
  Installed() = catalogue.release();
}

std::string Tr(std::string_view text) {
  if (const CCatalogue* catalogue = Installed()) {
    if (const std::string* found = catalogue->Find(text))
      return *found;
  }
  return std::string(text);
}

std::string TrN(std::string_view one, std::string_view many, std::uint64_t n) {
  if (const CCatalogue* catalogue = Installed()) {
    if (const std::string* found = catalogue->FindPlural(one, n))
      return *found;
  }
  return std::string(n == 1 ? one : many);
}

std::string Subst(std::string_view text, std::initializer_list<std::string_view> args) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] >= '1' && text[i + 1] <= '9') {
      const std::size_t index = static_cast<std::size_t>(text[i + 1] - '1');
      if (index < args.size()) {
        result += *(args.begin() + index);
        ++i;
        continue;
      }
    }
    result += text[i];
  }
  return result;
}

}  // namespace gantrell
