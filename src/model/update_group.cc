#include "model/update_group.h"

namespace gantrell {

CUpdateItem* CUpdateGroup::GetItem(int index) const {
  if (index < 0 || index >= GetItemCount())
    return nullptr;
  return m_items[static_cast<std::size_t>(index)].get();
}

CUpdateItem* CUpdateGroup::FindItem(const std::string& name) const {
  for (const auto& item : m_items) {
    if (item->m_strName == name)
      return item.get();
  }
  return nullptr;
}

CUpdateItem* CUpdateGroup::AddItem() {
  m_items.push_back(std::make_unique<CUpdateItem>(this));
  return m_items.back().get();
}

void CUpdateGroup::RemoveItem(int index) {
  if (index < 0 || index >= GetItemCount())
    return;
  m_items.erase(m_items.begin() + index);
}

}  // namespace gantrell
