#include "ui/config_dlg.h"

#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/client_app.h"
#include "model/provider.h"
#include "ui/app_icon.h"
#include "ui/button_mnemonics.h"
#include "ui/choose_filename_dlg.h"
#include "ui/new_provider_dlg.h"
#include "ui/window_geometry.h"
#include "ui_config_dlg.h"

namespace gantrell::ui {
namespace {

Qt::CheckState BoxState(int state) {
  return state == 0 ? Qt::Unchecked : state == 1 ? Qt::Checked : Qt::PartiallyChecked;
}

std::vector<int> SelectedRows(const QListWidget& list) {
  std::vector<int> rows;
  for (const QModelIndex& index : list.selectionModel()->selectedRows())
    rows.push_back(index.row());
  return rows;
}

// Each row carries the record it shows.
template <typename Record>
void AddRow(QListWidget* list, const std::string& text, Record* record) {
  auto* row = new QListWidgetItem(QString::fromStdString(text), list);
  row->setData(Qt::UserRole, QVariant::fromValue(reinterpret_cast<quintptr>(record)));
}

}  // namespace

CConfigDlg::CConfigDlg(CClientApp& app, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CConfigDlg>()),
      m_app(app),
      m_session(app, ConfigSessionHooks{[this](std::string* address) {
                                          CNewProviderDlg dialog(this);
                                          if (dialog.exec() != QDialog::Accepted)
                                            return false;
                                          *address = dialog.Address();
                                          return true;
                                        },
                                        {},
                                        {}}) {
  m_ui->setupUi(this);
  RememberGeometry(*this, app.profile(), QStringLiteral("CConfigDlg"));
  GiveMnemonics(*m_ui->buttonBox);
  setWindowIcon(AppIcon());
  const bool provider_buttons = m_session.provider_buttons_shown();
  m_ui->addProviderButton->setVisible(provider_buttons);
  m_ui->deleteProviderButton->setVisible(provider_buttons);

  connect(m_ui->providerCombo, &QComboBox::currentIndexChanged, this,
          &CConfigDlg::OnProviderChanged);
  connect(m_ui->providerScanCheck, &QCheckBox::clicked, this, &CConfigDlg::OnProviderScanClicked);
  connect(m_ui->groupList, &QListWidget::itemSelectionChanged, this,
          &CConfigDlg::OnGroupSelectionChanged);
  connect(m_ui->groupScanCheck, &QCheckBox::clicked, this, &CConfigDlg::OnGroupScanClicked);
  connect(m_ui->itemList, &QListWidget::itemSelectionChanged, this,
          &CConfigDlg::OnItemSelectionChanged);
  connect(m_ui->addOnceButton, &QPushButton::clicked, this, &CConfigDlg::OnAddOnce);
  connect(m_ui->saveLocationButton, &QPushButton::clicked, this, &CConfigDlg::OnSaveLocation);
  connect(m_ui->deleteButton, &QPushButton::clicked, this, &CConfigDlg::OnDelete);
  connect(m_ui->deleteProviderButton, &QPushButton::clicked, this, &CConfigDlg::OnDeleteProvider);
  connect(m_ui->addProviderButton, &QPushButton::clicked, this, &CConfigDlg::OnAddProvider);
  connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &CConfigDlg::accept);
  connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &CConfigDlg::reject);
  m_ui->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);

  m_session.Open();
  Refresh();
}

CConfigDlg::~CConfigDlg() = default;

void CConfigDlg::accept() {
  m_session.Commit();
  QDialog::accept();
}

void CConfigDlg::reject() {
  m_session.RollBack();
  QDialog::reject();
}

void CConfigDlg::Refresh() {
  m_bRefreshing = true;
  const QSignalBlocker combo_block(m_ui->providerCombo);
  const QSignalBlocker group_block(m_ui->groupList);
  const QSignalBlocker item_block(m_ui->itemList);

  m_ui->providerCombo->clear();
  for (CProvider* provider : m_session.providers()) {
    m_ui->providerCombo->addItem(QString::fromStdString(provider->m_strKeyName),
                                 QVariant::fromValue(reinterpret_cast<quintptr>(provider)));
  }
  m_ui->providerCombo->setCurrentIndex(m_session.provider_row());
  m_ui->providerScanCheck->setCheckState(BoxState(m_session.provider_scan()));
  m_ui->providerKeyText->setText(QString::fromStdString(m_session.provider_key_text()));

  m_ui->groupList->clear();
  for (CUpdateGroup* group : m_session.groups())
    AddRow(m_ui->groupList, group->m_strName, group);
  if (m_session.group_row() >= 0)
    m_ui->groupList->setCurrentRow(m_session.group_row());
  m_ui->groupScanCheck->setChecked(m_session.group_scan());

  m_ui->itemList->clear();
  for (CUpdateItem* item : m_session.items())
    AddRow(m_ui->itemList, item->m_strName, item);
  for (int row : m_session.item_rows())
    m_ui->itemList->item(row)->setSelected(true);
  if (m_session.item_row() >= 0)
    m_ui->itemList->setCurrentRow(m_session.item_row(), QItemSelectionModel::NoUpdate);

  m_ui->downloadList->clear();
  for (CUpdateItem* item : m_session.downloads())
    AddRow(m_ui->downloadList, DownloadRowText(*item), item);

  m_ui->descriptionText->setPlainText(QString::fromStdString(m_session.description()));
  m_ui->sizeText->setText(QString::fromStdString(m_session.size_text()));
  m_ui->suitabilityText->setText(QString::fromStdString(m_session.suitability()));
  m_bRefreshing = false;
}

void CConfigDlg::OnProviderChanged(int row) {
  if (m_bRefreshing)
    return;
  m_session.SelectProvider(row);
  Refresh();
}

void CConfigDlg::OnProviderScanClicked() {
  // The box moves unchecked, checked, mixed, as the session decides, not
  // in the order the toolkit would.
  m_session.ClickProviderScan(CConfigSession::NextScanState(m_session.provider_scan()));
  Refresh();
}

void CConfigDlg::OnGroupSelectionChanged() {
  if (m_bRefreshing)
    return;
  const std::vector<int> rows = SelectedRows(*m_ui->groupList);
  m_session.SelectGroup(rows.empty() ? -1 : rows.front());
  Refresh();
}

void CConfigDlg::OnGroupScanClicked() {
  m_session.ClickGroupScan(m_ui->groupScanCheck->isChecked());
  Refresh();
}

void CConfigDlg::OnItemSelectionChanged() {
  if (m_bRefreshing)
    return;
  const std::vector<int> rows = SelectedRows(*m_ui->itemList);
  int current = m_ui->itemList->currentRow();
  if (current >= 0 && !m_ui->itemList->item(current)->isSelected())
    current = rows.empty() ? -1 : rows.front();
  m_session.SelectItems(rows, current);
  // Only the texts change; rebuilding the list would lose the anchor of
  // an extended selection.
  m_ui->descriptionText->setPlainText(QString::fromStdString(m_session.description()));
  m_ui->sizeText->setText(QString::fromStdString(m_session.size_text()));
  m_ui->suitabilityText->setText(QString::fromStdString(m_session.suitability()));
}

void CConfigDlg::OnAddOnce() {
  m_session.AddToDownloadOnce();
  Refresh();
}

void CConfigDlg::OnSaveLocation() {
  for (CUpdateItem* item : m_session.SaveLocationItems()) {
    CChooseFilenameDlg dialog(m_app, *item, this);
    dialog.exec();
  }
  Refresh();
}

void CConfigDlg::OnDelete() {
  m_session.DeleteDownloads(SelectedRows(*m_ui->downloadList));
  Refresh();
}

void CConfigDlg::OnDeleteProvider() {
  m_session.DeleteProvider();
  Refresh();
}

void CConfigDlg::OnAddProvider() {
  m_session.AddProvider();
  Refresh();
}

}  // namespace gantrell::ui
