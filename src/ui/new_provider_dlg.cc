#include "ui/new_provider_dlg.h"

#include "app/address_check.h"
#include "ui/app_icon.h"
#include "ui/button_mnemonics.h"
#include "ui/user_prompts.h"
#include "ui_new_provider_dlg.h"

namespace gantrell::ui {

CNewProviderDlg::CNewProviderDlg(QWidget* parent)
    : QDialog(parent), m_ui(std::make_unique<Ui::CNewProviderDlg>()) {
  m_ui->setupUi(this);
  GiveMnemonics(*m_ui->buttonBox);
  setWindowIcon(AppIcon());
  m_ui->addressEdit->setMaxLength(kMaxAddressLength);
  connect(m_ui->buttonBox, &QDialogButtonBox::accepted, this, &CNewProviderDlg::accept);
  connect(m_ui->buttonBox, &QDialogButtonBox::rejected, this, &QDialog::reject);
  m_ui->addressEdit->setFocus();
}

CNewProviderDlg::~CNewProviderDlg() = default;

void CNewProviderDlg::accept() {
  std::string address = m_ui->addressEdit->text().toStdString();
  const std::string refusal = CheckProviderAddress(&address);
  if (!refusal.empty()) {
    UserPrompts::ShowMessage(this, QString::fromStdString(refusal), MessageIcon::kError,
                             MessageButtons::kOk);
    return;
  }
  m_strAddress = address;
  QDialog::accept();
}

}  // namespace gantrell::ui
