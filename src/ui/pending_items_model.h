// The main window's list as a table model over the pending items: one row
// per item, in list order, with the columns Name, Provider, Size and Date.
// The rows point at the model's items and hold nothing else, so that a list
// of 100,000 items costs one pointer each and is drawn a screenful at a
// time. The first column's accessible text is the entry's "NAME from
// PROVIDER".
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "app/main_window_model.h"

namespace gantrell::ui {

class PendingItemsModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kName, kProvider, kSize, kDate, kColumnCount };

  using QAbstractTableModel::QAbstractTableModel;

  // Replaces every row with `items`.
  void SetItems(ItemList items);
  // Takes the rows out (any order, each at most once), keeping the order of
  // the rest.
  void RemoveRowsAt(std::vector<int> rows);

  const ItemList& items() const { return m_items; }
  CUpdateItem* ItemAt(int row) const { return m_items[static_cast<std::size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  ItemList m_items;
  // Each row's date text, read when the rows were set: a download run
  // writes the item's date on its own thread while the list stays on
  // screen, so the view must not read it from the item.
  std::vector<QString> m_dates;
};

}  // namespace gantrell::ui
