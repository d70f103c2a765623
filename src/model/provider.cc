#include "model/provider.h"

#include <cstring>

namespace gantrell {

CProvider::~CProvider() {
  // Groups go first: their items' conditions never look back at the key.
  m_groups.clear();
  ReleaseCrypto();
}

CUpdateGroup* CProvider::GetGroup(int index) const {
  if (index < 0 || index >= GetGroupCount())
    return nullptr;
  return m_groups[static_cast<std::size_t>(index)].get();
}

CUpdateGroup* CProvider::FindGroup(const std::string& name) const {
  for (const auto& group : m_groups) {
    if (group->m_strName == name)
      return group.get();
  }
  return nullptr;
}

CUpdateGroup* CProvider::AddGroup() {
  m_groups.push_back(std::make_unique<CUpdateGroup>(this));
  return m_groups.back().get();
}

void CProvider::RemoveGroup(int index) {
  if (index < 0 || index >= GetGroupCount())
    return;
  m_groups.erase(m_groups.begin() + index);
}

void CProvider::SetKeyData(const std::uint8_t* bytes, int length) {
  if (bytes == nullptr || length <= 0) {
    ClearKeyData();
    return;
  }
  m_pKeyData = std::make_unique<std::uint8_t[]>(static_cast<std::size_t>(length));
  std::memcpy(m_pKeyData.get(), bytes, static_cast<std::size_t>(length));
  m_nKeyLength = length;
}

void CProvider::ClearKeyData() {
  m_pKeyData.reset();
  m_nKeyLength = 0;
}

bool BytesEqual(const std::uint8_t* a, const std::uint8_t* b, int n) {
  if (a == nullptr || b == nullptr)
    return true;
  if (n <= 0)
    return true;
  return std::memcmp(a, b, static_cast<std::size_t>(n)) == 0;
}

}  // namespace gantrell
