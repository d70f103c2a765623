// Helpers shared by the condition tests: a version layer with a fixed
// answer, a condition with a fixed result that counts its evaluations, and
// reading and writing condition text in one call.
#pragma once

#include <memory>
#include <sstream>
#include <string>

#include "conditions/condition.h"
#include "model/token_reader.h"
#include "platform/os_version.h"

namespace gantrell::testing {

class FixedOsVersion : public OsVersion {
 public:
  FixedOsVersion() = default;
  explicit FixedOsVersion(OsVersionInfo info) : info_(info), ok_(true) {}

  bool Query(OsVersionInfo* info) const override {
    if (ok_)
      *info = info_;
    return ok_;
  }

 private:
  OsVersionInfo info_;
  bool ok_ = false;  // default-constructed: the query fails
};

class FixedCondition : public CCondition {
 public:
  FixedCondition(bool result, int* evaluations) : result_(result), evaluations_(evaluations) {}
  bool Evaluate(const ConditionEnv&) const override {
    ++*evaluations_;
    return result_;
  }
  bool Parse(CTokenReader&) override { return true; }
  void Write(std::ostream&) const override {}
  std::unique_ptr<CCondition> Clone() const override {
    return std::make_unique<FixedCondition>(*this);
  }

 private:
  bool result_;
  int* evaluations_;
};

// Reads one condition (kind keyword first) from `text`. *rest receives the
// next token after the condition, or "<end>" when the input is used up;
// *whole what Parse returned.
inline std::unique_ptr<CCondition> ReadCondition(const std::string& text, std::string* rest,
                                                 bool* whole = nullptr) {
  CStringTokenReader reader(text);
  std::string keyword;
  if (!reader.ReadToken(&keyword, 20))
    return nullptr;
  std::unique_ptr<CCondition> condition = CreateCondition(keyword);
  const bool read_whole = condition != nullptr && condition->Parse(reader);
  if (whole != nullptr)
    *whole = read_whole;
  if (rest != nullptr && !reader.ReadToken(rest, 1000))
    *rest = "<end>";
  return condition;
}

inline std::string WriteCondition(const CCondition& condition) {
  std::ostringstream out;
  condition.Write(out);
  return out.str();
}

}  // namespace gantrell::testing
