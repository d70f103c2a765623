// A combination of other conditions ("CP"): all of them, any of them, or an
// even number of them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "conditions/condition.h"

namespace gantrell {

class CCompoundCondition : public CCondition {
 public:
  // Combinations (`m_nCombination`); any other value acts as kAllOf.
  static constexpr std::int32_t kAllOf = 0;
  static constexpr std::int32_t kAnyOf = 1;
  static constexpr std::int32_t kParity = 2;

  // Most compounds that may nest inside each other, the outermost counted.
  // A compound read deeper than this is read past up to its END and
  // dropped, with everything inside it, so that hostile input cannot exhaust
  // the stack when the condition is read, written, copied or evaluated; the
  // outermost Parse then returns false, so the whole condition is taken as
  // unreadable rather than as holding without the dropped part.
  static constexpr int kMaxNesting = 64;

  CCompoundCondition() = default;
  CCompoundCondition(const CCompoundCondition&) = delete;
  CCompoundCondition& operator=(const CCompoundCondition&) = delete;
  // Destroys the members without recursing into nested compounds.
  ~CCompoundCondition() override;

  // Evaluates every member once, in order, with no short cut, and combines
  // the results: kAllOf holds when all hold (also when there are none),
  // kAnyOf when at least one holds (not when there are none), kParity when
  // an even number hold (none included). Negated only when `m_nInvert` is
  // exactly 1.
  bool Evaluate(const ConditionEnv& env) const override;

  // Reads the keys NME, CPT and INV and the members, each introduced by its
  // kind keyword in the place of a key and closed by its own END, up to the
  // compound's END. Unknown keys are skipped with their values. A member of
  // a kind this client does not know (a keyword in the place of a key,
  // followed by the key NME) is read past up to its own END. False when the
  // input ends first, a member could not be read whole or is of an unknown
  // kind, or members nest deeper than kMaxNesting; except when the input
  // ended, the reader then stands just after the compound's END.
  bool Parse(CTokenReader& reader) override;

  // Writes ` CP NME "name" CPT combination INV invert `, then each member's
  // text in order, then `END `.
  void Write(std::ostream& out) const override;

  // A copy with a copy of each member, in order.
  std::unique_ptr<CCondition> Clone() const override;

  std::int32_t m_nCombination = kAllOf;
  std::int32_t m_nInvert = 0;
  std::vector<std::unique_ptr<CCondition>> m_members;  // in the order read

 private:
  // `depth` is this compound's nesting level, 1 for the outermost.
  bool ParseAtDepth(CTokenReader& reader, int depth);
};

}  // namespace gantrell
