#include "ui/button_mnemonics.h"

#include <QDialogButtonBox>
#include <QPushButton>

namespace gantrell::ui {

void GiveMnemonics(QDialogButtonBox& buttons) {
  if (QPushButton* ok = buttons.button(QDialogButtonBox::Ok))
    ok->setText(QStringLiteral("&OK"));
  if (QPushButton* cancel = buttons.button(QDialogButtonBox::Cancel))
    cancel->setText(QStringLiteral("&Cancel"));
}

}  // namespace gantrell::ui
