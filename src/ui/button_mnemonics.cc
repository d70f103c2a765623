#include "ui/button_mnemonics.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QPushButton>

namespace gantrell::ui {

void GiveMnemonics(QDialogButtonBox& buttons) {
  if (QPushButton* ok = buttons.button(QDialogButtonBox::Ok))
    ok->setText(QCoreApplication::translate("StandardButtons", "&OK"));
  if (QPushButton* cancel = buttons.button(QDialogButtonBox::Cancel))
    cancel->setText(QCoreApplication::translate("StandardButtons", "&Cancel"));
}

}  // namespace gantrell::ui
