// The literal check's sample (never compiled): each line marked "flagged"
// shows a text untranslated and must be found; no other line may be.
#include "sample_dlg.h"

namespace {
constexpr const char* kTitle = "Sample";
}

void SampleDlg::Build() {
  setWindowTitle(kTitle);  // flagged
  setWindowTitle(tr("Sample"));
  m_ui->okButton->setText("&OK");  // flagged
  m_ui->okButton->setText(QStringLiteral("&OK"));  // flagged
  m_ui->okButton->setText(tr("&OK"));
  m_ui->nameEdit->setAccessibleName(QString("Name"));  // flagged
  m_ui->nameEdit->setAccessibleName(QCoreApplication::translate("SampleDlg", "Name"));
  m_ui->nameEdit->setToolTip(  // flagged
      QStringLiteral("The item's name"));
  m_ui->nameEdit->setPlaceholderText(tr("%1 of %2").arg(1).arg(QStringLiteral("two")));  // flagged
  m_ui->sizeEdit->setText(tr("%1 bytes").arg(QString::number(3)) + " (" + tr("rounded") + ")");
  m_ui->countText->setText(QString::fromStdString(CountText(3)));
  m_ui->list->addItem("first");  // flagged
  auto* action = new QAction("&Open", this);  // flagged
  auto* translated = new QAction(tr("&Open"), this);
  QMessageBox::information(this, tr("Sample"), "Done.");  // flagged
  QMessageBox box(QMessageBox::Warning, kTitle, tr("Careful"));  // flagged
  // notr: a name that reads the same in every language.
  QMessageBox named(QMessageBox::Warning, kTitle, tr("Careful"));
  setWindowTitle(kTitle);  // notr: the same
  m_ui->pathEdit->setText(QDir::toNativeSeparators(path));
  m_ui->label->setText("");
  m_ui->label->setText(":");
  setObjectName("sampleDlg");
}

QVariant SampleModel::headerData(int section) const {
  if (section == 0)
    return QStringLiteral("Name");  // flagged
  if (section == 1)
    return tr("Size");
  return "Date";  // flagged
}
