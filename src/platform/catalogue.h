// The message catalogue: translations of the program's English texts, read
// from a compiled message file (.mo) in the user's language.
//
// Texts are marked in the source with Tr("English text"), TrN("one item",
// "%1 items", n) and, for texts kept in tables, TrNoop("...") (which only
// marks; the table's user calls Tr on the text when showing it). The marks
// are what the extraction into po/gantrell.pot looks for. Placeholders are
// %1 to %9, filled in by Subst, so that a translation may put them in
// another order. Without a catalogue, or for a text the catalogue does not
// hold, the English text is returned unchanged.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gantrell {

struct PluralRule;

// A compiled message file. Immutable once loaded, so any thread may read it.
class CCatalogue {
 public:
  // Reads a .mo image (either byte order). Returns false, with *error
  // saying why, for an image that is malformed in any way (offsets out of
  // range, a string without its terminator, a plural rule that does not
  // parse); the catalogue is then left empty.
  bool Load(std::string_view image, std::string* error);

  // The translation of `msgid`, or nullptr when the catalogue has none
  // (or only an empty one).
  const std::string* Find(std::string_view msgid) const;

  // The plural form of (`one`, `many`) for count n, chosen by the
  // catalogue's plural rule; nullptr when it has none.
  const std::string* FindPlural(std::string_view one, std::uint64_t n) const;

  std::size_t size() const { return entries_.size(); }

 private:
  struct Entry {
    std::vector<std::string> forms;  // one, or one per plural form
  };
  std::unordered_map<std::string, Entry> entries_;
  std::shared_ptr<const PluralRule> plural_;
  unsigned plural_count_ = 2;
};

// Evaluates a gettext plural rule ("n != 1", "n==1 ? 0 : n%10>=2 && ...")
// for n. Returns false when the rule does not parse (or is too deep); a
// division by zero gives 0 rather than a crash.
bool EvaluatePluralRule(std::string_view rule, std::uint64_t n, std::uint64_t* value);

// The languages to look for, best first, from the environment as given by
// `get` (which returns nullptr for an unset variable): LANGUAGE (a colon
// list), else LC_ALL, LC_MESSAGES, LANG. Each entry gives its full name
// without codeset and modifier ("de_AT.UTF-8@euro" gives "de_AT") and then
// its language alone ("de"). A "C" or "POSIX" entry means English: the list
// stops there.
std::vector<std::string> LanguagesFromEnvironment(const char* (*get)(const char* name));

// The user's languages on this system, best first (locale_posix.cc,
// locale_win32.cc); empty for English.
std::vector<std::string> UserLanguages();

// Finds and installs the catalogue `domain`.mo of the first of the user's
// languages that has one. The folders searched, in order: $GANTRELL_LOCALEDIR
// when set, the installed share/locale beside the program, and the locale
// folder of a build tree. Call once at start, before other threads run.
// Returns the language used, or "" for English.
std::string InstallUserCatalogue(std::string_view domain);

// Makes `catalogue` the one Tr reads (nullptr: none, English). For start-up
// and tests; not safe while other threads translate.
void SetCatalogue(std::unique_ptr<CCatalogue> catalogue);

// The translation of `text` in the installed catalogue, or `text` itself.
std::string Tr(std::string_view text);

// The form of `one`/`many` for count n ("%1" in it is not filled in: pass
// the result to Subst). English: `one` for n == 1, `many` otherwise.
std::string TrN(std::string_view one, std::string_view many, std::uint64_t n);

// Marks a text for the catalogue without translating it (tables).
constexpr const char* TrNoop(const char* text) {
  return text;
}

// `text` with %1 ... %9 replaced by the arguments (a placeholder without
// an argument stays as it is, and so does any other "%"). Arguments are
// not scanned again.
std::string Subst(std::string_view text, std::initializer_list<std::string_view> args);

}  // namespace gantrell
