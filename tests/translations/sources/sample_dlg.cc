// The texts of the catalogue check's samples (never compiled).
#include <QCoreApplication>

QString SampleTexts() {
  return QCoreApplication::translate("SampleDlg", "&Open") +
         QCoreApplication::translate("SampleDlg", "%1 of %2 files") +
         QCoreApplication::translate("SampleDlg", "Please Wait");
}
