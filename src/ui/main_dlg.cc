#include "ui/main_dlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QListWidgetItem>
#include <QMenu>
#include <QPushButton>
#include <algorithm>

#include "app/about_text.h"
#include "app/client_app.h"
#include "model/update_item.h"
#include "platform/single_instance.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/choose_filename_dlg.h"
#include "ui/config_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/window_geometry.h"
#include "ui_main_dlg.h"

namespace gantrell::ui {
namespace {

// The channel a second instance hands its addresses over on: the window
// it looks for is titled "Gantrell".
constexpr const char* kWindowTitle = "Gantrell";
constexpr int kItemRole = Qt::UserRole;

CUpdateItem* ItemOf(const QListWidgetItem* entry) {
  return reinterpret_cast<CUpdateItem*>(entry->data(kItemRole).value<quintptr>());
}

}  // namespace

CMainDlg::CMainDlg(CClientApp& app, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CMainDlg>()),
      m_app(app),
      m_session(app, [this] { FillPendingList(); }),
      m_pAboutAction(new QAction(kAboutMenuText, this)) {
  m_ui->setupUi(this);
  RememberGeometry(*this, app.profile(), QStringLiteral("CMainDlg"));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowMinimizeButtonHint);

  m_pAboutAction->setShortcut(QKeySequence(Qt::Key_F1));
  m_pAboutAction->setShortcutContext(Qt::WindowShortcut);
  addAction(m_pAboutAction);
  connect(m_pAboutAction, &QAction::triggered, this, &CMainDlg::ShowAbout);

  connect(m_ui->pendingList, &QListWidget::itemSelectionChanged, this,
          &CMainDlg::OnSelectionChanged);
  connect(m_ui->skipButton, &QPushButton::clicked, this, &CMainDlg::OnSkipOnce);
  connect(m_ui->removeButton, &QPushButton::clicked, this, &CMainDlg::OnRemove);
  connect(m_ui->downloadButton, &QPushButton::clicked, this, &CMainDlg::OnDownload);
  connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::reject);
  connect(m_ui->viewDownloadsButton, &QPushButton::clicked, this, &CMainDlg::ShowFileManager);
  connect(m_ui->aboutButton, &QPushButton::clicked, this, &CMainDlg::ShowAbout);
  // Delete in the list does what "Remove" does.
  m_ui->pendingList->installEventFilter(this);

  connect(m_ui->configureButton, &QPushButton::clicked, this, &CMainDlg::OnConfigure);
  connect(m_ui->saveLocationButton, &QPushButton::clicked, this, &CMainDlg::OnSaveLocation);
}

CMainDlg::~CMainDlg() = default;

void CMainDlg::OnInitDialog() {
  if (!m_app.m_bAllowConfigure) {
    m_ui->removeButton->hide();
    m_ui->configureButton->hide();
  }

  // From here on a second instance's hand-off reaches this window. The
  // listener calls back on its own thread; the call is queued to this one.
  std::string error;
  m_pHandOff = HandOffListener::Open(
      kWindowTitle,
      [this] {
        QMetaObject::invokeMethod(
            this, [this] { OnNewProvider(); }, Qt::QueuedConnection);
      },
      &error);

  // The addresses offered at start-up, and those handed over while
  // start-up was still fetching (they reached no window then).
  m_session.AddPending(TakeHandedOffProviders(m_app));
  m_session.RegisterPendingProviders();
  FillPendingList();
  m_ui->pendingList->setFocus();
}

void CMainDlg::OnNewProvider() {
  m_session.OnNewProvider();
}

void CMainDlg::OnConfigure() {
  const CWindowDialogScope dialog(m_session);
  CConfigDlg config(m_app, this);
  config.exec();
  // OK commits the selection, which the list then shows. The list is
  // rebuilt after Cancel as well: a re-fetch inside the dialog may have
  // pruned items that the entries point to, and the rolled-back selection
  // is what the list showed before.
  ClearSelectionTexts();
  FillFromSelection();
}

void CMainDlg::OnSaveLocation() {
  const CWindowDialogScope dialog(m_session);
  for (CUpdateItem* item : SelectedItems()) {
    CChooseFilenameDlg choose(m_app, *item, this);
    choose.exec();
  }
}

void CMainDlg::ShowFileManager() {
  const CWindowDialogScope dialog(m_session);
  CFileManagerDlg manager(m_app, nullptr, this);
  manager.exec();
}

void CMainDlg::ShowAbout() {
  const CWindowDialogScope dialog(m_session);
  CAboutDlg about(this);
  about.exec();
}

bool CMainDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_ui->pendingList && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      // Only where "Remove" is offered (not in a run without "-c").
      if (m_ui->removeButton->isVisibleTo(this))
        OnRemove();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CMainDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(m_pAboutAction);
  menu.exec(event->globalPos());
}

void CMainDlg::FillPendingList() {
  ShowItems(gantrell::FillPendingList(m_app));
}

void CMainDlg::FillFromSelection() {
  ShowItems(gantrell::FillFromSelection(m_app));
}

void CMainDlg::ShowItems(const ItemList& items) {
  m_ui->pendingList->clear();
  for (CUpdateItem* item : items) {
    auto* entry = new QListWidgetItem(QString::fromStdString(ListEntryText(*item)));
    entry->setData(kItemRole, QVariant::fromValue(reinterpret_cast<quintptr>(item)));
    m_ui->pendingList->addItem(entry);
  }
  UpdateCount();
}

void CMainDlg::UpdateCount() {
  m_ui->countText->setText(
      QString::fromStdString(CountText(static_cast<std::size_t>(m_ui->pendingList->count()))));
}

void CMainDlg::ClearSelectionTexts() {
  m_ui->descriptionText->clear();
  m_ui->sizeText->clear();
}

ItemList CMainDlg::SelectedItems() const {
  ItemList items;
  for (int row = 0; row < m_ui->pendingList->count(); ++row) {
    const QListWidgetItem* entry = m_ui->pendingList->item(row);
    if (entry->isSelected())
      items.push_back(ItemOf(entry));
  }
  return items;
}

ItemList CMainDlg::ListedItems() const {
  ItemList items;
  for (int row = 0; row < m_ui->pendingList->count(); ++row)
    items.push_back(ItemOf(m_ui->pendingList->item(row)));
  return items;
}

void CMainDlg::DeleteSelectedEntries() {
  for (int row = m_ui->pendingList->count() - 1; row >= 0; --row) {
    if (m_ui->pendingList->item(row)->isSelected())
      delete m_ui->pendingList->takeItem(row);
  }
}

void CMainDlg::OnSelectionChanged() {
  const SelectionTexts texts = DescribeSelection(SelectedItems());
  m_ui->descriptionText->setPlainText(QString::fromStdString(texts.description));
  m_ui->sizeText->setText(QString::fromStdString(texts.size));
}

void CMainDlg::OnSkipOnce() {
  SkipOnce(SelectedItems());
  DeleteSelectedEntries();
  UpdateCount();
  ClearSelectionTexts();
}

void CMainDlg::OnRemove() {
  RemoveItems(m_app, SelectedItems());
  DeleteSelectedEntries();
  ClearSelectionTexts();
  UpdateCount();
}

void CMainDlg::OnDownload() {
  // The fetch, the download and the file manager all run as dialogs of
  // this window.
  const CWindowDialogScope dialog(m_session);
  const int result = DownloadListed(m_app, ListedItems());
  // A run stopped because the program is ending opens nothing more.
  if (result == 1 && !m_app.end_requested()) {
    ShowFileManager();
    ClearSelectionTexts();
  }
  FillFromSelection();
}

}  // namespace gantrell::ui
