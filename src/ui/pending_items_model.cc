#include "ui/pending_items_model.h"

#include <QCoreApplication>
#include <algorithm>

#include "app/main_window_session.h"
#include "model/provider.h"
#include "model/update_item.h"

namespace gantrell::ui {
namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

const std::string& ProviderName(const CUpdateItem& item) {
  static const std::string kNone;
  const CProvider* provider = item.m_pGroup != nullptr ? item.m_pGroup->m_pProvider : nullptr;
  return provider != nullptr ? provider->m_strKeyName : kNone;
}

}  // namespace

void PendingItemsModel::SetItems(ItemList items) {
  beginResetModel();
  m_items = std::move(items);
  m_dates.clear();
  m_dates.reserve(m_items.size());
  for (const CUpdateItem* item : m_items)
    m_dates.push_back(Text(ItemDateText(item->m_strDate)));
  endResetModel();
}

void PendingItemsModel::RemoveRowsAt(std::vector<int> rows) {
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  // From the last run of neighbouring rows to the first, each run in one
  // step, so that removing many rows does not shift the rest once a row.
  std::size_t end = rows.size();
  while (end > 0) {
    std::size_t begin = end - 1;
    while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
      --begin;
    const int first = rows[begin];
    const int last = rows[end - 1];
    beginRemoveRows({}, first, last);
    m_items.erase(m_items.begin() + first, m_items.begin() + last + 1);
    m_dates.erase(m_dates.begin() + first, m_dates.begin() + last + 1);
    endRemoveRows();
    end = begin;
  }
}

int PendingItemsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_items.size());
}

int PendingItemsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QVariant PendingItemsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount())
    return {};
  const CUpdateItem& item = *ItemAt(index.row());
  if (role == Qt::AccessibleTextRole && index.column() == kName)
    return Text(ListEntryText(item));
  if (role == Qt::TextAlignmentRole && index.column() == kSize)
    return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
  if (role != Qt::DisplayRole)
    return {};
  switch (index.column()) {
    case kName:
      return Text(item.m_strName);
    case kProvider:
      return Text(ProviderName(item));
    case kSize:
      return Text(ItemSizeText(item.m_nLength));
    case kDate:
      return m_dates[static_cast<std::size_t>(index.row())];
    default:
      return {};
  }
}

QVariant PendingItemsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
    return {};
  // The main window's column headers, translated with its other texts.
  switch (section) {
    case kName:
      return QCoreApplication::translate("CMainDlg", "Name");
    case kProvider:
      return QCoreApplication::translate("CMainDlg", "Provider");
    case kSize:
      return QCoreApplication::translate("CMainDlg", "Size");
    case kDate:
      return QCoreApplication::translate("CMainDlg", "Date");
    default:
      return {};
  }
}

}  // namespace gantrell::ui
