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
  // kind keyword, up to and including the condition's closing END. Never
  // fails: unknown keys are skipped, bad numbers keep the old value, and an
  // early end of input keeps what was read.
  virtual void Parse(CTokenReader& reader) = 0;

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

// True when both are of the same kind with the same fields, compounds with
// equal members in the same order.
bool ConditionsEqual(const CCondition& a, const CCondition& b);

}  // namespace gantrell
