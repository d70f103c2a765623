#include "ui/choose_filename_dlg.h"

#include <QFileInfo>
#include <QPushButton>

#include "app/client_app.h"
#include "app/save_location_move.h"
#include "model/update_item.h"
#include "ui/app_icon.h"
#include "ui/button_mnemonics.h"
#include "ui/user_prompts.h"
#include "ui/window_geometry.h"
#include "ui_choose_filename_dlg.h"

namespace gantrell::ui {

CChooseFilenameDlg::CChooseFilenameDlg(CClientApp& app, CUpdateItem& item, QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CChooseFilenameDlg>()), m_app(app), m_item(item) {
  m_ui->setupUi(this);
  RememberGeometry(*this, app.profile(), QStringLiteral("CChooseFilenameDlg"));
  GiveMnemonics(*m_ui->buttonBox);
  setWindowIcon(AppIcon());
  m_ui->captionText->setText(QString::fromStdString(SaveLocationCaption(item)));
  m_ui->pathEdit->setText(QString::fromStdString(item.m_strSavePath));
  connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &CChooseFilenameDlg::accept);
  connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(m_ui->browseButton, &QPushButton::clicked, this, &CChooseFilenameDlg::Browse);
  connect(m_ui->defaultButton, &QPushButton::clicked, this, &CChooseFilenameDlg::SetToDefault);
  m_ui->buttonBox->button(QDialogButtonBox::Ok)->setDefault(true);
  m_ui->pathEdit->setFocus();
}

CChooseFilenameDlg::~CChooseFilenameDlg() = default;

void CChooseFilenameDlg::Browse() {
  const SaveDialogProposal proposal = ProposeSaveDialog(m_item);
  UserPrompts::SaveRequest request;
  request.title = windowTitle();
  // The field's path when one is there, so that the dialog opens where the
  // file is to go; else the name the location gives.
  const QString typed = m_ui->pathEdit->text();
  request.file_name = typed.isEmpty() ? QString::fromStdString(proposal.file_name) : typed;
  request.default_extension = QString::fromStdString(proposal.extension);
  request.filter = QString::fromStdString(proposal.filter_label + "|" + proposal.filter_pattern);
  const QString chosen = UserPrompts::ChooseSaveFile(this, request);
  if (!chosen.isEmpty())
    m_ui->pathEdit->setText(chosen);
}

void CChooseFilenameDlg::accept() {
  Finish(static_cast<int>(MoveSaveLocation(m_app, m_item, m_ui->pathEdit->text().toStdString())));
}

void CChooseFilenameDlg::SetToDefault() {
  Finish(static_cast<int>(SetSaveLocationToDefault(m_app, m_item)));
}

void CChooseFilenameDlg::Finish(int outcome) {
  switch (static_cast<MoveOutcome>(outcome)) {
    case MoveOutcome::kUnchanged:
    case MoveOutcome::kDone:
    case MoveOutcome::kPathOnly:
      QDialog::accept();
      return;
    case MoveOutcome::kDeclined:
    case MoveOutcome::kFailed:
      return;  // the item and its file are as they were; the user may retry
  }
}

}  // namespace gantrell::ui
