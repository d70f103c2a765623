#include "ui/about_dlg.h"

#include <QCoreApplication>
#include <QPushButton>
#include <string_view>

#include "app/about_text.h"
#include "ui/app_icon.h"
#include "ui_about_dlg.h"

namespace gantrell::ui {
namespace {

// The About texts are the core's (app/about_text.h), which every frontend
// shows; the window shows them in the user's language, and these checks
// keep its source texts the core's.
static_assert(std::string_view(kAboutTitle) == "About gantrell");
static_assert(std::string_view(kAboutVersion) == "Gantrell Version " GANTRELL_VERSION);
static_assert(std::string_view(kAboutMaker) == "Made by the Gantrell developers, 2004-2026");
static_assert(std::string_view(kAboutSigning) ==
              "Digital signing based on OpenSSL encryption library");
static_assert(std::string_view(kAboutSigningCredit) ==
              "OpenSSL by the OpenSSL Project, with cryptographic software by Eric Young");

}  // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent), m_ui(std::make_unique<Ui::CAboutDlg>()) {
  m_ui->setupUi(this);
  setWindowTitle(QCoreApplication::translate("CAboutDlg", "About gantrell"));
  setWindowIcon(AppIcon());
  m_ui->iconLabel->setPixmap(AppIcon().pixmap(48, 48));
  m_ui->versionLabel->setText(
      QCoreApplication::translate("CAboutDlg", "Gantrell Version %1").arg(GANTRELL_VERSION));
  m_ui->makerLabel->setText(
      QCoreApplication::translate("CAboutDlg", "Made by the Gantrell developers, 2004-2026"));
  m_ui->signingLabel->setText(QCoreApplication::translate(
      "CAboutDlg", "Digital signing based on OpenSSL encryption library"));
  m_ui->creditLabel->setText(QCoreApplication::translate(
      "CAboutDlg", "OpenSSL by the OpenSSL Project, with cryptographic software by Eric Young"));
  connect(m_ui->okButton, &QPushButton::clicked, this, &QDialog::accept);
}

CAboutDlg::~CAboutDlg() = default;

}  // namespace gantrell::ui
