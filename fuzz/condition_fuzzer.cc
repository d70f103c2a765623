// The condition parser on any text, then writing, cloning, comparing and
// evaluating what it made against an empty registry.
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "conditions/condition.h"
#include "model/token_reader.h"
#include "platform/os_version.h"
#include "platform/registry.h"

namespace {

class EmptyRegistry : public gantrell::Registry {
 public:
  bool KeyExists(gantrell::RegRoot, std::string_view) const override { return false; }
  bool QueryValue(gantrell::RegRoot, std::string_view, std::string_view,
                  gantrell::RegValue*) const override {
    return false;
  }
  bool SetValue(gantrell::RegRoot, std::string_view, std::string_view, const gantrell::RegValue&,
                std::string*) override {
    return false;
  }
  bool DeleteValue(gantrell::RegRoot, std::string_view, std::string_view, std::string*) override {
    return false;
  }
};

class FixedVersion : public gantrell::OsVersion {
 public:
  bool Query(gantrell::OsVersionInfo* info) const override {
    *info = {gantrell::kVerPlatformWin32Windows, 4, 10, (4u << 24) | (10u << 16) | 1998u};
    return true;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace gantrell;
  CStringTokenReader reader(std::string(reinterpret_cast<const char*>(data), size));
  std::string kind;
  if (!reader.ReadToken(&kind, 20))
    return 0;
  std::unique_ptr<CCondition> condition = CreateCondition(kind);
  if (condition == nullptr)
    return 0;
  condition->Parse(reader);

  std::ostringstream written;
  condition->Write(written);
  std::unique_ptr<CCondition> clone = condition->Clone();
  if (!ConditionsEqual(*condition, *clone))
    std::abort();

  // What was written reads back to an equal condition.
  CStringTokenReader reread(written.str());
  std::string kind_again;
  if (!reread.ReadToken(&kind_again, 20) || kind_again != kind)
    std::abort();
  std::unique_ptr<CCondition> again = CreateCondition(kind_again);
  again->Parse(reread);
  if (!ConditionsEqual(*condition, *again))
    std::abort();

  EmptyRegistry registry;
  FixedVersion version;
  const ConditionEnv env{registry, version};
  if (condition->Evaluate(env) != clone->Evaluate(env))
    std::abort();
  return 0;
}
