#include "conditions/compound_condition.h"

#include <string>

#include "conditions/condition_text.h"
#include "model/token_reader.h"

namespace gantrell {
namespace {

// Whether the value just read after a key that is neither a compound key
// nor a kind keyword shows that key to be a member of a kind this client
// does not know: every kind with fields writes its name first, so such a
// member reads as its keyword followed by the bare key NME.
bool OpensUnknownMember(const CTokenReader& reader, const std::string& value) {
  return value == "NME" && !reader.last_token_quoted();
}

// Reads past the rest of a compound whose keyword was just read (or of an
// unknown member whose NME key was just read, with `open_with_name`),
// consuming exactly the tokens a full read would, but counting nesting
// levels instead of recursing. False when the input ends first.
bool SkipCompound(CTokenReader& reader, bool open_with_name = false) {
  std::string key;
  std::string value;
  int open = 1;
  if (open_with_name && !reader.ReadToken(&value, kConditionValueLength))
    return false;
  while (open > 0) {
    if (!reader.ReadToken(&key, kConditionKeyLength))
      return false;
    if (key == "END") {
      --open;
      continue;
    }
    if (std::unique_ptr<CCondition> member = CreateCondition(key)) {
      if (dynamic_cast<CCompoundCondition*>(member.get()) != nullptr) {
        ++open;
      } else if (!member->Parse(reader)) {  // a flat member: read and thrown away
        return false;
      }
      continue;
    }
    if (!reader.ReadToken(&value, kConditionValueLength))
      return false;
    if (value == "END") {
      --open;
    } else if (OpensUnknownMember(reader, value)) {
      // Its name follows; its own END closes it.
      if (!reader.ReadToken(&value, kConditionValueLength))
        return false;
      ++open;
    }
  }
  return true;
}

}  // namespace

CCompoundCondition::~CCompoundCondition() {
  // Nested members are taken apart level by level on one list, so a deep
  // nest does not become a deep chain of destructor calls.
  std::vector<std::unique_ptr<CCondition>> pending = std::move(m_members);
  while (!pending.empty()) {
    std::unique_ptr<CCondition> member = std::move(pending.back());
    pending.pop_back();
    if (auto* compound = dynamic_cast<CCompoundCondition*>(member.get())) {
      for (std::unique_ptr<CCondition>& inner : compound->m_members) {
        pending.push_back(std::move(inner));
      }
      compound->m_members.clear();
    }
  }
}

bool CCompoundCondition::Evaluate(const ConditionEnv& env) const {
  bool holds = m_nCombination != kAnyOf;
  for (const std::unique_ptr<CCondition>& member : m_members) {
    const bool member_holds = member->Evaluate(env);
    if (m_nCombination == kAnyOf) {
      holds = holds || member_holds;
    } else if (m_nCombination == kParity) {
      holds = holds != member_holds;
    } else {
      holds = holds && member_holds;
    }
  }
  return m_nInvert == 1 ? !holds : holds;
}

bool CCompoundCondition::Parse(CTokenReader& reader) {
  return ParseAtDepth(reader, 1);
}

bool CCompoundCondition::ParseAtDepth(CTokenReader& reader, int depth) {
  bool whole = true;
  std::string key;
  std::string value;
  for (;;) {
    if (!reader.ReadToken(&key, kConditionKeyLength))
      return false;
    if (key == "END")
      return whole;
    if (std::unique_ptr<CCondition> member = CreateCondition(key)) {
      if (auto* compound = dynamic_cast<CCompoundCondition*>(member.get())) {
        if (depth >= kMaxNesting) {
          // Read past it so that whatever follows stays in step, but the
          // compound as a whole can no longer be trusted to hold.
          if (!SkipCompound(reader))
            return false;
          whole = false;
          continue;
        }
        whole = compound->ParseAtDepth(reader, depth + 1) && whole;
      } else {
        whole = member->Parse(reader) && whole;
      }
      m_members.push_back(std::move(member));
      continue;
    }
    // A failed read or an END value ends the compound before anything is
    // stored, so a cut-off name does not replace the one read before.
    if (!reader.ReadToken(&value, kConditionValueLength))
      return false;
    if (value == "END")
      return whole;
    if (key == "NME") {
      m_strName = value;
    } else if (key == "CPT") {
      StoreConditionInt(value, &m_nCombination);
    } else if (key == "INV") {
      StoreConditionInt(value, &m_nInvert);
    } else if (OpensUnknownMember(reader, value)) {
      // A member of a kind this client cannot evaluate: without it the
      // compound cannot say whether it holds, so it does not count as
      // read (its holder treats it as never holding). The member is read
      // past to its own END, so that its tokens neither close this
      // compound early nor end the list around it.
      if (!SkipCompound(reader, true))
        return false;
      whole = false;
    }
  }
}

void CCompoundCondition::Write(std::ostream& out) const {
  out << " CP NME ";
  WriteConditionText(out, m_strName);
  out << " CPT " << std::to_string(m_nCombination) << " INV " << std::to_string(m_nInvert) << ' ';
  for (const std::unique_ptr<CCondition>& member : m_members)
    member->Write(out);
  out << "END ";
}

std::unique_ptr<CCondition> CCompoundCondition::Clone() const {
  auto copy = std::make_unique<CCompoundCondition>();
  copy->m_strName = m_strName;
  copy->m_nCombination = m_nCombination;
  copy->m_nInvert = m_nInvert;
  copy->m_members.reserve(m_members.size());
  for (const std::unique_ptr<CCondition>& member : m_members) {
    copy->m_members.push_back(member->Clone());
  }
  return copy;
}

}  // namespace gantrell
