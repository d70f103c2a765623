// Machine conditions: tests an item carries to say on which machines it is
// suitable. Each kind reads and writes its own text inside the control file
// and the provider store, and evaluates against the registry and the system
// version.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <string_view>

namespace gantrell {

class CTokenReader;
class OsVersion;
class Registry;

// What a condition may ask about this machine. Both are borrowed.
struct ConditionEnv {
  const Registry& registry;
  const OsVersion& os_version;
};

class CCondition {
 public:
  virtual ~CCondition() = default;

  // Whether the condition holds on this machine now. Failures of the
  // registry or the version query count as "does not hold" before any
  // inversion. Keeps no state, so several threads may evaluate at once.
  virtual bool Evaluate(const ConditionEnv& env) const = 0;

  // Reads the condition's fields from `reader`, which stands just after the
  // kind keyword, up to and including the condition's closing END. Unknown
  // keys are skipped and bad numbers keep the old value. Returns false when
  // the condition could not be read whole: the input ended before its END,
  // or it nests deeper than the reader follows. The fields read so far stay,
  // but such a condition says nothing reliable about the machine, and the
  // caller puts MakeUnreadableCondition() in its place.
  virtual bool Parse(CTokenReader& reader) = 0;

  // Appends the condition's text, starting with a blank and the kind
  // keyword, as the store and the control file hold it.
  virtual void Write(std::ostream& out) const = 0;

  // A deep copy of the same kind.
  virtual std::unique_ptr<CCondition> Clone() const = 0;

  // The publisher's label; never used in evaluation.
  std::string m_strName;
};

// A new condition of the kind named by `keyword` ("NULL", "REG", "CP",
// "WINV", compared exactly), with default fields; none for any other text.
std::unique_ptr<CCondition> CreateCondition(std::string_view keyword);

// A condition that never holds, for an item whose condition could not be
// read whole (an unknown kind, a nest too deep, input cut short): such an
// item must not be offered as suitable for this machine. It is an any-of
// compound without members, which every reader takes for "never holds", so
// it stays that way when the item is written to the store and read back.
std::unique_ptr<CCondition> MakeUnreadableCondition();

// True when both are of the same kind with the same fields, compounds with
// equal members in the same order.
bool ConditionsEqual(const CCondition& a, const CCondition& b);

}  // namespace gantrell
