// A test of one registry value ("REG"): that it exists, or how it compares
// with a given text or number.
#pragma once

#include <cstdint>
#include <string>

#include "conditions/condition.h"

namespace gantrell {

class CRegCondition : public CCondition {
 public:
  // Compare types (`m_nCompareType`); any other value never holds.
  static constexpr std::int32_t kExists = 0;
  static constexpr std::int32_t kEqual = 1;
  static constexpr std::int32_t kLess = 2;
  static constexpr std::int32_t kGreater = 3;

  // Looks the value up under the root and key path. A missing root, key or
  // value, or an unknown compare type, counts as false; a nonzero
  // `m_nInvert` then negates the result, failures included.
  //
  // Values of the types none, binary, link, multi-string and resource list
  // only count as present. Double words (either byte order) compare as
  // unsigned 32-bit numbers with `m_strCompareValue` scanned as an unsigned
  // decimal (0 when it does not scan); double-word data that is not exactly
  // four bytes long cannot be read and counts as false. Every other type
  // compares as text, byte by byte as unsigned characters, the data ending at
  // its first zero byte or at its end.
  bool Evaluate(const ConditionEnv& env) const override;

  // Reads the keys NME, KRT, INV, PTH, KNME, CPV and CPT in any order up to
  // END; unknown keys are skipped with their values, numbers that do not
  // scan keep the field as it was. False when the input ends before END.
  bool Parse(CTokenReader& reader) override;

  // Writes
  // ` REG NME "name" KRT root INV invert PTH "path" KNME "value" CPV "compare" CPT type END `.
  void Write(std::ostream& out) const override;

  std::unique_ptr<CCondition> Clone() const override;

  std::int32_t m_nRoot = 0;  // 0 classes root, 1 local machine, 2 current user,
                             // 3 performance data, 4 dyn data, 5 and 6 users
  std::int32_t m_nInvert = 0;
  std::string m_strKeyPath;    // backslash-separated, below the root
  std::string m_strValueName;  // empty: the key's default value
  std::string m_strCompareValue;
  std::int32_t m_nCompareType = kExists;
};

}  // namespace gantrell
