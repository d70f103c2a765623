#include "ui/folder_dlg.h"

#include <QDir>
#include <QPushButton>

#include "ui/app_icon.h"
#include "ui/button_mnemonics.h"
#include "ui/user_prompts.h"
#include "ui_folder_dlg.h"

namespace gantrell::ui {

CFolderDlg::CFolderDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CFolderDlg>()) {
  m_ui->setupUi(this);
  GiveMnemonics(*m_ui->buttonBox);
  setWindowIcon(AppIcon());
  connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_ui->browseButton, &QPushButton::clicked, this, &CFolderDlg::Browse);
  m_ui->folderEdit->setFocus();
}

CFolderDlg::~CFolderDlg() = default;

QString CFolderDlg::Folder() const {
  return m_ui->folderEdit->text();
}

void CFolderDlg::Browse() {
  const QString typed = m_ui->folderEdit->text();
  const QString start = !typed.isEmpty() && QDir(typed).exists() ? typed : QDir::homePath();
  const QString chosen = UserPrompts::ChooseFolder(this, windowTitle(), start);
  if (!chosen.isEmpty())
    m_ui->folderEdit->setText(QDir::toNativeSeparators(chosen));
}

}  // namespace gantrell::ui
