// The condition that always holds ("NULL").
#pragma once

#include "conditions/condition.h"

namespace gantrell {

class CNullCondition : public CCondition {
 public:
  // Always true.
  bool Evaluate(const ConditionEnv& env) const override;
  // Reads nothing (the token after the keyword belongs to the caller) and
  // returns true.
  bool Parse(CTokenReader& reader) override;
  // Writes " NULL ": no pairs and no END.
  void Write(std::ostream& out) const override;
  std::unique_ptr<CCondition> Clone() const override;
};

}  // namespace gantrell
