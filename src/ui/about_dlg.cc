#include "ui/about_dlg.h"

#include <QPushButton>

#include "app/about_text.h"
#include "ui/app_icon.h"
#include "ui_about_dlg.h"

namespace gantrell::ui {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
  m_ui->setupUi(this);
  setWindowTitle(kAboutTitle);
  setWindowIcon(AppIcon());
  m_ui->iconLabel->setPixmap(AppIcon().pixmap(48, 48));
  m_ui->versionLabel->setText(kAboutVersion);
  m_ui->makerLabel->setText(kAboutMaker);
  m_ui->signingLabel->setText(kAboutSigning);
  m_ui->creditLabel->setText(kAboutSigningCredit);
  connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace gantrell::ui
