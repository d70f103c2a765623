// A test of the Windows release the machine runs ("WINV"), with one level
// and compare type for the 95/98/Me family and one for the NT family.
#pragma once

#include <cstdint>
#include <optional>

#include "conditions/condition.h"

namespace gantrell {

struct OsVersionInfo;

class CWinVerCondition : public CCondition {
 public:
  // Compare types (`m_nCompare9x`, `m_nCompareNt`). Any value other than
  // kOrEarlier, kOrLater and kNotThisFamily means exactly the level.
  static constexpr std::int32_t kExactly = 0;
  static constexpr std::int32_t kOrEarlier = 1;
  static constexpr std::int32_t kOrLater = 2;
  static constexpr std::int32_t kNotThisFamily = 3;

  // The machine's version level within its family, or none for a release
  // the tables do not know.
  //   95/98/Me family: 0 Windows 95 (4.0 build 950), 1 (builds 951 to 1080),
  //   2 (later 4.0 builds), 3 Windows 98 (4.1 to 4.89 build 1998), 4 (builds
  //   1999 to 2182), 5 (2183 and later), 6 Windows Me (4.90 and later).
  //   NT family: 0 NT 3.51, 1 NT 4.x, 2 Windows 2000 (5.0), 3 XP and later 5.x.
  // On the 95/98/Me family only the low 16 bits of the build field are the
  // build; the upper bits repeat the major and minor version.
  static std::optional<std::int32_t> MachineLevel(const OsVersionInfo& info);

  // Picks the level and compare type of the machine's family (platform id 1
  // is the 95/98/Me family, every other id the NT family). kNotThisFamily is
  // false at once; otherwise the level L holds against V when L equals V, or
  // when the type is kOrEarlier and L < V, or kOrLater and L > V. An unknown
  // release or a failed version query is false. A nonzero `m_nInvert`
  // negates the result, failures included.
  bool Evaluate(const ConditionEnv& env) const override;

  // Reads the keys NME, V9X, VNT, CP9X, CPNT and INV in any order up to END;
  // unknown keys are skipped with their values, numbers that do not scan keep
  // the field as it was. False when the input ends before END.
  bool Parse(CTokenReader& reader) override;

  // Writes ` WINV NME "name" V9X level VNT level CP9X type CPNT type INV invert END `.
  void Write(std::ostream& out) const override;

  std::unique_ptr<CCondition> Clone() const override;

  std::int32_t m_nLevel9x = 0;
  std::int32_t m_nLevelNt = 0;
  std::int32_t m_nCompare9x = kExactly;
  std::int32_t m_nCompareNt = kExactly;
  std::int32_t m_nInvert = 0;
};

}  // namespace gantrell
