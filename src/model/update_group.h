// A named group of items within a provider.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "model/update_item.h"

namespace gantrell {

class CProvider;

class CUpdateGroup {
 public:
  explicit CUpdateGroup(CProvider* provider) : m_pProvider(provider) {}

  CUpdateGroup(const CUpdateGroup&) = delete;
  CUpdateGroup& operator=(const CUpdateGroup&) = delete;

  int GetItemCount() const { return static_cast<int>(m_items.size()); }
  // The item at `index`, or none outside 0 .. count-1.
  CUpdateItem* GetItem(int index) const;
  // The item named exactly `name`, or none.
  CUpdateItem* FindItem(const std::string& name) const;
  // Appends a new item owned by this group and returns it.
  CUpdateItem* AddItem();
  // Deletes the item at `index` with its condition.
  void RemoveItem(int index);

  std::string m_strName;  // the group's identity within its provider
  std::vector<std::unique_ptr<CUpdateItem>> m_items;
  std::string m_strGroupText;
  CProvider* m_pProvider;
  std::int32_t m_bScan = 0;
  std::int32_t m_bListed = 0;  // listed by this run's control file; not stored
  std::int32_t m_bScanEdit = 0;
};

}  // namespace gantrell
