#include "ui/file_manager_dlg.h"

#include <QKeyEvent>
#include <QListWidgetItem>
#include <QPushButton>
#include <QSignalBlocker>

#include "app/client_app.h"
#include "ui/app_icon.h"
#include "ui/button_mnemonics.h"
#include "ui/qt_shell_open.h"
#include "ui/qt_trash.h"
#include "ui/user_prompts.h"
#include "ui/window_geometry.h"
#include "ui_file_manager_dlg.h"

namespace gantrell::ui {
namespace {

QString Text(const std::string& text) {
  return QString::fromStdString(text);
}

ShellOpen& ShellOrOwn(ShellOpen* shell, std::unique_ptr<ShellOpen>& own) {
  if (shell != nullptr)
    return *shell;
  own = std::make_unique<QtShellOpen>();
  return *own;
}

Trash* TrashOrOwn(Trash* trash, std::unique_ptr<Trash>& own) {
  if (trash != nullptr)
    return trash;
  own = std::make_unique<QtTrash>();
  return own.get();
}

}  // namespace

CFileManagerDlg::CFileManagerDlg(CClientApp& app, ShellOpen* shell, QWidget* parent, Trash* trash)
    : QDialog(parent),
      m_ui(std::make_unique<Ui::CFileManagerDlg>()),
      m_model(app, ShellOrOwn(shell, m_pOwnShell), TrashOrOwn(trash, m_pOwnTrash)) {
  m_ui->setupUi(this);
  RememberGeometry(*this, app.profile(), QStringLiteral("CFileManagerDlg"));
  GiveMnemonics(*m_ui->buttonBox);
  setWindowIcon(AppIcon());
  connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_ui->providerCombo, &QComboBox::currentIndexChanged, this,
          &CFileManagerDlg::OnSourceChanged);
  connect(m_ui->fileList, &QListWidget::itemSelectionChanged, this,
          &CFileManagerDlg::OnFileSelectionChanged);
  connect(m_ui->fileList, &QListWidget::itemDoubleClicked, this, &CFileManagerDlg::OnOpen);
  connect(m_ui->openButton, &QPushButton::clicked, this, &CFileManagerDlg::OnOpen);
  connect(m_ui->copyButton, &QPushButton::clicked, this, &CFileManagerDlg::OnCopy);
  connect(m_ui->deleteButton, &QPushButton::clicked, this, &CFileManagerDlg::OnDelete);
  // Delete in the list does what "Delete" does: it asks, or uses the trash.
  m_ui->fileList->installEventFilter(this);
  OnInitDialog();
}

CFileManagerDlg::~CFileManagerDlg() = default;

bool CFileManagerDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_ui->fileList && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Delete && key->modifiers() == Qt::NoModifier) {
      OnDelete();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CFileManagerDlg::OnInitDialog() {
  m_model.Init();
  const QSignalBlocker blocker(m_ui->providerCombo);
  m_ui->providerCombo->clear();
  for (const FileSource& source : m_model.Sources())
    m_ui->providerCombo->addItem(Text(source.label));
  m_ui->providerCombo->setCurrentIndex(m_model.SelectedSource());
  FillFileList();
}

void CFileManagerDlg::FillFileList() {
  const QSignalBlocker blocker(m_ui->fileList);
  m_ui->fileList->clear();
  for (const FileEntry& entry : m_model.Files()) {
    auto* row = new QListWidgetItem(Text(entry.text), m_ui->fileList);
    row->setData(Qt::UserRole, QVariant::fromValue(static_cast<void*>(entry.item)));
  }
  ShowTexts();
}

void CFileManagerDlg::ShowTexts() {
  const FileTexts& texts = m_model.Texts();
  m_ui->descriptionEdit->setPlainText(Text(texts.description));
  m_ui->sizeEdit->setText(Text(texts.size));
  m_ui->suitabilityEdit->setText(Text(texts.suitability));
}

void CFileManagerDlg::OnSourceChanged(int index) {
  m_model.SelectSource(index);
  FillFileList();
}

void CFileManagerDlg::OnFileSelectionChanged() {
  const QList<QListWidgetItem*> selected = m_ui->fileList->selectedItems();
  m_model.SelectFile(selected.isEmpty() ? -1 : m_ui->fileList->row(selected.first()));
  ShowTexts();
}

void CFileManagerDlg::OnOpen() {
  std::string problem;
  if (!m_model.OpenSelected(&problem) && !problem.empty())
    UserPrompts::ShowMessage(this, Text(problem), MessageIcon::kError, MessageButtons::kOk);
}

void CFileManagerDlg::OnCopy() {
  CopyOffer offer;
  if (!m_model.OfferCopyOfSelected(&offer))
    return;
  UserPrompts::SaveRequest request;
  request.file_name = Text(offer.file_name);
  request.default_extension = Text(offer.extension);
  request.filter = Text(offer.FilterText());
  const QString destination = UserPrompts::ChooseSaveFile(this, request);
  if (destination.isEmpty())
    return;
  // A failed copy leaves nothing behind; the reason is shown.
  std::string problem;
  if (!m_model.CopySelectedTo(destination.toStdString(), &problem) && !problem.empty())
    UserPrompts::ShowMessage(this, Text(problem), MessageIcon::kError, MessageButtons::kOk);
}

void CFileManagerDlg::OnDelete() {
  const int row = m_model.SelectedFile();
  if (row < 0 || m_model.SelectedSource() < 0)
    return;
  if (m_model.DeleteSelected().outcome == DeleteResult::Outcome::kKept)
    return;
  {
    const QSignalBlocker blocker(m_ui->fileList);
    delete m_ui->fileList->takeItem(row);
    m_ui->fileList->clearSelection();
    m_ui->fileList->setCurrentRow(-1);
  }
  ShowTexts();
}

}  // namespace gantrell::ui
