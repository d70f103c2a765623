#include "conditions/null_condition.h"

namespace gantrell {

bool CNullCondition::Evaluate(const ConditionEnv& /*env*/) const {
  return true;
}

bool CNullCondition::Parse(CTokenReader& /*reader*/) {
  return true;
}

void CNullCondition::Write(std::ostream& out) const {
  out << " NULL ";
}

std::unique_ptr<CCondition> CNullCondition::Clone() const {
  return std::make_unique<CNullCondition>(*this);
}

}  // namespace gantrell
