// Checking a machine condition that a publisher writes by hand.
#pragma once

#include <string>
#include <string_view>

namespace gantrell::publish {

// Checks `text`, one condition in the client's condition text (for example
// `WINV NME "NT only" V9X 0 VNT 0 CP9X 3 CPNT 2 INV 0 END`), and returns in
// *canonical the text the client itself writes for it, without surrounding
// blanks.
//
// The client reads conditions leniently: it skips unknown keys, keeps the
// old value for a number that does not scan and stops quietly at the end of
// the text. A slip in a hand-written condition would so change what it tests
// without a word, so this check is strict: an unknown kind or key, a
// repeated key, a number that is not a whole number, a missing END, text
// after the final END, a value longer than the client keeps or one it cannot
// carry are errors. The text is then read with the client's own parser and
// must read back unchanged from what that parser writes.
bool CanonicalCondition(std::string_view text, std::string* canonical, std::string* error);

}  // namespace gantrell::publish
