#include "ui/main_dlg.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>
#include <QPushButton>
#include <algorithm>
#include <string_view>

#include "app/about_text.h"
#include "app/client_app.h"
#include "model/update_item.h"
#include "platform/single_instance.h"
#include "ui/about_dlg.h"
#include "ui/app_icon.h"
#include "ui/choose_filename_dlg.h"
#include "ui/config_dlg.h"
#include "ui/file_manager_dlg.h"
#include "ui/pending_items_model.h"
#include "ui/window_geometry.h"
#include "ui_main_dlg.h"

namespace gantrell::ui {
namespace {

// The channel a second instance hands its addresses over on: the window
// it looks for is titled "Gantrell".
constexpr const char* kWindowTitle = "Gantrell";

// The menu entry's text is the core's (app/about_text.h), shown here in
// the user's language.
static_assert(std::string_view(kAboutMenuText) == "&About gantrell...");

}  // namespace

CMainDlg::CMainDlg(CClientApp& app, QWidget* parent)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CMainDlg>()),
      m_app(app),
      m_session(app, [this] { FillPendingList(); }),
      m_pAboutAction(
          new QAction(QCoreApplication::translate("CMainDlg", "&About gantrell..."), this)),
      m_pItems(new PendingItemsModel(this)) {
  m_ui->setupUi(this);
  m_ui->pendingList->setModel(m_pItems);
  QHeaderView* header = m_ui->pendingList->header();
  header->setStretchLastSection(false);
  header->setSectionResizeMode(PendingItemsModel::kName, QHeaderView::Stretch);
  for (int column : {PendingItemsModel::kProvider, PendingItemsModel::kSize,
                     PendingItemsModel::kDate})
    header->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  RememberGeometry(*this, app.profile(), QStringLiteral("CMainDlg"));
  setWindowIcon(AppIcon());
  setWindowFlag(Qt::WindowMinimizeButtonHint);

  m_pAboutAction->setShortcut(QKeySequence(Qt::Key_F1));
  m_pAboutAction->setShortcutContext(Qt::WindowShortcut);
  addAction(m_pAboutAction);
  connect(m_pAboutAction, &QAction::triggered, this, &CMainDlg::ShowAbout);

  connect(m_ui->pendingList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
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
  // The first entry is the current one and selected, so that its
  // description shows from the start.
  if (m_pItems->rowCount() > 0) {
    m_ui->pendingList->selectionModel()->setCurrentIndex(
        m_pItems->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  }
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
  m_pItems->SetItems(items);
  UpdateCount();
  UpdateButtons();
}

void CMainDlg::UpdateCount() {
  m_ui->countText->setText(
      QString::fromStdString(CountText(static_cast<std::size_t>(m_pItems->rowCount()))));
}

void CMainDlg::UpdateButtons() {
  const bool any = m_ui->pendingList->selectionModel()->hasSelection();
  for (QPushButton* button : {m_ui->skipButton, m_ui->removeButton, m_ui->saveLocationButton})
    button->setEnabled(any);
}

void CMainDlg::ClearSelectionTexts() {
  m_ui->descriptionText->clear();
  m_ui->sizeText->clear();
}

std::vector<int> CMainDlg::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : m_ui->pendingList->selectionModel()->selectedRows())
    rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  return rows;
}

ItemList CMainDlg::SelectedItems() const {
  ItemList items;
  for (const int row : SelectedRows())
    items.push_back(m_pItems->ItemAt(row));
  return items;
}

ItemList CMainDlg::ListedItems() const {
  return m_pItems->items();
}

void CMainDlg::DeleteSelectedEntries() {
  m_pItems->RemoveRowsAt(SelectedRows());
}

void CMainDlg::OnSelectionChanged() {
  const SelectionTexts texts = DescribeSelection(SelectedItems());
  m_ui->descriptionText->setPlainText(QString::fromStdString(texts.description));
  m_ui->sizeText->setText(QString::fromStdString(texts.size));
  UpdateButtons();
}

void CMainDlg::OnSkipOnce() {
  SkipOnce(SelectedItems());
  DeleteSelectedEntries();
  UpdateCount();
  ClearSelectionTexts();
  UpdateButtons();
}

void CMainDlg::OnRemove() {
  RemoveItems(m_app, SelectedItems());
  DeleteSelectedEntries();
  ClearSelectionTexts();
  UpdateCount();
  UpdateButtons();
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
